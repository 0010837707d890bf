// Test cases kept as text under tests/: one case a line, its fields separated
// by " | "; blank lines and lines starting with '#' are skipped. A field in
// double quotes keeps its blanks and takes the escapes \n, \t, \\, \" and \xHH.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kavrino::test {

inline std::string Unquote(const std::string& field) {
  if (field.size() < 2 || field.front() != '"' || field.back() != '"') return field;
  std::string out;
  for (size_t i = 1; i + 1 < field.size(); ++i) {
    const char c = field[i] == '\\' ? field[++i] : '\0';
    if (c == 'x') {
      out += static_cast<char>(std::strtoul(field.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += c == '\0' ? field[i] : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

// The words of a field, split at blanks outside double quotes, each unquoted.
inline std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    bool quoted = false;
    for (end = at; end < text.size() && (quoted || text[end] != ' '); ++end) {
      if (text[end] == '\\') {
        ++end;
      } else if (text[end] == '"') {
        quoted = !quoted;
      }
    }
    if (end > at) words.push_back(Unquote(text.substr(at, end - at)));
  }
  return words;
}

inline std::string ReadTestFile(const std::string& name) {
  std::ifstream in(std::string(KAVRINO_SOURCE_DIR "/tests/") + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::vector<std::string>> ReadCases(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(std::string(KAVRINO_SOURCE_DIR "/tests/") + name);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.emplace_back();
    for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3) {
      bar = line.find(" | ", at);
      rows.back().push_back(Unquote(line.substr(at, bar - at)));
    }
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}

// Texts kept as sections of one file, each after a line "== NAME".
inline std::map<std::string, std::string> ReadGoldens(const std::string& name) {
  std::map<std::string, std::string> texts;
  std::string* text = nullptr;
  std::istringstream in(ReadTestFile(name));
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("== ")) {
      text = &texts[line.substr(3)];
    } else if (text != nullptr) {
      *text += line + "\n";
    }
  }
  EXPECT_FALSE(texts.empty()) << name;
  return texts;
}

// TEMPORARY: writes the texts when asked.
inline void Dump(const std::string& name, const std::string& text) {
  if (const char* path = std::getenv("GOLDEN_OUT")) {
    std::ofstream(path, std::ios::app) << "== " << name << "\n" << text;
  }
}

}  // namespace kavrino::test
