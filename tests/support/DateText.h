// Makes response headers that carry the current date comparable with golden
// texts.
#ifndef QVP_TEST_DATETEXT_H
#define QVP_TEST_DATETEXT_H

#include <string>

namespace libqvp {
namespace test {

// What normalize_date() puts in place of the date: as long as a real one,
// so flush offsets still hold.
constexpr char kNormalDate[] = "DDD, dd MMM yyyy hh:mm:ss GMT";

// Replaces the value of the first "Date: " line with kNormalDate when it has
// the RFC 822 form; returns `response` unchanged otherwise.
std::string normalize_date(const std::string& response);

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_DATETEXT_H
