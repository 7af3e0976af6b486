// A table: rows of values, one per member (field), filtered by the selection
// clauses of a constraint.
#ifndef LIBQVP_SEQUENCE_H
#define LIBQVP_SEQUENCE_H

#include <libqvp/Constructor.h>

#include <functional>
#include <memory>
#include <vector>

namespace libqvp {

class Sequence : public Constructor {
 public:
  // One value per field, in field order, each of the field's type.
  using Row = std::vector<std::unique_ptr<BaseType>>;
  // Fills `row` with the next row and returns true, or returns false when
  // there are no more rows. Throws Error.
  using RowReader = std::function<bool(Row& row)>;

  explicit Sequence(std::string name)
      : Constructor(std::move(name), Type::Sequence) {}
  ~Sequence() override;

  // Stores a row. Throws Error(type_mismatch) unless it has one value per
  // field, each of the field's type.
  void add_row(Row row);
  size_t row_count() const { return d_rows.size(); }
  const std::vector<Row>& rows() const { return d_rows; }

  // Rows come from `reader` instead of the stored rows.
  void set_row_reader(RowReader reader);

  // Set by DDS::tag_nested_sequences: true when no selected field is itself
  // a Sequence.
  bool is_leaf() const { return d_leaf; }
  void set_leaf(bool leaf) { d_leaf = leaf; }

  // For each row (kept only when `ce_eval` is false or
  // eval.eval_selection(*this, row) is true): 5A 00 00 00 and the row's
  // selected fields; then A5 00 00 00.
  bool serialize(const std::string& dataset, ConstraintEvaluator& eval,
                 DDS& dds, Marshaller& m, bool ce_eval = true) override;

 private:
  // Throws Error(type_mismatch) unless `row` fits the fields of `shape`.
  static void check_row(const Sequence& shape, const Row& row);
  // Writes this sequence's rows (stored or read) as rows of `shape`, the
  // declared sequence whose selection and clauses apply; this is `shape`
  // itself at the top, or a row value of a nested sequence.
  void write_rows(const Sequence& shape, const std::string& dataset,
                  ConstraintEvaluator& eval, DDS& dds, Marshaller& m,
                  bool ce_eval);
  void write_row(const Sequence& shape, const Row& row,
                 const std::string& dataset, ConstraintEvaluator& eval,
                 DDS& dds, Marshaller& m, bool ce_eval);
  // Writes the row value `value` of field `shape`.
  static void write_value(const BaseType& shape, BaseType& value,
                          const std::string& dataset, ConstraintEvaluator& eval,
                          DDS& dds, Marshaller& m, bool ce_eval);

  std::vector<Row> d_rows;
  RowReader d_reader;
  bool d_leaf = true;
};

}  // namespace libqvp

#endif  // LIBQVP_SEQUENCE_H
