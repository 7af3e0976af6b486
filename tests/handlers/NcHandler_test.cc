// qvp_nc_handler run from its command line on the sample data sets: every
// response kind, the exact bytes of data responses (computed here from the
// values in the CDL files), error responses, conditional requests,
// ancillary files and a variable large enough to be read in many boxes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HandlerRun.h"
#include "TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
#define QVP_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVP_UNDER_ASAN 1
#endif
#endif

namespace libqvp {
namespace test {
namespace {

const std::string kSamples = QVP_SAMPLE_DIR;

class NcHandlerTest : public ::testing::Test {
 protected:
  static RunResult run(std::vector<std::string> args) {
    return run_program(QVP_NC_HANDLER, args);
  }
  static std::string sample(const std::string& name) {
    return kSamples + "/" + name;
  }
  // The body of a 200 data response after "Data:\n", checking the header.
  static void expect_data(const std::vector<std::string>& args,
                          const std::string& dds, const std::string& xdr) {
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(without_dates(r.out),
              header("vorn_data", "application/octet-stream") + dds +
                  "Data:\n" + xdr);
  }
  // Writes `cdl` to a netCDF file `name` in `dir` with ncgen.
  static std::string ncgen(const TempDir& dir, const std::string& name,
                           const std::string& cdl, const char* kind) {
    const std::string cdl_path = dir.write(name + ".cdl", cdl);
    const std::string nc = dir / (name + ".nc");
    const RunResult r =
        run_program(QVP_NCGEN, {"-k", kind, "-o", nc, cdl_path});
    EXPECT_EQ(r.status, 0) << r.err;
    return nc;
  }
};

TEST_F(NcHandlerTest, MetadataResponses) {
  static const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"-o", "das", sample("sst.nc")},
       header("vorn_das") +
           "Attributes {\n"
           "    time {\n"
           "        String units \"days since 2000-01-01 00:00:00\";\n"
           "        String long_name \"time\";\n"
           "    }\n"
           "    lat {\n"
           "        String units \"degrees_north\";\n"
           "    }\n"
           "    lon {\n"
           "        String units \"degrees_east\";\n"
           "    }\n"
           "    sst {\n"
           "        String long_name \"Sea surface temperature\";\n"
           "        String units \"degC\";\n"
           "        Float32 scale_factor 0.00999999978;\n"
           "        Float32 add_offset 10;\n"
           "        Int16 _FillValue -32767;\n"
           "        Int16 valid_range -500, 3000;\n"
           "    }\n"
           "    NC_GLOBAL {\n"
           "        String title \"Monthly sea surface temperature\";\n"
           "        String Conventions \"CF-1.8\";\n"
           "        String history \"Written by hand as a \\\"sample\\\"\";\n"
           "    }\n"
           "}\n"},
      {{"-o", "dds", sample("sst.nc")},
       header("vorn_dds") + "Dataset {\n"
                            "    Float64 time[time = 2];\n"
                            "    Float32 lat[lat = 3];\n"
                            "    Float32 lon[lon = 4];\n"
                            "    Grid {\n"
                            "      Array:\n"
                            "        Int16 sst[time = 2][lat = 3][lon = 4];\n"
                            "      Maps:\n"
                            "        Float64 time[time = 2];\n"
                            "        Float32 lat[lat = 3];\n"
                            "        Float32 lon[lon = 4];\n"
                            "    } sst;\n"
                            "} sst.nc;\n"},
      // A grid member alone is served as a structure of that member.
      {{"-o", "dds", "-e", "sst.lat,time", sample("sst.nc")},
       header("vorn_dds") + "Dataset {\n"
                            "    Float64 time[time = 2];\n"
                            "    Structure {\n"
                            "        Float32 lat[lat = 3];\n"
                            "    } sst;\n"
                            "} sst.nc;\n"},
      // Characters become a String; signed bytes Int16.
      {{"-o", "dds", sample("station.nc")},
       header("vorn_dds") +
           "Dataset {\n"
           "    String station_name;\n"
           "    Float64 elevation;\n"
           "    Float64 time[time = 5];\n"
           "    Grid {\n      Array:\n        Float32 temp[time = 5];\n"
           "      Maps:\n        Float64 time[time = 5];\n    } temp;\n"
           "    Grid {\n      Array:\n        Int32 pressure[time = 5];\n"
           "      Maps:\n        Float64 time[time = 5];\n    } pressure;\n"
           "    Grid {\n      Array:\n        Int16 flag[time = 5];\n"
           "      Maps:\n        Float64 time[time = 5];\n    } flag;\n"
           "} station.nc;\n"},
      {{"-o", "das", sample("station.nc")},
       header("vorn_das") +
           "Attributes {\n"
           "    station_name {\n        String long_name \"station name\";\n"
           "    }\n"
           "    elevation {\n        String units \"m\";\n    }\n"
           "    time {\n"
           "        String units \"hours since 2024-01-01 00:00:00\";\n"
           "    }\n"
           "    temp {\n        String units \"degC\";\n"
           "        Float32 _FillValue -999;\n    }\n"
           "    pressure {\n        String units \"Pa\";\n    }\n"
           "    flag {\n        Int16 flag_values 0, -1, 1;\n"
           "        String flag_meanings \"ok suspect bad\";\n    }\n"
           "    NC_GLOBAL {\n"
           "        String title \"Hourly observations at one station\";\n"
           "        Int32 station_id 10385;\n    }\n"
           "}\n"},
      // netCDF-4 types: strings, unsigned integers, 64-bit integers.
      {{"-o", "dds", sample("names.nc")},
       header("vorn_dds") + "Dataset {\n"
                            "    String name[station = 3];\n"
                            "    String code[station = 3];\n"
                            "    Byte quality[station = 3];\n"
                            "    UInt16 count[station = 3];\n"
                            "    UInt32 id[station = 3];\n"
                            "    Float64 total[station = 3];\n"
                            "} names.nc;\n"},
      {{"-o", "das", sample("names.nc")},
       header("vorn_das") +
           "Attributes {\n"
           "    name {\n        String long_name \"station name\";\n    }\n"
           "    code {\n    }\n"
           "    quality {\n        String _Unsigned \"true\";\n    }\n"
           "    count {\n        String _Unsigned \"true\";\n    }\n"
           "    id {\n        String _Unsigned \"true\";\n    }\n"
           "    total {\n        String units \"1\";\n    }\n"
           "    NC_GLOBAL {\n        String keywords \"alpha\", \"beta\";\n"
           "        Byte version 2;\n    }\n"
           "}\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"-v", "t/1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.status, 0) << c.args[1] << " " << c.args.back();
    EXPECT_EQ(without_dates(r.out), c.expected)
        << c.args[1] << " " << c.args.back();
  }
}

