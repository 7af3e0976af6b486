"""Hostile files and requests through the whole chain (lighttpd, qvp_dispatch,
qvp_nc_handler): ancillary files that lead out of the data root or would
block, files in the dispatcher's working directory, a netCDF-4 file that
crashes the netCDF library, and the headers of error responses. (A client
that does not read under a 1 s limit: http_test.TimeLimitTest.)"""
import os
import shutil
import socket
import subprocess
import struct
import time
import unittest

from e2e_support import ENV, Server, ServedTestCase

SECRET_DAS = 'Attributes {\n    secret {\n        String s "outside-das";\n    }\n}\n'
SECRET_DDS = "Dataset {\n    Int32 outside_dds;\n} secret;\n"
SECRET_TEXT = "outside-text-token 42\n"
SECRETS = (b"outside-das", b"outside_dds", b"outside-text-token")

SMALL_NC4 = """netcdf small {
dimensions:
  x = 4 ;
variables:
  float v(x) ;
    v:units = "m" ;
data:
  v = 1, 2, 3, 4 ;
}
"""
# Bytes of the netCDF-4 file above whose change to 0xff makes the HDF5
# library crash while the file's header is read.
CRASHING_OFFSETS = (2073, 2074, 2075, 2076)


def under_address_sanitizer():
    """Whether the handler is built with AddressSanitizer, whose checks in
    its memcpy end the process at the corrupt file before the crash."""
    handler = os.path.join(ENV["QVP_HANDLER_DIR"], "qvp_nc_handler")
    out = subprocess.run(["ldd", handler], capture_output=True, text=True).stdout
    return "libasan" in out


def make_crashing_file(path, scratch):
    """Writes at `path` a netCDF-4 file that crashes the HDF5 library when its
    header is read; `scratch` is a directory for the CDL text."""
    cdl = os.path.join(scratch, "small.cdl")
    with open(cdl, "w") as f:
        f.write(SMALL_NC4)
    subprocess.run(["ncgen", "-k", "nc4", "-o", path, cdl], check=True)
    with open(path, "r+b") as f:
        for offset in CRASHING_OFFSETS:
            f.seek(offset)
            f.write(b"\xff")


def raw_request(port, request, read_timeout=20):
    with socket.create_connection(("127.0.0.1", port), 5) as s:
        s.sendall(request)
        s.settimeout(read_timeout)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return data
            data += chunk


