// Archive-ready output and compressed logs, end to end: gzip files that give
// back the plain files (Compact RINEX ones too), the names of compressed files,
// and logs read from their gzip, zstd and bzip2 forms.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zstd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;

// An hour of every product's data.
const std::string kShortLog = "--no-truth --interval 30 --duration 3600 --systems G,R,E,S,C,J";
const auto ShortLog = [] { return test::SharedLog(kShortLog) + "/log.qdx"; };

// Runs kavrino in DIR/out with TMPDIR at DIR/tmp, which it must leave empty.
test::RunResult Convert(const test::ScopedTempDir& dir, const std::string& args) {
  fs::create_directories(dir / "out"), fs::create_directories(dir / "tmp");
  const auto r = test::RunIn(dir / "out", "TMPDIR='" + dir / "tmp" + "' '" KAVRINO_EXE "' " + args);
  EXPECT_TRUE(fs::is_empty(dir / "tmp")) << args;
  return r;
}

// A text without the trailing blanks of its lines and the times of the run.
std::string Comparable(const std::string& text) {
  std::string out;
  for (std::string line : test::Lines(text)) {
    line.erase(line.find_last_not_of(' ') + 1);
    if (line.ends_with("PGM / RUN BY / DATE") || line.ends_with("CRINEX PROG / DATE"))
      line.replace(39, 20, 20, '*');
    out += line + "\n";
  }
  return out;
}

// The text of every member of a gzip file, compared as above; "" for damaged or plain data.
std::string Gunzip(const std::string& path) {
  const test::RunResult r = test::RunIn(".", "gzip -dc '" + path + "'");
  return r.status == 0 ? Comparable(r.out) : "";
}

// Every product gzip-compressed inflates to the plain file.
TEST(ArchiveOutput, GzipFilesInflateToThePlainFiles) {
  for (const std::string version : {"", " -R3", " -R3 --crx"}) {
    const test::ScopedTempDir plain("archive"), packed("archive");
    ASSERT_EQ(Convert(plain, "-f " + ShortLog() + " -nOPNGEHIBM" + version).status, 0);
    ASSERT_EQ(Convert(packed, "-f " + ShortLog() + " -nOPNGEHIBM --gzip" + version).status, 0);
    EXPECT_EQ(test::FolderFiles(packed / "out").size(), 9u);
    for (const auto& [name, text] : test::FolderFiles(plain / "out"))
      EXPECT_EQ(Gunzip(packed / ("out/" + name + ".gz")), Comparable(text)) << name;
  }
}

