#include "scenario.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "gps_time.h"
#include "signal_info.h"

namespace kavrino::qdxgen {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end != nullptr && *end == '\0' && std::isfinite(*value);
}

bool ParseU64(const std::string& text, uint64_t* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 10);
  return end != nullptr && *end == '\0';
}

// Seconds (with up to millisecond fraction) to ms; false when out of range.
bool ParseSecondsMs(const std::string& text, double lo, double hi, int64_t* ms) {
  double seconds;
  if (!ParseDouble(text, &seconds) || seconds < lo || seconds > hi) return false;
  double scaled = seconds * 1000.0;
  if (std::fabs(scaled - std::round(scaled)) > 1e-6) return false;
  *ms = static_cast<int64_t>(std::llround(scaled));
  return true;
}

bool ParseStart(const std::string& text, int64_t* ms) {
  int y, mo, d, h = 0, mi = 0;
  double s = 0;
  std::string t = text;
  for (char& c : t) {
    if (c == 'T') c = ' ';
  }
  int n = std::sscanf(t.c_str(), "%d-%d-%d %d:%d:%lf", &y, &mo, &d, &h, &mi, &s);
  if (n != 3 && n != 6) return false;
  if (y < 1981 || y > 2099 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 ||
      mi > 59 || s < 0 || s >= 60) {
    return false;
  }
  *ms = CalendarToGpsMs(y, mo, d, h, mi, s);
  return true;
}

bool ParseSystems(const std::string& text, uint32_t* systems) {
  static const struct {
    const char* letter;
    const char* name;
    uint32_t bit;
  } kNames[] = {{"G", "GPS", kSysGps},         {"R", "GLONASS", kSysGlonass},
                {"E", "GALILEO", kSysGalileo}, {"S", "SBAS", kSysSbas},
                {"C", "BEIDOU", kSysBeidou},   {"J", "QZSS", kSysQzss},
                {"I", "NAVIC", kSysNavic}};
  *systems = 0;
  for (std::string part : Split(text, ',')) {
    for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool found = false;
    for (const auto& entry : kNames) {
      if (part == entry.letter || part == entry.name) {
        *systems |= entry.bit;
        found = true;
      }
    }
    if (!found) return false;
  }
  return *systems != 0;
}

bool ParseTimed(const std::string& text, bool number, bool text_required, TimedEntry* entry) {
  size_t colon = text.find(':');
  std::string when = colon == std::string::npos ? text : text.substr(0, colon);
  if (!ParseSecondsMs(when, 0, 1e7, &entry->offset_ms)) return false;
  std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  if (number) {
    if (rest.empty()) return !text_required;
    return ParseU64(rest, &entry->number);
  }
  entry->text = rest;
  return !rest.empty() || !text_required;
}

bool ParseTriple(const std::string& text, double out[3]) {
  std::vector<std::string> parts = Split(text, ',');
  if (parts.size() != 3) return false;
  for (int i = 0; i < 3; ++i) {
    if (!ParseDouble(parts[i], &out[i])) return false;
  }
  return true;
}

}  // namespace

bool IsFlagOption(const std::string& name) {
  static const char* const kFlags[] = {
      "no-truth",    "variant",    "no-range-rate", "extra-info",    "full-ranges", "no-nav",
      "no-sbas-raw", "no-weather", "site-commands", "truncate-last", "gzip"};
  for (const char* flag : kFlags) {
    if (name == flag) return true;
  }
  return false;
}

