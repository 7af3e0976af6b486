// Structures: selected members in order, lookup by name and dotted path,
// member replacement and recursive selection.
#include <gtest/gtest.h>
#include <libqvp/Array.h>
#include <libqvp/Float32.h>
#include <libqvp/Int16.h>
#include <libqvp/Int32.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>

#include "XdrCapture.h"

using libqvp::Structure;
using qvptest::hex;
using qvptest::serialized;
using qvptest::to_hex;

namespace {

// station { Int16 code; Float32 level[3]; String id; inner { Int32 n; } }
std::unique_ptr<Structure> station() {
  auto s = std::make_unique<Structure>("station");
  auto code = std::make_unique<libqvp::Int16>("code");
  code->set_value(-2);
  s->add_var(std::move(code));
  auto level = std::make_unique<libqvp::Array>(
      "level", std::make_unique<libqvp::Float32>("level"));
  level->append_dim(3);
  level->set_values(std::vector<float>{1, 2, 4});
  s->add_var(std::move(level));
  auto id = std::make_unique<libqvp::Str>("id");
  id->set_value("S1");
  s->add_var(std::move(id));
  auto inner = std::make_unique<Structure>("inner");
  auto n = std::make_unique<libqvp::Int32>("n");
  n->set_value(9);
  inner->add_var(std::move(n));
  s->add_var(std::move(inner));
  return s;
}

TEST(StructureTest, WritesSelectedMembersInDeclarationOrder) {
  auto s = station();
  s->set_send_p(true);
  EXPECT_EQ(to_hex(serialized(*s)),
            to_hex(hex("fffffffe 00000003 00000003 3f800000 40000000 40800000"
                       "00000002 53310000 00000009")));
  s->var("level")->set_send_p(false);
  s->var("inner")->set_send_p(false);
  EXPECT_EQ(to_hex(serialized(*s)), to_hex(hex("fffffffe 00000002 53310000")));
  // Selecting a member selects the structures that enclose it.
  s->set_send_p(false);
  s->var("inner.n")->set_send_p(true);
  EXPECT_TRUE(s->send_p());
  EXPECT_TRUE(s->var("inner")->send_p());
  EXPECT_EQ(to_hex(serialized(*s)), "00000009");
}

TEST(StructureTest, FindsMembersByNameAndPath) {
  auto s = station();
  static const struct {
    const char* path;
    const char* found;  // null: absent
  } cases[] = {
      {"code", "code"}, {"inner.n", "n"},     {"inner", "inner"},
      {"n", nullptr},   {"inner.x", nullptr}, {"code.x", nullptr},
      {"", nullptr},    {".", nullptr},       {"inner.", nullptr},
  };
  for (const auto& c : cases) {
    libqvp::BaseType* v = s->var(c.path);
    if (c.found == nullptr)
      EXPECT_EQ(v, nullptr) << c.path;
    else
      EXPECT_TRUE(v && v->name() == c.found) << c.path;
  }
  // A member whose own name has a dot is found before a path.
  auto dotted = std::make_unique<libqvp::Int32>("inner.n");
  libqvp::BaseType* raw = dotted.get();
  s->add_var(std::move(dotted));
  EXPECT_EQ(s->var("inner.n"), raw);
}

TEST(StructureTest, AddVarReplacesAMemberOfTheSameName) {
  auto s = station();
  s->add_var(std::make_unique<libqvp::Str>("code"));
  EXPECT_EQ(s->num_var(), 4u);
  EXPECT_EQ(s->var("code")->type(), libqvp::Type::String);
  EXPECT_EQ((*s->var_begin())->name(), "code");
  EXPECT_EQ(s->var("code")->get_parent(), s.get());
}

TEST(StructureTest, SetSendPReachesEveryMember) {
  auto s = station();
  s->set_send_p(true);
  EXPECT_TRUE(s->var("inner.n")->send_p());
  s->set_send_p(false);
  EXPECT_FALSE(s->var("level")->send_p());
  EXPECT_FALSE(s->var("inner")->send_p());
}

}  // namespace
