// How the mapping reads a request's CGI variables and its configuration: the
// dispatcher from its environment, the pool from the SCGI headers.
#ifndef QVP_MAPPING_ENVLOOKUP_H
#define QVP_MAPPING_ENVLOOKUP_H

#include <functional>

namespace libqvp {

// The value of a CGI or configuration variable; null when unset.
using EnvLookup = std::function<const char*(const char*)>;

}  // namespace libqvp

#endif  // QVP_MAPPING_ENVLOOKUP_H
