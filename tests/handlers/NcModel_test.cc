// qvp_nc_handler on netCDF-4 files beyond the classic model: groups served
// as Structures, compound variables as Structures of member arrays, enums as
// their base type, _Unsigned on unsigned variables, and the bounds on group
// and compound nesting. Expected bytes are computed from the values in
// samples/model.cdl.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

#include "HandlerRun.h"
#include "TempDir.h"

namespace libqvp {
namespace test {
namespace {

const std::string kModel = std::string(QVP_SAMPLE_DIR) + "/model.nc";

class NcModelTest : public ::testing::Test {
 protected:
  static RunResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"-v", "t/1"});
    return run_program(QVP_NC_HANDLER, args);
  }
  // The response body after the header block.
  static std::string body(const RunResult& r) {
    const size_t at = r.out.find("\r\n\r\n");
    return at == std::string::npos ? r.out : r.out.substr(at + 4);
  }
  static std::string ncgen(const TempDir& dir, const std::string& cdl) {
    const std::string nc = dir / "t.nc";
    const RunResult r = run_program(
        QVP_NCGEN, {"-k", "nc4", "-o", nc, dir.write("t.cdl", cdl)});
    EXPECT_EQ(r.status, 0) << r.err;
    return nc;
  }
};

TEST_F(NcModelTest, DdsServesGroupsCompoundsAndEnums) {
  const RunResult r = run({"-o", "dds", kModel});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(body(r),
            "Dataset {\n"
            "    Float32 lat[lat = 2];\n"
            "    Byte u8[n = 3];\n"
            "    UInt16 u16[n = 3];\n"
            "    UInt32 u32;\n"
            "    Int16 s16[n = 3];\n"
            "    Byte sky[n = 3];\n"
            "    Structure {\n"
            "        Int32 id[n = 3];\n"
            "        Float64 temp[n = 3];\n"
            "        String code[n = 3];\n"
            "        Structure {\n"
            "            Int16 speed[n = 3];\n"
            "            UInt16 direction[n = 3];\n"
            "        } wind;\n"
            "        Float32 pair[n = 3][2];\n"
            "    } obs;\n"
            "    Structure {\n"
            "        Int32 id;\n"
            "        Float64 temp;\n"
            "        String code;\n"
            "        Structure {\n"
            "            Int16 speed;\n"
            "            UInt16 direction;\n"
            "        } wind;\n"
            "        Float32 pair[2];\n"
            "    } latest;\n"
            "    Structure {\n"
            "        Int32 id[n = 3];\n"
            "    } tagged;\n"
            "    Structure {\n"
            "        Int32 time[time = 4];\n"
            "        Grid {\n"
            "          Array:\n"
            "            Float32 temp[time = 4][lat = 2];\n"
            "          Maps:\n"
            "            Int32 time[time = 4];\n"
            "            Float32 lat[lat = 2];\n"
            "        } temp;\n"
            "        Grid {\n"
            "          Array:\n"
            "            UInt16 count[time = 4];\n"
            "          Maps:\n"
            "            Int32 time[time = 4];\n"
            "        } count;\n"
            "        Structure {\n"
            "            Grid {\n"
            "              Array:\n"
            "                Int32 depth[lat = 2];\n"
            "              Maps:\n"
            "                Float32 lat[lat = 2];\n"
            "            } depth;\n"
            "        } soil;\n"
            "    } surface;\n"
            "} model.nc;\n");
}

TEST_F(NcModelTest, DasMarksUnsignedNamesEnumsAndNestsGroups) {
  const RunResult r = run({"-o", "das", kModel});
  EXPECT_EQ(r.status, 0) << r.err;
  static const char* const kParts[] = {
      "    u8 {\n        String _Unsigned \"true\";\n    }\n",
      "    u16 {\n        String units \"m\";\n"
      "        String _Unsigned \"true\";\n    }\n",
      "    u32 {\n        String _Unsigned \"true\";\n    }\n",
      // The file's own _Unsigned wins; signed types get none.
      "    s16 {\n        String _Unsigned \"false\";\n    }\n",
      "    sky {\n        String _Unsigned \"true\";\n"
      "        Int16 flag_values 0, 1, 255;\n"
      "        String flag_meanings \"clear partly overcast\";\n    }\n",
      "    obs {\n        String long_name \"observations\";\n"
      "        wind {\n            direction {\n"
      "                String _Unsigned \"true\";\n            }\n        }\n",
      "    surface {\n        String comment \"surface layer\";\n"
      "        time {\n            String units \"hours since 2024-01-01\";\n"
      "        }\n        temp {\n            String units \"K\";\n"
      "        }\n        count {\n            String _Unsigned \"true\";\n"
      "        }\n        soil {\n            depth {\n            }\n"
      "        }\n    }\n",
      "    NC_GLOBAL {\n        String title \"data model sample\";\n"
      "        String omitted_variables \"tagged.note (string)\", "
      "\"ragged (vlen)\", \"blob (opaque)\";\n"
      "    }\n}\n",
  };
  for (const char* part : kParts)
    EXPECT_NE(body(r).find(part), std::string::npos) << part << body(r);
}

