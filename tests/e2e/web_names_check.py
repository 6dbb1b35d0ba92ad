#!/usr/bin/python3
"""Track and disc names on the web remote's page, in headless Chromium.

1. Opening a disc's tracks shows a track's title as it was named.
2. A disc's artist typed into its edit form and saved shows in the page's
   disc list (the test then reads zub.txt and the window).

web_names_check.py URL SLOT TRACK TITLE EDIT_SLOT ARTIST
Exit code 0 when both held; a one-line reason on failure.
"""
import sys

from selenium.webdriver.common.by import By

sys.dont_write_bytecode = True  # nothing left in the source tree

from phone_browser import PhoneBrowser
from page_steps import PageSteps

LIMIT_S = 30


STEPS = PageSteps("web_names_check", LIMIT_S)
log, fail, wait_for = STEPS.log, STEPS.fail, STEPS.wait_for


def main():
    url, slot, track, title, edit_slot, artist = sys.argv[1:7]
    with PhoneBrowser() as driver:
        driver.get(url)
        row = lambda s: driver.find_element(By.CSS_SELECTOR, f'#discs li[data-slot="{s}"]')
        detail = lambda s: driver.find_element(By.CSS_SELECTOR,
                                               f'#discs li[data-slot="{s}"] + li.detail')

        def opened(s):
            """The slot's tracks, clicked open again when a new disc list closed them."""
            if not driver.find_elements(By.CSS_SELECTOR, f'#discs li[data-slot="{s}"] + li.detail'):
                row(s).find_element(By.CSS_SELECTOR, ".what").click()
            return detail(s).find_element(By.CSS_SELECTOR, ".edit-button").is_displayed()

        wait_for(f"the tracks of disc {slot}", lambda: opened(slot))
        line = f"{track}. {title}"

        def shows_title():
            texts = [li.text for li in detail(slot).find_elements(By.CSS_SELECTOR, ".tracks li")]
            return any(line in text for text in texts)

        wait_for(f"'{line}' among the tracks of disc {slot}", shows_title)
        log(f"ok: disc {slot}'s tracks show '{line}'")

        wait_for(f"the tracks of disc {edit_slot}", lambda: opened(edit_slot))
        form = detail(edit_slot)
        form.find_element(By.CSS_SELECTOR, ".edit-button").click()
        box = form.find_element(By.CSS_SELECTOR, ".edit-artist")
        wait_for("the edit form", box.is_displayed)
        box.clear()
        box.send_keys(artist)
        form.find_element(By.CSS_SELECTOR, ".save").click()

        def saved():
            for message in driver.find_elements(By.CSS_SELECTOR, "#discs li.detail .message"):
                if message.text:
                    fail(f"the page refused the edit: {message.text}")
            return artist in row(edit_slot).find_element(By.CSS_SELECTOR, ".what").text

        wait_for(f"'{artist}' in the row of disc {edit_slot}", saved)
        log(f"ok: the page saved disc {edit_slot}'s artist '{artist}'")


if __name__ == "__main__":
    main()
