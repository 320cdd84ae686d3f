#!/usr/bin/python3
# Debian's python3, whose python3-selenium this needs.
"""The page of `quorvex-cli serve` in a real browser: headless Chromium loads it from
127.0.0.1, presses Parse and Capture, and sees the frame count rise.
    browser_test.py QUORVEX_CLI
Exits 77 (skipped) when Chromium, its driver or Selenium is missing."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    print("skipped: chromium or chromium-driver is not installed")
    sys.exit(77)


def start_serve(cli, folder, capture):
    out = open(os.path.join(folder, "serve.out"), "w+")
    proc = subprocess.Popen(
        [cli, "serve", "--listen", "127.0.0.1:0", "--file", capture, "--folder", folder],
        cwd=folder, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        out.seek(0)
        found = re.search(r"http://127\.0\.0\.1:[0-9]+/\S*", out.read())
        if found:
            return proc, found.group(0)
        if proc.poll() is not None:
            break
        time.sleep(0.1)
    out.seek(0)
    proc.kill()
    sys.exit("serve printed no address: " + out.read())


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--disable-gpu", "--disable-dev-shm-usage", "--lang=en-US",
                "--window-size=412,915"):  # a phone's width
        options.add_argument(arg)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")  # Chromium's sandbox refuses root
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def main():
    cli = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as folder:
        capture = os.path.join(folder, "show.pcap")
        subprocess.run([cli, "send", "--pcap", capture, "--universes", "0-5", "--frames", "400"],
                       check=True, capture_output=True)
        serve, address = start_serve(cli, folder, capture)
        driver = None
        try:
            driver = browser()
            driver.get(address)
            wait = WebDriverWait(driver, 20)
            frames = lambda: int(driver.find_element(By.ID, "frames").text or "0")
            wait.until(lambda d: d.find_element(By.ID, "parse").text == "Parse")
            assert frames() == 0, "frames before any capture"
            driver.find_element(By.ID, "parse").click()
            wait.until(lambda d: "6" in d.find_element(By.ID, "report").text)
            count = driver.find_element(By.ID, "frameCount")
            count.clear()
            count.send_keys("300")
            driver.find_element(By.ID, "capture").click()
            wait.until(lambda d: frames() > 0)
            wait.until(lambda d: frames() == 300)
            errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
            assert not errors, f"the page logged errors: {errors}"
        finally:
            if driver:
                driver.quit()
            serve.terminate()
            serve.wait(30)
    print("browser: 1 passed, 0 failed")


if __name__ == "__main__":
    main()
