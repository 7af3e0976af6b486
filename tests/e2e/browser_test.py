"""The browser's views through lighttpd: the catalogue and the data set
pages parse as HTML, escape hostile names and show nothing outside the data
root; CSV read back with the csv module equals the values that netCDF4 reads
from the file; text responses are compressed, the data response is not.
Run with Debian's python3 (netCDF4)."""
import csv
import email.utils
import gzip
import html.parser
import io
import os
import shutil
import subprocess
import sys
import unittest
import urllib.parse

import netCDF4
import numpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import ENV, ServedTestCase, plant_escape  # noqa: E402

HOSTILE = [b"<script>alert(1).nc", b"<img src=x onerror=alert(2)>.nc", b"q\"uo'te&amp;.nc", b"bad\xff\xfe.nc",
           b"sp ace.nc", b"new\nline.nc", b"javascript:alert(1).nc"]


class Links(html.parser.HTMLParser):
    """The href of every link of a page."""

    def __init__(self):
        super().__init__()
        self.hrefs = []

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self.hrefs.append(dict(attrs)["href"])


def links(body):
    p = Links()
    p.feed(body.decode("utf-8"))
    return p.hrefs


def parses_as_html(body):
    r = subprocess.run(["xmllint", "--html", "--noout", "-"], input=body,
                       capture_output=True)
    return r.returncode == 0 and r.stderr == b"", r.stderr


def csv_rows(body):
    return list(csv.reader(io.StringIO(body.decode("utf-8"), newline="")))


