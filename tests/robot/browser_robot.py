"""yolrobot's pages in headless chromium: the upload form with an accepted and a refused answer,
the public list, the committee login and its window form; no console error on any page and
nothing fetched from anywhere but the robot. Screenshots in --artifacts."""
import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "browser"))
from browser import Browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support import expected_conditions  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

from robotclient import Checks, Robot  # noqa: E402

LOG = ("START-OF-LOG: 3.0\nCONTEST: YOL\nCALLSIGN: UA1BRW\nCATEGORY-OPERATOR: <b>SINGLE-OP</b>\n"
       "CLAIMED-SCORE: 10\nQSO: 14012 CW 2026-12-12 1300 UA1BRW 599 001 DL1ABC 599 002\n"
       "QSO: 7012 CW 2026-12-12 1400 UA1BRW 599 002 OK1AB 599 003\nEND-OF-LOG:\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--robot", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--artifacts", required=True)
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.artifacts, exist_ok=True)
    robot = Robot(a.robot, os.path.join(a.work, "data"), "--window-end", "2100-01-01 00:00")
    base = f"http://{robot.host}:{robot.port}"
    check = Checks("robot in chromium")

    try:
        with Browser() as b:
            d = b.driver

            def submit(button):
                """Clicks a form's button and waits for the answer's page: a click does not
                always wait for the navigation it starts."""
                old = d.find_element(By.TAG_NAME, "html")
                button.click()
                WebDriverWait(d, 30).until(expected_conditions.staleness_of(old))
                WebDriverWait(d, 30).until(lambda drv: drv.execute_script("return document.readyState") == "complete")

            def visit_done(name):
                """After each page: no console error, nothing fetched from elsewhere, no script."""
                for e in b.console_errors():
                    check(False, f"{name}: console: {e.get('message')}")
                for url in d.execute_script("return performance.getEntriesByType('resource').map(e => e.name)"):
                    check(url.startswith(base + "/"), f"{name}: fetched {url}")
                check(not d.find_elements(By.TAG_NAME, "script"), f"{name}: a script element")
                b.full_screenshot(os.path.join(a.artifacts, name + ".png"))

            d.get(base + "/")
            d.find_element(By.ID, "call").send_keys("ua1brw")
            d.find_element(By.ID, "text").send_keys(LOG)
            visit_done("form")
            submit(d.find_element(By.ID, "send"))
            check(d.find_element(By.ID, "verdict").text.startswith("Accepted"), "the log accepted")
            check("<B>SINGLE-OP</B>" in d.find_element(By.TAG_NAME, "main").text, "the class shown as text")
            visit_done("accepted")

            d.get(base + "/")
            d.find_element(By.ID, "text").send_keys("this is no log at all")
            submit(d.find_element(By.ID, "send"))
            check(d.find_element(By.ID, "verdict").text.startswith("Refused"), "junk refused")
            check("not a log" in d.find_element(By.CLASS_NAME, "reasons").text, "the reason shown")
            visit_done("refused")

            d.get(base + "/received")
            check("UA1BRW" in d.find_element(By.TAG_NAME, "table").text, "the public list names the call")
            visit_done("received")

            d.get(base + "/committee")
            d.find_element(By.ID, "token").send_keys("not the token")
            submit(d.find_element(By.ID, "login"))
            check("not the committee token" in d.find_element(By.TAG_NAME, "main").text, "a wrong token refused")
            d.find_element(By.ID, "token").send_keys(robot.token)
            submit(d.find_element(By.ID, "login"))
            check(d.find_elements(By.ID, "download"), "the committee page after the login")
            check("UA1BRW" in d.find_element(By.TAG_NAME, "table").text, "the committee list names the call")
            visit_done("committee")
            submit(d.find_element(By.XPATH, "//button[text()='Close the window']"))
            check("set closed" in d.find_element(By.ID, "summary").text, "the window closed by its form")
            d.get(base + "/")
            check("window is closed" in d.find_element(By.TAG_NAME, "main").text, "the form says it is closed")
            visit_done("closed")
    finally:
        robot.stop()
    return check.status()


if __name__ == "__main__":
    sys.exit(main())
