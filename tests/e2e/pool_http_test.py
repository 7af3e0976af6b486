"""The pool behind lighttpd (mod_scgi) and nginx (scgi_pass): every response
is the CGI path's, byte for byte; concurrent clients get their own bodies; a
slow client does not hold a worker."""
import concurrent.futures, email.utils, os, pathlib, subprocess, time

from e2e_support import ENV, Pool, ServedTestCase, WebServer, curl_slowly, make_wide_file, plant_escape

# Debian's SCGI parameters, which a site includes (nginx-common installs it).
SCGI_PARAMS = "/etc/nginx/scgi_params"
# Headers that the web server itself writes or that change with time.
VOLATILE = {"date", "server", "transfer-encoding", "content-length", "connection"}
# Twelve responses, then errors: the handler's and the mapping's.
PATHS = """sst.nc.das sst.nc.dds sst.nc.ddx sst.nc.ver sst.nc.dds?sst.lat,time sst.nc.ddx?sst
sst.nc.vorn?sst%5B1%5D%5B0:2:2%5D%5B1:2%5D sst.nc.vorn?sst.lon station.nc.vorn?station_name,temp
names.nc.dds names.nc.vorn ramp.nc.vorn?ramp%5B2047%5D%5B2040:2047%5D ramp.nc.vorn
sst.nc.vorn?sst%5B sst.nc.vorn?sst%5B7%5D sst.nc.dds?nosuch missing.nc.das sst.nc.xyz
sst.txt.das escape.nc.das wide.nc.das wide.nc.vorn?ok wide.nc.vorn?grid""".split()
# Data responses of every kind whose size the types fix: a Grid, a map alone,
# a scalar, Int16 and Byte arrays, members of groups and compounds, the raw
# path of a classic file; then a String, whose size they do not fix.
SIZED = """sst.nc.vorn?sst sst.nc.vorn?sst.lon station.nc.vorn?elevation station.nc.vorn?flag
model.nc.vorn?sky model.nc.vorn?surface.temp%5B1:2%5D%5B0%5D model.nc.vorn?obs.pair
ramp.nc.vorn""".split()


def seen(server, path, headers=None):
    """The status, the lasting headers and the body of GET /qvp/`path`, with
    the port the client used (a DDX names it) made PORT."""
    status, got, body = server.get("/qvp/" + path, headers)
    kept = sorted((k.lower(), v) for k, v in got.items() if k.lower() not in VOLATILE)
    return status, kept, body.replace(b":%d/" % server.port, b":PORT/")


