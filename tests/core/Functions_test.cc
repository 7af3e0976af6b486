// Server-side functions through the evaluator: version(), linear_scale() with
// explicit and attribute-given coefficients, and registered functions.
#include "CoreTest.h"

namespace libqvp::test {

using Args = std::vector<BaseType*>;

class FunctionsTest : public ::testing::Test {
 protected:
  FunctionsTest() {
    d_dds = parsed_dds(
        "Dataset { Float64 depth[depth = 6]; Float64 packed[packed = 2];"
        " Float64 bad[bad = 1]; Int32 count; String title;"
        " Structure { Int16 code; } station;"
        " Grid { Array: Int16 sst[time = 2][lat = 3];"
        " Maps: Float64 time[time = 2]; Float64 lat[lat = 3]; } sst; } "
        "demo.nc;");
    arr("depth").set_values(std::vector<double>{0, 1, 2, 3, 4, 5});
    arr("packed").set_values(std::vector<double>{10, 20});
    attrs("packed").append_attr("scale_factor", "Float32", "0.5");
    attrs("packed").append_attr("add_offset", "Float64", "-1");
    arr("bad").set_values(std::vector<double>{1});
    attrs("bad").append_attr("scale_factor", "String", "big");
    dynamic_cast<Int32&>(*d_dds->var("count")).set_value(4);
    dynamic_cast<Str&>(*d_dds->var("title")).set_value("t");
    arr("sst.sst").set_values(std::vector<int16_t>{1, 2, 3, 4, 5, 6});
    attrs("sst.sst").append_attr("add_offset", "Int16", "100");
    attrs("sst").append_attr("scale_factor", "Float64", "10");
    arr("sst.time").set_values(std::vector<double>{0, 1});
    arr("sst.lat").set_values(std::vector<double>{0, 1, 2});
    // An array that loads its values only when read() is called.
    struct LazyArray : Array {
      LazyArray() : Array("lazy", named<Int16>("lazy")) { append_dim(3); }
      bool read() override {
        set_values(std::vector<int16_t>{-1, 0, 1});
        return true;
      }
    };
    d_dds->add_var(std::make_unique<LazyArray>());
  }

  Array& arr(const char* path) {
    return dynamic_cast<Array&>(*d_dds->var(path));
  }
  AttrTable& attrs(const char* path) {
    return d_dds->var(path)->get_attr_table();
  }

  // Parses `expr` and returns the function's result (null when none).
  std::unique_ptr<BaseType> call(const std::string& expr) {
    d_eval.parse_constraint(expr, *d_dds);
    EXPECT_TRUE(d_eval.functional_expression()) << expr;
    return std::unique_ptr<BaseType>(d_eval.eval_function(*d_dds, "demo.nc"));
  }

  // The declaration as a function's response prints it.
  static std::string decl(const BaseType& v) {
    std::ostringstream out;
    v.print_decl(out, "    ", true, false, true);
    return out.str();
  }

