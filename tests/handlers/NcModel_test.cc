// qvp_nc_handler on netCDF-4 files that the tests write: group attributes,
// compound members and enum members beyond samples/model.cdl, an ancillary
// DAS, an inexact 64-bit integer, and the bounds on group and compound
// nesting.

#include <cstddef>

#include "HandlerRun.h"

namespace libqvp {
namespace test {
namespace {

// c.nc: a group attribute named like a variable and a group of the group
// (the DAS gives the container that name, so the attribute moves to
// NC_GLOBAL under its dotted path); a compound whose members have two
// dimensions of their own; a 64-bit integer that a Float64 cannot hold.
const char* const kCdl =
    "netcdf c {\ntypes:\n compound c_t { short g(2,3); char s(2,3); };\n"
    "dimensions:\n n = 2;\nvariables:\n c_t v(n);\n int64 w(n);\n"
    " w:units = \"m\";\ndata:\n v = {{1,2,3,4,5,6}, {\"ab\", \"cde\"}},"
    " {{7,8,9,10,11,12}, {\"x\", \"yz\"}};\n w = 1, 9007199254740993;\n"
    "group: g {\nvariables:\n int temp;\n :temp = \"attr\"; :sub = 1;"
    " :kept = 2;\ndata:\n temp = 1;\ngroup: sub { }\n}\n}\n";

constexpr size_t kCols = 50000;

// api.nc, written with the netCDF library: "big", 4 x 50000 compound records
// of 32 bytes (6.4 MB), read in runs along the last dimension; "obs", a
// compound with an enum member (which ncgen cannot write).
std::string api_file(const TempDir& dir) {
  struct Big {
    int id, pad;
    double v[3];
  };
  struct Obs {
    int id;
    unsigned char sky;
  };
  const std::string nc = dir / "api.nc";
  int ncid, big_t, sky_t, obs_t, dims[3], var;
  const int three = 3;
  const unsigned char clear = 0, overcast = 255;
  nc_ok(nc_create(nc.c_str(), NC_NETCDF4, &ncid));
  nc_ok(nc_def_compound(ncid, sizeof(Big), "big_t", &big_t));
  nc_ok(nc_insert_compound(ncid, big_t, "id", offsetof(Big, id), NC_INT));
  nc_ok(nc_insert_array_compound(ncid, big_t, "v", offsetof(Big, v), NC_DOUBLE,
                                 1, &three));
  nc_ok(nc_def_enum(ncid, NC_UBYTE, "sky_t", &sky_t));
  nc_ok(nc_insert_enum(ncid, sky_t, "clear", &clear));
  nc_ok(nc_insert_enum(ncid, sky_t, "overcast", &overcast));
  nc_ok(nc_def_compound(ncid, sizeof(Obs), "obs_t", &obs_t));
  nc_ok(nc_insert_compound(ncid, obs_t, "id", offsetof(Obs, id), NC_INT));
  nc_ok(nc_insert_compound(ncid, obs_t, "sky", offsetof(Obs, sky), sky_t));
  nc_ok(nc_def_dim(ncid, "row", 4, &dims[0]));
  nc_ok(nc_def_dim(ncid, "col", kCols, &dims[1]));
  nc_ok(nc_def_dim(ncid, "n", 2, &dims[2]));
  nc_ok(nc_def_var(ncid, "big", big_t, 2, dims, &var));
  std::vector<Big> big(4 * kCols);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = {static_cast<int>(i), 0, {0.5 * i, -1.0 * i, 2.0 * i}};
  nc_ok(nc_put_var(ncid, var, big.data()));
  nc_ok(nc_def_var(ncid, "obs", obs_t, 1, &dims[2], &var));
  const Obs obs[2] = {{1, 255}, {2, 0}};
  nc_ok(nc_put_var(ncid, var, obs));
  nc_ok(nc_close(ncid));
  return nc;
}

// The DAS of each file is data/<file>.das, c.nc's with an ancillary DAS
// merged; data responses hold one Structure of the selected members.
TEST(NcModelTest, FilesWrittenHere) {
  TempDir dir;
  ncgen(dir, "c", kCdl);
  api_file(dir);
  dir.write("c.das",
            "Attributes {\n    w {\n        String comment \"ancillary\";\n"
            "    }\n}\n");
  for (const std::string name : {"c", "api"})
    EXPECT_EQ(body(run_handler({"-o", "das", dir / (name + ".nc")}).out),
              golden(name + ".das"));
  EXPECT_NE(run_handler({"-o", "ddx", "-u", "u", dir / "c.nc"})
                .out.find("<Attribute name=\"comment\" type=\"String\">"),
            std::string::npos);
  // A strided selection across rows and run boundaries: each record's own
  // values.
  std::string ids = counts(8);
  for (size_t row : {1, 3})
    for (size_t col : {1, 16662, 33323, 49984})
      ids += xdr_u32(static_cast<unsigned>(row * kCols + col));
  const double last = 4 * kCols - 1;
  const struct {
    std::string file, constraint, members, xdr;
  } cases[] = {
      // Strides and offsets inside each record as well as across records.
      {"c", "v.g[0:1][1][0:2:2]", "Int16 g[n = 2][1][2];\n",
       counts(4) + ints({4, 6, 10, 12})},
      {"c", "v.g[1][0:1][1:2]", "Int16 g[n = 1][2][2];\n",
       counts(4) + ints({8, 9, 11, 12})},
      {"c", "v.s[1][0:1]", "String s[n = 1][2];\n",
       xdr_u32(2) + xdr_str("x") + xdr_str("yz")},
      {"api", "big.id[1:2:3][1:16661:49999],big.v[3][49999][0:2:2]",
       "Int32 id[row = 2][col = 4];\n        Float64 v[row = 1][col = 1][2];\n",
       ids + counts(2) + doubles({0.5 * last, 2.0 * last})},
      // The enum member's base values.
      {"api", "obs.sky", "Byte sky[n = 2];\n",
       counts(2) + std::string("\xff\x00\x00\x00", 4)},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.constraint);
    EXPECT_EQ(body(run_handler({"-o", "DataDDS", "-e", k.constraint,
                                dir / (k.file + ".nc")})
                       .out),
              "Dataset {\n    Structure {\n        " + k.members + "    } " +
                  k.constraint.substr(0, k.constraint.find('.')) + ";\n} " +
                  k.file + ".nc;\nData:\n" + k.xdr);
  }
}

// A value that a Float64 cannot hold exactly is refused, before any header,
// with the variable and the index of the first such value; values within
// +-2^53 are served exactly, as are selections that avoid the others.
TEST(NcModelTest, WideIntegersAreExactOrRefusedBeforeTheHeader) {
  TempDir dir;
  // data/wide.cdl: 64-bit integers within and beyond +-2^53, in plain
  // variables, a scalar, a compound member and an enum, and attributes.
  const std::string nc = ncgen(dir, "wide", golden("wide.cdl"));
  static const struct {
    const char *view, *constraint, *refusal;  // as the Error's text has it
  } cases[] = {
      {"", "grid", "\\\"grid[1][1]\\\" holds 9007199254740993"},
      {"", "ok,grid", "\\\"grid[1][1]\\\" holds 9007199254740993"},
      {"", "u", "\\\"u[1]\\\" holds 18446744073709551615"},
      {"", "s", "\\\"s\\\" holds -9007199254740993"},
      {"", "recs.id", "\\\"recs.id[2]\\\" holds 9007199254740995"},
      {"", "e", "\\\"e[1]\\\" holds 9007199254740993"},
      {"--view=csv", "grid[1][0:2]",
       "\\\"grid[1][1]\\\" holds 9007199254740993"},
      {"", "grid[0:1][0:2:2]", nullptr},
      {"", "ok", nullptr},
      {"", "recs.x", nullptr},
      {"", "e[0]", nullptr},
      {"--view=csv", "grid[0][0:2]", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.view) + " " + c.constraint);
    std::vector<std::string> args = {"-o", "DataDDS", "-e", c.constraint, nc};
    if (*c.view) args.insert(args.begin(), c.view);
    const RunResult r = run_handler(args);
    EXPECT_EQ(r.status, 0) << r.err;
    if (c.refusal) {
      EXPECT_EQ(r.out.rfind("HTTP/1.0 500 Internal Server Error\r\n", 0), 0u);
      EXPECT_NE(body(r.out).find(c.refusal), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << r.out;
    }
  }
  const RunResult ok = run_handler({"-o", "DataDDS", "-e", "ok", nc});
  EXPECT_EQ(body(ok.out),
            "Dataset {\n    Float64 ok[c = 3];\n} wide.nc;\nData:\n" +
                counts(3) +
                doubles({-9007199254740992.0, 0, 9007199254740992.0}));
  // Attributes: a value beyond 2^53 makes the attribute a String of the
  // exact digits; one that fits stays Float64.
  const std::string das = body(run_handler({"-o", "das", nc}).out);
  for (const char* line : {"String big \"9007199254740993\", \"2\";",
                           "Float64 fits 9007199254740992;",
                           "String top \"18446744073709551615\";",
                           "String flag_values \"1\", \"9007199254740993\";"})
    EXPECT_NE(das.find(line), std::string::npos) << line << "\n" << das;
}

// CDL that stresses one bound with `n`: groups nested `n` deep or `n` groups
// side by side; compound types nested `n` deep, or each holding the one
// before twice ("compounds wide": 2^(n + 1) - 2 members).
std::string nesting_cdl(const std::string& kind, int n) {
  std::string cdl = "netcdf t {\n", closing;
  if (kind.find("groups") == 0) {
    for (int i = 0; i < n; ++i) {
      cdl += "group: g" + std::to_string(i) + " {\n";
      (kind == "groups" ? cdl : closing) += "}\n";
    }
    if (kind == "groups deep") cdl += "variables: int x; data: x = 1;\n";
    return cdl + closing + "}\n";
  }
  cdl += "types:\n compound c0 { int a; int b; };\n";
  for (int i = 1; i < n; ++i) {
    const std::string prev = "c" + std::to_string(i - 1);
    cdl += " compound c" + std::to_string(i) + " { " + prev + " l; " +
           (kind == "compounds wide" ? prev + " r; " : "") + "};\n";
  }
  return cdl + "variables:\n c" + std::to_string(n - 1) + " v;\n}\n";
}

// Hostile nesting: at the bound it is served, one past it is refused with
// an error response naming the bound.
TEST(NcModelTest, NestingBoundsGiveErrorResponses) {
  static const struct {
    int size;
    const char* kind;
    const char* error;  // empty: served
  } cases[] = {
      {32, "groups deep", ""},
      {33, "groups deep", "nests groups more than 32 levels deep"},
      {1000, "groups", ""},
      {1001, "groups", "has more than 1000 groups"},
      {16, "compounds deep", ""},
      {17, "compounds deep", "nests more than 16 levels deep"},
      // 4094 members, near the bound; the netCDF library cannot store a
      // type of twice that size, so the bound itself is not reached here.
      {11, "compounds wide", ""},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string nc = ncgen(dir, "t", nesting_cdl(c.kind, c.size));
    for (const char* response : {"das", "dds", "DataDDS"}) {
      SCOPED_TRACE(std::to_string(c.size) + " " + c.kind + " " + response);
      const RunResult r = run_handler({"-o", response, nc});
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out.rfind(*c.error ? "HTTP/1.0 500 Internal Server Error\r\n"
                                     : "HTTP/1.0 200 OK\r\n",
                            0),
                0u)
          << r.out;
      EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
