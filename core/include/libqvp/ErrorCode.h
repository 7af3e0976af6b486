// The codes of Error, in a header of their own that includes nothing, so that
// a program linking no libqvp library (the CGI dispatcher) answers with the
// same codes as the handlers.
#ifndef LIBQVP_ERRORCODE_H
#define LIBQVP_ERRORCODE_H

namespace libqvp {

// Codes of the failures that the libraries and the dispatcher report.
enum ErrorCode : int {
  undefined_error = 1000,   // an Error built from a message alone
  usage_error = 1001,       // a bad command line or request; a failed function
  malformed_text = 1002,    // DAS or DDS text that does not parse
  malformed_expr = 1003,    // constraint expression that does not parse
  no_such_variable = 1004,  // a name that the DDS does not hold
  // A data set that the server does not hold: the same code, since both say
  // that a requested name names nothing here.
  no_such_data_set = no_such_variable,
  no_such_function = 1005,  // a function call to an unregistered function
  bad_hyperslab = 1006,     // hyperslab out of range or stop before start
  type_mismatch = 1007,     // an operand or argument of the wrong type
  write_error = 1008,       // output could not be written
  internal_error = 1009     // a broken invariant (a bug); a misconfiguration
};

}  // namespace libqvp

#endif  // LIBQVP_ERRORCODE_H
