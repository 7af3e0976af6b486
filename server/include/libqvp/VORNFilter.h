// The request object of a data handler: the state that the handler's command
// line gives (data set, constraint, response kind, version text, ancillary
// location, conditional time, time limit) and the operations that write the
// DAS, DDS, DDX, data and version responses from the handler's objects.
//
// Every operation but the constructors, initialize(), set_timeout() and
// get_timeout() is virtual and is called through the virtual table inside the
// class, so that a handler may derive from VORNFilter and replace any step.
// The virtual operations are declared in their fixed slot order.
#ifndef LIBQVP_VORNFILTER_H
#define LIBQVP_VORNFILTER_H

#include <cstdio>
#include <ctime>
#include <ostream>
#include <string>

namespace libqvp {

class BaseType;
class ConstraintEvaluator;
class DAS;
class DDS;

class VORNFilter {
 public:
  // The requested response kind.
  enum Response {
    Unknown_Response = 0,
    DAS_Response = 1,
    DDS_Response = 2,
    DataDDS_Response = 3,
    DDX_Response = 4,
    BLOB_Response = 5,  // declared, never stored by set_response
    Version_Response = 6
  };

 protected:
  bool d_comp;                 // -c: compression asked for (never read here)
  bool d_bad_options;          // false; not read or set by this library
  bool d_conditional_request;  // -l given
  std::string d_program_name;  // argv[0]
  std::string d_dataset;       // first non-option argument, decoded
  std::string d_ce;            // -e, decoded ("%20" kept encoded)
  std::string d_cgi_ver;       // -v: the dispatcher's version text
  std::string d_anc_dir;       // -d: ancillary directory
  std::string d_anc_file;      // -f: ancillary file name
  std::string d_cache_dir;     // -r
  std::string d_url;           // -u: the request URL without its query
  Response d_response;         // -o
  std::string d_action;        // -o: "das", "dds", "vorn", "ddx", "version"
  int d_timeout;               // -t: seconds; 0 or less means no limit
  time_t d_anc_das_lmt;        // 0; not read by this library
  time_t d_anc_dds_lmt;        // 0; not read by this library
  time_t d_if_modified_since;  // -l: seconds since the epoch; -1 without -l

  // Sets every field to its default; leaves d_action alone.
  void initialize();
  // initialize(), then the program name, the options and the data set.
  // Throws Error(1001) through print_usage() for a bad command line.
  void initialize(int argc, char* argv[]);

  // Applies the options of argv and returns the index of the first
  // non-option argument (argc when there is none). A bad option goes to
  // print_usage(), which throws Error(1001).
  virtual int process_options(int argc, char* argv[]);

 public:
  // Builds the request from a handler's command line. Throws only Error:
  // code 1001 after logging the usage text on std::cerr, for -h, an unknown
  // option or a missing option argument, an unknown -o keyword, a -u URL
  // holding '?', or no data set unless -o Version was given.
  VORNFilter(int argc, char* argv[]);
  // Every field as initialize() sets it; no command line is read.
  VORNFilter();

  virtual ~VORNFilter();

  // Whether -l was given.
  virtual bool is_conditional() const;

  virtual std::string get_cgi_version() const;
  virtual void set_cgi_version(std::string version);
  virtual std::string get_ce() const;
  // Stores `_ce` decoded: "%xx" escapes replaced, "%20" left as it is.
  virtual void set_ce(std::string _ce);
  virtual std::string get_dataset_name() const;
  // Stores `ds` decoded as set_ce does.
  virtual void set_dataset_name(std::string ds);
  virtual std::string get_URL() const;
  // Stores `url` unchanged; a URL holding '?' goes to print_usage() instead.
  virtual void set_URL(const std::string& url);
  // The data set's version for the version response; "" here.
  virtual std::string get_dataset_version() const;
  virtual Response get_response() const;
  virtual std::string get_action() const;
  // Takes "DAS"/"das", "DDS"/"dds", "DataDDS"/"vorn", "DDX"/"ddx" or
  // "Version" (exactly, case matters); anything else goes to print_usage().
  virtual void set_response(const std::string& r);

  // Last-modified times (seconds since the epoch). Nothing is cached; an
  // absent ancillary file counts as 0, a data set that is no regular file as
  // the current time. An empty `anc_location` means d_anc_dir. Never throw.
  virtual time_t get_dataset_last_modified_time() const;
  // The later of the data set's and the ancillary DAS file's times.
  virtual time_t get_das_last_modified_time(
      const std::string& anc_location) const;
  // The later of the data set's and the ancillary DDS file's times.
  virtual time_t get_dds_last_modified_time(
      const std::string& anc_location) const;
  // The latest of the data set's and both ancillary files' times.
  virtual time_t get_data_last_modified_time(
      const std::string& anc_location) const;
  // The -l time; -1 without -l.
  virtual time_t get_request_if_modified_since() const;

  virtual std::string get_cache_dir() const;

