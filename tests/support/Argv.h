// A mutable argc/argv built from words, for code that scans (and permutes) a
// command line.
#ifndef QVP_TEST_ARGV_H
#define QVP_TEST_ARGV_H

#include <string>
#include <vector>

namespace libqvp {
namespace test {

class Argv {
 public:
  explicit Argv(std::vector<std::string> words) : d_words(std::move(words)) {
    for (auto& w : d_words) d_ptrs.push_back(&w[0]);
    d_ptrs.push_back(nullptr);
  }
  Argv(const Argv&) = delete;
  Argv& operator=(const Argv&) = delete;

  int argc() const { return static_cast<int>(d_words.size()); }
  // Null-terminated; valid while the object lives.
  char** argv() { return d_ptrs.data(); }

 private:
  std::vector<std::string> d_words;
  std::vector<char*> d_ptrs;
};

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_ARGV_H
