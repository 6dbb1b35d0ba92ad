#!/usr/bin/python3
"""The web remote's page kept open through a magazine scan.

1. Opens the page and waits until it is live; writes READY_FILE.
2. Reads the page's text every 200 ms until STOP_FILE appears: the banner
   must never say "controller not reachable", and the scan's progress bar
   must show at least once.
3. Reloads the page 20 times in quick succession; the last one must be live
   (banner hidden, the disc list shown) within 12 s.

web_scan_watch.py URL READY_FILE STOP_FILE
Exit code 0 when every step held; a one-line reason on failure.
"""
import os
import sys
import time

from selenium.webdriver.common.by import By

sys.dont_write_bytecode = True  # nothing left in the source tree

from phone_browser import PhoneBrowser

RELOADS = 20
LIVE_AFTER_RELOADS_S = 12
STOP_LIMIT_S = 330


def log(text):
    print(f"web_scan_watch: {text}", flush=True)


def fail(text):
    log(f"FAIL: {text}")
    sys.exit(1)


def main():
    url, ready_file, stop_file = sys.argv[1:4]
    with PhoneBrowser() as driver:
        def banner():
            state = driver.find_element(By.ID, "state")
            return state.text if state.is_displayed() else ""

        def live():
            try:
                # A page from before the reloads carries the mark: not this one.
                return (not driver.execute_script("return window.zubOldPage === true")
                        and banner() == "" and driver.find_element(By.ID, "where").text.startswith("Disc ")
                        and driver.find_elements(By.CSS_SELECTOR, "#discs li"))
            except Exception:  # the page is loading or re-rendering
                return False

        def wait_live(limit):
            start = time.monotonic()
            while time.monotonic() - start < limit:
                if live():
                    return time.monotonic() - start
                time.sleep(0.2)
            return None

        driver.get(url)
        if wait_live(30) is None:
            fail("the page did not become live within 30 s")
        log("ok: the page is live")
        with open(ready_file, "w") as f:
            f.write("ready\n")

        banners = {}
        progress_seen = ""
        deadline = time.monotonic() + STOP_LIMIT_S
        while not os.path.exists(stop_file):
            if time.monotonic() > deadline:
                fail("no stop signal")
            try:
                text = banner()
                if text:
                    banners[text] = banners.get(text, 0) + 1
                if not progress_seen and driver.find_element(By.ID, "scan").is_displayed():
                    progress_seen = driver.find_element(By.ID, "scan-text").text
            except Exception:
                pass
            time.sleep(0.2)
        log(f"banners seen during the scan: {banners or 'none'}")
        if "controller not reachable" in banners:
            fail("the page said 'controller not reachable' during the scan")
        if not progress_seen:
            fail("the page never showed the scan's progress")
        log(f"ok: never 'not reachable'; progress shown ('{progress_seen}')")

        driver.execute_script("window.zubOldPage = true")
        for _ in range(RELOADS):
            driver.execute_script("location.reload()")
            time.sleep(0.05)
        took = wait_live(LIVE_AFTER_RELOADS_S)
        if took is None:
            fail(f"not live {LIVE_AFTER_RELOADS_S} s after {RELOADS} reloads (banner '{banner()}')")
        log(f"ok: live {took:.1f} s after {RELOADS} quick reloads")


if __name__ == "__main__":
    main()
