"""The caches of a pool worker (open files, metadata bodies and pages):
whatever changes on disk is answered from disk at once. One worker serves
every request, so each meets what the earlier ones left; its replies are
compared with the CGI path's (the dispatcher and a handler process for each
request, which keep nothing), the Date line aside."""
import os, re, shutil, subprocess, time

from e2e_support import (ENV, OK, Pool, ServedTestCase, free_port, read_all, scgi_bytes,
                         under_address_sanitizer, write)
from pool_metrics_test import Metrics

TITLE, OTHER_TITLE = b"Monthly sea surface temperature", b"Weekly. sea surface temperature"
ANCILLARY_DAS = 'Attributes {\n    sst {\n        String comment "from beside";\n    }\n}\n'
ANCILLARY_DDS = "Dataset {\n    Float32 lat[lat = 3];\n} sst;\n"
DOCUMENT = "<p>%s, kept by the sea desk.</p>\n" % TITLE.decode()


def without_date(reply):
    return re.sub(rb"\r\nDate: [^\r]*", b"", reply)


def patched(path):
    """The file's bytes with its title changed, same size."""
    with open(path, "rb") as f:
        data = f.read()
    assert TITLE in data
    return data.replace(TITLE, OTHER_TITLE)


def change_in_place(path):  # same inode and size, a later mtime
    data = patched(path)
    with open(path, "r+b") as f:
        f.write(data)


def replace_keeping_size_and_time(path):  # only the inode differs
    st = os.stat(path)
    write(path + ".new", patched(path))
    os.utime(path + ".new", ns=(st.st_atime_ns, st.st_mtime_ns))
    os.rename(path + ".new", path)


def touch(path):  # only the time differs
    later = os.stat(path).st_mtime_ns + 5 * 10**9
    os.utime(path, ns=(later, later))


def add_beside(ext, text):
    return lambda path: write(path[:-3] + "." + ext, text)


def document(change):
    """`change` applied to the data set's own document, <data set>.html."""
    return lambda path: change(path + ".html")


add_document = document(lambda doc: write(doc, DOCUMENT))


def add_group_document(path):  # caseN.nc belongs to the group "case"
    write(re.sub(r"\d+\.nc$", ".html", path), DOCUMENT)


def add_server_document(path):  # beside the handler that both paths run
    write(os.path.join(os.path.dirname(os.path.dirname(path)), "bin", "qvp_nc_handler.html"),
          DOCUMENT)


# What is done to a case's data set after its first requests, and what is
# prepared before them. The last two reach every later data set too.
CHANGES = (("changed in place", None, change_in_place),
           ("replaced by a file of the same size and time", None, replace_keeping_size_and_time),
           ("touched", None, touch), ("removed", None, os.remove),
           ("an ancillary DAS added beside it", None, add_beside("das", ANCILLARY_DAS)),
           ("an ancillary DDS added beside it", None, add_beside("dds", ANCILLARY_DDS)),
           ("its document added", None, add_document),
           ("its document changed in place", add_document, document(change_in_place)),
           ("its document replaced by one of the same size and time", add_document,
            document(replace_keeping_size_and_time)),
           ("its document removed", add_document, document(os.remove)),
           ("its group's document added", None, add_group_document),
           ("the server's document added", None, add_server_document))


