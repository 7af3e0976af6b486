// Structures: selected members in order, member replacement and recursive
// selection. Lookup by path is tested with the path rule.
#include "CoreTest.h"

namespace libqvp::test {

// station { Int16 code; Float32 level[3]; String id; inner { Int32 n; } }
std::unique_ptr<Structure> station() {
  auto s = named<Structure>("station");
  s->add_var(holding<Int16>(-2, "code"));
  s->add_var(array_of<Float32>("level", std::vector<float>{1, 2, 4}));
  s->add_var(holding<Str>("S1", "id"));
  auto inner = named<Structure>("inner");
  inner->add_var(holding<Int32>(9, "n"));
  s->add_var(std::move(inner));
  return s;
}

TEST(StructureTest, WritesSelectedMembersInDeclarationOrder) {
  auto s = station();
  s->set_send_p(true);
  EXPECT_EQ(xdr_hex(*s),
            spaced("fffffffe 00000003 00000003 3f800000 40000000 40800000"
                   "00000002 53310000 00000009"));
  s->var("level")->set_send_p(false);
  s->var("inner")->set_send_p(false);
  EXPECT_EQ(xdr_hex(*s), "fffffffe 00000002 53310000");
  // Selecting a member selects the structures that enclose it.
  s->set_send_p(false);
  s->var("inner.n")->set_send_p(true);
  EXPECT_TRUE(s->send_p());
  EXPECT_TRUE(s->var("inner")->send_p());
  EXPECT_EQ(xdr_hex(*s), "00000009");
}

TEST(StructureTest, SetSendPReachesEveryMemberAndAddVarReplaces) {
  auto s = station();
  s->set_send_p(true);
  EXPECT_TRUE(s->var("inner.n")->send_p());
  s->set_send_p(false);
  EXPECT_FALSE(s->var("level")->send_p());
  EXPECT_FALSE(s->var("inner")->send_p());

  s->add_var(named<Str>("code"));
  EXPECT_EQ(s->num_var(), 4u);
  EXPECT_EQ(s->var("code")->type(), Type::String);
  EXPECT_EQ((*s->var_begin())->name(), "code");
  EXPECT_EQ(s->var("code")->get_parent(), s.get());
}

}  // namespace libqvp::test
