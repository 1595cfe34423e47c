#!/usr/bin/python3
"""The pages of `metashelf serve` in a real browser.

Builds a small catalog from the corpus (plus one record with a hostile
title), starts `metashelf serve` on a free loopback port, and drives headless
Chromium through its DevTools protocol: the pages load without console
errors, a search from the form finds what `metashelf search` finds, the map
draws one shape per record with a box and opens a record on a click, a box
drawn on the map filters the search, the hostile title stays text, the page
without JavaScript still lists the records, the page reads at phone width,
and a collection page with its map stays under 500 KB. Screenshots go to the
artefact folder given.

usage: browser_test.py TOOL CORPUS_DIR ARTEFACT_DIR
Exits 77 (skipped) when Chromium or python3-websocket is missing.
"""
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

SKIP = 77
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
try:
    import websocket  # python3-websocket
except ImportError:
    websocket = None

failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message, flush=True)
    if not condition:
        failures.append(message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_tool(tool, cwd, *args):
    return subprocess.run([tool, *args], cwd=cwd, capture_output=True, text=True, timeout=120)


HOSTILE_TITLE = "<script>alert(1)</script>"
ATTACHMENT = bytes(range(256)) * 4


def make_catalog(tool, corpus, work):
    for args in (["init"], ["schema", "add", "fgdc"], ["collection", "create", "fgdc", "--schema", "fgdc"]):
        r = run_tool(tool, work, *args)
        if r.returncode != 0:
            sys.exit("setup failed: %s: %s" % (args, r.stderr))
    source = os.path.join(corpus, "fgdc")
    files = sorted(f for f in os.listdir(source) if f.endswith(".xml"))[:60]
    incoming = os.path.join(work, "incoming")
    os.mkdir(incoming)
    for f in files:
        shutil.copy(os.path.join(source, f), incoming)
    # One record whose title is markup, with a box so it is on the map.
    with open(os.path.join(incoming, "zz-hostile.xml"), "w", encoding="utf-8") as out:
        out.write("<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo>"
                  "<origin>tester</origin><pubdate>2020</pubdate>"
                  "<title>&lt;script&gt;alert(1)&lt;/script&gt;</title></citeinfo></citation>"
                  "<descript><abstract>An abstract with &lt;b&gt;tags&lt;/b&gt; &amp; "
                  "\"quotes\".</abstract><purpose>testing</purpose></descript>"
                  "<spdom><bounding><westbc>10</westbc><eastbc>20</eastbc><northbc>50</northbc>"
                  "<southbc>40</southbc></bounding></spdom>"
                  "<keywords><theme><themekt>none</themekt><themekey>Hostile</themekey></theme>"
                  "</keywords></idinfo></metadata>\n")
    r = run_tool(tool, work, "import", "fgdc", incoming)
    if r.returncode != 0:
        sys.exit("import failed: " + r.stderr)
    # The hostile record carries an attachment, offered on its page. It is
    # found by its file, not searched for: the collection is served before
    # any search gave it its search indexes.
    r = run_tool(tool, work, "list", "fgdc")
    hostile = next(line.split("\t")[0] for line in r.stdout.splitlines() if "\tzz-hostile.xml\t" in line)
    with open(os.path.join(work, "attachment.bin"), "wb") as out:
        out.write(ATTACHMENT)
    r = run_tool(tool, work, "attach", "fgdc", hostile, os.path.join(work, "attachment.bin"))
    if r.returncode != 0:
        sys.exit("attach failed: " + r.stderr)


def search_ids(tool, work, query):
    r = run_tool(tool, work, "search", "fgdc", "--json", query)
    if r.returncode != 0:
        sys.exit("search failed: " + r.stderr)
    return sorted(str(x["id"]) for x in json.loads(r.stdout)["records"])


class Browser:
    """One headless Chromium page, driven over the DevTools protocol."""

    def __init__(self, profile):
        self.proc = subprocess.Popen(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-extensions", "--remote-allow-origins=*",
             "--remote-debugging-port=0", "--user-data-dir=" + profile,
             "--window-size=1200,900", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.time() + 30
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError("chromium did not start")
            time.sleep(0.1)
        port = open(port_file).read().split()[0]
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port))
        page = next(t for t in targets if t["type"] == "page")
        self.ws = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=30,
                                              suppress_origin=True)
        self.next_id = 0
        self.events = []
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(domain + ".enable")

    def close(self):
        try:
            self.ws.close()
        finally:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()

    def call(self, method, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            if "method" in message:
                self.on_event(message)

    def on_event(self, message):
        """Every event is looked at once for errors, then kept for waits."""
        self.errors_from(message)
        self.events.append(message)

    def wait_event(self, method, timeout=20):
        deadline = time.time() + timeout
        for i, e in enumerate(self.events):
            if e["method"] == method:
                del self.events[: i + 1]
                return e
        del self.events[:]
        self.ws.settimeout(1)
        try:
            while time.time() < deadline:
                try:
                    message = json.loads(self.ws.recv())
                except websocket.WebSocketTimeoutException:
                    continue
                if "method" in message:
                    self.errors_from(message)
                    if message["method"] == method:
                        return message
        finally:
            self.ws.settimeout(30)
        raise RuntimeError("no " + method)

    def drain(self, seconds):
        """Collects events for a while (late scripts, the basemap fetch)."""
        self.ws.settimeout(0.2)
        deadline = time.time() + seconds
        try:
            while time.time() < deadline:
                try:
                    self.errors_from(json.loads(self.ws.recv()))
                except websocket.WebSocketTimeoutException:
                    pass
        finally:
            self.ws.settimeout(30)

    console_errors = []
    dialogs = []
    transferred = 0
    requested = []

    def reset(self):
        """Forgets what the previous page did (errors, bytes, events)."""
        self.console_errors = []
        self.transferred = 0
        self.events = []

    def errors_from(self, message):
        m = message.get("method")
        p = message.get("params", {})
        if m == "Runtime.exceptionThrown":
            self.console_errors.append(p["exceptionDetails"].get("text", "exception"))
        elif m == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert", "warning"):
            self.console_errors.append(" ".join(str(a.get("value", a.get("description", ""))) for a in p.get("args", [])))
        elif m == "Log.entryAdded" and p["entry"].get("level") in ("error", "warning"):
            self.console_errors.append(p["entry"].get("text", ""))
        elif m == "Page.javascriptDialogOpening":
            self.dialogs.append(p.get("message"))
        elif m == "Network.loadingFinished":
            self.transferred += p.get("encodedDataLength", 0)
        elif m == "Network.requestWillBeSent":
            self.requested.append(p["request"]["url"])

    def goto(self, url, settle=1.5):
        self.reset()
        self.call("Page.navigate", url=url)
        self.wait_load()
        self.drain(settle)

    def wait_load(self):
        return self.wait_event("Page.loadEventFired", 30)

    def eval(self, expression):
        r = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in r:
            raise RuntimeError("evaluate %s: %s" % (expression, r["exceptionDetails"]))
        return r["result"].get("value")

    def screenshot(self, path, height=3000):
        """The whole page (its first `height` pixels) as PNG."""
        size = self.call("Page.getLayoutMetrics")["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": size["width"], "height": min(size["height"], height), "scale": 1}
        data = self.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                         clip=clip)["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))
        print("     screenshot " + path, flush=True)

    def mouse(self, kind, x, y, buttons=1):
        self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                  buttons=buttons if kind != "mouseReleased" else 0, clickCount=1)

    KEYS = {"Enter": (13, "\r"), "Tab": (9, ""), "Escape": (27, ""), "ArrowLeft": (37, ""),
            "ArrowUp": (38, ""), "ArrowRight": (39, ""), "ArrowDown": (40, "")}

    def key(self, name):
        """Presses and lets go of one key, as a keyboard would send it."""
        code, text = self.KEYS[name]
        common = {"key": name, "code": name, "windowsVirtualKeyCode": code, "nativeVirtualKeyCode": code}
        self.call("Input.dispatchKeyEvent", type="keyDown", text=text, **common)
        self.call("Input.dispatchKeyEvent", type="keyUp", **common)

    def focused(self):
        """What has the focus: "map", else its id, else its text."""
        return self.eval("(() => { const e = document.activeElement;"
                         " return e.classList.contains('map') ? 'map' :"
                         " e.id || e.textContent.trim().slice(0, 40); })()")

    def click_at(self, x, y):
        self.mouse("mouseMoved", x, y, 0)
        self.mouse("mousePressed", x, y)
        self.mouse("mouseReleased", x, y)


