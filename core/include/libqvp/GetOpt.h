// A silent POSIX-style option scanner for handler command lines.
#ifndef LIBQVP_GETOPT_H
#define LIBQVP_GETOPT_H

namespace libqvp {

// Scans argv[1..argc) for options named in `optstring` (a letter followed by
// ':' takes an argument, attached or in the next word; blanks in the string
// are ignored). Prints nothing. Non-option words are moved after the options
// (argv is permuted), so options after the data set argument still apply and,
// once operator() has returned -1, `optind` indexes the first non-option word
// (argc when there is none). "--" ends the options.
// Requires: argv and optstring outlive the scanner.
class GetOpt {
 public:
  GetOpt(int argc, char* argv[], const char* optstring);

  // The next option letter; '?' for an unknown option or a missing argument
  // (`optopt` then holds the letter); -1 when the options are exhausted.
  int operator()();

  char* optarg = nullptr;  // the current option's argument, or null
  int optind = 1;          // see the class comment
  int optopt = 0;          // the letter of the last '?' report

 private:
  bool takes_argument(char letter, bool& known) const;
  void permute_to_end(int index);

  int d_argc;
  char** d_argv;
  const char* d_optstring;
  int d_scan = 1;      // next word to look at
  int d_nonopts = 0;   // non-option words moved to the end so far
  const char* d_next = nullptr;  // rest of a group of letters ("-abc")
};

}  // namespace libqvp

#endif  // LIBQVP_GETOPT_H