  // With d_timeout > 0: registers an AlarmHandler for SIGALRM (built on
  // `stream`), deletes the one it displaces and calls alarm(d_timeout); the
  // process then ends with status 1 when the alarm fires. With d_timeout <= 0
  // does nothing. Neither writes to nor flushes `stream`. A displaced handler
  // built on another FILE* closes that FILE*; one built on this same FILE*
  // hands it over to the new handler instead, so `stream` stays open.
  virtual void establish_timeout(FILE* stream) const;
  virtual void establish_timeout(std::ostream& stream) const;

  // Merge the ancillary DAS (DDS) file of the data set into `das` (`dds`);
  // nothing found leaves it unchanged. Throw the parser's Error.
  virtual void read_ancillary_das(DAS& das,
                                  const std::string& anc_location) const;
  virtual void read_ancillary_dds(DDS& dds,
                                  const std::string& anc_location) const;

  // Logs the usage text on std::cerr and throws Error(1001) with the
  // usage-error message. Never returns.
  virtual void print_usage() const;

  // Writes the version response to stdout and flushes it.
  virtual void send_version_info() const;

  // The DAS response: a 304 header alone when the request is conditional,
  // the DAS unchanged since the -l time and `with_mime_headers` true;
  // otherwise the text header (if `with_mime_headers`) and the DAS text.
  // Flushes `out` at the end, after a 304 header as well. The default form
  // writes to stdout through the FILE* form.
  virtual void send_das(DAS& das, const std::string& anc_location,
                        bool with_mime_headers) const;
  virtual void send_das(FILE* out, DAS& das, const std::string& anc_location,
                        bool with_mime_headers) const;
  virtual void send_das(std::ostream& out, DAS& das,
                        const std::string& anc_location,
                        bool with_mime_headers) const;

  // The DDS response, as send_das; with `constrained` the constraint is
  // parsed first and only what it selects is printed. Throws Error, before
  // anything is written, for a malformed constraint or one that calls a
  // server-side function.
  virtual void send_dds(DDS& dds, ConstraintEvaluator& eval, bool constrained,
                        const std::string& anc_location,
                        bool with_mime_headers) const;
  virtual void send_dds(FILE* out, DDS& dds, ConstraintEvaluator& eval,
                        bool constrained, const std::string& anc_location,
                        bool with_mime_headers) const;
  virtual void send_dds(std::ostream& out, DDS& dds, ConstraintEvaluator& eval,
                        bool constrained, const std::string& anc_location,
                        bool with_mime_headers) const;

  // The body of a function's result:
  //   "Dataset {\n" <declaration, four-blank indent> "} function_value;\n"
  //   "Data:\n" <XDR of var>
  // Flushes `out` after "Data:\n". Throws what serialize throws.
  virtual void functional_constraint(BaseType& var, DDS& dds,
                                     ConstraintEvaluator& eval,
                                     FILE* out) const;
  virtual void functional_constraint(BaseType& var, DDS& dds,
                                     ConstraintEvaluator& eval,
                                     std::ostream& out) const;

  // The ordinary data body: the constrained DDS text, "Data:\n" and the XDR
  // of every selected top-level variable. Flushes `out` after "Data:\n".
  // Throws what serialize throws.
  virtual void dataset_constraint(DDS& dds, ConstraintEvaluator& eval,
                                  FILE* out) const;
  virtual void dataset_constraint(DDS& dds, ConstraintEvaluator& eval,
                                  std::ostream& out) const;

  // The data response: a 304 header alone (unflushed, no time-out armed, no
  // constraint parsed) for unchanged data; otherwise arms the time-out,
  // parses the constraint and writes the binary header (if
  // `with_mime_headers`) and the body of a function's result or the ordinary
  // body. Flushes after the header of a function's result, after "Data:\n"
  // and at the end. Throws Error(1001, "Error calling the CE function.")
  // when the function yields nothing (nothing written), and what the
  // constraint parser or serialize throws.
  virtual void send_data(DDS& dds, ConstraintEvaluator& eval, FILE* data_stream,
                         const std::string& anc_location,
                         bool with_mime_headers) const;
  virtual void send_data(DDS& dds, ConstraintEvaluator& eval,
                         std::ostream& data_stream,
                         const std::string& anc_location,
                         bool with_mime_headers) const;

  // The DDX response, as send_dds (constraint parsed only when not empty),
  // with the DDS's last-modified time looked up in d_anc_dir; the body is
  // the XML form with the BLOB URL d_url + ".blob?" + d_ce. Never flushes.
  virtual void send_ddx(DDS& dds, ConstraintEvaluator& eval, FILE* out,
                        bool with_mime_headers) const;
  virtual void send_ddx(DDS& dds, ConstraintEvaluator& eval, std::ostream& out,
                        bool with_mime_headers) const;

  // Writes nothing, reads nothing, changes nothing.
  virtual void send_blob(DDS& dds, FILE* out, bool with_mime_headers);

  // The time limit in seconds that send_data arms.
  void set_timeout(int t);
  int get_timeout() const;

 private:
  // The response bodies, written once for both kinds of output
  // (VORNFilter_responses.cc).
  struct Responder;
};

}  // namespace libqvp

#endif  // LIBQVP_VORNFILTER_H
