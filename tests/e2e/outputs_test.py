"""The downloads through lighttpd and the pool: a .nc download reads back in
netCDF4 equal to the source's slice (values, types, attributes, dimensions),
its ncdump equals that of ncks's subset of the same selection, and what
cannot be one file is refused before any header; a .png decodes with PIL,
has the size its grid gives and leaves invalid values transparent; a .nc4
keeps groups, compound, enum and string types and reads back equal to the
source's slice, and leaves no temporary file behind. Debian's python3 runs
it (netCDF4, numpy, PIL)."""
import io, os, re, shutil, subprocess, tempfile, urllib.parse

import netCDF4
import numpy
from PIL import Image

from e2e_support import ENV, Pool, ServedTestCase, WebServer, write

HERE = os.path.dirname(os.path.abspath(__file__))
ALL = Ellipsis

# (data set, constraint, {variable in the download: index of the source's
# values it holds}); names of group variables are flattened with dots.
READ_BACK = [
    ("types.nc", "", None),
    ("types.nc", "i8,u8,u16,i32,u32,i64,u64,f64",
     dict(i8=ALL, u8=ALL, u16=ALL, i32=ALL, u32=ALL, i64=ALL, u64=ALL, f64=ALL,
          y=ALL, x=ALL)),
    ("types.nc", "i16[1:2:3][0:2][1:3]",
     dict(i16=(slice(1, 4, 2), ALL, slice(1, 4)), t=slice(1, 4, 2), y=ALL, x=slice(1, 4))),
    ("types.nc", "f32[3][2][4],count,level,initial",
     dict(f32=(slice(3, 4), slice(2, 3), slice(4, 5)), t=slice(3, 4), y=slice(2, 3),
          x=slice(4, 5), count=(), level=(), initial=())),
    ("types.nc", "label[1:2],note[1:2]",
     dict(label=slice(1, 3), note=slice(1, 3), y=slice(1, 3))),
    ("types.nc", "u8[0:2:2][0:4:4]", dict(u8=(slice(0, 3, 2), slice(0, 5, 4)),
                                          y=slice(0, 3, 2), x=slice(0, 5, 4))),
    ("model.nc", "surface.temp[1:2:3][1],surface.count[1:2:3],u32",
     {"surface.temp": (slice(1, 4, 2), slice(1, 2)), "surface.count": slice(1, 4, 2),
      "surface.time": slice(1, 4, 2), "lat": slice(1, 2), "u32": ()}),
]

# (data set, constraint, ncks's arguments for the same subset)
LIKE_NCKS = [
    ("sst.nc", "sst[0:1][0:1][0:3]", ["-v", "sst", "-d", "lat,0,1"]),
    ("sst.nc", "sst[1][0:2:2][1:3]", ["-v", "sst", "-d", "time,1,1", "-d", "lat,0,2,2",
                                      "-d", "lon,1,3"]),
    ("station.nc", "temp[0:2:4],station_name,elevation",
     ["-v", "temp,station_name,elevation", "-d", "time,0,4,2"]),
    ("station.nc", "", []),
    ("types3.nc", "", []),
    ("types3.nc", "b[1:2],s[0:2:2],c[0:2:2]",
     ["-v", "b,s,c", "-d", "t,1,2", "-d", "y,0,2,2"]),
]

CLASSIC_CDL = """netcdf types3 {
dimensions:
	t = UNLIMITED ;
	y = 3 ;
	n = 4 ;
variables:
	byte b(t) ;
		b:_FillValue = 7b ;
	short s(y) ;
		s:r = -1s, 2s ;
	char c(y, n) ;
		c:units = "none" ;
	int i(t, y) ;
	float f ;
	double d(t) ;
		d:x = 1.5, 2.5 ;
	:g = 3 ;
data:
 b = 1, _, 3 ;
 s = -1, 0, 1 ;
 c = "ab", "cdef", "" ;
 i = 1, 2, 3, 4, 5, 6, 7, 8, 9 ;
 f = 0.25 ;
 d = 1e300, 2, 3 ;
}
"""

ODD_CDL = "netcdf odd {\ndimensions:\n\tn = 2 ;\nvariables:\n\tint odd\\ name(n) ;\n" \
          "data:\n odd\\ name = 1, 2 ;\n}\n"


