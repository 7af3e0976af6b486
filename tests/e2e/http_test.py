"""The whole chain over HTTP: lighttpd on a free loopback port runs
qvp_dispatch, which runs qvp_nc_handler on the samples. Data responses are
checked against values read from the CDL text independently of the handler;
conditional requests, errors, the time limit and attempts to leave the data
root are covered too."""
import email.utils
import os
import re
import socket
import struct
import subprocess
import time
import unittest
import xml.etree.ElementTree as ET

from e2e_support import ENV, SAMPLES, Server, ServedTestCase, plant_escape


def cdl_values(name, variable):
    """The numbers of `variable` in the data section of samples/<name>.cdl."""
    with open(os.path.join(SAMPLES, name + ".cdl")) as f:
        data = f.read().split("data:", 1)[1]
    m = re.search(r"\b%s\s*=([^;]*);" % re.escape(variable), data)
    return [float(v) for v in m.group(1).replace("\n", " ").split(",")]


class Xdr:
    """A reader of the XDR values after "Data:\\n"."""

    def __init__(self, body):
        self.buf = body[body.index(b"Data:\n") + 6:]
        self.pos = 0

    def take(self, fmt):
        v = struct.unpack_from(fmt, self.buf, self.pos)
        self.pos += struct.calcsize(fmt)
        return v

    def array(self, fmt):
        n, n2 = self.take(">II")
        assert n == n2, (n, n2)
        return list(self.take(">%d%s" % (n, fmt)))

    def strings(self):
        (n,) = self.take(">I")
        out = []
        for _ in range(n):
            (k,) = self.take(">I")
            out.append(self.buf[self.pos:self.pos + k].decode())
            self.pos += (k + 3) // 4 * 4
        return out

    def done(self):
        return self.pos == len(self.buf)


