"""The browser's views through lighttpd: pages parse as HTML, escape hostile
names and show nothing outside the data root; CSV equals what netCDF4 reads;
text is compressed, data is not; each numeric field of two or more
dimensions has a preview image. A headless Chromium uses the views as a
person would and sees the preview drawn (screenshots in QVP_ARTIFACT_DIR). Debian's python3 runs it."""
import csv, email.utils, gzip, html.parser, io, os, pathlib, re, shutil, subprocess, urllib.parse

import netCDF4
import numpy
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

from e2e_support import ENV, ServedTestCase, plant_escape, wait_until, write

HOSTILE = [b"<script>alert(1).nc", b"<img src=x onerror=alert(2)>.nc", b"q\"uo'te&amp;.nc",
           b"bad\xff\xfe.nc", b"sp ace.nc", b"new\nline.nc", b"javascript:alert(1).nc"]


def links(body):
    """The href of every link of a page."""
    hrefs, parser = [], html.parser.HTMLParser()
    parser.handle_starttag = lambda tag, attrs: tag == "a" and hrefs.append(dict(attrs)["href"])
    parser.feed(body.decode("utf-8"))
    return hrefs


def csv_rows(body):
    return list(csv.reader(io.StringIO(body.decode("utf-8"), newline="")))


def type_in(box, text):
    box.clear()
    box.send_keys(text)