  std::unique_ptr<DDS> d_dds;
  ConstraintEvaluator d_eval;
};

TEST_F(FunctionsTest, VersionAndAScaledScalar) {
  const auto v = call("version()");
  ASSERT_EQ(v->type(), Type::String);
  EXPECT_EQ(v->name(), "version");
  EXPECT_EQ(static_cast<Str&>(*v).value(), "libqvp/9.0.0");
  // The result is selected whole, so a function's response prints it.
  EXPECT_EQ(decl(*v), "    String version;\n");

  const auto s = call("linear_scale(count, 0.5, 1)");
  ASSERT_EQ(s->type(), Type::Float64);
  EXPECT_EQ(s->name(), "count");
  EXPECT_EQ(static_cast<Float64&>(*s).value(), 3.0);
}

TEST_F(FunctionsTest, LinearScaleGivesFloat64ValuesOfTheSelectedShape) {
  // clang-format off
  static const struct { const char* expr; const char* decl; std::vector<double> values; } cases[] = {
      {"linear_scale(depth)", "    Float64 depth[depth = 6];\n", {0, 1, 2, 3, 4, 5}},
      {"linear_scale(depth[1:2:5], 2, 0.5)", "    Float64 depth[depth = 3];\n", {2.5, 6.5, 10.5}},
      {"linear_scale(depth[4],-1,+1e1)", "    Float64 depth[depth = 1];\n", {6}},
      {"linear_scale(depth[0:1], count, count)", "    Float64 depth[depth = 2];\n", {4, 8}},
      {"linear_scale(packed)", "    Float64 packed[packed = 2];\n", {4, 9}},
      {"linear_scale(packed, 1, 0)", "    Float64 packed[packed = 2];\n", {10, 20}},
      // The grid's own scale_factor, its array's add_offset.
      {"linear_scale(sst[1][0:2:2])", "    Float64 sst[time = 1][lat = 2];\n", {140, 160}},
      {"linear_scale(lazy, 2, 0)", "    Float64 lazy[3];\n", {-2, 0, 2}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    const auto v = call(c.expr);
    const auto* a = dynamic_cast<const Array*>(v.get());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->element_type(), Type::Float64);
    EXPECT_EQ(decl(*a), c.decl);
    EXPECT_EQ(a->selected_as_double(), c.values);
  }
}

// A 6001 x 16384 Float32 variable read through a box reader that counts the
// values it is asked for: linear_scale refuses the whole of it before
// reading anything, and scales a hyperslab of it.
TEST_F(FunctionsTest, LinearScaleRefusesSelectionsBeyondItsBound) {
  auto big = array<Float32>("big", {{6001, "y"}, {16384, "x"}});
  size_t values_read = 0;
  big->set_box_reader([&](const Array&, const std::vector<size_t>& start,
                          const std::vector<size_t>&,
                          const std::vector<size_t>& count, void* out) {
    float* v = static_cast<float*>(out);
    for (size_t i = 0; i < count[0] * count[1]; ++i)
      v[i] = static_cast<float>(start[1] + i % count[1]);
    values_read += count[0] * count[1];
  });
  d_dds->add_var(std::move(big));
  for (const char* expr : {"linear_scale(big)", "linear_scale(big, 2, 1)",
                           "linear_scale(big[0:1024][0:16383])"}) {
    SCOPED_TRACE(expr);
    expect_throw<Error>([&] { call(expr); },
                        [&](const Error& e) {
                          EXPECT_EQ(e.get_error_code(), usage_error);
                          EXPECT_NE(
                              e.get_error_message().find("\"big\" selects "),
                              std::string::npos)
                              << e.get_error_message();
                        });
  }
  EXPECT_EQ(values_read, 0u);
  const auto v = call("linear_scale(big[6000][16380:16383], 2, 1)");
  EXPECT_EQ(static_cast<const Array&>(*v).selected_as_double(),
            (std::vector<double>{32761, 32763, 32765, 32767}));
}

TEST_F(FunctionsTest, RefusesArgumentsOfTheWrongKind) {
  for (const auto& c : data_cases("function_errors.txt")) {
    SCOPED_TRACE(c.at(0));
    expect_error([&] { call(c.at(0)); }, type_mismatch, c.at(1));
  }
  d_eval.parse_constraint("depth", *d_dds);
  EXPECT_FALSE(d_eval.functional_expression());
  expect_error([&] { d_eval.eval_function(*d_dds, "demo.nc"); },
               malformed_expr);
}

// A registered function gets its arguments (variables of the data set,
// numbers and strings as new values) and may give no result or replace a
// built-in.
TEST_F(FunctionsTest, RegisteredFunctionsGetTheirArguments) {
  Args seen;
  d_eval.add_function(
      "pick", [&seen](const Args& args, DDS&, const std::string& dataset) {
        seen = args;
        return std::unique_ptr<BaseType>(holding<Str>(dataset, "picked"));
      });
  EXPECT_EQ(static_cast<Str&>(*call("pick(count, -2.5, \"a b\", station.code)"))
                .value(),
            "demo.nc");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], d_dds->var("count"));
  ASSERT_EQ(seen[1]->type(), Type::Float64);
  EXPECT_EQ(static_cast<Float64*>(seen[1])->value(), -2.5);
  ASSERT_EQ(seen[2]->type(), Type::String);
  EXPECT_EQ(static_cast<Str*>(seen[2])->value(), "a b");
  EXPECT_EQ(seen[3], d_dds->var("station.code"));

  d_eval.add_function("nothing", [](const Args&, DDS&, const std::string&) {
    return std::unique_ptr<BaseType>();
  });
  EXPECT_EQ(call("nothing()"), nullptr);
  d_eval.add_function("version", [](const Args&, DDS&, const std::string&) {
    return std::unique_ptr<BaseType>(named<Int32>("mine"));
  });
  EXPECT_EQ(call("version()")->name(), "mine");
}

}  // namespace libqvp::test
