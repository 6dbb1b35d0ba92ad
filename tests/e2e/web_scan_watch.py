#!/usr/bin/python3
"""The web remote's page kept open through a magazine scan.

1. Opens the page and waits until it is live; writes READY_FILE.
2. Reads the page's text every 200 ms until STOP_FILE appears: the banner
   must never say "controller not reachable", and the scan's progress bar
   must show at least once.
3. With EXPECT_FILE given: writes STOP_FILE.watching, then, without a
   reload, notes the scan progress it shows until EXPECT_FILE appears (JSON:
   {"first": F, "last": L, "discs": [[slot, id, seconds], ...]}) and waits
   until its disc list is exactly those discs. The first progress it showed
   for the range F..L must count at most one slot of it as done. With
   "rescan": S in it, then clicks the rescan button of slot S, writes
   STOP_FILE.clicked and waits until the bar has shown that slot's scan and
   gone.
4. Reloads the page 20 times in quick succession; the last one must be live
   (banner hidden, the disc list shown) within 12 s.

web_scan_watch.py URL READY_FILE STOP_FILE [EXPECT_FILE]
Exit code 0 when every step held; a one-line reason on failure.
"""
import json
import os
import sys
import time

from selenium.webdriver.common.by import By

sys.dont_write_bytecode = True  # nothing left in the source tree

from phone_browser import PhoneBrowser
from page_steps import PageSteps

RELOADS = 20
LIVE_AFTER_RELOADS_S = 12
STOP_LIMIT_S = 330
RESCAN_LIMIT_S = 120  # from STOP_FILE until the disc list is the expected one


STEPS = PageSteps("web_scan_watch")
log, fail = STEPS.log, STEPS.fail


def clock(seconds):
    """A time as the page writes it."""
    return f"{seconds // 60}:{seconds % 60:02d}"


def watch_rescan(driver, stop_file, expect_file):
    """Step 3: the page follows a range rescan without a reload."""
    driver.execute_script("window.zubBeforeRescan = true")
    with open(stop_file + ".watching", "w") as f:
        f.write("watching\n")
    progress = []  # (text, width in %) as shown, each change once
    expect = None
    shown = None
    deadline = time.monotonic() + RESCAN_LIMIT_S
    while time.monotonic() < deadline:
        try:
            if not driver.execute_script("return window.zubBeforeRescan === true"):
                fail("the page was reloaded during the rescan")
            if driver.find_element(By.ID, "scan").is_displayed():
                seen = (driver.find_element(By.ID, "scan-text").text,
                        driver.execute_script("return document.getElementById('scan-fill').style.width"))
                if not progress or progress[-1] != seen:
                    progress.append(seen)
            if expect is None and os.path.exists(expect_file):
                with open(expect_file) as f:
                    expect = json.load(f)
            if expect is not None:
                rows = driver.execute_script(
                    "return Array.from(document.querySelectorAll('#discs li[data-slot]'))"
                    ".map((li) => [Number(li.dataset.slot), li.querySelector('.small').textContent])")
                data = driver.execute_script(
                    "return Array.from(document.querySelectorAll('#discs li[data-slot]'))"
                    ".map((li) => [Number(li.dataset.slot), li.dataset.id, Number(li.dataset.discTime)])")
                shown = (rows, data)
                wanted = [[slot, clock(seconds)] for slot, _, seconds in expect["discs"]]
                if rows == wanted and data == expect["discs"]:
                    break
        except Exception:  # the page is re-rendering
            pass
        time.sleep(0.2)
    else:
        fail(f"the disc list is not the new magazine after {RESCAN_LIMIT_S} s: "
             f"shows {shown}, wanted {expect}")
    log(f"ok: the disc list shows the new magazine without a reload ({len(expect['discs'])} discs)")
    log(f"progress shown: {progress}")
    of_range = [(text, width) for text, width in progress
                if text.split()[:2] == ["Scanning", "slot"] and text.split()[3:5] == ["of", str(expect["last"])]]
    if not of_range:
        fail(f"the page never showed the progress of slots {expect['first']}-{expect['last']}")
    text, width = of_range[0]
    most = 100.0 / (expect["last"] - expect["first"] + 1) + 0.05
    if float(width.rstrip("%") or 0) > most:
        fail(f"the range's progress began at {width} ('{text}'), more than one slot of "
             f"{expect['first']}-{expect['last']}")
    log(f"ok: the range's progress began at {width} ('{text}')")
    if expect.get("rescan"):
        rescan_one(driver, stop_file, expect["rescan"])


def rescan_one(driver, stop_file, slot):
    """The page's rescan button of one slot, then the bar of that scan."""
    driver.find_element(By.CSS_SELECTOR, f'#discs li[data-slot="{slot}"] '
                        f'button[aria-label="Rescan slot {slot}"]').click()
    with open(stop_file + ".clicked", "w") as f:
        f.write("clicked\n")
    wanted = f"Scanning slot {slot} of {slot} "
    seen = ""
    deadline = time.monotonic() + RESCAN_LIMIT_S
    while time.monotonic() < deadline:
        try:
            if not driver.execute_script("return window.zubBeforeRescan === true"):
                fail("the page was reloaded after its rescan button")
            shown = driver.find_element(By.ID, "scan").is_displayed()
            if shown and driver.find_element(By.ID, "scan-text").text.startswith(wanted):
                seen = driver.find_element(By.ID, "scan-text").text
            elif seen and not shown:
                break
        except Exception:  # the page is re-rendering
            pass
        time.sleep(0.2)
    else:
        fail(f"no scan of slot {slot} came and went within {RESCAN_LIMIT_S} s after its rescan "
             f"button (seen '{seen}', message '{driver.find_element(By.ID, 'message').text}')")
    message = driver.find_element(By.ID, "message").text
    if message:
        fail(f"the rescan button's answer shows '{message}'")
    log(f"ok: the rescan button of slot {slot} scanned it ('{seen}')")


def main():
    url, ready_file, stop_file = sys.argv[1:4]
    expect_file = sys.argv[4] if len(sys.argv) > 4 else None
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
        if expect_file:
            watch_rescan(driver, stop_file, expect_file)

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
