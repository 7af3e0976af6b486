// An Error whose message the error log already has: the handler answers it
// without logging it again.
#ifndef QVP_NC_LOGGEDERROR_H
#define QVP_NC_LOGGEDERROR_H

#include <libqvp/Error.h>

#include <string>
#include <utility>

namespace libqvp {

class LoggedError : public Error {
 public:
  LoggedError(int code, std::string message)
      : Error(code, std::move(message)) {}
};

}  // namespace libqvp

#endif  // QVP_NC_LOGGEDERROR_H
