// Sequences: row markers and selected fields, nested sequences, row checks
// and row readers. Filtering by selection clauses is tested with the
// constraint evaluator.
#include "CoreTest.h"

namespace libqvp::test {

// A Sequence `name` with `fields`.
template <class... F>
std::unique_ptr<Sequence> sequence(const std::string& name, F... fields) {
  auto s = named<Sequence>(name);
  (s->add_var(std::move(fields)), ...);
  return s;
}

// obs { String id; Float64 time; }
std::unique_ptr<Sequence> obs() {
  return sequence("obs", named<Str>("id"), named<Float64>("time"));
}

Sequence::Row obs_row(const std::string& id, double time) {
  return row_of(holding<Str>(id, "id"), holding<Float64>(time, "time"));
}

// profile { Int32 station; Sequence { Float64 depth; } levels; }
std::unique_ptr<Sequence> profile_shape() {
  return sequence("profile", named<Int32>("station"),
                  sequence("levels", named<Float64>("depth")));
}

// A profile row: the station and a levels value with `depths`.
Sequence::Row profile_row(int station, std::vector<double> depths) {
  auto levels = sequence("levels", named<Float64>("depth"));
  for (double d : depths) levels->add_row(row_of(holding<Float64>(d)));
  return row_of(holding<Int32>(station), std::move(levels));
}

TEST(SequenceTest, RowsAreFramedByMarkers) {
  auto s = obs();
  s->set_send_p(true);
  EXPECT_EQ(xdr_hex(*s), "a5000000") << "no rows";
  s->add_row(obs_row("a", 1.0));
  s->add_row(obs_row("bcd", 2.0));
  EXPECT_EQ(xdr_hex(*s),
            spaced("5a000000 00000001 61000000 3ff00000 00000000"
                   "5a000000 00000003 62636400 40000000 00000000 a5000000"));
  s->var("id")->set_send_p(false);
  EXPECT_EQ(xdr_hex(*s), spaced("5a000000 3ff00000 00000000"
                                "5a000000 40000000 00000000 a5000000"));
}

TEST(SequenceTest, NestedSequenceWritesItsOwnRows) {
  auto p = profile_shape();
  p->set_send_p(true);
  p->add_row(profile_row(7, {1.0, 2.0}));
  p->add_row(profile_row(8, {}));
  EXPECT_EQ(xdr_hex(*p), spaced("5a000000 00000007"
                                "5a000000 3ff00000 00000000"
                                "5a000000 40000000 00000000 a5000000"
                                "5a000000 00000008 a5000000"
                                "a5000000"));
  // The declared nested field's selection applies to the row values.
  p->var("levels.depth")->set_send_p(false);
  EXPECT_EQ(xdr_hex(*p), spaced("5a000000 00000007 5a000000 5a000000 a5000000"
                                "5a000000 00000008 a5000000 a5000000"));
}

TEST(SequenceTest, RowsThatDoNotFitTheFieldsAreRejected) {
  auto s = obs();
  Sequence::Row rows[] = {
      row_of(holding<Str>("a")),                            // short
      row_of(holding<Str>("a"), holding<Int32>(1)),         // wrong type
      row_of(holding<Str>("a"), std::unique_ptr<Int32>()),  // null value
      row_of(holding<Str>("a"), holding<Float64>(1.0), holding<Int32>(1)),
  };
  for (auto& row : rows) {
    SCOPED_TRACE(row.size());
    expect_error([&] { s->add_row(std::move(row)); }, type_mismatch);
  }
  EXPECT_EQ(s->row_count(), 0u);
  auto wrong_nested = sequence("levels", named<Int32>("depth"));
  EXPECT_THROW(profile_shape()->add_row(
                   row_of(holding<Int32>(1), std::move(wrong_nested))),
               Error);
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
  EXPECT_EQ(xdr_hex(*s),
            spaced("5a000000 00000001 78000000 00000000 00000000"
                   "5a000000 00000001 79000000 3ff00000 00000000 a5000000"));

  auto bad = obs();
  bad->set_send_p(true);
  bad->set_row_reader([](Sequence::Row& row) {
    row = row_of(holding<Str>("only one value"));
    return true;
  });
  EXPECT_THROW(serialized(*bad), Error);
}

TEST(SequenceTest, StructureFieldsWriteTheirSelectedMembers) {
  auto pos = named<Structure>("pos");
  pos->add_var(named<Int32>("x"));
  pos->add_var(named<Int32>("y"));
  auto s = sequence("s", std::move(pos));
  s->set_send_p(true);
  s->var("pos.x")->set_send_p(false);
  auto value = named<Structure>("pos");
  value->add_var(holding<Int32>(1, "x"));
  value->add_var(holding<Int32>(2, "y"));
  s->add_row(row_of(std::move(value)));
  EXPECT_EQ(xdr_hex(*s), "5a000000 00000002 a5000000");
}

}  // namespace libqvp::test
