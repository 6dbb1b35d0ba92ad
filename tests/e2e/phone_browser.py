"""Headless Chromium showing pages at a phone's width, through chromedriver.

Shared by the web page checks and the README's screenshot of the page.
"""
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

PHONE_WIDTH = 360
PHONE_HEIGHT = 780


class PhoneBrowser:
    """A fresh browser profile for each run, removed afterwards."""

    def __enter__(self):
        self.profile = tempfile.mkdtemp(prefix="zubweb-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                     f"--user-data-dir={self.profile}"):
            options.add_argument(flag)
        # A phone's screen: headless windows are never narrower than 500 px.
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {
            "width": PHONE_WIDTH, "height": PHONE_HEIGHT, "pixelRatio": 1.0}})
        try:
            self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                                           options=options)
        except Exception:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise
        self.driver.set_page_load_timeout(30)
        return self.driver

    def __exit__(self, *exc):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
        return False
