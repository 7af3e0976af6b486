// The option scanner. Non-option words are rotated to the end of argv as
// they are met, so the unscanned words always lie in [d_scan, limit()) and
// the non-options seen so far in [limit(), argc), in their original order.
#include <libqvp/GetOpt.h>

namespace libqvp {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_nonoption(const char* word) {
  return word == nullptr || word[0] != '-' || word[1] == '\0';
}

bool is_end_marker(const char* word) {
  return word[0] == '-' && word[1] == '-' && word[2] == '\0';
}

}  // namespace

GetOpt::GetOpt(int argc, char* argv[], const char* optstring)
    : d_argc(argc), d_argv(argv), d_optstring(optstring ? optstring : "") {}

int GetOpt::operator()() {
  if (d_done) return -1;
  optarg = nullptr;
  if (d_next != nullptr && *d_next != '\0') return scan_letter();
  d_next = nullptr;
  while (d_scan < limit()) {
    const char* word = d_argv[d_scan];
    if (is_nonoption(word)) {
      permute_to_end(d_scan);
      continue;
    }
    if (is_end_marker(word)) {
      // The words after "--" follow the non-options already moved.
      const int rest = limit() - (d_scan + 1);
      for (int i = 0; i < rest; ++i) permute_to_end(d_scan + 1);
      return finish(d_scan + 1);
    }
    d_next = word + 1;
    optind = ++d_scan;
    return scan_letter();
  }
  return finish(limit());
}

// Handles the letter at d_next, taking its argument when it needs one.
int GetOpt::scan_letter() {
  const char letter = *d_next++;
  bool known = false;
  const bool needs_argument = takes_argument(letter, known);
  if (!known) {
    optopt = static_cast<unsigned char>(letter);
    return '?';
  }
  if (!needs_argument) return static_cast<unsigned char>(letter);
  if (*d_next != '\0') {  // attached: "-ofoo"
    optarg = const_cast<char*>(d_next);
    d_next = nullptr;
    return static_cast<unsigned char>(letter);
  }
  d_next = nullptr;
  if (d_scan < limit()) {  // in the next word, whatever it looks like
    optarg = d_argv[d_scan];
    optind = ++d_scan;
    return static_cast<unsigned char>(letter);
  }
  optopt = static_cast<unsigned char>(letter);
  return '?';
}

int GetOpt::finish(int first_nonopt) {
  d_done = true;
  d_next = nullptr;
  optind = first_nonopt;
  return -1;
}

bool GetOpt::takes_argument(char letter, bool& known) const {
  known = false;
  if (letter == ':' || is_blank(letter)) return false;
  for (const char* p = d_optstring; *p != '\0'; ++p) {
    if (*p != letter) continue;
    known = true;
    const char* q = p + 1;
    while (is_blank(*q)) ++q;
    return *q == ':';
  }
  return false;
}

void GetOpt::permute_to_end(int index) {
  char* word = d_argv[index];
  for (int i = index; i + 1 < d_argc; ++i) d_argv[i] = d_argv[i + 1];
  d_argv[d_argc - 1] = word;
  ++d_nonopts;
}

}  // namespace libqvp
