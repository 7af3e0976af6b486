"""The pool behind a real lighttpd (mod_scgi) and a real nginx (scgi_pass):
every response kind is the CGI path's, byte for byte; many concurrent
clients get exactly the right bodies; a slow client does not hold a
worker."""
import email.utils
import http.client
import os
import socket
import threading
import time
import unittest

from e2e_support import ServedTestCase, plant_escape
from pool_support import Pool, WebServer

# Headers that the web server itself writes or that change with time.
VOLATILE = {"date", "server", "transfer-encoding", "content-length",
            "connection"}

PATHS = ("sst.nc.das", "sst.nc.dds", "sst.nc.ddx", "sst.nc.ver",
         "sst.nc.dds?sst.lat,time", "sst.nc.ddx?sst",
         "sst.nc.vorn?sst%5B1%5D%5B0:2:2%5D%5B1:2%5D", "sst.nc.vorn?sst.lon",
         "station.nc.vorn?station_name,temp", "names.nc.dds",
         "names.nc.vorn", "ramp.nc.vorn?ramp%5B2047%5D%5B2040:2047%5D",
         "ramp.nc.vorn",
         # errors: the mapping's and the handler's
         "sst.nc.vorn?sst%5B", "sst.nc.vorn?sst%5B7%5D", "sst.nc.dds?nosuch",
         "missing.nc.das", "sst.nc.xyz", "sst.txt.das", "escape.nc.das")


def get(port, path, headers=None, timeout=30):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    conn.request("GET", path, headers=headers or {})
    r = conn.getresponse()
    body = r.read()
    conn.close()
    kept = sorted((k.lower(), v) for k, v in r.getheaders()
                  if k.lower() not in VOLATILE)
    # The data set's URL in a DDX names the port the client used.
    return r.status, kept, body.replace(b":%d/" % port, b":PORT/")


class PoolHttpTest(ServedTestCase):
    needs = ("QVP_LIGHTTPD", "QVP_NGINX")

    @classmethod
    def prepare(cls):
        plant_escape(cls.root, cls.base)
        cls.pool = Pool(os.path.join(cls.base, "pool"), cls.root,
                        "--workers", 2)
        cls.fronts = {kind: WebServer(kind, os.path.join(cls.base, kind),
                                      cls.pool.socket)
                      for kind in ("lighttpd", "nginx")}

    @classmethod
    def tearDownClass(cls):
        for w in cls.fronts.values():
            w.stop()
        cls.pool.stop()
        super().tearDownClass()

    def test_every_response_is_the_cgi_paths(self):
        mtime = os.path.getmtime(os.path.join(self.root, "sst.nc"))
        conditions = ({}, {"If-Modified-Since": email.utils.formatdate(
            mtime + 60, usegmt=True)}, {"If-Modified-Since": email.utils.formatdate(
                mtime - 60, usegmt=True)})
        for path in PATHS:
            for headers in conditions:
                want = get(self.server.port, "/qvp/" + path, headers)
                for kind, front in self.fronts.items():
                    with self.subTest(path=path, front=kind, headers=headers):
                        got = get(front.port, "/qvp/" + path, headers)
                        self.assertEqual(got, want)
                        if got[0] != 304:  # a 304 has Date alone
                            self.assertIn("xqvp", dict(got[1]))
        # The conditional case really was answered with a 304.
        self.assertEqual(get(self.server.port, "/qvp/sst.nc.das",
                             conditions[1])[0], 304)

    def test_concurrent_clients_get_their_own_bodies(self):
        paths = PATHS[:12]
        want = {p: get(self.server.port, "/qvp/" + p) for p in paths}
        failures = []

        def client(n):
            front = list(self.fronts.values())[n % 2]
            for i in range(12):
                p = paths[(n + i) % len(paths)]
                if get(front.port, "/qvp/" + p) != want[p]:
                    failures.append((n, p))

        threads = [threading.Thread(target=client, args=(n,))
                   for n in range(16)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        self.assertEqual(failures, [])

    def test_a_slow_client_does_not_hold_a_worker(self):
        # One worker: while a client sits on a 16 MiB reply without reading
        # it, the web server must have taken the reply off the worker.
        state = os.path.join(os.path.dirname(self.root), "slow")
        pool = Pool(state, self.root, "--workers", 1)
        try:
            for kind in ("lighttpd", "nginx"):
                front = WebServer(kind, os.path.join(state, kind), pool.socket)
                try:
                    slow = socket.create_connection(("127.0.0.1", front.port))
                    slow.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                    slow.sendall(b"GET /qvp/ramp.nc.vorn HTTP/1.0\r\n"
                                 b"Host: 127.0.0.1\r\n\r\n")
                    time.sleep(1)
                    # With the worker held, this would wait (and time out).
                    status, _, body = get(front.port, "/qvp/sst.nc.das", None, 20)
                    self.assertEqual(status, 200, kind)
                    self.assertTrue(body.startswith(b"Attributes {"), kind)
                    slow.close()
                finally:
                    front.stop()
        finally:
            self.assertEqual(pool.stop(), 0)


if __name__ == "__main__":
    unittest.main()
