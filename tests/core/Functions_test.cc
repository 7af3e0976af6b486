// Server-side functions through the evaluator: version(), linear_scale() with
// explicit and attribute-given coefficients, and registered functions.
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
#include <libqvp/Str.h>
#include <libqvp/Structure.h>

#include <sstream>

#include "ExpectError.h"

namespace libqvp {
namespace {

// An array that loads its values only when read() is called.
class LazyArray : public Array {
 public:
  LazyArray() : Array("lazy", std::make_unique<Int16>("lazy")) {
    append_dim(3);
  }
  bool read() override {
    set_values(std::vector<int16_t>{-1, 0, 1});
    return true;
  }
};

std::unique_ptr<Array> f64_array(const std::string& name, int size,
                                 std::vector<double> values) {
  auto a = std::make_unique<Array>(name, std::make_unique<Float64>(name));
  a->append_dim(size, name);
  a->set_values(std::move(values));
  return a;
}

class FunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d_dds.add_var(f64_array("depth", 6, {0, 1, 2, 3, 4, 5}));
    auto packed = f64_array("packed", 2, {10, 20});
    packed->get_attr_table().append_attr("scale_factor", "Float32", "0.5");
    packed->get_attr_table().append_attr("add_offset", "Float64", "-1");
    d_dds.add_var(std::move(packed));
    auto bad = f64_array("bad", 1, {1});
    bad->get_attr_table().append_attr("scale_factor", "String", "big");
    d_dds.add_var(std::move(bad));
    auto count = std::make_unique<Int32>("count");
    count->set_value(4);
    d_dds.add_var(std::move(count));
    auto title = std::make_unique<Str>("title");
    title->set_value("t");
    d_dds.add_var(std::move(title));
    auto st = std::make_unique<Structure>("station");
    st->add_var(std::make_unique<Int16>("code"));
    d_dds.add_var(std::move(st));
    auto grid = std::make_unique<Grid>("sst");
    auto data = std::make_unique<Array>("sst", std::make_unique<Int16>("sst"));
    data->append_dim(2, "time");
    data->append_dim(3, "lat");
    data->set_values(std::vector<int16_t>{1, 2, 3, 4, 5, 6});
    data->get_attr_table().append_attr("add_offset", "Int16", "100");
    grid->set_array(std::move(data));
    grid->add_map(f64_array("time", 2, {0, 1}));
    grid->add_map(f64_array("lat", 3, {0, 1, 2}));
    grid->get_attr_table().append_attr("scale_factor", "Float64", "10");
    d_dds.add_var(std::move(grid));
    d_dds.add_var(std::make_unique<LazyArray>());
  }

  // Parses `expr` and returns the function's result (null when none).
  std::unique_ptr<BaseType> call(const std::string& expr) {
    d_eval.parse_constraint(expr, d_dds);
    EXPECT_TRUE(d_eval.functional_expression()) << expr;
    return std::unique_ptr<BaseType>(d_eval.eval_function(d_dds, "demo.nc"));
  }

  // The declaration as a function's response prints it.
  static std::string decl(const BaseType& v) {
    std::ostringstream out;
    v.print_decl(out, "    ", true, false, true);
    return out.str();
  }

  DDS d_dds{"demo.nc"};
  ConstraintEvaluator d_eval;
};

TEST_F(FunctionsTest, VersionNamesTheLibrary) {
  const auto v = call("version()");
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->type(), Type::String);
  EXPECT_EQ(v->name(), "version");
  EXPECT_EQ(static_cast<Str&>(*v).value(), "libqvp/9.0.0");
  // The result is selected whole, so a function's response prints it.
  EXPECT_EQ(decl(*v), "    String version;\n");
}

TEST_F(FunctionsTest, LinearScaleGivesFloat64ValuesOfTheSelectedShape) {
  static const struct {
    const char* expr;
    const char* decl;
    std::vector<double> values;
  } cases[] = {
      {"linear_scale(depth)",
       "    Float64 depth[depth = 6];\n",
       {0, 1, 2, 3, 4, 5}},
      {"linear_scale(depth[1:2:5], 2, 0.5)",
       "    Float64 depth[depth = 3];\n",
       {2.5, 6.5, 10.5}},
      {"linear_scale(depth[4],-1,+1e1)",
       "    Float64 depth[depth = 1];\n",
       {6}},
      {"linear_scale(depth[0:1], count, count)",
       "    Float64 depth[depth = 2];\n",
       {4, 8}},
      {"linear_scale(packed)", "    Float64 packed[packed = 2];\n", {4, 9}},
      {"linear_scale(packed, 1, 0)",
       "    Float64 packed[packed = 2];\n",
       {10, 20}},
      // The grid's own scale_factor, its array's add_offset.
      {"linear_scale(sst[1][0:2:2])",
       "    Float64 sst[time = 1][lat = 2];\n",
       {140, 160}},
      {"linear_scale(lazy, 2, 0)", "    Float64 lazy[3];\n", {-2, 0, 2}},
  };
  for (const auto& c : cases) {
    const auto v = call(c.expr);
    ASSERT_NE(v, nullptr) << c.expr;
    const auto* a = dynamic_cast<const Array*>(v.get());
    ASSERT_NE(a, nullptr) << c.expr;
    EXPECT_EQ(a->element_type(), Type::Float64) << c.expr;
    EXPECT_EQ(decl(*a), c.decl) << c.expr;
    EXPECT_EQ(a->selected_as_double(), c.values) << c.expr;
  }
}