class PoolCacheTest(ServedTestCase):
    @classmethod
    def prepare(cls):
        # A DDX of 1.5 MB, served under many names.
        cdl = os.path.join(cls.base, "big.cdl")
        write(cdl, 'netcdf big {\ndimensions: x = 1;\nvariables: int v(x); v:big = "%s";\n'
              'data: v = 1;\n}\n' % ("a" * 1500000))
        subprocess.run(["ncgen", "-k", "classic", "-o", os.path.join(cls.root, "big0.nc"), cdl],
                       check=True)
        for i in range(1, 16):
            shutil.copy(os.path.join(cls.root, "big0.nc"), os.path.join(cls.root, "big%d.nc" % i))
        # The handler in a directory of the test's, where the server's
        # document (qvp_nc_handler.html beside it) may be written.
        cls.handler_dir = os.path.join(cls.base, "bin")
        os.makedirs(cls.handler_dir)
        cls.program = shutil.copy(ENV["QVP_HANDLER"], cls.handler_dir)

    @classmethod
    def start_server(cls):
        return None

    def setUp(self):
        state = os.path.join(self.base, self.id().rsplit(".", 1)[1])
        self.port = free_port()
        self.pool = Pool(state, self.root, "--workers", 1,
                         "--metrics", "127.0.0.1:%d" % self.port, program=self.program)
        self.addCleanup(self.pool.stop)

    def counts(self, cache):
        m = Metrics(self.port)
        return (m.get("qvp_cache_hits_total", cache=cache),
                m.get("qvp_cache_misses_total", cache=cache))

    def cgi(self, path, query="", extra=()):
        """The CGI path's reply: the dispatcher run with what the pool is sent."""
        env = {k: v for k, v in ENV.items() if k in ("PATH", "TZ") or k.endswith("SAN_OPTIONS")}
        env.update(QVP_DATA_ROOT=self.root, QVP_HANDLER_DIR=self.handler_dir,
                   REQUEST_METHOD="GET", SCRIPT_NAME="/qvp", PATH_INFO=path, QUERY_STRING=query,
                   HTTP_HOST="127.0.0.1:1", REQUEST_SCHEME="http")
        env.update(extra)
        return subprocess.run([ENV["QVP_DISPATCH"]], env=env, stdout=subprocess.PIPE,
                              check=True).stdout

    def assert_from_disk(self, path, query="", extra=(), what=""):
        got = without_date(self.pool.request(path, query, extra))
        self.assertEqual(got, without_date(self.cgi(path, query, extra)),
                         (what, path, query, extra))
        return got

    def requests(self, name, since):
        """The requests each case checks: the metadata responses, a
        constrained DDS, a data response, the page, and the DAS and the page
        under a condition."""
        condition = [("HTTP_IF_MODIFIED_SINCE", since)]
        return (("/%s.nc.das" % name, "", ()), ("/%s.nc.dds" % name, "", ()),
                ("/%s.nc.ddx" % name, "", ()), ("/%s.nc.dds" % name, "sst.lat", ()),
                ("/%s.nc.vorn" % name, "sst", ()), ("/%s.nc.html" % name, "", ()),
                ("/%s.nc.das" % name, "", condition), ("/%s.nc.html" % name, "", condition))

    def test_a_change_on_disk_is_answered_from_disk_at_once(self):
        for i, (what, prepare, change) in enumerate(CHANGES):
            name = "case%d" % i
            path = os.path.join(self.root, name + ".nc")
            shutil.copy(os.path.join(self.root, "sst.nc"), path)
            if prepare:
                prepare(path)
            since = time.strftime("%a, %d %b %Y %H:%M:%S GMT",
                                  time.gmtime(os.path.getmtime(path) + 1))
            requests = self.requests(name, since)
            for r in requests:
                self.assert_from_disk(*r, what="first: " + what)
            bodies, files = self.counts("response_bodies"), self.counts("open_files")
            for r in requests:
                self.assert_from_disk(*r, what="again: " + what)
            # Every body of the repeat, pages and 304s included, was kept.
            kept = sum(not p.endswith(".vorn") for p, _, _ in requests)
            self.assertEqual(self.counts("response_bodies"), (bodies[0] + kept, bodies[1]), what)
            self.assertGreater(self.counts("open_files")[0], files[0], what)
            change(path)
            for r in requests:
                self.assert_from_disk(*r, what=what)
        self.assertEqual(len(self.pool.workers()), 1)

    def test_a_data_set_that_changes_while_it_is_kept_and_read(self):
        path = os.path.join(self.root, "moving.nc")
        shutil.copy(os.path.join(self.root, "ramp.nc"), path)
        self.assert_from_disk("/moving.nc.dds")
        self.assert_from_disk("/moving.nc.vorn", "ramp[0:1][0:3]")
        (worker,) = self.pool.workers()
        with self.pool.connect(scgi_bytes("/moving.nc.vorn"), 4096) as s:
            time.sleep(0.3)  # the worker is writing, the file still open
            os.truncate(path, os.path.getsize(path) // 2)
            got = read_all(s)
        self.assertTrue(got.startswith(OK), got[:80])
        for query in ("", "ramp[0:1][0:3]", "ramp[2047][2047]"):
            self.assert_from_disk("/moving.nc.vorn", query)
        shutil.copy(os.path.join(self.root, "ramp.nc"), path)
        self.assert_from_disk("/moving.nc.vorn", "ramp[2047][2047]")
        self.assertEqual(self.pool.workers(), [worker])
        self.assertNotIn("exited", self.pool.log())

    def test_large_ddx_bodies_are_bounded_by_memory_not_count(self):
        # 16 bodies of 1.5 MB: fewer than the count bound, more than the 16
        # MiB the bodies may take.
        for i in range(16):
            self.assertTrue(self.pool.request("/big%d.nc.ddx" % i).startswith(OK))
        hits, misses = self.counts("response_bodies")
        self.assert_from_disk("/big15.nc.ddx")  # the newest is kept
        self.assertEqual(self.counts("response_bodies"), (hits + 1, misses))
        self.assert_from_disk("/big0.nc.ddx")  # the oldest was dropped
        self.assertEqual(self.counts("response_bodies"), (hits + 1, misses + 1))
        if not under_address_sanitizer():
            (worker,) = self.pool.workers()
            with open("/proc/%d/status" % worker) as f:
                rss_kib = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
            self.assertLess(rss_kib, 64 << 10)
