// Constraint expressions applied to a DDS: what they select, the hyperslabs
// they set, the constrained DDS text, refused expressions (which must leave
// nothing selected) and the sequence rows that selection clauses keep.
#include "CoreTest.h"

namespace libqvp::test {

// obs rows: (id, time, n, loc.t)
void add_obs_row(Sequence& obs, const std::string& id, double time, int n,
                 float t) {
  auto loc = named<Structure>("loc");
  loc->add_var(holding<Float32>(t));
  obs.add_row(row_of(holding<Str>(id), holding<Float64>(time),
                     holding<Int32>(n), std::move(loc)));
}

// The selected variables in declaration order, as dotted paths; arrays with
// their selection per dimension as [start:stride:stop].
void dump_var(const BaseType* v, const std::string& prefix, std::string& out) {
  if (!v->send_p()) return;
  const std::string path = prefix + v->name();
  out += (out.empty() ? "" : " ") + path;
  if (const auto* a = dynamic_cast<const Array*>(v))
    for (const Array::Dimension& d : a->dims())
      out += "[" + std::to_string(d.start) + ":" + std::to_string(d.stride) +
             ":" + std::to_string(d.stop) + "]";
  if (const auto* c = dynamic_cast<const Constructor*>(v))
    for (auto it = c->var_begin(); it != c->var_end(); ++it)
      dump_var(*it, path + ".", out);
  if (const auto* g = dynamic_cast<const Grid*>(v)) {
    dump_var(g->array(), path + ".", out);
    for (size_t i = 0; i < g->map_count(); ++i)
      dump_var(g->map(i), path + ".", out);
  }
}

class ConstraintEvaluatorTest : public ::testing::Test {
 protected:
  ConstraintEvaluatorTest() {
    auto& obs = dynamic_cast<Sequence&>(*d_dds->var("obs"));
    add_obs_row(obs, "a1", 1.5, 1, -1.0f);
    add_obs_row(obs, "b2", 2.5, 2, 0.5f);
    add_obs_row(obs, "b3", 0.5, 3, -2.0f);
  }
  std::string selection() {
    std::string out;
    for (auto it = d_dds->var_begin(); it != d_dds->var_end(); ++it)
      dump_var(*it, "", out);
    return out;
  }
  Array* arr(const std::string& path) {
    return dynamic_cast<Array*>(d_dds->var(path));
  }
  Sequence* seq(const std::string& path) {
    return dynamic_cast<Sequence*>(d_dds->var(path));
  }