class HardeningTest(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        base = cls.base
        sst = os.path.join(cls.root, "sst.nc")
        outside = os.path.join(base, "outside")
        os.makedirs(outside)
        for name, text in (("o.das", SECRET_DAS), ("o.dds", SECRET_DDS),
                           ("o.txt", SECRET_TEXT)):
            with open(os.path.join(outside, name), "w") as f:
                f.write(text)
        # One data set per planted ancillary file.
        cls.cases = {
            "link_das": ("das", os.path.join(outside, "o.das")),
            "link_dds": ("dds", os.path.join(outside, "o.dds")),
            "link_text": ("das", os.path.join(outside, "o.txt")),
            "rel_link": ("dds", "../../outside/o.dds"),
            "fifo_das": ("das", None),
            "fifo_dds": ("dds", None),
        }
        os.makedirs(os.path.join(cls.root, "sub"))
        for name, (ext, target) in cls.cases.items():
            shutil.copy(sst, os.path.join(cls.root, "sub", name + ".nc"))
            at = os.path.join(cls.root, "sub", name + "." + ext)
            if target is None:
                os.mkfifo(at)
            else:
                os.symlink(target, at)
        # The dispatcher runs from a directory of its own, which holds the
        # ancillary names that a relative candidate would find there.
        cls.bin = os.path.join(base, "bin")
        os.makedirs(cls.bin)
        dispatch = os.path.join(cls.bin, "qvp_dispatch")
        shutil.copy(ENV["QVP_DISPATCH"], dispatch)
        for name in ("das", ".das", "sst.das"):
            with open(os.path.join(cls.bin, name), "w") as f:
                f.write(SECRET_DAS)
        for name in ("dds", ".dds", "sst.dds"):
            with open(os.path.join(cls.bin, name), "w") as f:
                f.write(SECRET_DDS)
        make_crashing_file(os.path.join(cls.root, "crash.nc"), cls.tmp.name)
        # 4097 x 4096 values: just over what linear_scale() takes at once.
        subprocess.run([ENV["QVP_NC_RAMP"], os.path.join(cls.root, "big.nc"),
                        "4097", "4096"], check=True)

    @classmethod
    def start_server(cls):
        return Server(os.path.join(cls.base, "state"), cls.root,
                      dispatch=os.path.join(cls.bin, "qvp_dispatch"))

    def assert_no_secret(self, body, what):
        for secret in SECRETS:
            self.assertNotIn(secret, body, what)

    def test_ancillary_files_outside_the_root_or_blocking_are_absent(self):
        for name in self.cases:
            for suffix in ("das", "dds", "ddx"):
                path = "sub/%s.nc.%s" % (name, suffix)
                with self.subTest(path=path):
                    status, _, body = self.get(path)
                    self.assertEqual(status, 200, body[:300])
                    self.assert_no_secret(body, path)
                    self.assertIn(b"sst", body)

    def test_nothing_from_the_dispatchers_directory_is_merged(self):
        for suffix in ("das", "dds", "ddx", "vorn?sst"):
            status, _, body = self.get("sst.nc." + suffix)
            self.assertEqual(status, 200, suffix)
            self.assert_no_secret(body, suffix)

    def test_crash_in_the_library_answers_with_an_error(self):
        if under_address_sanitizer():
            self.skipTest("AddressSanitizer stops the library before it crashes")
        for suffix in ("das", "dds", "ddx", "vorn"):
            status, headers, body = self.get("crash.nc." + suffix)
            self.assertEqual(status, 500, suffix)
            self.assertEqual(headers.get("Content-Type"), "text/plain")
            self.assertRegex(body.decode("latin-1"),
                             r'^Error \{\n    code = 1009;\n    message = ".*";\n\};\n$')
        with open(os.path.join(self.server.state, "cgi.log"), "rb") as f:
            self.assertIn(b"ended on a fatal signal", f.read())

    def test_damaged_classic_files_are_refused_not_invented(self):
        with open(os.path.join(self.root, "sst.nc"), "rb") as f:
            good = f.read()
        # The title's length made 2^29 + 17: the netCDF library's own header
        # parser takes seconds and hundreds of MB on it.
        at = good.index(b"title") + 8 + 4
        slow = good[:at] + b"\x20" + good[at + 1:]
        # A header declaring float v[2147483647] in a 264-byte file.
        name = lambda n: struct.pack(">I", len(n)) + n + b"\0" * (-len(n) % 4)
        header = (b"CDF\x01" + struct.pack(">I", 0) +
                  struct.pack(">II", 0x0A, 1) + name(b"x") +
                  struct.pack(">I", 2147483647) + struct.pack(">II", 0, 0) +
                  struct.pack(">II", 0x0B, 1) + name(b"v") +
                  struct.pack(">IIII", 1, 0, 0, 0) +
                  struct.pack(">III", 5, 0xFFFFFFFC, 80))
        huge = header + b"\0" * (264 - len(header))
        files = {"short.nc": good[:-1], "slow.nc": slow, "huge.nc": huge}
        for name_, data in files.items():
            with open(os.path.join(self.root, name_), "wb") as f:
                f.write(data)
            self.addCleanup(os.remove, os.path.join(self.root, name_))
        for name_ in files:
            for suffix in ("das", "dds", "vorn"):
                with self.subTest(name=name_, suffix=suffix):
                    start = time.time()
                    status, _, body = self.get(name_ + "." + suffix)
                    self.assertEqual(status, 500, body[:200])
                    self.assertIn(b"is damaged", body)
                    self.assertLess(time.time() - start, 5)

    def test_linear_scale_refuses_beyond_its_bound(self):
        status, _, body = self.get("big.nc.vorn?linear_scale(ramp)")
        self.assertEqual(status, 400, body[:300])
        self.assertIn(b'"ramp\\" selects 16781312 values', body)
        status, _, body = self.get("big.nc.vorn?linear_scale(ramp%5B0%5D%5B0:3%5D,2,1)")
        self.assertEqual(status, 200)
        self.assertTrue(body.endswith(b"\x00\x00\x00\x04\x00\x00\x00\x04"
                                      b"?\xf0\x00\x00\x00\x00\x00\x00"
                                      b"@\x08\x00\x00\x00\x00\x00\x00"
                                      b"@\x14\x00\x00\x00\x00\x00\x00"
                                      b"@\x1c\x00\x00\x00\x00\x00\x00"), body[-40:])

    def test_error_responses_are_plain_text_and_echo_no_markup(self):
        for path in ("/qvp/sst.nc.xyz", "/qvp/missing.nc.das",
                     "/qvp/sst.nc.dds?nosuch", "/qvp/%3Cscript%3Ex%3C%2Fscript%3E.nc.das",
                     "/qvp/sst.nc.%3Cb%3E"):
            status, headers, body = self.server.get(path)
            self.assertIn(status, (400, 404), path)
            self.assertEqual(headers.get("Content-Type"), "text/plain", path)
            self.assertEqual(headers.get("X-Content-Type-Options"), "nosniff", path)
            self.assertNotIn(b"<", body, path)

    def test_request_without_host_uses_the_servers_own_name(self):
        reply = raw_request(self.server.port, b"GET /qvp/sst.nc.ddx HTTP/1.0\r\n\r\n")
        self.assertTrue(reply.startswith(b"HTTP/1.0 200 OK\r\n"), reply[:200])
        self.assertIn(b'href="http://127.0.0.1:%d/qvp/sst.nc.blob?"'
                      % self.server.port, reply)


if __name__ == "__main__":
    unittest.main()
