"""scripts/demo.sh, in each of its modes, run against the built tree on a free
loopback port: xarray opens its URLs out of the box and reads what the local
files hold, the xarray example it prints runs, and Ctrl-C stops it with
nothing left behind. Debian's python3 runs it."""
import os, re, shutil, signal, subprocess, sys, tempfile, unittest

import numpy as np
import xarray as xr

from e2e_support import ENV, free_port, stop, wait_until


def as_from_a_terminal():
    """The demo in a process group of its own that takes Ctrl-C's SIGINT as
    from a terminal, whatever the test runner ignores."""
    os.setsid()
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def processes_naming(text):
    """The pids of live processes whose command line contains `text`."""
    pids = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if text.encode() in f.read():
                    pids.append(int(pid))
        except OSError:
            pass
    return pids


class Demo:
    """scripts/demo.sh in `mode`, its output in `out`; `work` is its
    directory, `url` its address of sst.nc."""

    def __init__(self, mode, out):
        port, self.out = free_port(), out
        env = dict(os.environ, QVP_DEMO_MODE=mode, QVP_DEMO_PORT=str(port),
                   QVP_DEMO_BUILD=ENV["QVP_BUILD_DIR"])
        with open(out, "wb") as log:
            self.proc = subprocess.Popen([ENV["QVP_DEMO_SCRIPT"]], env=env, stdin=subprocess.DEVNULL,
                                         stdout=log, stderr=subprocess.STDOUT,
                                         preexec_fn=as_from_a_terminal)
        self.work = None
        try:
            wait_until(lambda: "Press Ctrl-C" in self.text() or self.proc.poll() is not None,
                       120, "the demo to start")
            served = re.search(r"from (\S+)/data \(%s mode\)" % mode, self.text())
            if not served:
                raise AssertionError("the demo did not start:\n" + self.text())
            self.work = served.group(1)
        except BaseException:
            self.kill()
            raise
        self.url = "http://127.0.0.1:%d/qvp/sst.nc" % port

    def text(self):
        with open(self.out, encoding="utf-8", errors="replace") as f:
            return f.read()

    def interrupt(self):
        """Ctrl-C: SIGINT to the demo's process group; its exit status."""
        os.killpg(self.proc.pid, signal.SIGINT)
        return self.proc.wait(60)

    def kill(self):
        """What a failed test leaves: the group ended, the directory removed."""
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            stop(self.proc)
        if self.work:
            shutil.rmtree(self.work, ignore_errors=True)


class DemoTest(unittest.TestCase):
    def test_xarray_reads_the_demo_and_ctrl_c_stops_it(self):
        for mode in ("pool", "cgi"):
            with self.subTest(mode=mode), tempfile.TemporaryDirectory() as tmp:
                demo = Demo(mode, os.path.join(tmp, "demo.out"))
                self.addCleanup(demo.kill)
                local_path = shutil.copy(os.path.join(demo.work, "data/sst.nc"), tmp)
                with xr.open_dataset(demo.url) as remote, \
                        xr.open_dataset(local_path, engine="netcdf4") as local:
                    self.assertEqual(sorted(remote.variables), sorted(local.variables))
                    for name in local.variables:
                        self.assertEqual(remote[name].dtype, local[name].dtype, name)
                        np.testing.assert_array_equal(remote[name].values, local[name].values,
                                                      err_msg=name)
                example = re.search(r'python3 -c "(.*xarray\.open_dataset.*)"', demo.text())
                self.assertIsNotNone(example, demo.text())
                self.assertIn(demo.url, example.group(1))
                ran = subprocess.run([sys.executable, "-c", example.group(1)],
                                     capture_output=True, text=True, timeout=60)
                self.assertEqual(ran.returncode, 0, ran.stderr)
                self.assertRegex(ran.stdout, r"sst\s+\(time, lat, lon\)")

                self.assertEqual(demo.interrupt(), 130, demo.text())
                self.assertFalse(os.path.exists(demo.work))
                self.assertEqual(processes_naming(demo.work), [])
