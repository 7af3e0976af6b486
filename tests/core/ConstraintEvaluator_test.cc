// Constraint expressions applied to a DDS: what they select, the hyperslabs
// they set, the constrained DDS text, refused expressions (which must leave
// nothing selected) and the sequence rows that selection clauses keep.
#include <gtest/gtest.h>
#include <libqvp/Array.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Sequence.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>
#include <libqvp/XDRStreamMarshaller.h>

#include <sstream>
#include <string>

#include "ExpectError.h"

namespace libqvp {
namespace {

template <typename T>
std::unique_ptr<T> named(const std::string& name) {
  return std::make_unique<T>(name);
}

template <typename T>
std::unique_ptr<Array> array(const std::string& name,
                             std::vector<std::pair<int, std::string>> dims) {
  auto a = std::make_unique<Array>(name, named<T>(name));
  for (const auto& d : dims) a->append_dim(d.first, d.second);
  return a;
}

template <typename T, typename V>
std::unique_ptr<BaseType> value(V v) {
  auto s = named<T>("");
  s->set_value(v);
  return s;
}

// obs rows: (id, time, n, loc.t)
void add_obs_row(Sequence& obs, const char* id, double time, int n, float t) {
  auto loc = named<Structure>("loc");
  loc->add_var(value<Float32>(t));
  Sequence::Row row;
  row.push_back(value<Str>(std::string(id)));
  row.push_back(value<Float64>(time));
  row.push_back(value<Int32>(n));
  row.push_back(std::move(loc));
  obs.add_row(std::move(row));
}

std::unique_ptr<Sequence> make_obs() {
  auto obs = named<Sequence>("obs");
  obs->add_var(named<Str>("id"));
  obs->add_var(named<Float64>("time"));
  obs->add_var(named<Int32>("n"));
  auto loc = named<Structure>("loc");
  loc->add_var(named<Float32>("t"));
  obs->add_var(std::move(loc));
  add_obs_row(*obs, "a1", 1.5, 1, -1.0f);
  add_obs_row(*obs, "b2", 2.5, 2, 0.5f);
  add_obs_row(*obs, "b3", 0.5, 3, -2.0f);
  return obs;
}

std::unique_ptr<Grid> make_sst() {
  auto g = named<Grid>("sst");
  g->set_array(array<Float32>("sst", {{2, "time"}, {3, "lat"}}));
  g->add_map(array<Float64>("time", {{2, "time"}}));
  g->add_map(array<Float32>("lat", {{3, "lat"}}));
  return g;
}

// The data set every test constrains.
std::unique_ptr<DDS> make_dds() {
  auto dds = std::make_unique<DDS>("demo.nc");
  dds->add_var(named<Int32>("count"));
  dds->add_var(named<Str>("title"));
  dds->add_var(array<Float64>("depth", {{6, "depth"}}));
  dds->add_var(array<Float32>("field", {{3, "y"}, {5, "x"}}));
  auto station = named<Structure>("station");
  station->add_var(named<Int16>("code"));
  station->add_var(array<Float32>("level", {{3, ""}}));
  auto inner = named<Structure>("inner");
  inner->add_var(named<Int32>("a"));
  station->add_var(std::move(inner));
  dds->add_var(std::move(station));
  dds->add_var(make_obs());
  auto casts = named<Sequence>("casts");
  casts->add_var(named<Int32>("n"));
  auto profile = named<Sequence>("profile");
  profile->add_var(named<Float64>("temp"));
  casts->add_var(std::move(profile));
  dds->add_var(std::move(casts));
  dds->add_var(make_sst());
  auto grp = named<Structure>("grp");
  grp->add_var(named<Int16>("b.c"));
  dds->add_var(std::move(grp));
  dds->add_var(named<Float64>("sea temp"));
  return dds;
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

std::string selection(const DDS& dds) {
  std::string out;
  for (auto it = dds.var_begin(); it != dds.var_end(); ++it)
    dump_var(*it, "", out);
  return out;
}

class ConstraintEvaluatorTest : public ::testing::Test {
 protected:
  std::unique_ptr<DDS> d_dds = make_dds();
  ConstraintEvaluator d_eval;

  std::string constrained_text() {
    std::ostringstream out;
    d_dds->print_constrained(out);
    return out.str();
  }
  Array* arr(const std::string& path) {
    return dynamic_cast<Array*>(d_dds->var(path));
  }
};

const char* const kEverything =
    "count title depth[0:1:5] field[0:1:2][0:1:4] station station.code "
    "station.level[0:1:2] station.inner station.inner.a obs obs.id obs.time "
    "obs.n obs.loc obs.loc.t casts casts.n casts.profile casts.profile.temp "
    "sst sst.sst[0:1:1][0:1:2] sst.time[0:1:1] sst.lat[0:1:2] grp grp.b.c "
    "sea temp";

TEST_F(ConstraintEvaluatorTest, SelectsWhatTheProjectionNames) {
  static const struct {
    const char* expr;
    const char* selected;
  } cases[] = {
      {"", kEverything},
      {"&obs.n>1", kEverything},
      {"count", "count"},
      {"title,count", "count title"},
      {"depth[1:4]", "depth[1:1:4]"},
      {"depth[2]", "depth[2:1:2]"},
      {"depth[0:2:5]", "depth[0:2:5]"},
      {"depth[5:5]", "depth[5:1:5]"},
      {"field[1]", "field[1:1:1][0:1:4]"},
      {"field[0:2:2][1:3:4]", "field[0:2:2][1:3:4]"},
      {"depth[1:2],depth", "depth[1:1:2]"},
      {"station.code", "station station.code"},
      {"station.inner.a", "station station.inner station.inner.a"},
      {"station.level[1]", "station station.level[1:1:1]"},
      {"station",
       "station station.code station.level[0:1:2] station.inner "
       "station.inner.a"},
      {"station.code,station",
       "station station.code station.level[0:1:2] station.inner "
       "station.inner.a"},
      {"obs.time", "obs obs.time"},
      {"obs.loc.t", "obs obs.loc obs.loc.t"},
      {"casts.profile.temp", "casts casts.profile casts.profile.temp"},
      {"sst", "sst sst.sst[0:1:1][0:1:2] sst.time[0:1:1] sst.lat[0:1:2]"},
      {"sst[1][0:2:2]",
       "sst sst.sst[1:1:1][0:2:2] sst.time[1:1:1] sst.lat[0:2:2]"},
      {"sst[0:1]", "sst sst.sst[0:1:1][0:1:2] sst.time[0:1:1] sst.lat[0:1:2]"},
      {"sst.lat[1:2]", "sst sst.lat[1:1:2]"},
      {"sst.sst[1][2]", "sst sst.sst[1:1:1][2:1:2]"},
      {"sst.time,sst.lat", "sst sst.time[0:1:1] sst.lat[0:1:2]"},
      {"grp.b.c", "grp grp.b.c"},
      {"grp.b%2Ec", "grp grp.b.c"},
      {"sea%20temp", "sea temp"},
      {"%63ount", "count"},
      {"version()", ""},
      {"linear_scale(depth[1:2])", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    d_eval.parse_constraint(c.expr, *d_dds);
    EXPECT_EQ(selection(*d_dds), c.selected);
  }
}

TEST_F(ConstraintEvaluatorTest, HyperslabsCountTheSelectedElements) {
  static const struct {
    const char* expr;
    const char* path;
    int c_size0;
    int c_size1;
  } cases[] = {
      {"depth[0:2:5]", "depth", 3, 0},  // 0, 2 and 4
      {"depth[0:2:4]", "depth", 3, 0},        {"depth[1:5:5]", "depth", 1, 0},
      {"depth[0:9:5]", "depth", 1, 0},        {"depth", "depth", 6, 0},
      {"field[0:2:2][1:3:4]", "field", 2, 2}, {"field[2]", "field", 1, 5},
  };
  for (const auto& c : cases) {
    d_eval.parse_constraint(c.expr, *d_dds);
    const Array* a = arr(c.path);
    ASSERT_NE(a, nullptr) << c.path;
    EXPECT_EQ(a->dims()[0].c_size, c.c_size0) << c.expr;
    if (a->dimensions() > 1) {
      EXPECT_EQ(a->dims()[1].c_size, c.c_size1) << c.expr;
    }
  }
}

TEST_F(ConstraintEvaluatorTest, EachParseStartsFromNothingSelected) {
  d_eval.parse_constraint("depth[1:2],station.code,sst[1]", *d_dds);
  d_eval.parse_constraint("count", *d_dds);
  EXPECT_EQ(selection(*d_dds), "count");
  EXPECT_EQ(arr("depth")->dims()[0].c_size, 6);
  EXPECT_EQ(arr("sst.time")->dims()[0].c_size, 2);
  EXPECT_EQ(arr("sst.sst")->length(), 6u);
}

#define REPEAT_8 "\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\",\"a\","
#define REPEAT_63                                                \
  REPEAT_8 REPEAT_8 REPEAT_8 REPEAT_8 REPEAT_8 REPEAT_8 REPEAT_8 \
      "\"a\",\"a\","                                             \
      "\"a\",\"a\",\"a\",\"a\",\"a\""

TEST_F(ConstraintEvaluatorTest, RefusesBadExpressions) {
  static const struct {
    const char* expr;
    int code;
    const char* message;
  } cases[] = {
      {"nosuch", no_such_variable, "1:1: no such variable: \"nosuch\""},
      {"count,station.nosuch", no_such_variable,
       "1:7: no such variable: \"station.nosuch\""},
      {"count.x", no_such_variable, "1:1: no such variable: \"count.x\""},
      {"sst.nosuch", no_such_variable, "1:1: no such variable: \"sst.nosuch\""},
      {"foo()", no_such_function, "1:1: no such function: \"foo\""},
      {"count,version()", malformed_expr,
       "1:7: function call \"version\" cannot be combined with other "
       "projection items"},
      {"version(),version()", malformed_expr,
       "1:1: function call \"version\" cannot be combined with other "
       "projection items"},
      {"depth[6]", bad_hyperslab,
       "1:6: hyperslab [6] of \"depth\" is out of range: dimension 0 has 6 "
       "elements"},
      {"depth[0:6]", bad_hyperslab,
       "1:6: hyperslab [0:6] of \"depth\" is out of range: dimension 0 has 6 "
       "elements"},
      {"depth[3:1]", bad_hyperslab,
       "1:6: hyperslab [3:1] of \"depth\" stops before it starts"},
      {"depth[0:0:3]", bad_hyperslab,
       "1:6: hyperslab [0:0:3] of \"depth\" has a zero stride"},
      {"depth[0][0]", bad_hyperslab,
       "1:9: hyperslab [0] of \"depth\": it has 1 dimension(s)"},
      {"field[0][5]", bad_hyperslab,
       "1:9: hyperslab [5] of \"field\" is out of range: dimension 1 has 5 "
       "elements"},
      {"count[0]", bad_hyperslab,
       "1:6: hyperslab [0] given to \"count\", which is not an array"},
      {"station[0]", bad_hyperslab,
       "1:8: hyperslab [0] given to \"station\", which is not an array"},
      {"sst[0][0][0]", bad_hyperslab,
       "1:10: hyperslab [0] of \"sst\": it has 2 dimension(s)"},
      {"sst[2]", bad_hyperslab,
       "1:4: hyperslab [2] of \"sst\" is out of range: dimension 0 has 2 "
       "elements"},
      {"linear_scale(nosuch)", no_such_variable,
       "1:14: no such variable: \"nosuch\""},
      {"linear_scale(depth[9])", bad_hyperslab,
       "1:19: hyperslab [9] of \"depth\" is out of range: dimension 0 has 6 "
       "elements"},
      {"&count>1", malformed_expr,
       "1:2: selection clauses filter sequences; \"count\" is not a field of "
       "a sequence"},
      {"&station.code=1", malformed_expr,
       "1:2: selection clauses filter sequences; \"station.code\" is not a "
       "field of a sequence"},
      {"&1=1", malformed_expr,
       "1:2: selection clause names no field of a sequence"},
      {"&obs.n=casts.n", malformed_expr,
       "1:7: selection clause compares fields of two sequences"},
      {"&obs.loc=1", type_mismatch,
       "1:2: selection clauses compare scalars; \"obs.loc\" is a Structure"},
      {"&obs.id>5", type_mismatch,
       "1:8: cannot compare \"obs.id\" (String) with 5"},
      {"&obs.n=\"x\"", type_mismatch,
       "1:7: cannot compare \"obs.n\" (Int32) with the string \"x\""},
      {"&obs.n={1,\"x\"}", type_mismatch,
       "1:7: cannot compare \"obs.n\" (Int32) with a list"},
      {"&obs.id=obs.n", type_mismatch,
       "1:8: cannot compare \"obs.id\" (String) with \"obs.n\" (Int32)"},
      {"&obs.id={obs.id}", malformed_expr,
       "1:10: a list holds numbers and strings only, not \"obs.id\""},
      {"&obs.n=~\"1\"", type_mismatch,
       "1:7: '=~' needs a String field on its left and quoted patterns on its "
       "right, not \"obs.n\" (Int32) and the string \"1\""},
      {"&obs.id=~\"(\"", malformed_expr, ""},
      {"&obs.id=~\"a{65}\"", malformed_expr,
       "1:10: regular expression \"a{65}\" repeats more than 64 times"},
      {"&obs.id=~\"(a{40}){40}\"", malformed_expr,
       "1:10: regular expression \"(a{40}){40}\" has too many repetitions"},
      {"&obs.id=~\"(abcdefghijklmnop{32}){32}\"", malformed_expr,
       "1:10: regular expression \"(abcdefghijklmnop{32}){32}\" has too many "
       "repetitions"},
      {"&obs.id=~{\"a\",\"b\"}&obs.id=~{" REPEAT_63 "}", malformed_expr,
       "1:28: more than 64 regular expressions in one constraint"},
      {"&obs.id=~\"a{2\"", malformed_expr,
       "1:10: regular expression \"a{2\" has a malformed repetition count"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    test::expect_throw<Error>([&] { d_eval.parse_constraint(c.expr, *d_dds); },
                              [&](const Error& e) {
                                EXPECT_EQ(e.get_error_code(), c.code) << c.expr;
                                if (*c.message) {
                                  EXPECT_EQ(e.get_error_message(), c.message)
                                      << c.expr;
                                }
                              });
  }
}

// A refused expression must not leave the selection of an earlier one (or a
// half of its own) for a later response to send.
TEST_F(ConstraintEvaluatorTest, LeavesNothingSelectedAfterARefusal) {
  static const char* const bad[] = {
      "count,nosuch",
      "depth[1:2],depth[9]",
      "station.code&obs.n=\"x\"",
      "sst[1],station[0]",
      "depth[1:2],version()",
      "linear_scale(depth[1:2],nosuch)",
  };
  for (const char* expr : bad) {
    d_eval.parse_constraint("depth[1:2],station.code,sst[1]&obs.n>1", *d_dds);
    d_eval.parse_constraint("linear_scale(field[1])", *d_dds);
    EXPECT_TRUE(d_eval.functional_expression());
    d_eval.parse_constraint("depth[1:2],station.code,sst[1]&obs.n>1", *d_dds);
    EXPECT_THROW(d_eval.parse_constraint(expr, *d_dds), Error) << expr;
    EXPECT_EQ(selection(*d_dds), "") << expr;
    EXPECT_EQ(arr("depth")->dims()[0].c_size, 6) << expr;
    EXPECT_EQ(arr("field")->dims()[0].c_size, 3) << expr;
    EXPECT_EQ(arr("sst.sst")->length(), 6u) << expr;
    EXPECT_EQ(arr("sst.time")->length(), 2u) << expr;
    EXPECT_FALSE(d_eval.has_selection()) << expr;
    EXPECT_FALSE(d_eval.functional_expression()) << expr;
    EXPECT_THROW(d_eval.eval_function(*d_dds, "demo.nc"), Error) << expr;
  }
}

TEST_F(ConstraintEvaluatorTest, PrintsTheConstrainedDDS) {
  static const struct {
    const char* expr;
    const char* text;
  } cases[] = {
      {"depth[0:2:5],count",
       "Dataset {\n"
       "    Int32 count;\n"
       "    Float64 depth[depth = 3];\n"
       "} demo.nc;\n"},
      {"station.level[1:2],station.inner.a",
       "Dataset {\n"
       "    Structure {\n"
       "        Float32 level[2];\n"
       "        Structure {\n"
       "            Int32 a;\n"
       "        } inner;\n"
       "    } station;\n"
       "} demo.nc;\n"},
      {"sst[1][0:2:2]",
       "Dataset {\n"
       "    Grid {\n"
       "      Array:\n"
       "        Float32 sst[time = 1][lat = 2];\n"
       "      Maps:\n"
       "        Float64 time[time = 1];\n"
       "        Float32 lat[lat = 2];\n"
       "    } sst;\n"
       "} demo.nc;\n"},
      {"sst.lat[1:2]",
       "Dataset {\n"
       "    Structure {\n"
       "        Float32 lat[lat = 2];\n"
       "    } sst;\n"
       "} demo.nc;\n"},
      {"obs.n,obs.id",
       "Dataset {\n"
       "    Sequence {\n"
       "        String id;\n"
       "        Int32 n;\n"
       "    } obs;\n"
       "} demo.nc;\n"},
      {"sea%20temp", "Dataset {\n    Float64 sea%20temp;\n} demo.nc;\n"},
      {"nosuch", ""},
  };
  for (const auto& c : cases) {
    try {
      d_eval.parse_constraint(c.expr, *d_dds);
    } catch (const Error&) {
    }
    const std::string empty = "Dataset {\n} demo.nc;\n";
    EXPECT_EQ(constrained_text(), *c.text ? c.text : empty) << c.expr;
  }
}

// Serialises obs after `expr` and returns the n of each row written, in
// order; checks that the bytes are exactly those rows' markers and values.
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
  static std::string rows(std::initializer_list<char> ns) {
    std::string s;
    for (char n : ns) s += std::string("\x5A\0\0\0\0\0\0", 7) + n;
    return s + std::string("\xA5\0\0\0", 4);
  }
};

TEST_F(SequenceSelectionTest, KeepsTheRowsThatSatisfyEveryClause) {
  static const struct {
    const char* expr;
    std::initializer_list<char> ns;
  } cases[] = {
      {"obs.n", {1, 2, 3}},
      {"obs.n&obs.n>1", {2, 3}},
      {"obs.n&obs.n>=2&obs.n<=2", {2}},
      {"obs.n&obs.n<2", {1}},
      {"obs.n&obs.n!=2", {1, 3}},
      {"obs.n&obs.n=4", {}},
      {"obs.n&obs.n={1,3}", {1, 3}},
      {"obs.n&{3,1}=obs.n", {1, 3}},
      {"obs.n&obs.id=\"b2\"", {2}},
      {"obs.n&obs.id=\"%622\"", {2}},
      {"obs.n&\"b2\"<obs.id", {3}},
      {"obs.n&obs.id!={\"a1\",\"b3\"}", {1, 2, 3}},
      {"obs.n&obs.id=~\"b.*\"", {2, 3}},
      {"obs.n&obs.id=~\"b\"", {}},  // the whole value must match
      {"obs.n&obs.id=~{\"a.\",\".3\"}", {1, 3}},
      {"obs.n&obs.time>obs.n", {1, 2}},
      {"obs.n&obs.loc.t<0", {1, 3}},
      {"obs.n&obs.n>1&obs.loc.t<0", {3}},
      {"obs.n&obs.time<=1.5e0", {1, 3}},
      {"obs.n&casts.n>100", {1, 2, 3}},  // another sequence's clause
  };
  for (const auto& c : cases) {
    const std::string expected = rows(c.ns);
    EXPECT_EQ(rows_of(c.expr), expected) << c.expr;
  }
}

TEST_F(SequenceSelectionTest, SelectionIsIgnoredWhenNotAskedFor) {
  EXPECT_TRUE(rows_of("obs.n&obs.n>5").size() == 4u);
  EXPECT_EQ(rows_of("obs.n&obs.n>5", false), rows({1, 2, 3}));
  EXPECT_TRUE(d_eval.has_selection());
  d_eval.parse_constraint("obs.n", *d_dds);
  EXPECT_FALSE(d_eval.has_selection());
}

TEST_F(SequenceSelectionTest, MatchesLongValuesWithoutBlowingUp) {
  auto* obs = dynamic_cast<Sequence*>(d_dds->var("obs"));
  add_obs_row(*obs, std::string(50000, 'a').c_str(), 0, 4, 0);
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a|a)*\""), rows({4}));
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a*)*b\""), rows({}));
}

