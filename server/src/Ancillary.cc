// The naming convention of ancillary files and the loading of ancillary DAS
// and DDS text. find_ancillary_file tests candidates for existence only
// (access F_OK), so a directory or an unreadable file of a candidate's name
// ends its search; what the library reads itself it finds with
// find_served_ancillary_file, which passes over anything but a regular file
// inside the data root or, for the names formed from the ancillary directory,
// inside that directory.
#include <libqvp/Ancillary.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/DataRoot.h>
#include <libqvp/Pool.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <vector>

#include "InputFile.h"

namespace libqvp {
namespace {

bool exists(const std::string& name) {
  return !name.empty() && access(name.c_str(), F_OK) == 0;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A candidate name, and whether it was formed from the ancillary directory.
struct Candidate {
  std::string name;
  bool in_dir;
};

// directory: up to and including the last '/'; basename: the rest, cut at
// the last '.' of the path when that stands after the last '/'.
std::array<Candidate, 7> candidates(const std::string& pathname,
                                    const std::string& ext,
                                    const std::string& dir,
                                    const std::string& file) {
  const std::string::size_type slash = pathname.rfind('/');
  const std::string::size_type start =
      slash == std::string::npos ? 0 : slash + 1;
  const std::string directory = pathname.substr(0, start);
  const std::string::size_type dot = pathname.rfind('.');
  const std::string basename = dot != std::string::npos && dot >= start
                                   ? pathname.substr(start, dot - start)
                                   : pathname.substr(start);

  return {{{directory + basename + "." + ext, false},
           {pathname + "." + ext, false},
           {directory + ext, false},
           {dir + basename + "." + ext, true},
           {directory + file + "." + ext, false},
           {dir + file + "." + ext, true},
           {dir + ext, true}}};
}

// The first served candidate, and the real path of the place it lies in (the
// data root, or the ancillary directory); both "" when none is served. An
// empty `dir` names no place: its candidates are relative names that count
// only inside the root.
struct Served {
  std::string name;
  std::string place;
};

Served search_served(const std::string& pathname, const std::string& ext,
                     const std::string& dir, const std::string& file) {
  const std::string root = DataRoot::of(pathname);
  const std::string chosen = dir.empty() ? "" : DataRoot::real_path(dir);
  for (const Candidate& c : candidates(pathname, ext, dir, file)) {
    if (DataRoot::holds(root, c.name)) return {c.name, root};
    if (c.in_dir && DataRoot::holds(chosen, c.name)) return {c.name, chosen};
  }
  return {};
}

// The served ancillary files found during the request in progress of a pool
// worker: a response asks for the same one up to three times (for its date,
// its body and the worker's cache key), each time a search of up to seven
// names. Kept only while Pool::request_number() stays the same, so the next
// request searches again and sees any file added or removed meanwhile; its
// answers within one request agree. Outside a pool worker nothing is kept:
// the library cannot tell where one request of another process ends.
struct FoundThisRequest {
  struct Entry {
    std::string pathname, ext, dir, file;
    Served served;
  };
  uint64_t request = 0;
  std::vector<Entry> entries;
};

Served find_served(const std::string& pathname, const std::string& ext,
                   const std::string& dir, const std::string& file) {
  const uint64_t request = Pool::request_number();
  if (request == 0) return search_served(pathname, ext, dir, file);
  static FoundThisRequest found;
  if (found.request != request) {
    found.request = request;
    found.entries.clear();
  }
  for (const FoundThisRequest::Entry& e : found.entries)
    if (e.pathname == pathname && e.ext == ext && e.dir == dir &&
        e.file == file)
      return e.served;
  Served served = search_served(pathname, ext, dir, file);
  found.entries.push_back({pathname, ext, dir, file, served});
  return served;
}

// The served ancillary file of `pathname` with extension `ext`, open; null
// when none is found or it cannot be opened.
InputFile open_ancillary(const std::string& pathname, const std::string& ext,
                         const std::string& dir, const std::string& file) {
  const Served served = find_served(pathname, ext, dir, file);
  return open_contained_file(served.name, served.place);
}

}  // namespace

std::string Ancillary::find_ancillary_file(const std::string& pathname,
                                           const std::string& ext,
                                           const std::string& dir,
                                           const std::string& file) {
  for (const Candidate& c : candidates(pathname, ext, dir, file))
    if (exists(c.name)) return c.name;
  return "";
}

std::string Ancillary::find_served_ancillary_file(const std::string& pathname,
                                                  const std::string& ext,
                                                  const std::string& dir,
                                                  const std::string& file) {
  return find_served(pathname, ext, dir, file).name;
}

// The group of "/data/07sst2001.nc" is tried as "/data/sst2001" + ext (the
// leading digits removed), then "/data/07sst" + ext (the trailing digits).
// A name without '/' is taken to lie in the working directory: its
// candidates are the plain relative names ("sst2001.nc" gives "sst" + ext).
std::string Ancillary::find_group_ancillary_file(const std::string& name,
                                                 const std::string& ext) {
  const std::string::size_type slash = name.rfind('/');
  const std::string prefix =
      slash == std::string::npos ? "" : name.substr(0, slash) + "/";
  const std::string filename =
      slash == std::string::npos ? name : name.substr(slash + 1);
  const std::string rootname = filename.substr(0, filename.rfind('.'));
  if (rootname.empty()) return "";

  if (is_digit(rootname.front())) {
    std::string::size_type i = 0;
    while (i < rootname.size() && is_digit(rootname[i])) ++i;
    const std::string candidate = prefix + rootname.substr(i) + ext;
    if (exists(candidate)) return candidate;
  }
  if (is_digit(rootname.back())) {
    std::string::size_type end = rootname.size();
    while (end > 0 && is_digit(rootname[end - 1])) --end;
    const std::string candidate = prefix + rootname.substr(0, end) + ext;
    if (exists(candidate)) return candidate;
  }
  return "";
}

void Ancillary::read_ancillary_das(DAS& das, const std::string& pathname,
                                   const std::string& dir,
                                   const std::string& file) {
  if (InputFile in = open_ancillary(pathname, "das", dir, file))
    das.parse(in.get());
}

void Ancillary::read_ancillary_dds(DDS& dds, const std::string& pathname,
                                   const std::string& dir,
                                   const std::string& file) {
  if (InputFile in = open_ancillary(pathname, "dds", dir, file))
    dds.parse(in.get());
}

}  // namespace libqvp
