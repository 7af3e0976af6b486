"""The whole chain over HTTP: lighttpd runs qvp_dispatch, which runs
qvp_nc_handler on the samples. Values are checked against the CDL text;
conditional requests, errors, the time limit, and hostile paths, ancillary
files (outside the root, fifos, beside the dispatcher) and a file that
crashes the netCDF library."""
import email.utils, os, pathlib, re, shutil, struct, subprocess, time, unittest
import xml.etree.ElementTree as ET

from e2e_support import (ENV, ERROR_BODY, OK, SAMPLES, ServedTestCase, WebServer, curl_slowly,
                         make_crashing_file, make_wide_file, plant_escape, read_all,
                         under_address_sanitizer, write)

SECRET_DAS = 'Attributes {\n    secret {\n        String s "outside-das";\n    }\n}\n'
SECRET_DDS = "Dataset {\n    Int32 outside_dds;\n} secret;\n"
SECRETS = (b"outside-das", b"outside_dds", b"outside-text-token")


def cdl_values(name, variable):
    """The numbers of `variable` in the data section of samples/<name>.cdl."""
    data = pathlib.Path(SAMPLES, name + ".cdl").read_text().split("data:", 1)[1]
    m = re.search(r"\b%s\s*=([^;]*);" % re.escape(variable), data)
    return [float(v) for v in m.group(1).replace("\n", " ").split(",")]


class Xdr:
    """A reader of the XDR values after "Data:\\n"."""

    def __init__(self, body):
        self.buf, self.pos = body[body.index(b"Data:\n") + 6:], 0

    def take(self, fmt):
        self.pos += struct.calcsize(fmt)
        return struct.unpack_from(fmt, self.buf, self.pos - struct.calcsize(fmt))

    def read(self, kind):
        """A scalar Float64 ("scalar"), an array of strings ("s") or an array
        of the struct format `kind` after its two counts."""
        if kind == "scalar":
            return self.take(">d")[0]
        if kind != "s":
            n, n2 = self.take(">II")
            assert n == n2, (n, n2)
            return list(self.take(">%d%s" % (n, kind)))
        out = []
        for _ in range(self.take(">I")[0]):
            (k,) = self.take(">I")
            out.append(self.buf[self.pos:self.pos + k].decode())
            self.pos += (k + 3) // 4 * 4
        return out