  // The data set every test constrains; obs holds three rows.
  std::unique_ptr<DDS> d_dds = parsed_dds(data_file("constraints.dds"));
  ConstraintEvaluator d_eval;
};

const char* const kEverything =
    "count title depth[0:1:5] field[0:1:2][0:1:4] station station.code "
    "station.level[0:1:2] station.inner station.inner.a obs obs.id obs.time "
    "obs.n obs.loc obs.loc.t casts casts.n casts.profile casts.profile.temp "
    "sst sst.sst[0:1:1][0:1:2] sst.time[0:1:1] sst.lat[0:1:2] grp grp.b.c "
    "sea temp";
const char* const kStation =
    "station station.code station.level[0:1:2] station.inner station.inner.a";
const char* const kSst =
    "sst sst.sst[0:1:1][0:1:2] sst.time[0:1:1] sst.lat[0:1:2]";

TEST_F(ConstraintEvaluatorTest, SelectsWhatTheProjectionNames) {
  // clang-format off
  static const struct { const char* expr; const char* selected; } cases[] = {
      {"", kEverything}, {"&obs.n>1", kEverything}, {"count", "count"},
      {"title,count", "count title"}, {"depth[1:4]", "depth[1:1:4]"},
      {"depth[2]", "depth[2:1:2]"}, {"depth[0:2:5]", "depth[0:2:5]"},
      {"depth[5:5]", "depth[5:1:5]"}, {"field[1]", "field[1:1:1][0:1:4]"},
      {"field[0:2:2][1:3:4]", "field[0:2:2][1:3:4]"}, {"depth[1:2],depth", "depth[1:1:2]"},
      {"station.code", "station station.code"},
      {"station.inner.a", "station station.inner station.inner.a"},
      {"station.level[1]", "station station.level[1:1:1]"},
      {"station", kStation}, {"station.code,station", kStation},
      {"obs.time", "obs obs.time"}, {"obs.loc.t", "obs obs.loc obs.loc.t"},
      {"casts.profile.temp", "casts casts.profile casts.profile.temp"},
      {"sst", kSst}, {"sst[0:1]", kSst},
      {"sst[1][0:2:2]", "sst sst.sst[1:1:1][0:2:2] sst.time[1:1:1] sst.lat[0:2:2]"},
      {"sst.lat[1:2]", "sst sst.lat[1:1:2]"}, {"sst.sst[1][2]", "sst sst.sst[1:1:1][2:1:2]"},
      {"sst.time,sst.lat", "sst sst.time[0:1:1] sst.lat[0:1:2]"},
      {"grp.b.c", "grp grp.b.c"}, {"grp.b%2Ec", "grp grp.b.c"},
      {"sea%20temp", "sea temp"}, {"%63ount", "count"}, {"version()", ""},
      {"linear_scale(depth[1:2])", ""},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    d_eval.parse_constraint(c.expr, *d_dds);
    EXPECT_EQ(selection(), c.selected);
  }
}

TEST_F(ConstraintEvaluatorTest, RefusesBadExpressions) {
  for (const auto& c : data_cases("ce_errors.txt")) {
    SCOPED_TRACE(c.at(0));
    auto parse = [&] { d_eval.parse_constraint(c.at(0), *d_dds); };
    c.size() > 2 ? expect_error(parse, error_code(c.at(1)), c.at(2))
                 : expect_error(parse, error_code(c.at(1)));
  }
}

// A refused expression must not leave the selection of an earlier one (or a
// half of its own) for a later response to send.
TEST_F(ConstraintEvaluatorTest, LeavesNothingSelectedAfterARefusal) {
  for (const char* expr :
       {"count,nosuch", "depth[1:2],depth[9]", "station.code&obs.n=\"x\"",
        "sst[1],station[0]", "depth[1:2],version()",
        "linear_scale(depth[1:2],nosuch)"}) {
    SCOPED_TRACE(expr);
    d_eval.parse_constraint("depth[1:2],station.code,sst[1]&obs.n>1", *d_dds);
    d_eval.parse_constraint("linear_scale(field[1])", *d_dds);
    EXPECT_TRUE(d_eval.functional_expression());
    d_eval.parse_constraint("depth[1:2],station.code,sst[1]&obs.n>1", *d_dds);
    EXPECT_THROW(d_eval.parse_constraint(expr, *d_dds), Error);
    EXPECT_EQ(selection(), "");
    EXPECT_EQ(arr("depth")->dims()[0].c_size, 6);
    EXPECT_EQ(arr("field")->dims()[0].c_size, 3);
    EXPECT_EQ(arr("sst.sst")->length(), 6u);
    EXPECT_EQ(arr("sst.time")->length(), 2u);
    EXPECT_FALSE(d_eval.has_selection());
    EXPECT_FALSE(d_eval.functional_expression());
    EXPECT_THROW(d_eval.eval_function(*d_dds, "demo.nc"), Error);
  }
}

// Rows run in order on one data set: sizes come back whole after a slab.
TEST_F(ConstraintEvaluatorTest, PrintsTheConstrainedDDS) {
  static const struct {
    const char* expr;
    const char* decls;  // between "Dataset {\n" and "} demo.nc;\n"
  } cases[] = {
      {"depth[0:2:5],count",
       "    Int32 count;\n    Float64 depth[depth = 3];\n"},
      {"depth[0:9:5]", "    Float64 depth[depth = 1];\n"},
      {"depth,field[2]",
       "    Float64 depth[depth = 6];\n    Float32 field[y = 1][x = 5];\n"},
      {"station.level[1:2],station.inner.a",
       "    Structure {\n        Float32 level[2];\n"
       "        Structure {\n            Int32 a;\n        } inner;\n"
       "    } station;\n"},
      {"sst[1][0:2:2]",
       "    Grid {\n      Array:\n        Float32 sst[time = 1][lat = 2];\n"
       "      Maps:\n        Float64 time[time = 1];\n"
       "        Float32 lat[lat = 2];\n    } sst;\n"},
      {"sst.sst[0:1][0:2:2],sst.lat[0:2:2]",
       "    Grid {\n      Array:\n        Float32 sst[time = 2][lat = 2];\n"
       "      Maps:\n        Float32 lat[lat = 2];\n    } sst;\n"},
      {"sst.sst",  // the array alone keeps "Maps:"
       "    Grid {\n      Array:\n        Float32 sst[time = 2][lat = 3];\n"
       "      Maps:\n    } sst;\n"},
      {"sst.lat[1:2]",
       "    Structure {\n        Float32 lat[lat = 2];\n    } sst;\n"},
      {"obs.n,obs.id",
       "    Sequence {\n        String id;\n        Int32 n;\n    } obs;\n"},
      {"sea%20temp", "    Float64 sea%20temp;\n"},
      {"nosuch", ""},
  };
  for (const auto& c : cases) {
    try {
      d_eval.parse_constraint(c.expr, *d_dds);
    } catch (const Error&) {
    }
    std::ostringstream out;
    d_dds->print_constrained(out);
    EXPECT_EQ(out.str(), std::string("Dataset {\n") + c.decls + "} demo.nc;\n")
        << c.expr;
  }
}

// Serialises obs after `expr` and returns the bytes written.
class SequenceSelectionTest : public ConstraintEvaluatorTest {
 protected:
  std::string rows_of(const std::string& expr, bool ce_eval = true) {
    d_eval.parse_constraint(expr, *d_dds);
    std::ostringstream out;
    {
      XDRStreamMarshaller m(out);
      d_dds->var("obs")->serialize("demo.nc", d_eval, *d_dds, m, ce_eval);
    }
    return out.str();
  }
  // The bytes of rows holding only n, for each n in `ns`.
  static std::string rows(std::initializer_list<char> ns) {
    std::string s;
    for (char n : ns) s += std::string("\x5A\0\0\0\0\0\0", 7) + n;
    return s + std::string("\xA5\0\0\0", 4);
  }
};

TEST_F(SequenceSelectionTest, KeepsTheRowsThatSatisfyEveryClause) {
  // clang-format off
  static const struct { const char* expr; std::initializer_list<char> ns; } cases[] = {
      {"obs.n", {1, 2, 3}}, {"obs.n&obs.n>1", {2, 3}},
      {"obs.n&obs.n>=2&obs.n<=2", {2}}, {"obs.n&obs.n<2", {1}},
      {"obs.n&obs.n!=2", {1, 3}}, {"obs.n&obs.n=4", {}},
      {"obs.n&obs.n={1,3}", {1, 3}}, {"obs.n&{3,1}=obs.n", {1, 3}},
      {"obs.n&obs.id=\"b2\"", {2}}, {"obs.n&obs.id=\"%622\"", {2}},
      {"obs.n&\"b2\"<obs.id", {3}}, {"obs.n&obs.id!={\"a1\",\"b3\"}", {1, 2, 3}},
      {"obs.n&obs.id=~\"b.*\"", {2, 3}},
      {"obs.n&obs.id=~\"b\"", {}},  // the whole value must match
      {"obs.n&obs.id=~{\"a.\",\".3\"}", {1, 3}}, {"obs.n&obs.time>obs.n", {1, 2}},
      {"obs.n&obs.loc.t<0", {1, 3}}, {"obs.n&obs.n>1&obs.loc.t<0", {3}},
      {"obs.n&obs.time<=1.5e0", {1, 3}},
      {"obs.n&casts.n>100", {1, 2, 3}},  // another sequence's clause
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(rows_of(c.expr), rows(c.ns)) << c.expr;
}

TEST_F(SequenceSelectionTest, SelectionIsIgnoredWhenNotAskedFor) {
  EXPECT_EQ(rows_of("obs.n&obs.n>5"), rows({}));
  EXPECT_EQ(rows_of("obs.n&obs.n>5", false), rows({1, 2, 3}));
  EXPECT_TRUE(d_eval.has_selection());
  d_eval.parse_constraint("obs.n", *d_dds);
  EXPECT_FALSE(d_eval.has_selection());
}

TEST_F(SequenceSelectionTest, MatchesLongValuesWithoutBlowingUp) {
  add_obs_row(*seq("obs"), std::string(50000, 'a'), 0, 4, 0);
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a|a)*\""), rows({4}));
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a*)*b\""), rows({}));
}

// A clause on a nested sequence's field filters that sequence's rows, not
// the rows of the sequence around it; a row that does not fit is an error.
TEST_F(ConstraintEvaluatorTest, ClausesApplyToTheirOwnSequencesRows) {
  d_eval.parse_constraint("casts&casts.profile.temp>5", *d_dds);
  EXPECT_TRUE(d_eval.eval_selection(*seq("casts.profile"),
                                    row_of(holding<Float64>(7.0))));
  EXPECT_FALSE(d_eval.eval_selection(*seq("casts.profile"),
                                     row_of(holding<Float64>(2.0))));
  EXPECT_TRUE(d_eval.eval_selection(*seq("casts"), row_of(holding<Int32>(1))));

  d_eval.parse_constraint("&obs.n>1", *d_dds);
  for (const Sequence::Row& row :
       {row_of(holding<Str>("x"), holding<Float64>(1.0),
               holding<Str>("not a number")),
        row_of()}) {
    expect_error([&] { d_eval.eval_selection(*seq("obs"), row); },
                 type_mismatch,
                 "a row of sequence \"obs\" holds no value of the right type "
                 "for \"obs.n\"");
  }
}

}  // namespace libqvp::test
