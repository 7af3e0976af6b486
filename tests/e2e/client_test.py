"""A netCDF-4 file read through lighttpd by Python's netCDF4 and xarray (the
netCDF library's remote client) equals the file read locally. The client's
own data suffix is learnt from its refused first try and added to a copy of
the shipped handler table. Group and compound members arrive as variables of
dotted names, unsigned types as signed ones with _Unsigned = "true"."""
import contextlib, os, re, shutil, warnings

import numpy as np
import netCDF4
import xarray as xr

from e2e_support import ENV, ServedTestCase, WebServer, wait_until


def refused_data_suffix(url, log):
    """The suffix of the request answered with 400 while the remote client
    read one value of `url`."""
    with open(os.devnull, "w") as quiet, contextlib.redirect_stderr(quiet):
        with contextlib.suppress(RuntimeError, OSError, IndexError), \
                contextlib.closing(netCDF4.Dataset(url)) as remote:
            remote.variables["u8"][...]

    def logged():  # lighttpd writes its access log in the background
        with open(log) as f:
            m = re.search(r'"GET /qvp/model\.nc\.(\w+)[ ?][^"]*" 400 ', f.read())
            return m and m.group(1)
    return wait_until(logged, 10, "the client's refused data request")


def open_local(opener, *args, **kwargs):
    """Opens the local file without the warnings about the types it skips."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return opener(*args, **kwargs)


class ClientTest(ServedTestCase):
    ramp = False

    @classmethod
    def start_server(cls):
        cls.table = shutil.copy(os.path.join(ENV["QVP_DEPLOY"], "../share/qvp/handlers.conf"),
                                cls.base)
        cls.log = os.path.join(cls.base, "access.log")

        def edit(conf):  # QVP_CONFIG in the environment and an access log
            anchor = '"QVP_DATA_ROOT" => "%s",' % cls.root
            assert anchor in conf
            return conf.replace(anchor, '"QVP_CONFIG" => "%s", %s' % (cls.table, anchor)) + (
                'server.modules += ("mod_accesslog")\naccesslog.filename = "%s"\n' % cls.log)
        return WebServer("cgi", os.path.join(cls.base, "state"), edit, DATA_ROOT=cls.root)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.local_path = os.path.join(cls.root, "model.nc")
        cls.url = "http://127.0.0.1:%d/qvp/model.nc" % cls.server.port
        # The dispatcher reads the table at every request.
        with open(cls.table, "a") as f:
            f.write("suffix %s DataDDS\n" % refused_data_suffix(cls.url, cls.log))
        cls.local = open_local(netCDF4.Dataset, cls.local_path)
        cls.addClassCleanup(cls.local.close)
        cls.remote = netCDF4.Dataset(cls.url)
        cls.addClassCleanup(cls.remote.close)

    def assert_same(self, got, want, what):
        got, want = np.asarray(got), np.asarray(want)
        self.assertEqual(got.shape, want.shape, what)
        np.testing.assert_array_equal(got, want, err_msg=what)

    def test_variables_as_the_local_file_holds_them(self):
        local, remote = self.local.variables, self.remote.variables
        surface = self.local.groups["surface"]
        obs, latest = local["obs"][...], local["latest"][...]
        for name, want in (
                ("u8", local["u8"]), ("u16", local["u16"]), ("u32", local["u32"]),
                # The file's own _Unsigned = "false" is passed on, and the
                # module reads it as the local file.
                ("s16", local["s16"]), ("sky", local["sky"]),
                ("surface.temp", surface["temp"]), ("surface.count", surface["count"]),
                ("surface.soil.depth", surface.groups["soil"]["depth"]),
                ("obs.id", obs["id"]), ("obs.temp", obs["temp"]),
                ("obs.wind.speed", obs["wind"]["speed"]),
                ("obs.wind.direction", obs["wind"]["direction"]),
                ("obs.pair", obs["pair"]), ("latest.id", latest["id"]),
                ("latest.wind.direction", latest["wind"]["direction"]),
                ("latest.pair", latest["pair"]), ("tagged.id", np.array([1, 2, 3]))):
            self.assert_same(remote[name][...], want[...], name)
        for name, index, want in (
                ("surface.temp", np.s_[1:3, 0], surface["temp"]),
                ("surface.temp", np.s_[::2, 1], surface["temp"]),
                ("surface.count", np.s_[0:2], surface["count"]),
                ("obs.pair", np.s_[1:3, 1], obs["pair"]),
                ("obs.wind.direction", np.s_[::2], obs["wind"]["direction"])):
            self.assert_same(remote[name][index], want[index], "%s%r" % (name, index))
        self.assertEqual([remote[n][...].dtype.kind for n in ("u8", "u16", "u32")], ["u"] * 3)
        self.assertEqual((remote["s16"]._Unsigned, remote["surface.count"][0]), ("false", 65535))
        self.assert_same(remote["sky"].flag_values, [0, 1, 255], "flag_values")
        self.assertEqual(remote["sky"].flag_meanings, "clear partly overcast")
        self.assertEqual(getattr(self.remote, "surface.comment"), surface.comment)
        self.assertEqual(self.remote.omitted_variables.split("\n"),
                         ["tagged.note (string)", "ragged (vlen)", "blob (opaque)"])

    def test_xarray_reads_what_the_local_file_holds(self):
        with xr.open_dataset(self.url) as remote, \
                open_local(xr.open_dataset, self.local_path) as root, \
                open_local(xr.open_dataset, self.local_path, group="surface") as surface:
            for name, local in [(n, root[n]) for n in ("lat", "u8", "u16", "u32", "sky")] + [
                    ("surface." + n, surface[n]) for n in ("temp", "count", "time")]:
                self.assertEqual(remote[name].dtype, local.dtype, name)
                self.assert_same(remote[name].values, local.values, name)
            self.assert_same(remote["surface.temp"].isel(time=slice(1, 3)).values,
                             surface["temp"].isel(time=slice(1, 3)).values, "isel")
            obs = self.local.variables["obs"][...]
            # A compound's character member as one byte string per element.
            codes = [np.asarray(c).tobytes().rstrip(b"\0") for c in obs["code"]]
            self.assert_same(remote["obs.code"].values, codes, "obs.code")
            self.assertEqual(remote["obs.wind.direction"].dtype, np.uint16)
            self.assert_same(remote["obs.wind.direction"].values,
                             obs["wind"]["direction"], "obs.wind.direction")