class PoolHttpTest(ServedTestCase):
    @classmethod
    def prepare(cls):
        plant_escape(cls.root, cls.base)
        make_wide_file(cls.root)
        cls.pool = Pool(os.path.join(cls.base, "pool"), cls.root, "--workers", 2)
        cls.addClassCleanup(cls.pool.stop)
        cls.fronts = [WebServer(kind, os.path.join(cls.base, kind), SOCKET=cls.pool.socket)
                      for kind in ("lighttpd", "nginx")]
        for front in cls.fronts:
            cls.addClassCleanup(front.stop)

    def test_every_response_is_the_cgi_paths(self):
        mtime = os.path.getmtime(os.path.join(self.root, "sst.nc"))
        conditions = [{}] + [{"If-Modified-Since": email.utils.formatdate(
            mtime + d, usegmt=True)} for d in (60, -60)]
        self.assertEqual(seen(self.server, "sst.nc.das", conditions[1])[0], 304)
        for path in PATHS:
            for headers in conditions:
                want = seen(self.server, path, headers)
                for front in self.fronts:
                    got = seen(front, path, headers)
                    self.assertEqual(got, want, (path, front.port, headers))
                    # a 304 has Date alone
                    self.assertTrue(got[0] == 304 or ("xqvp", "3.1") in got[1])

    def test_data_responses_state_their_length_and_are_seen_cut(self):
        for front in [self.server] + self.fronts:
            for path in SIZED:
                status, headers, body = front.get("/qvp/" + path)
                self.assertEqual((status, headers["Content-Length"], headers["Transfer-Encoding"]),
                                 (200, str(len(body)), None), (front.port, path))
            status, headers, body = front.get("/qvp/station.nc.vorn?station_name")
            self.assertEqual(status, 200)
            self.assertIn(b"Lindenberg", body)
        # A worker held by a slow client of 64 MiB (the web servers told not
        # to take more of the reply than their buffers hold) is ended by its
        # 1 s limit; the client sees a transfer cut short, not a whole one.
        subprocess.run([ENV["QVP_NC_RAMP"], self.root + "/big.nc", "4096", "4096"], check=True)
        state = os.path.join(self.base, "cut")
        pool = Pool(state, self.root, "--workers", 1, "--timeout", 1)
        self.addCleanup(pool.stop)
        unbuffered = {"lighttpd": lambda c: c.replace("stream-response-body = 1",
                                                      "stream-response-body = 2"),
                      "nginx": lambda c: c.replace("scgi_buffering on;", "scgi_buffering on;"
                                                   " scgi_max_temp_file_size 0;")}
        for kind, edit in unbuffered.items():
            front = WebServer(kind, os.path.join(state, kind), edit, SOCKET=pool.socket)
            self.addCleanup(front.stop)
            got = curl_slowly(front, "big.nc.vorn")
            self.assertEqual(got.returncode, 18, (kind, got.stderr))
            self.assertIn(b"Content-Length: ", got.stdout)

    def test_a_control_byte_in_the_query_is_refused_by_every_front(self):
        # lighttpd refuses it before the dispatcher or the pool sees it;
        # through nginx the mapping refuses it alike.
        for query in ("sst%0A", "sst%0d", "sst%09", "sst%7F"):
            for front in [self.server] + self.fronts:
                status, _, _ = front.get("/qvp/sst.nc.dds?" + query)
                self.assertEqual(status, 400, (query, front.port))

    def test_nginx_with_debians_scgi_params_and_a_host_override(self):
        # Debian's scgi_params passes HTTP_HOST as $host, without the port;
        # the override after it is the one the pool must take.
        def edit(conf):
            start = conf.index("      scgi_pass_request_headers off;")
            end = conf.index("      scgi_param SCGI 1;")
            return conf[:start] + (
                "      include %s;\n"
                "      scgi_param PATH_INFO $qvp_path;\n"
                "      scgi_param SCRIPT_NAME /qvp;\n"
                "      scgi_param HTTP_HOST $http_host;\n" % SCGI_PARAMS) + conf[end:]
        front = WebServer("nginx", os.path.join(self.base, "nginx-debian"), edit,
                          SOCKET=self.pool.socket)
        self.addCleanup(front.stop)
        self.assertRegex(pathlib.Path(SCGI_PARAMS).read_text(), r"scgi_param\s+HTTP_HOST\s+\$host;")
        status, _, body = front.get("/qvp/sst.nc.ddx")
        self.assertEqual(status, 200)
        self.assertIn(b'href="http://127.0.0.1:%d/qvp/sst.nc.blob' % front.port, body)

    def test_concurrent_clients_get_their_own_bodies(self):
        paths = PATHS[:12]
        want = {p: seen(self.server, p) for p in paths}

        def client(n):  # the twelve through one front, each from its own start
            order = paths[n % 12:] + paths[:n % 12]
            return [(n, p) for p in order if seen(self.fronts[n % 2], p) != want[p]]
        with concurrent.futures.ThreadPoolExecutor(16) as clients:
            self.assertEqual(sum(clients.map(client, range(16)), []), [])

    def test_a_slow_client_does_not_hold_a_worker(self):
        # One worker: while a client sits on a 16 MiB reply without reading
        # it, the web server must have taken the reply off the worker, or the
        # next request waits (and times out).
        state = os.path.join(self.base, "slow")
        pool = Pool(state, self.root, "--workers", 1)
        self.addCleanup(lambda: self.assertEqual(pool.stop(), 0))
        for kind in ("lighttpd", "nginx"):
            front = WebServer(kind, os.path.join(state, kind), SOCKET=pool.socket)
            self.addCleanup(front.stop)
            with front.connect(b"GET /qvp/ramp.nc.vorn HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"):
                time.sleep(1)
                status, _, body = front.get("/qvp/sst.nc.das")
                self.assertEqual((status, body[:12]), (200, b"Attributes {"), kind)