TEST_F(FunctionsTest, LinearScaleOfAScalarIsAFloat64) {
  const auto v = call("linear_scale(count, 0.5, 1)");
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->type(), Type::Float64);
  EXPECT_EQ(v->name(), "count");
  EXPECT_EQ(static_cast<Float64&>(*v).value(), 3.0);
}

// A 6001 x 16384 Float32 variable read through a box reader that counts the
// values it is asked for: linear_scale refuses the whole of it before
// reading anything, and scales a hyperslab of it.
TEST_F(FunctionsTest, LinearScaleRefusesSelectionsBeyondItsBound) {
  auto big = std::make_unique<Array>("big", std::make_unique<Float32>("big"));
  big->append_dim(6001, "y");
  big->append_dim(16384, "x");
  size_t values_read = 0;
  big->set_box_reader([&](const Array&, const std::vector<size_t>& start,
                          const std::vector<size_t>&,
                          const std::vector<size_t>& count, void* out) {
    float* v = static_cast<float*>(out);
    for (size_t i = 0; i < count[0] * count[1]; ++i)
      v[i] = static_cast<float>(start[1] + i % count[1]);
    values_read += count[0] * count[1];
  });
  d_dds.add_var(std::move(big));
  for (const char* expr : {"linear_scale(big)", "linear_scale(big, 2, 1)",
                           "linear_scale(big[0:1024][0:16383])"}) {
    SCOPED_TRACE(expr);
    test::expect_throw<Error>(
        [&] { call(expr); },
        [&](const Error& e) {
          EXPECT_EQ(e.get_error_code(), usage_error) << expr;
          EXPECT_NE(e.get_error_message().find("\"big\" selects "),
                    std::string::npos)
              << e.get_error_message();
        });
  }
  EXPECT_EQ(values_read, 0u);
  const auto v = call("linear_scale(big[6000][16380:16383], 2, 1)");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(static_cast<const Array&>(*v).selected_as_double(),
            (std::vector<double>{32761, 32763, 32765, 32767}));
}

TEST_F(FunctionsTest, RefusesArgumentsOfTheWrongKind) {
  static const struct {
    const char* expr;
    const char* message;
  } cases[] = {
      {"version(1)", "version() takes no arguments"},
      {"linear_scale()",
       "linear_scale() takes 1 or 3 arguments (var[, m, b]), not 0"},
      {"linear_scale(depth, 2)",
       "linear_scale() takes 1 or 3 arguments (var[, m, b]), not 2"},
      {"linear_scale(depth, 1, 2, 3)",
       "linear_scale() takes 1 or 3 arguments (var[, m, b]), not 4"},
      {"linear_scale(\"depth\")",
       "linear_scale(): \"depth\" is a String, not a number or an array of "
       "numbers"},
      {"linear_scale(title)",
       "linear_scale(): \"title\" is a String, not a number or an array of "
       "numbers"},
      {"linear_scale(station)",
       "linear_scale(): \"station\" is a Structure, not a number or an array "
       "of numbers"},
      {"linear_scale(depth, \"2\", 1)",
       "linear_scale(): m must be a number, not String \"2\""},
      {"linear_scale(depth, 2, depth)",
       "linear_scale(): b must be a number, not Array \"depth\""},
      {"linear_scale(bad)",
       "linear_scale(): attribute scale_factor of \"bad\" is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    test::expect_error([&] { call(c.expr); }, type_mismatch, c.message);
  }
}

TEST_F(FunctionsTest, RegisteredFunctionsGetTheirArguments) {
  std::vector<BaseType*> seen;
  d_eval.add_function("pick", [&seen](const std::vector<BaseType*>& args, DDS&,
                                      const std::string& dataset) {
    seen = args;
    auto out = std::make_unique<Str>("picked");
    out->set_value(dataset);
    return std::unique_ptr<BaseType>(std::move(out));
  });
  const auto v = call("pick(count, -2.5, \"a b\", station.code)");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(static_cast<Str&>(*v).value(), "demo.nc");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], d_dds.var("count"));
  ASSERT_EQ(seen[1]->type(), Type::Float64);
  EXPECT_EQ(static_cast<Float64*>(seen[1])->value(), -2.5);
  ASSERT_EQ(seen[2]->type(), Type::String);
  EXPECT_EQ(static_cast<Str*>(seen[2])->value(), "a b");
  EXPECT_EQ(seen[3], d_dds.var("station.code"));
  EXPECT_EQ(d_eval.functional_expression(), true);
}

TEST_F(FunctionsTest, AFunctionMayGiveNoResult) {
  d_eval.add_function(
      "nothing", [](const std::vector<BaseType*>&, DDS&, const std::string&) {
        return std::unique_ptr<BaseType>();
      });
  EXPECT_EQ(call("nothing()"), nullptr);
}

TEST_F(FunctionsTest, AddFunctionReplacesABuiltIn) {
  d_eval.add_function(
      "version", [](const std::vector<BaseType*>&, DDS&, const std::string&) {
        return std::unique_ptr<BaseType>(std::make_unique<Int32>("mine"));
      });
  EXPECT_EQ(call("version()")->name(), "mine");
}

TEST_F(FunctionsTest, EvalFunctionNeedsAFunctionCall) {
  d_eval.parse_constraint("depth", d_dds);
  EXPECT_FALSE(d_eval.functional_expression());
  test::expect_error([&] { d_eval.eval_function(d_dds, "demo.nc"); },
                     malformed_expr);
}

}  // namespace
}  // namespace libqvp
