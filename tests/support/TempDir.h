// A fresh temporary directory per test, removed with its contents when the
// object goes; helpers to fill it and to set file times without sleeping.
#ifndef QVP_TEST_TEMPDIR_H
#define QVP_TEST_TEMPDIR_H

#include <ctime>
#include <string>

namespace libqvp {
namespace test {

class TempDir {
 public:
  // Creates a new directory under $TMPDIR (or /tmp). Aborts the test
  // program if that fails.
  TempDir();
  // Restores the working directory if enter() changed it, then removes the
  // directory and everything below it.
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's absolute path, without a trailing '/'.
  const std::string& path() const { return d_path; }
  // path() + "/" + name.
  std::string operator/(const std::string& name) const;

  // Writes `bytes` to the file `name` (relative to path()), creating
  // directories on the way; returns its full path.
  std::string write(const std::string& name, const std::string& bytes) const;
  // Creates the directory `name` (and its parents); returns its full path.
  std::string mkdir(const std::string& name) const;
  // Sets the modification (and access) time of `name` (a full path or one
  // relative to the working directory) to `t`; aborts on failure.
  static void set_mtime(const std::string& name, time_t t);

  // Makes path() the working directory until the destructor runs.
  void enter();

 private:
  std::string d_path;
  std::string d_saved_cwd;  // empty unless enter() was called
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_TEMPDIR_H
