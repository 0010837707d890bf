// Archive-ready output and compressed logs, end to end: Compact RINEX and gzip
// files that give back the plain files, the names they get, and logs read
// from their gzip, zstd and bzip2 forms.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "qdx/encode/qdx_writer.h"
#include "rinex/obs/crx_decoder.h"
#include "support/e2e.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed however the test ends.
struct ScopedDir {
  std::string path = test::MakeTempDir("archive");
  ~ScopedDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

// The logs, each made once and removed when the program ends. The long one:
// four hours at 30 s with cycle slips, and in its first two and a half hours
// a comment, an event, site commands and a changed setup. The short one: an
// hour of every product's data.
constexpr char kLongLog[] =
    "--duration 14400 --systems G,R,E,S --slips 4 --comment 600:archived --event 1234.5"
    " --site-commands --setup-change 7200";
constexpr char kShortLog[] = "--duration 3600 --systems G,R,E,S,C,J";

std::string MakeLog(const std::string& options, const std::string& path) {
  EXPECT_EQ(test::Qdxgen(".", "--no-truth --interval 30 " + options + " -o " + path).status, 0);
  return path;
}
std::string LogPath(bool long_log) {
  static const ScopedDir dir;
  const std::string path = dir.path + (long_log ? "/long.qdx" : "/kvrn070a.qdx");
  return fs::exists(path) ? path : MakeLog(long_log ? kLongLog : kShortLog, path);
}

// Runs kavrino in DIR/out with TMPDIR at DIR/tmp, which it must leave empty.
test::RunResult Convert(const std::string& dir, const std::string& args) {
  fs::create_directories(dir + "/out");
  fs::create_directories(dir + "/tmp");
  const test::RunResult r =
      test::RunIn(dir + "/out", "TMPDIR='" + dir + "/tmp' '" KAVRINO_EXE "' " + args);
  EXPECT_TRUE(fs::is_empty(dir + "/tmp")) << args;
  return r;
}

// Every file of a folder, by name.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = test::ReadFileText(entry.path().string());
  }
  return files;
}

// A text without the trailing blanks of its lines and the times of the run.
std::string Comparable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0, end = 0; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    std::string_view line(text.data() + at, end - at);
    line = line.substr(0, line.find_last_not_of(' ') + 1);
    out.append(line) += '\n';
    const std::string_view label = line.substr(std::min<size_t>(60, line.size()));
    if (label == "PGM / RUN BY / DATE" || label == "CRINEX PROG / DATE") {
      out.replace(out.size() - line.size() + 39, 20, 20, '*');
    }
  }
  return out;
}

// The text of every member of a gzip file; false for damaged or plain data.
bool Gunzip(const std::string& path, std::string* text) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  int n = 0;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) text->append(buffer, n);
  const bool plain = gzdirect(file);
  return gzclose(file) == Z_OK && n == 0 && !plain;
}

// Writes `text` as a zstd (".zst") or bzip2 (".bz2") file.
bool WriteCompressed(const std::string& path, const std::string& kind, const std::string& text) {
  const unsigned size = static_cast<unsigned>(text.size());
  if (kind == ".zst") {
    std::vector<uint8_t> out(ZSTD_compressBound(size));
    out.resize(ZSTD_compress(out.data(), out.size(), text.data(), size, 3));
    return test::WriteFileBytes(path, out);
  }
  BZFILE* file = BZ2_bzopen(path.c_str(), "wb");
  const bool written = file && BZ2_bzwrite(file, const_cast<char*>(text.data()), size) == int(size);
  if (file != nullptr) BZ2_bzclose(file);
  return written;
}

