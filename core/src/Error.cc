// The Error exception and its text form.
#include <libqvp/Error.h>
#include <libqvp/write_all.h>

#include <sstream>
#include <utility>

namespace libqvp {

Error::Error(int code, std::string message)
    : d_code(code), d_message(std::move(message)) {}

Error::Error(std::string message)
    : d_code(undefined_error), d_message(std::move(message)) {}

void Error::print(std::ostream& out) const {
  out << "Error {\n    code = " << d_code << ";\n    message = \"";
  for (char c : d_message) {
    if (c == '"' || c == '\\') out << '\\';
    out << c;
  }
  out << "\";\n};\n";
}

void Error::print(FILE* out) const {
  std::ostringstream text;
  print(text);
  write_all(out, text.str());
}

}  // namespace libqvp
