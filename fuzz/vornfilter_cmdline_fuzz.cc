// Fuzzes the request filter's command line: the input is split at newlines
// into argv words (at most kMaxWords words of at most kMaxWordLength bytes)
// after the program name. Construction either succeeds or throws
// libqvp::Error; anything else escapes and is reported as a crash.
#include <libqvp/Error.h>
#include <libqvp/VORNFilter.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxWords = 64;
constexpr size_t kMaxWordLength = 256;

// Swallows the usage text that every rejected command line logs.
class NullBuf : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuf null_buf;
  static std::streambuf* const unused = std::cerr.rdbuf(&null_buf);
  (void)unused;

  std::vector<std::string> words = {"fuzz"};
  std::string word;
  for (size_t i = 0; i < size && words.size() <= kMaxWords; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n') {
      words.push_back(word);
      word.clear();
    } else if (word.size() < kMaxWordLength && c != '\0') {
      word += c;
    }
  }
  if (words.size() <= kMaxWords) words.push_back(word);

  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  try {
    libqvp::VORNFilter f(static_cast<int>(words.size()), argv.data());
    const int response = f.get_response();
    if (response < libqvp::VORNFilter::Unknown_Response ||
        response > libqvp::VORNFilter::Version_Response ||
        response == libqvp::VORNFilter::BLOB_Response)
      std::abort();
    if (response != libqvp::VORNFilter::Unknown_Response &&
        f.get_action().empty())
      std::abort();
    if (f.get_URL().find('?') != std::string::npos) std::abort();
  } catch (const libqvp::Error& e) {
    if (e.get_error_code() != 1001) std::abort();
  }
  return 0;
}