TEST_F(NcModelTest, DdxPutsMemberAttributesOnTheMembers) {
  const std::string ddx = body(run({"-o", "ddx", "-u", "u", kModel}));
  static const char* const kParts[] = {
      "        <Grid name=\"temp\">\n"
      "            <Attribute name=\"units\" type=\"String\">\n"
      "                <value>K</value>\n",
      "            <Array name=\"direction\">\n"
      "                <Attribute name=\"_Unsigned\" type=\"String\">\n",
      "    <Structure name=\"surface\">\n"
      "        <Attribute name=\"comment\" type=\"String\">\n"
      "            <value>surface layer</value>\n"
      "        </Attribute>\n"
      "        <Array name=\"time\">\n",
  };
  for (const char* part : kParts)
    EXPECT_NE(ddx.find(part), std::string::npos) << part << ddx;
  // The only container left is the global one.
  const size_t container = ddx.find("type=\"Container\"");
  EXPECT_NE(container, std::string::npos);
  EXPECT_EQ(ddx.find("type=\"Container\"", container + 1), std::string::npos)
      << ddx;
}

TEST_F(NcModelTest, DataOfGroupMembersCompoundMembersAndEnums) {
  static const struct {
    const char* constraint;
    std::string dds;  // between "Dataset {\n" and "} model.nc;\n"
    std::string xdr;
  } cases[] = {
      {"u32", "    UInt32 u32;\n", xdr_u32(4000000000u)},
      {"sky", "    Byte sky[n = 3];\n",
       counts(3) + std::string("\x00\xff\x01\x00", 4)},
      {"surface.temp[1:2][0]",
       "    Structure {\n        Grid {\n          Array:\n"
       "            Float32 temp[time = 2][lat = 1];\n          Maps:\n"
       "            Int32 time[time = 2];\n"
       "            Float32 lat[lat = 1];\n        } temp;\n    } surface;\n",
       counts(2) + floats({273, 275}) + counts(2) + ints({1, 2}) + counts(1) +
           floats({10})},
      {"surface.soil.depth.depth",
       "    Structure {\n        Structure {\n            Grid {\n"
       "              Array:\n                Int32 depth[lat = 2];\n"
       "              Maps:\n            } depth;\n        } soil;\n"
       "    } surface;\n",
       counts(2) + ints({5, 6})},
      {"surface.count",
       "    Structure {\n        Grid {\n          Array:\n"
       "            UInt16 count[time = 4];\n          Maps:\n"
       "            Int32 time[time = 4];\n        } count;\n    } surface;\n",
       counts(4) + ints({65535, 1, 2, 3}) + counts(4) + ints({0, 1, 2, 3})},
      {"obs.pair[1:2][1]",
       "    Structure {\n        Float32 pair[n = 2][1];\n    } obs;\n",
       counts(2) + floats({4, 6})},
      {"obs.code[1:2],obs.id",
       "    Structure {\n        Int32 id[n = 3];\n"
       "        String code[n = 2];\n    } obs;\n",
       counts(3) + ints({1, 2, 3}) + xdr_u32(2) + xdr_str("ef") + xdr_str("g")},
      {"obs.wind.speed[0:2:2],obs.wind.direction[0:2:2]",
       "    Structure {\n        Structure {\n"
       "            Int16 speed[n = 2];\n            UInt16 direction[n = 2];\n"
       "        } wind;\n    } obs;\n",
       counts(2) + ints({-1, -3}) + counts(2) + ints({65535, 90})},
      {"latest",
       "    Structure {\n        Int32 id;\n        Float64 temp;\n"
       "        String code;\n        Structure {\n"
       "            Int16 speed;\n            UInt16 direction;\n"
       "        } wind;\n        Float32 pair[2];\n"
       "    } latest;\n",
       ints({9}) + doubles({9.5}) + xdr_str("last") + ints({7, 8}) + counts(2) +
           floats({10, 11})},
  };
  for (const auto& c : cases) {
    const RunResult r = run({"-o", "DataDDS", "-e", c.constraint, kModel});
    EXPECT_EQ(r.status, 0) << c.constraint << r.err;
    EXPECT_EQ(body(r), "Dataset {\n" + c.dds + "} model.nc;\nData:\n" + c.xdr)
        << c.constraint;
  }
}

