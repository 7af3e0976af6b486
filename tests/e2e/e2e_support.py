"""What the end-to-end tests share: lighttpd (running qvp_dispatch as a CGI
program, or in front of the pool) and nginx on free loopback ports, made
from the project's configuration templates; the resident pool with a raw
SCGI client; a netCDF-4 file that crashes the netCDF library; and a test
case base that serves the samples from a temporary data root."""
import http.client, os, shutil, socket, subprocess, tempfile, time, unittest

ENV = os.environ
SAMPLES = ENV["QVP_SAMPLES"]
OK = b"HTTP/1.0 200 OK\r\n"
# The body of an error response, with its code as %d.
ERROR_BODY = r'^Error \{\n    code = %d;\n    message = ".*";\n\};\n$'


def write(path, data, mode=None):
    """Writes `data` (text or bytes) at `path`; returns `path`."""
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)
    if mode:
        os.chmod(path, mode)
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
    out = b""
    while len(out) < limit:
        chunk = sock.recv(65536)
        if not chunk:
            break
        out += chunk
    return out


def unread(family, address, request, rcvbuf=4096):
    """A connection that sent `request`; with a small receive buffer the
    server blocks writing a large reply until the client reads."""
    s = socket.socket(family)
    if rcvbuf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(30)
    s.connect(address)
    s.sendall(request)
    return s


def make_samples(root, ramp=True):
    """The samples as netCDF files in `root`, with ramp.nc when `ramp`."""
    cmd = [os.path.join(SAMPLES, "make_samples.sh"), root]
    subprocess.run(cmd + ([ENV["QVP_NC_RAMP"]] if ramp else []), check=True)


def plant_escape(root, outside_dir):
    """root/escape.nc: a link to a copy of sst.nc outside the data root."""
    outside = os.path.join(outside_dir, "outside.nc")
    os.symlink(shutil.copy(os.path.join(root, "sst.nc"), outside),
               os.path.join(root, "escape.nc"))


def make_crashing_file(path, scratch):
    """Writes at `path` a netCDF-4 file whose bytes 2073-2076 made 0xff crash
    the HDF5 library while it reads the header."""
    cdl = write(os.path.join(scratch, "small.cdl"), "netcdf small {\n"
                "dimensions:\n  x = 4 ;\nvariables:\n  float v(x) ;\n"
                '    v:units = "m" ;\ndata:\n  v = 1, 2, 3, 4 ;\n}\n')
    subprocess.run(["ncgen", "-k", "nc4", "-o", path, cdl], check=True)
    with open(path, "r+b") as f:
        f.seek(2073)
        f.write(b"\xff" * 4)


def under_address_sanitizer():
    """Whether the handler is built with AddressSanitizer, whose memcpy check
    ends the process at the crashing file before the crash."""
    return "libasan" in subprocess.run(["ldd", ENV["QVP_HANDLER"]],
                                       capture_output=True, text=True).stdout


def lighttpd_command(conf_path):
    return [ENV["QVP_LIGHTTPD"], "-D", "-f", conf_path]


