"""The Debian package of this build (cpack -G DEB), unpacked into a temporary
root instead of installed: every path that its units, defaults and snippets
name is in it, and the pool started as qvp-nc.service starts it (its
ExecStart with the packaged /etc/default/qvp, socket-activated), with its
libraries from the root, serves the samples behind lighttpd and nginx with
the packaged snippets as the build tree's CGI path does. The maintainer
scripts make and remove the user qvp when dpkg says so, and only then."""
import glob, os, pathlib, re, shlex, subprocess, tempfile, unittest

from e2e_support import ENV, ServedTestCase, WebServer, stop, start_activated, wait_until, write

SNIPPETS = {"lighttpd": ("etc/lighttpd/conf-available/50-qvp.conf", 'include "%s"'),
            "nginx": ("etc/nginx/snippets/qvp.conf", "include %s;")}
MARKED = r"(?s)# -- site snippet begin --.*# -- site snippet end --"
PATHS = ["sst.nc.das", "sst.nc.dds?sst.lat", "sst.nc.vorn?sst%5B0%5D%5B0:1%5D%5B1:2%5D",
         "station.nc.vorn?station_name", "names.nc.dds", "missing.nc.das", "sst.nc.xyz"]


def assignments(text):
    """The NAME=value lines of a unit's Environment= or an EnvironmentFile,
    with their quotes removed."""
    return dict(word.split("=", 1) for line in text.splitlines()
                if not line.startswith("#") for word in shlex.split(line))


def expand(command, env):
    """An ExecStart command line as systemd expands it: ${NAME} is one word,
    $NAME a word for each of its whitespace-separated parts."""
    words = []
    for word in command.split():
        if word.startswith("$") and not word.startswith("${"):
            words += env[word[1:]].split()
        else:
            words.append(re.sub(r"\$\{(\w+)\}", lambda m: env[m.group(1)], word))
    return words


