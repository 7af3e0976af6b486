// Data responses that may take the raw path (classic files' bytes sent as
// they lie on disk) against an independent decode with the netCDF library,
// for every format, type, fixed and record layout and kind of selection;
// which boxes the raw reader serves; the chunk cache sizes for netCDF-4.
#include "NcFastPath.h"

#include <libqvp/XDRStreamMarshaller.h>

#include <sstream>

#include "HandlerRun.h"
#include "NcDDS.h"
#include "NcFile.h"
#include "RawRunReader.h"

namespace libqvp {
namespace test {
namespace {

using Sizes = std::vector<size_t>;

constexpr size_t kCols = 1500, kRecords = 40;

struct TestVar {
  const char* name;
  nc_type type;
  Sizes shape;  // a first length 0: the record dimension
};

// "lng" has rows longer than a box: its boxes split the run. "filled" is
// written for its first ten rows only; the rest are fill values.
const Sizes kYX{200, kCols}, kTX{0, kCols};
const TestVar kVars[] = {
    {"f32", NC_FLOAT, kYX},         {"f64", NC_DOUBLE, kYX},
    {"i32", NC_INT, kYX},           {"i16", NC_SHORT, kYX},
    {"i8", NC_BYTE, kYX},           {"u32", NC_UINT, kYX},
    {"u8", NC_UBYTE, kYX},          {"u16", NC_USHORT, kYX},
    {"lng", NC_FLOAT, {2, 300000}}, {"filled", NC_FLOAT, kYX},
    {"rf32", NC_FLOAT, kTX},        {"rf64", NC_DOUBLE, kTX},
    {"ri32", NC_INT, kTX},
};

// Whether `mode` can hold `v`: unsigned types need CDF-5 or netCDF-4.
bool holds(int mode, const TestVar& v) {
  return v.type <= NC_DOUBLE || (mode & (NC_64BIT_DATA | NC_NETCDF4)) != 0;
}

// Writes every variable of kVars that `mode` can hold, as pseudo-random
// bytes: every bit pattern, NaNs and infinities included.
std::string make_file(const TempDir& dir, int mode) {
  const std::string path = dir / "all.nc";
  int ncid, dims[2], id;
  nc_ok(nc_create(path.c_str(), NC_CLOBBER | mode, &ncid));
  auto dim = [&](size_t len) { return "d" + std::to_string(len); };
  for (size_t len : {size_t{0}, size_t{200}, kCols, size_t{2}, size_t{300000}})
    nc_ok(nc_def_dim(ncid, dim(len).c_str(), len, dims));
  const float fill = -999.0f;
  for (const TestVar& v : kVars) {
    if (!holds(mode, v)) continue;
    for (int d = 0; d < 2; ++d)
      nc_ok(nc_inq_dimid(ncid, dim(v.shape[d]).c_str(), &dims[d]));
    nc_ok(nc_def_var(ncid, v.name, v.type, 2, dims, &id));
    if (std::strcmp(v.name, "filled") == 0)
      nc_ok(nc_put_att_float(ncid, id, "_FillValue", NC_FLOAT, 1, &fill));
  }
  nc_ok(nc_enddef(ncid));
  uint32_t seed = 7;
  for (const TestVar& v : kVars) {
    if (!holds(mode, v)) continue;
    Sizes count{v.shape[0] == 0 ? kRecords : v.shape[0], v.shape[1]};
    if (std::strcmp(v.name, "filled") == 0) count[0] = 10;
    size_t size = 0;
    nc_ok(nc_inq_type(ncid, v.type, nullptr, &size));
    std::vector<unsigned char> bytes(count[0] * count[1] * size);
    for (auto& c : bytes) c = (seed = seed * 1103515245u + 12345u) >> 16;
    const size_t start[2] = {0, 0};
    nc_ok(nc_inq_varid(ncid, v.name, &id));
    nc_ok(nc_put_vara(ncid, id, start, count.data(), bytes.data()));
  }
  nc_ok(nc_close(ncid));
  return path;
}

// The XDR of name[start:stride:...count] as the netCDF library decodes it.
std::string expected_xdr(int ncid, const std::string& name, const Sizes& start,
                         const Sizes& stride, const Sizes& count) {
  int id;
  nc_type type;
  nc_ok(nc_inq_varid(ncid, name.c_str(), &id));
  nc_ok(nc_inq_vartype(ncid, id, &type));
  const size_t n = count[0] * count[1];
  const std::vector<ptrdiff_t> st(stride.begin(), stride.end());
  std::vector<float> f(n);
  std::vector<double> d(n);
  std::vector<long long> w(n);
  const size_t *at = start.data(), *c = count.data();
  nc_ok(type == NC_FLOAT
            ? nc_get_vars_float(ncid, id, at, c, st.data(), f.data())
        : type == NC_DOUBLE
            ? nc_get_vars_double(ncid, id, at, c, st.data(), d.data())
            : nc_get_vars_longlong(ncid, id, at, c, st.data(), w.data()));
  std::string out = counts(static_cast<unsigned>(n));
  for (size_t i = 0; i < n; ++i)  // bytes packed, other integers widened
    out += type == NC_FLOAT    ? xdr_f32(f[i])
           : type == NC_DOUBLE ? xdr_f64(d[i])
           : type == NC_UBYTE  ? std::string(1, static_cast<char>(w[i]))
                               : be(static_cast<uint64_t>(w[i]), 4);
  return out + std::string(type == NC_UBYTE ? (4 - n % 4) % 4 : 0, '\0');
}

// [first:stride:last] per dimension.
const struct Selection {
  const char* label;
  size_t first[2], stride[2];
  long last[2];  // negative: from the end (-1 is the last index)
} kSelections[] = {
    {"whole", {0, 0}, {1, 1}, {-1, -1}},
    {"inner box", {1, 7}, {1, 1}, {-1, -3}},
    {"strided rows", {0, 0}, {3, 1}, {-1, -1}},
    {"strided columns", {0, 1}, {1, 2}, {-1, -1}},
    {"short runs", {0, 5}, {1, 1}, {-1, 20}},
};

class NcFastPathTest : public ::testing::TestWithParam<int> {};

// One response per selection holds every variable; its XDR part must equal
// the independent decode's, variable by variable.
TEST_P(NcFastPathTest, ResponsesEqualAnIndependentDecode) {
  TempDir dir;
  const std::string path = make_file(dir, GetParam());
  int ncid;
  nc_ok(nc_open(path.c_str(), NC_NOWRITE, &ncid));
  for (const Selection& sel : kSelections) {
    SCOPED_TRACE(sel.label);
    std::string ce;
    std::vector<std::pair<std::string, std::string>> want;  // name, XDR
    for (const TestVar& v : kVars) {
      if (!holds(GetParam(), v)) continue;
      const Sizes first(sel.first, sel.first + 2),
          stride(sel.stride, sel.stride + 2);
      Sizes count(2);
      ce += std::string(ce.empty() ? "" : ",") + v.name;
      for (size_t d = 0; d < 2; ++d) {
        const size_t len = d == 0 && v.shape[0] == 0 ? kRecords : v.shape[d];
        const size_t last =
            sel.last[d] < 0 ? len - size_t(-sel.last[d]) : size_t(sel.last[d]);
        count[d] = (last - first[d]) / stride[d] + 1;
        ce += "[" + std::to_string(first[d]) + ":" + std::to_string(stride[d]) +
              ":" + std::to_string(last) + "]";
      }
      want.emplace_back(v.name,
                        expected_xdr(ncid, v.name, first, stride, count));
    }
    const RunResult r = run_handler({"-o", "DataDDS", "-e", ce, path});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t at = r.out.find("\nData:\n");
    ASSERT_NE(at, std::string::npos) << r.out.substr(0, 400);
    at += 7;
    for (const auto& [name, xdr] : want) {
      EXPECT_TRUE(r.out.compare(at, xdr.size(), xdr) == 0)
          << name << " differs";
      at += xdr.size();
    }
    EXPECT_EQ(at, r.out.size());
  }
  nc_close(ncid);
}

INSTANTIATE_TEST_SUITE_P(Formats, NcFastPathTest,
                         ::testing::Values(0, NC_64BIT_OFFSET, NC_64BIT_DATA,
                                           NC_NETCDF4),
                         [](const auto& format) -> std::string {
                           return format.param == 0                 ? "classic"
                                  : format.param == NC_64BIT_OFFSET ? "offset64"
                                  : format.param == NC_64BIT_DATA   ? "cdf5"
                                                                    : "netcdf4";
                         });

// Which boxes the raw reader serves itself, and that what it writes is the
// independent decode's bytes.
TEST(RawRunReaderTest, ServesContiguousRunsAndDeclinesTheRest) {
  TempDir dir;
  const std::string path = make_file(dir, NC_64BIT_DATA);
  NcFile file(path);
  ASSERT_TRUE(file.raw_reader());
  DDS dds;
  build_dds(file, dds);
  static const struct {
    const char* var;
    bool has_reader;
    Sizes start, stride, count;
    bool served;
  } cases[] = {
      {"f32", true, {0, 0}, {1, 1}, {3, kCols}, true},     // whole rows
      {"f64", true, {2, 10}, {1, 1}, {4, 1200}, true},     // part rows
      {"u32", true, {1, 0}, {5, 1}, {3, kCols}, true},     // strided rows
      {"lng", true, {1, 1000}, {1, 1}, {1, 5000}, true},   // part of a run
      {"filled", true, {8, 0}, {1, 1}, {4, kCols}, true},  // fill values
      {"i32", true, {0, 0}, {1, 2}, {3, 700}, false},      // strided columns
      {"i32", true, {0, 0}, {1, 1}, {50, 20}, false},      // 80-byte runs
      {"i16", true, {0, 0}, {1, 1}, {3, kCols}, true},     // widened to 4
      {"u16", true, {5, 0}, {1, 1}, {4, kCols}, true},     // bytes each
      {"i16", true, {0, 0}, {1, 1}, {50, 1000}, false},    // 2000-byte runs
      {"i8", false, {}, {}, {}, false},                    // widened
      {"rf32", false, {}, {}, {}, false},                  // record variable
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.var);
    auto* a = dynamic_cast<Array*>(dds.var(c.var));
    ASSERT_NE(a, nullptr);
    int varid;
    nc_ok(nc_inq_varid(file.id(), c.var, &varid));
    const auto reader =
        RawRunReader::encoded_reader(file.raw_reader(), file.id(), varid, *a);
    ASSERT_EQ(static_cast<bool>(reader), c.has_reader);
    if (!reader) continue;
    std::ostringstream out;
    {
      XDRStreamMarshaller m(out);
      EXPECT_EQ(reader(*a, c.start, c.stride, c.count, m), c.served);
    }
    EXPECT_TRUE(out.str() == (c.served ? expected_xdr(file.id(), c.var, c.start,
                                                      c.stride, c.count)
                                             .substr(8)
                                       : ""))
        << "bytes differ";
  }
}

TEST(ChunkCacheTest, HoldsOneLayerOfTheChunksThatBoxesReadAgain) {
  constexpr size_t MiB = size_t{1} << 20;
  static const struct {
    Sizes chunk, first, last;
    size_t value_bytes, want;
  } cases[] = {
      // 32 chunks of 1 MiB across a row of chunks, one to spare
      {{256, 1024}, {0, 0}, {2047, 32767}, 4, 33 * MiB},
      // a selection of 4 chunk columns needs 4 (+1)
      {{256, 1024}, {0, 0}, {2047, 4095}, 4, 5 * MiB},
      // chunks one row deep are not read again: one chunk (+1)
      {{1, 1024}, {0, 0}, {2047, 32767}, 4, 2 * 4096},
      // a single selected row: chunks along it are read once each
      {{256, 1024}, {5, 0}, {5, 32767}, 4, 2 * MiB},
      // capped
      {{256, 1024}, {0, 0}, {2047, 1 << 20}, 8, kMaxChunkCacheBytes},
  };
  for (const auto& c : cases)
    EXPECT_EQ(chunk_cache_bytes(c.chunk, c.first, c.last, c.value_bytes),
              c.want)
        << &c - cases;
}

}  // namespace
}  // namespace test
}  // namespace libqvp
