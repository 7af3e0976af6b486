"""Scaling out: two pools on TCP behind one nginx upstream, as
docs/deploying.md describes; one pool is killed (its master and workers at
once) while clients keep asking, and every request is answered in full."""
import concurrent.futures, os, signal, threading, urllib.request

from e2e_support import Pool, ServedTestCase, WebServer, free_port, wait_until

# Small responses of each kind, and data.
PATHS = ["sst.nc.das", "sst.nc.dds", "sst.nc.vorn?sst%5B0%5D%5B1:2%5D%5B0:3%5D", "station.nc.das",
         "sst.nc.vorn?sst.lon", "names.nc.dds"]
CLIENTS, BEFORE, AFTER = 4, 60, 120  # requests a client makes before and after the kill


def upstream(ports):
    """The nginx configuration's edit: scgi_pass to an upstream of the pools
    on `ports`, with retries on the next one and passive health checks."""
    def edit(conf):
        servers = "".join("    server 127.0.0.1:%d max_fails=1 fail_timeout=30s;\n" % p
                          for p in ports)
        conf = conf.replace("  server {\n", "  upstream qvp_pools {\n%s  }\n\n  server {\n" % servers, 1)
        return conf.replace("      scgi_pass unix:none;\n",
                            "      scgi_pass qvp_pools;\n"
                            "      scgi_next_upstream error timeout;\n"
                            "      scgi_connect_timeout 2s;\n")
    return edit


def requests(port):
    """The requests a pool counted, from its /metrics on `port`."""
    with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=10) as r:
        return sum(float(line.rsplit(" ", 1)[1]) for line in r.read().decode().splitlines()
                   if line.startswith("qvp_requests_total{"))


class PoolScaleTest(ServedTestCase):
    @classmethod
    def start_server(cls):
        return None

    def test_two_pools_behind_one_upstream_and_one_killed(self):
        ports, metrics = [free_port(), free_port()], [free_port(), free_port()]
        pools = [Pool(os.path.join(self.base, "pool%d" % i), self.root, "--workers", 2,
                      "--metrics", "127.0.0.1:%d" % metrics[i], port=ports[i], group=True)
                 for i in range(2)]
        for p in pools:
            self.addCleanup(p.stop)
        front = WebServer("nginx", os.path.join(self.base, "nginx"), upstream(ports),
                          SOCKET="none")
        self.addCleanup(front.stop)
        want = {}
        for path in PATHS:
            status, _, body = front.get("/qvp/" + path)
            self.assertEqual(status, 200, path)
            want[path] = body
        done, killed, lock = [0], threading.Event(), threading.Lock()

        def client(n):
            """Asks until it has made BEFORE + AFTER requests, AFTER of
            them after the kill; returns the wrong replies."""
            wrong, after, i = [], 0, 0
            while after < AFTER:
                path = PATHS[(n + i) % len(PATHS)]
                was_killed = killed.is_set()
                status, _, body = front.get("/qvp/" + path)
                if (status, body) != (200, want[path]):
                    wrong.append((n, i, path, status, body[:80]))
                with lock:
                    done[0] += 1
                i, after = i + 1, after + was_killed
            return wrong
        with concurrent.futures.ThreadPoolExecutor(CLIENTS) as run:
            results = [run.submit(client, n) for n in range(CLIENTS)]
            wait_until(lambda: done[0] >= CLIENTS * BEFORE, 60, "requests before the kill")
            served_before = requests(metrics[0])
            # Mid-run, with requests in flight: the first pool's master and
            # workers die at once.
            os.killpg(pools[0].proc.pid, signal.SIGKILL)
            killed.set()
            wrong = sum((r.result() for r in results), [])
        self.assertEqual(wrong, [])
        self.assertEqual(pools[0].proc.wait(10), -signal.SIGKILL)
        self.assertEqual(pools[0].workers(), [])
        # Both pools served: the upstream spread the requests over them.
        self.assertGreater(served_before, 0)
        self.assertGreaterEqual(requests(metrics[1]), CLIENTS * AFTER)
