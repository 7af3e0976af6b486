// Test inputs and golden outputs kept beside the tests, in the data/
// directory that QVP_TEST_DATA_DIR names: whole files, and cases files of
// one case a line.
#ifndef QVP_TESTS_SUPPORT_CASEFILE_H
#define QVP_TESTS_SUPPORT_CASEFILE_H

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace libqvp::test {

// The bytes of the file `name` in this directory's data/; a failure when it
// cannot be read.
inline std::string data_file(const std::string& name) {
  std::ifstream in(std::string(QVP_TEST_DATA_DIR) + "/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::ostringstream whole;
  whole << in.rdbuf();
  return whole.str();
}

// The rows of the cases file `name` in data/: one row a line, its fields
// split at " | " (or a final " |"), with the escapes \n, \r, \t, \\ and \xHH
// decoded. Lines that are empty or start with '#' are skipped.
inline std::vector<std::vector<std::string>> data_cases(
    const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(data_file(name));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> row(1);
    for (size_t i = 0; i < line.size(); ++i) {
      if (line.compare(i, 3, " | ") == 0 || line.compare(i, 3, " |") == 0) {
        row.emplace_back();  // " |" ends a line whose last field is empty
        i += 2;
      } else if (line[i] != '\\' || i + 1 == line.size()) {
        row.back() += line[i];
      } else if (line[++i] == 'x') {
        row.back() +=
            static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        row.back() += line[i] == 'n'   ? '\n'
                      : line[i] == 'r' ? '\r'
                      : line[i] == 't' ? '\t'
                                       : line[i];
      }
    }
    rows.push_back(row);
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}

}  // namespace libqvp::test

#endif  // QVP_TESTS_SUPPORT_CASEFILE_H
