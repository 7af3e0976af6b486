// The dotted-path rule, through its three users: DDS::var, Constructor::var
// and a constraint's projection must pick the same variable for a path, also
// where names hold dots and a path could be cut in more than one way.
#include "CoreTest.h"

namespace libqvp::test {

// The variable's names from the top, joined by '/' (which no name here
// holds), so that "a.b" and member b of a read differently.
std::string path_of(const BaseType* v) {
  std::string path;
  for (; v; v = v->get_parent())
    path = v->name() + (path.empty() ? "" : "/" + path);
  return path;
}

// The selected variables that hold no others, by path_of, blank-separated.
void add_selected_leaves(const BaseType* v, std::string& out) {
  if (const auto* c = dynamic_cast<const Constructor*>(v)) {
    for (auto it = c->var_begin(); it != c->var_end(); ++it)
      add_selected_leaves(*it, out);
  } else if (const auto* g = dynamic_cast<const Grid*>(v)) {
    add_selected_leaves(g->array(), out);
    for (size_t i = 0; i < g->map_count(); ++i)
      add_selected_leaves(g->map(i), out);
  } else if (v->send_p()) {
    out += (out.empty() ? "" : " ") + path_of(v);
  }
}

class PathResolverTest : public ::testing::Test {
 protected:
  // Names with dots beside structures whose members spell the same paths;
  // grp is a group of a netCDF-4 file, with a subgroup.
  PathResolverTest() { d_dds.parse(data_file("ambiguous.dds")); }

  // What the projection `path` selects; "" when it is refused as naming no
  // variable.
  std::string projected(const std::string& path) {
    try {
      d_eval.parse_constraint(path, d_dds);
    } catch (const Error& e) {
      EXPECT_EQ(e.get_error_code(), no_such_variable) << path;
      return "";
    }
    std::string leaves;
    for (auto it = d_dds.var_begin(); it != d_dds.var_end(); ++it)
      add_selected_leaves(*it, leaves);
    return leaves;
  }

  DDS d_dds;
  ConstraintEvaluator d_eval;
};

TEST_F(PathResolverTest, LookupAndProjectionPickTheSameVariable) {
  for (const auto& c : data_cases("paths.txt")) {
    const BaseType* v = d_dds.var(c.at(0));
    EXPECT_EQ(v ? path_of(v) : "", c.at(1)) << c.at(0);
    EXPECT_EQ(projected(c.at(0)), c.at(1)) << c.at(0);
  }
}

// Escaped dots count towards the bound on the names of a path.
TEST_F(PathResolverTest, EscapedDotsCountTowardsThePathBound) {
  std::string path = "a";
  for (int i = 1; i < 64; ++i) path += "%2Ea";
  EXPECT_EQ(projected(path), "");  // 64 names: looked up, none found
  expect_error([&] { d_eval.parse_constraint(path + "%2Ea", d_dds); },
               malformed_expr, "1:1: path longer than 64 names");
}

// A Structure's own lookup: the same rule one level down, without decoding;
// a path into a scalar, an empty name or a member of a member is nothing.
TEST_F(PathResolverTest, StructureLookupFollowsTheSameRule) {
  for (const auto& c : data_cases("member_paths.txt")) {
    const auto* from = dynamic_cast<const Constructor*>(d_dds.var(c.at(0)));
    ASSERT_NE(from, nullptr) << c.at(0);
    const BaseType* v = from->var(c.at(1));
    EXPECT_EQ(v ? path_of(v) : "", c.at(2)) << c.at(1);
  }
}

}  // namespace libqvp::test
