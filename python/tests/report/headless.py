"""Headless Chromium through chromedriver's WebDriver protocol, with the standard
library only. The page has no way out: every request goes to a proxy that does
not exist, and the performance log records each request, so a test can tell
that a page asked for nothing. Used by the report's tests and bench/report_bench.py."""
import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
         "--hide-scrollbars", "--proxy-server=http://127.0.0.1:9", "--proxy-bypass-list=<-loopback>"]


def missing():
    """Why the browser cannot run here, or None."""
    return next(("%s is not installed (Debian: apt-get install chromium chromium-driver)" % program
                 for program in (CHROMIUM, CHROMEDRIVER) if not os.access(program, os.X_OK)), None)


class Browser:
    """One Chromium with a new empty profile, in one chromedriver session."""

    def __init__(self, width=1280, height=1000):
        self.profile = tempfile.mkdtemp(prefix="tivarne-chromium-")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        self.driver = subprocess.Popen([CHROMEDRIVER, "--port=%d" % port], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.base, self.session = "http://127.0.0.1:%d" % port, None
        try:
            for _ in range(200):  # chromedriver listens within a moment
                try:
                    self.call("GET", "/status")
                    break
                except (urllib.error.URLError, ConnectionError):
                    time.sleep(0.05)
            options = {"binary": CHROMIUM, "args": FLAGS + ["--user-data-dir=" + self.profile,
                                                            "--window-size=%d,%d" % (width, height)]}
            caps = {"browserName": "chrome", "goog:chromeOptions": options,
                    "goog:loggingPrefs": {"browser": "ALL", "performance": "ALL"}}
            self.session = "/session/" + self.call("POST", "/session", {"capabilities": {"alwaysMatch": caps}})["sessionId"]
            self.open(None)  # what the browser did on its own while starting (its new-tab page) is not the page's
            self.log("performance"), self.log("browser")
        except BaseException:
            self.close()
            raise

    def call(self, method, path, body=None):
        request = urllib.request.Request(self.base + path, method=method, headers={"Content-Type": "application/json"},
                                         data=None if body is None else json.dumps(body).encode())
        try:
            with urllib.request.urlopen(request, timeout=120) as response:
                return json.loads(response.read())["value"]
        except urllib.error.HTTPError as e:
            raise RuntimeError("chromedriver: %s" % e.read().decode(errors="replace")[:500]) from None

    def page(self, method, path, body=None):
        return self.call(method, self.session + path, body)

    def open(self, path):
        self.page("POST", "/url", {"url": "file://" + os.path.abspath(path) if path else "about:blank"})

    def run(self, script, *args):
        """The value of a function body run in the page (`arguments` holds args)."""
        return self.page("POST", "/execute/sync", {"script": script, "args": list(args)})

    def wait_for(self, expression, tries=600):
        """Whether `expression` came true in the page within tries x 50 ms."""
        for _ in range(tries):
            if self.run("return !!(%s);" % expression):
                return True
            time.sleep(0.05)
        return False

    def click(self, selector):
        element = self.page("POST", "/element", {"using": "css selector", "value": selector})
        self.page("POST", "/element/%s/click" % next(iter(element.values())), {})

    def viewport(self, width, height):
        """Sets the page's size, also below the 500 pixels a window can be wide."""
        self.page("POST", "/goog/cdp/execute", {"cmd": "Emulation.setDeviceMetricsOverride", "params": {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}})

    def screenshot(self):
        return base64.b64decode(self.page("GET", "/screenshot"))

    def log(self, kind):
        """The "browser" (console) or "performance" log since the last call."""
        return self.page("POST", "/se/log", {"type": kind})

    def console_errors(self):
        return [e["message"] for e in self.log("browser") if e["level"] == "SEVERE"]

    def requests(self):
        """(URLs asked for, failed loads) from the performance log."""
        asked, failed = [], []
        for entry in self.log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                asked.append(message["params"]["request"]["url"])
            elif message["method"] == "Network.loadingFailed":
                failed.append(message["params"].get("errorText"))
        return asked, failed

    def close(self):
        try:
            if self.session:
                self.call("DELETE", self.session)
        except (OSError, RuntimeError):
            pass
        self.driver.terminate()
        self.driver.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
