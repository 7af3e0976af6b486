"""The pool spoken to over raw SCGI: hostile input, a worker killed or
timed out mid-request, clients that go away, no state carried from one
request to the next, recycling, graceful restart and the drain."""
import os
import signal
import socket
import subprocess
import time
import unittest

from e2e_support import ServedTestCase, free_port
from hardening_test import make_crashing_file, under_address_sanitizer
from pool_support import (ENV, Pool, netstring, read_all, scgi_bytes,
                          wait_until)

OK = b"HTTP/1.0 200 OK\r\n"
RAMP_BYTES = 2048 * 2048 * 4


def body(reply):
    return reply.split(b"\r\n\r\n", 1)[1]


class PoolTestCase(ServedTestCase):
    """The samples in a data root; each test starts the pools it needs."""
    needs = ()

    @classmethod
    def start_server(cls):
        return None

    def start(self, *args):
        pool = Pool(os.path.join(self.base, self.id().rsplit(".", 1)[1]),
                    self.root, *args)
        self.addCleanup(lambda: pool.proc.poll() is None and pool.stop())
        return pool

    def stalled_ramp(self, pool):
        """A data request whose reply the client does not read, so the
        worker blocks writing it."""
        s = socket.socket(socket.AF_UNIX)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.settimeout(30)
        s.connect(pool.socket)
        s.sendall(netstring([(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"),
                             (b"PATH_INFO", b"/ramp.nc.vorn"),
                             (b"HTTP_HOST", b"h")]))
        time.sleep(0.5)
        return s

    def assert_serves(self, pool):
        reply = pool.request("/sst.nc.das")
        self.assertTrue(reply.startswith(OK), reply[:80])
        self.assertTrue(body(reply).startswith(b"Attributes {\n"))


class HostileInputTest(PoolTestCase):
    BAD_FRAMING = (  # the connection is closed without a reply
        b"abc:", b"-1:", b"1234567:", b"99999:" + b"x" * 100,
        b"10:CONTENT_LENGTH\x000\x00x", b"5:12345;", b"", b"2:")
    BAD_HEADERS = (  # a 400 can still be written
        [(b"SCGI", b"1"), (b"CONTENT_LENGTH", b"0")],
        [(b"CONTENT_LENGTH", b"x"), (b"SCGI", b"1")],
        [(b"CONTENT_LENGTH", b"99999999999"), (b"SCGI", b"1")],
        [(b"CONTENT_LENGTH", b"0")],
        [(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"2")])

    def test_bad_input_is_dropped_and_the_pool_goes_on(self):
        pool = self.start("--workers", 1, "--read-timeout", 1)
        for data in self.BAD_FRAMING:
            start = time.time()
            with pool.connect(data) as s:
                s.shutdown(socket.SHUT_WR)
                try:  # closed with our bytes unread: the peer may reset
                    self.assertEqual(read_all(s), b"", data)
                except ConnectionResetError:
                    pass
            self.assertLess(time.time() - start, 3, data)
        for pairs in self.BAD_HEADERS:
            s = pool.connect(netstring(pairs))
            reply = read_all(s)
            s.close()
            self.assertTrue(reply.startswith(b"HTTP/1.0 400 Bad Request\r\n"),
                            (pairs, reply[:60]))
        # A header name without its value, inside a well-formed netstring.
        s = pool.connect(b"21:CONTENT_LENGTH\x000\x00SCGI,")
        self.assertIn(b" 400 ", read_all(s)[:20])
        s.close()
        self.assert_serves(pool)
        self.assertIn("dropped a request", pool.log())

    def test_a_stalled_sender_is_dropped_within_the_bound(self):
        pool = self.start("--workers", 1, "--read-timeout", 1)
        for partial in (b"", b"30:CONTENT_LENGTH\x00"):
            start = time.time()
            s = pool.connect(partial)
            self.assertEqual(read_all(s), b"")
            s.close()
            self.assertLess(time.time() - start, 3)
        self.assert_serves(pool)

    def test_request_body_and_unknown_variables_are_ignored(self):
        pool = self.start("--workers", 1)
        pairs = [(b"CONTENT_LENGTH", b"5"), (b"SCGI", b"1"),
                 (b"PATH_INFO", b"/sst.nc.das"), (b"HTTP_HOST", b"h"),
                 # configuration never comes from the request
                 (b"QVP_DATA_ROOT", b"/"), (b"QVP_TIMEOUT", b"1")]
        s = pool.connect(netstring(pairs) + b"hello")
        self.assertTrue(read_all(s).startswith(OK))
        s.close()
        reply = pool.request("/etc/passwd.nc.das",
                             extra=[("QVP_DATA_ROOT", "/")])
        self.assertIn(b" 404 ", reply[:20])


class WorkerFailureTest(PoolTestCase):
    def test_a_killed_worker_is_replaced(self):
        pool = self.start("--workers", 1)
        s = self.stalled_ramp(pool)
        (victim,) = pool.workers()
        os.kill(victim, signal.SIGKILL)
        s.close()
        self.assert_serves(pool)
        self.assert_serves(pool)
        self.assertNotEqual(pool.workers(), [victim])
        self.assertIn("worker %d was killed by signal 9" % victim, pool.log())

    def test_the_time_limit_ends_a_response_and_the_pool_goes_on(self):
        pool = self.start("--workers", 1, "--timeout", 1)
        s = self.stalled_ramp(pool)
        time.sleep(1.5)
        got = read_all(s)
        s.close()
        self.assertTrue(got.startswith(OK))
        self.assertLess(len(got), RAMP_BYTES)
        self.assert_serves(pool)
        self.assertIn("exited with status 1", pool.log())

    def test_a_client_that_goes_away_mid_response(self):
        pool = self.start("--workers", 1)
        for _ in range(3):
            s = self.stalled_ramp(pool)
            s.recv(1000)
            s.close()
        self.assert_serves(pool)
        self.assertEqual(len(pool.workers()), 1)


class NoCarriedStateTest(PoolTestCase):
    """One worker serves every request, so whatever one request left in the
    process would show in the next."""

    def test_sequence(self):
        pool = self.start("--workers", 1, "--timeout", 1)
        full = pool.request("/sst.nc.dds")
        mtime = os.path.getmtime(os.path.join(self.root, "sst.nc"))
        since = time.strftime("%a, %d %b %Y %H:%M:%S GMT",
                              time.gmtime(mtime + 60))
        steps = (
            ("/sst.nc.dds", "sst.lat", (), b"Float32 lat[lat = 3];\n    } sst;"),
            ("/sst.nc.dds", "", (), None),  # the constraint is gone
            ("/sst.nc.das", "", [("HTTP_IF_MODIFIED_SINCE", since)],
             b"HTTP/1.0 304"),
            ("/sst.nc.dds", "", (), None),  # the condition is gone
            ("/sst.nc.vorn", "sst%5B", (), b"HTTP/1.0 400"),
            ("/sst.nc.dds", "", (), None),
        )
        for path, query, extra, expect in steps:
            reply = pool.request(path, query, extra)
            if expect is None:
                self.assertEqual(body(reply), body(full), (path, query))
            else:
                self.assertIn(expect, reply, (path, query, extra))
        # A data response: the alarm it armed must not fire in later ones.
        pool.request("/sst.nc.vorn", "sst")
        (worker,) = pool.workers()
        time.sleep(1.3)
        self.assert_serves(pool)
        self.assertEqual(pool.workers(), [worker])
        self.assertNotIn("exited", pool.log())


class LifecycleTest(PoolTestCase):
    def test_workers_are_recycled_after_max_requests(self):
        pool = self.start("--workers", 1, "--max-requests", 2)
        seen = set()
        for _ in range(5):
            self.assert_serves(pool)
            wait_until(lambda: len(pool.workers()) == 1, 5, "a worker")
            seen.update(pool.workers())
        self.assertGreaterEqual(len(seen), 3)
        self.assertIn("recycled", pool.log())

    def test_sighup_replaces_the_workers(self):
        pool = self.start("--workers", 2)
        wait_until(lambda: len(pool.workers()) == 2, 5, "the workers")
        before = set(pool.workers())
        os.kill(pool.proc.pid, signal.SIGHUP)
        wait_until(lambda: len(pool.workers()) == 2 and
                   not before & set(pool.workers()), 5, "new workers")
        self.assert_serves(pool)

    def test_sigterm_drains_then_exits_0(self):
        pool = self.start("--workers", 2)
        s = self.stalled_ramp(pool)
        os.kill(pool.proc.pid, signal.SIGTERM)
        time.sleep(0.3)
        self.assertIsNone(pool.proc.poll())  # the request is still going
        got = read_all(s)
        s.close()
        self.assertEqual(pool.stop(), 0)
        self.assertGreater(len(got), RAMP_BYTES)
        self.assertFalse(os.path.exists(pool.socket))

    def test_the_drain_is_bounded(self):
        pool = self.start("--workers", 1, "--drain-timeout", 1)
        s = self.stalled_ramp(pool)
        start = time.time()
        self.assertEqual(pool.stop(), 0)
        self.assertLess(time.time() - start, 5)
        s.close()
        self.assertIn("did not finish in time", pool.log())

    def test_a_socket_passed_by_systemd(self):
        path = os.path.join(self.base, "activated.sock")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(path)
        listener.listen(16)
        fd = listener.fileno()
        # As systemd does: the socket is fd 3 and LISTEN_PID names the
        # process that execs the handler.
        to_3 = "" if fd == 3 else "3<&%d %d<&-" % (fd, fd)
        proc = subprocess.Popen(
            ["bash", "-c", 'LISTEN_PID=$$ LISTEN_FDS=1 exec "$0" "$@" ' + to_3,
             ENV["QVP_HANDLER"], "--serve", "systemd", "--root", self.root,
             "--workers", "1"],
            pass_fds=(fd,), stderr=subprocess.DEVNULL)
        listener.close()
        try:
            with socket.socket(socket.AF_UNIX) as s:
                s.settimeout(30)
                s.connect(path)
                s.sendall(scgi_bytes("/sst.nc.das"))
                self.assertTrue(read_all(s).startswith(OK))
        finally:
            proc.terminate()
            self.assertEqual(proc.wait(20), 0)
        self.assertTrue(os.path.exists(path))  # systemd's socket stays

    def test_a_tcp_address(self):
        port = free_port()
        log = open(os.path.join(self.base, "tcp.log"), "wb")
        proc = subprocess.Popen(
            [ENV["QVP_HANDLER"], "--serve", "127.0.0.1:%d" % port,
             "--root", self.root, "--workers", "1"], stderr=log)
        try:
            wait_until(lambda: b"serving" in open(log.name, "rb").read(), 10,
                       "the pool")
            with socket.create_connection(("127.0.0.1", port), 30) as s:
                s.sendall(scgi_bytes("/sst.nc.dds"))
                self.assertTrue(read_all(s).startswith(OK))
        finally:
            proc.terminate()
            self.assertEqual(proc.wait(20), 0)
            log.close()

    def test_bad_command_lines_exit_2(self):
        handler = ENV["QVP_HANDLER"]
        sock = "unix:" + os.path.join(self.base, "x.sock")
        for args in (["--serve", sock], ["--serve", sock, "--root", "/nonesuch"],
                     ["--serve", sock, "--root", self.root, "--workers", "0"],
                     ["--serve", sock, "--root", self.root, "--bogus", "1"],
                     ["--serve", "nohostport", "--root", self.root],
                     ["--serve", "systemd", "--root", self.root]):
            r = subprocess.run([handler] + args, stderr=subprocess.PIPE,
                               timeout=10)
            self.assertEqual(r.returncode, 2, args)
            self.assertTrue(r.stderr, args)

    def test_a_socket_in_use_is_not_taken_over(self):
        pool = self.start("--workers", 1)
        r = subprocess.run([ENV["QVP_HANDLER"], "--serve",
                            "unix:" + pool.socket, "--root", self.root],
                           stderr=subprocess.PIPE, timeout=10)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"in use", r.stderr)
        self.assert_serves(pool)


