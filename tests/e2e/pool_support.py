"""Helpers of the pool's end-to-end tests: a pool process (qvp_nc_handler
--serve) on a Unix socket, lighttpd or nginx in front of it on a free
loopback port, and a raw SCGI client."""
import os
import signal
import socket
import subprocess

from e2e_support import ENV, HttpServer, lighttpd_command, wait_until


def netstring(pairs):
    payload = b"".join(k + b"\0" + v + b"\0" for k, v in pairs)
    return str(len(payload)).encode() + b":" + payload + b","


def scgi_bytes(path, query="", extra=()):
    pairs = [(b"CONTENT_LENGTH", b"0"), (b"SCGI", b"1"),
             (b"PATH_INFO", path.encode()), (b"SCRIPT_NAME", b"/qvp"),
             (b"QUERY_STRING", query.encode()),
             (b"HTTP_HOST", b"127.0.0.1:1"), (b"REQUEST_SCHEME", b"http")]
    pairs += [(k.encode(), v.encode()) for k, v in extra]
    return netstring(pairs)


def read_all(sock, limit=1 << 26):
    out = b""
    while len(out) < limit:
        chunk = sock.recv(65536)
        if not chunk:
            break
        out += chunk
    return out


class Pool:
    """qvp_nc_handler --serve unix:<dir>/pool.sock over `root`; its stderr
    goes to <dir>/pool.log."""

    def __init__(self, state, root, *args):
        os.makedirs(state, exist_ok=True)
        self.socket = os.path.join(state, "pool.sock")
        self.log_path = os.path.join(state, "pool.log")
        self.log_file = open(self.log_path, "wb")
        self.proc = subprocess.Popen(
            [ENV["QVP_HANDLER"], "--serve", "unix:" + self.socket,
             "--root", root] + [str(a) for a in args],
            stdout=subprocess.DEVNULL, stderr=self.log_file)
        wait_until(lambda: "serving" in self.log() or self.proc.poll(), 10,
                   "the pool to start")

    def connect(self, data):
        s = socket.socket(socket.AF_UNIX)
        s.settimeout(30)
        s.connect(self.socket)
        s.sendall(data)
        return s

    def request(self, path, query="", extra=()):
        s = self.connect(scgi_bytes(path, query, extra))
        try:
            return read_all(s)
        finally:
            s.close()

    def workers(self):
        """The pids of the pool's live workers."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == self.proc.pid and fields[0] != "Z":
                pids.append(int(entry))
        return sorted(pids)

    def log(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("latin-1")

    def stop(self, sig=signal.SIGTERM, seconds=20):
        """Sends `sig` and returns the exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            return self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise
        finally:
            self.log_file.close()


class WebServer(HttpServer):
    """lighttpd or nginx on a free loopback port in front of `pool_socket`,
    from the template share/qvp/<kind>-scgi.conf.in."""

    def __init__(self, kind, state, pool_socket):
        template = ENV["QVP_DEPLOY"] + "/%s-scgi.conf.in" % kind
        edit = command = None
        if kind == "nginx":
            # As root nginx's workers would run as nobody, who cannot reach
            # the test's private directory.
            if os.geteuid() == 0:
                edit = lambda conf: "user root root;\n" + conf  # noqa: E731

            def command(path):
                return [ENV["QVP_NGINX"], "-p", state, "-c", path,
                        "-g", "daemon off;"]
        super().__init__(state, template, kind + ".conf",
                         {"SOCKET": pool_socket},
                         command or lighttpd_command, edit)