def record_ids_on_page(b):
    return sorted(b.eval("Array.from(document.querySelectorAll('.results li.record'))"
                         ".map(li => li.dataset.id)"))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    tool, corpus, artefacts = (os.path.abspath(a) for a in sys.argv[1:])
    if CHROMIUM is None or websocket is None:
        print("SKIPPED: the browser tests need chromium and python3-websocket "
              "(scripts/install-deps.sh installs both)")
        return SKIP
    os.makedirs(artefacts, exist_ok=True)
    work = tempfile.mkdtemp(prefix="metashelf-pages-")
    server = None
    browser = None
    try:
        make_catalog(tool, corpus, work)
        port = free_port()
        server = subprocess.Popen([tool, "serve", "--listen", "127.0.0.1:%d" % port], cwd=work,
                                  stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "access.log"), "w"))
        base = "http://127.0.0.1:%d" % port
        deadline = time.time() + 30
        while True:
            try:
                urllib.request.urlopen(base + "/?f=json", timeout=2)
                break
            except OSError:
                if time.time() > deadline or server.poll() is not None:
                    sys.exit("serve did not start")
                time.sleep(0.2)

        # The server gave the freshly imported collection its search indexes.
        with open(os.path.join(work, "access.log")) as log:
            check("built the search indexes of 'fgdc'" in log.read(),
                  "serve builds the search indexes an import left to the first search")

        # The policy header arrives with every page.
        with urllib.request.urlopen(urllib.request.Request(base + "/", headers={"Accept": "text/html"})) as r:
            csp = r.headers.get("Content-Security-Policy", "")
            check(r.headers.get("Content-Type", "").startswith("text/html"), "Accept: text/html gives a page")
            check("script-src 'self'" in csp and "unsafe-inline" not in csp,
                  "pages carry a policy that forbids inline script: " + csp)

        browser = Browser(tempfile.mkdtemp(prefix="chromium-", dir=work))
        b = browser

        # Landing page.
        b.goto(base + "/?f=html")
        check(b.console_errors == [], "landing page: no console errors %s" % b.console_errors)
        check(b.eval("document.querySelectorAll('.collections a').length") == 1,
              "landing page lists the collection")
        check("61 records" in b.eval("document.body.innerText"), "landing page counts the records")
        b.screenshot(os.path.join(artefacts, "landing.png"))

        # A search typed into the form, the way a person does it.
        query = "keyword like a"
        expected = search_ids(tool, work, query)
        b.goto(base + "/collections/fgdc/items?f=html&limit=100")
        b.eval("document.getElementById('where').value = %s" % json.dumps(query))
        b.reset()
        b.eval("document.querySelector('form.search button[type=submit]').click()")
        b.wait_load()
        b.drain(1.5)
        check(b.console_errors == [], "collection page: no console errors %s" % b.console_errors)
        found = record_ids_on_page(b)
        check(len(expected) > 0 and found == expected,
              "the form's search finds what metashelf search finds (%d vs %d)" % (len(found), len(expected)))

        # The map: the land, and one shape per listed record with a box.
        with_boxes = b.eval("document.querySelectorAll('.results li.record[data-boxes]').length")
        shapes = b.eval("document.querySelectorAll('.leaflet-overlay-pane path.record-box').length")
        land = b.eval("document.querySelectorAll('.leaflet-land-pane path').length")
        check(with_boxes > 0 and shapes == with_boxes,
              "the map draws one shape per record with a box (%s shapes, %s records)" % (shapes, with_boxes))
        check(land >= 2, "the map draws the land and its coasts")
        b.screenshot(os.path.join(artefacts, "collection.png"))

        # Page weight of a first visit: the page, its scripts, styles, basemap.
        b.call("Network.setCacheDisabled", cacheDisabled=True)
        b.goto(base + "/collections/fgdc/items?f=html", settle=2)
        check(0 < b.transferred <= 500 * 1024,
              "a collection page with its map weighs %d bytes (at most 500 KB)" % b.transferred)
        b.call("Network.setCacheDisabled", cacheDisabled=False)

        # A drawn box filters the search.
        before = b.eval("document.querySelector('h2.matched').textContent")
        b.eval("Array.from(document.querySelectorAll('.map-tools button'))[0].click()")
        rect = b.eval("(() => { const r = document.querySelector('.map').getBoundingClientRect();"
                      " return [r.left, r.top, r.width, r.height]; })()")
        x0, y0 = rect[0] + rect[2] * 0.30, rect[1] + rect[3] * 0.25
        x1, y1 = rect[0] + rect[2] * 0.60, rect[1] + rect[3] * 0.70
        b.reset()
        b.mouse("mouseMoved", x0, y0, 0)
        b.mouse("mousePressed", x0, y0)
        for k in range(1, 6):
            b.mouse("mouseMoved", x0 + (x1 - x0) * k / 5, y0 + (y1 - y0) * k / 5)
        b.mouse("mouseReleased", x1, y1)
        b.wait_load()
        b.drain(1)
        url = b.eval("location.href")
        bbox = urllib.parse.parse_qs(urllib.parse.urlparse(url).query).get("bbox", [""])[0]
        check(len(bbox.split(",")) == 4, "a drawn box becomes the search's bbox (%s)" % bbox)
        after = b.eval("document.querySelector('h2.matched').textContent")
        check(b.console_errors == [] and after != "", "the boxed search loads: %s (was %s)" % (after, before))

        # The keyboard alone: the focus goes from the form through the box
        # tools to the map, the map shows where it has the focus, and Enter
        # at two corners, moving with the arrow keys between, searches a box.
        b.goto(base + "/collections/fgdc/items?f=html")
        b.eval("document.getElementById('bbox').focus()")
        order = []
        for _ in range(5):
            b.key("Tab")
            order.append(b.focused())
        check(order == ["Search", "Clear", "Draw a search box", "Search this view", "map"],
              "the focus goes form, box tools, map: %s" % order)
        check(b.eval("getComputedStyle(document.querySelector('.map')).outlineStyle") == "solid",
              "the focused map shows its focus")
        b.eval("document.querySelector('.map-tools button').focus()")
        b.key("Enter")
        check(b.focused() == "map" and
              b.eval("getComputedStyle(document.querySelector('.map-cross')).display") == "block",
              "drawing from the keyboard puts the focus on the map with a cross at its centre")
        b.key("Enter")
        for name in ("ArrowRight",) * 6 + ("ArrowDown",) * 4:
            b.key(name)
        b.screenshot(os.path.join(artefacts, "collection-keyboard-box.png"))
        b.reset()
        b.key("Enter")
        b.wait_load()
        b.drain(1)
        bbox = urllib.parse.parse_qs(urllib.parse.urlparse(b.eval("location.href")).query).get("bbox", [""])[0]
        v = [float(x) for x in bbox.split(",")] if bbox.count(",") == 3 else []
        # At world scale 120 by 80 pixels span several degrees either way.
        check(len(v) == 4 and v[2] - v[0] > 5 and v[3] - v[1] > 5 and b.console_errors == [],
              "a box drawn with the keys becomes the search's bbox (%s)" % bbox)
        b.eval("document.querySelector('.map-tools button').focus()")
        b.key("Enter")
        b.key("Escape")
        check(b.focused() == "Draw a search box" and
              b.eval("document.querySelector('.map-tools button').getAttribute('aria-pressed')") == "false",
              "Esc ends drawing and gives the focus back to the button")

        # A click on a box opens its record.
        b.goto(base + "/collections/fgdc/items?f=html&where=" + urllib.parse.quote("keyword = Hostile"))
        center = b.eval("(() => { const r = document.querySelector('path.record-box').getBoundingClientRect();"
                        " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        b.reset()
        b.click_at(center[0], center[1])
        b.wait_load()
        b.drain(1.5)
        check("/items/" in b.eval("location.pathname"), "a click on a box opens the record")

        # The hostile record: its title is text, nothing ran.
        check(b.eval("document.querySelector('h1').textContent") == HOSTILE_TITLE,
              "the hostile title shows as text")
        check(b.eval("document.querySelectorAll('script').length") == 2 and b.dialogs == [],
              "no script came from the record")
        check(b.console_errors == [], "record page: no console errors %s" % b.console_errors)
        check(b.eval("document.querySelectorAll('.leaflet-overlay-pane path.record-box').length") == 1,
              "the record's extent is on its map")
        check(b.eval("Array.from(document.querySelectorAll('.downloads a')).some(a => a.href.includes('f=xml'))"),
              "the record page offers the stored XML")
        links = b.eval("Array.from(document.querySelectorAll('.downloads a')).map(a => a.href)")
        attachment = [l for l in links if l.endswith("/attachment")]
        check(len(attachment) == 1 and urllib.request.urlopen(attachment[0]).read() == ATTACHMENT,
              "the record page offers its attachment, byte for byte")
        record_url = b.eval("location.pathname + location.search")
        b.screenshot(os.path.join(artefacts, "record.png"))

        # Conditions the tool would refuse come back on the form, with why.
        b.goto(base + "/collections/fgdc/items?f=html&where=" + urllib.parse.quote("westbc = west"))
        check("holds numbers" in b.eval("document.querySelector('.error').textContent")
              and b.eval("document.getElementById('where').value") == "westbc = west",
              "refused conditions show on the form with the reason")

        # Phone width: no page is wider than the screen.
        b.call("Emulation.setDeviceMetricsOverride", width=390, height=844, deviceScaleFactor=1, mobile=True)
        for name, url in (("landing", "/?f=html"), ("collection", "/collections/fgdc/items?f=html&limit=5"),
                          ("record", record_url)):
            b.goto(base + url)
            width = b.eval("document.documentElement.scrollWidth")
            check(width <= 390 and b.console_errors == [],
                  "the %s page reads at phone width (%d pixels wide)" % (name, width))
            b.screenshot(os.path.join(artefacts, name + "-phone.png"), height=1400)
        b.call("Emulation.clearDeviceMetricsOverride")

        # Without JavaScript the records are still listed.
        b.call("Emulation.setScriptExecutionDisabled", value=True)
        b.goto(base + "/collections/fgdc/items?f=html&where=" + urllib.parse.quote(query) + "&limit=100")
        check(record_ids_on_page(b) == expected, "without JavaScript the page lists the same records")
        check(b.eval("getComputedStyle(document.querySelector('.map')).display") == "none",
              "without JavaScript no empty map is shown")
        b.screenshot(os.path.join(artefacts, "collection-nojs.png"))
        b.call("Emulation.setScriptExecutionDisabled", value=False)

        # Nothing outside the server was asked for, on any page.
        b.requested = []
        for url in ("/?f=html", "/collections/fgdc/items?f=html", "/collections/fgdc/items/1?f=html"):
            b.goto(base + url)
        outside = [u for u in b.requested if not (u.startswith(base + "/") or u.startswith("data:"))]
        check(b.requested and outside == [], "the pages ask nothing of any other host %s" % outside)
    finally:
        if browser is not None:
            browser.close()
        if server is not None:
            server.terminate()
            try:
                server.wait(10)
            except subprocess.TimeoutExpired:
                server.kill()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
