"""Headless Chromium driven through chromedriver's WebDriver protocol, with the
standard library only. The browser has no way out: every request goes to a
proxy that does not exist, and the performance log records each request, so
that a test can tell that a page asked for nothing. Used by the report's
browser test and by bench/report_bench.py."""
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

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-dev-shm-usage", "--hide-scrollbars",
         # Nowhere to go: a proxy on a closed port of this machine, for every host.
         "--proxy-server=http://127.0.0.1:9", "--proxy-bypass-list=<-loopback>"]
LOCAL_SCHEMES = ("file:", "data:", "blob:", "about:")


def missing():
    """Why the browser cannot run here, or None."""
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            return "%s is not installed (Debian: apt-get install chromium chromium-driver)" % program
    return None


class Browser:
    """One Chromium with an empty profile, through one chromedriver session."""

    def __init__(self, width=1280, height=1000):
        self.profile = tempfile.mkdtemp(prefix="tivarne-chromium-")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.driver = subprocess.Popen([CHROMEDRIVER, "--port=%d" % self.port], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.base = "http://127.0.0.1:%d" % self.port
        self.session = None
        try:
            for _ in range(200):  # chromedriver listens within a moment
                try:
                    if self._call("GET", "/status")["ready"]:
                        break
                except (urllib.error.URLError, ConnectionError):
                    time.sleep(0.05)
            options = {"binary": CHROMIUM, "args": FLAGS + ["--user-data-dir=" + self.profile,
                                                            "--window-size=%d,%d" % (width, height)]}
            caps = {"browserName": "chrome", "goog:chromeOptions": options,
                    "goog:loggingPrefs": {"browser": "ALL", "performance": "ALL"}}
            self.session = self._call("POST", "/session", {"capabilities": {"alwaysMatch": caps}})["sessionId"]
            # What the browser did on its own while starting (its new-tab page) is not the page's doing.
            self._session("POST", "/url", {"url": "about:blank"})
            self.log("performance")
            self.log("browser")
        except BaseException:
            self.close()
            raise

    def _call(self, method, path, body=None):
        request = urllib.request.Request(self.base + path, method=method,
                                         data=None if body is None else json.dumps(body).encode(),
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=120) as response:
                return json.loads(response.read())["value"]
        except urllib.error.HTTPError as e:
            raise RuntimeError("chromedriver: %s" % e.read().decode(errors="replace")[:500]) from None

    def _session(self, method, path, body=None):
        return self._call(method, "/session/%s%s" % (self.session, path), body)

    def open(self, path):
        self._session("POST", "/url", {"url": "file://" + os.path.abspath(path)})

    def run(self, script, *args):
        """The value of a function body run in the page (`arguments` holds args)."""
        return self._session("POST", "/execute/sync", {"script": script, "args": list(args)})

    def wait_for(self, expression, tries=600):
        """Waits until `expression` is true in the page (at most tries x 50 ms)."""
        for _ in range(tries):
            if self.run("return !!(%s);" % expression):
                return True
            time.sleep(0.05)
        return False

    def click(self, selector):
        element = self._session("POST", "/element", {"using": "css selector", "value": selector})
        self._session("POST", "/element/%s/click" % next(iter(element.values())), {})

    def viewport(self, width, height):
        """Makes the page as wide as a phone's screen, or any other (a window cannot be narrower than 500)."""
        self._session("POST", "/goog/cdp/execute", {"cmd": "Emulation.setDeviceMetricsOverride", "params": {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}})

    def screenshot(self):
        """The visible part of the page as PNG bytes."""
        return base64.b64decode(self._session("GET", "/screenshot"))

    def log(self, kind):
        """The browser's "browser" (console) or "performance" log since the last call."""
        return self._session("POST", "/se/log", {"type": kind})

    def console_errors(self):
        return [e["message"] for e in self.log("browser") if e["level"] in ("SEVERE", "ERROR")]

    def requests(self):
        """(URLs asked for, URLs whose loading failed) from the performance log."""
        asked, failed, urls = [], [], {}
        for entry in self.log("performance"):
            message = json.loads(entry["message"])["message"]
            params = message.get("params", {})
            if message["method"] == "Network.requestWillBeSent":
                urls[params["requestId"]] = params["request"]["url"]
                asked.append(params["request"]["url"])
            elif message["method"] == "Network.loadingFailed":
                failed.append(urls.get(params["requestId"], params["requestId"]) + ": " + params.get("errorText", ""))
        return asked, failed

    def close(self):
        if self.session:
            try:
                self._call("DELETE", "/session/%s" % self.session)
            except (OSError, RuntimeError):
                pass
            self.session = None
        self.driver.terminate()
        try:
            self.driver.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.driver.kill()
            self.driver.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