# (data set, constraint, {variable path in the download: index of the
# source's values it holds}) for .nc4; None: every variable of every group
# that netCDF4 reads (the vlen and opaque variables are not served).
NC4_READ_BACK = [
    ("model.nc", "", None),
    ("model.nc", "surface.temp[1:2:3][1],obs.temp[0:1],obs.wind.speed[0:1],sky[0:1]",
     {"surface/temp": (slice(1, 4, 2), slice(1, 2)), "surface/time": slice(1, 4, 2),
      "lat": slice(1, 2), "obs": slice(0, 2), "sky": slice(0, 2)}),
    ("model.nc", "surface.soil.depth[1],latest", {"surface/soil/depth": slice(1, 2),
                                                   "lat": slice(1, 2), "latest": ()}),
    ("types.nc", "", None),
    ("types.nc", "note[1:2],label[1:2],i16[2:3][1:2][0:2:4]",
     {"note": slice(1, 3), "label": slice(1, 3), "y": slice(1, 3), "i16": (
         slice(2, 4), slice(1, 3), slice(0, 5, 2)), "t": slice(2, 4), "x": slice(0, 5, 2)}),
    ("wide64.nc", "big", dict(big=ALL)),
]

# 64-bit integers without an exact Float64 value: the data response and .nc
# refuse them, a netCDF-4 file keeps them.
WIDE64_CDL = """netcdf wide64 {
dimensions:
	n = 2 ;
variables:
	int64 big(n) ;
data:
 big = 9223372036854775807, -9223372036854775807 ;
}
"""

# Values for pictures: invalid ones of each kind, and a field without
# coordinate variables.
PICTURE_CDL = """netcdf picture {
dimensions:
	t = 2 ;
	y = 2 ;
	x = 3 ;
variables:
	float odd(y, x) ;
		odd:_FillValue = -1.f ;
		odd:missing_value = -2.f ;
		odd:valid_max = 100.f ;
	short empty(t, y, x) ;
		empty:_FillValue = -9s ;
data:
 odd = NaN, Infinity, 1, -Infinity, 2, -1 ;
 empty = -9, -9, -9, -9, -9, -9, 1, 2, 3, 4, 5, 6 ;
}
"""

# ImagePlot's margins: the plot's top left corner and the space around it.
LEFT, TOP, RIGHT, BOTTOM, MIN_LONG_SIDE = 90, 40, 120, 60, 400
VIRIDIS_LOW, VIRIDIS_HIGH = (0x44, 0x01, 0x54), (0xfd, 0xe7, 0x25)


def body_of(raw):
    """The header block (a dict) and body of a handler's raw response."""
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return lines[0], dict(l.split(": ", 1) for l in lines[1:]), body


def attributes(var):
    return {k: var.getncattr(k) for k in var.ncattrs() if k != "history"}


def same_attribute(test, expected, got, where):
    if isinstance(expected, list):  # strings: joined by newlines
        expected = "\n".join(expected)
    if isinstance(expected, str):
        test.assertEqual(got, expected, where)
    else:
        test.assertEqual(numpy.asarray(got).dtype, numpy.asarray(expected).dtype, where)
        numpy.testing.assert_array_equal(got, expected, where)


def without_history(cdl):
    """ncdump's text without its first line and the history attribute."""
    lines, out, skipping = cdl.splitlines()[1:], [], False
    for line in lines:
        skipping = skipping or line.strip().startswith(":history =")
        if not skipping:
            out.append(line)
        if skipping and line.rstrip().endswith(" ;"):
            skipping = False
    return "\n".join(out)


