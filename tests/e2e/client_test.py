"""netCDF files beyond the classic model read through the web server as a
user would: with the netCDF library's remote client, through Python's
netCDF4 and xarray (Debian's /usr/bin/python3), compared with the same file
read locally. The client asks data with a suffix of its own, which the
built-in table does not know: the test lets the client try once, reads the
refused suffix from the web server's access log, and adds it to a handler
table file as an alias of the data response.

What the client makes of the served model: a group member `surface.temp`
and a compound member `obs.wind.direction` become variables of those dotted
names in one flat data set, group attributes global attributes named
`surface.comment`, and unsigned types arrive as signed integers with
_Unsigned = "true", which both modules decode to unsigned values."""
import contextlib
import os
import re
import sys
import time
import unittest
import warnings

import numpy as np
import netCDF4
import xarray as xr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Server, ServedTestCase  # noqa: E402

TABLE = """# the built-in table
handler nc   qvp_nc_handler
handler nc4  qvp_nc_handler
suffix das   das
suffix dds   dds
suffix ddx   ddx
suffix vorn  DataDDS
suffix ver   Version
suffix html  html
suffix csv   csv
"""


def refused_data_suffix(url, log):
    """The suffix of the first request that the server answered with 400
    while the remote client read one value of `url`: the client's own
    suffix for data, which the built-in table refuses."""
    remote = netCDF4.Dataset(url)
    try:
        with open(os.devnull, "w") as quiet, \
                contextlib.redirect_stderr(quiet):
            remote.variables["u8"][...]
    except (RuntimeError, OSError, IndexError):
        pass
    finally:
        remote.close()
    # lighttpd writes its access log in the background: wait for the line.
    deadline = time.time() + 10
    while time.time() < deadline:
        with open(log) as f:
            for line in f:
                match = re.search(
                    r'"GET /qvp/model\.nc\.(\w+)[ ?][^"]*" 400 ', line)
                if match:
                    return match.group(1)
        time.sleep(0.1)
    raise AssertionError("the client's data request was not refused")


def open_local(opener, *args, **kwargs):
    """Opens the local file quietly: it holds types the Python module skips
    (a string inside a compound, vlen, opaque) with a warning per open."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return opener(*args, **kwargs)


def texts(chars):
    """A compound's character member as read locally, as one byte string."""
    chars = np.asarray(chars)
    raw = chars.tobytes() if chars.ndim == 0 else b"".join(chars.tolist())
    return raw.rstrip(b"\0")


