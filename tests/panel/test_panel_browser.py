"""astrel panel in headless Chromium, as a user drives it: open the page on a
simulated stage, connect, move to a target and see the position reach it and
the path drawn, jog and release, stop a move with Esc. Prints the update rate
the page receives and leaves a screenshot (ASTREL_SCREENSHOT)."""
import os
import signal
import subprocess
import time
from pathlib import Path

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

ROOT = Path(__file__).resolve().parents[2]
TOOL = Path(os.environ.get("ASTREL_TOOL", ROOT / "build/tools/astrel"))
SCREENSHOT = Path(os.environ.get("ASTREL_SCREENSHOT", ROOT / "build/panel-screenshot.png"))

# Pixels of the plot in the path's colour (#2563eb) and the target's (#dc2626).
COUNT_PIXELS = """
const g = document.getElementById('plot').getContext('2d');
const data = g.getImageData(0, 0, g.canvas.width, g.canvas.height).data;
const near = (i, r, gr, b) => Math.abs(data[i] - r) + Math.abs(data[i + 1] - gr) + Math.abs(data[i + 2] - b) < 60;
let path = 0, target = 0;
for (let i = 0; i < data.length; i += 4) {
  if (near(i, 0x25, 0x63, 0xeb)) path++;
  if (near(i, 0xdc, 0x26, 0x26)) target++;
}
return [path, target];
"""


@pytest.fixture()
def panel():
    tool = subprocess.Popen(
        [str(TOOL), "panel", "--sim", "prior", "ProScan", "--listen", "127.0.0.1:0"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    url = tool.stdout.readline().strip()
    assert url.startswith("http://127.0.0.1:"), tool.stderr.read()
    yield url, tool
    tool.terminate()
    assert tool.wait(10) == 0


@pytest.fixture()
def browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()


def text(browser, element_id):
    return browser.find_element(By.ID, element_id).text


def position(browser):
    return [int(text(browser, "pos-" + axis)) for axis in "xyz"]


def lit(browser, light):
    return "on" in browser.find_element(By.ID, "light-" + light).get_attribute("class")


def wait(browser, condition, seconds=10):
    WebDriverWait(browser, seconds, poll_frequency=0.05).until(lambda b: condition())


def rate_over(browser, seconds):
    start = browser.execute_script("return window.panelStats.events")
    time.sleep(seconds)
    return (browser.execute_script("return window.panelStats.events") - start) / seconds


def test_drive_a_simulated_stage(panel, browser):
    url, tool = panel
    browser.get(url)
    wait(browser, lambda: text(browser, "seat") == "you drive")
    wait(browser, lambda: "ProScan" in text(browser, "connected"))

    # Connect again through the pickers.
    browser.find_element(By.ID, "disconnect").click()
    wait(browser, lambda: text(browser, "connected") == "not connected")
    Select(browser.find_element(By.ID, "maker")).select_by_visible_text("Prior (prior)")
    Select(browser.find_element(By.ID, "model")).select_by_value("ProScan")
    Select(browser.find_element(By.ID, "port")).select_by_index(0)
    browser.find_element(By.ID, "connect").click()
    wait(browser, lambda: "ProScan on /dev/pts/" in text(browser, "connected"))
    wait(browser, lambda: text(browser, "pos-x") == "0")
    time.sleep(1.5)  # polls stay fast for a second after a command
    at_rest = rate_over(browser, 3)

    # A move to a target: the position reaches it and the plot shows the way.
    for axis, value in zip("xyz", (40000, -25000, 500)):
        field = browser.find_element(By.ID, "to-" + axis)
        field.clear()
        field.send_keys(str(value))
    browser.find_element(By.ID, "move-to").click()
    wait(browser, lambda: lit(browser, "moving"), 3)
    wait(browser, lambda: position(browser) == [40000, -25000, 500], 20)
    wait(browser, lambda: not lit(browser, "moving"), 3)
    path_pixels, target_pixels = browser.execute_script(COUNT_PIXELS)
    assert path_pixels > 200 and target_pixels > 20

    # A jog lasts while the button is held and stops when it is let go (a
    # Prior controller's jog runs X+ towards its minus end: the driver's way).
    jog = browser.find_element(By.CSS_SELECTOR, '[data-jog="1,0,0"]')
    ActionChains(browser).click_and_hold(jog).perform()
    wait(browser, lambda: lit(browser, "moving"), 3)
    time.sleep(1)
    ActionChains(browser).release(jog).perform()
    wait(browser, lambda: not lit(browser, "moving"), 3)
    released_at = position(browser)[0]
    assert abs(released_at - 40000) > 5000
    time.sleep(0.5)
    assert position(browser)[0] == released_at

    # So does a jog on a held arrow key.
    y = position(browser)[1]
    ActionChains(browser).key_down(Keys.ARROW_UP).pause(0.8).key_up(Keys.ARROW_UP).perform()
    wait(browser, lambda: not lit(browser, "moving"), 3)
    assert position(browser)[1] != y

    # The Stop button, and then Esc, stop a long move.
    for axis, value in zip("xy", (-300000, 120000)):
        browser.find_element(By.ID, "to-" + axis).clear()
        browser.find_element(By.ID, "to-" + axis).send_keys(str(value))
    browser.find_element(By.ID, "move-to").click()
    wait(browser, lambda: lit(browser, "moving"), 3)
    moving = rate_over(browser, 2)
    browser.save_screenshot(str(SCREENSHOT))
    browser.find_element(By.ID, "stop").click()
    wait(browser, lambda: not lit(browser, "moving"), 3)
    stopped_at = position(browser)[0]
    assert stopped_at > -200000
    browser.find_element(By.ID, "move-to").click()
    wait(browser, lambda: lit(browser, "moving"), 3)
    ActionChains(browser).send_keys(Keys.ESCAPE).perform()
    wait(browser, lambda: not lit(browser, "moving"), 3)
    assert -200000 < position(browser)[0] < stopped_at
    # The page says so when the tool goes away.
    tool.send_signal(signal.SIGINT)
    wait(browser, lambda: text(browser, "link") == "connection to the tool lost", 5)
    print(f"\nupdates received: {moving:.1f}/s moving, {at_rest:.1f}/s at rest")
    assert moving >= 5 and at_rest <= 4