class HttpTest(ServedTestCase):
    @classmethod
    def prepare(cls):
        plant_escape(cls.root, cls.base)
        os.makedirs(outside := cls.base + "/outside")
        for name, text in (("o.das", SECRET_DAS), ("o.dds", SECRET_DDS),
                           ("o.txt", "outside-text-token 42\n")):
            write(os.path.join(outside, name), text)
        # sub/<name>.nc with an ancillary file that links out of the root or is a fifo.
        os.makedirs(os.path.join(cls.root, "sub"))
        for name, ext, target in (
                ("link_das", "das", outside + "/o.das"), ("link_dds", "dds", outside + "/o.dds"),
                ("link_text", "das", outside + "/o.txt"), ("rel_link", "dds", "../../outside/o.dds"),
                ("fifo_das", "das", None), ("fifo_dds", "dds", None)):
            shutil.copy(cls.root + "/sst.nc", "%s/sub/%s.nc" % (cls.root, name))
            at = "%s/sub/%s.%s" % (cls.root, name, ext)
            os.mkfifo(at) if target is None else os.symlink(target, at)
        # The dispatcher runs from a directory of its own, which holds the
        # ancillary names that a relative candidate would find there.
        cls.bin = os.path.join(cls.base, "bin")
        os.makedirs(cls.bin)
        shutil.copy(ENV["QVP_DISPATCH"], cls.bin + "/qvp_dispatch")
        for name in ("das", ".das", "sst.das", "dds", ".dds", "sst.dds"):
            write(os.path.join(cls.bin, name), SECRET_DDS if "dds" in name else SECRET_DAS)
        make_crashing_file(os.path.join(cls.root, "crash.nc"), cls.base)
        make_wide_file(cls.root)
        # 4097 x 4096 values: just over what linear_scale() takes at once.
        subprocess.run([ENV["QVP_NC_RAMP"], cls.root + "/big.nc", "4097", "4096"], check=True)

    @classmethod
    def start_server(cls):
        return WebServer("cgi", os.path.join(cls.base, "state"), DATA_ROOT=cls.root,
                         DISPATCH=os.path.join(cls.bin, "qvp_dispatch"))

    def test_metadata_responses(self):
        for path, description, ctype, start in (
                ("sst.nc.das", "vorn_das", "text/plain", b"Attributes {\n"),
                ("sst.nc.dds", "vorn_dds", "text/plain", b"Dataset {\n"),
                ("sst.nc.ddx", "qvp4_ddx", "text/xml", b"<?xml"),
                ("names.nc.dds", "vorn_dds", "text/plain", b"Dataset {\n")):
            status, headers, body = self.get(path)
            self.assertEqual((status, headers["Content-Description"], headers["Content-Type"],
                              headers["XQVP"], headers["Server"], headers["Content-Length"]),
                             (200, description, ctype + "; charset=utf-8", "3.1", None,
                              str(len(body))), path)
            self.assertTrue(body.startswith(start), body[:40])
        _, _, dds = self.get("station.nc.dds")
        self.assertIn(b"    String station_name;\n", dds)
        self.assertIn(b"        Int16 flag[time = 5];\n", dds)
        status, _, body = self.get("sst.nc.ver")
        self.assertEqual(status, 200)
        self.assertIn(b"Server Script Revision: qvp_dispatch/", body)
        self.assertIn(b"Dataset version: qvp_nc_handler/", body)

    def test_ddx_names_the_blob_by_the_host_asked_or_the_servers_own(self):
        _, _, body = self.get("sst.nc.ddx?sst")
        blob = [e for e in ET.fromstring(body).iter() if e.tag.endswith("dataBLOB")][0]
        url = "http://127.0.0.1:%d/qvp/sst.nc.blob?" % self.server.port
        self.assertEqual(blob.get("href"), url + "sst")
        with self.server.connect(b"GET /qvp/sst.nc.ddx HTTP/1.0\r\n\r\n") as s:
            reply = read_all(s)
        self.assertTrue(reply.startswith(OK), reply[:200])
        self.assertIn(b'href="%s"' % url.encode(), reply)

    def test_values(self):
        sst, lat, lon, tim = (cdl_values("sst", v) for v in ("sst", "lat", "lon", "time"))
        for path, values in (
                ("sst.nc.vorn?sst%5B1%5D%5B0:2:2%5D%5B1:2%5D",  # [time][lat][lon]
                 [("i", [sst[12 + r * 4 + c] for r in (0, 2) for c in (1, 2)]),
                  ("d", [tim[1]]), ("f", [lat[0], lat[2]]), ("f", lon[1:3])]),
                ("sst.nc.vorn?sst.lon", [("f", lon)]),
                ("station.nc.vorn?elevation,temp.temp%5B0:2%5D",
                 [("scalar", cdl_values("station", "elevation")[0]),
                  ("f", cdl_values("station", "temp")[0:3])]),
                ("names.nc.vorn?name,code",
                 [("s", ["Lindenberg", "Potsdam", 'Zugspitze "summit"']),
                  ("s", ["LIN", "POTS", "ZUGSPI"])]),
                ("ramp.nc.vorn?ramp%5B2047%5D%5B2040:2047%5D",
                 [("f", [float(2047 * 2048 + c) for c in range(2040, 2048)])])):
            status, headers, body = self.get(path)
            self.assertEqual((status, headers["Content-Type"]),
                             (200, "application/octet-stream"), path)
            x = Xdr(body)
            self.assertEqual([(k, x.read(k)) for k, _ in values], values, path)
            self.assertEqual(x.pos, len(x.buf), path)
        _, _, body = self.get("sst.nc.vorn?sst.lon")
        self.assertIn(b"    Structure {\n        Float32 lon[lon = 4];\n", body)
        self.assertEqual(len(Xdr(self.get("ramp.nc.vorn")[2]).buf), 8 + 4 * 2048 * 2048)

    def test_64_bit_integers_are_exact_or_refused_before_the_header(self):
        status, headers, body = self.get("wide.nc.vorn?ok,grid")
        self.assertEqual((status, headers["Content-Type"]), (500, "text/plain; charset=utf-8"))
        self.assertIn(b'\\"grid[1][1]\\" holds 9007199254740993', body)
        self.assertNotIn(b"Dataset", body)
        status, _, body = self.get("wide.nc.vorn?ok,grid%5B0:1%5D%5B0:2:2%5D")
        self.assertEqual(status, 200)
        x = Xdr(body)
        self.assertEqual((x.read("d"), x.read("d")), ([1, 3, 4, 6], [-2.0 ** 53, 0.0, 2.0 ** 53]))
        _, _, das = self.get("wide.nc.das")
        self.assertIn(b'String big "9007199254740993", "2";', das)

    def test_conditional_requests(self):
        path = os.path.join(self.root, "station.nc")
        os.utime(path, (1_000_000_000, 1_000_000_000))
        same = email.utils.formatdate(1_000_000_000, usegmt=True)
        for suffix in ("das", "dds", "ddx", "vorn"):
            status, _, body = self.get("station.nc." + suffix, {"If-Modified-Since": same})
            self.assertEqual((status, body), (304, b""), suffix)
        subprocess.run(["touch", "-d", "2001-09-09 01:46:41 UTC", path], check=True)
        status, headers, _ = self.get("station.nc.vorn", {"If-Modified-Since": same})
        self.assertEqual((status, headers["Last-Modified"]),
                         (200, "Sun, 09 Sep 2001 01:46:41 GMT"))

    def test_errors_are_plain_text_and_echo_no_markup(self):
        for path, status, code in (
                ("sst.nc.vorn?sst%5B", 400, 1003), ("sst.nc.vorn?sst%5B7%5D", 400, 1006),
                ("sst.nc.dds?nosuch", 404, 1004), ("missing.nc.das", 404, 1004),
                ("sst.nc.xyz", 400, 1001), ("sst.txt.das", 404, 1004),
                ("%3Cscript%3Ex%3C%2Fscript%3E.nc.das", 404, 1004),
                ("sst.nc.%3Cb%3E", 400, 1001)):
            st, headers, body = self.get(path)
            self.assertEqual((st, headers["Cache-Control"], headers["Content-Type"],
                              headers["X-Content-Type-Options"]),
                             (status, "no-cache", "text/plain; charset=utf-8", "nosniff"), path)
            self.assertRegex(body.decode("latin-1"), ERROR_BODY % code)
            self.assertNotIn(b"<", body, path)
            self.assertNotIn(self.root.encode(), body)

    def test_paths_leaving_the_root(self):
        for path in ("/qvp/../../etc/passwd.nc.das", "/qvp/%2e%2e/%2e%2e/etc/x.nc.das",
                     "/qvp/x%2F..%2F..%2Foutside.nc.das", "/qvp/%2e%2e%2Foutside.nc.das",
                     "/qvp/%252e%252e/outside.nc.das", "/qvp/escape.nc.das",
                     "/qvp/..%5Coutside.nc.das"):
            status, _, body = self.server.get(path)
            self.assertIn(status, (400, 403, 404), path)
            self.assertNotIn(self.base.encode(), body, path)
            self.assertNotIn(b"Dataset", body, path)

    def test_ancillary_files_outside_the_root_blocking_or_beside_the_dispatcher(self):
        paths = ["sst.nc.das", "sst.nc.dds", "sst.nc.ddx", "sst.nc.vorn?sst"] + [
            "sub/%s.nc.%s" % (n, s) for s in ("das", "dds", "ddx") for n in (
                "link_das", "link_dds", "link_text", "rel_link", "fifo_das", "fifo_dds")]
        for path in paths:
            status, _, body = self.get(path)
            self.assertEqual(status, 200, (path, body[:300]))
            self.assertIn(b"sst", body)
            self.assertEqual([s for s in SECRETS if s in body], [], path)

    @unittest.skipIf(under_address_sanitizer(), "its memcpy check ends the library before")
    def test_crash_in_the_library_answers_with_an_error(self):
        for suffix in ("das", "dds", "ddx", "vorn"):
            status, headers, body = self.get("crash.nc." + suffix)
            self.assertEqual((status, headers["Content-Type"]), (500, "text/plain; charset=utf-8"),
                             suffix)
            self.assertRegex(body.decode("latin-1"), ERROR_BODY % 1009)
        self.assertIn(b"ended on a fatal signal", self.server.log())

    def test_linear_scale_refuses_beyond_its_bound(self):
        status, _, body = self.get("big.nc.vorn?linear_scale(ramp)")
        self.assertEqual(status, 400, body[:300])
        self.assertIn(b'"ramp\\" selects 16781312 values', body)
        status, _, body = self.get("big.nc.vorn?linear_scale(ramp%5B0%5D%5B0:3%5D,2,1)")
        self.assertEqual(status, 200)
        self.assertTrue(body.endswith(struct.pack(">II4d", 4, 4, 1, 3, 5, 7)), body[-40:])

    def test_a_response_past_the_time_limit_is_ended_and_seen_cut(self):
        # The client reads 64 MiB slowly, more than the buffers on the way
        # hold, so the handler blocks on its output until its alarm ends it;
        # the stated length makes the cut visible.
        server = WebServer("cgi", self.base + "/limited", DATA_ROOT=self.root, TIMEOUT="1")
        self.addCleanup(server.stop)
        got = curl_slowly(server, "big.nc.vorn")
        self.assertEqual(got.returncode, 18, got.stderr)  # "transfer closed with bytes left"
        whole = len(self.get("big.nc.vorn")[2])
        self.assertIn(b"Content-Length: %d\r\n" % whole, got.stdout)
        self.assertLess(got.received, whole)
        self.assertIn(b"ran past its time limit (1 s)", server.log())
