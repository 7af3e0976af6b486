// Mapping Errors to HTTP statuses and writing the error response.
#include "ErrorResponse.h"

#include <libqvp/ErrorBlock.h>
#include <libqvp/header_edit.h>

namespace libqvp {

int http_status_of(const Error& e) {
  switch (e.get_error_code()) {
    case malformed_expr:
    case bad_hyperslab:
    case type_mismatch:
    case no_such_function:
    case usage_error:
      return 400;
    case no_such_variable:
      return 404;
    default:
      return 500;
  }
}

namespace {
const char* reason_of(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    default:
      return "Internal Server Error";
  }
}
}  // namespace

void send_error(FILE* out, const Error& e, const std::string& version) {
  const int status = http_status_of(e);
  const std::string text = error_block(status, reason_of(status), e, version);
  try {
    begin_response(out, text);
  } catch (const Error&) {
    // The client went away: there is no one left to tell.
  }
  fflush(out);
}

}  // namespace libqvp
