// Fuzzes the ancillary loaders: the input becomes the text of an ancillary
// DAS and DDS file under one of the candidate names of a data set, with a
// link out of the data root planted at an earlier candidate when the first
// byte asks for it. The loaders either merge the text or throw
// libqvp::Error, and nothing of the file outside the root ever reaches the
// objects.
#include <libqvp/Ancillary.h>
#include <libqvp/DAS.h>
#include <libqvp/DDS.h>
#include <libqvp/Error.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

struct Tree {
  std::string base, root, data_set, anc_dir;
  std::string outside_das, outside_dds;
};

void write_file(const std::string& name, const std::string& bytes) {
  FILE* f = fopen(name.c_str(), "wb");
  if (f == nullptr) abort();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

const Tree& tree() {
  static const Tree t = [] {
    char base_template[] = "/tmp/qvp-anc-fuzz.XXXXXX";
    const char* base = mkdtemp(base_template);
    if (base == nullptr) abort();
    Tree made;
    made.base = base;
    made.root = std::string(base) + "/root";
    if (mkdir(made.root.c_str(), 0700) != 0 ||
        mkdir((made.root + "/data").c_str(), 0700) != 0 ||
        mkdir((made.root + "/anc").c_str(), 0700) != 0)
      abort();
    made.data_set = made.root + "/data/sst.nc";
    made.anc_dir = made.root + "/anc/";
    made.outside_das = std::string(base) + "/outside.das";
    made.outside_dds = std::string(base) + "/outside.dds";
    write_file(made.outside_das,
               "Attributes { leaked_outside { String s \"x\"; } }");
    write_file(made.outside_dds, "Dataset { Int32 leaked_outside; } x;");
    setenv("QVP_DATA_ROOT", made.root.c_str(), 1);
    // Kept apart from the Tree, which is destroyed before atexit handlers
    // registered during its construction run.
    static char removed_at_exit[4096];
    snprintf(removed_at_exit, sizeof removed_at_exit, "%s", base);
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removed_at_exit, ignored);
    });
    return made;
  }();
  return t;
}

// The candidate names for `ext` in search order (see find_ancillary_file).
std::string candidate(const Tree& t, int i, const std::string& ext) {
  const std::string d = t.root + "/data/";
  const std::string names[] = {d + "sst." + ext,  d + "sst.nc." + ext,
                               d + ext,           t.anc_dir + "sst." + ext,
                               d + "clim." + ext, t.anc_dir + "clim." + ext,
                               t.anc_dir + ext};
  return names[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Tree& t = tree();
  const int where = 1 + data[0] % 6;  // the text's candidate, after the first
  const bool decoy = (data[0] & 0x80) != 0;  // a link out at an earlier one
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (const char* ext : {"das", "dds"}) {
    write_file(candidate(t, where, ext), text);
    if (decoy)
      symlink(
          (std::string(ext) == "das" ? t.outside_das : t.outside_dds).c_str(),
          candidate(t, where - 1, ext).c_str());
  }
  std::ostringstream printed;
  libqvp::DAS das;
  libqvp::DDS dds("sst.nc");
  try {
    libqvp::Ancillary::read_ancillary_das(das, t.data_set, t.anc_dir, "clim");
  } catch (const libqvp::Error&) {
  }
  try {
    libqvp::Ancillary::read_ancillary_dds(dds, t.data_set, t.anc_dir, "clim");
  } catch (const libqvp::Error&) {
  }
  das.print(printed);
  dds.print(printed);
  for (const char* ext : {"das", "dds"}) {
    unlink(candidate(t, where, ext).c_str());
    unlink(candidate(t, where - 1, ext).c_str());
  }
  if (printed.str().find("leaked_outside") != std::string::npos) abort();
  return 0;
}
