// Sequences: rows of field values, checked against the fields when stored or
// read, written with row markers and filtered by the selection clauses.
#include <libqvp/Array.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/Error.h>
#include <libqvp/Marshaller.h>
#include <libqvp/Sequence.h>
#include <libqvp/Structure.h>

namespace libqvp {
namespace {

void check_value(const BaseType& field, const BaseType& value);

// Throws unless `value`'s members match `field`'s one for one.
void check_members(const Constructor& field, const Constructor& value) {
  if (value.num_var() != field.num_var())
    throw Error(type_mismatch, "value of '" + field.name() + "' has " +
                                   std::to_string(value.num_var()) +
                                   " members, not " +
                                   std::to_string(field.num_var()));
  auto v = value.var_begin();
  for (auto f = field.var_begin(); f != field.var_end(); ++f, ++v)
    check_value(**f, **v);
}

void check_value(const BaseType& field, const BaseType& value) {
  if (value.type() != field.type())
    throw Error(type_mismatch, "value of field '" + field.name() + "' is a " +
                                   value.type_name() + ", not a " +
                                   field.type_name());
  if (auto* c = dynamic_cast<const Constructor*>(&field))
    check_members(*c, static_cast<const Constructor&>(value));
  auto* a = dynamic_cast<const Array*>(&field);
  if (a && a->element_type() != static_cast<const Array&>(value).element_type())
    throw Error(type_mismatch, "value of field '" + field.name() +
                                   "' holds the wrong element type");
}

}  // namespace

Sequence::~Sequence() = default;

void Sequence::check_row(const Sequence& shape, const Row& row) {
  if (row.size() != shape.num_var())
    throw Error(type_mismatch, "row of sequence '" + shape.name() + "' has " +
                                   std::to_string(row.size()) +
                                   " values, not " +
                                   std::to_string(shape.num_var()));
  size_t i = 0;
  for (auto f = shape.var_begin(); f != shape.var_end(); ++f, ++i) {
    if (!row[i])
      throw Error(type_mismatch, "row of sequence '" + shape.name() +
                                     "' has no value for '" + (*f)->name() +
                                     "'");
    check_value(**f, *row[i]);
  }
}

void Sequence::add_row(Row row) {
  check_row(*this, row);
  d_rows.push_back(std::move(row));
}

void Sequence::set_row_reader(RowReader reader) {
  d_reader = std::move(reader);
}

void Sequence::write_value(const BaseType& shape, BaseType& value,
                           const std::string& dataset,
                           ConstraintEvaluator& eval, DDS& dds, Marshaller& m,
                           bool ce_eval) {
  if (shape.type() == Type::Sequence) {
    static_cast<Sequence&>(value).write_rows(
        static_cast<const Sequence&>(shape), dataset, eval, dds, m, ce_eval);
  } else if (shape.type() == Type::Structure) {
    const auto& s = static_cast<const Constructor&>(shape);
    auto v = static_cast<Constructor&>(value).var_begin();
    for (auto f = s.var_begin(); f != s.var_end(); ++f, ++v)
      if ((*f)->send_p()) write_value(**f, **v, dataset, eval, dds, m, ce_eval);
  } else {
    value.serialize(dataset, eval, dds, m, ce_eval);
  }
}

void Sequence::write_row(const Sequence& shape, const Row& row,
                         const std::string& dataset, ConstraintEvaluator& eval,
                         DDS& dds, Marshaller& m, bool ce_eval) {
  if (ce_eval && !eval.eval_selection(shape, row)) return;
  m.put_start_of_instance();
  size_t i = 0;
  for (auto f = shape.var_begin(); f != shape.var_end(); ++f, ++i)
    if ((*f)->send_p())
      write_value(**f, *row[i], dataset, eval, dds, m, ce_eval);
}

void Sequence::write_rows(const Sequence& shape, const std::string& dataset,
                          ConstraintEvaluator& eval, DDS& dds, Marshaller& m,
                          bool ce_eval) {
  read_once();
  if (d_reader) {
    Row row;
    for (;;) {
      row.clear();
      if (!d_reader(row)) break;
      check_row(shape, row);
      write_row(shape, row, dataset, eval, dds, m, ce_eval);
    }
  } else {
    // Stored rows were checked against this sequence's own fields; a row
    // value of a nested sequence must also fit the declared shape.
    if (this != &shape) check_members(shape, *this);
    for (const Row& row : d_rows)
      write_row(shape, row, dataset, eval, dds, m, ce_eval);
  }
  m.put_end_of_sequence();
}

bool Sequence::serialize(const std::string& dataset, ConstraintEvaluator& eval,
                         DDS& dds, Marshaller& m, bool ce_eval) {
  write_rows(*this, dataset, eval, dds, m, ce_eval);
  return true;
}

}  // namespace libqvp
