// A silent POSIX-style option scanner for handler command lines.
#ifndef LIBQVP_GETOPT_H
#define LIBQVP_GETOPT_H

namespace libqvp {

// Scans argv[1..argc) for options named in `optstring` (a letter followed by
// ':' takes an argument, attached as in "-ofoo" or in the next word; blanks in
// the string are ignored, so "ce: v: " works). Letters may be grouped ("-cv3"
// is -c, then -v with "3"). Prints nothing. A word that does not begin with
// '-', or is "-" alone, is a non-option: non-option words are moved after the
// options (argv is permuted, keeping their order), so options after the data
// set argument still apply. "--" ends the options; it stays in argv just
// before the non-options. Once operator() has returned -1, `optind` indexes
// the first non-option word (argc when there is none).
// Requires: argv and optstring outlive the scanner.
class GetOpt {
 public:
  GetOpt(int argc, char* argv[], const char* optstring);

  // The next option letter; '?' for an unknown option or a missing argument
  // (`optopt` then holds the letter); -1 when the options are exhausted, and
  // on every later call. `optarg` is the option's argument, or null.
  int operator()();

  char* optarg = nullptr;  // the current option's argument, or null
  int optind = 1;          // see the class comment
  int optopt = 0;          // the letter of the last '?' report

 private:
  bool takes_argument(char letter, bool& known) const;
  void permute_to_end(int index);
  int scan_letter();
  int finish(int first_nonopt);
  int limit() const { return d_argc - d_nonopts; }

  int d_argc;
  char** d_argv;
  const char* d_optstring;
  int d_scan = 1;                // next word to look at
  int d_nonopts = 0;             // non-option words moved to the end so far
  const char* d_next = nullptr;  // rest of a group of letters ("-abc")
  bool d_done = false;           // -1 has been returned
};

}  // namespace libqvp

#endif  // LIBQVP_GETOPT_H
