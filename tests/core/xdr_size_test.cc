// The XDR length known from a selection: it must equal, byte for byte, what
// the variables' serialize() then writes; and it is unknown wherever values
// decide it.
#include "CoreTest.h"

namespace libqvp::test {
namespace {

// A data set of every kind of variable, each holding values.
std::unique_ptr<DDS> every_kind() {
  auto dds = std::make_unique<DDS>("kinds");
  dds->add_var(array_of<Byte>("b", std::vector<uint8_t>{1, 2, 3, 4, 5}));
  dds->add_var(array_of<Int16>("s", std::vector<int16_t>{-1, 2, 3}));
  auto d = sized<Float64>("d", {2, 3});
  d->set_values(std::vector<double>{1, 2, 3, 4, 5, 6});
  dds->add_var(std::move(d));
  dds->add_var(holding<Float32>(1.5f, "f"));
  dds->add_var(holding<Float64>(2.5, "w"));
  auto g = std::make_unique<Grid>("g");
  g->set_array(array_of<Float32>("g", std::vector<float>{1, 2, 3}));
  g->add_map(array_of<Float64>("x", std::vector<double>{10, 20, 30}));
  dds->add_var(std::move(g));
  auto st = std::make_unique<Structure>("st");
  st->add_var(holding<Int16>(int16_t{7}, "k"));
  st->add_var(array_of<Byte>("bb", std::vector<uint8_t>{8, 9}));
  dds->add_var(std::move(st));
  dds->add_var(holding<Str>(std::string("abc"), "name"));
  auto seq = std::make_unique<Sequence>("seq");
  seq->add_var(named<Int32>("n"));
  dds->add_var(std::move(seq));
  return dds;
}

// The bytes that the selected top-level variables write, as the data
// response writes them.
size_t written(DDS& dds) {
  size_t n = 0;
  for (auto i = dds.var_begin(); i != dds.var_end(); ++i)
    if ((*i)->send_p()) n += serialized(**i).size();
  return n;
}

TEST(XdrSizeTest, EqualsTheBytesWrittenForFixedSizeSelections) {
  static const char* const selections[] = {
      "b",               // Byte elements packed, padded to 8
      "b[0:1]",          // 2 bytes padded to 4
      "b[0:2:4]",        // 3 bytes padded to 4
      "s,d[1][0:2:2]",   // Int16 elements take 4 bytes
      "f,w",             // scalars: 4 and 8
      "g",               // array and map
      "g.x",             // a map alone
      "g[1:2]",          // the hyperslab applies to the map too
      "st",              // all members
      "st.bb",           // one member
      "b,s,d,f,w,g,st",  // everything but the String and the Sequence
  };
  for (const char* ce : selections) {
    SCOPED_TRACE(ce);
    auto dds = every_kind();
    ConstraintEvaluator eval;
    eval.parse_constraint(ce, *dds);
    const std::optional<uint64_t> size = xdr_size(*dds);
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(*size, written(*dds));
  }
}

TEST(XdrSizeTest, UnknownWhereValuesDecideTheLength) {
  for (const char* ce : {"", "name", "seq", "b,name", "seq.n"}) {
    SCOPED_TRACE(ce);
    auto dds = every_kind();
    ConstraintEvaluator eval;
    eval.parse_constraint(ce, *dds);
    EXPECT_FALSE(xdr_size(*dds).has_value());
  }
  auto dds = every_kind();
  ConstraintEvaluator eval;
  eval.parse_constraint("b", *dds);
  EXPECT_EQ(xdr_size(*dds->var("name")), 0u) << "not selected: nothing";
}

}  // namespace
}  // namespace libqvp::test
