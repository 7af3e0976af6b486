"""What the end-to-end tests share: lighttpd (running qvp_dispatch, or in
front of the pool) and nginx on free loopback ports; the resident pool and a
raw SCGI client; a file that crashes the netCDF library; and a test case base
that serves the samples from a temporary data root."""
import contextlib, http.client, os, pathlib, shutil, socket, subprocess, tempfile, time, unittest

ENV = os.environ
SAMPLES = ENV["QVP_SAMPLES"]
OK = b"HTTP/1.0 200 OK\r\n"
# The body of an error response, with its code as %d.
ERROR_BODY = r'^Error \{\n    code = %d;\n    message = ".*";\n\};\n$'


def write(path, data, mode=0o644):
    """Writes `data` (text or bytes) at `path`; returns `path`."""
    with open(os.open(path, os.O_CREAT | os.O_TRUNC | os.O_WRONLY, mode), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    return path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, seconds, what):
    """The first true value of predicate() within `seconds`."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


def read_all(sock, limit=1 << 26):
    """What `sock` receives until the peer closes (or `limit` bytes)."""
    out = chunk = sock.recv(65536)
    while chunk and len(out) < limit:
        chunk = sock.recv(65536)
        out += chunk
    return out


def connect(family, address, request, rcvbuf=4096):
    """A socket connected to `address` that sent `request`. With a small
    receive buffer the server blocks writing a large reply until it reads."""
    s = socket.socket(family)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(30)
    s.connect(address)
    s.sendall(request)
    return s


def plant_escape(root, outside_dir):
    """root/escape.nc: a link to a copy of sst.nc outside the data root."""
    os.symlink(shutil.copy(root + "/sst.nc", outside_dir + "/outside.nc"), root + "/escape.nc")


def make_crashing_file(path, scratch):
    """Writes at `path` a netCDF-4 file whose bytes 2073-2076 made 0xff crash
    the HDF5 library while it reads the header."""
    cdl = write(os.path.join(scratch, "small.cdl"), 'netcdf small {\ndimensions:\n  x = 4 ;\n'
                'variables:\n  float v(x) ;\n    v:units = "m" ;\ndata:\n  v = 1, 2, 3, 4 ;\n}\n')
    subprocess.run(["ncgen", "-k", "nc4", "-o", path, cdl], check=True)
    with open(path, "r+b") as f:
        f.seek(2073)
        f.write(b"\xff" * 4)


def make_wide_file(root):
    """root/wide.nc from tests/handlers/data/wide.cdl: 64-bit integers within
    and beyond 2^53 (grid[1][1] is 9007199254740993; "ok" holds exact ones)."""
    cdl = pathlib.Path(__file__).parent.parent / "handlers" / "data" / "wide.cdl"
    subprocess.run(["ncgen", "-k", "nc4", "-o", root + "/wide.nc", str(cdl)], check=True)


def under_address_sanitizer():
    """Whether the handler is built with AddressSanitizer, whose memcpy check
    ends the process at the crashing file before the crash."""
    return "libasan" in subprocess.run(["ldd", ENV["QVP_HANDLER"]],
                                       capture_output=True, text=True).stdout


def stop(proc, seconds=20):
    """Sends SIGTERM unless `proc` ended and returns its exit status; kills
    it after `seconds`."""
    if proc.poll() is None:
        proc.terminate()
    try:
        return proc.wait(seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise


class WebServer:
    """On a free loopback port: lighttpd running qvp_dispatch as a CGI program
    (`kind` "cgi"; fields DATA_ROOT, and TIMEOUT and DISPATCH to change), or
    lighttpd or nginx in front of the pool at SOCKET. The configuration is the
    project's template with the fields filled in, then given to `edit`."""

    def __init__(self, kind, state, edit=None, **fields):
        self.state, self.port = state, free_port()
        os.makedirs(os.path.join(state, "htdocs"), exist_ok=True)
        fields = dict(dict(DISPATCH=ENV["QVP_DISPATCH"], HANDLER_DIR=ENV["QVP_HANDLER_DIR"],
                           TIMEOUT="0", BIND="127.0.0.1", PORT=str(self.port),
                           STATE_DIR=state), **fields)
        conf = pathlib.Path(ENV["QVP_CONF_TEMPLATE"] if kind == "cgi" else
                            "%s/%s-scgi.conf.in" % (ENV["QVP_DEPLOY"], kind)).read_text()
        for k, v in fields.items():
            conf = conf.replace("@%s@" % k, v)
        if kind == "nginx" and os.geteuid() == 0:
            # As root nginx's workers would run as nobody, who cannot reach
            # the test's private directory.
            conf = "user root root;\n" + conf
        path = write(os.path.join(state, kind + ".conf"), edit(conf) if edit else conf)
        command = ([ENV["QVP_NGINX"], "-p", state, "-c", path, "-g", "daemon off;"]
                   if kind == "nginx" else [ENV["QVP_LIGHTTPD"], "-D", "-f", path])
        self.proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(self.accepts, 10, path)
        except BaseException:
            self.stop()
            raise

    def accepts(self):
        if self.proc.poll() is not None:
            raise AssertionError("the web server exited")
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", self.port), 0.2):
            return True

    def stop(self):
        stop(self.proc)

    def get(self, path, headers=None):
        """(status, headers, body) of GET `path`; the headers are an
        http.client.HTTPMessage (names in any case, repeats kept)."""
        with contextlib.closing(http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)) as c:
            c.request("GET", path, headers=headers or {})
            r = c.getresponse()
            return r.status, r.headers, r.read()

    def connect(self, request):
        return connect(socket.AF_INET, ("127.0.0.1", self.port), request)

    def log(self):
        """What the dispatcher and the handlers wrote on their stderr."""
        return pathlib.Path(self.state, "cgi.log").read_bytes()