// The observation file in Compact RINEX, alone and gzip-compressed, gives
// back the plain file; arcs restart where the differences leave the range.
TEST(ArchiveOutput, CompactRinexRestoresThePlainFile) {
  const struct {
    const char *options, *crx_version;
    bool restarts;
  } cases[] = {
      {"-R210 -c -s -D -e 02:30:00", "1.0 ", false},
      {"-c -s -D -e 02:30:00", "1.0 ", false},
      {"-R3 -c -s -D -e 02:30:00", "3.0 ", false},
      {"-R210 -s -i 3600", "1.0 ", true},  // an hour between records
      {"-R3 -D -i 3600", "3.0 ", true},
      {"-R210 -s -b 01:00:00 -e 01:00:00", "1.0 ", false},  // one epoch
      {"-R3 -e 00:00:00", "3.0 ", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const ScopedDir dir;
    const std::string run = "-f " + LogPath(true) + " " + c.options + " -o ";
    for (const char* output : {"plain", "packed --crx", "packed.gz --crx --gzip"}) {
      ASSERT_EQ(Convert(dir.path, run + output).status, 0);
    }
    const std::string plain = Comparable(test::ReadFileText(dir.path + "/out/plain"));
    const std::string crx = test::ReadFileText(dir.path + "/out/packed");
    std::string back, inflated;
    int restarts = 0;
    EXPECT_TRUE(crx.starts_with(c.crx_version));
    ASSERT_TRUE(test::DecodeCrx(crx, &back, &restarts));
    EXPECT_EQ(Comparable(back), plain);
    EXPECT_EQ(restarts > 0, c.restarts) << restarts;
    EXPECT_TRUE(Gunzip(dir.path + "/out/packed.gz", &inflated));
    EXPECT_EQ(Comparable(inflated), Comparable(crx));
  }
}

// Every product gzip-compressed inflates to the plain file, and gzip accepts it.
TEST(ArchiveOutput, GzipFilesInflateToThePlainFiles) {
  for (const std::string version : {"", " -R3"}) {
    const ScopedDir plain, packed;
    const std::string run = "-f " + LogPath(false) + " -nOPNGEHIBM" + version;
    ASSERT_EQ(Convert(plain.path, run).status, 0);
    ASSERT_EQ(Convert(packed.path, run + " --gzip").status, 0);
    EXPECT_EQ(Files(packed.path + "/out").size(), 9u);
    for (const auto& [name, text] : Files(plain.path + "/out")) {
      std::string inflated;
      EXPECT_TRUE(Gunzip(packed.path + "/out/" + name + ".gz", &inflated)) << name;
      EXPECT_EQ(Comparable(inflated), Comparable(text)) << name;
    }
    const std::string gzip_test = "! command -v gzip >/dev/null || gzip -t *.gz";
    EXPECT_EQ(test::RunIn(packed.path + "/out", gzip_test).status, 0);
  }
}

struct NameCase {
  const char* options;
  std::vector<std::string> present, made;  // files there before the run; files it makes
};
const std::string kLongName = "KVRN00CHE_R_20240700000_01H_";

// Converts the short log beside the files already there: the run makes the
// files named and leaves the others untouched.
void CheckNames(const std::vector<NameCase>& cases) {
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.options);
    const ScopedDir dir;
    fs::create_directories(dir.path + "/out");
    for (const std::string& name : c.present) {
      ASSERT_TRUE(test::WriteFileBytes(dir.path + "/out/" + name, {'x'}));
    }
    EXPECT_EQ(Convert(dir.path, "-f " + LogPath(false) + " " + c.options).status, 0);
    std::set<std::string> want(c.present.begin(), c.present.end()), names;
    want.insert(c.made.begin(), c.made.end());
    auto files = Files(dir.path + "/out");
    for (const auto& [name, text] : files) names.insert(name);
    EXPECT_EQ(names, want);
    for (const std::string& name : c.present) EXPECT_TRUE(files[name] == "x") << name;
  }
}

TEST(ArchiveOutput, NamesOfCompressedFiles) {
  CheckNames({
      {"--crx", {}, {"KVRN0700.24D"}},
      {"--gzip -nONM", {}, {"KVRN0700.24M.gz", "KVRN0700.24N.gz", "KVRN0700.24O.gz"}},
      {"--crx --gzip -nOP", {}, {"KVRN0700.24D.gz", "KVRN0700.24P.gz"}},
      {"-l --crx -nON", {}, {kLongName + "30S_MO.crx", kLongName + "GN.rnx"}},
      {"-l --crx --gzip -nOE", {}, {kLongName + "30S_MO.crx.gz", kLongName + "EN.rnx.gz"}},
      {"-l --gzip", {}, {kLongName + "30S_MO.rnx.gz"}},
      {"-o out.obs --crx --gzip", {}, {"out.obs"}},
      {"-o copy --crx --gzip -nOM", {}, {"kvrn070a.qdD.gz", "kvrn070a.qdM.gz"}},
      {"-o copybase --crx -nON", {}, {"kvrn070a.24D", "kvrn070a.24N"}},
      {"-S --gzip", {"KVRN0700.24D"}, {"KVRN0701.24O.gz"}},
      {"-S", {"KVRN0700.24O.gz", "KVRN0701.24D.gz"}, {"KVRN0702.24O"}},
      {"-S --gzip -nON", {"KVRN0700.24N.gz"}, {"KVRN0701.24N.gz", "KVRN0701.24O.gz"}},
  });
}

