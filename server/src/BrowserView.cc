// The browser's views: reading the view arguments, and the page, CSV and
// catalogue responses with their headers and conditional answers.
#include <libqvp/BrowserView.h>
#include <libqvp/ConstraintEvaluator.h>
#include <libqvp/DDS.h>
#include <libqvp/DataRoot.h>
#include <libqvp/Error.h>
#include <libqvp/RequestGuard.h>
#include <libqvp/VORNFilter.h>
#include <libqvp/cgi_util.h>
#include <libqvp/escaping.h>
#include <libqvp/header_edit.h>
#include <libqvp/write_all.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "Catalogue.h"
#include "CsvTable.h"
#include "DataSetPage.h"
#include "RequestText.h"
#include "web_text.h"

namespace libqvp {
namespace {

constexpr const char* kViewOption = "--view=";
constexpr const char* kExtensionsOption = "--extensions=";

// The value of `arg` when it starts with `option`; false otherwise.
bool option_value(const char* arg, const char* option, std::string& value) {
  const size_t n = strlen(option);
  if (arg == nullptr || strncmp(arg, option, n) != 0) return false;
  value = arg + n;
  return true;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> out;
  size_t begin = 0;
  while (begin <= list.size()) {
    size_t end = list.find(',', begin);
    if (end == std::string::npos) end = list.size();
    if (end > begin) out.push_back(list.substr(begin, end - begin));
    begin = end + 1;
  }
  return out;
}

// The data set's name as the last segment of its URL: from -u when given
// (it is percent-encoded there), else the encoded file name.
std::string url_name(const VORNFilter& f) {
  const std::string url = f.get_URL();
  const size_t slash = url.rfind('/');
  if (!url.empty() && slash + 1 < url.size()) return url.substr(slash + 1);
  return id2www(name_path(f.get_dataset_name()));
}

// True when the request is conditional and `lmt` not later than its time.
bool unchanged(const VORNFilter& f, time_t lmt) {
  return f.is_conditional() && lmt <= f.get_request_if_modified_since();
}

// "page=N" as N; 1 for anything else.
size_t page_number(const std::string& query) {
  std::string value;
  if (!option_value(query.c_str(), "page=", value)) return 1;
  unsigned long n = 0;
  return read_number(value, 1, 999999, n) == NumberText::ok ? n : 1;
}

}  // namespace

BrowserView::BrowserView(int argc, char* argv[]) {
  int next = 1;
  std::string view;
  if (argc > 1 && option_value(argv[1], kViewOption, view)) {
    next = 2;
    if (view == "html") {
      d_kind = page_view;
    } else if (view == "csv") {
      d_kind = csv_view;
    } else if (view == "nc") {
      d_kind = netcdf_view;
    } else if (view == "nc4") {
      d_kind = netcdf4_view;
    } else if (view == "png") {
      d_kind = image_view;
    } else if (view == "catalog") {
      d_kind = catalog_view;
      std::string list;
      if (argc < 3 || !option_value(argv[2], kExtensionsOption, list))
        throw Error(usage_error, "A catalogue needs --extensions");
      d_extensions = split(list);
      next = 3;
    } else {
      throw Error(usage_error, "Unknown view: \"" + view + "\"");
    }
  }
  if (argc > 0) {
    d_program = argv[0] ? argv[0] : "";
    d_rest.push_back(argv[0]);
  }
  for (int i = next; i < argc; ++i) d_rest.push_back(argv[i]);
  d_rest.push_back(nullptr);
}

void BrowserView::send_page(const VORNFilter& f, const DDS& dds,
                            FILE* out) const {
  const time_t lmt = f.get_data_last_modified_time("");
  send_page(f, unchanged(f, lmt) ? std::string() : page(f, dds), lmt, out);
}

std::string BrowserView::page(const VORNFilter& f, const DDS& dds) const {
  std::ostringstream body;
  DataSetPage(dds, url_name(f),
              get_user_supplied_docs(f.get_dataset_name(), d_program))
      .write(body);
  return body.str();
}

std::array<std::string, 2> BrowserView::page_documents(
    const VORNFilter& f) const {
  return user_supplied_doc_names(f.get_dataset_name(), d_program);
}

void BrowserView::send_page(const VORNFilter& f, const std::string& body,
                            time_t lmt, FILE* out) const {
  if (unchanged(f, lmt)) {
    set_mime_not_modified(out);
  } else {
    set_mime_html(out, unknown_type, f.get_cgi_version(), x_plain, lmt);
    write_all(out, body);
  }
  fflush(out);
}

void BrowserView::send_csv(const VORNFilter& f, DDS& dds,
                           ConstraintEvaluator& eval, FILE* out) const {
  const time_t lmt = f.get_data_last_modified_time("");
  if (unchanged(f, lmt)) {
    set_mime_not_modified(out);
    fflush(out);
    return;
  }
  f.establish_timeout(out);
  eval.parse_constraint(f.get_ce(), dds);
  if (eval.functional_expression())
    throw Error(usage_error, "A function's result cannot be written as CSV");
  const CsvTable table(dds);

  std::ostringstream header;
  set_mime_text(header, unknown_type, f.get_cgi_version(), x_plain, lmt);
  std::string h = header.str();
  set_header_value(h, "Content-Type: ", "text/csv; charset=utf-8");
  begin_response(out, h);
  table.write(out);
  fflush(out);
}

void BrowserView::send_catalogue(const VORNFilter& f, FILE* out) const {
  const char* root = getenv(DataRoot::kVariable);
  const Catalogue catalogue(root ? root : "", f.get_dataset_name(),
                            d_extensions);
  std::ostringstream body;
  catalogue.write(body, page_number(f.get_ce()));
  set_mime_html(out, unknown_type, f.get_cgi_version(), x_plain, 0);
  write_all(out, body.str());
  fflush(out);
}

bool BrowserView::body_started() const {
  return RequestGuard::output_started();
}

}  // namespace libqvp
