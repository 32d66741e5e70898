#!/usr/bin/python3
"""The profile page in a real browser (Chromium, headless, through chromedriver).

A collector-like client uploads items through the real pages over HTTP; then the browser
checks that a stranger sees nothing, that signing in shows exactly that profile, that the
filter narrows the programs, that a program named like a script stays text, that an
evaluation username signs in, that a wrong password is refused, and that signing out ends
the session. A second subscriber makes two collections through the real pages, and the page
shows what changed between them and downloads the current one as CSV and JSON, following the
filter. axe-core (fetched with `npm pack axe-core` once, kept in the build folder) checks both
views for serious or critical accessibility violations. Saves screenshots of the sign-in form,
the signed-in page and the changes section.

usage: profile_page_test.py SERVICE_BINARY [SCREENSHOT_DIR]
"""
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SERVICE = sys.argv[1] if len(sys.argv) > 1 else ""
SHOTS = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "screenshots")
AXE_DIR = os.path.join(os.path.dirname(os.path.abspath(SHOTS)), "axe-core") if len(sys.argv) > 2 else \
    os.path.join(tempfile.gettempdir(), "vantrel-axe-core")
SCRIPT_NAME = "<script>alert(1)</script>"
PROGRAMS = ["Vantrel Editor 2.1", "Photo Studio 7", "Office Suite 24.2", "Editor Helper 0.9", SCRIPT_NAME,
            "Mail Client 115", "Terminal 3.46"]


class Service_:
    """vantrel-dataservice on 127.0.0.1, a free port, a fresh database."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vantrel-browser-")
        self.db = os.path.join(self.dir, "service.db")
        subprocess.run([SERVICE, "--db", self.db, "add-account", "alice", "-"], input=b"Correct Horse\n",
                       check=True, timeout=60)
        subprocess.run([SERVICE, "--db", self.db, "add-account", "bob", "-"], input=b"bobs password\n",
                       check=True, timeout=60)
        subprocess.run([SERVICE, "--db", self.db, "add-account", "carol", "-"], input=b"carols password\n",
                       check=True, timeout=60)
        self.proc = subprocess.Popen([SERVICE, "--db", self.db, "--port", "0"], stdout=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        match = re.match(r"listening on (http://127\.0\.0\.1:\d+/)", line)
        if not match:
            self.stop()
            raise RuntimeError("the service did not start: " + line)
        self.address = match.group(1)

    def get(self, page, **keys):
        # Built from the page and its keys, values percent-encoded, as the collector does.
        query = "&".join(k + "=" + urllib.parse.quote(v, safe="") for k, v in keys.items())
        with urllib.request.urlopen(self.address + page + "?" + query, timeout=30) as reply:
            return reply.status, reply.read()

    def stop(self):
        if getattr(self, "proc", None):
            self.proc.terminate()
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        shutil.rmtree(self.dir, ignore_errors=True)


def collector_run(service):
    """A subscriber's run and an evaluating user's run, through the real upload pages."""
    alice = {"UID": "alice", "PWD": "Correct Horse"}
    assert b"<z:row" in service.get("getdata.asp", **alice)[1]
    service.get("updatedata.asp", crDate="1/1/2024", luDate="1/1/2024", **alice)
    for program in PROGRAMS:
        service.get("sftdata.asp", qIS=program, **alice)
    service.get("sounddata.asp", Sound="HD Audio Controller", **alice)
    service.get("videodata.asp", Video="Display Adapter 1.2", **alice)
    service.get("MMSdata.asp", MMS="Example Maker Desk 5", **alice)
    service.get("mainhwddata.asp", ConfigDate="6/1/2025", BIOS="Firmware 2.4", **alice)
    service.get("OSdata.asp", OS="Debian GNU/Linux 12", **alice)
    service.get("NICdata.asp", NIC="Ethernet Controller", **alice)
    service.get("finalize.asp", **alice)
    service.get("sftdata.asp", UID="bob", PWD="bobs password", qIS="Bobs Private Tool")
    service.get("gettemp.asp", TempID="Eval2B3C4")
    service.get("evalsftdata.asp", UID="Eval2B3C4", qIS="Evaluated Program 1.0")


def carol_run(service, programs, config_date):
    """One collection of carol's, through the real upload pages."""
    carol = {"UID": "carol", "PWD": "carols password"}
    service.get("updatedata.asp", crDate="1/1/2024", luDate="1/1/2024", **carol)
    for program in programs:
        service.get("sftdata.asp", qIS=program, **carol)
    service.get("mainhwddata.asp", ConfigDate=config_date, BIOS="Firmware 2.4", **carol)
    service.get("videodata.asp", Video="Display Adapter 1.2", **carol)
    service.get("finalize.asp", **carol)