bool ApplyOption(const std::string& name, const std::string& value, bool has_value, Scenario* sc,
                 std::string* error) {
  if (IsFlagOption(name)) {
    if (has_value) {
      *error = "option --" + name + " takes no value";
      return false;
    }
  } else if (!has_value) {
    Scenario scratch;
    if (ApplyOption(name, "", true, &scratch, error) || error->rfind("unknown", 0) != 0) {
      *error = "option --" + name + " needs a value";
    }
    return false;
  }
  double d = 0;
  uint64_t u = 0;
  bool ok = true;
  if (name == "output" || name == "o") {
    sc->output = value;
    ok = !value.empty();
  } else if (name == "truth") {
    sc->truth_path = value;
    sc->write_truth = true;
  } else if (name == "no-truth") {
    sc->write_truth = false;
  } else if (name == "gzip") {
    sc->gzip = true;
  } else if (name == "seed") {
    ok = ParseU64(value, &sc->seed);
  } else if (name == "start") {
    ok = ParseStart(value, &sc->start_ms);
  } else if (name == "duration") {
    ok = ParseSecondsMs(value, 0.05, 7 * 86400.0, &sc->duration_ms);
  } else if (name == "interval") {
    ok = ParseSecondsMs(value, 0.05, 30.0, &sc->interval_ms);
  } else if (name == "leap") {
    ok = ParseU64(value, &u) && u < 100;
    sc->leap_seconds = static_cast<int>(u);
  } else if (name == "systems") {
    ok = ParseSystems(value, &sc->systems);
  } else if (name == "signals") {
    sc->signal_mask = 0;
    std::string list = value;
    for (char& c : list) {
      if (c == '+') c = ',';  // the converter's -I/-E lists use '+'
    }
    for (const std::string& part : Split(list, ',')) {
      int s = FindSignal(part.c_str());
      if (s < 0 || s == 27) {
        *error = "unknown or unsupported signal '" + part + "'";
        return false;
      }
      sc->signal_mask |= 1ULL << s;
    }
  } else if (name == "position") {
    double p[3];
    ok = ParseTriple(value, p) && std::fabs(p[0]) <= 89.0 && std::fabs(p[1]) <= 180.0 &&
         p[2] > -500.0 && p[2] < 9000.0;
    if (ok) sc->lat_deg = p[0], sc->lon_deg = p[1], sc->height_m = p[2];
  } else if (name == "motion") {
    if (value == "static")
      sc->motion = MOTION_STATIC;
    else if (value == "circle")
      sc->motion = MOTION_CIRCLE;
    else if (value == "line")
      sc->motion = MOTION_LINE;
    else
      ok = false;
  } else if (name == "speed") {
    ok = ParseDouble(value, &sc->speed_mps) && sc->speed_mps >= 0 && sc->speed_mps <= 300;
  } else if (name == "radius") {
    ok = ParseDouble(value, &sc->radius_m) && sc->radius_m >= 1 && sc->radius_m <= 1e5;
  } else if (name == "heading") {
    ok = ParseDouble(value, &sc->heading_deg);
  } else if (name == "antennas") {
    ok = ParseU64(value, &u) && (u == 1 || u == 2);
    sc->antennas = static_cast<int>(u);
  } else if (name == "baseline") {
    ok = ParseTriple(value, sc->baseline_enu);
  } else if (name == "mask") {
    ok = ParseDouble(value, &sc->mask_deg) && sc->mask_deg >= -5 && sc->mask_deg < 60;
  } else if (name == "slips") {
    ok = ParseDouble(value, &sc->slips_per_hour) && sc->slips_per_hour >= 0;
  } else if (name == "code-noise") {
    ok = ParseDouble(value, &sc->code_noise_m) && sc->code_noise_m >= 0 && sc->code_noise_m <= 10;
  } else if (name == "encoding") {
    if (value == "classic")
      sc->encoding = ENC_CLASSIC;
    else if (value == "compact")
      sc->encoding = ENC_COMPACT;
    else if (value == "both")
      sc->encoding = ENC_BOTH;
    else
      ok = false;
  } else if (name == "ref-interval") {
    static const uint64_t kCodes[10] = {1,     500,   1000,  2000,  5000,
                                        10000, 15000, 30000, 60000, 120000};
    ok = ParseU64(value, &u);
    int code = -1;
    for (int c = 0; ok && c < 10; ++c) {
      if (kCodes[c] == u) code = c;
    }
    ok = ok && code >= 0;
    sc->ref_interval_code = static_cast<uint8_t>(code < 0 ? 2 : code);
  } else if (name == "no-range-rate") {
    sc->compact_rate = false;
  } else if (name == "variant") {
    sc->variant_5944 = true;
  } else if (name == "extra-info") {
    sc->extra_info_4000 = true;
  } else if (name == "full-ranges") {
    sc->full_ranges_4098 = true;
  } else if (name == "no-nav") {
    sc->navigation = false;
  } else if (name == "eph-repeat") {
    ok = ParseSecondsMs(value, 0, 86400, &sc->eph_repeat_ms);
  } else if (name == "no-sbas-raw") {
    sc->sbas_raw = false;
  } else if (name == "sbas-bad-crc") {
    ok = ParseDouble(value, &sc->sbas_bad_crc) && sc->sbas_bad_crc >= 0 && sc->sbas_bad_crc <= 1;
  } else if (name == "no-weather") {
    sc->weather = false;
  } else if (name == "weather-interval") {
    ok = ParseSecondsMs(value, 1, 86400, &sc->weather_interval_ms);
  } else if (name == "fixes") {
    sc->fix_blocks = 0;
    for (const std::string& part : Split(value, ',')) {
      if (part == "4006")
        sc->fix_blocks |= kFixCartesian;
      else if (part == "4007")
        sc->fix_blocks |= kFixGeodetic;
      else if (part == "5903")
        sc->fix_blocks |= kFixCartesian2;
      else if (part == "5904")
        sc->fix_blocks |= kFixGeodetic2;
      else if (part != "none")
        ok = false;
    }
  } else if (name == "setup-interval") {
    ok = ParseSecondsMs(value, 0, 86400, &sc->setup_interval_ms);
  } else if (name == "setup-change") {
    ok = ParseSecondsMs(value, 0, 7 * 86400.0, &sc->setup_change_ms);
  } else if (name == "marker") {
    sc->marker = value;
    ok = !value.empty() && value.size() <= 60;
  } else if (name == "marker-number") {
    sc->marker_number = value;
    ok = value.size() <= 20;
  } else if (name == "station") {
    sc->station = value;
    ok = value.size() <= 10;
  } else if (name == "country") {
    sc->country = value;
    ok = value.size() == 3;
  } else if (name == "comment") {
    TimedEntry entry;
    ok = ParseTimed(value, false, true, &entry) && entry.text.size() <= 1000;
    if (ok) sc->comments.push_back(entry);
  } else if (name == "event") {
    TimedEntry entry;
    entry.number = 1;
    ok = ParseTimed(value, true, false, &entry) && entry.number < 256;
    if (ok) sc->events.push_back(entry);
  } else if (name == "item") {
    TimedEntry entry;
    ok = ParseTimed(value, true, true, &entry);
    if (ok) sc->items.push_back(entry);
  } else if (name == "site-commands") {
    sc->site_commands = true;
  } else if (name == "flip-bytes") {
    ok = ParseDouble(value, &d) && d >= 0 && d <= 1;
    sc->flip_rate = d;
  } else if (name == "noise") {
    ok = ParseDouble(value, &d) && d >= 0 && d <= 1;
    sc->noise_rate = d;
  } else if (name == "truncate-last") {
    sc->truncate_last = true;
  } else if (name == "duplicate") {
    ok = ParseDouble(value, &d) && d >= 0 && d <= 1;
    sc->duplicate_rate = d;
  } else if (name == "zero-fill") {
    ok = ParseDouble(value, &d) && d >= 0 && d <= 1;
    sc->zero_rate = d;
  } else {
    *error = "unknown option --" + name;
    return false;
  }
  if (!ok && error->empty()) *error = "invalid value '" + value + "' for --" + name;
  return ok;
}

bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read scenario file " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    size_t last = line.find_last_not_of(" \t\r");
    line = line.substr(first, last - first + 1);
    size_t eq = line.find('=');
    std::string name = line.substr(0, eq);
    name.erase(name.find_last_not_of(" \t") + 1);
    std::string value;
    if (eq != std::string::npos) {
      value = line.substr(eq + 1);
      value.erase(0, value.find_first_not_of(" \t"));
    }
    if (!ApplyOption(name, value, eq != std::string::npos, scenario, error)) {
      *error = path + ":" + std::to_string(number) + ": " + *error;
      return false;
    }
  }
  return true;
}

int ParseCommandLine(int argc, char** argv, Scenario* sc, std::string* error) {
  sc->start_ms = CalendarToGpsMs(2024, 3, 10, 0, 0, 0);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      PrintHelp();
      return 1;
    }
    if (arg.rfind("--", 0) != 0 && arg != "-o") {
      *error = "unexpected argument '" + arg + "'";
      return 2;
    }
    std::string name = arg == "-o" ? "output" : arg.substr(2);
    std::string value;
    bool has_value = false;
    size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      has_value = true;
    } else if (i + 1 < argc && !IsFlagOption(name)) {
      value = argv[++i];
      has_value = true;
    }
    if (name == "scenario") {
      if (!has_value || !LoadScenarioFile(value, sc, error)) {
        if (error->empty()) *error = "option --scenario needs a file";
        return 2;
      }
      continue;
    }
    if (!ApplyOption(name, value, has_value, sc, error)) return 2;
  }
  return 0;
}

uint64_t EffectiveSignalMask(const Scenario& sc) {
  uint64_t mask = 0;
  for (uint8_t c = 0; c < 7; ++c) {
    if ((sc.systems & (1u << c)) == 0) continue;
    uint64_t chosen = sc.signal_mask & SystemSignals(c);
    mask |= chosen != 0 ? chosen : DefaultSignals(c);
  }
  return mask;
}

