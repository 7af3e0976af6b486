"""The pool's /metrics: counts after known traffic, the text format checked
by a parser of its own, the histograms' consistency, every restart cause,
scrapes during SIGHUP, and a metrics port in use."""
import contextlib, http.client, math, os, re, signal, socket

from e2e_support import OK, Pool, ServedTestCase, free_port, scgi_bytes, wait_until, write

NAME = r"[a-zA-Z_:][a-zA-Z0-9_:]*"
LABEL = r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"'
SAMPLE = re.compile(r"(%s)(?:\{((?:%s)(?:,%s)*)?\})? (?P<value>\S+)$" % (NAME, LABEL, LABEL))
TYPES = {"counter", "gauge", "histogram", "summary", "untyped"}
SUFFIXES = {"histogram": ("_bucket", "_sum", "_count"), "summary": ("_sum", "_count", "")}


def unescape(value):
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), value)


def parse_exposition(text):
    """{(name, ((label, value), ...)): value} of the exposition `text`,
    which must keep to the text format: HELP and TYPE at most once a family
    and before its samples, valid names, escaped label values, no series
    twice, a number for each value."""
    assert text.endswith("\n"), "the text ends with a newline"
    samples, typed, helped, seen_families = {}, {}, set(), set()
    for line in text[:-1].split("\n"):
        if line.startswith("# HELP ") or line.startswith("# TYPE "):
            name = line.split(" ")[2]
            assert re.fullmatch(NAME, name), line
            assert name not in seen_families, "%s after its samples" % line
            if line.startswith("# TYPE "):
                assert name not in typed and line.split(" ")[3] in TYPES, line
                typed[name] = line.split(" ")[3]
            else:
                assert name not in helped, line
                helped.add(name)
            continue
        if line.startswith("#") or not line:
            continue
        m = SAMPLE.match(line)
        assert m, "malformed sample: %r" % line
        name = m.group(1)
        labels = tuple(sorted((k, unescape(v)) for k, v in re.findall(LABEL, m.group(2) or "")))
        assert len({k for k, _ in labels}) == len(labels), line
        family = next((name[:-len(s)] for t, ss in SUFFIXES.items() for s in ss
                       if s and name.endswith(s) and typed.get(name[:-len(s)]) == t), name)
        seen_families.add(family)
        assert (name, labels) not in samples, "series twice: " + line
        samples[name, labels] = float(m.group("value"))
    return samples, typed


class Metrics:
    """The samples of a scrape of http://127.0.0.1:`port`/metrics."""

    def __init__(self, port):
        with contextlib.closing(http.client.HTTPConnection("127.0.0.1", port, timeout=10)) as c:
            c.request("GET", "/metrics")
            r = c.getresponse()
            assert r.status == 200, r.status
            assert r.getheader("Content-Type") == "text/plain; version=0.0.4; charset=utf-8"
            self.samples, self.types = parse_exposition(r.read().decode())

    def get(self, name, **labels):
        return self.samples.get((name, tuple(sorted(labels.items()))), 0)

    def series(self, name):
        return {dict(labels).get("response", dict(labels).get("cause")): v
                for (n, labels), v in self.samples.items() if n == name}

    def histograms(self):
        """{response: ([(le, cumulative count)], sum, count)}."""
        out = {}
        for (n, labels), v in self.samples.items():
            if not n.startswith("qvp_request_duration_seconds"):
                continue
            lab = dict(labels)
            h = out.setdefault(lab["response"], [[], 0, 0])
            if n.endswith("_bucket"):
                h[0].append((float(lab["le"]), v))
            elif n.endswith("_sum"):
                h[1] = v
            elif n.endswith("_count"):
                h[2] = v
        return {k: (sorted(b), s, c) for k, (b, s, c) in out.items()}


