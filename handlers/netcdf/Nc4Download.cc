// The netCDF-4 download. The netCDF library writes netCDF-4 only to a file
// it opens by name, so the file is made whole in a SpoolFile and then sent
// with its length. Its values come straight from the data set's variables
// in their own types (an NcML data set's members through its reads), not
// through the DDS: the DDS serves no compound as netCDF stores it.
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "DownloadName.h"
#include "Nc4Target.h"
#include "Nc4Values.h"
#include "NcCoordinates.h"
#include "NcDDS.h"
#include "NcDownload.h"
#include "NcExactValues.h"
#include "NcFastPath.h"
#include "NcFile.h"
#include "NcOutputPlan.h"
#include "NcResponseHeader.h"
#include "SpoolFile.h"
#include "ncml/SelectedMembers.h"

namespace libqvp {
namespace {

const char* const kWrite = "Cannot write the netCDF-4 file";

// The bytes of the selected values in memory (a string counts as its
// pointer): what the file holds at least, saturating.
uint64_t value_bytes(const NcOutputPlan& plan) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t total = 0;
  for (const OutputVariable& v : plan.variables()) {
    size_t width = 0;
    check_nc(nc_inq_type(v.ncid, v.type, nullptr, &width), kWrite);
    uint64_t bytes = width;
    for (size_t d : v.dims) {
      const uint64_t n = plan.dimensions()[d].length;
      bytes = n != 0 && bytes > kMax / n ? kMax : bytes * n;
    }
    total = total > kMax - bytes ? kMax : total + bytes;
  }
  return total;
}

bool is_unlimited(int group, int dimid) {
  int n = 0;
  check_nc(nc_inq_unlimdims(group, &n, nullptr), kWrite);
  std::vector<int> ids(static_cast<size_t>(n));
  if (n > 0) check_nc(nc_inq_unlimdims(group, &n, ids.data()), kWrite);
  for (int id : ids)
    if (id == dimid) return true;
  return false;
}

// Dimension `d` of the plan, which variable group `user` uses, in the
// output group of the source group that defines it; unlimited when it is
// unlimited there.
int define_dimension(Nc4Target& target, int user, const OutputDimension& d) {
  const int g = defining_group(user, d.source);
  if (g < 0)
    throw Error(internal_error, std::string(kWrite) +
                                    ": no group "
                                    "defines \"" +
                                    d.name + "\"");
  char name[NC_MAX_NAME + 1] = {};
  check_nc(nc_inq_dimname(g, d.source, name), kWrite);
  int id = -1;
  check_nc(nc_def_dim(target.group(g), name,
                      is_unlimited(g, d.source) ? NC_UNLIMITED : d.length, &id),
           kWrite);
  return id;
}

// `line`, then the source's history (text or strings) on the lines after.
void put_history(int source, int out, const std::string& line) {
  std::string text = line;
  nc_type type = NC_NAT;
  size_t len = 0;
  if (nc_inq_att(source, NC_GLOBAL, "history", &type, &len) == NC_NOERR) {
    if (type == NC_CHAR) {
      std::string old(len, '\0');
      check_nc(nc_get_att_text(source, NC_GLOBAL, "history", old.data()),
               kWrite);
      text += "\n" + old;
    } else if (type == NC_STRING) {
      std::vector<char*> old(len, nullptr);
      check_nc(nc_get_att_string(source, NC_GLOBAL, "history", old.data()),
               kWrite);
      for (char* s : old) text += std::string("\n") + (s ? s : "");
      nc_free_string(len, old.data());
    }
    nc_del_att(out, NC_GLOBAL, "history");
  }
  check_nc(nc_put_att_text(out, NC_GLOBAL, "history", text.size(), text.data()),
           kWrite);
}

// Defines everything `plan` holds in `out` (a new netCDF-4 file), then
// copies the values.
void write_file(const NcFile& file, const NcOutputPlan& plan,
                const std::string& history, int out) {
  Nc4Target target(file.id(), out);
  int old_mode = 0;
  check_nc(nc_set_fill(out, NC_NOFILL, &old_mode), kWrite);
  target.copy_attributes(file.id(), NC_GLOBAL, out, NC_GLOBAL);
  put_history(file.id(), out, history);
  std::vector<int> dimids(plan.dimensions().size(), -1);
  std::vector<std::pair<int, int>> written;  // output group and variable
  for (const OutputVariable& v : plan.variables()) {
    std::vector<int> ids;
    for (size_t d : v.dims) {
      if (dimids[d] < 0)
        dimids[d] = define_dimension(target, v.ncid, plan.dimensions()[d]);
      ids.push_back(dimids[d]);
    }
    const nc_type type = target.type(v.type);
    const int g = target.group(v.ncid);
    char name[NC_MAX_NAME + 1] = {};
    check_nc(nc_inq_varname(v.ncid, v.varid, name), kWrite);
    int varid = -1;
    check_nc(nc_def_var(g, name, type, static_cast<int>(ids.size()), ids.data(),
                        &varid),
             kWrite);
    target.copy_attributes(v.ncid, v.varid, g, varid);
    written.emplace_back(g, varid);
  }
  check_nc(nc_enddef(out), kWrite);
  for (size_t i = 0; i < written.size(); ++i)
    copy_nc4_values(file, plan, plan.variables()[i], written[i].first,
                    written[i].second);
}

// Closes the output file when the writing ends early.
struct OutputFile {
  int id = -1;
  ~OutputFile() {
    if (id >= 0) nc_close(id);
  }
};

}  // namespace

void send_netcdf4(const NcFilter& f) {
  NcFile file(f.get_dataset_name(), kNcIoBytes);
  DDS dds;
  build_dds(file, dds);
  const time_t lmt = f.get_data_last_modified_time("");
  if (answered_not_modified(f, lmt)) return;
  ConstraintEvaluator eval;
  select_for_download(f, dds, eval, "a netCDF file");
  if (file.ncml() != nullptr) {
    // Members' values come as the data response reads them.
    check_exact_values(dds);
    check_selected_members(*file.ncml(), dds);
  }
  const NcOutputPlan plan(file, dds, f.get_ce().empty(), OutputFormat::netcdf4);
  const uint64_t cap = download_cap(kNc4CapVariable, kDefaultNc4Cap);
  refuse_over_cap(value_bytes(plan), cap);

  SpoolFile spool;
  {
    OutputFile out;
    check_nc(nc_create(spool.path().c_str(), NC_NETCDF4 | NC_CLOBBER, &out.id),
             kWrite);
    spool.release_name();
    write_file(file, plan, history_line(f, "nc4"), out.id);
    const int status = nc_close(out.id);
    out.id = -1;
    check_nc(status, kWrite);
  }
  const uint64_t size = spool.size();
  if (size == 0) throw Error(internal_error, std::string(kWrite) + ": empty");
  refuse_over_cap(size, cap);
  const std::vector<std::string> none;
  const std::string name = download_file_name(
      file.name(), f.get_ce().empty() ? none : plan.selected_names(), "nc4");
  enlarge_output_pipe(stdout);
  begin_response(stdout, download_header(f, lmt, name, size));
  spool.send(stdout);
  fflush(stdout);
}

}  // namespace libqvp
