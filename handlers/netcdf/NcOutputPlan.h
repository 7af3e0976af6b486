// What a download of a selection holds: the variables that a constrained DDS
// selects, the coordinate variables of their dimensions sliced the same way,
// and the dimensions sized as selected, in the file's order, each variable
// with its attributes as the file types them. Variables of groups are
// flattened: "grp.sub.var" names "var" of group "grp/sub" (and a dimension
// defined in a group is named the same way).
#ifndef QVP_NC_NCOUTPUTPLAN_H
#define QVP_NC_NCOUTPUTPLAN_H

#include <libqvp/BaseType.h>
#include <libqvp/DDS.h>
#include <netcdf.h>

#include <cstddef>
#include <string>
#include <vector>

#include "NcFile.h"
#include "NcRawAttributes.h"

namespace libqvp {

// The file a plan is for: one of the classic family (groups flattened,
// strings as characters, no compound variables), or netCDF-4 (every type
// as the source has it; names keep their groups in the file).
enum class OutputFormat { classic, netcdf4 };

struct OutputDimension {
  std::string name;
  int source = -1;  // the file's dimension id; -1 for a made string length
  size_t start = 0, stride = 1, length = 0;  // the selection along it
  bool record = false;  // the record (unlimited) dimension of the download
};

struct OutputVariable {
  std::string name;
  int ncid = -1, varid = -1;  // in the file
  // The type written: the file's, an enum's base type, NC_CHAR for
  // strings (NC_CHAR and NC_STRING variables alike); for netCDF-4 the
  // source's type (its id in the source file).
  nc_type type = NC_NAT;
  std::vector<size_t> dims;  // into NcOutputPlan::dimensions(); a string
                             // variable's length dimension comes last
  size_t string_length = 0;  // characters per string; 0 for numbers
  bool record = false;       // its first dimension is the record dimension
  std::vector<NcRawAttribute> attributes;
  // The variable of the DDS whose serialize() gives the values (an Array or
  // a scalar), its selection set to this variable's dimensions.
  BaseType* values = nullptr;
};

class NcOutputPlan {
 public:
  // Plans the download of what `dds` (built from `file`, its constraint
  // applied) selects. Changes the selection of the coordinate arrays it
  // adds (to match their variable's). Throws Error(usage_error) for a
  // selection that cannot be one netCDF file: two selections of one
  // dimension that differ, a compound variable,
  // two variables or dimensions that flatten to one name, nothing
  // selected; Error(internal_error) when netCDF fails. `file` and `dds`
  // must outlive the plan. With `whole` (the request selects the whole data
  // set) compound variables are left out instead, and named in the global
  // attribute "omitted_variables". For OutputFormat::netcdf4 compound
  // variables are planned (whole records, whatever members are selected),
  // a string variable has no length dimension, names are not checked for
  // clashes once flattened, and with `whole` every variable of the file
  // is planned, also those of types the DDS does not serve (their `values`
  // null).
  NcOutputPlan(const NcFile& file, DDS& dds, bool whole,
               OutputFormat format = OutputFormat::classic);

  const std::vector<OutputDimension>& dimensions() const { return d_dims; }
  const std::vector<OutputVariable>& variables() const { return d_vars; }
  const std::vector<NcRawAttribute>& global_attributes() const {
    return d_globals;
  }
  // The index of the record dimension, or -1 when there is none.
  int record_dimension() const { return d_record; }
  // The selected variables' names as the request gave them, for a file name.
  const std::vector<std::string>& selected_names() const { return d_selected; }

 private:
  class Builder;

  std::vector<OutputDimension> d_dims;
  std::vector<OutputVariable> d_vars;
  std::vector<NcRawAttribute> d_globals;
  std::vector<std::string> d_selected;
  int d_record = -1;
};

}  // namespace libqvp

#endif  // QVP_NC_NCOUTPUTPLAN_H