void PrintHelp() {
  std::fputs(
      "Usage: qdxgen [options]\n"
      "Writes a synthetic, physically consistent QDX receiver log and a truth file.\n"
      "The output depends on the options and the seed alone.\n"
      "\n"
      "Output\n"
      "  -o, --output FILE       QDX file to write (default qdxgen.qdx)\n"
      "  --truth FILE            truth file (default: the output name + \".truth\")\n"
      "  --no-truth              do not write a truth file\n"
      "  --gzip                  write the QDX file gzip-compressed (under the name given)\n"
      "  --seed N                random seed (default 1)\n"
      "  --scenario FILE         read options from FILE, one \"name = value\" a line\n"
      "                          (names as below without dashes; lines starting\n"
      "                          with # are comments)\n"
      "Time\n"
      "  --start DATE            first epoch, GPS time, \"YYYY-MM-DD HH:MM:SS\"\n"
      "                          (default 2024-03-10 00:00:00)\n"
      "  --duration S            length in seconds (default 3600)\n"
      "  --interval S            epoch interval, 0.05 to 30 s, whole ms (default 1)\n"
      "  --leap N                GPS-UTC leap seconds (default 18)\n"
      "Satellites and signals\n"
      "  --systems LIST          G,R,E,S,C,J,I or GPS,GLONASS,GALILEO,SBAS,BEIDOU,QZSS,NAVIC\n"
      "                          (default G,R,E,C)\n"
      "  --signals LIST          signal names, e.g. GPSL1CA,GPSL2C,GALE1,GALE5a; systems\n"
      "                          without a listed signal keep their defaults\n"
      "  --mask DEG              elevation mask (default 5)\n"
      "  --slips N               cycle slips per satellite signal and hour (default 0.5)\n"
      "  --code-noise M          pseudorange noise at zenith (default 0.25)\n"
      "Receiver\n"
      "  --position LAT,LON,H    reference position, degrees and metres\n"
      "                          (default 46.5,7.5,550)\n"
      "  --motion KIND           static (default), circle or line\n"
      "  --speed M/S             speed when moving (default 10)\n"
      "  --radius M              circle radius (default 200)\n"
      "  --heading DEG           direction of the line (default 45)\n"
      "  --antennas N            1 or 2 antennas (default 1)\n"
      "  --baseline E,N,U        second antenna offset, metres (default 1.2,0.4,0.05)\n"
      "  --marker NAME           marker name (default KVRN)\n"
      "  --marker-number TEXT    marker number (default 10001M001)\n"
      "  --station CODE          station code, up to 10 characters (default KVRN00CHE)\n"
      "  --country CCC           country code (default CHE)\n"
      "  --setup-interval S      repeat the receiver setup block (default 600; 0 once)\n"
      "  --setup-change S        write a changed setup (new marker) at S seconds\n"
      "Blocks\n"
      "  --encoding KIND         measurement blocks: classic, compact or both\n"
      "                          (default classic; both writes compact before classic)\n"
      "  --ref-interval MS       compact reference interval: 1 (every epoch), 500, 1000,\n"
      "                          2000, 5000, 10000, 15000, 30000, 60000, 120000 (default 1000)\n"
      "  --no-range-rate         compact master records without range rate\n"
      "  --variant               measurements as block 5944 instead of 4027\n"
      "  --extra-info            add block 4000 (lock times, C/N0 refinement)\n"
      "  --full-ranges           add block 4098 (full-precision ranges)\n"
      "  --fixes LIST            position blocks: 4006,4007,5903,5904 or none\n"
      "                          (default 4006,4007)\n"
      "  --no-nav                no ephemeris, ionosphere or UTC blocks\n"
      "  --eph-repeat S          repeat current ephemerides every S seconds\n"
      "                          (default 1800; 0 never)\n"
      "  --no-sbas-raw           no raw SBAS messages (with SBAS selected)\n"
      "  --sbas-bad-crc F        fraction of SBAS messages failing their CRC (default 0.05)\n"
      "  --no-weather            no sensor text blocks\n"
      "  --weather-interval S    weather sentence interval (default 60)\n"
      "  --comment S:TEXT        a comment block at S seconds (repeatable)\n"
      "  --event S[:SOURCE]      an external event at S seconds (repeatable)\n"
      "  --item S:NUMBER         an item-collected block at S seconds (repeatable)\n"
      "  --site-commands         comments with BEGIN_POINT, END_POINT, ANTENNA, XYZ\n"
      "Damage\n"
      "  --flip-bytes P          probability that a block gets one byte changed\n"
      "  --noise P               probability of noise bytes after a block\n"
      "  --truncate-last         cut the last block short\n"
      "  --duplicate P           probability that a block is written twice\n"
      "  --zero-fill P           probability that a run of 1 to 600 zero bytes starts\n"
      "                          inside a block (it may reach into the next blocks)\n"
      "  -h, --help              this text\n",
      stdout);
}

}  // namespace kavrino::qdxgen