def curl_slowly(server, path, rate="8M"):
    """curl's GET /qvp/`path` from `server` at `rate` bytes a second: its
    CompletedProcess, with the header block as stdout and the length of the
    body it received as `received`. curl exits 18 when fewer bytes come than
    the response's Content-Length states."""
    with tempfile.NamedTemporaryFile() as body:
        got = subprocess.run(["curl", "-sS", "-D", "-", "-o", body.name, "--limit-rate", rate,
                              "http://127.0.0.1:%d/qvp/%s" % (server.port, path)],
                             capture_output=True, timeout=120)
        got.received = os.path.getsize(body.name)
    return got


def start_activated(command, path, **popen_args):
    """`command` started as systemd starts a socket-activated service: a
    socket listening at the Unix `path` is its fd 3, and LISTEN_PID names the
    process that execs it. Returns its Popen."""
    listener = socket.socket(socket.AF_UNIX)
    listener.bind(path)
    listener.listen(16)
    fd = listener.fileno()
    to_3 = "" if fd == 3 else "3<&%d %d<&-" % (fd, fd)
    try:
        return subprocess.Popen(["bash", "-c", 'LISTEN_PID=$$ LISTEN_FDS=1 exec "$0" "$@" ' + to_3]
                                + [str(a) for a in command], pass_fds=(fd,), **popen_args)
    finally:
        listener.close()


def netstring(pairs):
    payload = b"".join(k + b"\0" + v + b"\0" for k, v in pairs)
    return str(len(payload)).encode() + b":" + payload + b","


def scgi_bytes(path, query="", extra=()):
    pairs = [(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"),
             (b"PATH_INFO", path.encode()), (b"SCRIPT_NAME", b"/qvp"),
             (b"QUERY_STRING", query.encode()),
             (b"HTTP_HOST", b"127.0.0.1:1"), (b"REQUEST_SCHEME", b"http")]
    return netstring(pairs + [(k.encode(), v.encode()) for k, v in extra])


class Pool:
    """qvp_nc_handler --serve unix:<state>/pool.sock (or 127.0.0.1:`port`)
    over `root`, its stderr in <state>/pool.log; with `group`, the master
    leads a process group of its own (its workers' too), for killpg; run
    from `program` (a copy of the handler) when given."""

    def __init__(self, state, root, *args, port=None, group=False, program=None):
        os.makedirs(state, exist_ok=True)
        self.socket, self.log_path = state + "/pool.sock", state + "/pool.log"
        self.address = (socket.AF_INET, ("127.0.0.1", port)) if port else (
            socket.AF_UNIX, self.socket)
        serve = "127.0.0.1:%d" % port if port else "unix:" + self.socket
        with open(self.log_path, "wb") as log:
            self.proc = subprocess.Popen(
                [program or ENV["QVP_HANDLER"], "--serve", serve, "--root", root] +
                [str(a) for a in args], stdout=subprocess.DEVNULL, stderr=log,
                start_new_session=group)
        wait_until(lambda: "serving" in self.log() or
                   self.proc.poll() is not None, 10, "the pool to start")

    def connect(self, data, rcvbuf=1 << 20):
        return connect(*self.address, data, rcvbuf)

    def request(self, path, query="", extra=()):
        with self.connect(scgi_bytes(path, query, extra)) as s:
            return read_all(s)

    def workers(self):
        """The pids of the pool's live workers."""
        pids = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            with contextlib.suppress(OSError), open("/proc/%s/stat" % pid) as f:
                state, ppid = f.read().rsplit(")", 1)[1].split()[:2]
                if int(ppid) == self.proc.pid and state != "Z":
                    pids.append(int(pid))
        return sorted(pids)

    def log(self):
        return pathlib.Path(self.log_path).read_text("latin-1")

    def stop(self):
        return stop(self.proc)


class ServedTestCase(unittest.TestCase):
    """Once per class: a temporary directory `base` (in `tmp_parent`), the
    samples (with ramp.nc when `ramp`) in `base`/data (`root`), what prepare()
    adds, and `server` over `root`."""
    ramp, tmp_parent = True, None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(dir=cls.tmp_parent)
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.base = os.path.realpath(cls.tmp.name)
        cls.root = os.path.join(cls.base, "data")
        subprocess.run([SAMPLES + "/make_samples.sh", cls.root] + [ENV["QVP_NC_RAMP"]] * cls.ramp,
                       check=True)
        cls.prepare()
        cls.server = cls.start_server()
        if cls.server:
            cls.addClassCleanup(cls.server.stop)

    @classmethod
    def prepare(cls):
        """Adds to the data root before the server starts."""

    @classmethod
    def start_server(cls):
        return WebServer("cgi", os.path.join(cls.base, "state"), DATA_ROOT=cls.root)

    def get(self, path, headers=None):
        return self.server.get("/qvp/" + path, headers)
