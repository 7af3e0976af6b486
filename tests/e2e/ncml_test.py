"""NcML aggregations read by real clients: xarray and netCDF4 through
lighttpd (CGI) see a joinExisting equal to its members concatenated and to
nco's ncrcat of them, a joinNew equal to its members stacked, strided boxes
across member boundaries, and a document's edits; the pool answers the same
bytes as the CGI path, sharing one index directory. The downloads of an
aggregation: a .nc and a .nc4 of a slice read back equal to the members'
values, a .png of one time step decodes with its cells where the members
put them."""
import io, os, shutil, subprocess, tempfile, urllib.parse

import numpy as np
import netCDF4
import xarray as xr
from PIL import Image

from client_test import refused_data_suffix
from e2e_support import ENV, Pool, ServedTestCase, WebServer, scgi_bytes

NS = 'xmlns="http://www.unidata.ucar.edu/namespaces/netcdf/ncml-2.2"'
DAYS = 10


def write_member(path, day, units="days since 2020-01-01"):
    """One day of a 6 x 8 field, a time bound beside it."""
    with netCDF4.Dataset(path, "w", format="NETCDF3_CLASSIC") as nc:
        nc.createDimension("time", None)
        nc.createDimension("lat", 6)
        nc.createDimension("lon", 8)
        t = nc.createVariable("time", "f8", ("time",))
        t.units = units
        t[:] = [day if units.startswith("days") else 0.0]
        nc.createVariable("time_bnds", "f8", ("time",))[:] = [day + 0.5]
        nc.createVariable("lat", "f4", ("lat",))[:] = np.linspace(-50, 50, 6)
        nc.createVariable("lon", "f4", ("lon",))[:] = np.arange(8) * 45.0
        sst = nc.createVariable("sst", "f4", ("time", "lat", "lon"), fill_value=-999.0)
        sst.units = "degC"
        field = np.arange(48, dtype="f4").reshape(1, 6, 8) + 100 * day
        field[0, 0, 0] = -999.0 if day == 3 else field[0, 0, 0]
        sst[:] = field
        nc.title = "day %d" % day