class BrowserViewsTest(ServedTestCase):
    # In memory where possible: 100,000 files on a busy disk take minutes.
    tmp_parent = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None

    @classmethod
    def prepare(cls):
        sst = os.path.join(cls.root, "sst.nc")
        for name in HOSTILE + [b".hidden.nc"]:
            shutil.copy(sst, os.path.join(os.fsencode(cls.root), name))
        write(os.path.join(cls.root, "notes.txt"), "")
        os.makedirs(os.path.join(cls.root, "sub <dir>"))
        shutil.copy(os.path.join(cls.root, "station.nc"), os.path.join(cls.root, "sub <dir>"))
        plant_escape(cls.root, cls.base)
        os.symlink(cls.base, os.path.join(cls.root, "up"))
        os.symlink("sst.nc", os.path.join(cls.root, "alias.nc"))
        write(sst + ".html", "<p id=\"provider-doc\">Kept by the sea desk.</p>\n")
        os.makedirs(os.path.join(cls.root, "many"))
        for i in range(100_000):
            os.close(os.open("%s/many/f%06d.nc" % (cls.root, i), os.O_CREAT | os.O_WRONLY))

    def nc(self, name):
        nc = netCDF4.Dataset(os.path.join(self.root, name))
        nc.set_auto_maskandscale(False)
        self.addCleanup(nc.close)
        return nc

    def assert_sst_csv(self, body, rows, cols):
        """`body` is the CSV of sst[1][rows][cols] as netCDF4 reads it: time,
        lat and lon as numbers, the value as text, empty for the fill value."""
        nc = self.nc("sst.nc")
        fill, got = nc["sst"].getncattr("_FillValue"), csv_rows(body)
        self.assertEqual(got[0], ["time", "lat", "lon", "sst"])
        self.assertEqual([[float(x) for x in r[:3]] + r[3:] for r in got[1:]], [
            [nc["time"][1], nc["lat"][r], nc["lon"][c],
             "" if nc["sst"][1, r, c] == fill else str(nc["sst"][1, r, c])]
            for r in rows for c in cols])
        return got

    def assert_page(self, path):
        status, headers, body = self.get(path)
        self.assertEqual((status, headers["Content-Type"]), (200, "text/html"), path)
        lint = subprocess.run(["xmllint", "--html", "--noout", "-"], input=body,
                              capture_output=True)
        self.assertEqual((lint.returncode, lint.stderr), (0, b""), path)
        self.assertEqual([s for s in (self.base.encode(), b"outside", b"escape.nc",
                                      b"<script>alert", b"href=\"javascript") if s in body], [], path)
        return body

    def test_catalogue_lists_what_is_served_and_nothing_else(self):
        body = self.assert_page("")
        hrefs = links(body)
        names = sorted(urllib.parse.unquote_to_bytes(h[2:-5]) for h in hrefs
                       if h.endswith(".html"))
        # A name with a control byte cannot be asked for: not listed.
        self.assertEqual(names, sorted([n for n in HOSTILE if b"\n" not in n] + [
            b"alias.nc", b"model.nc", b"names.nc", b"ramp.nc", b"sst.nc", b"station.nc"]))
        self.assertTrue({"./many/", "./sub%20%3Cdir%3E/"} <= set(hrefs))
        self.assertEqual([h for h in (b".hidden", b"notes.txt", b"up/", b">sst.nc.html<", b"<img")
                          if h in body], [])
        self.assertIn(b"&lt;script&gt;alert(1).nc", body)
        # Every link works: each page and each response of each data set,
        # but for the name that is not UTF-8, which lighttpd itself refuses.
        for href in hrefs:
            if not href.endswith("/") and "%FF" not in href:
                self.assertEqual(self.get(href[2:])[0], 200, href)
                if href.endswith(".html"):
                    self.assert_page(href[2:])

    def test_subdirectory_and_redirects(self):
        body = self.assert_page("sub%20%3Cdir%3E/")
        self.assertTrue({"./station.nc.html", "../"} <= set(links(body)))
        self.assertIn(b"Data sets in /sub &lt;dir&gt;/", body)
        url = "http://127.0.0.1:%d/qvp/" % self.server.port
        for path, location in (("/qvp/sub%20%3Cdir%3E", url + "sub%20%3Cdir%3E/"),
                               ("/qvp/sst.nc", url + "sst.nc.html"), ("/qvp", "/qvp/")):
            status, headers, _ = self.server.get(path)
            self.assertEqual((status, headers["Location"]), (301, location), path)
        for path in ("up/", "escape.nc.html", "missing/", "up"):
            status, _, body = self.get(path)
            self.assertIn(status, (400, 404), path)
            self.assertNotIn(self.base.encode(), body)

    def test_large_directory_is_paged(self):
        body = self.assert_page("many/")
        self.assertEqual(body.count(b"<tr><td>"), 1000)
        self.assertIn(b"Entries 1 to 1000 of 100000.", body)
        self.assertIn("?page=2", links(body))
        body = self.assert_page("many/?page=100")
        self.assertIn(b"./f099999.nc.html", body)
        self.assertIn("?page=99", links(body))
        self.assertNotIn("?page=101", links(body))
        self.assertEqual(self.get("many/?page=999")[2], body)

    def test_data_set_page(self):
        body = self.assert_page("sst.nc.html")
        self.assertEqual([t for t in (b"Monthly sea surface temperature", b"Int16 (Grid)",
                                      b"[time = 2][lat = 3][lon = 4]", b"degrees_north",
                                      b"Kept by the sea desk.", b"data-ce=\"sst\"")
                          if t not in body], [])
        hrefs = links(body)
        for href in ("./sst.nc.csv?sst", "./sst.nc.vorn?sst", "./sst.nc.das", "./sst.nc.", "./"):
            self.assertTrue(any(h.startswith(href) for h in hrefs), href)
        # Without JavaScript the links of each whole variable work.
        for href in (h for h in hrefs if "?" in h):
            self.assertEqual(self.get(href[2:])[0], 200, href)
        # A lazily loaded preview of each numeric field of two or more
        # dimensions: sst's first time step, whole.
        # Members of groups and compounds too.
        src = rb'<img class="preview" loading="lazy"[^>]* src="([^"]*)"'
        for page, want in (("sst.nc.html", [b"./sst.nc.png?sst%5B0%5D%5B0%3A2%5D%5B0%3A3%5D"]),
                           ("model.nc.html", [b"./model.nc.png?obs.pair",
                                              b"./model.nc.png?surface.temp"])):
            previews = re.findall(src, self.assert_page(page))
            self.assertEqual(previews, want)
            for preview in previews:
                status, headers, png = self.get(preview[2:].decode())
                self.assertEqual((status, headers["Content-Type"], png[:4]),
                                 (200, "image/png", b"\x89PNG"), preview)
        body = self.assert_page("%3Cscript%3Ealert(1).nc.html")
        self.assertIn(b"<h1>&lt;script&gt;alert(1).nc</h1>", body)
        self.assertIn(b"data-base=\"./%3Cscript%3Ealert(1).nc\"", body)

    def test_conditional_requests_and_compression(self):
        os.utime(os.path.join(self.root, "station.nc"), (1_000_000_000, 1_000_000_000))
        same = email.utils.formatdate(1_000_000_000, usegmt=True)
        earlier = email.utils.formatdate(999_999_999, usegmt=True)
        for view in ("station.nc.html", "station.nc.csv?temp"):
            status, _, body = self.get(view, {"If-Modified-Since": same})
            self.assertEqual((status, body), (304, b""), view)
            status, headers, _ = self.get(view, {"If-Modified-Since": earlier})
            self.assertEqual((status, headers["Last-Modified"]), (200, same), view)
        self.assertEqual(self.get("station.nc.html", {"Accept-Encoding": "gzip",
                                                      "If-Modified-Since": same})[0], 304)
        for path in ("", "sst.nc.html", "sst.nc.csv?sst", "sst.nc.das", "sst.nc.ddx"):
            status, headers, body = self.get(path, {"Accept-Encoding": "gzip"})
            self.assertEqual((status, headers["Content-Encoding"]), (200, "gzip"), path)
            self.assertEqual(gzip.decompress(body), self.get(path)[2], path)
        self.assertIsNone(self.get("sst.nc.vorn", {"Accept-Encoding": "gzip"})[1]
                          ["Content-Encoding"])

    def test_csv_equals_the_file(self):
        status, headers, body = self.get("sst.nc.csv?sst%5B1%5D%5B0:2:2%5D%5B1:3%5D")
        self.assertEqual((status, headers["Content-Type"]), (200, "text/csv; charset=utf-8"))
        self.assertTrue(body.endswith(b"\r\n"))
        rows = self.assert_sst_csv(body, (0, 2), (1, 2, 3))
        self.assertIn("", [r[3] for r in rows[1:]])  # the fill value is there

    def test_csv_scalars_strings_and_precision(self):
        # Columns come in the data set's order, whatever the constraint's.
        rows = csv_rows(self.get("names.nc.csv?name,code,total,id")[2])
        nc = self.nc("names.nc")
        self.assertEqual(rows[0], ["station", "name", "code", "id", "total"])
        self.assertEqual([r[1:3] for r in rows[1:]], [list(x) for x in zip(
            nc["name"][:], netCDF4.chartostring(nc["code"][:]))])
        self.assertEqual([[int(r[3]), int(float(r[4]))] for r in rows[1:]],
                         [[int(i), int(t)] for i, t in zip(nc["id"][:], nc["total"][:])])
        self.assertEqual(csv_rows(self.get("station.nc.csv?elevation,station_name")[2]),
                         [["station_name", "elevation"], ["Lindenberg", "98.5"]])
        temps = [r[1] for r in csv_rows(self.get("station.nc.csv?temp,time")[2])[1:]]
        # Empty for the fill value, else text that reads back to the Float32.
        self.assertEqual([None if t == "" else numpy.float32(t) for t in temps],
                         [None if t == -999 else t for t in self.nc("station.nc")["temp"][:]])

    def test_csv_refusals_are_errors_not_cut_tables(self):
        for query, word in (("sst,time", b'\\"time\\" has [time=2]'), ("nosuch", b"nosuch"),
                            ("sst%5B0%5D,lat", b"[time=0:1:0]"), ("version()", b"function")):
            status, _, body = self.get("sst.nc.csv?" + query)
            self.assertTrue(status in (400, 404) and word in body, (query, status, body))

    def test_large_csv_streams_in_bounded_memory(self):
        # The handler's peak memory for 1024 x 2048 values against that for
        # four (a sanitizer's own cancels out); the last row by the formula.
        small_kib, _ = self.handler_csv("ramp[0][0:3]")
        large_kib, (lines, last) = self.handler_csv("ramp[0:1023]")
        self.assertEqual((lines, last), (9 + 1 + 1024 * 2048,
                                         b"1023,2047,%d\r\n" % (1024 * 2048 - 1)))
        self.assertLess(large_kib - small_kib, 32 * 1024)

    def handler_csv(self, ce):
        """The handler's peak resident size in KiB for a CSV of `ce`, and
        the count of its output lines with the last one."""
        env = dict(ENV, ASAN_OPTIONS=ENV.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=1")
        proc = subprocess.Popen([ENV["QVP_HANDLER"], "--view=csv", "-e", ce, self.root + "/ramp.nc"],
                                stdout=subprocess.PIPE, env=env)
        with proc.stdout:
            for lines, last in enumerate(proc.stdout, 1):
                pass
        _, proc.returncode, usage = os.wait4(proc.pid, 0)
        self.assertEqual(proc.returncode, 0)
        return usage.ru_maxrss, (lines, last)

    def test_chromium_walks_catalogue_page_constraint_and_csv(self):
        downloads, artifacts = self.base + "/downloads", ENV.get("QVP_ARTIFACT_DIR", self.base + "/shots")
        os.makedirs(artifacts, exist_ok=True)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                    "--disable-background-networking --disable-component-update --disable-sync "
                    "--disable-dev-shm-usage --window-size=1200,1600 --user-data-dir=%s/profile"
                    % self.base).split():
            options.add_argument(arg)
        options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                                  "download.prompt_for_download": False})
        d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(d.quit)
        d.set_page_load_timeout(15)
        d.execute_cdp_cmd("Page.setDownloadBehavior",
                          {"behavior": "allow", "downloadPath": downloads})
        shot = lambda name: d.save_screenshot(os.path.join(artifacts, name + ".png"))  # noqa: E731
        base = "http://127.0.0.1:%d/qvp/" % self.server.port
        d.get(base)
        self.assertEqual(d.title, "Data sets in /")
        shot("catalogue")
        d.find_element(By.LINK_TEXT, "sst.nc").click()
        wait_until(lambda: d.title == "sst.nc", 15, "the data set's page")
        self.assertEqual(d.current_url, base + "sst.nc.html")
        ce = d.find_element(By.ID, "ce")
        self.assertTrue(ce.is_displayed())
        sst = d.find_element(By.XPATH, "//fieldset[.//input[@data-ce='sst']]")
        sst.find_element(By.CSS_SELECTOR, "input.pick").click()
        self.assertEqual(ce.get_attribute("value"), "sst")
        # time, lat and lon: start, stride and stop
        for dim, values in zip(sst.find_elements(By.CSS_SELECTOR, ".dim"),
                               ((1, 1, 1), (0, 2, 2), (2, 1, 3))):
            for field, value in zip(("start", "stride", "stop"), values):
                type_in(dim.find_element(By.CSS_SELECTOR, "input." + field), str(value))
        want = "sst[1:1:1][0:2:2][2:1:3]"
        self.assertEqual(ce.get_attribute("value"), want)
        csv_link = d.find_element(By.ID, "link-csv")
        for kind in ("csv", "vorn", "nc", "png"):
            self.assertEqual(d.find_element(By.ID, "link-" + kind).get_attribute("href"),
                             base + "sst.nc.%s?%s" % (kind, urllib.parse.quote(want, safe="")))
        # The preview loads when scrolled to and is drawn by the browser.
        preview = sst.find_element(By.CSS_SELECTOR, "img.preview")
        d.execute_script("arguments[0].scrollIntoView()", preview)
        wait_until(lambda: d.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth", preview) > 0, 15,
            "the preview image")
        self.assertGreater(preview.size["width"], 100)
        shot("preview")
        d.execute_script("window.scrollTo(0, 0)")
        shot("page")
        # An edit of the constraint itself moves the links.
        type_in(ce, "lat")
        self.assertEqual(csv_link.get_attribute("href"), base + "sst.nc.csv?lat")
        type_in(ce, want)
        csv_link.click()
        path = os.path.join(downloads, "sst.nc.csv")
        wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 15,
                   "the CSV download")
        self.assert_sst_csv(pathlib.Path(path).read_bytes(), (0, 2), (2, 3))
        # A download leaves the page in place; its link leads back.
        self.assertEqual(d.title, "sst.nc")
        d.find_element(By.LINK_TEXT, "Catalogue").click()
        wait_until(lambda: d.title == "Data sets in /", 15, "the catalogue again")