// Disabled while -S with --crx takes sequence 0 whatever files are there,
// writing over a Compact RINEX file of sequence 0.
TEST(ArchiveOutput, SequenceOfCompactRinexFiles) {
  CheckNames({
      {"-S --crx", {"KVRN0700.24O"}, {"KVRN0701.24D"}},
      {"-S --crx --gzip", {"KVRN0700.24D.gz", "KVRN0701.24O"}, {"KVRN0702.24D.gz"}},
  });
}

// Compressed logs convert to the files of the plain log, named from the name
// without the compression suffix. A damaged one gives one line naming the file
// and the fault, and what decompressed cleanly is converted.
TEST(CompressedInput, ConvertsLikeThePlainLog) {
  const std::string log = test::ReadFileText(LogPath(false)), options = " -R3 -nONM -o copybase";
  std::map<std::string, std::string> plain[2];  // the files of the log and of an empty log
  for (const int empty : {0, 1}) {
    const ScopedDir dir;
    const std::string input = empty ? dir.path + "/kvrn070a.qdx" : LogPath(false);
    ASSERT_TRUE(!empty || test::WriteFileBytes(input, {}));
    EXPECT_EQ(Convert(dir.path, "-f " + input + options).status, 2 * empty);
    plain[empty] = Files(dir.path + "/out");
  }
  const struct {
    std::string kind, warning;  // kind: the file's suffix, or how the gzip file is made
    int status, same;           // same: the files of plain[same]; -1: a prefix converted
  } cases[] = {
      {"qdxgen", "", 0, 0},
      {".zst", "", 0, 0},
      {".bz2", "", 0, 0},
      {"cut", "the gzip data ends early (truncated)", 0, -1},
      {"magic", "starts like a gzip file but holds no gzip data", 2, 1},  // and "no data"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const ScopedDir dir;
    const std::string input = dir.path + "/kvrn070a.qdx" + (c.kind[0] == '.' ? c.kind : ".gz");
    if (c.kind == "magic") {
      ASSERT_TRUE(test::WriteFileBytes(input, {0x1f, 0x8b, 'n', 'o', 't', 'h', 'i', 'n', 'g'}));
    } else if (c.kind[0] == '.') {
      ASSERT_TRUE(WriteCompressed(input, c.kind, log));
    } else {
      MakeLog(std::string(kShortLog) + " --gzip", input);
    }
    if (c.kind == "cut") fs::resize_file(input, fs::file_size(input) * 3 / 5);
    const test::RunResult r = Convert(dir.path, "-f " + input + options);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(test::Lines(r.err).size(), c.warning.empty() ? 0u : 1u + c.status / 2) << r.err;
    EXPECT_TRUE(c.warning.empty() || r.err.starts_with(input + ": " + c.warning)) << r.err;
    const auto files = Files(dir.path + "/out");
    if (c.same >= 0) {
      EXPECT_EQ(files.size(), plain[c.same].size());
      for (const auto& [name, text] : plain[c.same]) {
        EXPECT_TRUE(files.count(name) && Comparable(files.at(name)) == Comparable(text)) << name;
      }
      continue;
    }
    // The records of the converted prefix but its last one are the plain log's.
    const std::string& obs = plain[0].at("kvrn070a.24O");
    const std::string part = files.count("kvrn070a.24O") ? files.at("kvrn070a.24O") : "";
    const size_t body = part.find("END OF HEADER"), last = part.rfind("\n>");
    ASSERT_TRUE(body < last && last != std::string::npos);
    const std::string records = part.substr(body, last - body);
    EXPECT_TRUE(records.size() > obs.size() / 3 && records.size() < obs.size() * 4 / 5);
    EXPECT_NE(obs.find(records), std::string::npos);
  }
}

// A run stopped by SIGTERM while it converts a compressed log (blocked on an
// output nobody reads) leaves no decompressed copy behind.
TEST(CompressedInput, StoppedRunLeavesNoTemporaryFile) {
  const ScopedDir dir;
  MakeLog(std::string(kShortLog) + " --gzip", dir.path + "/log.qdx.gz");
  fs::create_directories(dir.path + "/tmp");
  const test::RunResult r = test::RunIn(
      dir.path,
      "{ mkfifo fifo; exec 3<>fifo; TMPDIR=\"$PWD/tmp\" '" KAVRINO_EXE
      "' -f log.qdx.gz -o fifo &"
      " pid=$!; i=0; while [ -z \"$(ls tmp)\" ] && [ $i -lt 2000 ]; do sleep 0.01; i=$((i + 1));"
      " done; sleep 0.2; ls tmp >listed; kill -TERM $pid; wait $pid; }");
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_NE(test::ReadFileText(dir.path + "/listed"), "");  // the copy existed
  EXPECT_TRUE(fs::is_empty(dir.path + "/tmp"));
}

}  // namespace
}  // namespace kavrino
