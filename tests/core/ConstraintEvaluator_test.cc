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

TEST_F(ConstraintEvaluatorTest, SelectsWhatTheProjectionNames) {
  for (const auto& c : data_cases("ce_selections.txt")) {
    SCOPED_TRACE(c.at(0));
    d_eval.parse_constraint(c.at(0), *d_dds);
    EXPECT_EQ(selection(), c.at(1));
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

// Sizes come back whole after a slab; a refused constraint selects nothing.
TEST_F(ConstraintEvaluatorTest, PrintsTheConstrainedDDS) {
  for (const auto& c : data_cases("ce_constrained.txt")) {
    try {
      d_eval.parse_constraint(c.at(0), *d_dds);
    } catch (const Error&) {
    }
    std::ostringstream out;
    d_dds->print_constrained(out);
    EXPECT_EQ(out.str(), "Dataset {\n" + c.at(1) + "} demo.nc;\n") << c.at(0);
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
  // The bytes of rows holding only n, for each digit n in `ns`.
  static std::string rows(const std::string& ns) {
    std::string s;
    for (char n : ns) s += std::string("\x5A\0\0\0\0\0\0", 7) + char(n - '0');
    return s + std::string("\xA5\0\0\0", 4);
  }
};

TEST_F(SequenceSelectionTest, KeepsTheRowsThatSatisfyEveryClause) {
  for (const auto& c : data_cases("ce_rows.txt"))
    EXPECT_EQ(rows_of(c.at(0)), rows(c.at(1))) << c.at(0);
}

TEST_F(SequenceSelectionTest, SelectionIsIgnoredWhenNotAskedFor) {
  EXPECT_EQ(rows_of("obs.n&obs.n>5"), rows(""));
  EXPECT_EQ(rows_of("obs.n&obs.n>5", false), rows("123"));
  EXPECT_TRUE(d_eval.has_selection());
  d_eval.parse_constraint("obs.n", *d_dds);
  EXPECT_FALSE(d_eval.has_selection());
}

TEST_F(SequenceSelectionTest, MatchesLongValuesWithoutBlowingUp) {
  add_obs_row(*seq("obs"), std::string(50000, 'a'), 0, 4, 0);
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a|a)*\""), rows("4"));
  EXPECT_EQ(rows_of("obs.n&obs.id=~\"(a*)*b\""), rows(""));
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
