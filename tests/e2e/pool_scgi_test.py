"""The pool over raw SCGI: hostile input, a worker killed, crashed or timed
out mid-request, clients that go away, no state carried between requests,
recycling, restart, the drain, its addresses and its command line."""
import contextlib, os, re, signal, socket, subprocess, time

from e2e_support import (ENV, OK, Pool, ServedTestCase, connect, free_port, make_crashing_file,
                         netstring, read_all, scgi_bytes, start_activated, stop,
                         under_address_sanitizer, wait_until, write)

RAMP_BYTES = 2048 * 2048 * 4
BAD_FRAMING = (  # the connection is closed without a reply
    b"abc:", b"-1:", b"1234567:", b"99999:" + b"x" * 100,
    b"10:CONTENT_LENGTH\x000\x00x", b"5:12345;", b"", b"2:")
BAD, TOO_LARGE = b"HTTP/1.0 400 Bad Request\r\n", b"HTTP/1.0 413 Request Entity Too Large\r\n"
BAD_HEADERS = [(netstring(pairs), status) for pairs, status in (  # a reply can still be written
    ([(b"SCGI", b"1"), (b"CONTENT_LENGTH", b"0")], BAD),
    ([(b"CONTENT_LENGTH", b"x"), (b"SCGI", b"1")], BAD), ([(b"CONTENT_LENGTH", b"0")], BAD),
    ([(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"2")], BAD),
    ([(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"), (b"CONTENT_LENGTH", b"0")], BAD),
    ([(b"CONTENT_LENGTH", b"99999999999"), (b"SCGI", b"1")], TOO_LARGE),
    ([(b"CONTENT_LENGTH", b"1048577"), (b"SCGI", b"1")], TOO_LARGE))] + [
    (b"21:CONTENT_LENGTH\x000\x00SCGI,", BAD)]  # a name without its value


def body(reply):
    return reply.split(b"\r\n\r\n", 1)[1]


class PoolTest(ServedTestCase):
    """The samples in a data root; each test starts the pools it needs."""
    @classmethod
    def prepare(cls):
        make_crashing_file(os.path.join(cls.root, "crash.nc"), cls.base)
        with open(os.path.join(cls.root, "model.nc"), "rb") as f:  # HDF5 fails on it
            write(os.path.join(cls.root, "truncated.nc"), f.read(2000))

    @classmethod
    def start_server(cls):
        return None

    def start(self, *args, **kwargs):
        pool = Pool(os.path.join(self.base, self.id().rsplit(".", 1)[1]),
                    self.root, *args, **kwargs)
        self.addCleanup(pool.stop)
        return pool

    def stalled_ramp(self, pool):
        """A data request whose reply the client does not read, so the
        worker blocks writing it."""
        s = pool.connect(scgi_bytes("/ramp.nc.vorn"), 4096)
        time.sleep(0.5)
        return s

    def assert_serves(self, pool):
        reply = pool.request("/sst.nc.das")
        self.assertEqual((reply[:17], body(reply)[:13]), (OK, b"Attributes {\n"), reply[:80])

    def test_hostile_input_is_dropped_and_the_pool_goes_on(self):
        pool = self.start("--workers", 1, "--read-timeout", 1)
        # Bad framing (write side closed), then senders that stall.
        for data, stall in [(d, False) for d in BAD_FRAMING] + [
                (b"", True), (b"30:CONTENT_LENGTH\x00", True)]:
            start = time.time()
            with pool.connect(data) as s:
                if not stall:
                    s.shutdown(socket.SHUT_WR)
                # closed with our bytes unread: the peer may reset
                with contextlib.suppress(ConnectionResetError):
                    self.assertEqual(read_all(s), b"", data)
            self.assertLess(time.time() - start, 3, data)
        for data, status in BAD_HEADERS:
            with pool.connect(data) as s:
                self.assertEqual(read_all(s)[:len(status)], status, data)
        # A request body and configuration variables in the request are
        # ignored: configuration never comes from the request.
        pairs = [(b"CONTENT_LENGTH", b"5"), (b"SCGI", b"1"), (b"PATH_INFO", b"/sst.nc.das"),
                 (b"HTTP_HOST", b"h"), (b"QVP_DATA_ROOT", b"/"), (b"QVP_TIMEOUT", b"1")]
        with pool.connect(netstring(pairs) + b"hello") as s:
            self.assertTrue(read_all(s).startswith(OK))
        reply = pool.request("/etc/passwd.nc.das", extra=[("QVP_DATA_ROOT", "/")])
        self.assertIn(b" 404 ", reply[:20])
        self.assert_serves(pool)
        self.assertIn("dropped a request", pool.log())

    def test_a_flood_of_dropped_requests_is_logged_at_a_bounded_rate(self):
        pool = self.start("--workers", 1)
        sent = 60
        for _ in range(sent):
            with pool.connect(b"abc:") as s:
                s.shutdown(socket.SHUT_WR)
                with contextlib.suppress(ConnectionResetError):
                    read_all(s)
        self.assert_serves(pool)  # the worker goes on, and is not waiting

        def accounted():  # every drop is logged or counted, once
            log = pool.log()
            held = sum(int(n) for n in re.findall(r"(\d+) more dropped requests were not", log))
            return log.count("dropped a request: ") + held == sent and log
        log = wait_until(accounted, 10, "the count of the drops not logged")
        self.assertLess(log.count("dropped a request: "), sent)

    def test_a_request_with_only_the_servers_address(self):
        # No Host header and no server name: the address and port stand in,
        # as on the CGI path (the dispatcher's test has the same case).
        pool = self.start("--workers", 1)
        pairs = [(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"), (b"PATH_INFO", b"/sst.nc.ddx"),
                 (b"SCRIPT_NAME", b"/qvp"), (b"REQUEST_SCHEME", b"http"),
                 (b"SERVER_ADDR", b"10.1.2.3"), (b"SERVER_PORT", b"8081")]
        with pool.connect(netstring(pairs)) as s:
            reply = read_all(s)
        self.assertTrue(reply.startswith(OK), reply[:200])
        self.assertIn(b'href="http://10.1.2.3:8081/qvp/sst.nc.blob', reply)

    def test_a_worker_that_meets_an_hdf5_failure_answers_then_retires(self):
        pool = self.start("--workers", 1)
        (before,) = wait_until(pool.workers, 5, "a worker")
        reply = pool.request("/truncated.nc.das")
        self.assertTrue(reply.startswith(b"HTTP/1.0 500 "), reply[:80])
        self.assertIn(b"NetCDF: HDF error", body(reply))
        self.assert_serves(pool)
        self.assertNotEqual(pool.workers(), [before])
        self.assertIn("worker %d: retires after request 1: a request met" % before, pool.log())
        self.assertIn("worker %d recycled" % before, pool.log())

    def test_workers_past_max_rss_are_replaced_and_the_pool_keeps_answering(self):
        # 1 MiB: every worker is over it at the master's next reading, so
        # each is replaced (after its request) about once a second.
        pool = self.start("--workers", 1, "--max-rss", 1)
        self.assertIn("each replaced past 1 MiB resident", pool.log())
        replies, deadline = [], time.monotonic() + 30
        while time.monotonic() < deadline:  # requests kept in memory are fast
            replies.append(pool.request("/model.nc.das")[:17])
            if pool.log().count("over --max-rss 1 MiB") >= 2:
                break
        self.assertGreaterEqual(len(re.findall(
            r"worker \d+ is replaced: \d+ MiB resident, over --max-rss 1 MiB", pool.log())), 2)
        self.assertEqual(set(replies), {OK})
        self.assertNotIn("was killed", pool.log())

    def test_a_worker_killed_crashed_or_left_mid_reply_is_replaced(self):
        pool = self.start("--workers", 1)
        s = self.stalled_ramp(pool)
        (victim,) = pool.workers()
        os.kill(victim, signal.SIGKILL)
        s.close()
        self.assert_serves(pool)
        self.assert_serves(pool)
        self.assertNotEqual(pool.workers(), [victim])
        self.assertIn("worker %d was killed by signal 9" % victim, pool.log())
        for _ in range(3):  # clients that go away mid-reply
            with self.stalled_ramp(pool) as s:
                s.recv(1000)
        self.assert_serves(pool)
        self.assertEqual(len(pool.workers()), 1)
        # AddressSanitizer's memcpy check ends the library before its crash.
        if not under_address_sanitizer():
            (before,) = pool.workers()
            reply = pool.request("/crash.nc.das")
            self.assertTrue(reply.startswith(b"HTTP/1.0 500 "), reply[:80])
            self.assertIn(b"Content-Type: text/plain; charset=utf-8\r\n", reply)
            self.assertIn(b"code = 1009;", body(reply))
            self.assert_serves(pool)
            self.assertNotEqual(pool.workers(), [before])

    def test_no_state_is_carried_and_the_time_limit_ends_a_reply(self):
        # One worker serves every request, so whatever one request left in
        # the process would show in the next.
        pool = self.start("--workers", 1, "--timeout", 1)
        full = pool.request("/sst.nc.dds")
        since = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(
            os.path.getmtime(os.path.join(self.root, "sst.nc")) + 60))
        for path, query, extra, expect in (
                ("/sst.nc.dds", "sst.lat", (), b"Float32 lat[lat = 3];\n    } sst;"),
                ("/sst.nc.dds", "", (), None),  # the constraint is gone
                ("/sst.nc.das", "", [("HTTP_IF_MODIFIED_SINCE", since)], b"HTTP/1.0 304"),
                ("/sst.nc.dds", "", (), None),  # the condition is gone
                ("/sst.nc.vorn", "sst%5B", (), b"HTTP/1.0 400"),
                ("/sst.nc.dds", "", (), None)):
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
        with self.stalled_ramp(pool) as s:
            time.sleep(1.5)
            got = read_all(s)
        self.assertTrue(got.startswith(OK))
        self.assertLess(len(got), RAMP_BYTES)
        self.assert_serves(pool)
        self.assertIn("exited with status 1", pool.log())

    def test_workers_are_recycled_after_max_requests(self):
        pool = self.start("--workers", 1, "--max-requests", 2)
        seen = set()
        for _ in range(5):
            self.assert_serves(pool)
            seen.update(wait_until(lambda: len(pool.workers()) == 1 and pool.workers(),
                                   5, "a worker"))
        self.assertGreaterEqual(len(seen), 3)
        self.assertIn("recycled", pool.log())

    def test_sighup_replaces_the_workers_and_sigterm_drains_then_exits_0(self):
        pool = self.start("--workers", 2)
        before = set(wait_until(lambda: len(pool.workers()) == 2 and pool.workers(),
                                5, "the workers"))
        os.kill(pool.proc.pid, signal.SIGHUP)
        wait_until(lambda: len(pool.workers()) == 2 and
                   not before & set(pool.workers()), 5, "new workers")
        self.assert_serves(pool)
        with self.stalled_ramp(pool) as s:
            pool.proc.terminate()
            time.sleep(0.3)
            self.assertIsNone(pool.proc.poll())  # the request is still going
            got = read_all(s)
        self.assertEqual(pool.stop(), 0)
        self.assertGreater(len(got), RAMP_BYTES)
        self.assertFalse(os.path.exists(pool.socket))

    def test_a_tcp_address_and_a_bounded_drain(self):
        pool = self.start("--workers", 1, "--drain-timeout", 1, port=free_port())
        self.assert_serves(pool)
        with self.stalled_ramp(pool):
            start = time.time()
            self.assertEqual(pool.stop(), 0)
            self.assertLess(time.time() - start, 5)
        self.assertIn("did not finish in time", pool.log())

    def test_a_socket_passed_by_systemd(self):
        path = os.path.join(self.base, "activated.sock")
        proc = start_activated([ENV["QVP_HANDLER"], "--serve", "systemd", "--root", self.root,
                                "--workers", "1"], path, stderr=subprocess.DEVNULL)
        try:
            with connect(socket.AF_UNIX, path, scgi_bytes("/sst.nc.das"), 1 << 20) as s:
                self.assertTrue(read_all(s).startswith(OK))
        finally:
            self.assertEqual(stop(proc), 0)
        self.assertTrue(os.path.exists(path))  # systemd's socket stays

    def test_bad_command_lines_exit_2_and_a_socket_in_use_is_kept(self):
        pool = self.start("--workers", 1)
        bad = write(os.path.join(self.base, "bad.conf"),
                    "handler nc qvp_nc_handler\nsuffix attrs nothing\n")
        sock, root = "unix:" + os.path.join(self.base, "x.sock"), self.root
        for args, says in [(a, b"") for a in (
                ["--serve", sock], ["--serve", sock, "--root", "/nonesuch"],
                ["--serve", sock, "--root", root, "--workers", "0"],
                ["--serve", sock, "--root", root, "--bogus", "1"],
                ["--serve", "nohostport", "--root", root], ["--serve", "systemd", "--root", root])] + [
                (["--serve", sock, "--root", root, "--config", bad], b"bad.conf:2 is malformed"),
                (["--serve", "unix:" + pool.socket, "--root", root], b"in use")]:
            r = subprocess.run([ENV["QVP_HANDLER"]] + args, stderr=subprocess.PIPE, timeout=10)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(says, r.stderr, args)
            self.assertTrue(r.stderr, args)
        self.assert_serves(pool)

    def test_the_handler_table_comes_from_the_command_line(self):
        # And an ancillary link out of the root is not followed.
        os.symlink(write(self.base + "/secret.das", 'Attributes { sst { String secret "outside"; } }\n'),
                   link := self.root + "/sst.das")
        self.addCleanup(os.remove, link)
        table = write(os.path.join(self.base, "table.conf"),
                      "handler nc qvp_nc_handler\nsuffix attrs das\n")
        pool = self.start("--workers", 1, "--config", table)
        reply = pool.request("/sst.nc.attrs")
        self.assertTrue(body(reply).startswith(b"Attributes {\n"), reply[:80])
        self.assertNotIn(b"secret", reply)
        self.assertIn(b" 400 ", pool.request("/sst.nc.das")[:20])