class NcmlTest(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        daily = os.path.join(cls.root, "daily")
        os.makedirs(daily)
        cls.members = [os.path.join(daily, "sst_202001%02d.nc" % (d + 1)) for d in range(DAYS)]
        for day, path in enumerate(cls.members):
            write_member(path, day)
        docs = {
            "join.ncml": '<aggregation dimName="time" type="joinExisting">'
                         '<scan location="daily/" suffix=".nc" subdirs="false"/></aggregation>'
                         '<attribute name="title" value="Ten days"/>',
            "new.ncml": '<aggregation dimName="member" type="joinNew">'
                        '<variableAgg name="sst"/>'
                        '<scan location="daily/" dateFormatMark="sst_#yyyyMMdd"/>'
                        '</aggregation>',
            "edit.ncml": None,
        }
        for name, body in docs.items():
            if body is None:
                continue
            with open(os.path.join(cls.root, name), "w") as f:
                f.write('<?xml version="1.0"?>\n<netcdf %s>%s</netcdf>\n' % (NS, body))
        with open(os.path.join(cls.root, "edit.ncml"), "w") as f:
            f.write('<?xml version="1.0"?>\n<netcdf %s location="daily/sst_20200102.nc">'
                    '<variable name="temperature" orgName="sst">'
                    '<attribute name="long_name" value="sea surface temperature"/>'
                    '<remove name="units" type="attribute"/></variable>'
                    '<attribute name="institution" value="QVP"/>'
                    '<variable name="level" type="int" shape="lat"><values start="1" '
                    'increment="2"/></variable></netcdf>\n' % NS)
        cls.cache = os.path.join(cls.base, "cache")

    @classmethod
    def start_server(cls):
        cls.table = shutil.copy(os.path.join(ENV["QVP_DEPLOY"], "../share/qvp/handlers.conf"),
                                cls.base)
        cls.log = os.path.join(cls.base, "access.log")

        def edit(conf):  # the handler table, the index directory, an access log
            anchor = '"QVP_DATA_ROOT" => "%s",' % cls.root
            assert anchor in conf
            return conf.replace(anchor, '"QVP_CONFIG" => "%s", "QVP_CACHE_DIR" => "%s", %s' % (
                cls.table, cls.cache, anchor)) + (
                'server.modules += ("mod_accesslog")\naccesslog.filename = "%s"\n' % cls.log)
        return WebServer("cgi", os.path.join(cls.base, "state"), edit, DATA_ROOT=cls.root)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.url = "http://127.0.0.1:%d/qvp/" % cls.server.port
        with open(cls.table, "a") as f:
            f.write("suffix %s DataDDS\n" % refused_data_suffix(cls.url + "model.nc", cls.log))

    def local(self):
        return [xr.open_dataset(m) for m in self.members]

    def test_join_existing_equals_open_mfdataset(self):
        with xr.open_mfdataset(self.members, combine="nested", concat_dim="time",
                               data_vars="minimal") as want, \
                xr.open_dataset(self.url + "join.ncml") as remote:
            for name in ("sst", "time", "time_bnds", "lat", "lon"):
                np.testing.assert_array_equal(remote[name].values, want[name].values, name)
            self.assertEqual(remote.attrs["title"], "Ten days")
            self.assertEqual(remote["sst"].attrs["units"], "degC")
            self.assertTrue(np.isnan(remote["sst"].values[3, 0, 0]))  # the fill value

    def test_join_existing_equals_ncrcat(self):
        joined = os.path.join(self.base, "ncrcat.nc")
        subprocess.run(["ncrcat", "-O"] + self.members + [joined], check=True)
        with netCDF4.Dataset(joined) as want, netCDF4.Dataset(self.url + "join.ncml") as remote:
            for name in ("sst", "time", "time_bnds"):
                np.testing.assert_array_equal(remote[name][...], want[name][...], name)
            # Strided boxes that cross member boundaries.
            for index in (np.s_[1:9:3, 2, :], np.s_[::4, 1:5:2, 7], np.s_[8:, ::5, ::3],
                          np.s_[2:7, 0, 0]):
                np.testing.assert_array_equal(remote["sst"][index], want["sst"][index],
                                              str(index))

    def test_join_new_stacks_the_members(self):
        local = self.local()
        with xr.open_dataset(self.url + "new.ncml") as remote:
            np.testing.assert_array_equal(
                remote["sst"].values, np.stack([d["sst"].values for d in local]))
            self.assertEqual(remote["member"].values[4], np.datetime64("2020-01-05"))
        for ds in local:
            ds.close()

    def test_edits_as_netcdf4_sees_them(self):
        with netCDF4.Dataset(self.url + "edit.ncml") as remote, \
                netCDF4.Dataset(self.members[1]) as local:
            t = remote["temperature"]
            self.assertEqual(t.long_name, "sea surface temperature")
            self.assertNotIn("units", t.ncattrs())
            np.testing.assert_array_equal(t[...], local["sst"][...])
            np.testing.assert_array_equal(remote["level"][...], [1, 3, 5, 7, 9, 11])
            self.assertEqual((remote.institution, remote.title), ("QVP", "day 1"))
            self.assertNotIn("sst", remote.variables)

    def test_the_pool_answers_as_the_cgi_path(self):
        self.get("join.ncml.das")
        self.get("new.ncml.das")
        made = {f: os.stat(os.path.join(self.cache, f)).st_mtime_ns
                for f in os.listdir(self.cache)}
        pool = Pool(os.path.join(self.base, "pool"), self.root, "--workers", 2,
                    "--cache-dir", self.cache)
        try:
            for path, query in (("join.ncml.dds", ""), ("join.ncml.das", ""),
                                ("new.ncml.dds", "sst[2:3][0][0:2]"),
                                ("join.ncml.vorn", "sst.sst[3:6][1][2:4]")):
                got = pool.request("/" + path, query)
                want = self.get(path + ("?" + query if query else ""))
                self.assertEqual(got.split(b"\r\n\r\n", 1)[1], want[2], path)
            # The workers read the indexes the CGI path made.
            self.assertEqual({f: os.stat(os.path.join(self.cache, f)).st_mtime_ns
                              for f in os.listdir(self.cache)}, made)
        finally:
            pool.stop()

    def test_downloads_of_a_join_hold_the_members_values(self):
        def members(name):
            out = []
            for m in self.members:
                with netCDF4.Dataset(m) as nc:
                    nc.set_auto_maskandscale(False)
                    out.append(nc[name][...])
            return np.concatenate(out)
        sst, time = members("sst"), members("time")
        # (constraint, the index of the concatenated sst it selects); the
        # slices cross member boundaries and take day 3's fill value.
        for suffix, ce, index in (("nc", "sst[2:7][0:1][0:3:7]", np.s_[2:8, 0:2, 0:8:3]),
                                  ("nc", "sst[1:4:9][5][2]", np.s_[1:10:4, 5:6, 2:3]),
                                  ("nc4", "sst[2:7][0:1][0:3:7]", np.s_[2:8, 0:2, 0:8:3])):
            with self.subTest(suffix=suffix, ce=ce):
                status, headers, body = self.get("join.ncml.%s?%s" % (
                    suffix, urllib.parse.quote(ce, safe=",:")))
                self.assertEqual(status, 200, body[:300])
                self.assertEqual(int(headers["Content-Length"]), len(body))
                path = os.path.join(self.base, "join_slice.nc")
                with open(path, "wb") as f:
                    f.write(body)
                with netCDF4.Dataset(path) as got:
                    got.set_auto_maskandscale(False)
                    np.testing.assert_array_equal(got["sst"][...], sst[index])
                    np.testing.assert_array_equal(got["time"][...], time[index[0]])
                    self.assertEqual(got["sst"].units, "degC")
                    self.assertEqual(got["sst"].dtype, np.float32)
                    self.assertEqual(got.title, "Ten days")
        # ImagePlot's layout: a 6 x 8 grid drawn 50 pixels a cell, row 0 at
        # the bottom, inside margins of 90, 40, 120 and 60 pixels.
        status, headers, body = self.get("join.ncml.png?sst[3][0:5][0:7]")
        self.assertEqual((status, headers["Content-Type"]), (200, "image/png"), body[:300])
        image = Image.open(io.BytesIO(body)).convert("RGBA")
        self.assertEqual(image.size, (90 + 8 * 50 + 120, 40 + 6 * 50 + 60))
        cell = lambda r, c: image.getpixel((90 + c * 50 + 25, 40 + (5 - r) * 50 + 25))  # noqa
        self.assertEqual(cell(0, 0)[3], 0)  # day 3's fill value
        self.assertEqual(cell(0, 1)[3], 255)
        self.assertEqual(cell(5, 7)[:3], (0xfd, 0xe7, 0x25))  # the largest value
