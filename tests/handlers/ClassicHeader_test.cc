// The classic header check: files written by the netCDF library pass, damaged
// ones are refused with a message that says what is wrong (a lying attribute
// length used to cost the netCDF library seconds and gigabytes).
#include "ClassicHeader.h"

#include <fcntl.h>
#include <unistd.h>

#include "ExpectError.h"
#include "HandlerRun.h"

namespace libqvp {
namespace test {
namespace {

// A file of one variable `v` over the given dimensions (length 0: the record
// dimension), followed by `data` bytes of values. `begin` 0 puts the values
// right after the header. Counts are 8 bytes in version 5, the begin offset
// 4 bytes in version 1.
// Built as OneVar{version, records, dims, dimids, type, begin, data, var_tag}.
struct OneVar {
  int version = 1;
  uint64_t records = 0;
  std::vector<uint64_t> dims = {5};
  std::vector<uint64_t> dimids = {0};
  uint32_t type = NC_FLOAT;
  uint64_t begin = 0;
  size_t data = 20;
  uint32_t var_tag = 11;

  std::string head(uint64_t values_at) const {
    const size_t w = version == 5 ? 8 : 4;  // a count's width
    auto name = [&](const std::string& s) {
      return be(s.size(), w) + s + std::string((4 - s.size() % 4) % 4, '\0');
    };
    std::string h = "CDF" + std::string(1, static_cast<char>(version)) +
                    be(records, w) + be(10, 4) + be(dims.size(), w);
    for (size_t i = 0; i < dims.size(); ++i)
      h += name("d" + std::to_string(i)) + be(dims[i], w);
    h += be(0, 4) + be(0, w) + be(var_tag, 4) + be(1, w) + name("v") +
         be(dimids.size(), w);  // no global attributes; one variable
    for (uint64_t id : dimids) h += be(id, w);
    return h + be(0, 4) + be(0, w) + be(type, 4) + be(0, w) +
           be(values_at, version == 1 ? 4 : 8);
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

// A file written by the netCDF library (through ncgen) in `kind`: fixed "a"
// (5 floats, with a units attribute), record "r" (5 ints per record, 3
// records) and a global "title".
std::string library_file(const TempDir& dir, const char* kind) {
  return read_file(ncgen(
      dir, "lib",
      "netcdf lib { dimensions: time = UNLIMITED ; x = 5 ;\n"
      "variables: float a(x) ; a:units = \"degC\" ; int r(time, x) ;\n"
      ":title = \"A small test file\" ;\n"
      "data: a = 1, 2, 3, 4, 5 ; r = 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
      "0 ; }",
      kind));
}

TEST(ClassicHeaderTest, AcceptsWhatTheLibraryWrites) {
  TempDir dir;
  for (const char* kind : {"classic", "64-bit offset", "cdf5"}) {
    SCOPED_TRACE(kind);
    const std::string file = library_file(dir, kind);
    const ClassicHeader h = parse(dir, file);
    ASSERT_EQ(h.variables().size(), 2u);
    EXPECT_EQ(h.variables()[0].name, "a");
    EXPECT_FALSE(h.variables()[0].is_record);
    EXPECT_EQ(h.variables()[1].shape, (std::vector<uint64_t>{0, 5}));
    EXPECT_TRUE(h.variables()[1].is_record);
    // The last record's values end the file exactly.
    expect_damaged(dir, file.substr(0, file.size() - 1), "past the end");
  }
  // A record variable of a file that declares no records may start past the
  // end: its values would start in the first record.
  for (const OneVar& v : {OneVar{}, OneVar{5, 0, {5}, {0}, NC_UINT64, 0, 40},
                          OneVar{1, 0, {0}, {0}, NC_FLOAT, 4096, 0}})
    EXPECT_EQ(parse(dir, v.bytes()).variables().size(), 1u);
}

TEST(ClassicHeaderTest, RefusesDamagedFiles) {
  TempDir dir;
  const std::string lib = library_file(dir, "classic");
  // The offset of the 4-byte field `k` fields after the padded name `n`.
  auto after = [&](const std::string& n, size_t k) {
    return lib.find(n) + n.size() + (4 - n.size() % 4) % 4 + 4 * k;
  };
  auto with = [&](size_t at, char byte) {
    std::string f = lib;
    f[at] = byte;
    return f;
  };
  std::string huge = OneVar{1, 0, {2147483647}}.bytes();  // in 264 bytes
  huge.resize(264, '\0');
  static const char* const kEnd = "end past the end of the file";
  const std::pair<std::string, const char*> cases[] = {
      // The title's length made 2^29; a variable's attribute count made huge.
      {with(after("title", 1), 0x20),
       "the header runs past the end of the file"},
      {with(after("units", 0) - 16, 0x7f), ""},
      {with(7, '\xe8'), kEnd},                 // 232 records, 3 present
      {lib.substr(0, lib.size() - 68), kEnd},  // cut inside the fixed "a"
      {lib.substr(0, 60), "past the end"},     // cut inside the header
      {huge, kEnd},
      {OneVar{5, 0, {1ull << 40, 1ull << 40}, {0, 1}, NC_DOUBLE}.bytes(),
       "overflows"},
      {OneVar{1, 0, {5}, {3}}.bytes(), "dimension id 3"},
      {OneVar{1, 0, {5}, {0}, 42}.bytes(), "unknown type 42"},
      // A type of version 5 in version 1; the record dimension second.
      {OneVar{1, 0, {5}, {0}, NC_UBYTE}.bytes(), "unknown type 7"},
      {OneVar{1, 0, {5, 0}, {0, 1}}.bytes(), "record dimension"},
      {OneVar{1, 0, {5}, {0}, NC_FLOAT, 8}.bytes(), "start at byte 8"},
      {OneVar{1, 0, {5}, {0}, NC_FLOAT, 4096}.bytes(), "start at byte 4096"},
      {OneVar{1, 1, {0}, {0}, NC_FLOAT, 4096, 4}.bytes(), "start at byte 4096"},
      {OneVar{1, 0, {5}, {0}, NC_FLOAT, 0, 20, 12}.bytes(),
       "expected list tag 11"},
  };
  for (const auto& [file, message] : cases) {
    SCOPED_TRACE(message);
    expect_damaged(dir, file, message);
  }
  // The handler answers the slow title, the 2^31 header and a file one byte
  // short with a 500 before the netCDF library parses them.
  for (const std::string& file :
       {cases[0].first, huge, lib.substr(0, lib.size() - 1)}) {
    const std::string path = dir.write("bad.nc", file);
    for (const char* kind : {"DataDDS", "das", "dds"}) {
      SCOPED_TRACE(kind);
      const RunResult r = run_handler({"-o", kind, path});
      EXPECT_EQ(r.out.rfind("HTTP/1.0 500 ", 0), 0u) << r.out.substr(0, 200);
      EXPECT_NE(r.out.find("bad.nc\\\" is damaged: "), std::string::npos);
      EXPECT_EQ(r.status, 0);
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