class BrowserViewsTest(ServedTestCase):
    # A directory of 100,000 entries is made in memory where possible: on a
    # busy disk creating it takes minutes.
    tmp_parent = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None

    @classmethod
    def prepare(cls):
        base = cls.base
        sst = os.path.join(cls.root, "sst.nc")
        broot = os.fsencode(cls.root)
        for name in HOSTILE + [b".hidden.nc"]:
            shutil.copy(sst, os.path.join(broot, name))
        open(os.path.join(cls.root, "notes.txt"), "w").close()
        os.makedirs(os.path.join(cls.root, "sub <dir>"))
        shutil.copy(os.path.join(cls.root, "station.nc"),
                    os.path.join(cls.root, "sub <dir>", "station.nc"))
        plant_escape(cls.root, base)
        os.symlink(base, os.path.join(cls.root, "up"))
        os.symlink("sst.nc", os.path.join(cls.root, "alias.nc"))
        with open(sst + ".html", "w") as f:
            f.write("<p id=\"provider-doc\">Kept by the sea desk.</p>\n")
        many = os.path.join(cls.root, "many")
        os.makedirs(many)
        for i in range(100_000):
            os.close(os.open(os.path.join(many, "f%06d.nc" % i),
                             os.O_CREAT | os.O_WRONLY, 0o644))

    def assert_page(self, path):
        status, headers, body = self.get(path)
        self.assertEqual(status, 200, path)
        self.assertEqual(headers["Content-type"], "text/html", path)
        ok, errors = parses_as_html(body)
        self.assertTrue(ok, (path, errors))
        for secret in (self.base.encode(), b"outside", b"escape.nc", b"<script>alert",
                       b"href=\"javascript:"):
            self.assertNotIn(secret, body, path)
        return body

    def test_catalogue_lists_what_is_served_and_nothing_else(self):
        body = self.assert_page("")
        hrefs = links(body)
        pages = [h for h in hrefs if h.endswith(".html")]
        names = sorted(urllib.parse.unquote_to_bytes(h[2:-5]) for h in pages)
        # A name with a control byte cannot be asked for: not listed.
        served = [n for n in HOSTILE if b"\n" not in n]
        expected = sorted(served + [b"alias.nc", b"model.nc", b"names.nc",
                                     b"ramp.nc", b"sst.nc", b"station.nc"])
        self.assertEqual(names, expected)
        self.assertIn("./many/", hrefs)
        self.assertIn("./sub%20%3Cdir%3E/", hrefs)
        for hidden in (b".hidden", b"notes.txt", b"up/", b">sst.nc.html<"):
            self.assertNotIn(hidden, body)
        self.assertIn(b"&lt;script&gt;alert(1).nc", body)
        self.assertNotIn(b"<img", body)
        # Every link works: each page and each response of each data set,
        # but for the name that is not UTF-8, which lighttpd itself refuses.
        for href in hrefs:
            if href.endswith("/") or "%FF" in href:
                continue
            status, _, _ = self.server.get("/qvp/" + href[2:])
            self.assertEqual(status, 200, href)
            if href.endswith(".html"):
                self.assert_page(href[2:])

    def test_subdirectory_and_redirects(self):
        body = self.assert_page("sub%20%3Cdir%3E/")
        self.assertIn("./station.nc.html", links(body))
        self.assertIn("../", links(body))
        self.assertIn(b"Data sets in /sub &lt;dir&gt;/", body)
        for path, location in (("sub%20%3Cdir%3E", "sub%20%3Cdir%3E/"),
                               ("sst.nc", "sst.nc.html")):
            status, headers, _ = self.get(path)
            self.assertEqual(status, 301, path)
            self.assertEqual(headers["Location"], "http://127.0.0.1:%d/qvp/%s"
                             % (self.server.port, location))
        status, headers, _ = self.server.get("/qvp")
        self.assertEqual((status, headers["Location"]), (301, "/qvp/"))
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
        for text in (b"Monthly sea surface temperature", b"Int16 (Grid)",
                     b"[time = 2][lat = 3][lon = 4]", b"degrees_north",
                     b"Kept by the sea desk.", b"data-ce=\"sst\""):
            self.assertIn(text, body)
        hrefs = links(body)
        for href in ("./sst.nc.csv?sst", "./sst.nc.vorn?sst", "./sst.nc.das",
                     "./sst.nc.", "./"):
            self.assertTrue(any(h.startswith(href) for h in hrefs), href)
        # Without JavaScript the links of each whole variable work.
        for href in (h for h in hrefs if "?" in h):
            status, _, _ = self.get(href[2:])
            self.assertEqual(status, 200, href)
        body = self.assert_page("%3Cscript%3Ealert(1).nc.html")
        self.assertIn(b"<h1>&lt;script&gt;alert(1).nc</h1>", body)
        self.assertIn(b"data-base=\"./%3Cscript%3Ealert(1).nc\"", body)
        body = self.assert_page("javascript:alert(1).nc.html")
        self.assertNotIn(b"href=\"javascript", body)

    def test_conditional_requests(self):
        path = os.path.join(self.root, "station.nc")
        os.utime(path, (1_000_000_000, 1_000_000_000))
        same = email.utils.formatdate(1_000_000_000, usegmt=True)
        earlier = email.utils.formatdate(999_999_999, usegmt=True)
        for view in ("station.nc.html", "station.nc.csv?temp"):
            status, _, body = self.get(view, {"If-Modified-Since": same})
            self.assertEqual((status, body), (304, b""), view)
            status, headers, _ = self.get(view, {"If-Modified-Since": earlier})
            self.assertEqual(status, 200, view)
            self.assertEqual(headers["Last-Modified"], same)

    def test_csv_equals_the_file(self):
        nc = netCDF4.Dataset(os.path.join(self.root, "sst.nc"))
        nc.set_auto_maskandscale(False)
        status, headers, body = self.get("sst.nc.csv?sst%5B1%5D%5B0:2:2%5D%5B1:3%5D")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "text/csv; charset=utf-8")
        self.assertTrue(body.endswith(b"\r\n"))
        rows = csv_rows(body)
        self.assertEqual(rows[0], ["time", "lat", "lon", "sst"])
        sst, fill = nc["sst"][:], nc["sst"].getncattr("_FillValue")
        want = [[nc["time"][1], nc["lat"][r], nc["lon"][c], sst[1, r, c]]
                for r in (0, 2) for c in (1, 2, 3)]
        self.assertEqual(len(rows) - 1, len(want))
        for got, w in zip(rows[1:], want):
            self.assertEqual([float(x) for x in got[:3]], [float(x) for x in w[:3]])
            self.assertEqual(got[3], "" if w[3] == fill else str(int(w[3])))
        self.assertIn("", [r[3] for r in rows[1:]])  # the fill value is there

    def test_csv_scalars_strings_and_precision(self):
        # Columns come in the data set's order, whatever the constraint's.
        status, _, body = self.get("names.nc.csv?name,code,total,id")
        self.assertEqual(status, 200)
        nc = netCDF4.Dataset(os.path.join(self.root, "names.nc"))
        rows = csv_rows(body)
        self.assertEqual(rows[0], ["station", "name", "code", "id", "total"])
        self.assertEqual([r[1] for r in rows[1:]], list(nc["name"][:]))
        self.assertEqual([r[2] for r in rows[1:]],
                         list(netCDF4.chartostring(nc["code"][:])))
        self.assertEqual([int(r[3]) for r in rows[1:]], [int(v) for v in nc["id"][:]])
        self.assertEqual([int(float(r[4])) for r in rows[1:]],
                         [int(v) for v in nc["total"][:]])
        _, _, body = self.get("station.nc.csv?elevation,station_name")
        self.assertEqual(csv_rows(body), [["station_name", "elevation"],
                                          ["Lindenberg", "98.5"]])
        _, _, body = self.get("station.nc.csv?temp,time")
        nc = netCDF4.Dataset(os.path.join(self.root, "station.nc"))
        nc.set_auto_maskandscale(False)
        temps = [r[1] for r in csv_rows(body)[1:]]
        for got, want in zip(temps, nc["temp"][:]):
            if want == -999:
                self.assertEqual(got, "")
            else:  # the text reads back to the very same Float32
                self.assertEqual(numpy.float32(got), want)

    def test_csv_refusals(self):
        for query, words in (("sst,time", (b"\\\"time\\\" has [time=2]",
                                           b"\\\"sst\\\" has [time=2][lat=3][lon=4]")),
                             ("sst%5B0%5D,lat", (b"[time=0:1:0]",)),
                             ("nosuch", (b"nosuch",)),
                             ("version()", (b"function",))):
            status, _, body = self.get("sst.nc.csv?" + query)
            self.assertIn(status, (400, 404), query)
            for w in words:
                self.assertIn(w, body, query)

    def test_text_is_compressed_and_data_is_not(self):
        for path in ("", "sst.nc.html", "sst.nc.csv?sst", "sst.nc.das",
                     "sst.nc.ddx"):
            status, headers, body = self.get(path, {"Accept-Encoding": "gzip"})
            self.assertEqual(status, 200, path)
            self.assertEqual(headers.get("Content-Encoding"), "gzip", path)
            self.assertEqual(gzip.decompress(body), self.get(path)[2], path)
        _, headers, _ = self.get("sst.nc.vorn", {"Accept-Encoding": "gzip"})
        self.assertNotIn("Content-Encoding", headers)
        same = email.utils.formatdate(
            os.stat(os.path.join(self.root, "sst.nc")).st_mtime, usegmt=True)
        status, _, _ = self.get("sst.nc.html", {"Accept-Encoding": "gzip",
                                                "If-Modified-Since": same})
        self.assertEqual(status, 304)

    def test_large_csv_streams_in_bounded_memory(self):
        # 1024 x 2048 values through the handler itself; its peak resident
        # size is compared with that of a CSV of four values (so that a
        # sanitizer's own memory cancels out), and the last row is checked
        # against the ramp's formula.
        small_kib, _ = self.handler_csv("ramp[0][0:3]")
        large_kib, (lines, last) = self.handler_csv("ramp[0:1023]")
        self.assertEqual(lines, 9 + 1 + 1024 * 2048)
        self.assertEqual(last, b"1023,2047,%d\r\n" % (1024 * 2048 - 1))
        self.assertLess(large_kib - small_kib, 32 * 1024)

    def handler_csv(self, ce):
        """The handler's peak resident size in KiB for a CSV of `ce`, and
        the count of its output lines with the last one."""
        handler = os.path.join(ENV["QVP_HANDLER_DIR"], "qvp_nc_handler")
        env = dict(os.environ)
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=1"
        proc = subprocess.Popen([handler, "--view=csv", "-e", ce,
                                 os.path.join(self.root, "ramp.nc")],
                                stdout=subprocess.PIPE, env=env)
        lines = 0
        last = b""
        with proc.stdout:
            for line in proc.stdout:
                lines += 1
                last = line
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = 0
        self.assertEqual(status, 0)
        return usage.ru_maxrss, (lines, last)


if __name__ == "__main__":
    unittest.main()
