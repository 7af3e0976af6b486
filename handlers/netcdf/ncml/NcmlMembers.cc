#include "NcmlMembers.h"

#include <dirent.h>
#include <libqvp/DataRoot.h>
#include <libqvp/Error.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <regex>
#include <set>
#include <utility>

#include "CfTime.h"

namespace libqvp {
namespace {

bool inside(const std::string& root, const std::string& path) {
  return !root.empty() &&
         (path == root || (path.size() > root.size() &&
                           path.compare(0, root.size(), root) == 0 &&
                           (root == "/" || path[root.size()] == '/')));
}

struct ScanWalk {
  const NcmlScan& scan;
  const std::string& root;
  const std::string& where;
  std::unique_ptr<std::regex> pattern;
  double newest = 0;  // files modified after this are still being written
  std::set<std::pair<uint64_t, uint64_t>> seen_dirs;
  std::vector<ScannedDirectory>& dirs;
  std::vector<ResolvedMember>& found;
  size_t limit;

  bool wanted(const std::string& path, const std::string& file_name) const {
    if (!scan.suffix.empty() &&
        (file_name.size() < scan.suffix.size() ||
         file_name.compare(file_name.size() - scan.suffix.size(),
                           std::string::npos, scan.suffix) != 0))
      return false;
    return !pattern || std::regex_match(path, *pattern);
  }

  void walk(const std::string& dir, const std::string& relative, int depth);
  void add(const std::string& path, const std::string& relative,
           const std::string& file_name, const struct stat& st);
};

void ScanWalk::add(const std::string& path, const std::string& relative,
                   const std::string& file_name, const struct stat& st) {
  if (!wanted(path, file_name)) return;
  if (scan.older_than_seconds > 0 &&
      static_cast<double>(st.st_mtim.tv_sec) > newest)
    return;
  const std::string real = DataRoot::real_path(path);
  if (!inside(root, real) || !DataRoot::holds(root, real)) return;
  if (found.size() >= limit)
    throw Error(internal_error, where + "the aggregation has more than " +
                                    std::to_string(kMaxMembers) + " members");
  ResolvedMember m;
  m.path = real;
  m.display = relative;
  m.identity = FileIdentity::of(st);
  if (!scan.date_format_mark.empty()) {
    double t = 0;
    if (!date_from_name(scan.date_format_mark, file_name, t))
      throw Error(internal_error, where + "\"" + relative +
                                      "\" has no date as dateFormatMark=\"" +
                                      scan.date_format_mark + "\" describes");
    m.date = t;
  }
  found.push_back(std::move(m));
}

void ScanWalk::walk(const std::string& dir, const std::string& relative,
                    int depth) {
  struct stat dst {};
  if (stat(dir.c_str(), &dst) != 0 ||
      !seen_dirs.insert({dst.st_dev, dst.st_ino}).second || depth > 32)
    return;
  dirs.push_back({dir, FileIdentity::of(dst)});
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d)
    throw Error(internal_error,
                where + "cannot read the directory \"" + relative + "\"");
  std::vector<std::string> names;
  while (const dirent* e = readdir(d.get())) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = dir + "/" + name;
    const std::string rel = relative.empty() ? name : relative + "/" + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      const std::string real = DataRoot::real_path(path);
      if (scan.subdirs && inside(root, real)) walk(real, rel, depth + 1);
    } else if (S_ISREG(st.st_mode)) {
      add(path, rel, name, st);
    }
  }
}

void scan_members(const NcmlScan& scan, const NcmlDocument& doc,
                  const std::string& doc_dir, const std::string& root,
                  std::vector<ScannedDirectory>& dirs,
                  std::vector<ResolvedMember>& out) {
  const std::string where = doc.where(scan.place);
  const std::string dir =
      resolve_location(scan.location, doc_dir, root, true, where);
  ScanWalk w{scan, root, where, nullptr, 0, {}, dirs, out, kMaxMembers};
  if (!scan.reg_exp.empty()) {
    try {
      w.pattern = std::make_unique<std::regex>(scan.reg_exp);
    } catch (const std::regex_error& e) {
      throw Error(internal_error, where + "regExp=\"" + scan.reg_exp +
                                      "\" is not a regular expression");
    }
  }
  w.newest = static_cast<double>(std::time(nullptr)) - scan.older_than_seconds;
  const size_t first = out.size();
  std::string prefix = scan.location;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  w.walk(dir, "", 0);
  for (size_t i = first; i < out.size(); ++i)
    out[i].display = prefix + "/" + out[i].display;
  if (out.size() == first)
    throw Error(internal_error,
                where + "the scan of \"" + scan.location + "\" finds no files");
  const auto by_date = [](const ResolvedMember& a, const ResolvedMember& b) {
    return a.date != b.date ? *a.date < *b.date : a.display < b.display;
  };
  if (!scan.date_format_mark.empty())
    std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(first),
                     out.end(), by_date);
}

}  // namespace

