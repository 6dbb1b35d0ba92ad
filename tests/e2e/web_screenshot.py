#!/usr/bin/python3
"""The web remote's page at phone width into a PNG, once it shows a disc.

web_screenshot.py URL OUT.png
"""
import sys
import time

from selenium.webdriver.common.by import By

sys.dont_write_bytecode = True  # nothing left in the source tree

from phone_browser import PhoneBrowser


def main():
    url, out = sys.argv[1:3]
    with PhoneBrowser() as driver:
        driver.get(url)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            listed = driver.find_elements(By.CSS_SELECTOR, "#discs li[data-slot]")
            if listed and driver.find_element(By.ID, "artist").text.strip():
                break
            time.sleep(0.2)
        else:
            print("web_screenshot: the page showed no disc within 30 s", file=sys.stderr)
            return 1
        time.sleep(0.5)  # one more event: the times move on
        driver.save_screenshot(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