// A clause on a nested sequence's field filters that sequence's rows, not
// the rows of the sequence around it.
TEST_F(ConstraintEvaluatorTest, ClausesOnNestedSequencesApplyToTheirOwnRows) {
  d_eval.parse_constraint("casts&casts.profile.temp>5", *d_dds);
  const auto* casts = dynamic_cast<const Sequence*>(d_dds->var("casts"));
  const auto* profile =
      dynamic_cast<const Sequence*>(d_dds->var("casts.profile"));
  Sequence::Row warm, cold, outer;
  warm.push_back(value<Float64>(7.0));
  cold.push_back(value<Float64>(2.0));
  outer.push_back(value<Int32>(1));
  EXPECT_TRUE(d_eval.eval_selection(*profile, warm));
  EXPECT_FALSE(d_eval.eval_selection(*profile, cold));
  EXPECT_TRUE(d_eval.eval_selection(*casts, outer));
}

TEST_F(ConstraintEvaluatorTest, ReportsRowsThatDoNotFitTheClause) {
  d_eval.parse_constraint("&obs.n>1", *d_dds);
  const auto* obs = dynamic_cast<const Sequence*>(d_dds->var("obs"));
  Sequence::Row wrong;
  wrong.push_back(value<Str>(std::string("x")));
  wrong.push_back(value<Float64>(1.0));
  wrong.push_back(value<Str>(std::string("not a number")));
  Sequence::Row short_row;
  for (const Sequence::Row* row : {&wrong, &short_row}) {
    test::expect_throw<Error>(
        [&] { d_eval.eval_selection(*obs, *row); },
        [&](const Error& e) {
          EXPECT_EQ(e.get_error_code(), type_mismatch);
          EXPECT_EQ(
              e.get_error_message(),
              "a row of sequence \"obs\" holds no value of the right type "
              "for \"obs.n\"");
        });
  }
}

}  // namespace
}  // namespace libqvp