def axe_source():
    """axe-core's script, from the npm registry the first time (npm pack), then from AXE_DIR."""
    script = os.path.join(AXE_DIR, "package", "axe.min.js")
    if not os.path.exists(script):
        os.makedirs(AXE_DIR, exist_ok=True)
        subprocess.run(["npm", "pack", "axe-core@4", "--pack-destination", AXE_DIR], check=True, timeout=180,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        tarball = [f for f in os.listdir(AXE_DIR) if f.startswith("axe-core-") and f.endswith(".tgz")][0]
        subprocess.run(["tar", "-xzf", os.path.join(AXE_DIR, tarball), "-C", AXE_DIR, "package/axe.min.js"],
                       check=True, timeout=60)
    with open(script, encoding="utf-8") as f:
        return f.read()


def browser(profile_dir):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile_dir, "--window-size=1000,1300"]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    return driver


def gone(element):
    """True once `element` is no longer in the page. While the page is being replaced the driver
    may answer a question about it with an error of its own rather than calling it stale."""
    try:
        element.is_enabled()
        return False
    except WebDriverException:
        return True


class ProfilePageInABrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.service = Service_()
        collector_run(cls.service)
        carol_run(cls.service, ["Tool v1.0", "Gone v2", "Same v3"], "6/1/2025")
        carol_run(cls.service, ["Tool v1.1", "Same v3", "cowsay v3.03"], "7/1/2025")
        cls.profile_dir = tempfile.mkdtemp(prefix="vantrel-chromium-")
        try:
            cls.driver = browser(cls.profile_dir)
        except Exception:
            cls.service.stop()
            raise
        cls.page = cls.service.address + "profile/hwsw.asp"

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.service.stop()
        shutil.rmtree(cls.profile_dir, ignore_errors=True)

    def setUp(self):
        self.driver.delete_all_cookies()

    def sign_in(self, name, password):
        self.driver.get(self.page)
        self.driver.find_element(By.ID, "uid").clear()
        self.driver.find_element(By.ID, "uid").send_keys(name)
        self.driver.find_element(By.ID, "pwd").send_keys(password)
        button = self.driver.find_element(By.CSS_SELECTOR, "main form button[type=submit]")
        button.click()
        # The answer is a new page: wait until the form's page is gone, then until the new one is in.
        WebDriverWait(self.driver, 10).until(lambda d: gone(button))
        WebDriverWait(self.driver, 10).until(lambda d: d.execute_script("return document.readyState") == "complete")

    def programs_shown(self):
        return [li.text for li in self.driver.find_elements(By.CSS_SELECTOR, "#programs li") if li.is_displayed()]

    def test_a_stranger_sees_only_the_form(self):
        self.driver.get(self.page + "?UID=alice")
        body = self.driver.find_element(By.TAG_NAME, "body").text
        self.assertIn("Sign in to your VantrelNet profile", body)
        for item in PROGRAMS[:3] + ["Bobs Private Tool"]:
            self.assertNotIn(item, body)
        os.makedirs(SHOTS, exist_ok=True)
        self.driver.set_window_size(1000, 700)
        self.driver.save_screenshot(os.path.join(SHOTS, "profile-sign-in.png"))
        self.driver.set_window_size(1000, 1300)

    def test_a_subscriber_sees_exactly_their_profile_and_filters_it(self):
        self.sign_in("alice", "Correct Horse")
        body = self.driver.find_element(By.TAG_NAME, "body").text
        self.assertIn("Hardware and software of alice", body)
        self.assertIn("Completed", body)
        self.assertNotIn("Bobs Private Tool", body)
        self.assertEqual(self.programs_shown(), PROGRAMS)  # in arrival order
        self.assertIn("Firmware 2.4", body)
        # The program named like a script is text, and nothing ran.
        self.assertIn(SCRIPT_NAME, self.programs_shown())
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        self.assertEqual(self.driver.execute_script("return document.querySelectorAll('body script').length"), 0)

        box = self.driver.find_element(By.ID, "program-filter-text")
        self.assertTrue(box.is_displayed())
        os.makedirs(SHOTS, exist_ok=True)
        self.driver.save_screenshot(os.path.join(SHOTS, "profile-signed-in.png"))
        box.send_keys("editor")
        self.assertEqual(self.programs_shown(), ["Vantrel Editor 2.1", "Editor Helper 0.9"])
        self.assertIn("2 of 7 programs shown", self.driver.find_element(By.ID, "program-filter-status").text)
        box.clear()
        box.send_keys("script")
        self.assertEqual(self.programs_shown(), [SCRIPT_NAME])

        # Signing out ends the session: the page is the form again, the inventory gone.
        sign_out = self.driver.find_element(By.CSS_SELECTOR, "header form button")
        sign_out.click()
        WebDriverWait(self.driver, 10).until(lambda d: gone(sign_out))
        WebDriverWait(self.driver, 10).until(lambda d: d.find_elements(By.ID, "uid"))
        self.driver.get(self.page)
        body = self.driver.find_element(By.TAG_NAME, "body").text
        self.assertIn("Sign in", body)
        self.assertNotIn("Vantrel Editor", body)

    def test_an_evaluation_username_signs_in(self):
        self.sign_in("Eval2B3C4", "")
        body = self.driver.find_element(By.TAG_NAME, "body").text
        self.assertIn("Hardware and software of Eval2B3C4", body)
        self.assertIn("Evaluated Program 1.0", body)
        self.assertNotIn("Vantrel Editor", body)

    def test_a_wrong_password_is_refused_with_a_clear_message(self):
        self.sign_in("alice", "not the password")
        self.assertIn("The username or password is not right.",
                      self.driver.find_element(By.ID, "signin-error").text)
        self.assertNotIn("Vantrel Editor", self.driver.find_element(By.TAG_NAME, "body").text)
        self.assertEqual(self.driver.find_element(By.ID, "uid").get_attribute("value"), "alice")

    def serious_violations(self):
        """axe-core's WCAG 2.1 A/AA and best-practice rules over the page now shown."""
        self.driver.execute_script(axe_source())
        violations = self.driver.execute_async_script(
            "var done = arguments[arguments.length - 1];"
            "axe.run(document, {runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa',"
            " 'best-practice']}}).then(function (r) { done(r.violations); },"
            " function (e) { done([{id: 'axe failed', impact: 'critical', help: String(e), nodes: []}]); });")
        return [(v["id"], v["impact"], v["help"], [n.get("target") for n in v["nodes"]][:3])
                for v in violations if v["impact"] in ("serious", "critical")]

    def download(self, link_id):
        """The link's file, fetched with the browser's session cookie."""
        href = self.driver.find_element(By.ID, link_id).get_attribute("href")
        cookies = "; ".join(c["name"] + "=" + c["value"] for c in self.driver.get_cookies())
        request = urllib.request.Request(href, headers={"Cookie": cookies})
        with urllib.request.urlopen(request, timeout=30) as reply:
            return reply.headers, reply.read().decode("utf-8")

    def test_both_views_have_no_serious_accessibility_violation(self):
        self.driver.get(self.page)
        self.assertEqual(self.serious_violations(), [])
        self.sign_in("carol", "carols password")
        self.assertIn("Changes since the previous collection", self.driver.find_element(By.TAG_NAME, "body").text)
        self.assertEqual(self.serious_violations(), [])

    def test_two_collections_show_what_changed_and_download(self):
        self.sign_in("carol", "carols password")
        section = self.driver.find_element(By.CSS_SELECTOR, "section[aria-labelledby=changes]")
        lists = {h.text: h.find_element(By.XPATH, "following-sibling::*[1]").text
                 for h in section.find_elements(By.TAG_NAME, "h3")}
        self.assertEqual(sorted(lists), ["Added", "Removed", "Updated"])
        self.assertIn("cowsay v3.03", lists["Added"])
        self.assertIn("Gone v2", lists["Removed"])
        self.assertIn("Tool 1.0 \u2192 1.1", lists["Updated"])
        for same in ["Same", "Firmware", "Display Adapter"]:  # a BIOS date alone changing is no change
            self.assertNotIn(same, section.text)
        rows = self.driver.find_elements(By.CSS_SELECTOR, "#collection-list tbody tr")
        self.assertEqual(len(rows), 2)
        # Started and completed with their zone, 5 items, 3 changes (one added, removed, updated).
        self.assertRegex(rows[0].text, r"\d{4}, \d{2}:\d{2} \S+ .*\d{4}, \d{2}:\d{2} \S+ 5 3$")
        os.makedirs(SHOTS, exist_ok=True)
        section.screenshot(os.path.join(SHOTS, "profile-changes.png"))

        headers, text = self.download("download-csv")
        self.assertRegex(headers["Content-Disposition"], r'attachment; filename="vantrel-carol-\d{4}-\d{2}-\d{2}\.csv"')
        rows = list(csv.reader(io.StringIO(text)))
        self.assertEqual(rows[0], ["category", "text", "config_date"])
        self.assertIn(["BIOS", "Firmware 2.4", "7/1/2025"], rows)
        self.assertEqual([r[1] for r in rows if r[0] == "Software"], ["Tool v1.1", "Same v3", "cowsay v3.03"])

        box = self.driver.find_element(By.ID, "program-filter-text")
        box.send_keys("TOOL")
        self.assertTrue(self.driver.find_element(By.ID, "download-json").get_attribute("href").endswith("filter=tool"))
        headers, text = self.download("download-json")
        data = json.loads(text)
        self.assertEqual(data["profile"]["name"], "carol")
        self.assertIsNotNone(data["collection"]["completed"])
        self.assertEqual([i["text"] for i in data["items"] if i["category"] == "Software"], ["Tool v1.1"])
        self.assertIn({"category": "Video", "text": "Display Adapter 1.2", "configDate": None}, data["items"])


if __name__ == "__main__":
    if not SERVICE:
        sys.exit(__doc__)
    unittest.main(argv=sys.argv[:1], verbosity=2)