class OutputsTest(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        subprocess.run(["ncgen", "-k", "nc4", "-o", cls.root + "/types.nc",
                        HERE + "/data/types.cdl"], check=True)
        for name, cdl, kind in (("types3", CLASSIC_CDL, "classic"),
                                ("sp ace ü", ODD_CDL, "classic"),
                                ("picture", PICTURE_CDL, "classic"), ("wide64", WIDE64_CDL, "nc4")):
            src = write(os.path.join(cls.base, name + ".cdl"), cdl)
            subprocess.run(["ncgen", "-k", kind, "-o", os.path.join(cls.root, name + ".nc"),
                            src], check=True)

    def opened(self, body):
        """`body` opened with netCDF4 (from a file: netCDF refuses to open
        some small classic files from memory)."""
        path = write(tempfile.mktemp(dir=self.base, suffix=".nc"), body)
        return netCDF4.Dataset(path)

    def download(self, path, constraint):
        status, headers, body = self.get(path + ".nc?" + urllib.parse.quote(constraint, safe=",:"))
        self.assertEqual(status, 200, body[:300])
        self.assertEqual(int(headers["Content-Length"]), len(body))
        return headers, body

    def test_downloads_read_back_equal_to_the_source_slice(self):
        for path, constraint, expected in READ_BACK:
            with self.subTest(path=path, constraint=constraint):
                headers, body = self.download(path, constraint)
                self.assertEqual(headers["Content-Type"], "application/x-netcdf")
                with netCDF4.Dataset(os.path.join(self.root, path)) as src, \
                        self.opened(body) as got:
                    src.set_auto_maskandscale(False)
                    got.set_auto_maskandscale(False)
                    self.same_slices(src, got, expected)
                    self.assertIn("%s.nc%s" % (path, "?" + constraint if constraint else ""),
                                  got.getncattr("history").splitlines()[0])
                    for k, v in attributes(src).items():
                        same_attribute(self, v, got.getncattr(k), k)

    def same_slices(self, src, got, expected):
        if expected is None:  # the whole root group, except compounds
            expected = {n: ALL for n, v in src.variables.items()
                        if not isinstance(v.datatype, netCDF4.CompoundType)}
        self.assertEqual(sorted(got.variables), sorted(expected))
        for name, index in expected.items():
            s = src[name.replace(".", "/")] if "." in name else src.variables[name]
            g = got.variables[name]
            want = numpy.asarray(s[...])[index]
            if s.dtype == str:  # a string variable comes as characters
                self.assertEqual(g.dtype, numpy.dtype("S1"), name)
                self.assertEqual(list(netCDF4.chartostring(g[...])), list(want), name)
            else:
                self.assertEqual(g.dtype, s.dtype, name)
                numpy.testing.assert_array_equal(g[...], want, name)
            self.assertEqual(list(g.ncattrs()), list(s.ncattrs()), name)
            for k in s.ncattrs():
                same_attribute(self, s.getncattr(k), g.getncattr(k), name + ":" + k)
            for d, dim in zip(s.dimensions, g.dimensions):
                self.assertEqual(got.dimensions[dim].isunlimited(),
                                 src[name.replace(".", "/")].group().dimensions[d].isunlimited()
                                 if "." not in name else got.dimensions[dim].isunlimited(), name)

    def test_ncdump_equals_ncdump_of_ncks_subset(self):
        tmp = tempfile.mkdtemp(dir=self.base)
        for path, constraint, args in LIKE_NCKS:
            with self.subTest(path=path, constraint=constraint):
                _, body = self.download(path, constraint)
                ours = write(os.path.join(tmp, "ours.nc"), body)
                theirs = os.path.join(tmp, "theirs.nc")
                subprocess.run(["ncks", "-O", "-h", "--no-abc"] + args +
                               [os.path.join(self.root, path), theirs], check=True)
                dumps = [subprocess.run(["ncdump", f], capture_output=True, text=True,
                                        check=True).stdout for f in (ours, theirs)]
                self.assertEqual(without_history(dumps[0]), without_history(dumps[1]))

    def test_the_format_is_the_smallest_that_holds_the_selection(self):
        for path, constraint, magic in [("sst.nc", "sst", b"CDF\x01"),
                                        ("types.nc", "i16,f64", b"CDF\x01"),
                                        ("types.nc", "u8", b"CDF\x05"),
                                        ("types.nc", "i64", b"CDF\x05")]:
            with self.subTest(constraint=constraint):
                self.assertEqual(self.download(path, constraint)[1][:4], magic)

    def test_the_file_name_comes_from_the_data_set_and_selection(self):
        for path, constraint, name, encoded, variable in [
                ("sst.nc", "sst[0]", "sst_sst.nc", "sst_sst.nc", "sst"),
                ("sst.nc", "", "sst.nc", "sst.nc", "lat"),
                ("sp%20ace%20%C3%BC.nc", "odd%20name", "sp_ace____odd_name.nc",
                 "sp%20ace%20%C3%BC_odd%20name.nc", "odd name")]:
            with self.subTest(path=path):
                status, headers, body = self.get(path + ".nc?" + constraint)
                self.assertEqual(status, 200, body[:300])
                self.assertEqual(headers["Content-Disposition"],
                                 "attachment; filename=\"%s\"; filename*=UTF-8''%s" % (name, encoded))
                with self.opened(body) as got:
                    self.assertIn(variable, got.variables)

    def test_what_cannot_be_one_file_is_refused_before_any_header(self):
        for path, constraint, words in [
                ("model.nc", "obs", "compound"),
                ("sst.nc", "sst[0][0:1][0],lat", "is selected as [0:1:2] for"),
                ("sst.nc", "nosuch", "nosuch"),
                ("sst.nc", "sst[0:5]", "")]:
            with self.subTest(constraint=constraint):
                status, headers, body = self.get(path + ".nc?" + urllib.parse.quote(constraint,
                                                                                    safe=",:"))
                self.assertEqual(status, 400 if words != "nosuch" else 404, body)
                self.assertTrue(body.startswith(b"Error {"), body)
                self.assertIn(words.encode(), body)

    def test_a_selection_over_the_cap_is_refused_before_any_header(self):
        def run(ce, cap):
            env = dict(os.environ, QVP_MAX_NC_BYTES=str(cap))
            return body_of(subprocess.run(
                [ENV["QVP_HANDLER"], "--view=nc", "-v", "t", "-u", "http://h/qvp/sst.nc", "-e", ce,
                 self.root + "/sst.nc"], capture_output=True, env=env).stdout)
        status, _, small = run("sst[0][0][0]", 1 << 20)
        self.assertIn("200", status)
        self.assertIn("200", run("sst[0][0][0]", len(small))[0])
        status, _, body = run("sst", len(small))
        self.assertIn("400", status)
        self.assertIn(b"more than the %d" % len(small), body)

    def test_the_bare_data_set_still_leads_to_its_page(self):
        status, headers, _ = self.get("sst.nc")
        self.assertEqual(status, 301)
        self.assertTrue(headers["Location"].endswith("/qvp/sst.nc.html"))

    def test_the_pool_sends_the_same_file(self):
        pool = Pool(os.path.join(self.base, "pool"), self.root, "--workers", 1)
        try:
            status, headers, body = body_of(pool.request("/sst.nc.nc", "sst[0:1:1][1:2][0:2:3]"))
        finally:
            pool.stop()
        self.assertIn("200", status)
        _, cgi = self.download("sst.nc", "sst[0:1:1][1:2][0:2:3]")
        with self.opened(body) as a, self.opened(cgi) as b:
            for name in b.variables:
                numpy.testing.assert_array_equal(a[name][...], b[name][...])


class PictureTest(ServedTestCase):
    ramp = True

    @classmethod
    def prepare(cls):
        OutputsTest.prepare.__func__(cls)

    def picture(self, path, constraint):
        status, headers, body = self.get(path + ".png?" + urllib.parse.quote(constraint, safe=",:"))
        self.assertEqual(status, 200, body[:300])
        self.assertEqual(headers["Content-Type"], "image/png")
        self.assertEqual(int(headers["Content-Length"]), len(body))
        return Image.open(io.BytesIO(body)).convert("RGBA")

    def cell(self, image, rows, cols, r, c):
        """The pixel at the centre of cell (r, c); row 0 is drawn at the bottom."""
        scale = max(1, MIN_LONG_SIDE // max(rows, cols))
        return image.getpixel((LEFT + c * scale + scale // 2,
                               TOP + (rows - 1 - r) * scale + scale // 2))

    def test_pictures_have_their_grids_size_and_invalid_values_transparent(self):
        # (data set, constraint, rows, cols of the drawn grid)
        for path, constraint, rows, cols in [("sst.nc", "sst[0][0:2][0:3]", 3, 4),
                                             ("sst.nc", "sst[1][0:1][1:3]", 2, 3),
                                             ("ramp.nc", "ramp", 1024, 1024),
                                             ("ramp.nc", "ramp[0:2:2047][5:1030]", 512, 513),
                                             ("picture.nc", "odd", 2, 3)]:
            with self.subTest(constraint=constraint):
                image = self.picture(path, constraint)
                scale = max(1, MIN_LONG_SIDE // max(rows, cols))
                self.assertEqual(image.size, (LEFT + RIGHT + cols * scale,
                                              TOP + BOTTOM + rows * scale))
        sst = self.picture("sst.nc", "sst[0][0:2][0:3]")
        self.assertEqual(self.cell(sst, 3, 4, 2, 3)[3], 0)  # _FillValue
        self.assertEqual(self.cell(sst, 3, 4, 0, 0)[3], 255)

    def test_the_colour_range_holds_only_valid_finite_values(self):
        image = self.picture("picture.nc", "odd")
        # NaN, Infinity / 1 / -Infinity, 2, _FillValue: 1 and 2 span the range.
        for r, c in [(0, 0), (0, 1), (1, 0), (1, 2)]:
            self.assertEqual(self.cell(image, 2, 3, r, c)[3], 0, (r, c))
        self.assertEqual(self.cell(image, 2, 3, 0, 2), VIRIDIS_LOW + (255,))
        self.assertEqual(self.cell(image, 2, 3, 1, 1), VIRIDIS_HIGH + (255,))

    def test_an_all_fill_slice_is_a_picture_that_says_so(self):
        image = self.picture("picture.nc", "empty[0][0:1][0:2]")
        self.assertEqual(self.cell(image, 2, 3, 0, 0)[3], 0)
        drawn = self.picture("picture.nc", "empty[1][0:1][0:2]")
        self.assertEqual(self.cell(drawn, 2, 3, 0, 0)[3], 255)
        # The message is drawn across the middle of the plot.
        middle = [image.getpixel((x, TOP + 133)) for x in range(LEFT, LEFT + 3 * 133)]
        self.assertTrue(any(p[3] > 0 for p in middle))

    def test_what_is_no_2d_slice_is_refused_naming_its_shape(self):
        for constraint, shape in [("sst", "2 x 3 x 4"), ("lat", "3"),
                                  ("sst[0:1][0][0:3]", "2 x 1 x 4")]:
            with self.subTest(constraint=constraint):
                status, _, body = self.get("sst.nc.png?" + constraint)
                self.assertEqual(status, 400)
                self.assertIn(b"selected as " + shape.encode(), body)
        for constraint in ["sst,lat", "time"]:
            status, _, body = self.get("sst.nc.png?" + constraint)
            self.assertEqual(status, 400, constraint)


def variables_of(group, prefix=""):
    """Every variable of `group` and the groups in it, by path."""
    out = {prefix + n: v for n, v in group.variables.items()}
    for name, g in group.groups.items():
        out.update(variables_of(g, prefix + name + "/"))
    return out


def dimension(var, name):
    """The dimension `name` of `var`, looked up outwards from its group."""
    group = var.group()
    while name not in group.dimensions:
        group = group.parent
    return group.dimensions[name]


def same_values(got, want, where):
    """Equal values; a compound's member by member, a vlen's element by
    element."""
    if want.dtype.names:
        for field in want.dtype.names:
            same_values(got[field], want[field], where + "." + field)
    elif want.dtype == object:
        test_shape = (got.shape, want.shape)
        assert test_shape[0] == test_shape[1], (where, test_shape)
        for a, b in zip(got.flat, want.flat):
            numpy.testing.assert_array_equal(a, b, where)
    else:
        numpy.testing.assert_array_equal(got, want, where)


def same_type(test, src, got, where):
    """Compound, enum and string types as the source has them."""
    if isinstance(src.datatype, (netCDF4.CompoundType, netCDF4.EnumType)):
        test.assertEqual(type(got.datatype), type(src.datatype), where)
        test.assertEqual(got.datatype.name, src.datatype.name, where)
        test.assertEqual(got.datatype.dtype, src.datatype.dtype, where)
        if isinstance(src.datatype, netCDF4.EnumType):
            test.assertEqual(got.datatype.enum_dict, src.datatype.enum_dict, where)
    else:
        test.assertEqual(got.dtype, src.dtype, where)


class Nc4Test(ServedTestCase):
    ramp = False

    @classmethod
    def prepare(cls):
        OutputsTest.prepare.__func__(cls)

    def download(self, path, constraint):
        status, headers, body = self.get(path + ".nc4?" + urllib.parse.quote(constraint, safe=",:"))
        self.assertEqual(status, 200, body[:300])
        self.assertEqual(headers["Content-Type"], "application/x-netcdf")
        self.assertEqual(int(headers["Content-Length"]), len(body))
        path = write(tempfile.mktemp(dir=self.base, suffix=".nc4"), body)
        return headers, path

    def test_nc4_reads_back_with_groups_and_types_kept(self):
        for path, constraint, expected in NC4_READ_BACK:
            with self.subTest(path=path, constraint=constraint):
                _, got_path = self.download(path, constraint)
                with netCDF4.Dataset(os.path.join(self.root, path)) as src, \
                        netCDF4.Dataset(got_path) as got:
                    self.assertEqual(got.data_model, "NETCDF4")
                    src.set_auto_maskandscale(False)
                    got.set_auto_maskandscale(False)
                    sources, gots = variables_of(src), variables_of(got)
                    if expected is None:
                        expected = {n: ALL for n in sources}
                    self.assertEqual(sorted(gots), sorted(expected))
                    for name, index in expected.items():
                        s, g = sources[name], gots[name]
                        same_type(self, s, g, name)
                        same_values(numpy.asarray(g[...]), numpy.asarray(s[...])[index], name)
                        self.assertEqual(list(g.ncattrs()), list(s.ncattrs()), name)
                        for k in s.ncattrs():  # strings stay strings
                            numpy.testing.assert_array_equal(g.getncattr(k), s.getncattr(k))
                            self.assertEqual(numpy.asarray(g.getncattr(k)).dtype,
                                             numpy.asarray(s.getncattr(k)).dtype, name + ":" + k)
                        for d in s.dimensions:
                            self.assertEqual(dimension(g, d).isunlimited(),
                                             dimension(s, d).isunlimited(), name)
                    for k, v in attributes(src).items():
                        numpy.testing.assert_array_equal(got.getncattr(k), v, k)
                    self.assertIn("%s.nc4" % path, got.getncattr("history").splitlines()[0])
                    if "surface/temp" in expected:
                        self.assertEqual(got["surface"].comment, "surface layer")

    def test_compound_with_a_string_member_is_kept(self):
        # netCDF4 skips such a type; ncdump shows its values.
        _, got = self.download("model.nc", "tagged")
        dump = lambda f: re.search(r"\n tagged = [^;]*;", subprocess.run(  # noqa: E731
            ["ncdump", "-v", "tagged", f], capture_output=True, text=True, check=True
        ).stdout).group(0)
        self.assertEqual(dump(got), dump(os.path.join(self.root, "model.nc")))
        self.assertIn('tagged = {1, "x"}, {2, "y"}, {3, "z"}', dump(got))

    def test_refusals_come_before_any_header(self):
        for constraint, words in [("obs.temp[0:1],obs.id[1:2]", "selected with different ranges"),
                                  ("nosuch", "nosuch"), ("version()", "function")]:
            with self.subTest(constraint=constraint):
                status, _, body = self.get("model.nc.nc4?" + urllib.parse.quote(constraint,
                                                                                 safe=",:()"))
                self.assertIn(status, (400, 404), body)
                self.assertTrue(body.startswith(b"Error {"), body)
                self.assertIn(words.encode(), body)

    def test_the_cap_and_the_temporary_file(self):
        spool = tempfile.mkdtemp(dir=self.base)
        os.chmod(spool, 0o700)

        def run(ce, cap, path="sst.nc"):
            env = dict(os.environ, QVP_MAX_NC4_BYTES=str(cap), QVP_CACHE_DIR=spool)
            return body_of(subprocess.run(
                [ENV["QVP_HANDLER"], "--view=nc4", "-v", "t", "-u", "http://h/qvp/" + path, "-e",
                 ce, os.path.join(self.root, path)], capture_output=True, env=env).stdout)
        status, _, small = run("sst[0][0][0]", 1 << 30)
        self.assertIn("200", status)
        self.assertIn("200", run("sst[0][0][0]", len(small))[0])
        # The values alone are over the cap: refused before the file is made.
        status, _, body = run("sst", 16)
        self.assertIn("400", status)
        self.assertIn(b"more than the 16", body)
        # The values fit but the file made does not.
        status, _, body = run("", len(small), "types.nc")
        self.assertIn("400", status)
        self.assertIn(b"more than the %d" % len(small), body)
        self.assertEqual(os.listdir(spool), [])
