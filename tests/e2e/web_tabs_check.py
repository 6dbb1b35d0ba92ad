#!/usr/bin/python3
"""One web remote for two changers, in headless Chromium at phone width.

1. The page has a tab per changer, named FIRST_NAME and SECOND_NAME, and
   each tab shows its own changer playing.
2. Next on the second tab makes the second changer log a LOAD and the first
   none.
3. A screenshot is saved; the script writes READY_FILE and waits for
   STOPPED_FILE (the test ends the first controller), then only the first
   tab says that the controller is not reachable.

web_tabs_check.py URL FIRST_NAME SECOND_NAME FIRST_LOG SECOND_LOG SCREENSHOT READY_FILE STOPPED_FILE
Exit code 0 when every step held; a one-line reason on failure.
"""
import os
import re
import sys

from selenium.webdriver.common.by import By

sys.dont_write_bytecode = True  # nothing left in the source tree

from phone_browser import PHONE_WIDTH, PhoneBrowser
from page_steps import PageSteps

LIMIT_S = 30
UNREACHABLE = "controller not reachable"


STEPS = PageSteps("web_tabs_check", LIMIT_S)
log, fail, wait_for = STEPS.log, STEPS.fail, STEPS.wait_for


def log_lines(path):
    with open(path, "r", errors="replace") as f:
        return f.read().splitlines()


def loads_since(path, mark):
    return [line for line in log_lines(path)[mark:] if " LOAD " in line]


def main():
    url, first_name, second_name, first_log, second_log = sys.argv[1:6]
    screenshot, ready_file, stopped_file = sys.argv[6:9]
    with PhoneBrowser() as driver:
        driver.get(url)
        part = lambda k, name: driver.find_element(By.CSS_SELECTOR, f"#changer-{k} .{name}")
        # The banner of a tab, whether that tab is shown or not.
        banner = lambda k: driver.execute_script(
            "const s = document.querySelector(arguments[0]);"
            "return s.hidden ? '' : s.textContent;", f"#changer-{k} .state")

        names = wait_for("two tabs", lambda: [driver.find_element(By.ID, f"tab-{k}").text
                                                for k in (0, 1)])
        if names != [first_name, second_name]:
            fail(f"the tabs are named {names}, not {[first_name, second_name]}")
        if driver.find_elements(By.ID, "tab-2"):
            fail("a third tab for two changers")
        log(f"ok: a tab each, named {names}")
        for k in (0, 1):
            wait_for(f"changer {k} live on its tab", lambda: banner(k) == "")
        if not part(0, "where").is_displayed() or part(1, "where").is_displayed():
            fail("the first tab is not the one shown at first")

        driver.find_element(By.ID, "tab-1").click()
        wait_for("the second tab shown", lambda: part(1, "where").is_displayed()
                 and not part(0, "where").is_displayed())
        where = wait_for("the second tab's disc",
                         lambda: re.match(r"Disc \d+ ", part(1, "where").text) and
                         part(1, "where").text)
        log(f"ok: the second tab shows its changer: {where}")
        screen = driver.execute_script("return window.innerWidth")
        width = driver.execute_script("return document.documentElement.scrollWidth")
        if screen != PHONE_WIDTH or width > PHONE_WIDTH:
            fail(f"the page is {width} px wide at a {screen} px screen")
        log(f"ok: nothing wider than {PHONE_WIDTH} px")

        first_mark = len(log_lines(first_log))
        second_mark = len(log_lines(second_log))
        driver.find_element(By.CSS_SELECTOR, "#changer-1 button[data-command=next]").click()
        wait_for("a LOAD in the second changer's log after Next",
                 lambda: loads_since(second_log, second_mark))
        # The first changer polls on meanwhile; a LOAD of it would be logged by now.
        wait_for("two more polls of the first changer",
                 lambda: sum(" 16 " in line for line in log_lines(first_log)[first_mark:]) >= 2)
        if loads_since(first_log, first_mark):
            fail(f"the first changer loaded too: {loads_since(first_log, first_mark)}")
        log("ok: Next on the second tab loaded on the second changer only")
        driver.save_screenshot(screenshot)

        with open(ready_file, "w") as f:
            f.write("ready\n")
        wait_for("the first controller to be stopped", lambda: os.path.exists(stopped_file), 120)
        wait_for(f"'{UNREACHABLE}' on the first tab", lambda: banner(0) == UNREACHABLE)
        if banner(1) != "":
            fail(f"the second tab says '{banner(1)}'")
        if part(1, "state").is_displayed():
            fail("the second tab shows a banner")
        driver.find_element(By.ID, "tab-0").click()
        wait_for("the first tab's banner shown", lambda: part(0, "state").is_displayed())
        log(f"ok: only the first tab says '{UNREACHABLE}'")


if __name__ == "__main__":
    main()
