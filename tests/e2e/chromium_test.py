"""A real headless Chromium, driven through chromedriver, uses the browser's
views as a person would: it opens the catalogue, follows the link to a data
set's page, ticks a variable, sets ranges, checks the constraint the page
builds (and an edit of it) and follows the CSV link, whose download is
compared with the values netCDF4 reads from the file. A screenshot of each
page is kept in QVP_ARTIFACT_DIR. Run with Debian's python3 (selenium,
netCDF4)."""
import csv
import os
import sys
import time
import unittest
import urllib.parse

import netCDF4
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import ENV, ServedTestCase  # noqa: E402

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 15  # seconds any page or download may take


def wait_for(condition, what):
    deadline = time.time() + WAIT
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


class ChromiumTest(ServedTestCase):
    ramp = False

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.downloads = os.path.join(cls.base, "downloads")
        os.makedirs(cls.downloads)
        cls.artifacts = ENV.get("QVP_ARTIFACT_DIR",
                                os.path.join(cls.base, "shots"))
        os.makedirs(cls.artifacts, exist_ok=True)
        try:
            cls.driver = cls.start_chromium(os.path.join(cls.base, "profile"))
        except BaseException:
            super().tearDownClass()
            raise

    @classmethod
    def start_chromium(cls, profile):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless", "--no-sandbox", "--disable-gpu",
                    "--disable-quic", "--no-first-run",
                    "--disable-background-networking",
                    "--disable-component-update", "--disable-sync",
                    "--disable-dev-shm-usage", "--window-size=1200,1600",
                    "--user-data-dir=" + profile):
            options.add_argument(arg)
        options.add_experimental_option("prefs", {
            "download.default_directory": cls.downloads,
            "download.prompt_for_download": False})
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        driver.set_page_load_timeout(WAIT)
        driver.execute_cdp_cmd("Page.setDownloadBehavior",
                               {"behavior": "allow",
                                "downloadPath": cls.downloads})
        return driver

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        super().tearDownClass()

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(self.artifacts, name + ".png"))

    def test_catalogue_page_constraint_and_csv(self):
        d = self.driver
        base = "http://127.0.0.1:%d/qvp/" % self.server.port
        d.get(base)
        self.assertEqual(d.title, "Data sets in /")
        self.shot("catalogue")

        d.find_element(By.LINK_TEXT, "sst.nc").click()
        wait_for(lambda: d.title == "sst.nc", "the data set's page")
        self.assertEqual(d.current_url, base + "sst.nc.html")
        self.assertTrue(d.find_element(By.ID, "ce").is_displayed())

        sst = d.find_element(By.XPATH, "//fieldset[.//input[@data-ce='sst']]")
        sst.find_element(By.CSS_SELECTOR, "input.pick").click()
        ce = d.find_element(By.ID, "ce")
        self.assertEqual(ce.get_attribute("value"), "sst")
        dims = sst.find_elements(By.CSS_SELECTOR, ".dim")
        self.set_range(dims[0], 1, 1, 1)   # time
        self.set_range(dims[1], 0, 2, 2)   # lat
        self.set_range(dims[2], 2, 1, 3)   # lon
        want = "sst[1:1:1][0:2:2][2:1:3]"
        self.assertEqual(ce.get_attribute("value"), want)
        csv_link = d.find_element(By.ID, "link-csv")
        self.assertEqual(csv_link.get_attribute("href"),
                         base + "sst.nc.csv?" + urllib.parse.quote(want, safe=""))
        self.assertEqual(d.find_element(By.ID, "link-vorn").get_attribute("href"),
                         base + "sst.nc.vorn?" + urllib.parse.quote(want, safe=""))
        self.shot("page")

        # An edit of the constraint itself moves the links.
        ce.clear()
        ce.send_keys("lat")
        self.assertEqual(csv_link.get_attribute("href"), base + "sst.nc.csv?lat")
        ce.clear()
        ce.send_keys(want)

        csv_link.click()
        path = os.path.join(self.downloads, "sst.nc.csv")
        wait_for(lambda: os.path.exists(path) and os.path.getsize(path) > 0,
                 "the CSV download")
        with open(path, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        nc = netCDF4.Dataset(os.path.join(self.root, "sst.nc"))
        nc.set_auto_maskandscale(False)
        fill = nc["sst"].getncattr("_FillValue")
        expected = [["time", "lat", "lon", "sst"]]
        for r in (0, 2):
            for c in (2, 3):
                v = nc["sst"][1, r, c]
                expected.append([repr(float(nc["time"][1])), repr(float(nc["lat"][r])),
                                 repr(float(nc["lon"][c])),
                                 "" if v == fill else str(int(v))])
        self.assertEqual([rows[0]] + [[repr(float(x)) for x in row[:3]] + row[3:]
                                      for row in rows[1:]], expected)

        # A download leaves the page in place; its link leads back.
        self.assertEqual(d.title, "sst.nc")
        d.find_element(By.LINK_TEXT, "Catalogue").click()
        wait_for(lambda: d.title == "Data sets in /", "the catalogue again")

    def set_range(self, dim, start, stride, stop):
        for cls, value in (("start", start), ("stride", stride), ("stop", stop)):
            box = dim.find_element(By.CSS_SELECTOR, "input." + cls)
            box.clear()
            box.send_keys(str(value))


if __name__ == "__main__":
    unittest.main()
