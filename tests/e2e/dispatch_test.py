"""qvp_dispatch run as a CGI program without a web server: the handler command
lines it builds (a stand-in handler prints them) and what it refuses itself."""
import os, subprocess, tempfile, unittest

from e2e_support import ENV, ERROR_BODY, write

DISPATCH = ENV["QVP_DISPATCH"]
ECHO = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done"
U = "http://127.0.0.1:8080/qvp"
DAS = "-o das -v V -u %s/sst.nc R/sst.nc" % U
VORN = "-o DataDDS -v V -u %s/sst.nc R/sst.nc" % U
CATALOG = "--view=catalog --extensions=nc,nc4,ncml -v V -u %s" % U
# If-Modified-Since texts and the seconds the handler is given (-l): the
# three forms, then texts that give nothing.
DATES = (("Sun, 06 Nov 1994 08:49:37 GMT", "784111777"), ("Sun Nov  6 08:49:37 1994", "784111777"),
         ("Sunday, 06-Nov-94 08:49:37 GMT", "784111777"), ("Thu, 01 Jan 1970 00:00:00 GMT", "0"),
         ("Tue, 29 Feb 2000 23:59:59 GMT", "951868799"),
         ("Wednesday, 01-Jan-30 00:00:00 GMT", "1893456000")) + tuple((d, None) for d in (
    "", "yesterday", "Sun, 06 Nov 1994 08:49:37", "Sun, 31 Feb 1994 08:49:37 GMT",
    "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:49:37 GMT trailing",
    "Mon, 29 Feb 1900 00:00:00 GMT", "1000000000"))
# SERVER_NAME and SERVER_PORT without a Host header, and the URL they give.
HOSTS = ((("127.0.0.1", "8081"), "http://127.0.0.1:8081/qvp/sst.nc"),
         (("example.org", "80"), "http://example.org/qvp/sst.nc"),
         (("::1", "8081"), "http://[::1]:8081/qvp/sst.nc"), (("h", None), "http://h/qvp/sst.nc"),
         (("", "8081"), "http://10.1.2.3:8081/qvp/sst.nc"),
         ((None, "8081"), "http://10.1.2.3:8081/qvp/sst.nc"))
# PATH_INFO, QUERY_STRING, environment, the handler's arguments (V: any
# version of the dispatcher, R: the data root).
COMMANDS = (
    [("/sst.nc." + s, "", {}, "-o %s -v V -u %s/sst.nc R/sst.nc" % (r, U))
     for s, r in (("das", "das"), ("dds", "dds"), ("ddx", "ddx"),
                  ("vorn", "DataDDS"), ("ver", "Version"))] +
    [("/sub/deep.nc.vorn", "sst%5B0%5D&x%3E1", {},
      "-o DataDDS -v V -u %s/sub/deep.nc -e sst%%5B0%%5D&x%%3E1 R/sub/deep.nc" % U),
     # "%25" then "0A": a percent sign and text, no control byte.
     ("/sst.nc.dds", "s%250A%zz%", {}, "-o dds -v V -u %s/sst.nc -e s%%250A%%zz%% R/sst.nc" % U),
     # The URL is encoded; the handler decodes its data set argument.
     ("/a b.nc.das", "", {}, "-o das -v V -u %s/a%%20b.nc R/a b.nc" % U),
     ("/p%41.nc.das", "", {}, "-o das -v V -u %s/p%%2541.nc R/p%%2541.nc" % U),
     # A link inside the root is served by its real path.
     ("/alias.nc.das", "", {}, "-o das -v V -u %s/alias.nc R/sst.nc" % U)] +
    [("/sub/deep.nc." + v, "sst%5B0%5D", {}, "--view=%s -v V -u %s/sub/deep.nc "
      "-e sst%%5B0%%5D R/sub/deep.nc" % (v, U)) for v in ("html", "csv")] +
    [("/", "", {}, CATALOG + "/ R"),
     ("/sub/", "page=2", {}, CATALOG + "/sub/ -e page=2 R/sub"),
     ("/dir.nc/", "", {}, CATALOG + "/dir.nc/ R/dir.nc")] +
    [("/sst.nc.vorn", "", {"QVP_TIMEOUT": v}, VORN.replace(" R", t + " R"))
     for v, t in (("5", " -t 5"), ("0", ""), ("-3", ""), ("abc", ""), ("5s", ""), ("", ""))] +
    [("/sst.nc.das", "", {"HTTP_IF_MODIFIED_SINCE": d},
      DAS.replace(" R", " -l " + s + " R") if s else DAS) for d, s in DATES] +
    [("/sst.nc.das", "", dict(HTTP_HOST=h, SERVER_NAME=n, SERVER_PORT=p, SERVER_ADDR="10.1.2.3"),
      DAS.replace(U + "/sst.nc", url)) for (n, p), url in HOSTS for h in (None, "")])
BAD, MISSING, CONFIG = ("HTTP/1.0 400 Bad Request", "HTTP/1.0 404 Not Found",
                        "HTTP/1.0 500 Internal Server Error")
