// What an NcML document asks for, checked against the subset of NcML that the
// handler serves: edits of one data set, and joinExisting, joinNew and union
// aggregations of listed or scanned members.
#ifndef QVP_NC_NCMLDOCUMENT_H
#define QVP_NC_NCMLDOCUMENT_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "XmlElement.h"

namespace libqvp {

// Where in the document an element starts, for messages.
struct NcmlPlace {
  unsigned long line = 0;
  unsigned long column = 0;
};

struct NcmlAttribute {
  std::string name;
  std::string type = "String";
  std::optional<std::string> value;  // the value attribute, or the text
  std::string org_name;
  std::string separator;  // empty: blanks separate numbers
  NcmlPlace place;
};

struct NcmlRemove {
  std::string name;
  std::string type;  // "attribute", "variable" or "dimension"
  NcmlPlace place;
};

struct NcmlValues {
  bool present = false;
  bool regular = false;  // start and increment, not text
  std::string text;
  std::string separator;
  double start = 0;
  double increment = 0;
  std::optional<size_t> npts;
  NcmlPlace place;
};

struct NcmlVariable {
  std::string name;
  std::string org_name;
  std::string type;                  // empty: keep the variable's type
  std::optional<std::string> shape;  // dimension names, blank-separated
  std::vector<NcmlAttribute> attributes;
  std::vector<NcmlRemove> removes;
  NcmlValues values;
  NcmlPlace place;
};

struct NcmlDimension {
  std::string name;
  std::string org_name;
  std::optional<size_t> length;
  bool unlimited = false;
  NcmlPlace place;
};

// A member named by a nested <netcdf location>.
struct NcmlMember {
  std::string location;
  std::optional<size_t> ncoords;
  std::string coord_value;  // blank- or comma-separated values; may be empty
  NcmlPlace place;
};

struct NcmlScan {
  std::string location;
  std::string suffix;
  std::string reg_exp;
  std::string date_format_mark;
  bool subdirs = true;
  double older_than_seconds = 0;
  NcmlPlace place;
};

struct NcmlAggregation {
  enum class Kind { join_existing, join_new, union_of };
  Kind kind = Kind::join_existing;
  std::string dim_name;
  bool time_units_change = false;
  std::vector<std::string> variable_agg;
  std::vector<NcmlMember> members;  // listed members come before scanned ones
  std::vector<NcmlScan> scans;
  NcmlPlace place;
};

struct NcmlDocument {
  std::string name;  // the document's file name, for messages
  std::string location;
  std::vector<NcmlAttribute> attributes;  // global
  std::vector<NcmlRemove> removes;        // global
  std::vector<NcmlVariable> variables;
  std::vector<NcmlDimension> dimensions;
  std::optional<NcmlAggregation> aggregation;

  // "\"<name>\" line L, column C: " for messages about what starts at `p`.
  std::string where(const NcmlPlace& p) const;
};

// Interprets the tree `root` of the document `name`. Throws
// Error(internal_error) naming the line and column of the first element or
// attribute that NcML does not have or this handler does not serve, or of a
// value that does not parse (a length, a number of values, a duration).
NcmlDocument interpret_ncml(const XmlElement& root, const std::string& name);

}  // namespace libqvp

#endif  // QVP_NC_NCMLDOCUMENT_H