class ClientTest(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        cls.table = os.path.join(cls.base, "handlers.conf")
        with open(cls.table, "w") as f:
            f.write(TABLE)
        cls.log = os.path.join(cls.base, "access.log")

    @classmethod
    def start_server(cls):
        # The lighttpd configuration with QVP_CONFIG added to the
        # environment and an access log.
        def edit(conf):
            anchor = '"QVP_DATA_ROOT" => "%s",' % cls.root
            assert anchor in conf
            conf = conf.replace(anchor, '"QVP_CONFIG" => "%s",\n    %s'
                                % (cls.table, anchor))
            return conf + ('server.modules += ("mod_accesslog")\n'
                           'accesslog.filename = "%s"\n' % cls.log)
        return Server(os.path.join(cls.base, "state"), cls.root, edit=edit)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.local_path = os.path.join(cls.root, "model.nc")
        cls.url = "http://127.0.0.1:%d/qvp/model.nc" % cls.server.port
        try:
            # The dispatcher reads the table at every request.
            with open(cls.table, "a") as f:
                f.write("suffix %s DataDDS\n"
                        % refused_data_suffix(cls.url, cls.log))
            cls.local = open_local(netCDF4.Dataset, cls.local_path)
            cls.remote = netCDF4.Dataset(cls.url)
        except BaseException:
            super().tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.remote.close()
        cls.local.close()
        super().tearDownClass()

    def assert_same(self, got, want, what):
        got, want = np.asarray(got), np.asarray(want)
        self.assertEqual(got.shape, want.shape, what)
        np.testing.assert_array_equal(got, want, err_msg=what)

    def test_unsigned_variables_decode_as_unsigned(self):
        for name in ("u8", "u16", "u32"):
            got = self.remote.variables[name][...]
            want = self.local.variables[name][...]
            self.assertEqual(got.dtype.kind, "u", name)
            self.assert_same(got, want, name)
        # The file's own _Unsigned ("false") is passed on unchanged, and the
        # module reads it as the local file (it takes any _Unsigned as true).
        self.assertEqual(self.remote.variables["s16"]._Unsigned, "false")
        self.assert_same(self.remote.variables["s16"][...],
                         self.local.variables["s16"][...], "s16")

    def test_enum_values_and_flags(self):
        sky = self.remote.variables["sky"]
        self.assert_same(sky[...], self.local.variables["sky"][...], "sky")
        self.assert_same(sky.flag_values, [0, 1, 255], "flag_values")
        self.assertEqual(sky.flag_meanings, "clear partly overcast")

    def test_group_members_and_hyperslabs(self):
        surface = self.local.groups["surface"]
        cases = [
            ("surface.temp", surface["temp"], np.s_[...]),
            ("surface.temp", surface["temp"], np.s_[1:3, 0]),
            ("surface.temp", surface["temp"], np.s_[::2, 1]),
            ("surface.count", surface["count"], np.s_[0:2]),
            ("surface.soil.depth", surface.groups["soil"]["depth"], np.s_[:]),
        ]
        for name, local, index in cases:
            got = self.remote.variables[name][index]
            self.assert_same(got, local[index], "%s%r" % (name, index))
        self.assertEqual(self.remote.variables["surface.count"][0], 65535)
        self.assertEqual(getattr(self.remote, "surface.comment"),
                         surface.comment)

    def test_compound_members(self):
        obs = self.local.variables["obs"][...]
        latest = self.local.variables["latest"][...]
        cases = [
            ("obs.id", obs["id"]),
            ("obs.temp", obs["temp"]),
            ("obs.wind.speed", obs["wind"]["speed"]),
            ("obs.wind.direction", obs["wind"]["direction"]),
            ("obs.pair", obs["pair"]),
            ("latest.id", latest["id"]),
            ("latest.wind.direction", latest["wind"]["direction"]),
            ("latest.pair", latest["pair"]),
        ]
        for name, want in cases:
            self.assert_same(self.remote.variables[name][...], want, name)
        self.assert_same(self.remote.variables["obs.pair"][1:3, 1],
                         obs["pair"][1:3, 1], "obs.pair[1:3, 1]")
        self.assert_same(self.remote.variables["obs.wind.direction"][::2],
                         obs["wind"]["direction"][::2], "direction[::2]")

    def test_unserved_types_are_named(self):
        omitted = self.remote.omitted_variables.split("\n")
        self.assertEqual(omitted, ["tagged.note (string)", "ragged (vlen)",
                                   "blob (opaque)"])
        self.assert_same(self.remote.variables["tagged.id"][...], [1, 2, 3],
                         "tagged.id")

    def test_xarray_reads_what_the_local_file_holds(self):
        with xr.open_dataset(self.url) as remote, \
                open_local(xr.open_dataset, self.local_path) as root, \
                open_local(xr.open_dataset, self.local_path,
                           group="surface") as surface:
            for name in ("lat", "u8", "u16", "u32", "sky"):
                self.assertEqual(remote[name].dtype, root[name].dtype, name)
                self.assert_same(remote[name].values, root[name].values, name)
            for name in ("temp", "count", "time"):
                got = remote["surface." + name]
                self.assertEqual(got.dtype, surface[name].dtype, name)
                self.assert_same(got.values, surface[name].values, name)
            self.assert_same(
                remote["surface.temp"].isel(time=slice(1, 3)).values,
                surface["temp"].isel(time=slice(1, 3)).values, "isel")
            obs = self.local.variables["obs"][...]
            self.assert_same(remote["obs.code"].values,
                             [texts(c) for c in obs["code"]], "obs.code")
            self.assertEqual(remote["obs.wind.direction"].dtype, np.uint16)
            self.assert_same(remote["obs.wind.direction"].values,
                             obs["wind"]["direction"], "obs.wind.direction")


if __name__ == "__main__":
    unittest.main()