// A group attribute may share its name with a variable or group of the
// group, which the DAS gives the container: the attribute moves to NC_GLOBAL
// under its dotted path instead of failing the response.
TEST_F(NcModelTest, GroupAttributeNamedLikeAMemberMovesToGlobals) {
  TempDir dir;
  const std::string nc =
      ncgen(dir,
            "netcdf c {\ngroup: g {\nvariables:\n int temp;\n"
            " :temp = \"attr\"; :sub = 1; :kept = 2;\n"
            "data:\n temp = 1;\ngroup: sub { }\n}\n}\n");
  const RunResult r = run({"-o", "das", nc});
  EXPECT_EQ(body(r),
            "Attributes {\n    g {\n        Int32 kept 2;\n"
            "        temp {\n        }\n        sub {\n        }\n    }\n"
            "    NC_GLOBAL {\n        String g.temp \"attr\";\n"
            "        Int32 g.sub 1;\n    }\n}\n")
      << r.out;
}

// Members with two dimensions of their own: strides and offsets inside each
// record as well as across records.
TEST_F(NcModelTest, MembersWithTheirOwnDimensions) {
  TempDir dir;
  const std::string nc = ncgen(
      dir,
      "netcdf m {\ntypes:\n compound c_t { short g(2,3); char s(2,3); };\n"
      "dimensions:\n n = 2;\nvariables:\n c_t v(n);\ndata:\n"
      " v = {{1,2,3,4,5,6}, {\"ab\", \"cde\"}},"
      " {{7,8,9,10,11,12}, {\"x\", \"yz\"}};\n}\n");
  static const struct {
    const char* constraint;
    const char* decl;
    std::string xdr;
  } cases[] = {
      {"v.g[0:1][1][0:2:2]", "Int16 g[n = 2][1][2]",
       counts(4) + ints({4, 6, 10, 12})},
      {"v.g[1][0:1][1:2]", "Int16 g[n = 1][2][2]",
       counts(4) + ints({8, 9, 11, 12})},
      {"v.s[1][0:1]", "String s[n = 1][2]",
       xdr_u32(2) + xdr_str("x") + xdr_str("yz")},
  };
  for (const auto& c : cases) {
    const RunResult r = run({"-o", "DataDDS", "-e", c.constraint, nc});
    EXPECT_EQ(body(r), std::string("Dataset {\n    Structure {\n        ") +
                           c.decl + ";\n    } v;\n} t.nc;\nData:\n" + c.xdr)
        << c.constraint;
  }
}

// A compound variable of 4 x 50000 records of 32 bytes (6.4 MB) is read in
// runs of records along its last dimension; a strided selection across rows
// and run boundaries must give each record's own values.
TEST_F(NcModelTest, CompoundRecordsAreReadInRunsAcrossRows) {
  struct Rec {
    int id;
    int pad;
    double v[3];
  };
  constexpr size_t kRows = 4, kCols = 50000;
  TempDir dir;
  const std::string nc = dir / "big.nc";
  int ncid, type, dims[2], var;
  ASSERT_EQ(nc_create(nc.c_str(), NC_NETCDF4, &ncid), NC_NOERR);
  ASSERT_EQ(nc_def_compound(ncid, sizeof(Rec), "rec_t", &type), NC_NOERR);
  nc_insert_compound(ncid, type, "id", offsetof(Rec, id), NC_INT);
  const int three = 3;
  nc_insert_array_compound(ncid, type, "v", offsetof(Rec, v), NC_DOUBLE, 1,
                           &three);
  nc_def_dim(ncid, "row", kRows, &dims[0]);
  nc_def_dim(ncid, "col", kCols, &dims[1]);
  ASSERT_EQ(nc_def_var(ncid, "big", type, 2, dims, &var), NC_NOERR);
  std::vector<Rec> recs(kRows * kCols);
  for (size_t i = 0; i < recs.size(); ++i)
    recs[i] = {static_cast<int>(i), 0, {0.5 * i, -1.0 * i, 2.0 * i}};
  ASSERT_EQ(nc_put_var(ncid, var, recs.data()), NC_NOERR);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);

  const RunResult r =
      run({"-o", "DataDDS", "-e",
           "big.id[1:2:3][1:16661:49999],big.v[3][49999][0:2:2]", nc});
  std::string ids = counts(8);
  for (size_t row : {1, 3})
    for (size_t col : {1, 16662, 33323, 49984})
      ids += xdr_u32(static_cast<unsigned>(row * kCols + col));
  const double last = 4 * kCols - 1;
  EXPECT_EQ(body(r),
            "Dataset {\n    Structure {\n"
            "        Int32 id[row = 2][col = 4];\n"
            "        Float64 v[row = 1][col = 1][2];\n"
            "    } big;\n} big.nc;\nData:\n" +
                ids + counts(2) + doubles({0.5 * last, 2.0 * last}));
}

