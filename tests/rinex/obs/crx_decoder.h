// A small Compact RINEX 1.0 / 3.0 reader for the tests, written apart from
// the encoder: it restores the RINEX observation text, numbers written the
// way the observation writer writes them, lines without trailing blanks.
#pragma once

#include <string>

namespace kavrino::test {

// False for text that is not Compact RINEX as the encoder writes it.
// `restarts`, when given, counts the arcs started anew while their satellite
// and value went on from the previous record (a difference out of range).
bool DecodeCrx(const std::string& crx, std::string* rinex, int* restarts = nullptr);

}  // namespace kavrino::test