class PackageTest(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        out = os.path.join(cls.base, "packages")
        subprocess.run([ENV["QVP_CPACK"], "-G", "DEB", "--config", ENV["QVP_CPACK_CONFIG"],
                        "-B", out], check=True, stdout=subprocess.DEVNULL)
        [deb] = glob.glob(out + "/qvp_*.deb")
        cls.deb_root = os.path.join(cls.base, "root")
        subprocess.run(["dpkg-deb", "-x", deb, cls.deb_root], check=True)
        [cls.unit_dir] = glob.glob(cls.deb_root + "/**/systemd/system", recursive=True)
        cls.service = cls.packaged(cls.unit_dir + "/qvp-nc.service")
        cls.unit_socket = re.search(r"(?m)^ListenStream=(\S+)$",
                                    cls.packaged(cls.unit_dir + "/qvp-nc.socket")).group(1)

    @classmethod
    def packaged(cls, path):
        return pathlib.Path(path if path.startswith(cls.deb_root) else
                            cls.deb_root + path).read_text()

    def setting(self, pattern, text):
        found = re.search(pattern, text, re.M)
        self.assertTrue(found, pattern)
        return found.group(1)

    def start_unit(self, state):
        """The pool as the service starts it, but over this test's data root and
        socket, and with the absolute paths that the package holds taken from
        the unpacked root. Returns its Popen and socket path."""
        env = assignments(self.setting(r"^Environment=(.*)$", self.service))
        env.update(assignments(self.packaged(
            self.setting(r"^EnvironmentFile=-?(\S+)$", self.service))))
        env["QVP_DATA_ROOT"] = self.root
        rooted = [self.deb_root + w if w.startswith("/") and
                  os.path.exists(self.deb_root + w) else w
                  for w in expand(self.setting(r"^ExecStart=(.*)$", self.service), env)]
        os.makedirs(state)
        socket_path, log_path = state + "/nc.sock", state + "/pool.log"
        with open(log_path, "wb") as log:
            proc = start_activated(rooted, socket_path, stderr=log)
        self.addCleanup(stop, proc)
        wait_until(lambda: "serving" in pathlib.Path(log_path).read_text() or
                   proc.poll() is not None, 10, "the pool to start")
        self.assertIsNone(proc.poll(), pathlib.Path(log_path).read_text())
        return proc, socket_path, rooted

    def test_what_the_units_and_defaults_name_is_packaged(self):
        defaults = self.setting(r"^EnvironmentFile=-?(\S+)$", self.service)
        for text, pattern in [(self.service, r"^ExecStart=(\S+)"),
                              (self.service, r"^EnvironmentFile=-?(\S+)$"),
                              (self.packaged(defaults), r"--config (/\S+?)\"?$")]:
            path = self.setting(pattern, text)
            self.assertTrue(os.path.isfile(self.deb_root + path), path)
        self.assertRegex(self.service, r"(?m)^User=qvp$")

    def test_the_unpacked_service_serves_the_samples_behind_both_snippets(self):
        proc, socket_path, command = self.start_unit(os.path.join(self.base, "unit"))
        self.assertIn(self.deb_root + "/etc/qvp/handlers.conf", command)
        # The libraries are the root's, found through the handler's RUNPATH.
        maps = pathlib.Path("/proc/%d/maps" % proc.pid).read_text()
        for lib in ("libqvp.so", "libqvpserver.so"):
            mapped = {m.split()[-1] for m in maps.splitlines() if "/%s." % lib in m}
            self.assertTrue(mapped, lib)
            self.assertTrue(all(os.path.realpath(m).startswith(self.deb_root) for m in mapped),
                            mapped)
        for kind, (snippet, include) in SNIPPETS.items():
            text = self.packaged("/" + snippet)
            self.assertIn(self.unit_socket, text, snippet)
            local = os.path.join(self.base, kind + "-qvp.conf")
            pathlib.Path(local).write_text(text.replace(self.unit_socket, socket_path))
            front = WebServer(kind, os.path.join(self.base, kind),
                              edit=lambda conf: re.sub(MARKED, include % local, conf))
            self.addCleanup(front.stop)
            for path in PATHS:
                want = self.get(path)
                got = front.get("/qvp/" + path)
                self.assertEqual((got[0], got[1]["Content-Type"], got[2]),
                                 (want[0], want[1]["Content-Type"], want[2]), (kind, path))
            status, headers, _ = front.get("/qvp")  # nginx makes the Location absolute
            self.assertEqual((status, headers["Location"].rsplit(":%d" % front.port, 1)[-1]),
                             (301, "/qvp/"), kind)


# The commands the maintainer scripts run, as stubs that log their arguments;
# getent finds the user qvp when the test says it exists.
STUBS = ["adduser", "deluser", "delgroup", "userdel", "systemctl"]
ADD = "adduser --system --group --no-create-home --home /nonexistent --gecos qvp data handler pool --quiet qvp"
DISABLE = "systemctl disable qvp-nc.socket qvp-nc.service"
# script, its arguments from dpkg, whether qvp exists, the commands it runs.
# systemd is not running here (no /run/systemd/system): no daemon-reload.
SCRIPT_CASES = [
    ("postinst", ["configure"], False, [ADD]),
    ("postinst", ["configure", "9.0.0-1"], True, []),
    ("postinst", ["abort-upgrade", "9.0.0-1"], False, []),
    ("prerm", ["remove"], True, [DISABLE]),
    ("prerm", ["upgrade", "9.0.1-1"], True, []),
    ("postrm", ["remove"], True, []),
    ("postrm", ["upgrade", "9.0.1-1"], True, []),
    ("postrm", ["purge"], True, ["deluser --system --quiet qvp",
                                 "delgroup --system --only-if-empty --quiet qvp"]),
    ("postrm", ["purge"], False, []),
]


@unittest.skipIf(os.path.isdir("/run/systemd/system"), "systemd runs here: the scripts would use it")
class MaintainerScriptTest(unittest.TestCase):
    def test_scripts_run_what_dpkg_asks_for(self):
        scripts = os.path.join(ENV["QVP_DEPLOY"], "debian")
        for script, args, user_exists, want in SCRIPT_CASES:
            with tempfile.TemporaryDirectory() as stubs:
                log = os.path.join(stubs, "log")
                for name in STUBS:
                    write(os.path.join(stubs, name), '#!/bin/sh\necho "%s $*" >>%s\n' % (name, log),
                          0o755)
                write(os.path.join(stubs, "getent"), "#!/bin/sh\nexit %d\n" % (0 if user_exists else 2),
                      0o755)
                got = subprocess.run([os.path.join(scripts, script)] + args,
                                     env=dict(PATH=stubs + ":/usr/bin:/bin"))
                ran = pathlib.Path(log).read_text().splitlines() if os.path.exists(log) else []
                self.assertEqual((got.returncode, ran), (0, want), (script, args, user_exists))
