"""astrel panel driven in headless Chromium; prints the update rate and saves a screenshot."""
import os
import subprocess
import time
from pathlib import Path

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

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
    until(browser, lambda: text(browser, "seat") == "you drive" and text(browser, "pos-x") == "0")
    assert "ProScan on /dev/pts/" in text(browser, "connected")
    time.sleep(1.5)  # polls stay fast for a second after a change
    at_rest = rate_over(browser, 3)
    target = ["40000", "-25000", "500"]
    move_to(browser, *target)
    until(browser, lambda: [text(browser, "pos-" + axis) for axis in "xyz"] == target, 20)
    move_to(browser, -300000, 120000)
    while_moving = rate_over(browser, 2)
    browser.save_screenshot(str(SCREENSHOT))
    browser.find_element(By.ID, "stop").click()
    until(browser, lambda: not moving(browser), 3)
    move_to(browser)
    browser.find_element(By.TAG_NAME, "body").send_keys(Keys.ESCAPE)
    until(browser, lambda: not moving(browser), 3)
    print(f"\nupdates received: {while_moving:.1f}/s moving, {at_rest:.1f}/s at rest")
    assert while_moving >= 5 and at_rest <= 4
