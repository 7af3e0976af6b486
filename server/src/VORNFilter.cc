// VORNFilter: construction from the handler's command line, the accessors,
// and the last-modified times that decide conditional requests. The
// responses are in VORNFilter_responses.cc.
#include <libqvp/Ancillary.h>
#include <libqvp/Error.h>
#include <libqvp/GetOpt.h>
#include <libqvp/VORNFilter.h>
#include <libqvp/cgi_util.h>
#include <libqvp/escaping.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <limits>

namespace libqvp {
namespace {

// The usage text logged for a bad command line: 14 lines, 757 characters.
const std::string usage =
    "Usage: <handler name> -o <response> -u <url> [options ...] [data set]\n"
    "    \n"
    "    options: -o <response>: DAS, DDS, DataDDS, DDX, BLOB or Version "
    "(Required)\n"
    "    -u <url>: The complete URL minus the CE (required for DDX)\n"
    "    -c: Compress the response using the deflate algorithm.\n"
    "    -e <expr>: When returning a DataDDS, use <expr> as the constraint.\n"
    "    -v <version>: Use <version> as the version number\n"
    "    -d <dir>: Look for ancillary file in <dir> (deprecated).\n"
    "    -f <file>: Look for ancillary data in <file> (deprecated).\n"
    "    -r <dir>: Use <dir> as a cache directory\n"
    "    -l <time>: Conditional request; if data source is unchanged since\n"
    "    <time>, return an HTTP 304 response.\n"
    "    -t <seconds>: Timeout the handler after <seconds>.\n"
    "    -h: This message.";

// The message of the Error that a bad command line throws.
const char* const emessage =
    "VORN internal server error; usage error. Please report this to the "
    "dataset maintainer, or to the qvp-support@lists.libqvp.org mailing list.";

// The options, passed to the scanner exactly as written, blanks included.
const char* const kOptions = "ce: v: d: f: r: l: o: u: t: ";

// Reads `text` as strtol does in base 10: leading blanks, a sign, digits up
// to the first non-digit; no digits gives 0. strtoll saturates at the range
// of long long, so no input is undefined.
long long read_decimal(const char* text) { return strtoll(text, nullptr, 10); }

// The -l time, clamped to the range of time_t.
time_t read_time(const char* text) {
  using Limits = std::numeric_limits<time_t>;
  const long long v = read_decimal(text);
  if (v > static_cast<long long>(Limits::max())) return Limits::max();
  if (v < static_cast<long long>(Limits::min())) return Limits::min();
  return static_cast<time_t>(v);
}

// As atoi, but a value beyond the range of int is clamped to INT_MIN or
// INT_MAX instead of being undefined.
int read_int(const char* text) {
  const long long v = read_decimal(text);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// Escapes decoded, "%20" left encoded.
std::string decode(const std::string& value) {
  return www2id(value, "%", "%20");
}

}  // namespace

VORNFilter::VORNFilter(int argc, char* argv[]) { initialize(argc, argv); }

VORNFilter::VORNFilter() { initialize(); }

VORNFilter::~VORNFilter() = default;

void VORNFilter::initialize() {
  d_comp = false;
  d_bad_options = false;
  d_conditional_request = false;
  d_dataset = "";
  d_ce = "";
  d_cgi_ver = "";
  d_anc_dir = "";
  d_anc_file = "";
  d_cache_dir = "";
  d_response = Unknown_Response;
  d_anc_das_lmt = 0;
  d_anc_dds_lmt = 0;
  d_if_modified_since = -1;
  d_url = "";
  d_program_name = "Unknown";
  d_timeout = 0;
}

void VORNFilter::initialize(int argc, char* argv[]) {
  initialize();
  // argv[0] is always there by contract; a null one leaves "Unknown".
  if (argc > 0 && argv[0]) d_program_name = argv[0];

  const int next_arg = process_options(argc, argv);
  if (next_arg < argc) {
    d_dataset = decode(argv[next_arg]);
  } else if (get_response() != Version_Response) {
    print_usage();
  }
}

int VORNFilter::process_options(int argc, char* argv[]) {
  GetOpt getopt(argc, argv, kOptions);
  int option_char;
  while ((option_char = getopt()) != -1) {
    switch (option_char) {
      case 'c':
        d_comp = true;
        break;
      case 'd':
        d_anc_dir = getopt.optarg;
        break;
      case 'e':
        set_ce(getopt.optarg);
        break;
      case 'f':
        d_anc_file = getopt.optarg;
        break;
      case 'h':
        print_usage();
        exit(1);
      case 'l':
        d_conditional_request = true;
        d_if_modified_since = read_time(getopt.optarg);
        break;
      case 'o':
        set_response(getopt.optarg);
        break;
      case 'r':
        d_cache_dir = getopt.optarg;
        break;
      case 't':
        d_timeout = read_int(getopt.optarg);
        break;
      case 'u':
        set_URL(getopt.optarg);
        break;
      case 'v':
        set_cgi_version(getopt.optarg);
        break;
      default:
        print_usage();
        break;
    }
  }
  return getopt.optind;
}

bool VORNFilter::is_conditional() const { return d_conditional_request; }

std::string VORNFilter::get_cgi_version() const { return d_cgi_ver; }

void VORNFilter::set_cgi_version(std::string version) { d_cgi_ver = version; }

std::string VORNFilter::get_ce() const { return d_ce; }

void VORNFilter::set_ce(std::string _ce) { d_ce = decode(_ce); }

std::string VORNFilter::get_dataset_name() const { return d_dataset; }

void VORNFilter::set_dataset_name(std::string ds) { d_dataset = decode(ds); }

std::string VORNFilter::get_URL() const { return d_url; }

void VORNFilter::set_URL(const std::string& url) {
  // The constraint travels with -e; a query here means a confused caller.
  if (url.find('?') != std::string::npos) print_usage();
  d_url = url;
}

std::string VORNFilter::get_dataset_version() const { return ""; }

VORNFilter::Response VORNFilter::get_response() const { return d_response; }

std::string VORNFilter::get_action() const { return d_action; }

void VORNFilter::set_response(const std::string& r) {
  static const struct {
    const char* keyword;
    Response response;
    const char* action;
  } kKeywords[] = {
      {"DAS", DAS_Response, "das"},
      {"das", DAS_Response, "das"},
      {"DDS", DDS_Response, "dds"},
      {"dds", DDS_Response, "dds"},
      {"DataDDS", DataDDS_Response, "vorn"},
      {"vorn", DataDDS_Response, "vorn"},
      {"DDX", DDX_Response, "ddx"},
      {"ddx", DDX_Response, "ddx"},
      {"Version", Version_Response, "version"},
  };
  for (const auto& k : kKeywords) {
    if (r == k.keyword) {
      d_response = k.response;
      d_action = k.action;
      return;
    }
  }
  print_usage();
}

std::string VORNFilter::get_cache_dir() const { return d_cache_dir; }

void VORNFilter::print_usage() const {
  ErrMsgT(std::string(usage));
  throw Error(usage_error, emessage);
}

void VORNFilter::set_timeout(int t) { d_timeout = t; }

int VORNFilter::get_timeout() const { return d_timeout; }

// Last-modified times and ancillary files.

namespace {

// The call's ancillary directory: its own when given, else the filter's.
const std::string& anc_dir_for(const std::string& anc_location,
                               const std::string& own) {
  return anc_location == "" ? own : anc_location;
}

// The latest modification time of the ancillary files of `dataset` with the
// extensions `exts`; 0 when there is none. Only a file the loaders would read
// counts.
time_t ancillary_time(const std::string& dataset,
                      std::initializer_list<const char*> exts,
                      const std::string& dir, const std::string& file) {
  time_t newest = 0;
  for (const char* ext : exts) {
    const std::string name =
        Ancillary::find_served_ancillary_file(dataset, ext, dir, file);
    if (!name.empty()) newest = std::max(newest, last_modified_time(name));
  }
  return newest;
}

}  // namespace

time_t VORNFilter::get_request_if_modified_since() const {
  return d_if_modified_since;
}

time_t VORNFilter::get_dataset_last_modified_time() const {
  return last_modified_time(d_dataset);
}

time_t VORNFilter::get_das_last_modified_time(
    const std::string& anc_location) const {
  const time_t anc = ancillary_time(
      d_dataset, {"das"}, anc_dir_for(anc_location, d_anc_dir), d_anc_file);
  return std::max(anc, get_dataset_last_modified_time());
}

time_t VORNFilter::get_dds_last_modified_time(
    const std::string& anc_location) const {
  const time_t anc = ancillary_time(
      d_dataset, {"dds"}, anc_dir_for(anc_location, d_anc_dir), d_anc_file);
  return std::max(anc, get_dataset_last_modified_time());
}

time_t VORNFilter::get_data_last_modified_time(
    const std::string& anc_location) const {
  const time_t anc =
      ancillary_time(d_dataset, {"das", "dds"},
                     anc_dir_for(anc_location, d_anc_dir), d_anc_file);
  return std::max(anc, get_dataset_last_modified_time());
}

void VORNFilter::read_ancillary_das(DAS& das,
                                    const std::string& anc_location) const {
  Ancillary::read_ancillary_das(
      das, d_dataset, anc_dir_for(anc_location, d_anc_dir), d_anc_file);
}

void VORNFilter::read_ancillary_dds(DDS& dds,
                                    const std::string& anc_location) const {
  Ancillary::read_ancillary_dds(
      dds, d_dataset, anc_dir_for(anc_location, d_anc_dir), d_anc_file);
}

}  // namespace libqvp