std::string resolve_location(const std::string& location,
                             const std::string& doc_dir,
                             const std::string& root, bool directory,
                             const std::string& where) {
  const std::string quoted = "\"" + location + "\"";
  if (location.find("://") != std::string::npos ||
      location.compare(0, 5, "file:") == 0)
    throw Error(internal_error, where + quoted +
                                    " is a URL; members are "
                                    "files inside the data root");
  if (location.empty() || location[0] == '/')
    throw Error(internal_error, where + quoted +
                                    " is an absolute path; give it relative "
                                    "to the document's directory");
  const std::string real = DataRoot::real_path(doc_dir + "/" + location);
  if (real.empty())
    throw Error(internal_error, where + quoted + " does not exist");
  if (!inside(root, real))
    throw Error(internal_error, where + quoted + " lies outside the data root");
  struct stat st {};
  const bool ok = stat(real.c_str(), &st) == 0 &&
                  (directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
  if (!ok)
    throw Error(internal_error,
                where + quoted +
                    (directory ? " is not a directory" : " is not a file"));
  return real;
}

bool date_from_name(const std::string& mark, const std::string& file_name,
                    double& seconds) {
  const size_t hash = mark.find('#');
  const std::string prefix = mark.substr(0, hash);
  const std::string pattern = mark.substr(hash + 1);
  const size_t at = file_name.find(prefix);
  if (at == std::string::npos) return false;
  const char* p = file_name.c_str() + at + prefix.size();
  long y = 1970, mo = 1, d = 1, h = 0, mi = 0, s = 0, doy = 0;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    i += run;
    long* field = c == 'y'   ? &y
                  : c == 'M' ? &mo
                  : c == 'd' ? &d
                  : c == 'H' ? &h
                  : c == 'm' ? &mi
                  : c == 's' ? &s
                  : c == 'D' ? &doy
                             : nullptr;
    if (field == nullptr) {  // a literal: matched as it stands
      for (size_t k = 0; k < run; ++k)
        if (*p++ != c) return false;
      continue;
    }
    long v = 0;
    for (size_t k = 0; k < run; ++k) {
      if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
      v = v * 10 + (*p++ - '0');
    }
    *field = v;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
    return false;
  int64_t days =
      days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  if (doy > 0) days = days_from_civil(y, 1, 1) + doy - 1;
  seconds = static_cast<double>(days) * 86400 + static_cast<double>(h) * 3600 +
            static_cast<double>(mi) * 60 + static_cast<double>(s);
  return true;
}

std::vector<ResolvedMember> resolve_members(
    const NcmlAggregation& agg, const NcmlDocument& doc,
    const std::string& doc_dir, const std::string& root,
    std::vector<ScannedDirectory>& dirs) {
  std::vector<ResolvedMember> out;
  if (agg.members.size() > kMaxMembers)
    throw Error(internal_error, doc.where(agg.place) +
                                    "the aggregation has more than " +
                                    std::to_string(kMaxMembers) + " members");
  for (const NcmlMember& m : agg.members) {
    ResolvedMember r;
    r.path =
        resolve_location(m.location, doc_dir, root, false, doc.where(m.place));
    r.display = m.location;
    r.listed = true;
    r.element = &m;
    if (!FileIdentity::of(r.path, r.identity))
      throw Error(internal_error,
                  doc.where(m.place) + "\"" + m.location + "\" cannot be read");
    out.push_back(std::move(r));
  }
  for (const NcmlScan& s : agg.scans)
    scan_members(s, doc, doc_dir, root, dirs, out);
  if (out.size() > kMaxMembers)
    throw Error(internal_error, doc.where(agg.place) +
                                    "the aggregation has more than " +
                                    std::to_string(kMaxMembers) + " members");
  return out;
}

}  // namespace libqvp