class PoolMetricsTest(ServedTestCase):
    @classmethod
    def prepare(cls):
        with open(os.path.join(cls.root, "model.nc"), "rb") as f:  # HDF5 fails on it
            write(os.path.join(cls.root, "truncated.nc"), f.read(2000))

    @classmethod
    def start_server(cls):
        return None

    def start(self, *args):
        port = free_port()
        pool = Pool(os.path.join(self.base, self.id().rsplit(".", 1)[1]), self.root,
                    "--metrics", "127.0.0.1:%d" % port, *args)
        self.addCleanup(pool.stop)
        self.assertIn("metrics at http://127.0.0.1:%d/metrics" % port, pool.log())
        return pool, port

    def test_counts_after_known_traffic(self):
        # Recycled every 3 requests: the counts of a replaced worker stay.
        pool, port = self.start("--workers", 2, "--max-requests", 3)
        traffic = [("/sst.nc.das", "")] * 5 + [("/sst.nc.dds", "")] * 3 + [
            ("/missing.nc.das", ""), ("/sst.nc.vorn", "sst.lon"), ("/sst.nc", "")]
        sent = {}
        for path, query in traffic:
            reply = pool.request(path, query)
            status = reply.split(b" ", 2)[1].decode()
            kind = {"das": "das", "dds": "dds", "vorn": "DataDDS"}[path.rsplit(".", 1)[1]] if \
                status == "200" else {"404": "error", "301": "redirect"}[status]
            key = (kind, status)
            sent[key] = (sent.get(key, (0, 0))[0] + 1, sent.get(key, (0, 0))[1] + len(reply))
        self.assertEqual(sent[("das", "200")][0], 5)
        m = Metrics(port)
        self.assertEqual({k: v[0] for k, v in sent.items()},
                         {(dict(l)["response"], dict(l)["status"]): v for (n, l), v in
                          m.samples.items() if n == "qvp_requests_total"})
        bytes_by_kind = {}
        for (kind, _), (_, n) in sent.items():
            bytes_by_kind[kind] = bytes_by_kind.get(kind, 0) + n
        self.assertEqual(m.series("qvp_response_bytes_total"), bytes_by_kind)
        for kind, (buckets, total, count) in m.histograms().items():
            self.assertEqual(buckets[-1], (math.inf, count), kind)
            counts = [c for _, c in buckets]
            self.assertEqual(counts, sorted(counts), kind)
            self.assertEqual(count, sum(n for (k, _), (n, _) in sent.items() if k == kind), kind)
            self.assertGreater(total, 0, kind)
        self.assertEqual(m.types["qvp_request_duration_seconds"], "histogram")
        # However the 11 requests fell to the two workers, 3 recycles.
        wait_until(lambda: Metrics(port).get("qvp_worker_restarts_total", cause="recycled") == 3,
                   10, "3 recycled workers")
        wait_until(lambda: Metrics(port).get("qvp_workers") == 2, 10, "2 workers")
        self.assertEqual(m.get("qvp_cache_hits_total", cache="aggregation_index"), 0)
        self.assertEqual(m.get("qvp_cache_misses_total", cache="aggregation_index"), 0)

    def test_every_restart_cause_is_counted(self):
        pool, port = self.start("--workers", 1, "--timeout", 1)
        restarts = lambda: Metrics(port).series("qvp_worker_restarts_total")
        self.assertEqual(restarts(), dict.fromkeys(
            ("crash", "time_limit", "memory", "recycled", "reload"), 0))
        (victim,) = wait_until(pool.workers, 5, "a worker")
        os.kill(victim, signal.SIGKILL)
        wait_until(lambda: restarts()["crash"] == 1, 10, "a crash restart")
        # A worker that meets an HDF5 failure retires after its reply.
        self.assertTrue(pool.request("/truncated.nc.das").startswith(b"HTTP/1.0 500 "))
        wait_until(lambda: restarts()["memory"] == 1, 10, "a memory restart")
        # A data response the client does not read runs past its time limit.
        with pool.connect(scgi_bytes("/ramp.nc.vorn"), 4096) as s:
            wait_until(lambda: restarts()["time_limit"] == 1, 10, "a time limit restart")
        self.assertEqual(restarts(), {"crash": 1, "time_limit": 1, "memory": 1,
                                      "recycled": 0, "reload": 0})

    def test_scrapes_during_sighup_answer_and_never_go_down(self):
        pool, port = self.start("--workers", 2)
        before = None
        for round in range(5):
            pool.request("/sst.nc.das")
            pool.proc.send_signal(signal.SIGHUP)
            for _ in range(3):
                m = Metrics(port)
                now = (m.get("qvp_requests_total", response="das", status="200"),
                       m.get("qvp_worker_restarts_total", cause="reload"))
                if before:
                    self.assertGreaterEqual(now, before)
                before = now
            pool.request("/sst.nc.das")
        m = Metrics(port)
        self.assertEqual(m.get("qvp_requests_total", response="das", status="200"), 10)
        self.assertEqual(m.get("qvp_worker_restarts_total", cause="reload"), 10)
        self.assertEqual(m.get("qvp_workers"), 2)
        self.assertTrue(pool.request("/sst.nc.das").startswith(OK))

    def test_a_metrics_port_in_use_stops_the_pool_before_it_forks(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            state = os.path.join(self.base, "in-use")
            pool = Pool(state, self.root, "--metrics", "127.0.0.1:%d" % taken.getsockname()[1])
            self.assertEqual(pool.proc.wait(10), 2)
            self.assertRegex(pool.log(), r"cannot serve the metrics: 127\.0\.0\.1:\d+: "
                                         r"Address already in use")
            self.assertNotIn("serving", pool.log())
            self.assertFalse(os.path.exists(pool.socket))
