"""qvp_dispatch run as a CGI program, without a web server: the handler
command lines it builds (seen through a stand-in handler that prints its
arguments) and the requests it refuses itself."""
import os
import subprocess
import tempfile
import unittest

DISPATCH = os.environ["QVP_DISPATCH"]

FAKE_HANDLER = """#!/bin/sh
printf 'HTTP/1.0 200 OK\\r\\n\\r\\n'
for a in "$@"; do printf '%s\\n' "$a"; done
"""


class DispatchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        base = os.path.realpath(cls.tmp.name)
        cls.root = os.path.join(base, "data")
        cls.handlers = os.path.join(base, "handlers")
        os.makedirs(os.path.join(cls.root, "sub"))
        os.makedirs(cls.handlers)
        for name in ("sst.nc", "sub/deep.nc", "a b.nc", "p%41.nc", "x.txt"):
            open(os.path.join(cls.root, name), "w").close()
        open(os.path.join(base, "outside.nc"), "w").close()
        os.symlink(os.path.join(base, "outside.nc"),
                   os.path.join(cls.root, "escape.nc"))
        os.symlink("sst.nc", os.path.join(cls.root, "alias.nc"))
        os.symlink(base, os.path.join(cls.root, "up"))
        os.mkdir(os.path.join(cls.root, "dir.nc"))
        handler = os.path.join(cls.handlers, "qvp_nc_handler")
        with open(handler, "w") as f:
            f.write(FAKE_HANDLER)
        os.chmod(handler, 0o755)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def run_cgi(self, path_info, query="", **extra):
        env = {"QVP_DATA_ROOT": self.root, "QVP_HANDLER_DIR": self.handlers,
               "PATH_INFO": path_info, "QUERY_STRING": query,
               "REQUEST_SCHEME": "http", "HTTP_HOST": "127.0.0.1:8080",
               "SCRIPT_NAME": "/qvp"}
        env.update(extra)
        env = {k: v for k, v in env.items() if v is not None}
        out = subprocess.run([DISPATCH], env=env, capture_output=True,
                             timeout=20).stdout
        return out.decode("latin-1")

    def handler_args(self, path_info, query="", **extra):
        out = self.run_cgi(path_info, query, **extra)
        self.assertTrue(out.startswith("HTTP/1.0 200 OK\r\n\r\n"), out)
        return out.split("\r\n\r\n", 1)[1].splitlines()

    def test_suffixes_map_to_responses(self):
        for suffix, response in (("das", "das"), ("dds", "dds"),
                                 ("ddx", "ddx"), ("vorn", "DataDDS"),
                                 ("ver", "Version")):
            args = self.handler_args("/sst.nc." + suffix)
            self.assertEqual(args[:2], ["-o", response], suffix)
            self.assertEqual(args[2], "-v")
            self.assertRegex(args[3], r"^qvp_dispatch/\d")
            self.assertEqual(args[4:6], ["-u", "http://127.0.0.1:8080/qvp/sst.nc"])
            self.assertEqual(args[-1], os.path.join(self.root, "sst.nc"))

    def test_query_travels_encoded(self):
        args = self.handler_args("/sub/deep.nc.vorn", "sst%5B0%5D&x%3E1")
        self.assertEqual(args[6:8], ["-e", "sst%5B0%5D&x%3E1"])
        self.assertEqual(args[5], "http://127.0.0.1:8080/qvp/sub/deep.nc")

    def test_url_is_encoded_and_percent_survives_decoding(self):
        args = self.handler_args("/a b.nc.das")
        self.assertEqual(args[5], "http://127.0.0.1:8080/qvp/a%20b.nc")
        args = self.handler_args("/p%41.nc.das")
        self.assertEqual(args[5], "http://127.0.0.1:8080/qvp/p%2541.nc")
        # The handler decodes its data set argument: "%25" gives back '%'.
        self.assertEqual(args[-1], os.path.join(self.root, "p%2541.nc"))

    def test_symlink_inside_root_is_served_by_real_path(self):
        args = self.handler_args("/alias.nc.das")
        self.assertEqual(args[-1], os.path.join(self.root, "sst.nc"))

    def test_if_modified_since_forms(self):
        accepted = (
            ("Sun, 06 Nov 1994 08:49:37 GMT", "784111777"),
            ("Sunday, 06-Nov-94 08:49:37 GMT", "784111777"),
            ("Sun Nov  6 08:49:37 1994", "784111777"),
            ("Thu, 01 Jan 1970 00:00:00 GMT", "0"),
            ("Tue, 29 Feb 2000 23:59:59 GMT", "951868799"),
            ("Wednesday, 01-Jan-30 00:00:00 GMT", "1893456000"),
        )
        for text, seconds in accepted:
            args = self.handler_args("/sst.nc.das",
                                     HTTP_IF_MODIFIED_SINCE=text)
            self.assertIn("-l", args, text)
            self.assertEqual(args[args.index("-l") + 1], seconds, text)
        rejected = ("", "yesterday", "Sun, 06 Nov 1994 08:49:37",
                    "Sun, 31 Feb 1994 08:49:37 GMT",
                    "Sun, 06 Nov 1994 24:00:00 GMT",
                    "Sun, 06 Nov 1994 08:49:37 GMT trailing",
                    "Mon, 29 Feb 1900 00:00:00 GMT", "1000000000")
        for text in rejected:
            args = self.handler_args("/sst.nc.das",
                                     HTTP_IF_MODIFIED_SINCE=text)
            self.assertNotIn("-l", args, text)

    def test_time_limit(self):
        for value, expected in (("5", ["-t", "5"]), ("0", []), ("-3", []),
                                ("abc", []), ("5s", []), ("", [])):
            args = self.handler_args("/sst.nc.vorn", QVP_TIMEOUT=value)
            tail = args[args.index("-t"):-1] if "-t" in args else []
            self.assertEqual(tail, expected, value)

    def test_browser_suffixes_ask_for_a_view(self):
        for suffix in ("html", "csv"):
            args = self.handler_args("/sub/deep.nc." + suffix, "sst%5B0%5D")
            self.assertEqual(args[0], "--view=" + suffix)
            self.assertEqual(args[1:5:2], ["-v", "-u"])
            self.assertEqual(args[4:8], ["http://127.0.0.1:8080/qvp/sub/deep.nc",
                                         "-e", "sst%5B0%5D",
                                         os.path.join(self.root, "sub/deep.nc")])

    def test_directories_ask_for_a_catalogue(self):
        for path, query, url, real in (
                ("/", "", "/qvp/", self.root),
                ("/sub/", "page=2", "/qvp/sub/", self.root + "/sub"),
                ("/dir.nc/", "", "/qvp/dir.nc/", self.root + "/dir.nc")):
            args = self.handler_args(path, query)
            self.assertEqual(args[:3], ["--view=catalog", "--extensions=nc,nc4",
                                        "-v"], path)
            self.assertEqual(args[4:6], ["-u", "http://127.0.0.1:8080" + url])
            self.assertEqual(args[6:-1], ["-e", query] if query else [])
            self.assertEqual(args[-1], real)

    def test_bare_data_sets_and_directories_redirect(self):
        for path, location in (("/sst.nc", "/qvp/sst.nc.html"),
                               ("/alias.nc", "/qvp/alias.nc.html"),
                               ("/a b.nc", "/qvp/a%20b.nc.html"),
                               ("/sub", "/qvp/sub/"),
                               ("/dir.nc", "/qvp/dir.nc/")):
            out = self.run_cgi(path)
            head, _, body = out.partition("\r\n\r\n")
            lines = head.split("\r\n")
            self.assertEqual(lines[0], "HTTP/1.0 301 Moved Permanently", path)
            self.assertEqual(lines[-1], "Location: http://127.0.0.1:8080" + location)
            self.assertEqual(body, "")

    def assert_refused(self, out, status, code, secret=None):
        head, _, body = out.partition("\r\n\r\n")
        lines = head.split("\r\n")
        self.assertEqual(lines[0], status, out)
        self.assertRegex(lines[1], r"^XVORN-Server: qvp_dispatch/")
        self.assertEqual(lines[3], "XQVP: 3.1")
        self.assertRegex(lines[4], r"^Date: \w\w\w, \d\d \w\w\w \d{4} ")
        self.assertEqual(lines[5], "Cache-Control: no-cache")
        self.assertEqual(lines[6:], ["Content-Type: text/plain"])
        self.assertNotIn("<", body)
        self.assertRegex(body, r'^Error \{\n    code = %d;\n    message = ".*";\n\};\n$' % code)
        self.assertNotIn(self.root, out)
        self.assertNotIn(os.path.dirname(self.root), out)

    def test_refusals(self):
        cases = (
            ("/../sst.nc.das", "HTTP/1.0 400 Bad Request", 1001),
            ("/sub/../sst.nc.das", "HTTP/1.0 400 Bad Request", 1001),
            ("/./sst.nc.das", "HTTP/1.0 400 Bad Request", 1001),
            ("/sst.nc\x01.das", "HTTP/1.0 400 Bad Request", 1001),
            ("sst.nc.das", "HTTP/1.0 400 Bad Request", 1001),
            ("", "HTTP/1.0 400 Bad Request", 1001),
            ("/sst.nc.htm", "HTTP/1.0 400 Bad Request", 1001),
            ("/x.txt", "HTTP/1.0 400 Bad Request", 1001),
            ("/escape.nc", "HTTP/1.0 400 Bad Request", 1001),
            ("/up", "HTTP/1.0 400 Bad Request", 1001),
            ("/missing", "HTTP/1.0 400 Bad Request", 1001),
            ("/missing/", "HTTP/1.0 404 Not Found", 1004),
            ("/up/", "HTTP/1.0 404 Not Found", 1004),
            ("/sst.nc/", "HTTP/1.0 404 Not Found", 1004),
            ("/sub/../", "HTTP/1.0 400 Bad Request", 1001),
            ("/.das", "HTTP/1.0 400 Bad Request", 1001),
            ("/x.txt.das", "HTTP/1.0 404 Not Found", 1004),
            ("/missing.nc.das", "HTTP/1.0 404 Not Found", 1004),
            ("/escape.nc.das", "HTTP/1.0 404 Not Found", 1004),
            ("/dir.nc.das", "HTTP/1.0 404 Not Found", 1004),
            ("/%2e%2e/outside.nc.das", "HTTP/1.0 404 Not Found", 1004),
            ("/<b>x</b>.nc.das", "HTTP/1.0 404 Not Found", 1004),
            ("/sst.nc.<b>", "HTTP/1.0 400 Bad Request", 1001),
        )
        for path, status, code in cases:
            with self.subTest(path=path):
                self.assert_refused(self.run_cgi(path), status, code)

    def test_bad_host_and_missing_configuration(self):
        self.assert_refused(self.run_cgi("/sst.nc.das", HTTP_HOST="h/x?y"),
                            "HTTP/1.0 400 Bad Request", 1001)
        self.assert_refused(self.run_cgi("/sst.nc.das", QVP_DATA_ROOT=None),
                            "HTTP/1.0 500 Internal Server Error", 1009)
        self.assert_refused(
            self.run_cgi("/sst.nc.das", QVP_HANDLER_DIR="/nonexistent"),
            "HTTP/1.0 500 Internal Server Error", 1009)

    def test_host_falls_back_to_the_servers_name_and_port(self):
        cases = ((("127.0.0.1", "8081"), "http://127.0.0.1:8081/qvp/sst.nc"),
                 (("example.org", "80"), "http://example.org/qvp/sst.nc"),
                 (("::1", "8081"), "http://[::1]:8081/qvp/sst.nc"),
                 (("h", None), "http://h/qvp/sst.nc"),
                 (("", "8081"), "http://10.1.2.3:8081/qvp/sst.nc"))
        for (name, port), url in cases:
            for host in (None, ""):
                args = self.handler_args("/sst.nc.das", HTTP_HOST=host,
                                         SERVER_NAME=name, SERVER_PORT=port,
                                         SERVER_ADDR="10.1.2.3")
                self.assertEqual(args[args.index("-u") + 1], url, (name, port))

    def test_handler_runs_with_a_minimal_environment(self):
        with tempfile.TemporaryDirectory() as handlers:
            path = os.path.join(handlers, "qvp_nc_handler")
            with open(path, "w") as f:
                f.write("#!/bin/sh\nprintf 'HTTP/1.0 200 OK\\r\\n\\r\\n'\n"
                        "exec /usr/bin/env\n")
            os.chmod(path, 0o755)
            out = self.run_cgi("/sst.nc.das", QVP_HANDLER_DIR=handlers,
                               HOME="/home/x", LD_PRELOAD="", HDF5_PLUGIN_PATH="/x",
                               TZ="UTC")
        env = dict(line.split("=", 1)
                   for line in out.split("\r\n\r\n", 1)[1].splitlines())
        self.assertEqual(env.get("QVP_DATA_ROOT"), self.root)
        self.assertEqual(env.get("NCRCENV_IGNORE"), "1")
        self.assertEqual(env.get("PATH"), "/usr/bin:/bin")
        self.assertEqual(env.get("TZ"), "UTC")
        for name in ("HOME", "LD_PRELOAD", "HDF5_PLUGIN_PATH", "HTTP_HOST",
                     "QUERY_STRING", "QVP_HANDLER_DIR"):
            self.assertNotIn(name, env)


if __name__ == "__main__":
    unittest.main()