class ProtectionsTest(PoolTestCase):
    """What guards a one-shot handler guards a worker too, and the handler
    table comes from the pool's own command line."""

    def test_a_crash_in_the_library_costs_one_reply(self):
        if under_address_sanitizer():
            self.skipTest("AddressSanitizer stops the library before it crashes")
        crash = os.path.join(self.root, "crash.nc")
        make_crashing_file(crash, self.base)
        self.addCleanup(os.remove, crash)
        pool = self.start("--workers", 1)
        (before,) = pool.workers()
        reply = pool.request("/crash.nc.das")
        self.assertTrue(reply.startswith(b"HTTP/1.0 500 "), reply[:80])
        self.assertIn(b"Content-Type: text/plain\r\n", reply)
        self.assertIn(b"code = 1009;", body(reply))
        self.assert_serves(pool)
        self.assertNotEqual(pool.workers(), [before])

    def test_ancillary_links_out_of_the_root_are_not_followed(self):
        outside = os.path.join(self.base, "secret.das")
        with open(outside, "w") as f:
            f.write('Attributes { sst { String secret "outside"; } }\n')
        link = os.path.join(self.root, "sst.das")
        os.symlink(outside, link)
        self.addCleanup(os.remove, link)
        pool = self.start("--workers", 1)
        reply = pool.request("/sst.nc.das")
        self.assertTrue(reply.startswith(OK), reply[:80])
        self.assertNotIn(b"secret", reply)

    def test_the_handler_table_comes_from_the_command_line(self):
        table = os.path.join(self.base, "table.conf")
        with open(table, "w") as f:
            f.write("handler nc qvp_nc_handler\nsuffix attrs das\n")
        pool = self.start("--workers", 1, "--config", table)
        reply = pool.request("/sst.nc.attrs")
        self.assertTrue(body(reply).startswith(b"Attributes {\n"), reply[:80])
        self.assertIn(b" 400 ", pool.request("/sst.nc.das")[:20])

    def test_a_malformed_handler_table_stops_the_start(self):
        table = os.path.join(self.base, "bad.conf")
        with open(table, "w") as f:
            f.write("handler nc qvp_nc_handler\nsuffix attrs nothing\n")
        pool = self.start("--workers", 1, "--config", table)
        self.assertEqual(pool.proc.wait(10), 2)
        self.assertIn("bad.conf:2 is malformed", pool.log())


if __name__ == "__main__":
    unittest.main()
