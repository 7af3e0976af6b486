// Reading and listing a directory. Names are sorted as bytes; only the
// entries of the page shown are stat'ed for their size and time, so a
// directory of many entries costs one pass over its names.
#include "Catalogue.h"

#include <dirent.h>
#include <fcntl.h>
#include <libqvp/Error.h>
#include <libqvp/FileDescriptor.h>
#include <libqvp/escaping.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "RequestText.h"
#include "RootPath.h"
#include "web_text.h"

namespace libqvp {
namespace {

std::string date_text(time_t t) {
  struct tm tm {};
  char buf[64];
  if (gmtime_r(&t, &tm) == nullptr ||
      strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm) == 0)
    return "";
  return buf;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

Catalogue::Catalogue(std::string root, std::string dir,
                     std::vector<std::string> extensions)
    : d_root(real_path(root.empty() ? dir : root)),
      d_dir(real_path(dir)),
      d_extensions(std::move(extensions)) {
  if (d_root.empty() || d_dir.empty() || !inside_root(d_dir))
    throw Error(no_such_variable, "No such directory");
  std::unique_ptr<DIR, DirCloser> d(opendir(d_dir.c_str()));
  if (!d) throw Error(no_such_variable, "This directory cannot be read");
  while (const dirent* e = readdir(d.get())) {
    const std::string name = e->d_name;
    // Names that the mapping refuses (a control byte) are not listed.
    if (name.empty() || name[0] == '.' || has_control_byte(name)) continue;
    if (d_entries.size() == kMaxEntries) {
      d_truncated = true;
      break;
    }
    bool is_dir = e->d_type == DT_DIR;
    bool listed = is_dir || (e->d_type == DT_REG && is_servable(name));
    if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      struct stat st {};
      listed =
          fstatat(dirfd(d.get()), e->d_name, &st, 0) == 0 &&
          (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && is_servable(name))) &&
          inside_root(d_dir + "/" + name);
      is_dir = listed && S_ISDIR(st.st_mode);
    }
    if (listed) d_entries.push_back({name, is_dir});
  }
  std::sort(d_entries.begin(), d_entries.end(),
            [](const Entry& a, const Entry& b) {
              return a.is_dir != b.is_dir ? a.is_dir : a.name < b.name;
            });
}

bool Catalogue::is_servable(const std::string& name) const {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  const std::string ext = name.substr(dot + 1);
  return std::find(d_extensions.begin(), d_extensions.end(), ext) !=
         d_extensions.end();
}

bool Catalogue::inside_root(const std::string& path) const {
  return is_inside(d_root, real_path(path));
}

void Catalogue::write_entry(std::ostream& out, int dirfd,
                            const Entry& e) const {
  struct stat st {};
  if (fstatat(dirfd, e.name.c_str(), &st, 0) != 0) return;  // gone since
  const std::string shown = html_escape(e.name);
  const std::string href = html_escape(id2www(e.name));
  out << "<tr><td>";
  if (e.is_dir) {
    out << "<a href=\"./" << href << "/\">" << shown << "/</a></td><td></td>";
  } else {
    out << "<a href=\"./" << href << ".html\">" << shown << "</a></td>"
        << "<td class=\"num\">" << st.st_size << "</td>";
  }
  out << "<td>" << date_text(st.st_mtime) << "</td><td class=\"links\">";
  if (!e.is_dir) {
    for (const char* s : {"das", "dds", "ddx"})
      out << "<a href=\"./" << href << '.' << s << "\">" << s << "</a>";
  }
  out << "</td></tr>\n";
}

void Catalogue::write(std::ostream& out, size_t page) const {
  const std::string rel = d_dir.size() > d_root.size()
                              ? d_dir.substr(d_root.size()) + "/"
                              : std::string("/");
  out << page_start("Data sets in " + rel) << "<h1>Data sets in "
      << html_escape(rel) << "</h1>\n";
  if (rel != "/") out << "<p><a href=\"../\">Parent directory</a></p>\n";
  if (d_entries.empty()) out << "<p class=\"note\">No data sets here.</p>\n";
  const size_t pages =
      std::max<size_t>((d_entries.size() + kPageSize - 1) / kPageSize, 1);
  page = std::min(std::max<size_t>(page, 1), pages);
  const size_t first = (page - 1) * kPageSize;
  const size_t last = std::min(d_entries.size(), first + kPageSize);
  if (first < last) {
    const FileDescriptor fd(
        open(d_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    out << "<table>\n<thead><tr><th>Name</th><th>Size (bytes)</th>"
           "<th>Last modified</th><th>Responses</th></tr></thead>\n<tbody>\n";
    for (size_t i = first; i < last; ++i)
      write_entry(out, fd.get(), d_entries[i]);
    out << "</tbody>\n</table>\n";
  }
  if (pages > 1) {
    out << "<p class=\"note\">Entries " << first + 1 << " to " << last << " of "
        << d_entries.size() << ". ";
    if (page > 1)
      out << "<a href=\"?page=" << page - 1 << "\">Previous page</a> ";
    if (page < pages)
      out << "<a href=\"?page=" << page + 1 << "\">Next page</a>";
    out << "</p>\n";
  }
  if (d_truncated)
    out << "<p class=\"note\">This directory holds more entries than a "
           "catalogue reads; only the first "
        << kMaxEntries << " were read.</p>\n";
  out << page_end();
}

}  // namespace libqvp
