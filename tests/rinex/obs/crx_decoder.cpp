#include "rinex/obs/crx_decoder.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace kavrino::test {
namespace {

struct Arc {
  int order = 0;  // 0: no value
  int count = 0;
  int64_t d[10] = {};  // the value, then its differences
  bool Take(const std::string& f) {
    const size_t amp = f.find('&');
    if (amp != std::string::npos) {
      order = std::atoi(f.substr(0, amp).c_str());
      count = 1;
      d[0] = std::strtoll(f.c_str() + amp + 1, nullptr, 10);
      return order >= 1 && order <= 9;
    }
    if (order == 0) return false;
    const int j = count < order ? count : order;
    d[j] = std::strtoll(f.c_str(), nullptr, 10);
    for (int i = j; i > 0; --i) d[i - 1] += d[i];
    ++count;
    return true;
  }
};

struct Sat {
  std::string id, flags;
  std::vector<Arc> arcs;
};

std::string Trim(std::string s) {
  return s.erase(s.find_last_not_of(' ') + 1);
}

// Applies a text difference: blank keeps, '&' blanks, others replace.
void Patch(std::string* text, const std::string& diff) {
  if (text->size() < diff.size()) text->resize(diff.size(), ' ');
  for (size_t i = 0; i < diff.size(); ++i) {
    if (diff[i] != ' ') (*text)[i] = diff[i] == '&' ? ' ' : diff[i];
  }
}

// An integer count of 10^-decimals as a right-aligned fixed-point field
// (exact for the magnitudes of the tests' texts).
std::string Fixed(int64_t v, int width, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f", width, decimals,
                static_cast<double>(v) / std::pow(10.0, decimals));
  return text;
}

}  // namespace

bool DecodeCrx(const std::string& crx, std::string* rinex, int* restarts) {
  std::istringstream in(crx);
  std::string line, version, out;
  if (!std::getline(in, version) || !std::getline(in, line)) return false;
  const bool v3 = version.compare(0, 3, "3.0") == 0;
  int types_v2 = 0, types_v3[128] = {};
  auto label = [](const std::string& l) { return l.size() > 60 ? l.substr(60) : ""; };
  auto read_types = [&](const std::string& l) {
    if (label(l) == "# / TYPES OF OBSERV" && l[5] != ' ') types_v2 = std::atoi(l.c_str());
    if (label(l) == "SYS / # / OBS TYPES" && l[0] != ' ') types_v3[l[0] & 127] = std::atoi(&l[3]);
  };
  while (std::getline(in, line)) {
    out += line + '\n';
    read_types(line);
    if (label(line) == "END OF HEADER") break;
  }
  std::string epoch;
  std::vector<Sat> prev;
  Arc clock;
  const size_t at = v3 ? 31 : 28, prefix = v3 ? 41 : 32;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == (v3 ? '>' : '&')) {
      epoch = v3 ? line : ' ' + line.substr(1);
      prev.clear();
      clock = Arc{};
    } else {
      Patch(&epoch, line);
    }
    if (epoch.size() < at + 4) return false;
    const int flag = epoch[at] - '0', count = std::atoi(epoch.substr(at + 1, 3).c_str());
    if (flag >= 2) {
      out += Trim(epoch) + '\n';
      for (int i = 0; i < count && std::getline(in, line); ++i) {
        out += line + '\n';
        read_types(line);
      }
      continue;
    }
    std::string clock_text, text;
    if (!std::getline(in, clock_text)) return false;
    if (clock_text.empty()) clock = Arc{};
    if (!clock_text.empty() && !clock.Take(clock_text)) return false;
    epoch.resize(std::max(epoch.size(), prefix + 3 * count), ' ');
    if (v3) {
      text = clock_text.empty() ? Trim(epoch.substr(0, prefix))
                                : epoch.substr(0, prefix) + Fixed(clock.d[0], 15, 12);
    } else {
      std::string first = epoch.substr(0, prefix), rest;
      for (int i = 0; i < count; ++i) {
        if (i >= 12 && i % 12 == 0) rest += '\n' + std::string(32, ' ');
        (i < 12 ? first : rest) += epoch.substr(prefix + 3 * i, 3);
      }
      if (!clock_text.empty()) first.append(68 - first.size(), ' ') += Fixed(clock.d[0], 12, 9);
      text = Trim(first) + rest;
    }
    out += text + '\n';
    std::vector<Sat> now;
    for (int i = 0; i < count; ++i) {
      Sat sat{epoch.substr(prefix + 3 * i, 3), "", {}};
      const int types = v3 ? types_v3[sat.id[0] & 127] : types_v2;
      for (const Sat& p : prev) {
        if (p.id != sat.id) continue;
        sat = p;
        break;
      }
      sat.arcs.resize(static_cast<size_t>(types));
      sat.flags.resize(2 * static_cast<size_t>(types), ' ');
      if (!std::getline(in, line)) return false;
      size_t pos = 0;
      for (int k = 0; k < types; ++k) {
        const size_t end = std::min(line.find(' ', pos), line.size());
        const std::string f = pos < end ? line.substr(pos, end - pos) : "";
        pos = end + 1;
        if (f.empty()) {
          sat.arcs[k] = Arc{};
          continue;
        }
        if (restarts != nullptr && sat.arcs[k].order > 0 && f.find('&') != std::string::npos) {
          ++*restarts;
        }
        if (!sat.arcs[k].Take(f)) {
          return false;
        }
      }
      Patch(&sat.flags, pos < line.size() ? line.substr(pos) : "");
      std::string row = v3 ? sat.id : "";
      for (int k = 0; k < types; ++k) {
        if (sat.arcs[k].order == 0 && !v3) sat.flags.replace(2 * k, 2, "  ");
        if (!v3 && k > 0 && k % 5 == 0) row = Trim(row) + '\n';
        row += (sat.arcs[k].order > 0 ? Fixed(sat.arcs[k].d[0], 14, 3) : std::string(14, ' ')) +
               sat.flags.substr(2 * k, 2);
      }
      out += Trim(row) + '\n';
      now.push_back(sat);
    }
    prev = now;
  }
  *rinex = out;
  return true;
}

}  // namespace kavrino::test
