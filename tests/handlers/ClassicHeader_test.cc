// The classic header check: files written by the netCDF library pass, damaged
// ones are refused with a message that says what is wrong (a lying attribute
// length used to cost the netCDF library seconds and gigabytes).
#include "ClassicHeader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ExpectError.h"
#include "HandlerRun.h"

namespace libqvp {
namespace test {
namespace {

// A file of one variable `v` over the given dimensions (length 0: the record
// dimension), followed by `data` bytes of values. `begin` 0 puts the values
// right after the header. Counts are 8 bytes in version 5, the begin offset
// 4 bytes in version 1.
struct OneVariable {
  int version = 1;
  uint64_t records = 0;
  std::vector<uint64_t> dims = {5};
  std::vector<uint64_t> dimids = {0};
  uint32_t type = NC_FLOAT;
  uint64_t begin = 0;
  size_t data = 20;
  uint32_t var_tag = 11;

  std::string head(uint64_t values_at) const {
    std::string h = "CDF" + std::string(1, static_cast<char>(version));
    auto count = [&](uint64_t v) { h += be(v, version == 5 ? 8 : 4); };
    auto name = [&](const std::string& s) {
      count(s.size());
      h += s + std::string((4 - s.size() % 4) % 4, '\0');
    };
    count(records);
    h += be(10, 4);  // the dimension list
    count(dims.size());
    for (size_t i = 0; i < dims.size(); ++i) {
      name("d" + std::to_string(i));
      count(dims[i]);
    }
    h += be(0, 4);  // no global attributes
    count(0);
    h += be(var_tag, 4);
    count(1);
    name("v");
    count(dimids.size());
    for (uint64_t id : dimids) count(id);
    h += be(0, 4);  // no attributes
    count(0);
    h += be(type, 4);
    count(0);
    return h + be(values_at, version == 1 ? 4 : 8);
  }
  std::string bytes() const {
    return head(begin ? begin : head(0).size()) + std::string(data, '\x01');
  }
};

// `bytes` parsed as the file "t.nc" in `dir`; Errors pass through.
ClassicHeader parse(const TempDir& dir, const std::string& bytes) {
  struct Fd {
    int fd;
    ~Fd() { close(fd); }
  } f{open(dir.write("t.nc", bytes).c_str(), O_RDONLY)};
  return ClassicHeader(f.fd, bytes.size(), "t.nc");
}

// Parsing `bytes` must fail with a message about damage containing `what`.
void expect_damaged(const TempDir& dir, const std::string& bytes,
                    const std::string& what) {
  expect_throw<Error>(
      [&] { parse(dir, bytes); },
      [&](const Error& e) {
        const std::string m = e.get_error_message();
        EXPECT_EQ(internal_error, e.get_error_code());
        EXPECT_EQ(m.rfind("The data set \"t.nc\" is damaged: ", 0), 0u) << m;
        EXPECT_NE(m.find(what), std::string::npos) << m;
      });
}

// A file written by the netCDF library: fixed "a" (5 floats, with a units
// attribute), record "r" (5 ints per record, 3 records) and a global "title".
std::string library_file(const TempDir& dir, int mode) {
  const std::string path = dir / "lib.nc";
  int ncid, t, x, a, r;
  EXPECT_EQ(nc_create(path.c_str(), NC_CLOBBER | mode, &ncid), NC_NOERR);
  nc_def_dim(ncid, "time", NC_UNLIMITED, &t);
  nc_def_dim(ncid, "x", 5, &x);
  nc_def_var(ncid, "a", NC_FLOAT, 1, &x, &a);
  nc_put_att_text(ncid, a, "units", 4, "degC");
  const int rd[2] = {t, x};
  nc_def_var(ncid, "r", NC_INT, 2, rd, &r);
  nc_put_att_text(ncid, NC_GLOBAL, "title", 17, "A small test file");
  nc_enddef(ncid);
  const float av[5] = {1, 2, 3, 4, 5};
  nc_put_var_float(ncid, a, av);
  const int rv[15] = {};
  const size_t start[2] = {0, 0}, count[2] = {3, 5};
  nc_put_vara_int(ncid, r, start, count, rv);
  EXPECT_EQ(nc_close(ncid), NC_NOERR);
  return read_file(path);
}

TEST(ClassicHeaderTest, AcceptsWhatTheLibraryWrites) {
  TempDir dir;
  for (int mode : {0, NC_64BIT_OFFSET, NC_64BIT_DATA}) {
    SCOPED_TRACE(mode);
    const std::string file = library_file(dir, mode);
    const ClassicHeader h = parse(dir, file);
    ASSERT_EQ(h.variables().size(), 2u);
    EXPECT_EQ(h.variables()[0].name, "a");
    EXPECT_FALSE(h.variables()[0].is_record);
    EXPECT_EQ(h.variables()[1].shape, (std::vector<uint64_t>{0, 5}));
    EXPECT_TRUE(h.variables()[1].is_record);
    // The last record's values end the file exactly.
    expect_damaged(dir, file.substr(0, file.size() - 1), "past the end");
  }
  OneVariable cdf5;
  cdf5.version = 5;
  cdf5.type = NC_UINT64;
  cdf5.data = 40;
  for (const OneVariable& v : {OneVariable{}, cdf5})
    EXPECT_EQ(parse(dir, v.bytes()).variables().size(), 1u);
}

TEST(ClassicHeaderTest, RefusesDamagedFiles) {
  TempDir dir;
  const std::string lib = library_file(dir, 0);
  // The offset of the 4-byte field `k` fields after the padded name `n`.
  auto after = [&](const std::string& n, size_t k) {
    return lib.find(n) + n.size() + (4 - n.size() % 4) % 4 + 4 * k;
  };
  auto with = [&](size_t at, char byte) {
    std::string f = lib;
    f[at] = byte;
    return f;
  };
  OneVariable huge;  // float v[2147483647] in a 264-byte file
  huge.dims = {2147483647};
  OneVariable overflow;  // 2^40 x 2^40 doubles
  overflow.version = 5;
  overflow.dims = {uint64_t{1} << 40, uint64_t{1} << 40};
  overflow.dimids = {0, 1};
  overflow.type = NC_DOUBLE;
  OneVariable bad_dimid, bad_type, record_second, early, late, bad_tag, ubyte1;
  bad_dimid.dimids = {3};
  bad_type.type = 42;
  ubyte1.type = NC_UBYTE;  // not a type of version 1
  record_second.dims = {5, 0};
  record_second.dimids = {0, 1};
  early.begin = 8;
  late.begin = 4096;
  bad_tag.var_tag = 12;
  std::string huge_bytes = huge.bytes();
  huge_bytes.resize(264, '\0');

  static const char* const kEnd = "end past the end of the file";
  const struct {
    const char* label;
    std::string file;
    const char* message;
  } cases[] = {
      {"the title's length made 2^29", with(after("title", 1), 0x20),
       "the header runs past the end of the file"},
      {"a variable's attribute count made huge",
       with(after("units", 0) - 16, 0x7f), ""},
      {"232 records declared, 3 present", with(7, '\xe8'), kEnd},
      {"cut inside the fixed variable", lib.substr(0, lib.size() - 68), kEnd},
      {"cut inside the header", lib.substr(0, 60), "past the end"},
      {"float v[2147483647] in 264 bytes", huge_bytes, kEnd},
      {"2^80 values", overflow.bytes(), "overflows"},
      {"a dimension id out of range", bad_dimid.bytes(), "dimension id 3"},
      {"an unknown type", bad_type.bytes(), "unknown type 42"},
      {"an extended type in version 1", ubyte1.bytes(), "unknown type 7"},
      {"the record dimension second", record_second.bytes(),
       "record dimension"},
      {"values inside the header", early.bytes(), "start at byte 8"},
      {"values past the end", late.bytes(), "start at byte 4096"},
      {"a wrong list tag", bad_tag.bytes(), "expected list tag 11"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    expect_damaged(dir, c.file, c.message);
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