class HttpServer:
    """A web server on a free loopback port, its configuration made from
    `template` by replacing @NAME@ with `fields` (plus BIND, PORT and
    STATE_DIR) and then applying `edit`; stopped by stop()."""

    def __init__(self, state, template, conf_name, fields, command,
                 edit=None):
        self.state = state
        os.makedirs(os.path.join(state, "htdocs"), exist_ok=True)
        self.port = free_port()
        fields = dict(fields, BIND="127.0.0.1", PORT=str(self.port),
                      STATE_DIR=state)
        with open(template) as f:
            conf = f.read()
        for k, v in fields.items():
            conf = conf.replace("@%s@" % k, v)
        path = write(os.path.join(state, conf_name), edit(conf) if edit else conf)
        self.proc = subprocess.Popen(command(path), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        try:
            wait_until(self.accepts, 10, conf_name)
        except BaseException:
            self.stop()
            raise

    def accepts(self):
        if self.proc.poll() is not None:
            raise AssertionError("the web server exited")
        try:
            socket.create_connection(("127.0.0.1", self.port), 0.2).close()
            return True
        except OSError:
            return False

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def get(self, path, headers=None):
        """(status, headers, body) of GET `path`; the headers are an
        http.client.HTTPMessage (names in any case, repeats kept)."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        conn.request("GET", path, headers=headers or {})
        r = conn.getresponse()
        body = r.read()
        conn.close()
        return r.status, r.headers, body

    def unread(self, request):
        return unread(socket.AF_INET, ("127.0.0.1", self.port), request)

    def log(self, name="cgi.log"):
        with open(os.path.join(self.state, name), "rb") as f:
            return f.read()


class Server(HttpServer):
    """lighttpd running qvp_dispatch (or `dispatch`) as a CGI program over
    `root`, with the handler's time limit `timeout`."""

    def __init__(self, state, root, timeout=0, dispatch=None, edit=None):
        fields = {"DISPATCH": dispatch or ENV["QVP_DISPATCH"],
                  "DATA_ROOT": root, "HANDLER_DIR": ENV["QVP_HANDLER_DIR"],
                  "TIMEOUT": str(timeout)}
        super().__init__(state, ENV["QVP_CONF_TEMPLATE"], "lighttpd.conf",
                         fields, lighttpd_command, edit)


class WebServer(HttpServer):
    """lighttpd or nginx (`kind`) in front of the pool at `pool_socket`, from
    the template deploy/<kind>-scgi.conf.in."""

    def __init__(self, kind, state, pool_socket):
        template = ENV["QVP_DEPLOY"] + "/%s-scgi.conf.in" % kind
        edit, command = None, lighttpd_command
        if kind == "nginx":
            # As root nginx's workers would run as nobody, who cannot reach
            # the test's private directory.
            if os.geteuid() == 0:
                edit = lambda conf: "user root root;\n" + conf  # noqa: E731
            command = lambda path: [ENV["QVP_NGINX"], "-p", state, "-c", path,  # noqa: E731
                                    "-g", "daemon off;"]
        super().__init__(state, template, kind + ".conf",
                         {"SOCKET": pool_socket}, command, edit)


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
    """qvp_nc_handler --serve `serve` (default unix:<state>/pool.sock) over
    `root`, its stderr in <state>/pool.log."""

    def __init__(self, state, root, *args, serve=None):
        os.makedirs(state, exist_ok=True)
        self.socket = os.path.join(state, "pool.sock")
        self.serve = serve or "unix:" + self.socket
        self.log_path = os.path.join(state, "pool.log")
        with open(self.log_path, "wb") as log:
            self.proc = subprocess.Popen(
                [ENV["QVP_HANDLER"], "--serve", self.serve, "--root", root] +
                [str(a) for a in args], stdout=subprocess.DEVNULL, stderr=log)
        wait_until(lambda: "serving" in self.log() or
                   self.proc.poll() is not None, 10, "the pool to start")

    def connect(self, data, rcvbuf=None):
        if self.serve.startswith("unix:"):
            family, address = socket.AF_UNIX, self.serve[5:]
        else:
            host, port = self.serve.rsplit(":", 1)
            family, address = socket.AF_INET, (host, int(port))
        return unread(family, address, data, rcvbuf)

    def request(self, path, query="", extra=()):
        with self.connect(scgi_bytes(path, query, extra)) as s:
            return read_all(s)

    def workers(self):
        """The pids of the pool's live workers."""
        pids = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/stat" % pid) as f:
                    state, ppid = f.read().rsplit(")", 1)[1].split()[:2]
            except OSError:
                continue
            if int(ppid) == self.proc.pid and state != "Z":
                pids.append(int(pid))
        return sorted(pids)

    def log(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("latin-1")

    def stop(self, seconds=20):
        """Sends SIGTERM and returns the exit status."""
        if self.proc.poll() is None:
            self.proc.terminate()
        try:
            return self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise


class ServedTestCase(unittest.TestCase):
    """Once per class: a temporary directory `base`, the samples (unless
    `samples` is false) in `base`/data (`root`), what prepare() adds, and
    `server` over `root`. Fails when a program named in `needs` is missing."""

    needs = ("QVP_LIGHTTPD",)
    samples = True       # write the samples into the data root
    ramp = True          # and ramp.nc with them
    tmp_parent = None    # where the temporary directory goes

    @classmethod
    def setUpClass(cls):
        for tool in cls.needs:
            if not os.path.exists(ENV.get(tool, "")):
                raise RuntimeError(tool + " not found")
        cls.tmp = tempfile.TemporaryDirectory(dir=cls.tmp_parent)
        cls.base = os.path.realpath(cls.tmp.name)
        cls.root = os.path.join(cls.base, "data")
        cls.server = None
        try:
            if cls.samples:
                make_samples(cls.root, cls.ramp)
            else:
                os.makedirs(cls.root)
            cls.prepare()
            cls.server = cls.start_server()
        except BaseException:
            cls.tmp.cleanup()
            raise

    @classmethod
    def prepare(cls):
        """Adds to the data root before the server starts."""

    @classmethod
    def start_server(cls):
        return Server(os.path.join(cls.base, "state"), cls.root)

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.stop()
        cls.tmp.cleanup()

    def get(self, path, headers=None):
        return self.server.get("/qvp/" + path, headers)
