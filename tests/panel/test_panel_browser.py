"""astrel panel driven in headless Chromium; prints the update rate and saves a screenshot."""
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


@pytest.fixture()
def browser():
    """Headless Chromium on the page of astrel panel, which serves a simulated Prior stage."""
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(argument)
    tool = subprocess.Popen([TOOL, "panel", "--sim", "prior", "ProScan", "--listen",
                             "127.0.0.1:0"], stdout=subprocess.PIPE, text=True)
    try:
        url = tool.stdout.readline().strip()
        assert url.startswith("http://127.0.0.1:")
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        driver.get(url)
        driver.tool = tool  # the test ends it to see the page notice
        yield driver
        driver.quit()
    finally:
        tool.terminate()  # the tool must not outlive the test, even when the browser fails
    assert tool.wait(10) == 0


def text(browser, element_id):
    return browser.find_element(By.ID, element_id).text


def moving(browser):
    return "on" in browser.find_element(By.ID, "light-moving").get_attribute("class")


def until(browser, condition, seconds=10):
    WebDriverWait(browser, seconds, poll_frequency=0.05).until(lambda b: condition())


def move_to(browser, *target):
    for axis, value in zip("xyz", target):
        browser.find_element(By.ID, "to-" + axis).clear()
        browser.find_element(By.ID, "to-" + axis).send_keys(str(value))
    browser.find_element(By.ID, "move-to").click()
    until(browser, lambda: moving(browser), 3)


def rate_over(browser, seconds):
    start = browser.execute_script("return window.panelStats.events")
    time.sleep(seconds)
    return (browser.execute_script("return window.panelStats.events") - start) / seconds


def test_drive_a_simulated_stage(browser):
    until(browser, lambda: text(browser, "seat") == "you drive")
    until(browser, lambda: "ProScan" in text(browser, "connected"))
    browser.find_element(By.ID, "disconnect").click()  # connect again through the pickers
    until(browser, lambda: text(browser, "connected") == "not connected")
    Select(browser.find_element(By.ID, "maker")).select_by_visible_text("Prior (prior)")
    Select(browser.find_element(By.ID, "model")).select_by_value("ProScan")
    Select(browser.find_element(By.ID, "port")).select_by_index(0)
    browser.find_element(By.ID, "connect").click()
    until(browser, lambda: "ProScan on /dev/pts/" in text(browser, "connected"))
    until(browser, lambda: text(browser, "pos-x") == "0")
    time.sleep(1.5)  # polls stay fast for a second after a change
    at_rest = rate_over(browser, 3)
    target = ["40000", "-25000", "500"]
    move_to(browser, *target)
    until(browser, lambda: [text(browser, "pos-" + axis) for axis in "xyz"] == target, 20)
    # A jog lasts while its button or arrow key is held, and stops when let go.
    jog = browser.find_element(By.CSS_SELECTOR, '[data-jog="1,0,0"]')
    ActionChains(browser).click_and_hold(jog).pause(1).release(jog).perform()
    until(browser, lambda: not moving(browser), 3)
    ActionChains(browser).key_down(Keys.ARROW_UP).pause(0.8).key_up(Keys.ARROW_UP).perform()
    until(browser, lambda: not moving(browser), 3)
    jogged = [text(browser, "pos-" + axis) for axis in "xy"]
    assert abs(int(jogged[0]) - 40000) > 5000 and jogged[1] != target[1]
    time.sleep(0.5)
    assert [text(browser, "pos-" + axis) for axis in "xy"] == jogged
    move_to(browser, -300000, 120000)
    while_moving = rate_over(browser, 2)
    browser.save_screenshot(str(SCREENSHOT))
    browser.find_element(By.ID, "stop").click()
    until(browser, lambda: not moving(browser), 3)
    move_to(browser)
    browser.find_element(By.TAG_NAME, "body").send_keys(Keys.ESCAPE)
    until(browser, lambda: not moving(browser), 3)
    browser.tool.send_signal(signal.SIGINT)  # the page says so when the tool goes away
    until(browser, lambda: text(browser, "link") == "connection to the tool lost", 5)
    print(f"\nupdates received: {while_moving:.1f}/s moving, {at_rest:.1f}/s at rest")
    assert while_moving >= 5 and at_rest <= 4
