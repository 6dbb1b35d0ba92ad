#!/usr/bin/python3
"""The web remote's page in headless Chromium at phone width.

1. The page shows a disc playing with its artist and title from the
   catalogue (Windows-1252 or UTF-8 lines, read here independently).
2. Typing part of slot 1's artist into the filter leaves only rows that
   hold it; clearing it brings the whole list back.
3. Editing slot 2's artist in its tracks' form rewrites that line of the
   catalogue on disk (EDITED_ARTIST; the test then asks zubremote).
4. Clicking Next makes the changer log a LOAD.
5. A screenshot is saved; the script writes READY_FILE and waits for
   STOPPED_FILE (the test stops the controller), then the page must say
   that the controller is not reachable.

web_page_check.py URL SIM_LOG CATALOGUE SCREENSHOT READY_FILE STOPPED_FILE
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
EDITED_ARTIST = "Edited Through The Page"


STEPS = PageSteps("web_page_check", LIMIT_S)
log, fail, wait_for = STEPS.log, STEPS.fail, STEPS.wait_for


def catalogue_line(path, disc):
    """Artist and title of a slot as the controller reads them."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    if disc < 1 or disc > len(lines):
        return "", ""
    raw = lines[disc - 1].rstrip(b"\r").replace(b'"', b"")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        text = raw.decode("cp1252", errors="replace")
    artist, _, title = text.partition("\t")
    return artist, title


def log_lines(path):
    with open(path, "r", errors="replace") as f:
        return f.read().splitlines()


def main():
    url, sim_log, catalogue, screenshot, ready_file, stopped_file = sys.argv[1:7]
    with PhoneBrowser() as driver:
        driver.get(url)
        text = lambda element: driver.find_element(By.ID, element).text

        def shows_catalogue_line():
            where = re.match(r"Disc (\d+) ", text("where"))
            if not where:
                return None
            disc = int(where.group(1))
            artist, title = catalogue_line(catalogue, disc)
            if artist and text("artist") == artist and text("title") == title:
                return disc, artist, title
            return None

        disc, artist, title = wait_for("the playing disc's artist and title", shows_catalogue_line)
        log(f"ok: the page shows disc {disc}: {artist} / {title}")
        wait_for("the disc list", lambda: driver.find_elements(By.CSS_SELECTOR, "#discs li[data-slot]"))
        screen = driver.execute_script("return window.innerWidth")
        width = driver.execute_script("return document.documentElement.scrollWidth")
        if screen != PHONE_WIDTH or width > PHONE_WIDTH:
            fail(f"the page is {width} px wide at a {screen} px screen")
        log(f"ok: nothing wider than {PHONE_WIDTH} px")
        driver.save_screenshot(screenshot)

        rows = lambda: driver.find_elements(By.CSS_SELECTOR, "#discs li[data-slot]")
        every = len(rows())
        part = artist[2:9]
        box = driver.find_element(By.ID, "filter")
        box.send_keys(part)

        def only_matching():
            shown = rows()
            if not shown or len(shown) >= every:
                return None
            texts = [r.text.lower() for r in shown]
            if "1" not in [r.get_attribute("data-slot") for r in shown]:
                return None
            return all(part.lower() in t for t in texts) and len(shown)

        count = wait_for(f"only rows holding '{part}'", only_matching)
        log(f"ok: the filter '{part}' leaves {count} of {every} rows, each holding it")
        box.clear()
        box.send_keys(" ")  # an input event: the whole list again
        wait_for("the whole list after the filter is cleared", lambda: len(rows()) == every)

        second = driver.find_element(By.CSS_SELECTOR, '#discs li[data-slot="2"] .what')
        second.click()
        wait_for("disc 2's tracks", lambda: driver.find_element(
            By.CSS_SELECTOR, "#discs li.detail .edit-button").is_displayed())
        driver.find_element(By.CSS_SELECTOR, "#discs li.detail .edit-button").click()
        name = driver.find_element(By.CSS_SELECTOR, "#discs li.detail .edit-artist")
        width = driver.execute_script("return document.documentElement.scrollWidth")
        if width > PHONE_WIDTH:
            fail(f"the page with a disc's edit form open is {width} px wide")
        driver.save_screenshot(screenshot.replace(".png", "-edit.png"))
        name.clear()
        name.send_keys(EDITED_ARTIST)
        driver.find_element(By.CSS_SELECTOR, "#discs li.detail .save").click()
        wait_for("slot 2's artist rewritten in the catalogue",
                 lambda: catalogue_line(catalogue, 2)[0] == EDITED_ARTIST)
        log(f"ok: the page set slot 2's artist to '{EDITED_ARTIST}' in {catalogue}")
        wait_for("the edited artist in the disc list", lambda: EDITED_ARTIST in driver.find_element(
            By.CSS_SELECTOR, '#discs li[data-slot="2"]').text)

        before = len(log_lines(sim_log))
        driver.find_element(By.ID, "next-button").click()
        wait_for("a LOAD in the simulator log after Next",
                 lambda: any(" LOAD " in line for line in log_lines(sim_log)[before:]))
        log("ok: Next made the changer log a LOAD")

        with open(ready_file, "w") as f:
            f.write("ready\n")
        wait_for("the controller to be stopped", lambda: os.path.exists(stopped_file), 120)
        wait_for("'controller not reachable' on the page",
                 lambda: driver.find_element(By.ID, "state").is_displayed()
                 and text("state") == "controller not reachable")
        log("ok: the page says the controller is not reachable")


if __name__ == "__main__":
    main()
