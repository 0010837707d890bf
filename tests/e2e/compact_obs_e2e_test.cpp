// The same generated scenario written with classic and with compact
// measurement blocks converts to observation files that agree to the compact
// resolution.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "qdx/encode/qdx_writer.h"

namespace kavrino {
namespace {

using test::Lines;

// Compact resolution of each observation kind (the first letter of its type).
double Tolerance(char kind) {
  switch (kind) {
    case 'D':
      return 0.006;
    case 'S':
      return 0.07;
    default:
      return 0.002;  // code and phase
  }
}

// Kind letters of a system's types, from its "SYS / # / OBS TYPES" lines.
std::string TypeKinds(const std::vector<std::string>& header, char system) {
  const auto is_types = [](const std::string& line) {
    return line.find("SYS / # / OBS TYPES") != std::string::npos;
  };
  std::string kinds;
  for (size_t i = 0; i < header.size(); ++i) {
    if (!is_types(header[i]) || header[i][0] != system) continue;
    for (size_t j = i; j < header.size() && is_types(header[j]) && (j == i || header[j][0] == ' ');
         ++j) {
      for (size_t c = 7; c + 3 <= 58; c += 4) {
        if (header[j][c] != ' ') kinds.push_back(header[j][c]);
      }
    }
    break;
  }
  return kinds;
}

void ExpectFieldsAgree(const std::string& want, const std::string& got, const std::string& kinds,
                       size_t line_no) {
  ASSERT_EQ(want.substr(0, 3), got.substr(0, 3)) << "line " << line_no;
  for (size_t k = 0; k < kinds.size(); ++k) {
    const size_t col = 3 + 16 * k;
    const std::string a = col < want.size() ? want.substr(col, 16) : "";
    const std::string b = col < got.size() ? got.substr(col, 16) : "";
    const bool a_blank = a.find_first_not_of(' ') == std::string::npos;
    const bool b_blank = b.find_first_not_of(' ') == std::string::npos;
    ASSERT_EQ(a_blank, b_blank) << "line " << line_no << " field " << k;
    if (a_blank) continue;
    EXPECT_NEAR(std::stod(a.substr(0, 14)), std::stod(b.substr(0, 14)), Tolerance(kinds[k]))
        << "line " << line_no << " field " << k;
    if (kinds[k] == 'L') {
      EXPECT_EQ(a[14], b[14]) << "loss of lock, line " << line_no;
    }
  }
}

TEST(CompactObservationFile, AgreesWithClassic) {
  const std::string dir = test::MakeTempDir("compact_obs");
  for (const char* encoding : {"classic", "compact"}) {
    const std::string name = std::string(encoding);
    ASSERT_EQ(test::Qdxgen(dir, "--encoding " + name +
                                    " --duration 120 --interval 1 --ref-interval 5000 --seed 7"
                                    " --systems G,R,E,S,C,J --no-nav --no-truth -o " +
                                    name + ".qdx")
                  .status,
              0);
    ASSERT_EQ(test::Kavrino(dir, "-f " + name + ".qdx -R3 -s -D -o " + name + ".rnx").status, 0);
  }
  const auto classic = Lines(test::ReadFileText(dir + "/classic.rnx"));
  const auto compact = Lines(test::ReadFileText(dir + "/compact.rnx"));
  ASSERT_EQ(classic.size(), compact.size());
  size_t body = 0;
  while (body < classic.size() && classic[body].find("END OF HEADER") == std::string::npos) {
    if (classic[body].find("PGM / RUN BY / DATE") == std::string::npos) {
      EXPECT_EQ(classic[body], compact[body]);
    }
    ++body;
  }
  const std::vector<std::string> header(classic.begin(), classic.begin() + body);
  size_t satellite_lines = 0;
  for (size_t i = body + 1; i < classic.size(); ++i) {
    if (classic[i][0] == '>') {
      EXPECT_EQ(classic[i], compact[i]);
      continue;
    }
    ExpectFieldsAgree(classic[i], compact[i], TypeKinds(header, classic[i][0]), i);
    ++satellite_lines;
  }
  EXPECT_GT(satellite_lines, 1000u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kavrino