TEST_F(NcHandlerTest, DdxCarriesAttributesAndBlobUrl) {
  const RunResult r =
      run({"-o", "ddx", "-v", "t/1", "-u", "http://h/qvp/sst.nc", "-e", "sst",
           sample("sst.nc")});
  EXPECT_EQ(r.status, 0);
  const std::string out = without_dates(r.out);
  EXPECT_EQ(out.substr(0, header("qvp4_ddx", "text/xml").size()),
            header("qvp4_ddx", "text/xml"));
  for (const char* part :
       {"<Dataset name=\"sst.nc\"", "<Grid name=\"sst\">",
        "<Attribute name=\"scale_factor\" type=\"Float32\">",
        "<value>Written by hand as a &quot;sample&quot;</value>",
        "<dimension name=\"lon\" size=\"4\"/>",
        "<dataBLOB href=\"http://h/qvp/sst.nc.blob?sst\"/>"})
    EXPECT_NE(out.find(part), std::string::npos) << part;
  // Constrained: the coordinate arrays on their own are not selected.
  EXPECT_EQ(out.find("<Array name=\"lat\">"), std::string::npos);
}

TEST_F(NcHandlerTest, DataResponseBytes) {
  static const struct {
    std::string file, ce, dds, xdr;
  } cases[] = {
      // sst[1][0:2:2][1:2]: rows 0 and 2, columns 1 and 2 of the second
      // month; Int16 values take 4 bytes each, then the three maps.
      {"sst.nc", "sst[1][0:2:2][1:2]",
       "Dataset {\n    Grid {\n      Array:\n"
       "        Int16 sst[time = 1][lat = 2][lon = 2];\n      Maps:\n"
       "        Float64 time[time = 1];\n        Float32 lat[lat = 2];\n"
       "        Float32 lon[lon = 2];\n    } sst;\n} sst.nc;\n",
       counts(4) + ints({2010, 2020, 2210, 2220}) + counts(1) + doubles({31}) +
           counts(2) + floats({-10, 10}) + counts(2) + floats({110, 120})},
      // A negative Int16 (the fill value) is sign-extended.
      {"sst.nc", "sst[0][2][3]",
       "Dataset {\n    Grid {\n      Array:\n"
       "        Int16 sst[time = 1][lat = 1][lon = 1];\n      Maps:\n"
       "        Float64 time[time = 1];\n        Float32 lat[lat = 1];\n"
       "        Float32 lon[lon = 1];\n    } sst;\n} sst.nc;\n",
       counts(1) + ints({-32767}) + counts(1) + doubles({0}) + counts(1) +
           floats({10}) + counts(1) + floats({130})},
      {"sst.nc", "sst.lon[1:2]",
       "Dataset {\n    Structure {\n        Float32 lon[lon = 2];\n"
       "    } sst;\n} sst.nc;\n",
       counts(2) + floats({110, 120})},
      {"station.nc", "station_name,elevation,pressure.pressure[1:3]",
       "Dataset {\n    String station_name;\n    Float64 elevation;\n"
       "    Grid {\n      Array:\n        Int32 pressure[time = 3];\n"
       "      Maps:\n    } pressure;\n} station.nc;\n",
       xdr_str("Lindenberg") + doubles({98.5}) + counts(3) +
           ints({101300, 101290, 101310})},
      {"station.nc", "flag",
       "Dataset {\n    Grid {\n      Array:\n        Int16 flag[time = 5];\n"
       "      Maps:\n        Float64 time[time = 5];\n    } flag;\n"
       "} station.nc;\n",
       counts(5) + ints({0, 0, -1, 1, 0}) + counts(5) +
           doubles({0, 1, 2, 3, 4})},
      // Strings: the count once; bytes packed and padded; 64-bit integers
      // as Float64.
      {"names.nc", "",
       "Dataset {\n    String name[station = 3];\n"
       "    String code[station = 3];\n    Byte quality[station = 3];\n"
       "    UInt16 count[station = 3];\n    UInt32 id[station = 3];\n"
       "    Float64 total[station = 3];\n} names.nc;\n",
       xdr_u32(3) + xdr_str("Lindenberg") + xdr_str("Potsdam") +
           xdr_str("Zugspitze \"summit\"") + xdr_u32(3) + xdr_str("LIN") +
           xdr_str("POTS") + xdr_str("ZUGSPI") + counts(3) +
           std::string("\x00\x80\xff\x00", 4) + counts(3) +
           ints({1, 32768, 65534}) + counts(3) + xdr_u32(1) +
           xdr_u32(2147483648u) + xdr_u32(4294967294u) + counts(3) +
           doubles({-1, 0, 9007199254740992.0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + c.ce);
    expect_data({"-o", "DataDDS", "-v", "t/1", "-e", c.ce, sample(c.file)},
                c.dds, c.xdr);
  }
}

TEST_F(NcHandlerTest, ErrorResponses) {
  static const struct {
    std::vector<std::string> args;
    const char* status;
    int code;
    const char* message;
  } cases[] = {
      {{"-o", "das", "/no/such/dir/x.nc"},
       "404 Not Found",
       1004,
       "No such data set: \\\"x.nc\\\""},
      {{"-o", "DataDDS", "-e", "nosuch", "sst.nc"},
       "404 Not Found",
       1004,
       "nosuch"},
      {{"-o", "dds", "-e", "sst[", "sst.nc"}, "400 Bad Request", 1003, ""},
      {{"-o", "DataDDS", "-e", "sst[5]", "sst.nc"},
       "400 Bad Request",
       1006,
       ""},
      {{"-o", "DataDDS", "-e", "nofunc(sst)", "sst.nc"},
       "400 Bad Request",
       1005,
       "nofunc"},
      // A function call outside a data request is the client's mistake.
      {{"-o", "dds", "-e", "version()", "sst.nc"},
       "400 Bad Request",
       1001,
       "Function calls can only be used with data requests"},
      {{"-o", "ddx", "-u", "u", "-e", "version()", "sst.nc"},
       "400 Bad Request",
       1001,
       "Function calls can only be used with data requests"},
      {{"-o", "blob", "sst.nc"}, "400 Bad Request", 1001, "usage error"},
      {{"-o", "das"}, "400 Bad Request", 1001, "usage error"},
      {{"sst.nc"}, "400 Bad Request", 1001, "No response kind"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (args.back() == "sst.nc") args.back() = sample("sst.nc");
    const RunResult r = run(args);
    const std::string trace = args.front() + " " + args.back();
    EXPECT_EQ(r.status, 0) << trace;
    const std::string head = std::string("HTTP/1.0 ") + c.status +
                             "\r\nXVORN-Server: libqvp/3.8.2\r\n"
                             "XKestrum-Server: libqvp/3.8.2\r\nXQVP: 3.1\r\n"
                             "Date: <date>\r\nCache-Control: no-cache\r\n"
                             "Content-Type: text/plain\r\n\r\n"
                             "Error {\n    code = " +
                             std::to_string(c.code) + ";\n    message = \"";
    const std::string out = without_dates(r.out);
    EXPECT_EQ(out.substr(0, head.size()), head) << trace;
    EXPECT_NE(out.find(c.message), std::string::npos) << trace << "\n" << out;
    EXPECT_EQ(out.substr(out.size() - 6), "\";\n};\n") << trace;
  }
}

TEST_F(NcHandlerTest, HostileFilesGetErrorsNotCrashes) {
  TempDir dir;
  std::ifstream in(sample("sst.nc"), std::ios::binary);
  const std::string sst((std::istreambuf_iterator<char>(in)),
                        std::istreambuf_iterator<char>());
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
      const RunResult r = run({"-o", kind, "-u", "http://h/bad.nc", path});
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

TEST_F(NcHandlerTest, VersionResponse) {
  const RunResult r = run({"-o", "Version", "-v", "qvp_dispatch/9"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find("Dataset version: ")),
            "HTTP/1.0 200 OK\r\nXVORN-Server: libqvp/3.8.2\r\n"
            "XKestrum-Server: libqvp/3.8.2\r\nXQVP: 3.1\r\n"
            "Content-Type: text/plain\r\n\r\n"
            "Core software version: libqvp/3.8.2\r\n"
            "Server Script Revision: qvp_dispatch/9\r\n");
  EXPECT_NE(r.out.find("Dataset version: qvp_nc_handler/"), std::string::npos);
}

TEST_F(NcHandlerTest, ConditionalRequests) {
  TempDir dir;
  const std::string nc = ncgen(dir, "c",
                               "netcdf c { variables: int x ; "
                               "data: x = 7 ; }",
                               "classic");
  TempDir::set_mtime(nc, 1000000000);
  static const struct {
    const char* kind;
    const char* since;
    const char* status_line;
  } cases[] = {
      {"das", "1000000000", "HTTP/1.0 304 NOT MODIFIED\r\n"},
      {"dds", "1000000001", "HTTP/1.0 304 NOT MODIFIED\r\n"},
      {"DataDDS", "1000000000", "HTTP/1.0 304 NOT MODIFIED\r\n"},
      {"ddx", "1000000000", "HTTP/1.0 304 NOT MODIFIED\r\n"},
      {"das", "999999999", "HTTP/1.0 200 OK\r\n"},
      {"DataDDS", "999999999", "HTTP/1.0 200 OK\r\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run({"-o", c.kind, "-l", c.since, "-u", "u", nc});
    const std::string line = r.out.substr(0, r.out.find('\n') + 1);
    EXPECT_EQ(line, c.status_line) << c.kind << " " << c.since;
    if (line[9] == '3') {
      EXPECT_EQ(without_dates(r.out),
                "HTTP/1.0 304 NOT MODIFIED\r\nDate: <date>\r\n\r\n");
    }
  }
}

TEST_F(NcHandlerTest, AncillaryDasIsMerged) {
  TempDir dir;
  const std::string nc = ncgen(dir, "a",
                               "netcdf a { variables: int x ; "
                               "x:units = \"m\" ; data: x = 7 ; }",
                               "classic");
  dir.write("a.das",
            "Attributes {\n    x {\n        String comment "
            "\"hand-written\";\n    }\n}\n");
  const std::string das = run({"-o", "das", nc}).out;
  EXPECT_NE(das.find("    x {\n        String units \"m\";\n"
                     "        String comment \"hand-written\";\n    }\n"),
            std::string::npos)
      << das;
  const std::string ddx = run({"-o", "ddx", "-u", "u", nc}).out;
  EXPECT_NE(ddx.find("<Attribute name=\"comment\" type=\"String\">"),
            std::string::npos)
      << ddx;
}

// A 64-bit integer that a Float64 cannot hold exactly is refused rather
// than rounded. The header is out by then: the response is cut short, the
// failure logged and the exit status non-zero.
TEST_F(NcHandlerTest, InexactInt64CutsTheResponseShort) {
  TempDir dir;
  const std::string nc =
      ncgen(dir, "w",
            "netcdf w { dimensions: n = 2 ; variables: int64 v(n) ;"
            " data: v = 1, 9007199254740993 ; }",
            "nc4");
  const RunResult r = run({"-o", "DataDDS", "-e", "v", nc});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.compare(0, 15, "HTTP/1.0 200 OK"), 0);
  EXPECT_EQ(r.out.find("Error {"), std::string::npos);
  EXPECT_NE(r.err.find("QVP server error: The data response for \"w.nc\" was "
                       "cut short: A value of \"v\" (9007199254740993)"),
            std::string::npos)
      << r.err;
}

// 2048 x 2048 floats (16 MiB) are read and written in boxes of 1 MiB; the
// values are (row * 2048 + col).
TEST_F(NcHandlerTest, LargeVariableInManyBoxes) {
  TempDir dir;
  const std::string nc = dir / "ramp.nc";
  ASSERT_EQ(run_program(QVP_NC_RAMP, {nc, "2048", "2048"}).status, 0);
  const RunResult whole = run({"-o", "DataDDS", "-e", "ramp", nc});
  const size_t data = whole.out.find("Data:\n") + 6;
  ASSERT_EQ(whole.out.size() - data, 8 + 4u * 2048 * 2048);
  for (size_t i : {size_t{0}, size_t{262143}, size_t{262144}, size_t{4194303}})
    EXPECT_EQ(whole.out.substr(data + 8 + 4 * i, 4),
              xdr_f32(static_cast<float>(i)))
        << i;

  const RunResult strided =
      run({"-o", "DataDDS", "-e", "ramp[0:1000:2047][3:1024:2047]", nc});
  const std::string tail = strided.out.substr(strided.out.find("Data:\n") + 6);
  EXPECT_EQ(tail,
            counts(6) + floats({3, 1027, 1000 * 2048 + 3, 1000 * 2048 + 1027,
                                2000 * 2048 + 3, 2000 * 2048 + 1027}));
}

}  // namespace
}  // namespace test
}  // namespace libqvp