// The short log converted beside the files already there: the run makes the
// files named and leaves the others untouched.
TEST(ArchiveOutput, NamesOfCompressedFiles) {
  const std::string l = "KVRN00CHE_R_20240700000_01H_";
  const struct {
    const char* options;
    std::vector<std::string> present, made;  // files there before the run; files it makes
  } cases[] = {
      {"--crx", {}, {"KVRN0700.24D"}},
      {"--gzip -nONM", {}, {"KVRN0700.24M.gz", "KVRN0700.24N.gz", "KVRN0700.24O.gz"}},
      {"--crx --gzip -nOP", {}, {"KVRN0700.24D.gz", "KVRN0700.24P.gz"}},
      {"-l --crx -nON", {}, {l + "30S_MO.crx", l + "GN.rnx"}},
      {"-l --crx --gzip -nOE", {}, {l + "30S_MO.crx.gz", l + "EN.rnx.gz"}},
      {"-l --gzip", {}, {l + "30S_MO.rnx.gz"}},
      {"-o out.obs --crx --gzip", {}, {"out.obs"}},
      {"-o copy --crx --gzip -nOM", {}, {"log.qdD.gz", "log.qdM.gz"}},
      {"-o copybase --crx -nON", {}, {"log.24D", "log.24N"}},
      {"-S --gzip", {"KVRN0700.24D"}, {"KVRN0701.24O.gz"}},
      {"-S", {"KVRN0700.24O.gz", "KVRN0701.24D.gz"}, {"KVRN0702.24O"}},
      {"-S --gzip -nON", {"KVRN0700.24N.gz"}, {"KVRN0701.24N.gz", "KVRN0701.24O.gz"}},
      {"-S --crx", {"KVRN0700.24O"}, {"KVRN0701.24D"}},
      {"-S --crx --gzip", {"KVRN0700.24D.gz", "KVRN0701.24O"}, {"KVRN0702.24D.gz"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const test::ScopedTempDir dir("archive");
    fs::create_directories(dir / "out");
    std::map<std::string, std::string> want;
    for (const std::string& name : c.made) want[name] = "";
    for (const std::string& name : c.present) {
      ASSERT_TRUE(test::WriteFileBytes(dir / ("out/" + name), {'x'}));
      want[name] = "x";
    }
    EXPECT_EQ(Convert(dir, "-f " + ShortLog() + " " + c.options).status, 0);
    auto files = test::FolderFiles(dir / "out");
    for (auto& [name, text] : files) text = want.count(name) && want[name].empty() ? "" : text;
    EXPECT_EQ(files, want);
  }
}

// Compressed logs convert to the files of the plain log, named from the name
// without the compression suffix. A damaged one gives one line naming the file
// and the fault, and what decompressed cleanly is converted (empty logs and
// false magic numbers: the command-line table and the decompression table).
TEST(CompressedInput, ConvertsLikeThePlainLog) {
  const std::string log = test::ReadFileText(ShortLog()), options = " -R3 -nONM -o copybase";
  const std::string gz = test::ReadFileText(test::SharedLog(kShortLog + " --gzip") + "/log.qdx");
  std::map<std::string, std::string> plain;  // the files of the plain log
  // The file's suffix, or "cut": the first three fifths of the gzip file.
  for (const std::string kind : {"plain", ".gz", ".zst", ".bz2", "cut"}) {
    SCOPED_TRACE(kind);
    const std::string warning = kind == "cut" ? "the gzip data ends early (truncated)" : "";
    const test::ScopedTempDir dir("archive");
    const std::string input = dir / ("kvrn070a.qdx" + (kind == "plain"  ? ""
                                                       : kind[0] == '.' ? kind
                                                                        : ".gz"));
    std::vector<uint8_t> bytes(ZSTD_compressBound(log.size()));
    if (kind == "plain") bytes.assign(log.begin(), log.end());
    if (kind == ".zst")
      bytes.resize(ZSTD_compress(bytes.data(), bytes.size(), log.data(), log.size(), 3));
    unsigned size = static_cast<unsigned>(bytes.size());
    if (kind == ".bz2") {
      ASSERT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(bytes.data()), &size,
                                         const_cast<char*>(log.data()),
                                         static_cast<unsigned>(log.size()), 9, 0, 0),
                BZ_OK);
      bytes.resize(size);
    }
    if (kind == ".gz" || kind == "cut")
      bytes.assign(gz.begin(), gz.begin() + (kind == "cut" ? gz.size() * 3 / 5 : gz.size()));
    ASSERT_TRUE(test::WriteFileBytes(input, bytes));
    const test::RunResult r = Convert(dir, "-f " + input + options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(test::Lines(r.err).size(), warning.empty() ? 0u : 1u) << r.err;
    EXPECT_TRUE(r.err.starts_with(warning.empty() ? "" : input + ": " + warning)) << r.err;
    auto files = test::FolderFiles(dir / "out");
    for (auto& [name, text] : files) text = Comparable(text);
    if (kind == "plain") plain = files;
    if (kind != "cut") {
      EXPECT_EQ(files, plain);
      continue;
    }
    // The records of the converted prefix but its last one are the plain log's.
    const std::string &obs = plain.at("kvrn070a.24O"), part = files["kvrn070a.24O"];
    const size_t body = part.find("END OF HEADER"), last = part.rfind("\n>");
    ASSERT_TRUE(body < last && last != std::string::npos);
    const std::string records = part.substr(body, last - body);
    EXPECT_TRUE(records.size() > obs.size() / 3 && records.size() < obs.size() * 4 / 5);
    EXPECT_NE(obs.find(records), std::string::npos);
  }
}

}  // namespace
}  // namespace kavrino
