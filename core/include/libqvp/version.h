// The core library's name and version, as version() reports them.
#ifndef LIBQVP_VERSION_H
#define LIBQVP_VERSION_H

namespace libqvp {

constexpr const char* kCoreName = "libqvp";
constexpr const char* kCoreVersion = "9.0.0";

}  // namespace libqvp

#endif  // LIBQVP_VERSION_H
