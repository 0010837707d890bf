// Test cases kept as text under tests/: one case a line, its fields separated
// by " | " outside double quotes; blank lines and lines starting with '#' are
// skipped. A field in double quotes keeps its blanks and takes the escapes \n,
// \r, \t, \\, \" and \xHH.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/rinex_version.h"
#include "qdx/decode/receiver_setup.h"
#include "qdx/encode/qdx_writer.h"

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
      out += c == '\0' ? field[i] : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

// The parts of a text between the separators.
inline std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
    end = text.find(separator, at);
    parts.push_back(text.substr(at, end - at));
  }
  return parts;
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

// "2.10", "2.11" or "3.04".
inline RinexVersion VersionOf(const std::string& text) {
  return text == "2.10"   ? RinexVersion::k210
         : text == "2.11" ? RinexVersion::k211
                          : RinexVersion::k304;
}

inline std::string ReadTestFile(const std::string& name) {
  return ReadFileText(KAVRINO_SOURCE_DIR "/tests/" + name);
}

inline std::vector<std::vector<std::string>> ReadCases(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(ReadTestFile(name));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.emplace_back();
    bool quoted = false;
    size_t at = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
      if (i < line.size() && line[i] == '\\') ++i;  // an escaped character
      if (i < line.size() && line[i] == '"') quoted = !quoted;
      if (i == line.size() || (!quoted && line.compare(i, 3, " | ") == 0)) {
        rows.back().push_back(Unquote(line.substr(at, i - at)));
        at = i + 3;
      }
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

// Blocks described as "NUMBER[/REVISION] TOW_MS WEEK LENGTH" and fields
// TYPE@OFFSET=VALUE (u8, i8, u16, u32, f32, f64, or text@OFFSET:WIDTH=TEXT), a
// later field overriding an earlier one, and size=LENGTH to cut or extend it;
// the blocks of a list are on lines of their own or separated by ";", lines
// starting with '#' are skipped (and hold no ";").
inline std::vector<std::vector<uint8_t>> BlockList(std::string descriptions) {
  std::replace(descriptions.begin(), descriptions.end(), ';', '\n');
  std::vector<std::vector<uint8_t>> blocks;
  std::istringstream list(descriptions);
  for (std::string description; std::getline(list, description);) {
    const std::vector<std::string> w = Words(description);
    if (w.empty() || w[0][0] == '#') continue;
    const size_t slash = w[0].find('/');
    QdxBlockWriter b(
        static_cast<uint16_t>(std::stoul(w[0])),
        static_cast<uint8_t>(slash == std::string::npos ? 0 : std::stoul(w[0].substr(slash + 1))),
        static_cast<uint32_t>(std::stoul(w[1])), static_cast<uint16_t>(std::stoul(w[2])),
        std::stoul(w[3]));
    for (size_t i = 4; i < w.size(); ++i) {
      const size_t at = w[i].find('@') + 1, eq = w[i].find('=');
      const std::string type = w[i].substr(0, std::min(at - 1, eq)),
                        value = Unquote(w[i].substr(eq + 1));
      if (type == "size") {
        b.Resize(std::stoul(value));
        continue;
      }
      const size_t offset = std::stoul(w[i].substr(at));
      if (type == "text") b.Text(offset, value, std::stoul(w[i].substr(w[i].find(':') + 1)));
      if (type == "u8" || type == "i8")
        b.U8(offset, static_cast<uint8_t>(std::stoi(value, nullptr, 0)));
      if (type == "u16") b.U16(offset, static_cast<uint16_t>(std::stoul(value, nullptr, 0)));
      if (type == "u32") b.U32(offset, static_cast<uint32_t>(std::stoul(value, nullptr, 0)));
      if (type == "f32") b.F32(offset, std::stof(value));
      if (type == "f64") b.F64(offset, std::stod(value));
    }
    blocks.push_back(b.Finish());
  }
  return blocks;
}

// A receiver setup: "REVISION FIELD...", the defaults with the revision (- as by
// default) and each OFFSET=TEXT in its field (OFFSET#N: a byte).
inline ReceiverSetupRecord SetupOf(const std::string& description) {
  ReceiverSetupRecord s;
  SetReceiverSetupDefaults(&s);
  const auto w = Words(description);
  if (w[0] != "-") {
    const uint16_t id = static_cast<uint16_t>(5902 | (std::stoi(w[0]) << 13));
    s.bytes[4] = id & 0xFF;
    s.bytes[5] = id >> 8;
  }
  for (size_t i = 1; i < w.size(); ++i) {
    const size_t offset = std::stoul(w[i]), at = w[i].find_first_of("=#") + 1;
    const size_t width = offset == 16                     ? 60
                         : offset == 116 || offset == 328 ? 40
                         : offset == 388                  ? 10
                         : offset == 400                  ? 3
                                                          : 20;
    const std::string text = Unquote(w[i].substr(at));
    if (w[i][at - 1] == '#') {
      s.bytes[offset] = static_cast<uint8_t>(std::stoi(text));
      continue;
    }
    std::memset(s.bytes + offset, 0, width);
    std::memcpy(s.bytes + offset, text.data(), std::min(width, text.size()));
  }
  return s;
}

// The file image of the blocks.
inline std::vector<uint8_t> Blocks(const std::string& descriptions) {
  std::vector<uint8_t> file;
  for (const auto& block : BlockList(descriptions)) Append(&file, block);
  return file;
}

}  // namespace kavrino::test
