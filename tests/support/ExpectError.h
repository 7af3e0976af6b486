// One check for "this call must throw": the exception is caught by type and
// handed to the test, and a call that returns normally is a test failure.
#ifndef QVP_TEST_EXPECTERROR_H
#define QVP_TEST_EXPECTERROR_H

#include <gtest/gtest.h>
#include <libqvp/Error.h>

#include <string>

namespace libqvp {
namespace test {

// Runs `run`, which must throw an E; passes it to `check`. A call that
// returns adds a failure; an exception of another type passes through.
template <class E, class Run, class Check>
void expect_throw(Run&& run, Check&& check) {
  try {
    run();
  } catch (const E& e) {
    check(e);
    return;
  }
  ADD_FAILURE() << "nothing was thrown";
}

// Runs `run`, which must throw an Error with `code` and exactly `message`.
template <class Run>
void expect_error(Run&& run, int code, const std::string& message) {
  expect_throw<Error>(run, [&](const Error& e) {
    EXPECT_EQ(code, e.get_error_code()) << e.get_error_message();
    EXPECT_EQ(message, e.get_error_message());
  });
}

// Runs `run`, which must throw an Error with `code`.
template <class Run>
void expect_error(Run&& run, int code) {
  expect_throw<Error>(run, [&](const Error& e) {
    EXPECT_EQ(code, e.get_error_code()) << e.get_error_message();
  });
}

}  // namespace test
}  // namespace libqvp

#endif  // QVP_TEST_EXPECTERROR_H
