// Sequences: row markers and selected fields, nested sequences, row checks
// and row readers. Filtering by selection clauses is tested with the
// constraint evaluator.
#include <gtest/gtest.h>
#include <libqvp/Error.h>
#include <libqvp/Float64.h>
#include <libqvp/Int32.h>
#include <libqvp/Sequence.h>
#include <libqvp/Str.h>
#include <libqvp/Structure.h>

#include "ExpectError.h"
#include "XdrCapture.h"

using libqvp::Error;
using libqvp::Sequence;
using qvptest::hex;
using qvptest::serialized;
using qvptest::to_hex;

namespace {

template <typename S>
std::unique_ptr<libqvp::BaseType> value(const std::string& name,
                                        typename S::value_type v) {
  auto s = std::make_unique<S>(name);
  s->set_value(std::move(v));
  return s;
}

// obs { String id; Float64 time; }
std::unique_ptr<Sequence> obs() {
  auto s = std::make_unique<Sequence>("obs");
  s->add_var(std::make_unique<libqvp::Str>("id"));
  s->add_var(std::make_unique<libqvp::Float64>("time"));
  return s;
}

Sequence::Row obs_row(const std::string& id, double time) {
  Sequence::Row row;
  row.push_back(value<libqvp::Str>("id", id));
  row.push_back(value<libqvp::Float64>("time", time));
  return row;
}

TEST(SequenceTest, RowsAreFramedByMarkers) {
  auto s = obs();
  s->set_send_p(true);
  EXPECT_EQ(to_hex(serialized(*s)), "a5000000") << "no rows";
  s->add_row(obs_row("a", 1.0));
  s->add_row(obs_row("bcd", 2.0));
  EXPECT_EQ(to_hex(serialized(*s)),
            to_hex(hex("5a000000 00000001 61000000 3ff00000 00000000"
                       "5a000000 00000003 62636400 40000000 00000000"
                       "a5000000")));
  s->var("id")->set_send_p(false);
  EXPECT_EQ(to_hex(serialized(*s)),
            to_hex(hex("5a000000 3ff00000 00000000"
                       "5a000000 40000000 00000000 a5000000")));
}

// profile { Int32 station; Sequence { Float64 depth; } levels; }
std::unique_ptr<Sequence> profile_shape() {
  auto levels = std::make_unique<Sequence>("levels");
  levels->add_var(std::make_unique<libqvp::Float64>("depth"));
  auto p = std::make_unique<Sequence>("profile");
  p->add_var(std::make_unique<libqvp::Int32>("station"));
  p->add_var(std::move(levels));
  return p;
}

std::unique_ptr<Sequence> levels_value(std::vector<double> depths) {
  auto v = std::make_unique<Sequence>("levels");
  v->add_var(std::make_unique<libqvp::Float64>("depth"));
  for (double d : depths) {
    Sequence::Row row;
    row.push_back(value<libqvp::Float64>("depth", d));
    v->add_row(std::move(row));
  }
  return v;
}

TEST(SequenceTest, NestedSequenceWritesItsOwnRows) {
  auto p = profile_shape();
  p->set_send_p(true);
  Sequence::Row r1;
  r1.push_back(value<libqvp::Int32>("station", 7));
  r1.push_back(levels_value({1.0, 2.0}));
  p->add_row(std::move(r1));
  Sequence::Row r2;
  r2.push_back(value<libqvp::Int32>("station", 8));
  r2.push_back(levels_value({}));
  p->add_row(std::move(r2));
  EXPECT_EQ(to_hex(serialized(*p)),
            to_hex(hex("5a000000 00000007"
                       "5a000000 3ff00000 00000000"
                       "5a000000 40000000 00000000 a5000000"
                       "5a000000 00000008 a5000000"
                       "a5000000")));
  // The declared nested field's selection applies to the row values.
  p->var("levels.depth")->set_send_p(false);
  EXPECT_EQ(to_hex(serialized(*p)),
            to_hex(hex("5a000000 00000007 5a000000 5a000000 a5000000"
                       "5a000000 00000008 a5000000 a5000000")));
}

TEST(SequenceTest, RowsThatDoNotFitTheFieldsAreRejected) {
  auto s = obs();
  Sequence::Row short_row;
  short_row.push_back(value<libqvp::Str>("id", "a"));
  Sequence::Row wrong_type;
  wrong_type.push_back(value<libqvp::Str>("id", "a"));
  wrong_type.push_back(value<libqvp::Int32>("time", 1));
  Sequence::Row null_value;
  null_value.push_back(value<libqvp::Str>("id", "a"));
  null_value.push_back(nullptr);
  Sequence::Row too_long = obs_row("a", 1);
  too_long.push_back(value<libqvp::Int32>("x", 1));
  Sequence::Row* rows[] = {&short_row, &wrong_type, &null_value, &too_long};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(testing::Message() << "row " << i);
    libqvp::test::expect_error([&] { s->add_row(std::move(*rows[i])); },
                               libqvp::type_mismatch);
  }
  EXPECT_EQ(s->row_count(), 0u);

  auto p = profile_shape();
  Sequence::Row bad_nested;
  bad_nested.push_back(value<libqvp::Int32>("station", 1));
  auto wrong = std::make_unique<Sequence>("levels");
  wrong->add_var(std::make_unique<libqvp::Int32>("depth"));
  bad_nested.push_back(std::move(wrong));
  EXPECT_THROW(p->add_row(std::move(bad_nested)), Error);
}

TEST(SequenceTest, RowsFromAReaderAreCheckedAndWritten) {
  auto s = obs();
  s->set_send_p(true);
  int next = 0;
  s->set_row_reader([&next](Sequence::Row& row) {
    if (next == 2) {  // start again for the next serialisation
      next = 0;
      return false;
    }
    row = obs_row(std::string(1, static_cast<char>('x' + next)), next);
    ++next;
    return true;
  });
  EXPECT_EQ(to_hex(serialized(*s)),
            to_hex(hex("5a000000 00000001 78000000 00000000 00000000"
                       "5a000000 00000001 79000000 3ff00000 00000000"
                       "a5000000")));

  auto bad = obs();
  bad->set_send_p(true);
  bad->set_row_reader([](Sequence::Row& row) {
    row.push_back(value<libqvp::Str>("id", "only one value"));
    return true;
  });
  EXPECT_THROW(serialized(*bad), Error);
}

TEST(SequenceTest, StructureFieldsWriteTheirSelectedMembers) {
  auto s = std::make_unique<Sequence>("s");
  auto pos = std::make_unique<libqvp::Structure>("pos");
  pos->add_var(std::make_unique<libqvp::Int32>("x"));
  pos->add_var(std::make_unique<libqvp::Int32>("y"));
  s->add_var(std::move(pos));
  s->set_send_p(true);
  s->var("pos.x")->set_send_p(false);
  auto value_pos = std::make_unique<libqvp::Structure>("pos");
  value_pos->add_var(value<libqvp::Int32>("x", 1));
  value_pos->add_var(value<libqvp::Int32>("y", 2));
  Sequence::Row row;
  row.push_back(std::move(value_pos));
  s->add_row(std::move(row));
  EXPECT_EQ(to_hex(serialized(*s)), "5a000000 00000002 a5000000");
}

}  // namespace
