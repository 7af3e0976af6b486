// qvp_nc_handler run from its command line on the sample data sets: every
// response kind, the exact bytes of data responses (computed here from the
// values in the CDL files), error responses and damaged files.

#include <sstream>

#include "HandlerRun.h"

namespace libqvp {
namespace test {
namespace {

const std::string kSamples = QVP_SAMPLE_DIR "/";

// `response` with the values of its "Date: " and "Last-Modified: " header
// lines replaced by "<date>".
std::string without_dates(const std::string& response) {
  static const std::regex kDate("(Date|Last-Modified): [^\r]*\r\n");
  return std::regex_replace(response, kDate, "$1: <date>\r\n");
}

// A whole 200 response of a run with "-v t/1", dates as "<date>": the
// header block with a Content-Length line when `sized`, then `body`.
std::string response(const char* description, const std::string& type,
                     const std::string& body, bool sized = true) {
  return std::string("HTTP/1.0 200 OK\r\n") +
         "XVORN-Server: t/1\r\nXKestrum-Server: t/1\r\nXQVP: 3.1\r\n"
         "Date: <date>\r\nLast-Modified: <date>\r\nContent-Type: " +
         type + "\r\nContent-Description: " + description + "\r\n" +
         (sized ? "Content-Length: " + std::to_string(body.size()) + "\r\n"
                : "") +
         "\r\n" + body;
}

// The handler run with the words of `args`; "@name" is a sample's path.
RunResult run(const std::string& args) {
  std::vector<std::string> w;
  std::istringstream in(args);
  for (std::string s; in >> s;)
    w.push_back(s[0] == '@' ? kSamples + s.substr(1) : s);
  return run_handler(w);
}

// Whole responses; the body is data/<golden>.<kind>. Text is declared
// UTF-8, and every response states its length.
TEST(NcHandlerTest, MetadataResponses) {
  static const struct {
    const char *kind, *args, *golden;
  } cases[] = {
      {"das", "@sst.nc", "sst"},
      {"dds", "@sst.nc", "sst"},
      // A grid member alone is served as a structure of that member.
      {"dds", "-e sst.lat,time @sst.nc", "sst_lat_time"},
      // Attributes, dimensions, and the blob URL with the constraint.
      {"ddx", "-u http://h/qvp/sst.nc -e sst @sst.nc", "sst_sst"},
      // Characters become a String; signed bytes Int16.
      {"dds", "@station.nc", "station"},
      {"das", "@station.nc", "station"},
      // netCDF-4 types: strings, unsigned integers, 64-bit integers.
      {"dds", "@names.nc", "names"},
      {"das", "@names.nc", "names"},
      // Groups as Structures, compounds as Structures of member arrays,
      // enums as their base type; _Unsigned on unsigned variables (the
      // file's own wins; signed types get none) and the enums' flags; in the
      // DDX, member attributes on the members.
      {"dds", "@model.nc", "model"},
      {"das", "@model.nc", "model"},
      {"ddx", "-u u @model.nc", "model"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.args);
    const RunResult r = run(std::string("-v t/1 -o ") + c.kind + " " + c.args);
    EXPECT_EQ(r.status, 0);
    const std::string kind = c.kind;
    const std::string body = golden(c.golden + ("." + kind));
    EXPECT_EQ(without_dates(r.out),
              kind == "ddx"
                  ? response("qvp4_ddx", "text/xml; charset=utf-8", body)
                  : response(("vorn_" + kind).c_str(),
                             "text/plain; charset=utf-8", body));
  }
}

// The DDS is the section named by the constraint in data/data.dds. The
// length is stated unless a String, whose values decide it, is selected.
TEST(NcHandlerTest, DataResponseBytes) {
  static const struct {
    std::string file, ce, xdr;
  } cases[] = {
      // Rows 0 and 2, columns 1 and 2 of the second month; Int16 values take
      // 4 bytes each, then the three maps.
      {"sst.nc", "sst[1][0:2:2][1:2]",
       counts(4) + ints({2010, 2020, 2210, 2220}) + counts(1) + doubles({31}) +
           counts(2) + floats({-10, 10}) + counts(2) + floats({110, 120})},
      // A negative Int16 (the fill value) is sign-extended.
      {"sst.nc", "sst[0][2][3]",
       counts(1) + ints({-32767}) + counts(1) + doubles({0}) + counts(1) +
           floats({10}) + counts(1) + floats({130})},
      {"sst.nc", "sst.lon[1:2]", counts(2) + floats({110, 120})},
      {"station.nc", "station_name,elevation,pressure.pressure[1:3]",
       xdr_str("Lindenberg") + doubles({98.5}) + counts(3) +
           ints({101300, 101290, 101310})},
      {"station.nc", "flag",
       counts(5) + ints({0, 0, -1, 1, 0}) + counts(5) +
           doubles({0, 1, 2, 3, 4})},
      // Strings: the count once; bytes packed and padded; 64-bit integers
      // as Float64. The DDS is that of the whole file.
      {"names.nc", "",
       xdr_u32(3) + xdr_str("Lindenberg") + xdr_str("Potsdam") +
           xdr_str("Zugspitze \"summit\"") + xdr_u32(3) + xdr_str("LIN") +
           xdr_str("POTS") + xdr_str("ZUGSPI") + counts(3) +
           std::string("\x00\x80\xff\x00", 4) + counts(3) +
           ints({1, 32768, 65534}) + counts(3) + xdr_u32(1) +
           xdr_u32(2147483648u) + xdr_u32(4294967294u) + counts(3) +
           doubles({-1, 0, 9007199254740992.0})},
      // Members of groups and compounds; enums as their base type.
      {"model.nc", "u32", xdr_u32(4000000000u)},
      {"model.nc", "sky", counts(3) + std::string("\x00\xff\x01\x00", 4)},
      {"model.nc", "surface.temp[1:2][0]",
       counts(2) + floats({273, 275}) + counts(2) + ints({1, 2}) + counts(1) +
           floats({10})},
      {"model.nc", "surface.soil.depth.depth", counts(2) + ints({5, 6})},
      {"model.nc", "surface.count",
       counts(4) + ints({65535, 1, 2, 3}) + counts(4) + ints({0, 1, 2, 3})},
      {"model.nc", "obs.pair[1:2][1]", counts(2) + floats({4, 6})},
      {"model.nc", "obs.code[1:2],obs.id",
       counts(3) + ints({1, 2, 3}) + xdr_u32(2) + xdr_str("ef") + xdr_str("g")},
      {"model.nc", "obs.wind.speed[0:2:2],obs.wind.direction[0:2:2]",
       counts(2) + ints({-1, -3}) + counts(2) + ints({65535, 90})},
      {"model.nc", "latest",
       ints({9}) + doubles({9.5}) + xdr_str("last") + ints({7, 8}) + counts(2) +
           floats({10, 11})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + c.ce);
    const RunResult r = run_handler(
        {"-o", "DataDDS", "-v", "t/1", "-e", c.ce, kSamples + c.file});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string dds =
        c.ce.empty() ? golden("names.dds") : golden("data.dds", c.ce);
    EXPECT_EQ(without_dates(r.out),
              response("vorn_data", "application/octet-stream",
                       dds + "Data:\n" + c.xdr,
                       dds.find("String ") == std::string::npos));
  }
}

// The header block, and the body that data/errors.txt holds under the
// arguments.
TEST(NcHandlerTest, ErrorResponses) {
  static const struct {
    const char* args;
    int status;
  } cases[] = {
      {"-o das /no/such/dir/x.nc", 404},
      {"-o DataDDS -e nosuch @sst.nc", 404},
      {"-o dds -e sst[ @sst.nc", 400},
      {"-o DataDDS -e sst[5] @sst.nc", 400},
      {"-o DataDDS -e nofunc(sst) @sst.nc", 400},
      // A function call outside a data request is the client's mistake.
      {"-o dds -e version() @sst.nc", 400},
      {"-o ddx -u u -e version() @sst.nc", 400},
      {"-o blob @sst.nc", 400},
      {"-o das", 400},
      {"@sst.nc", 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const RunResult r = run(c.args);
    EXPECT_EQ(r.status, 0);
    const std::string body = golden("errors.txt", c.args);
    EXPECT_EQ(without_dates(r.out),
              "HTTP/1.0 " + std::to_string(c.status) +
                  (c.status == 404 ? " Not Found" : " Bad Request") +
                  "\r\nXVORN-Server: libqvp/3.8.2\r\n"
                  "XKestrum-Server: libqvp/3.8.2\r\nXQVP: 3.1\r\n"
                  "Date: <date>\r\nCache-Control: no-cache\r\n"
                  "Content-Type: text/plain; charset=utf-8\r\n"
                  "Content-Length: " +
                  std::to_string(body.size()) + "\r\n\r\n" + body);
  }
}

TEST(NcHandlerTest, HostileFilesGetErrorsNotCrashes) {
  TempDir dir;
  const std::string sst = read_file(kSamples + "sst.nc");
  const std::string cases[] = {
      "",                          // empty
      "CDF\x01",                   // magic alone
      "not a netCDF file at all",  //
      sst.substr(0, 40),
      sst.substr(0, 200),              // header cut short
      sst.substr(0, sst.size() - 20),  // data cut short
#ifndef QVP_UNDER_ASAN
      // A header declaring 2^31 dimensions: the netCDF library allocates
      // without end; the handler's cap on its address space stops it.
      // (AddressSanitizer's reservations rule the cap out there.)
      std::string("CDF\x01\x00\x00\x00\x00\x00\x00\x00\x0a\x7f\xff\xff\xff",
                  16),
#endif
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string path = dir.write("bad.nc", cases[i]);
    for (const char* kind : {"das", "dds", "DataDDS", "ddx"}) {
      const RunResult r = run_handler({"-o", kind, "-u", "http://h/b", path});
      SCOPED_TRACE(std::to_string(i) + " " + kind);
      EXPECT_LT(r.status, 128) << "killed by a signal";
      EXPECT_EQ(r.out.compare(0, 9, "HTTP/1.0 "), 0);
      if (r.out.compare(0, 12, "HTTP/1.0 200") != 0) {
        EXPECT_NE(r.out.find("Error {\n    code = "), std::string::npos);
        EXPECT_EQ(r.out.find(dir.path()), std::string::npos)
            << "a message discloses the path";
      }
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
