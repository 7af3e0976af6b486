// What a person with a browser asked for: a data set's page, its values as
// CSV, or a directory's catalogue. The dispatcher says so with arguments of
// the handler's own that come before the request filter's options:
//   <handler> --view=html  <filter options> <data set>
//   <handler> --view=csv   <filter options, -e the constraint> <data set>
//   <handler> --view=catalog --extensions=nc,nc4 <filter options> <directory>
//   <handler> --view=nc|nc4|png <filter options, -e the constraint> <data set>
// A handler reads them first, builds its VORNFilter from what is left, and
// answers with the send_* operation of the view when there is one; the
// downloads (the selection as a netCDF file or a picture) are the
// handler's own.
#ifndef LIBQVP_BROWSERVIEW_H
#define LIBQVP_BROWSERVIEW_H

#include <array>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace libqvp {

class ConstraintEvaluator;
class DDS;
class VORNFilter;

class BrowserView {
 public:
  enum Kind {
    no_view,
    page_view,
    csv_view,
    catalog_view,
    netcdf_view,   // .nc: a file of the classic netCDF family
    netcdf4_view,  // .nc4: a netCDF-4 file
    image_view     // .png: a picture of a 2-D slice
  };

  // Takes the view arguments from the start of argv (after argv[0]); `argv`
  // is not changed and must outlive this object. Throws
  // Error(usage_error) for an unknown view or a catalogue without
  // --extensions.
  BrowserView(int argc, char* argv[]);

  Kind kind() const { return d_kind; }

  // The command line without the view arguments, for the request filter.
  int filter_argc() const { return static_cast<int>(d_rest.size()) - 1; }
  char** filter_argv() { return d_rest.data(); }

  // The page of the data set: a 304 header alone when the request is
  // conditional and the data set is unchanged since then, otherwise the
  // set_mime_html header and the page. `dds` carries the attributes
  // (DDS::transfer_attributes). Flushes `out`.
  void send_page(const VORNFilter& f, const DDS& dds, FILE* out) const;

  // The parts of send_page, for a handler that keeps pages between requests
  // (a pool worker): page() makes the HTML from `dds`, f's URL and the
  // user-supplied documents; page_documents() names the files among those
  // documents that page() would read now (user_supplied_doc_names); the
  // second send_page answers with a `body` that page() made, dated `lmt`
  // (f.get_data_last_modified_time("") as it is now), writing what the first
  // one writes, and flushes `out`.
  std::string page(const VORNFilter& f, const DDS& dds) const;
  std::array<std::string, 2> page_documents(const VORNFilter& f) const;
  void send_page(const VORNFilter& f, const std::string& body, time_t lmt,
                 FILE* out) const;

  // The values that f's constraint selects as CSV ("Content-Type: text/csv;
  // charset=utf-8", otherwise the header of set_mime_text), or a 304 header
  // as send_page. Arms the filter's time-out first, as the data response
  // does. Throws Error before anything is written for a bad constraint or
  // a selection that is no table (usage_error: the variables do not share
  // their dimensions, a function call, a Sequence); after that only the
  // box readers' errors and Error(write_error). Flushes `out`.
  void send_csv(const VORNFilter& f, DDS& dds, ConstraintEvaluator& eval,
                FILE* out) const;

  // The catalogue of the directory that is f's data set argument. The
  // data root is QVP_DATA_ROOT from the environment (the directory itself
  // when unset): nothing outside it is listed. f's constraint may be
  // "page=N". Throws Error(no_such_variable) for a directory that cannot be
  // read or lies outside the root. Flushes `out`.
  void send_catalogue(const VORNFilter& f, FILE* out) const;

  // True once the response has begun (RequestGuard::output_started(), under
  // the request's guard): an Error after that can no longer become an error
  // response.
  bool body_started() const;

 private:
  Kind d_kind = no_view;
  std::vector<std::string> d_extensions;
  std::vector<char*> d_rest;  // argv[0] and the rest, null-terminated
  std::string d_program;      // argv[0]: names the server-wide document
};

}  // namespace libqvp

#endif  // LIBQVP_BROWSERVIEW_H
