// Data responses that may take the raw path (classic files' bytes sent as
// they lie on disk) against an independent decode: each variable's values read
// with the netCDF library in the test and encoded here, for every format,
// numeric type, fixed and record layout, and selections with and without
// strides, in boxes that split runs, and with fill values. Also which boxes
// the raw reader serves and which it leaves to the ordinary path, and the
// chunk cache sizes asked for netCDF-4 variables.
#include "NcFastPath.h"

#include <gtest/gtest.h>
#include <libqvp/XDRStreamMarshaller.h>
#include <netcdf.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "HandlerRun.h"
#include "NcDDS.h"
#include "NcFile.h"
#include "RawRunReader.h"
#include "TempDir.h"

namespace libqvp {
namespace test {
namespace {

void ok(int status) { ASSERT_EQ(status, NC_NOERR) << nc_strerror(status); }

constexpr size_t kRows = 200, kCols = 1500, kRecords = 40, kLong = 300000;

struct TestVar {
  const char* name;
  nc_type type;
  bool record;    // (time, x) instead of (y, x)
  bool extended;  // a type that classic and 64-bit offset files lack
};

// "lng" (2 x 300000) has rows longer than a box: its boxes split the run.
// "filled" is written for its first ten rows only; the rest are fill values.
const TestVar kVars[] = {
    {"f32", NC_FLOAT, false, false},    {"f64", NC_DOUBLE, false, false},
    {"i32", NC_INT, false, false},      {"i16", NC_SHORT, false, false},
    {"i8", NC_BYTE, false, false},      {"u32", NC_UINT, false, true},
    {"u8", NC_UBYTE, false, true},      {"lng", NC_FLOAT, false, false},
    {"filled", NC_FLOAT, false, false}, {"rf32", NC_FLOAT, true, false},
    {"rf64", NC_DOUBLE, true, false},   {"ri32", NC_INT, true, false},
};

// Pseudo-random bytes: every bit pattern, NaNs and infinities included.
std::vector<unsigned char> noise(size_t n, uint32_t seed) {
  std::vector<unsigned char> b(n);
  for (auto& c : b) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<unsigned char>(seed >> 16);
  }
  return b;
}

std::vector<size_t> shape_of(const TestVar& v) {
  if (std::strcmp(v.name, "lng") == 0) return {2, kLong};
  return {v.record ? kRecords : kRows, kCols};
}

// Writes every variable of kVars that `mode` can hold.
std::string make_file(const TempDir& dir, const std::string& name, int mode) {
  const std::string path = dir / name;
  int ncid, t, y, x, l2, lx;
  ok(nc_create(path.c_str(), NC_CLOBBER | mode, &ncid));
  ok(nc_def_dim(ncid, "time", NC_UNLIMITED, &t));
  ok(nc_def_dim(ncid, "y", kRows, &y));
  ok(nc_def_dim(ncid, "x", kCols, &x));
  ok(nc_def_dim(ncid, "two", 2, &l2));
  ok(nc_def_dim(ncid, "lx", kLong, &lx));
  const bool extended = (mode & (NC_64BIT_DATA | NC_NETCDF4)) != 0;
  std::vector<std::pair<const TestVar*, int>> ids;
  for (const TestVar& v : kVars) {
    if (v.extended && !extended) continue;
    int dims[2] = {v.record ? t : y, x};
    if (std::strcmp(v.name, "lng") == 0) dims[0] = l2, dims[1] = lx;
    int id;
    ok(nc_def_var(ncid, v.name, v.type, 2, dims, &id));
    if (std::strcmp(v.name, "filled") == 0) {
      const float fill = -999.0f;
      ok(nc_put_att_float(ncid, id, "_FillValue", NC_FLOAT, 1, &fill));
    }
    ids.emplace_back(&v, id);
  }
  ok(nc_enddef(ncid));
  uint32_t seed = 7;
  for (const auto& [v, id] : ids) {
    std::vector<size_t> count = shape_of(*v);
    if (std::strcmp(v->name, "filled") == 0) count[0] = 10;
    size_t type_size = 0;
    ok(nc_inq_type(ncid, v->type, nullptr, &type_size));
    const auto bytes = noise(count[0] * count[1] * type_size, ++seed);
    const size_t start[2] = {0, 0};
    ok(nc_put_vara(ncid, id, start, count.data(), bytes.data()));
  }
  ok(nc_close(ncid));
  return path;
}

void put_be(std::string& out, uint64_t v, size_t width) {
  for (size_t i = width; i-- > 0;)
    out.push_back(static_cast<char>(v >> (8 * i)));
}

// The XDR of v[start:stride:...count] decoded with the netCDF library.
std::string expected_xdr(int ncid, const TestVar& v,
                         const std::vector<size_t>& start,
                         const std::vector<size_t>& stride,
                         const std::vector<size_t>& count) {
  int id;
  EXPECT_EQ(nc_inq_varid(ncid, v.name, &id), NC_NOERR);
  const size_t n = count[0] * count[1];
  std::vector<ptrdiff_t> st(stride.begin(), stride.end());
  std::string out;
  put_be(out, n, 4);
  put_be(out, n, 4);
  switch (v.type) {
    case NC_DOUBLE: {
      std::vector<double> d(n);
      nc_get_vars_double(ncid, id, start.data(), count.data(), st.data(),
                         d.data());
      for (double e : d) {
        uint64_t bits;
        std::memcpy(&bits, &e, 8);
        put_be(out, bits, 8);
      }
      break;
    }
    case NC_FLOAT: {
      std::vector<float> f(n);
      nc_get_vars_float(ncid, id, start.data(), count.data(), st.data(),
                        f.data());
      for (float e : f) {
        uint32_t bits;
        std::memcpy(&bits, &e, 4);
        put_be(out, bits, 4);
      }
      break;
    }
    case NC_UBYTE: {
      std::vector<unsigned char> b(n);
      nc_get_vars_uchar(ncid, id, start.data(), count.data(), st.data(),
                        b.data());
      out.append(b.begin(), b.end());
      out.append((4 - n % 4) % 4, '\0');
      break;
    }
    default: {  // sign- or zero-extended to 4 bytes
      std::vector<long long> w(n);
      nc_get_vars_longlong(ncid, id, start.data(), count.data(), st.data(),
                           w.data());
      for (long long e : w) put_be(out, static_cast<uint64_t>(e), 4);
      break;
    }
  }
  return out;
}

// [first:stride:last] per dimension; a negative last counts from the end
// (-1 is the last index).
struct Selection {
  const char* label;
  size_t first[2], stride[2];
  long last[2];

