#include "NcmlBuilder.h"

#include <libqvp/Error.h>

#include "MemberHeader.h"
#include "NcFile.h"
#include "NcmlDataSet.h"
#include "NcmlDocument.h"
#include "NcmlEdits.h"
#include "NcmlJoin.h"
#include "NcmlMembers.h"
#include "XmlReader.h"

namespace libqvp {
namespace {

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The one member of a document that edits a data set.
void start_from_location(const NcmlDocument& doc, const std::string& dir,
                         const std::string& root, NcmlBuild& build) {
  const std::string path = resolve_location(doc.location, dir, root, false,
                                            "\"" + doc.name + "\": ");
  VirtualMember m;
  m.path = path;
  m.display = doc.location;
  m.listed = true;
  m.opened = true;
  FileIdentity::of(path, m.identity);
  NcFile file(path, 0, NcFile::Reuse::fresh);
  std::vector<std::string> omitted;
  read_member_header(file.id(), 0, m.display, build.data, omitted);
  build.data.members.push_back(std::move(m));
}

}  // namespace

void build_ncml(const std::string& path, const std::string& root,
                NcmlBuild& build) {
  const std::string name = base_name(path);
  Dependency self{path, {}};
  FileIdentity::of(path, self.identity);
  build.depends.push_back(self);
  const NcmlDocument doc = interpret_ncml(read_xml_file(path, name), name);
  const std::string dir = directory_of(path);
  if (doc.aggregation) {
    std::vector<ScannedDirectory> dirs;
    std::vector<ResolvedMember> members;
    try {
      members = resolve_members(*doc.aggregation, doc, dir, root, dirs);
    } catch (...) {
      for (const ScannedDirectory& d : dirs)
        build.depends.push_back({d.path, d.identity});
      throw;
    }
    for (const ScannedDirectory& d : dirs)
      build.depends.push_back({d.path, d.identity});
    for (const ResolvedMember& m : members)
      if (m.listed) build.depends.push_back({m.path, m.identity});
    try {
      join_members(doc, *doc.aggregation, members, build.data);
      // A nested document's own members and scans count as this one's.
      for (const ResolvedMember& m : members)
        if (NcmlDataSet::names_document(m.path))
          for (const Dependency& d : NcmlDataSet::open(m.path)->depends())
            build.depends.push_back(d);
    } catch (const Error&) {
      // A refused join stays refused until one of its members changes.
      for (const ResolvedMember& m : members)
        if (!m.listed) build.depends.push_back({m.path, m.identity});
      throw;
    }
  } else if (!doc.location.empty()) {
    start_from_location(doc, dir, root, build);
    build.depends.push_back(
        {build.data.members[0].path, build.data.members[0].identity});
  }
  apply_edits(doc, build.data);
}

}  // namespace libqvp
