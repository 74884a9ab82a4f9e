"""Starts Debian's headless chromium through chromium-driver for the page checks.

Failing to start is an error for the caller to report: these checks never skip.
"""
import os
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = next((p for p in ("/usr/lib/chromium/chromium", "/usr/bin/chromium") if os.path.exists(p)),
                "/usr/bin/chromium")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


class Browser:
    """A headless chromium with a fresh profile, removed again on close."""

    def __init__(self, width=1280, height=900, scripts=True):
        self.profile = tempfile.mkdtemp(prefix="yol-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--hide-scrollbars", "--force-device-scale-factor=1",
                     f"--user-data-dir={self.profile}", f"--window-size={width},{height}"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        if not scripts:
            options.add_experimental_option("prefs", {"profile.managed_default_content_settings.javascript": 2})
        try:
            self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        except Exception:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise
        self.driver.set_page_load_timeout(60)

    def close(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def console_errors(self):
        """Console entries at error level since the last call (failed resources show here too)."""
        return [e for e in self.driver.get_log("browser") if e.get("level") == "SEVERE"]

    def emulate(self, width, height, mobile):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})

    def full_screenshot(self, path, max_height=8000, width=None, height=None, mobile=False):
        """The whole page (up to max_height pixels) as PNG. Given the emulated screen (width,
        height, mobile), the screen is made as tall as the page while the shot is taken, so that
        parts laid out only near the screen (content-visibility: auto) are drawn as a reader
        scrolling down would see them; then the screen is set back."""
        import base64
        size = self.driver.execute_script(
            "return [document.documentElement.scrollWidth, document.documentElement.scrollHeight]")
        if width is not None:
            self.emulate(width, min(size[1], max_height), mobile)
            self.driver.execute_async_script(
                "var done = arguments[0]; requestAnimationFrame(function () { requestAnimationFrame(done); });")
            size = self.driver.execute_script(
                "return [document.documentElement.scrollWidth, document.documentElement.scrollHeight]")
        shot = self.driver.execute_cdp_cmd("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": size[0], "height": min(size[1], max_height), "scale": 1}})
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        if width is not None:
            self.emulate(width, height or 900, mobile)
