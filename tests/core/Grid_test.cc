// Grids: the array, then the selected maps; selection state and lookup.
#include "CoreTest.h"

namespace libqvp::test {

// sst[time = 2][lat = 3] with maps time and lat.
std::unique_ptr<Grid> sst() {
  auto g = named<Grid>("sst");
  auto a = array<Float32>("sst", {{2, "time"}, {3, "lat"}});
  a->set_values(std::vector<float>{1, 2, 3, 4, 5, 6});
  g->set_array(std::move(a));
  g->add_map(array_of<Float64>("time", std::vector<double>{0, 1}));
  g->add_map(array_of<Float32>("lat", std::vector<float>{-1, 0, 1}));
  return g;
}

TEST(GridTest, WritesArrayThenSelectedMaps) {
  auto g = sst();
  g->set_send_p(true);
  EXPECT_EQ(xdr_hex(*g),
            spaced("00000006 00000006 3f800000 40000000 40400000"
                   "40800000 40a00000 40c00000"
                   "00000002 00000002 00000000 00000000 3ff00000 00000000"
                   "00000003 00000003 bf800000 00000000 3f800000"));
  g->array()->add_constraint(0, 1, 1, 1);
  g->array()->add_constraint(1, 0, 2, 2);
  g->map("time")->add_constraint(0, 1, 1, 1);
  g->map("lat")->set_send_p(false);
  EXPECT_EQ(xdr_hex(*g), spaced("00000002 00000002 40800000 40c00000"
                                "00000001 00000001 3ff00000 00000000"));
  // Only a map selected: the same bytes as a structure of that map.
  g->array()->set_send_p(false);
  EXPECT_EQ(xdr_hex(*g), "00000001 00000001 3ff00000 00000000");
}

TEST(GridTest, SendPFollowsTheMembersAndMembersAreFoundByName) {
  auto g = sst();
  EXPECT_FALSE(g->send_p());
  g->map(1)->set_send_p(true);
  EXPECT_TRUE(g->send_p());
  g->set_send_p(false);
  EXPECT_FALSE(g->map("lat")->send_p());
  g->array()->set_send_p(true);
  EXPECT_TRUE(g->send_p());

  EXPECT_EQ(g->member("sst"), g->array());
  EXPECT_EQ(g->member("lat"), g->map(1));
  EXPECT_EQ(g->member("lon"), nullptr);
  EXPECT_EQ(g->map("sst"), nullptr);
  EXPECT_EQ(g->map(0)->get_parent(), g.get());
  EXPECT_THROW(g->map(2), std::out_of_range);
  EXPECT_THROW(g->set_array(nullptr), Error);
}

}  // namespace libqvp::test
