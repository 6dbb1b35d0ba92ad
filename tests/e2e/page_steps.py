"""The messages and waits of the web page checks: each line names its
script, a failure ends the script with exit code 1, a wait polls a
condition until it holds or its limit passes.
"""
import sys
import time


class PageSteps:
    def __init__(self, name, limit_s=30):
        self.name = name
        self.limit_s = limit_s

    def log(self, text):
        print(f"{self.name}: {text}", flush=True)

    def fail(self, text):
        self.log(f"FAIL: {text}")
        sys.exit(1)

    def wait_for(self, what, condition, limit=None):
        limit = self.limit_s if limit is None else limit
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            try:
                value = condition()
            except Exception:  # the page may be re-rendering
                value = None
            if value:
                return value
            time.sleep(0.2)
        self.fail(f"timed out after {limit}s waiting for {what}")
