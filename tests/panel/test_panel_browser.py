"""astrel panel in headless Chromium: what only a browser shows (keys and
focus, the sign of each jog as the page sends it, the page's own alarm and
notices, the contrast of its text). Prints the update rate and the contrast
figures, and saves a screenshot. The server's rules are checked in
PanelApiTest.cpp."""
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


class Tool:
    """astrel panel as a child process, ended when the test ends."""

    def __init__(self, *args, listen="127.0.0.1:0"):
        self.process = subprocess.Popen([TOOL, "panel", *args, "--listen", listen],
                                        stdout=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        assert self.url.startswith("http://127.0.0.1:"), self.url
        self.listen = self.url.split("/")[2]

    def end(self):
        self.process.send_signal(signal.SIGCONT)
        self.process.terminate()
        assert self.process.wait(10) == 0


@pytest.fixture()
def open_page():
    """Opens the page of a tool started with the given arguments in headless Chromium."""
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(argument)
    tools, browsers = [], []

    def start(*args):
        tools.append(Tool(*args))
        browsers.append(webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options))
        browsers[-1].get(tools[-1].url)
        return browsers[-1], tools[-1]

    try:
        yield start
    finally:  # the tool must not outlive the test, even when the browser fails
        for browser in browsers:
            browser.quit()
        for tool in tools:
            if tool.process.poll() is None:
                tool.end()


def text(browser, element_id):
    return browser.find_element(By.ID, element_id).text


def light_on(browser, name):
    return "on" in browser.find_element(By.ID, "light-" + name).get_attribute("class")


def until(browser, condition, seconds=10):
    WebDriverWait(browser, seconds, poll_frequency=0.05).until(lambda b: condition())


def position(browser):
    return [int(text(browser, "pos-" + axis)) for axis in "xyz"]


def at_rest(browser):
    """Waits until the page shows the stage at rest, and gives its position."""
    until(browser, lambda: not light_on(browser, "moving"), 5)
    time.sleep(0.4)  # a reading after the stop
    return position(browser)


def move_to(browser, *target):
    for axis, value in zip("xyz", target):
        browser.find_element(By.ID, "to-" + axis).clear()
        browser.find_element(By.ID, "to-" + axis).send_keys(str(value))
    browser.find_element(By.ID, "move-to").click()


def rate_over(browser, seconds):
    start = browser.execute_script("return window.panelStats.events")
    time.sleep(seconds)
    return (browser.execute_script("return window.panelStats.events") - start) / seconds


def jog_sign(browser, hold, axis):
    """The sign of the change on `axis` while `hold` (an action chain's pause) jogs."""
    before = at_rest(browser)
    hold()
    after = at_rest(browser)
    return (after[axis] > before[axis]) - (after[axis] < before[axis])


