"""What the end-to-end tests share: web servers on free loopback ports
started from a configuration template (lighttpd running qvp_dispatch as a
CGI program, or a front of the resident pool), and a test case base that
makes a temporary data root with the samples and one server over it."""
import http.client
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

ENV = os.environ
SAMPLES = ENV["QVP_SAMPLES"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, seconds, what):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


def make_samples(root, ramp=True):
    """The samples as netCDF files in `root`, with ramp.nc when `ramp`."""
    cmd = [os.path.join(SAMPLES, "make_samples.sh"), root]
    subprocess.run(cmd + ([ENV["QVP_NC_RAMP"]] if ramp else []), check=True)


def plant_escape(root, outside_dir):
    """root/escape.nc: a link to a copy of sst.nc outside the data root."""
    outside = os.path.join(outside_dir, "outside.nc")
    shutil.copy(os.path.join(root, "sst.nc"), outside)
    os.symlink(outside, os.path.join(root, "escape.nc"))


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
        path = os.path.join(state, conf_name)
        with open(path, "w") as f:
            f.write(edit(conf) if edit else conf)
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
        """(status, headers, body) of GET `path`."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        conn.request("GET", path, headers=headers or {})
        r = conn.getresponse()
        body = r.read()
        conn.close()
        return r.status, dict(r.getheaders()), body


class Server(HttpServer):
    """lighttpd running qvp_dispatch (or `dispatch`) as a CGI program over
    `root`, with the handler's time limit `timeout`."""

    def __init__(self, state, root, timeout=0, dispatch=None, edit=None):
        fields = {"DISPATCH": dispatch or ENV["QVP_DISPATCH"],
                  "DATA_ROOT": root, "HANDLER_DIR": ENV["QVP_HANDLER_DIR"],
                  "TIMEOUT": str(timeout)}
        super().__init__(state, ENV["QVP_CONF_TEMPLATE"], "lighttpd.conf",
                         fields, lighttpd_command, edit)


class ServedTestCase(unittest.TestCase):
    """Once per class: a temporary directory `base`, the samples (unless
    `samples` is false) in `base`/data (`root`), what prepare() adds, and
    `server` over `root`.
    Fails when one of the programs named in `needs` is missing."""

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