class HttpTest(ServedTestCase):
    @classmethod
    def prepare(cls):
        plant_escape(cls.root, cls.base)

    def assert_error(self, path, status, code):
        st, headers, body = self.get(path)
        self.assertEqual(st, status, path)
        self.assertEqual(headers.get("Cache-Control"), "no-cache", path)
        self.assertRegex(body.decode("latin-1"),
                         r'^Error \{\n    code = %d;\n    message = ".*";\n\};\n$'
                         % code)
        self.assertNotIn(self.root.encode(), body)
        return body

    def test_metadata_responses(self):
        cases = (("sst.nc.das", "vorn_das", "text/plain", b"Attributes {\n"),
                 ("sst.nc.dds", "vorn_dds", "text/plain", b"Dataset {\n"),
                 ("sst.nc.ddx", "qvp4_ddx", "text/xml", b"<?xml"),
                 ("names.nc.dds", "vorn_dds", "text/plain", b"Dataset {\n"))
        for path, description, ctype, start in cases:
            status, headers, body = self.get(path)
            self.assertEqual(status, 200, path)
            self.assertEqual(headers["Content-Description"], description)
            self.assertEqual(headers["Content-Type"], ctype)
            self.assertEqual(headers["XQVP"], "3.1")
            self.assertNotIn("Server", headers)
            self.assertTrue(body.startswith(start), body[:40])
        _, _, dds = self.get("station.nc.dds")
        self.assertIn(b"    String station_name;\n", dds)
        self.assertIn(b"        Int16 flag[time = 5];\n", dds)

    def test_ddx_is_well_formed(self):
        _, _, body = self.get("sst.nc.ddx?sst")
        doc = ET.fromstring(body)
        blob = [e for e in doc.iter() if e.tag.endswith("dataBLOB")][0]
        self.assertEqual(blob.get("href"), "http://127.0.0.1:%d/qvp/sst.nc.blob?sst"
                         % self.server.port)

    def test_version(self):
        status, _, body = self.get("sst.nc.ver")
        self.assertEqual(status, 200)
        self.assertIn(b"Server Script Revision: qvp_dispatch/", body)
        self.assertIn(b"Dataset version: qvp_nc_handler/", body)

    def test_hyperslab_values(self):
        sst = cdl_values("sst", "sst")  # [time=2][lat=3][lon=4]
        lat, lon, tim = (cdl_values("sst", v) for v in ("lat", "lon", "time"))
        status, headers, body = self.get("sst.nc.vorn?sst%5B1%5D%5B0:2:2%5D%5B1:2%5D")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "application/octet-stream")
        x = Xdr(body)
        want = [sst[1 * 12 + r * 4 + c] for r in (0, 2) for c in (1, 2)]
        self.assertEqual(x.array("i"), want)
        self.assertEqual(x.array("d"), [tim[1]])
        self.assertEqual(x.array("f"), [lat[0], lat[2]])
        self.assertEqual(x.array("f"), lon[1:3])
        self.assertTrue(x.done())

    def test_grid_member_and_scalar_values(self):
        _, _, body = self.get("sst.nc.vorn?sst.lon")
        self.assertIn(b"    Structure {\n        Float32 lon[lon = 4];\n", body)
        x = Xdr(body)
        self.assertEqual(x.array("f"), cdl_values("sst", "lon"))
        self.assertTrue(x.done())
        _, _, body = self.get("station.nc.vorn?elevation,temp.temp%5B0:2%5D")
        x = Xdr(body)
        self.assertEqual(x.take(">d")[0], cdl_values("station", "elevation")[0])
        self.assertEqual(x.array("f"), cdl_values("station", "temp")[0:3])
        self.assertTrue(x.done())

    def test_strings(self):
        _, _, body = self.get("names.nc.vorn?name,code")
        x = Xdr(body)
        self.assertEqual(x.strings(), ["Lindenberg", "Potsdam", 'Zugspitze "summit"'])
        self.assertEqual(x.strings(), ["LIN", "POTS", "ZUGSPI"])
        self.assertTrue(x.done())

    def test_large_variable(self):
        status, _, body = self.get("ramp.nc.vorn?ramp%5B2047%5D%5B2040:2047%5D")
        self.assertEqual(status, 200)
        self.assertEqual(Xdr(body).array("f"),
                         [float(2047 * 2048 + c) for c in range(2040, 2048)])
        status, _, body = self.get("ramp.nc.vorn")
        x = Xdr(body)
        self.assertEqual(len(x.buf), 8 + 4 * 2048 * 2048)

    def test_conditional_requests(self):
        path = os.path.join(self.root, "station.nc")
        os.utime(path, (1_000_000_000, 1_000_000_000))
        same = email.utils.formatdate(1_000_000_000, usegmt=True)
        for suffix in ("das", "dds", "ddx", "vorn"):
            status, _, body = self.get("station.nc." + suffix,
                                       {"If-Modified-Since": same})
            self.assertEqual((status, body), (304, b""), suffix)
        for since in ("Sunday, 09-Sep-01 01:46:40 GMT",
                      "Sun Sep  9 01:46:40 2001"):
            status, _, _ = self.get("station.nc.das", {"If-Modified-Since": since})
            self.assertEqual(status, 304, since)
        for since in (email.utils.formatdate(999_999_999, usegmt=True), "garbage"):
            status, _, _ = self.get("station.nc.das", {"If-Modified-Since": since})
            self.assertEqual(status, 200, since)
        subprocess.run(["touch", "-d", "2001-09-09 01:46:41 UTC", path], check=True)
        status, headers, _ = self.get("station.nc.vorn", {"If-Modified-Since": same})
        self.assertEqual(status, 200)
        self.assertEqual(headers["Last-Modified"], "Sun, 09 Sep 2001 01:46:41 GMT")

    def test_errors(self):
        self.assert_error("sst.nc.vorn?sst%5B", 400, 1003)
        self.assert_error("sst.nc.vorn?sst%5B7%5D", 400, 1006)
        self.assert_error("sst.nc.dds?nosuch", 404, 1004)
        self.assert_error("missing.nc.das", 404, 1004)
        self.assert_error("sst.nc.xyz", 400, 1001)
        self.assert_error("sst.txt.das", 404, 1004)

    def test_paths_leaving_the_root(self):
        raw = ("/qvp/../../etc/passwd.nc.das", "/qvp/%2e%2e/%2e%2e/etc/x.nc.das",
               "/qvp/x%2F..%2F..%2Foutside.nc.das", "/qvp/%2e%2e%2Foutside.nc.das",
               "/qvp/%252e%252e/outside.nc.das", "/qvp/escape.nc.das",
               "/qvp/..%5Coutside.nc.das")
        for path in raw:
            status, _, body = self.server.get(path)
            self.assertIn(status, (400, 403, 404), path)
            self.assertNotIn(os.path.dirname(self.root).encode(), body, path)
            self.assertNotIn(b"Dataset", body, path)


class TimeLimitTest(ServedTestCase):
    """A data response that runs past QVP_TIMEOUT is cut short: the client
    reads nothing for 3 s, so the handler blocks on its output until the
    alarm ends it."""

    samples = False

    @classmethod
    def prepare(cls):
        subprocess.run([ENV["QVP_NC_RAMP"], os.path.join(cls.root, "ramp.nc"),
                        "4096", "2048"], check=True)

    @classmethod
    def start_server(cls):
        return Server(os.path.join(cls.base, "state"), cls.root, timeout=1)

    def test_slow_response_is_ended(self):
        # The whole response would be larger than its XDR values.
        values = 8 + 4 * 4096 * 2048
        head, got = self.slow_read(self.server.port)
        self.assertTrue(head.startswith(b"HTTP/1.0 200 OK\r\n"), head)
        self.assertLess(got, values)
        # The handler ended at its limit while the client read nothing, and
        # said so.
        with open(os.path.join(self.server.state, "cgi.log"), "rb") as f:
            self.assertIn(b"ran past its time limit (1 s)", f.read())

    @staticmethod
    def slow_read(port):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
        s.connect(("127.0.0.1", port))
        s.sendall(b"GET /qvp/ramp.nc.vorn HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")
        got = 0
        head = b""
        start = time.time()
        s.settimeout(20)
        while True:
            if time.time() - start < 3:
                time.sleep(0.05)
            chunk = s.recv(65536)
            if not chunk:
                break
            if not head:
                head = chunk[:64]
            got += len(chunk)
        s.close()
        return head, got


if __name__ == "__main__":
    unittest.main()