def test_drive_a_simulated_prior_stage(open_page):
    browser, tool = open_page("--sim", "prior", "ProScan")
    until(browser, lambda: text(browser, "seat") == "you drive · 1 page open")
    assert browser.current_url.endswith(tool.listen + "/"), "the token stays in the address bar"
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
    resting = rate_over(browser, 3)

    # Each jog runs to its own sign (the ProScan's own jog of +1 runs to minus),
    # from its button, its arrow key, and Enter or Space on the focused button.
    actions = lambda: ActionChains(browser)
    for jog, axis, sign in (("1,0,0", 0, 1), ("-1,0,0", 0, -1), ("0,1,0", 1, 1),
                            ("0,-1,0", 1, -1), ("0,0,1", 2, 1), ("0,0,-1", 2, -1)):
        button = browser.find_element(By.CSS_SELECTOR, f'[data-jog="{jog}"]')
        held = lambda: actions().click_and_hold(button).pause(0.5).release(button).perform()
        assert jog_sign(browser, held, axis) == sign, "button " + jog
    for key, axis, sign in ((Keys.ARROW_RIGHT, 0, 1), (Keys.ARROW_LEFT, 0, -1),
                            (Keys.ARROW_UP, 1, 1), (Keys.ARROW_DOWN, 1, -1),
                            (Keys.PAGE_UP, 2, 1), (Keys.PAGE_DOWN, 2, -1)):
        held = lambda: actions().key_down(key).pause(0.5).key_up(key).perform()
        assert jog_sign(browser, held, axis) == sign, "key " + repr(key)
    for key in (Keys.ENTER, Keys.SPACE):
        browser.execute_script("document.querySelector('[data-jog=\"0,-1,0\"]').focus()")
        held = lambda: actions().key_down(key).pause(0.5).key_up(key).perform()
        assert jog_sign(browser, held, 1) == -1, "Y- by " + repr(key)
    # An arrow key typed into a field moves the caret, not the stage.
    browser.find_element(By.ID, "step").send_keys(Keys.ARROW_UP)
    time.sleep(0.3)
    assert not light_on(browser, "moving")

    # A long move asks first; while it runs the page is shot.
    move_to(browser, -300000, 120000, 0)
    until(browser, lambda: browser.switch_to.alert.text.startswith("Move "), 3)
    browser.switch_to.alert.accept()
    until(browser, lambda: light_on(browser, "moving"), 3)
    moving = rate_over(browser, 2)
    browser.save_screenshot(str(SCREENSHOT))
    browser.find_element(By.ID, "stop").click()
    at_rest(browser)
    move_to(browser, 400000, 0, 0)
    browser.switch_to.alert.accept()
    until(browser, lambda: light_on(browser, "moving"), 3)
    browser.find_element(By.ID, "to-x").send_keys(Keys.ESCAPE)  # Esc stops from a field too
    at_rest(browser)
    assert browser.find_element(By.ID, "alarm").get_attribute("hidden")

    # A stop the tool does not confirm within about a second raises the alarm.
    move_to(browser, -400000, 0, 0)
    browser.switch_to.alert.accept()
    until(browser, lambda: light_on(browser, "moving"), 3)
    tool.process.send_signal(signal.SIGSTOP)
    browser.find_element(By.ID, "stop").click()
    time.sleep(0.5)
    assert browser.find_element(By.ID, "alarm").get_attribute("hidden"), "too early"
    until(browser, lambda: "controller's own stop" in text(browser, "alarm"), 2)
    assert browser.switch_to.active_element.get_attribute("id") == "alarm-close"
    tool.process.send_signal(signal.SIGCONT)
    tool.process.send_signal(signal.SIGINT)  # the page says so when the tool goes away
    until(browser, lambda: text(browser, "link") == "connection to the tool lost", 5)
    print(f"\nupdates received: {moving:.1f}/s moving, {resting:.1f}/s at rest")
    assert moving >= 5 and resting <= 4


def luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(browser, selector):
    """The WCAG contrast ratio of the text of `selector` on its background."""
    colours = browser.execute_script("""
        const rgb = (text) => text.match(/[\\d.]+/g).map(Number);
        let e = document.querySelector(arguments[0]);
        const ink = rgb(getComputedStyle(e).color);
        while (e && rgb(getComputedStyle(e).backgroundColor)[3] === 0) e = e.parentElement;
        return [ink, rgb(getComputedStyle(e || document.body).backgroundColor)];""", selector)
    lighter, darker = sorted((luminance(c[:3]) for c in colours), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


def test_a_page_with_no_stage(open_page):
    browser, tool = open_page()
    # No stage yet is the usual start: the page still hears from the tool.
    until(browser, lambda: text(browser, "link") == "live")
    time.sleep(10)
    assert text(browser, "link") == "live"
    assert not browser.find_element(By.ID, "banner").is_displayed()

    # Every field has a label, the notices are read out, the lights say their state.
    unlabelled = browser.execute_script("""return [...document.querySelectorAll('input, select')]
        .filter((e) => ![...e.labels].some((l) => l.textContent.trim())).map((e) => e.outerHTML)""")
    assert unlabelled == []
    for notice in ("message", "banner"):
        assert browser.find_element(By.ID, notice).get_attribute("aria-live")
    assert text(browser, "light-moving") == "moving: no"

    # The contrast of the text in each state, lights on (as the page shows them).
    browser.execute_script("""
        document.querySelectorAll('.light').forEach((e) => e.classList.add('on'));
        document.querySelector('.readout').classList.add('stale');
        document.querySelector('#message').classList.add('error');
        document.querySelector('#link').className = 'badge live';""")
    figures = {name: contrast(browser, selector) for name, selector in (
        ("moving light", "#light-moving"), ("limit light", "#light-limit"),
        ("no-reply light", "#light-noreply"), ("live badge", "#link"),
        ("stale readout", "#pos-x"), ("quiet text", "#connected"),
        ("error message", "#message"), ("stop button", "#stop"))}
    print("\ncontrast: " + ", ".join(f"{name} {ratio:.1f}:1" for name, ratio in figures.items()))
    assert min(figures.values()) >= 4.5, figures

    # The tool started again on the same address: the old page says to open the new one.
    port = tool.listen.split(":")[1]
    tool.end()
    again = Tool(listen="127.0.0.1:" + port)
    try:
        until(browser, lambda: "Open the new address" in text(browser, "banner"), 10)
        browser.refresh()
        until(browser, lambda: "started again" in browser.find_element(By.TAG_NAME, "body").text, 5)
    finally:
        again.end()
