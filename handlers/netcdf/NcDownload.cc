// The download runs as the data response does: the constraint and every
// check before the header, the body streamed box by box. Values go through
// the DDS's arrays (and their raw and box readers), so whatever serves the
// data response serves the download too.
#include "NcDownload.h"

#include <libqvp/Array.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <libqvp/cgi_util.h>
#include <libqvp/header_edit.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "ClassicLayout.h"
#include "ClassicValueSink.h"
#include "DownloadName.h"
#include "NcDDS.h"
#include "NcExactValues.h"
#include "NcFastPath.h"
#include "NcFile.h"
#include "NcOutputPlan.h"
#include "NcResponseHeader.h"

namespace libqvp {
namespace {

// The history line, then the file's own history on the lines after it.
std::vector<NcRawAttribute> with_history(std::vector<NcRawAttribute> globals,
                                         const NcFilter& f) {
  std::string line = history_line(f, "nc");
  for (NcRawAttribute& a : globals) {
    if (a.name != "history") continue;
    if (a.type == NC_CHAR)
      line += "\n" + std::string(a.values.begin(), a.values.end());
    a = text_attribute("history", line);
    return globals;
  }
  globals.push_back(text_attribute("history", line));
  return globals;
}

void write_values(const OutputVariable& v, ClassicValueSink& sink,
                  ConstraintEvaluator& eval, DDS& dds, uint64_t padding) {
  sink.begin_variable(v.type, v.string_length);
  v.values->serialize(dds.get_dataset_name(), eval, dds, sink, false);
  sink.put_zeros(padding);
}

// The fixed variables, then record by record each record variable's slice.
void write_body(const NcOutputPlan& plan, const ClassicLayout& layout,
                ConstraintEvaluator& eval, DDS& dds) {
  ClassicValueSink sink(stdout);
  sink.put_bytes(layout.header());
  const auto& vars = plan.variables();
  for (size_t i = 0; i < vars.size(); ++i)
    if (!vars[i].record)
      write_values(vars[i], sink, eval, dds, layout.padding(i));
  if (layout.records() > 0) {
    const OutputDimension& rec =
        plan.dimensions()[static_cast<size_t>(plan.record_dimension())];
    for (size_t r = 0; r < layout.records(); ++r) {
      const int index = static_cast<int>(rec.start + r * rec.stride);
      for (size_t i = 0; i < vars.size(); ++i) {
        if (!vars[i].record) continue;
        static_cast<Array*>(vars[i].values)->add_constraint(0, index, 1, index);
        write_values(vars[i], sink, eval, dds, layout.padding(i));
      }
    }
  }
  sink.flush();
  if (sink.written() != layout.file_size())
    throw Error(internal_error,
                "The file came to " + std::to_string(sink.written()) +
                    " bytes instead of " + std::to_string(layout.file_size()));
}

}  // namespace

bool answered_not_modified(const NcFilter& f, time_t lmt) {
  if (!unchanged_since_request(f, lmt)) return false;
  set_mime_not_modified(stdout);
  fflush(stdout);
  return true;
}

void select_for_download(const NcFilter& f, DDS& dds, ConstraintEvaluator& eval,
                         const std::string& what) {
  eval.parse_constraint(f.get_ce(), dds);
  if (eval.functional_expression())
    throw Error(usage_error, "A function's result cannot be " + what);
}

std::string history_line(const NcFilter& f, const std::string& suffix) {
  const time_t now = time(nullptr);
  struct tm utc {};
  gmtime_r(&now, &utc);
  char date[64];
  strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &utc);
  std::string line = std::string(date) + ": " + f.get_URL() + "." + suffix;
  if (!f.get_ce().empty()) line += "?" + f.get_ce();
  return line;
}

std::string download_header(const NcFilter& f, time_t lmt,
                            const std::string& file_name, uint64_t length) {
  std::ostringstream out;
  set_mime_binary(out, unknown_type, f.get_cgi_version(), x_plain, lmt);
  std::string header = out.str();
  set_header_value(header, "Content-Type: ", "application/x-netcdf");
  add_header_line(header,
                  "Content-Disposition: " + content_disposition(file_name));
  add_header_line(header, "Content-Length: " + std::to_string(length));
  return header;
}

uint64_t download_cap(const char* variable, uint64_t fallback) {
  const char* text = getenv(variable);
  if (text == nullptr) return fallback;
  char* end = nullptr;
  const unsigned long long v = strtoull(text, &end, 10);
  return end != text && *end == '\0' && v > 0 ? v : fallback;
}

void refuse_over_cap(uint64_t bytes, uint64_t cap) {
  if (bytes > cap)
    throw Error(usage_error,
                "The selection makes a file of " + std::to_string(bytes) +
                    " bytes, more than the " + std::to_string(cap) +
                    " that this server sends; select less");
}

void send_netcdf(const NcFilter& f) {
  NcFile file(f.get_dataset_name(), kNcIoBytes);
  DDS dds;
  build_dds(file, dds);
  install_fast_readers(file, dds);
  const time_t lmt = f.get_data_last_modified_time("");
  if (answered_not_modified(f, lmt)) return;
  ConstraintEvaluator eval;
  select_for_download(f, dds, eval, "a netCDF file");
  check_exact_values(dds);
  const NcOutputPlan plan(file, dds, f.get_ce().empty());
  const ClassicLayout layout(plan, with_history(plan.global_attributes(), f));
  refuse_over_cap(layout.file_size(),
                  download_cap(kNcCapVariable, kDefaultNcCap));
  const std::vector<std::string> none;
  const std::string name = download_file_name(
      file.name(), f.get_ce().empty() ? none : plan.selected_names(), "nc");
  enlarge_output_pipe(stdout);
  begin_response(stdout, download_header(f, lmt, name, layout.file_size()));
  write_body(plan, layout, eval, dds);
  fflush(stdout);
}

}  // namespace libqvp