REFUSALS = tuple((p, {}, BAD, 1001) for p in (
    "/../sst.nc.das", "/sub/../sst.nc.das", "/./sst.nc.das", "/sst.nc\x01.das",
    "sst.nc.das", "", "/sst.nc.htm", "/x.txt", "/up", "/missing",
    "/sub/../", "/.das", "/sst.nc.<b>")) + tuple(
    (p, {}, MISSING, 1004) for p in (
        "/missing/", "/up/", "/sst.nc/", "/x.txt.das", "/missing.nc.das",
        "/escape.nc.das", "/escape.nc", "/dir.nc.das", "/%2e%2e/outside.nc.das",
        "/<b>x</b>.nc.das")) + (
    ("/sst.nc.das", {"HTTP_HOST": "h/x?y"}, BAD, 1001),
    # A control byte in the query, encoded or not (lighttpd refuses the
    # encoded ones itself; nginx passes them on).
    ("/sst.nc.dds", {"QUERY_STRING": "sst%0A"}, BAD, 1001),
    ("/sst.nc.dds", {"QUERY_STRING": "sst%0d%0a"}, BAD, 1001),
    ("/sst.nc.vorn", {"QUERY_STRING": "sst&lat%3E1%7F"}, BAD, 1001),
    ("/sst.nc.csv", {"QUERY_STRING": "sst\x01"}, BAD, 1001),
    ("/sub/", {"QUERY_STRING": "page=%092"}, BAD, 1001),
    ("/sst.nc.das", {"QVP_DATA_ROOT": None}, CONFIG, 1009),
    ("/sst.nc.das", {"QVP_HANDLER_DIR": "/nonexistent"}, CONFIG, 1009))


class DispatchTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory()
        cls.addClassCleanup(tmp.cleanup)
        base = os.path.realpath(tmp.name)
        cls.root, cls.handlers, cls.env = base + "/data", base + "/handlers", base + "/env"
        for directory in (cls.root + "/sub", cls.root + "/dir.nc", cls.handlers, cls.env):
            os.makedirs(directory)
        for name in ("sst.nc", "sub/deep.nc", "a b.nc", "p%41.nc", "x.txt", "../outside.nc"):
            write(os.path.join(cls.root, name), "")
        for target, link in ((base + "/outside.nc", "escape.nc"), ("sst.nc", "alias.nc"),
                             (base, "up")):
            os.symlink(target, os.path.join(cls.root, link))
        for directory, script in ((cls.handlers, ECHO), (cls.env, "exec /usr/bin/env")):
            write(directory + "/qvp_nc_handler",
                  "#!/bin/sh\nprintf 'HTTP/1.0 200 OK\\r\\n\\r\\n'\n" + script + "\n", 0o755)

    def run_cgi(self, path_info, query="", **extra):
        env = {"QVP_DATA_ROOT": self.root, "QVP_HANDLER_DIR": self.handlers,
               "PATH_INFO": path_info, "QUERY_STRING": query,
               "REQUEST_SCHEME": "http", "HTTP_HOST": "127.0.0.1:8080",
               "SCRIPT_NAME": "/qvp"}
        env = {k: v for k, v in dict(env, **extra).items() if v is not None}
        out = subprocess.run([DISPATCH], env=env, capture_output=True, timeout=20).stdout
        head, _, body = out.decode("latin-1").partition("\r\n\r\n")
        return head.split("\r\n"), body

    def test_handler_command_lines(self):
        for path, query, env, want in COMMANDS:
            head, body = self.run_cgi(path, query, **env)
            self.assertEqual(head, ["HTTP/1.0 200 OK"], body)
            args = body.splitlines()
            v = args.index("-v") + 1
            self.assertRegex(args[v], r"^qvp_dispatch/\d")
            args[v] = "V"
            args[-1] = args[-1].replace(self.root, "R")
            self.assertEqual(" ".join(args), want, (path, query, env))

    def test_bare_data_sets_and_directories_redirect(self):
        for path, location in (("/sst.nc", "/qvp/sst.nc.html"),
                               ("/alias.nc", "/qvp/alias.nc.html"),
                               ("/a b.nc", "/qvp/a%20b.nc.html"),
                               ("/sub", "/qvp/sub/"), ("/dir.nc", "/qvp/dir.nc/")):
            lines, body = self.run_cgi(path)
            self.assertEqual((lines[0], lines[-1], body),
                             ("HTTP/1.0 301 Moved Permanently",
                              "Location: http://127.0.0.1:8080" + location, ""))

    def test_refusals(self):
        for path, env, status, code in REFUSALS:
            lines, body = self.run_cgi(path, **env)
            self.assertEqual(lines[0], status, (path, body))
            self.assertRegex(lines[1], r"^XVORN-Server: qvp_dispatch/")
            self.assertRegex(lines[4], r"^Date: \w\w\w, \d\d \w\w\w \d{4} ")
            self.assertEqual([lines[3]] + lines[5:], [
                "XQVP: 3.1", "Cache-Control: no-cache", "Content-Type: text/plain; charset=utf-8",
                "Content-Length: %d" % len(body.encode("latin-1"))])
            self.assertRegex(body, ERROR_BODY % code)
            self.assertNotIn("<", body)
            self.assertNotIn(os.path.dirname(self.root), "".join(lines) + body)

    def test_handler_runs_with_a_minimal_environment(self):
        out = self.run_cgi("/sst.nc.das", QVP_HANDLER_DIR=self.env, HOME="/home/x",
                           LD_PRELOAD="", HDF5_PLUGIN_PATH="/x", TZ="UTC")
        env = dict(line.split("=", 1) for line in out[1].splitlines())
        self.assertEqual({k: env.get(k) for k in (
            "QVP_DATA_ROOT", "NCRCENV_IGNORE", "PATH", "TZ", "HOME", "LD_PRELOAD",
            "HDF5_PLUGIN_PATH", "HTTP_HOST", "QUERY_STRING", "QVP_HANDLER_DIR")},
            dict(QVP_DATA_ROOT=self.root, NCRCENV_IGNORE="1", PATH="/usr/bin:/bin",
                 TZ="UTC", HOME=None, LD_PRELOAD=None, HDF5_PLUGIN_PATH=None,
                 HTTP_HOST=None, QUERY_STRING=None, QVP_HANDLER_DIR=None))
