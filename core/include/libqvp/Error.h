// The one exception type of the libqvp libraries: a code and a message, with a
// text form that handlers send to clients as the body of an error response.
#ifndef LIBQVP_ERROR_H
#define LIBQVP_ERROR_H

#include <libqvp/ErrorCode.h>

#include <cstdio>
#include <exception>
#include <ostream>
#include <string>

namespace libqvp {

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
