// The one exception type of the libqvp libraries: a code and a message, with a
// text form that handlers send to clients as the body of an error response.
#ifndef LIBQVP_ERROR_H
#define LIBQVP_ERROR_H

#include <cstdio>
#include <exception>
#include <ostream>
#include <string>

namespace libqvp {

// Codes of the failures that the libraries report.
enum ErrorCode : int {
  undefined_error = 1000,  // an Error built from a message alone
  usage_error = 1001,      // bad handler command line; a server function failed
  malformed_text = 1002,   // DAS or DDS text that does not parse
  malformed_expr = 1003,   // constraint expression that does not parse
  no_such_variable = 1004,  // a name that the DDS does not hold
  no_such_function = 1005,  // a function call to an unregistered function
  bad_hyperslab = 1006,     // hyperslab out of range or stop before start
  type_mismatch = 1007,     // an operand or argument of the wrong type
  write_error = 1008,       // output could not be written
  internal_error = 1009     // a broken invariant; a bug
};

class Error : public std::exception {
 public:
  Error(int code, std::string message);
  explicit Error(std::string message);  // code undefined_error

  int get_error_code() const { return d_code; }
  const std::string& get_error_message() const { return d_message; }
  const char* what() const noexcept override { return d_message.c_str(); }

  // Writes the text form, quotes and backslashes in the message escaped:
  //   Error {
  //       code = 1001;
  //       message = "No such variable: \"sst\"";
  //   };
  // Neither form flushes; write failures are not reported.
  void print(FILE* out) const;
  void print(std::ostream& out) const;

 private:
  int d_code;
  std::string d_message;
};

}  // namespace libqvp

#endif  // LIBQVP_ERROR_H
