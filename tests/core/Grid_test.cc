// Grids: the array, then the selected maps; selection state and lookup.
#include <gtest/gtest.h>
#include <libqvp/Error.h>
#include <libqvp/Float32.h>
#include <libqvp/Float64.h>
#include <libqvp/Grid.h>

#include "XdrCapture.h"

using libqvp::Array;
using libqvp::Grid;
using qvptest::hex;
using qvptest::serialized;
using qvptest::to_hex;

namespace {

template <typename S, typename T>
std::unique_ptr<Array> array_of(const std::string& name, std::vector<int> sizes,
                                std::vector<std::string> dims,
                                std::vector<T> values) {
  auto a = std::make_unique<Array>(name, std::make_unique<S>(name));
  for (size_t i = 0; i < sizes.size(); ++i) a->append_dim(sizes[i], dims[i]);
  a->set_values(std::move(values));
  return a;
}

// sst[time = 2][lat = 3] with maps time and lat.
std::unique_ptr<Grid> sst() {
  auto g = std::make_unique<Grid>("sst");
  g->set_array(array_of<libqvp::Float32, float>("sst", {2, 3}, {"time", "lat"},
                                                {1, 2, 3, 4, 5, 6}));
  g->add_map(array_of<libqvp::Float64, double>("time", {2}, {"time"}, {0, 1}));
  g->add_map(array_of<libqvp::Float32, float>("lat", {3}, {"lat"}, {-1, 0, 1}));
  return g;
}

TEST(GridTest, WritesArrayThenSelectedMaps) {
  auto g = sst();
  g->set_send_p(true);
  EXPECT_EQ(to_hex(serialized(*g)),
            to_hex(hex("00000006 00000006 3f800000 40000000 40400000"
                       "40800000 40a00000 40c00000"
                       "00000002 00000002 00000000 00000000 3ff00000 00000000"
                       "00000003 00000003 bf800000 00000000 3f800000")));
  g->array()->add_constraint(0, 1, 1, 1);
  g->array()->add_constraint(1, 0, 2, 2);
  g->map("time")->add_constraint(0, 1, 1, 1);
  g->map("lat")->set_send_p(false);
  EXPECT_EQ(to_hex(serialized(*g)),
            to_hex(hex("00000002 00000002 40800000 40c00000"
                       "00000001 00000001 3ff00000 00000000")));
  // Only a map selected: the same bytes as a structure of that map.
  g->array()->set_send_p(false);
  EXPECT_EQ(to_hex(serialized(*g)),
            to_hex(hex("00000001 00000001 3ff00000 00000000")));
}

TEST(GridTest, SendPFollowsTheMembers) {
  auto g = sst();
  EXPECT_FALSE(g->send_p());
  g->map(1)->set_send_p(true);
  EXPECT_TRUE(g->send_p());
  g->set_send_p(false);
  EXPECT_FALSE(g->map("lat")->send_p());
  g->array()->set_send_p(true);
  EXPECT_TRUE(g->send_p());
}

TEST(GridTest, FindsMembersByName) {
  auto g = sst();
  EXPECT_EQ(g->member("sst"), g->array());
  EXPECT_EQ(g->member("lat"), g->map(1));
  EXPECT_EQ(g->member("lon"), nullptr);
  EXPECT_EQ(g->map("sst"), nullptr);
  EXPECT_EQ(g->map(0)->get_parent(), g.get());
  EXPECT_THROW(g->map(2), std::out_of_range);
  EXPECT_THROW(g->set_array(nullptr), libqvp::Error);
}

}  // namespace
