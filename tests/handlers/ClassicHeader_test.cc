// The classic header check: files written by the netCDF library pass, damaged
// ones are refused with a message that says what is wrong, and the handler
// answers them with an error response before the netCDF library reads them
// (a lying attribute length used to cost seconds and gigabytes there).
#include "ClassicHeader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libqvp/Error.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "HandlerRun.h"
#include "TempDir.h"

namespace libqvp {
namespace test {
namespace {

// The fields of a classic header, big-endian; counts are 8 bytes in CDF-5,
// offsets 4 bytes in version 1.
class HeaderBytes {
 public:
  explicit HeaderBytes(int version) : d_version(version) {
    d_bytes = std::string("CDF") + static_cast<char>(version);
  }
  HeaderBytes& u32(uint64_t v) { return be(v, 4); }
  HeaderBytes& count(uint64_t v) { return be(v, d_version == 5 ? 8 : 4); }
  HeaderBytes& offset(uint64_t v) { return be(v, d_version == 1 ? 4 : 8); }
  HeaderBytes& name(const std::string& s) {
    count(s.size());
    d_bytes += s;
    d_bytes.append((4 - s.size() % 4) % 4, '\0');
    return *this;
  }
  HeaderBytes& absent() { return u32(0).count(0); }
  size_t size() const { return d_bytes.size(); }
  const std::string& bytes() const { return d_bytes; }

 private:
  HeaderBytes& be(uint64_t v, size_t width) {
    for (size_t i = width; i-- > 0;)
      d_bytes.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  int d_version;
  std::string d_bytes;
};

// A file of one variable `v` over the given dimensions (length 0: the record
// dimension), followed by `data` bytes of values. `begin` 0 puts the values
// right after the header; `offset_width` is the begin field's size.
struct OneVariable {
  int version = 1;
  uint64_t records = 0;
  std::vector<uint64_t> dims = {5};
  std::vector<uint64_t> dimids = {0};
  uint32_t type = NC_FLOAT;
  uint64_t begin = 0;
  size_t data = 20;
  uint32_t var_tag = 11;

  std::string bytes() const {
    auto head = [&](uint64_t b) {
      HeaderBytes h(version);
      h.count(records).u32(10).count(dims.size());
      for (size_t i = 0; i < dims.size(); ++i)
        h.name("d" + std::to_string(i)).count(dims[i]);
      h.absent().u32(var_tag).count(1).name("v").count(dimids.size());
      for (uint64_t id : dimids) h.count(id);
      h.absent().u32(type).count(0).offset(b);
      return h;
    };
    const size_t end = head(0).size();
    return head(begin ? begin : end).bytes() + std::string(data, '\x01');
  }
};

class ClassicHeaderTest : public ::testing::Test {
 protected:
  // Parses `bytes` as a file named "t.nc"; returns the Error's message, or
  // "" when the header is accepted.
  std::string check(const std::string& bytes) {
    const std::string path = d_dir.write("t.nc", bytes);
    const int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    std::string message;
    try {
      ClassicHeader h(fd, bytes.size(), "t.nc");
    } catch (const Error& e) {
      message = e.get_error_message();
    }
    close(fd);
    return message;
  }
  // A file written by the netCDF library: fixed "a" (5 floats, with a
  // units attribute), record "r" (5 ints per record, 3 records) and a
  // global "title".
  std::string library_file(int mode) {
    const std::string path = d_dir / "lib.nc";
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
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The offset of the 4-byte field `k` fields after the padded name `n`.
  static size_t after_name(const std::string& file, const std::string& n,
                           size_t k) {
    const size_t at = file.find(n);
    EXPECT_NE(at, std::string::npos) << n;
    return at + n.size() + (4 - n.size() % 4) % 4 + 4 * k;
  }

  TempDir d_dir;
};

TEST_F(ClassicHeaderTest, AcceptsWhatTheLibraryWrites) {
  for (int mode : {0, NC_64BIT_OFFSET, NC_64BIT_DATA}) {
    SCOPED_TRACE(mode);
    const std::string file = library_file(mode);
    EXPECT_EQ(check(file), "");
    const std::string path = d_dir.write("t.nc", file);
    const int fd = open(path.c_str(), O_RDONLY);
    const ClassicHeader h(fd, file.size(), "t.nc");
    close(fd);
    ASSERT_EQ(h.variables().size(), 2u);
    EXPECT_EQ(h.variables()[0].name, "a");
    EXPECT_FALSE(h.variables()[0].is_record);
    EXPECT_EQ(h.variables()[1].shape, (std::vector<uint64_t>{0, 5}));
    EXPECT_TRUE(h.variables()[1].is_record);
    // The last record's values end the file exactly.
    EXPECT_NE(check(file.substr(0, file.size() - 1)), "");
  }
  EXPECT_EQ(check(OneVariable{}.bytes()), "");
  OneVariable cdf5;
  cdf5.version = 5;
  cdf5.type = NC_UINT64;
  cdf5.data = 40;
  EXPECT_EQ(check(cdf5.bytes()), "");
}

TEST_F(ClassicHeaderTest, RefusesDamagedFiles) {
  const std::string lib = library_file(0);
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
      {"the title's length made 2^29", with(after_name(lib, "title", 1), 0x20),
       "the header runs past the end of the file"},
      {"a variable's attribute count made huge",
       with(after_name(lib, "units", 0) - 16, 0x7f), ""},
      {"232 records declared, 3 present", with(7, static_cast<char>(0xe8)),
       kEnd},
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
    const std::string message = check(c.file);
    EXPECT_EQ(message.rfind("The data set \"t.nc\" is damaged: ", 0), 0u)
        << c.label << ": " << message;
    EXPECT_NE(message.find(c.message), std::string::npos)
        << c.label << ": " << message;
  }
}

// Through the handler: an error response for every response kind, before any
// 200 header, and no invented zeros.
TEST_F(ClassicHeaderTest, HandlerAnswersDamagedFilesWithAnError) {
  const std::string lib = library_file(0);
  // The title's length made 2^29 + 17: the netCDF library took 3.5 s and
  // 540 MB to parse that header.
  std::string slow = lib;
  slow[after_name(lib, "title", 1)] = 0x20;
  OneVariable huge;
  huge.dims = {2147483647};
  const std::string files[] = {slow, huge.bytes(),
                               lib.substr(0, lib.size() - 1)};
  for (size_t i = 0; i < std::size(files); ++i) {
    const std::string path = d_dir.write("bad.nc", files[i]);
    for (const char* kind : {"DataDDS", "das", "dds"}) {
      SCOPED_TRACE(std::to_string(i) + " " + kind);
      const RunResult r = run_program(QVP_NC_HANDLER, {"-o", kind, path});
      EXPECT_EQ(r.out.rfind("HTTP/1.0 500 ", 0), 0u) << r.out.substr(0, 200);
      EXPECT_NE(r.out.find("bad.nc\\\" is damaged: "), std::string::npos);
      EXPECT_EQ(r.status, 0);
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