// An enum member of a compound (which ncgen cannot write): its base values,
// with _Unsigned and the enum's flags on the member.
TEST_F(NcModelTest, EnumMemberOfACompound) {
  struct Rec {
    int id;
    unsigned char sky;
  };
  TempDir dir;
  const std::string nc = dir / "e.nc";
  int ncid, sky_t, rec_t, dim, var;
  ASSERT_EQ(nc_create(nc.c_str(), NC_NETCDF4, &ncid), NC_NOERR);
  nc_def_enum(ncid, NC_UBYTE, "sky_t", &sky_t);
  const unsigned char clear = 0, overcast = 255;
  nc_insert_enum(ncid, sky_t, "clear", &clear);
  nc_insert_enum(ncid, sky_t, "overcast", &overcast);
  nc_def_compound(ncid, sizeof(Rec), "rec_t", &rec_t);
  nc_insert_compound(ncid, rec_t, "id", offsetof(Rec, id), NC_INT);
  nc_insert_compound(ncid, rec_t, "sky", offsetof(Rec, sky), sky_t);
  nc_def_dim(ncid, "n", 2, &dim);
  ASSERT_EQ(nc_def_var(ncid, "obs", rec_t, 1, &dim, &var), NC_NOERR);
  const Rec recs[2] = {{1, 255}, {2, 0}};
  ASSERT_EQ(nc_put_var(ncid, var, recs), NC_NOERR);
  ASSERT_EQ(nc_close(ncid), NC_NOERR);

  EXPECT_EQ(body(run({"-o", "das", nc})),
            "Attributes {\n    obs {\n        sky {\n"
            "            String _Unsigned \"true\";\n"
            "            Int16 flag_values 0, 255;\n"
            "            String flag_meanings \"clear overcast\";\n"
            "        }\n    }\n    NC_GLOBAL {\n    }\n}\n");
  EXPECT_EQ(body(run({"-o", "DataDDS", "-e", "obs.sky", nc})),
            "Dataset {\n    Structure {\n        Byte sky[n = 2];\n"
            "    } obs;\n} e.nc;\nData:\n" +
                counts(2) + std::string("\xff\x00\x00\x00", 4));
}

// Hostile nesting: at the bound it is served, one past it is refused with
// an error response naming the bound.
TEST_F(NcModelTest, NestingBoundsGiveErrorResponses) {
  auto nested_groups = [](int depth) {
    std::string cdl = "netcdf t {\n";
    for (int i = 0; i < depth; ++i)
      cdl += "group: g" + std::to_string(i) + " {\n";
    cdl += "variables: int x; data: x = 1;\n";
    for (int i = 0; i < depth; ++i) cdl += "}\n";
    return cdl + "}\n";
  };
  auto many_groups = [](int count) {
    std::string cdl = "netcdf t {\n";
    for (int i = 0; i < count; ++i)
      cdl += "group: g" + std::to_string(i) + " { }\n";
    return cdl + "}\n";
  };
  auto nested_compounds = [](int depth) {
    std::string cdl = "netcdf t {\ntypes:\n compound c0 { int x; };\n";
    for (int i = 1; i < depth; ++i)
      cdl += " compound c" + std::to_string(i) + " { c" +
             std::to_string(i - 1) + " m; };\n";
    return cdl + "variables:\n c" + std::to_string(depth - 1) + " v;\n}\n";
  };
  // Each type holds the one before twice: 2^(levels + 1) - 2 members.
  auto doubling_compounds = [](int levels) {
    std::string cdl = "netcdf t {\ntypes:\n compound c0 { int a; int b; };\n";
    for (int i = 1; i < levels; ++i) {
      const std::string prev = "c" + std::to_string(i - 1);
      cdl += " compound c" + std::to_string(i) + " { " + prev + " l; " + prev +
             " r; };\n";
    }
    return cdl + "variables:\n c" + std::to_string(levels - 1) + " v;\n}\n";
  };
  static const struct {
    int size;
    const char* kind;   // which of the four files
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
    const std::string kind = c.kind;
    const std::string nc =
        ncgen(dir, kind == "groups deep"      ? nested_groups(c.size)
                   : kind == "groups"         ? many_groups(c.size)
                   : kind == "compounds deep" ? nested_compounds(c.size)
                                              : doubling_compounds(c.size));
    for (const char* response : {"das", "dds", "DataDDS"}) {
      const RunResult r = run({"-o", response, nc});
      const std::string what =
          std::to_string(c.size) + " " + kind + " " + response;
      EXPECT_EQ(r.status, 0) << what;
      if (*c.error == '\0') {
        EXPECT_EQ(r.out.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << what << r.out;
      } else {
        EXPECT_EQ(r.out.rfind("HTTP/1.0 500 Internal Server Error\r\n", 0), 0u)
            << what << r.out;
        EXPECT_NE(r.out.find(c.error), std::string::npos) << what << r.out;
      }
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace libqvp