  std::vector<size_t> lasts(const std::vector<size_t>& shape) const {
    std::vector<size_t> l(2);
    for (size_t d = 0; d < 2; ++d)
      l[d] = last[d] < 0 ? shape[d] - static_cast<size_t>(-last[d])
                         : static_cast<size_t>(last[d]);
    return l;
  }
};

const Selection kSelections[] = {
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
  const std::string path = make_file(dir, "all.nc", GetParam());
  int ncid;
  ok(nc_open(path.c_str(), NC_NOWRITE, &ncid));
  const bool extended = (GetParam() & (NC_64BIT_DATA | NC_NETCDF4)) != 0;
  for (const Selection& sel : kSelections) {
    std::string ce, want;
    std::vector<std::pair<std::string, size_t>> parts;  // name, end in want
    for (const TestVar& v : kVars) {
      if (v.extended && !extended) continue;
      const auto shape = shape_of(v);
      const std::vector<size_t> first(sel.first, sel.first + 2),
          stride(sel.stride, sel.stride + 2), last = sel.lasts(shape);
      std::vector<size_t> count(2);
      ce += std::string(ce.empty() ? "" : ",") + v.name;
      for (size_t d = 0; d < 2; ++d) {
        count[d] = (last[d] - first[d]) / stride[d] + 1;
        ce += "[" + std::to_string(first[d]) + ":" + std::to_string(stride[d]) +
              ":" + std::to_string(last[d]) + "]";
      }
      want += expected_xdr(ncid, v, first, stride, count);
      parts.emplace_back(v.name, want.size());
    }
    const RunResult r =
        run_program(QVP_NC_HANDLER, {"-o", "DataDDS", "-e", ce, path});
    SCOPED_TRACE(sel.label);
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t data = r.out.find("\nData:\n");
    ASSERT_NE(data, std::string::npos) << r.out.substr(0, 400);
    const std::string got = r.out.substr(data + 7);
    ASSERT_EQ(got.size(), want.size());
    size_t begin = 0;
    for (const auto& [name, end] : parts) {
      EXPECT_TRUE(got.compare(begin, end - begin, want, begin, end - begin) ==
                  0)
          << name << " differs";
      begin = end;
    }
  }
  nc_close(ncid);
}

INSTANTIATE_TEST_SUITE_P(Formats, NcFastPathTest,
                         ::testing::Values(0, NC_64BIT_OFFSET, NC_64BIT_DATA,
                                           NC_NETCDF4),
                         [](const auto& format) {
                           switch (format.param) {
                             case 0:
                               return std::string("classic");
                             case NC_64BIT_OFFSET:
                               return std::string("offset64");
                             case NC_64BIT_DATA:
                               return std::string("cdf5");
                             default:
                               return std::string("netcdf4");
                           }
                         });

// Which boxes the raw reader serves itself, and that what it writes is the
// independent decode's bytes.
TEST(RawRunReaderTest, ServesContiguousRunsAndDeclinesTheRest) {
  TempDir dir;
  const std::string path = make_file(dir, "cdf5.nc", NC_64BIT_DATA);
  NcFile file(path);
  ASSERT_TRUE(file.raw_reader());
  DDS dds;
  build_dds(file, dds);
  static const struct {
    const char* var;
    bool has_reader;
    std::vector<size_t> start, stride, count;
    bool served;
  } cases[] = {
      {"f32", true, {0, 0}, {1, 1}, {3, kCols}, true},     // whole rows
      {"f64", true, {2, 10}, {1, 1}, {4, 1200}, true},     // part rows
      {"u32", true, {1, 0}, {5, 1}, {3, kCols}, true},     // strided rows
      {"lng", true, {1, 1000}, {1, 1}, {1, 5000}, true},   // part of a run
      {"filled", true, {8, 0}, {1, 1}, {4, kCols}, true},  // fill values
      {"i32", true, {0, 0}, {1, 2}, {3, 700}, false},      // strided columns
      {"i32", true, {0, 0}, {1, 1}, {50, 20}, false},      // 80-byte runs
      {"i16", false, {}, {}, {}, false},                   // widened
      {"i8", false, {}, {}, {}, false},                    // widened
      {"rf32", false, {}, {}, {}, false},                  // record variable
  };
  int ncid;
  ok(nc_open(path.c_str(), NC_NOWRITE, &ncid));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.var);
    auto* a = dynamic_cast<Array*>(dds.var(c.var));
    ASSERT_NE(a, nullptr);
    int varid;
    ok(nc_inq_varid(file.id(), c.var, &varid));
    const auto reader =
        RawRunReader::encoded_reader(file.raw_reader(), file.id(), varid, *a);
    ASSERT_EQ(static_cast<bool>(reader), c.has_reader);
    if (!reader) continue;
    std::ostringstream out;
    {
      XDRStreamMarshaller m(out);
      EXPECT_EQ(reader(*a, c.start, c.stride, c.count, m), c.served);
    }
    const TestVar* def = nullptr;
    for (const TestVar& v : kVars)
      if (std::strcmp(v.name, c.var) == 0) def = &v;
    const std::string want =
        c.served
            ? expected_xdr(ncid, *def, c.start, c.stride, c.count).substr(8)
            : "";
    EXPECT_TRUE(out.str() == want) << "bytes differ";
  }
  nc_close(ncid);
}

TEST(ChunkCacheTest, HoldsOneLayerOfTheChunksThatBoxesReadAgain) {
  constexpr size_t MiB = size_t{1} << 20;
  static const struct {
    std::vector<size_t> chunk, first, last;
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
        << c.chunk[0] << "x" << c.chunk[1] << " first " << c.first[0] << ","
        << c.first[1] << " last " << c.last[0] << "," << c.last[1];
}

}  // namespace
}  // namespace test
}  // namespace libqvp
