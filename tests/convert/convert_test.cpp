// Output file names, the navigation walks and window, the meteorological
// product, failing output files, gzip output and compressed input.
#include <bzlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "convert/compressed_input.h"
#include "convert/file_naming.h"
#include "convert/gzip_stream.h"
#include "convert/met_product.h"
#include "convert/nav_product.h"
#include "convert/output_file.h"
#include "core/time.h"
#include "rinex/case_table.h"
#include "rinex/nav/test_blocks.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

constexpr int64_t kDay20190624Ms = 1245369600000;  // 2019-06-24 00:00:00 GPS time
const std::string kTypeLetters = "ONLGH??IPBM";    // by file type index

uint32_t Measured(const std::string& text) {
  return text == "-" ? kNotMeasured : static_cast<uint32_t>(std::stoul(text));
}

// The name, or "refused: <message>".
std::string Name(NameRequest request, const std::string& switches, const FileExistsFn& exists) {
  NamingOptions naming = *request.naming;
  naming.long_names = switches.find("long") != std::string::npos;
  naming.sequence = switches.find("seq") != std::string::npos;
  request.naming = &naming;
  std::string name, message;
  return BuildOutputFileName(request, exists, &name, &message) ? name : "refused: " + message;
}

TEST(FileNaming, Table) {
  const ReceiverSetupRecord defaults = test::SetupOf("-");
  for (const auto& row : test::ReadCases("convert/data/naming.txt")) {
    SCOPED_TRACE(row[1] + " " + row[2]);
    if (row[0] == "period" || row[0] == "frequency") {
      const uint32_t value = Measured(row[1]);
      EXPECT_EQ(row[0] == "period" ? LongNamePeriod(value) : LongNameFrequency(value), row[2]);
    }
    if (row[0] == "name") {
      ASSERT_EQ(row.size(), 11u);
      NamingOptions naming{row[2] == "-" ? "" : row[2], row[4] == "-" ? "" : row[4]};
      const ReceiverSetupRecord setup = test::SetupOf(row[8]);
      const int64_t first = kDay20190624Ms + std::stoll(row[3]) * 1000;
      const int type = static_cast<int>(kTypeLetters.find(row[7]));
      const NameRequest request{row[1],           &naming, first, Measured(row[5]),
                                Measured(row[6]), type,    &setup};
      EXPECT_EQ(Name(request, row[9], [](const std::string&) { return false; }), row[10]);
    }
    if (row[0] == "sequence") {
      const std::vector<std::string> existing = test::Words(row[1]);
      const std::set<std::string> files(existing.begin(), existing.end());
      const auto exists = [&](const std::string& name) {
        return files.count(name) > 0 || (files.count("*O") > 0 && name.ends_with("O"));
      };
      const NamingOptions naming;
      const int type = static_cast<int>(kTypeLetters.find(row[2][0]));
      const NameRequest request{"a.qdx", &naming, kDay20190624Ms, 1000, 60, type, &defaults};
      EXPECT_EQ(Name(request, "seq " + row[2].substr(1), exists), row[3]);
    }
  }
}

// Which ephemeris blocks the navigation walks turn into records, the
// correction blocks they keep, and the window they run in.

constexpr uint32_t kTow = 345618000;
constexpr uint16_t kWeek = 2060;
constexpr int64_t kT0 = int64_t{kWeek} * kMsPerWeek + kTow;

// Every record of a walk over `blocks` as "satellite:tag", the tag being the
// issue of a Keplerian record (its first orbit value) or the last value of a
// GLONASS or SBAS record (age or IODN); "-" for none.
std::string Walk(NavRun run, const std::vector<uint8_t>& file, TimeWindow window, bool* wrote,
                 NavCorrections* corrections = nullptr) {
  test::ScopedTempDir dir("nav_walk");
  EXPECT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  auto lines = test::Split(test::WalkText(dir / "in.qdx", run, window, wrote, corrections), '\n');
  lines.pop_back();  // after the last newline
  const bool cartesian = run == NavRun::kGlonass || run == NavRun::kSbas;
  const size_t size = cartesian ? 4 : 8;
  EXPECT_EQ(lines.size() % size, 0u);
  std::string records;
  for (size_t i = 0; i + size <= lines.size(); i += size) {
    const std::string tag = cartesian ? lines[i + 3].substr(61) : lines[i + 1].substr(4, 19);
    records += (i > 0 ? " " : "") + lines[i].substr(0, 3) + ":" +
               std::to_string(static_cast<int>(std::stod(tag)));
  }
  return records.empty() ? "-" : records;
}

// The description (see test::Blocks()) of a block of data/nav_walks.txt:
// KIND:MS:SVID:KEY:TAG[:short|:notime].
std::string Block(const std::string& text) {
  std::vector<std::string> f = test::Split(text, ':');
  f.resize(6);
  const int ms = std::stoi(f[1]), svid = std::stoi(f[2]), tag = std::stoi(f[4]);
  const uint32_t key = static_cast<uint32_t>(std::stoul(f[3])),
                 tow = static_cast<uint32_t>(int64_t{kTow} + ms);
  const std::string n = test::N(key);
  const std::string description =
      f[0] == "G"   ? test::GpsLayoutBlock(5891, tow, kWeek, svid, static_cast<int>(key))
      : f[0] == "J" ? test::GpsLayoutBlock(4095, tow, kWeek, svid, static_cast<int>(key))
      : f[0] == "E" ? test::GalBlock(tow, kWeek, svid, static_cast<int>(key), tag)
      : f[0] == "C" ? test::GpsLayoutBlock(4081, tow, kWeek, svid, 0) + " u32@32=" + n +
                          " u8@21=" + test::N(tag)
      : f[0] == "R" ? test::GloBlock(svid, 345630000 + ms, tag)
                    : test::SbasBlock(svid, 100500 + ms, key, tag);
  return description + (f[5] == "short" ? f[0] == "R" ? " size=80" : " size=139" : "") +
         (f[5] == "notime" ? " u32@8=4294967295" : "");
}

TEST(NavWalks, BlocksTurnedIntoRecords) {
  const std::pair<const char*, NavRun> runs[] = {
      {"GPS", NavRun::kGps},       {"QZSS", NavRun::kQzss},       {"Galileo", NavRun::kGalileo},
      {"BeiDou", NavRun::kBeidou}, {"GLONASS", NavRun::kGlonass}, {"SBAS", NavRun::kSbas}};
  for (const auto& row : test::ReadCases("convert/data/nav_walks.txt")) {
    SCOPED_TRACE(row[0] + " | " + row[1] + " | " + row[2]);
    const auto run = std::find_if(std::begin(runs), std::end(runs),
                                  [&](const auto& r) { return row[0] == r.first; });
    ASSERT_NE(run, std::end(runs));
    const int64_t t0 = run->second == NavRun::kGlonass ? kWeek * kMsPerWeek + 345630000
                       : run->second == NavRun::kSbas  ? 2061 * kMsPerWeek + 100500
                                                       : kT0;
    const std::vector<std::string> window = test::Words(row[1]);
    TimeWindow w{kNoStartMs, kNoEndMs};
    if (window[0] != "all") w.start_ms = t0 + std::stoll(window[0]);
    if (window.size() > 1 && window[1] != "-") w.end_ms = t0 + std::stoll(window[1]);
    std::vector<uint8_t> file;
    for (const std::string& b : test::Words(row[2])) test::Append(&file, test::Blocks(Block(b)));
    bool wrote = false;
    EXPECT_EQ(Walk(run->second, file, w, &wrote), row[3]);
    EXPECT_EQ(wrote, row[3] != "-");
  }
}

// The GPS walk keeps the last ionosphere block long enough (not the last
// one, too short) and the UTC block whatever its time stamp (not present:
// satellite byte 0); the Galileo walk keeps a GPS time offset only with a
// reference time within the week.
TEST(NavWalks, CorrectionBlocksAreKept) {
  bool wrote = true;
  NavCorrections c;
  EXPECT_EQ(
      Walk(NavRun::kGps,
           test::Blocks("5893 345618000 2060 48 u8@14=1 f32@16=1;"
                        "5893 345618001 2060 48 u8@14=2 f32@16=2 f32@44=3;"
                        "5893 345618002 2060 44 u8@14=3; 5894 4294967295 2060 40 f64@20=1.5e-9"),
           {kNoStartMs, kNoEndMs}, &wrote, &c),
      "-");
  EXPECT_FALSE(wrote);
  EXPECT_TRUE(c.gps_iono.present && c.gps_iono.alpha[0] == 2.0f && c.gps_iono.beta[3] == 3.0f);
  EXPECT_TRUE(!c.gps_utc.present && c.gps_utc.a0 == 1.5e-9);
  Walk(NavRun::kGalileo,
       test::Blocks("4032 345618000 2060 32 u8@14=1 u32@24=86400; 4032 345618000 2060 32 u8@14=1 "
                    "u32@24=918000;"
                    "4031 345618000 2060 40 u8@14=1; 4030 345618000 2060 32 u8@14=1"),
       {kNoStartMs, kNoEndMs}, &wrote, &c);
  EXPECT_TRUE(c.gal_utc.present && c.gal_iono.present);
  EXPECT_EQ(c.gal_gps.t_og, 86400u);
}

TEST(NavWindow, TimesOfDayTieToTheFirstEpochAndAnOpenStartGetsTheMargin) {
  for (const auto& row : test::ReadCases("convert/data/nav_window.txt")) {
    const auto ms = [&](size_t i, int64_t open) {
      return row[i] == "-" ? open : std::stoll(row[i]);
    };
    TimeWindow window{ms(1, kNoStartMs), ms(2, kNoEndMs)};
    SettleNavWindow(std::stoll(row[0]), &window);
    EXPECT_EQ(window.start_ms, ms(3, kNoStartMs)) << row[0] << " " << row[1];
    EXPECT_EQ(window.end_ms, ms(4, kNoEndMs)) << row[0] << " " << row[2];
  }
}

// The meteorological file of a hand-built log (sections of data/met_blocks.txt
// joined by '+'), its date masked; "no data" when no file is made.
std::string Meteo(const test::ScopedTempDir& dir, const std::string& log, uint32_t interval_ms,
                  int64_t start_ms, RinexVersion version) {
  static const auto sections = test::ReadGoldens("convert/data/met_blocks.txt");
  std::vector<uint8_t> file;
  for (const auto& part : test::Split(log, '+'))
    test::Append(&file, test::Blocks(sections.at(part)));
  EXPECT_TRUE(test::WriteFileBytes(dir / "in.qdx", file));
  ConvertOptions options;
  options.interval_ms = interval_ms;
  options.window.start_ms = start_ms;
  options.naming.output_name = dir / "out.m";
  options.version = version;
  ConvertJob job;
  job.options = &options;
  job.input = job.input_name = dir / "in.qdx";
  ProgressTrack progress;
  const ProductResult result = MakeMeteoFile(job, &progress).result;
  std::string text =
      std::filesystem::exists(dir / "out.m") ? test::ReadFileText(dir / "out.m") : "";
  std::filesystem::remove(dir / "out.m");
  if (result != ProductResult::kWritten) return result == ProductResult::kNoData ? "no data" : text;
  return text.replace(text.find('\n') + 1, 60, std::string(60, '~'));
}

TEST(MetFile, HandBuiltLogs) {
  test::ScopedTempDir dir("met");
  const auto texts = test::ReadGoldens("convert/data/met_files.expected");
  const int64_t ten = 36000000;  // 10:00:00
  EXPECT_EQ(Meteo(dir, "blocks", 30000, ten, RinexVersion::k211),
            texts.at("2.11 from 10:00, 30 s"));
  EXPECT_EQ(Meteo(dir, "blocks", 30000, ten, RinexVersion::k304),
            texts.at("3.04 from 10:00, 30 s"));
  EXPECT_EQ(Meteo(dir, "blocks+later setup", 1, -1, RinexVersion::k210),
            texts.at("2.10, every sentence"));
  EXPECT_EQ(Meteo(dir, "no usable sentence", 1, -1, RinexVersion::k211), "no data");
}

// Output files whose system calls fail, in every chain (plain, gzip, Compact
// RINEX, header written last in place or through a spool): each failed write
// (390), seek back to the header (391), close (389) and rename (392) is
// reported, and leaves no file under the final name and no temporary file.

namespace fs = std::filesystem;

enum Break {
  kNone,          // the file is completed
  kDeviceFull,    // the output is /dev/full (written directly): every write fails
  kPipeToSeek,    // the descriptor rewound for the header is a pipe
  kFullAtHeader,  // once rewound, the file's descriptor leads to /dev/full
  kClosedBehind,  // the file's descriptor is closed behind its back before the commit
  kFolderAtName,  // a folder takes the final name before the commit
  kRunEnding,     // the run ends (a signal came) before the commit
  kNoSpool,       // $TMPDIR does not exist: the spool cannot be made
};

constexpr CrxStamp kStamp{"test", 2024, 3, 10, 0, 0};
constexpr OutputFormat kPlain{}, kGzip{.gzip = true}, kLast{.header_last = true};
constexpr OutputFormat kCrx{.compact_rinex = true, .crx_stamp = kStamp};
constexpr OutputFormat kCrxGzip{.compact_rinex = true, .crx_stamp = kStamp, .gzip = true};
constexpr OutputFormat kLastGzip{.header_last = true, .gzip = true};

// The failures of a way of breaking the file, with the chains it is tried on.
struct Row {
  Break how;
  int site, error;  // site 0: no failure
  std::vector<OutputFormat> formats;
};
const Row kRows[] = {
    {kNone, 0, 0, {kPlain, kGzip, kCrx, kCrxGzip, kLast, kLastGzip}},
    {kDeviceFull, 390, ENOSPC, {kPlain, kGzip, kCrx, kCrxGzip, kLast, kLastGzip}},
    {kPipeToSeek, 391, ESPIPE, {kLast, kLastGzip}},
    {kFullAtHeader, 390, ENOSPC, {kLast, kLastGzip}},
    {kClosedBehind, 389, EBADF, {kPlain, kLast}},
    {kClosedBehind, 390, EBADF, {kGzip, kCrx, kLastGzip}},  // a last write fails first
    {kFolderAtName, 392, EISDIR, {kPlain, kCrx, kLastGzip}},
    {kRunEnding, 392, EINTR, {kPlain, kLast}},
    {kNoSpool, 390, ENOENT, {kLastGzip}},
};

// An observation text: a header, then records.
const std::string kText =
    test::ReadFileText(KAVRINO_SOURCE_DIR "/tests/e2e/data/obs_basic_211.rnx");
const size_t kHeaderSize = kText.find('\n', kText.find("END OF HEADER")) + 1;

// Gives the descriptor `fd` the file of `replacement`.
void Replace(int replacement, int fd) {
  EXPECT_EQ(dup2(replacement, fd), fd);
  close(replacement);
}

// Writes the text as the product writers do, breaking the file as `how` says;
// "" once the file is completed, otherwise the message of the failure.
std::string WriteFile(Break how, const OutputFormat& format, const std::string& path,
                      TempFiles* temps, OutputFile* file) {
  std::string message;
  if (!OpenOutputFile(path, OutputContext{nullptr, temps}, format, file, &message)) return message;
  int ends[2] = {-1, -1};  // the read end stays open while the pipe is written
  if (how == kPipeToSeek && pipe(ends) == 0) {
    Replace(ends[1], file->spool_fd >= 0 ? file->spool_fd : file->fd);
  }
  if (format.header_last) {
    WriteText(&file->stream, std::string(kHeaderSize, ' '));  // the reserved lines
    WriteText(&file->stream, kText.substr(kHeaderSize));
    const bool rewound = RewindOutputFile(file, &message);
    if (ends[0] >= 0) close(ends[0]);
    if (!rewound) return message;
    if (how == kFullAtHeader) Replace(open("/dev/full", O_WRONLY), file->fd);
  }
  WriteText(&file->stream, format.header_last ? kText.substr(0, kHeaderSize) : kText);
  if (how == kClosedBehind) {
    EXPECT_TRUE(FlushOutStream(&file->stream));
    close(file->fd);
  }
  if (how == kFolderAtName) fs::create_directory(path);
  if (how == kRunEnding) RemoveTempFiles(temps, false);
  if (how == kNone) {  // complete but not committed: under a temporary name beside it
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(temps->paths, std::vector<std::string>{file->temp_path});
    const fs::path temp(file->temp_path);
    EXPECT_EQ(temp.parent_path(), fs::path(path).parent_path());
    EXPECT_TRUE(
        std::regex_match(temp.filename().string(), std::regex(R"(\.out\.rnx\.[0-9a-f]{8}\.part)")));
  }
  return CommitOutputFile(file, &message) ? "" : message;
}

TEST(OutputFile, EveryFailureIsReportedAndLeavesNoFile) {
  const char* tmpdir = std::getenv("TMPDIR");  // the spool's folder
  const std::string saved_tmpdir = tmpdir != nullptr ? tmpdir : "/tmp";
  for (const Row& row : kRows) {
    for (const OutputFormat& format : row.formats) {
      SCOPED_TRACE("break " + std::to_string(static_cast<int>(row.how)) +
                   (format.header_last ? ", header last" : "") +
                   (format.compact_rinex ? ", crx" : "") + (format.gzip ? ", gzip" : ""));
      test::ScopedTempDir folder("output_file");
      const std::string path = row.how == kDeviceFull ? "/dev/full" : folder / "out.rnx";
      setenv("TMPDIR", (row.how == kNoSpool ? folder / "missing" : saved_tmpdir).c_str(), 1);
      TempFiles temps;
      OutputFile file;
      const std::string message = WriteFile(row.how, format, path, &temps, &file);
      EXPECT_TRUE(temps.paths.empty() && file.fd == -1 && file.spool_fd == -1);  // all released
      std::string left;
      for (const auto& entry : fs::directory_iterator(folder.path())) {
        left += entry.path().filename().string() + (entry.is_directory() ? "/ " : " ");
      }
      if (row.how != kNone) {
        EXPECT_EQ(message, "Abnormal program termination (mkringen," + std::to_string(row.site) +
                               "): " + std::strerror(row.error));
        EXPECT_EQ(left, row.how == kFolderAtName ? "out.rnx/ " : "");  // the folder as it was
        continue;
      }
      EXPECT_EQ(message, "");
      EXPECT_EQ(left, "out.rnx ");
      if (!format.gzip && !format.compact_rinex) {
        EXPECT_EQ(test::ReadFileText(path), kText);
      }
    }
  }
  setenv("TMPDIR", saved_tmpdir.c_str(), 1);
}

// The gzip output stream and the decompression of compressed input logs, both
// checked against the compression libraries themselves.

using K = CompressionKind;

// Digits, blanks and newlines: compresses to about half, like observation text.
std::string DigitText(size_t size) {
  std::string text;
  for (uint64_t x = 1, i = 0; text.size() < size; ++i) {
    x = x * 6364136223846793005u + 1442695040888963407u;
    text += std::to_string(x >> 40) + (i % 8 == 7 ? '\n' : ' ');
  }
  return text.substr(0, size);
}

// One gzip member made by zlib at level 6.
std::string Gzip(std::string text) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(text.data());
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  deflateEnd(&z);
  return out.substr(0, z.total_out);
}

// Inflates the members of `gz` one after the other; false on any error.
bool Gunzip(std::string gz, std::string* text, int* members) {
  z_stream z{};
  inflateInit2(&z, 15 + 16);
  z.next_in = reinterpret_cast<Bytef*>(gz.data());
  z.avail_in = static_cast<uInt>(gz.size());
  char out[65536];
  int rc = Z_OK;
  for (*members = 0; rc == Z_OK || (rc == Z_STREAM_END && z.avail_in > 0 && !inflateReset(&z));) {
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = sizeof out;
    rc = inflate(&z, Z_NO_FLUSH);
    text->append(out, sizeof out - z.avail_out);
    *members += rc == Z_STREAM_END;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

TEST(GzipStream, RoundTripsOneMemberPerChunkNoLargerThanZlib) {
  constexpr size_t M = kGzipChunkSize;
  const size_t cases[][3] = {{0, 1, 1},     {1000, 7, 1},           {M, M, 1},
                             {M + 1, 1, 2}, {2 * M + 9, 300001, 3}, {3 * M + 5, 3 * M + 5, 4}};
  for (const auto [size, piece, members_made] : cases) {  // size in pieces of `piece` bytes
    SCOPED_TRACE(size);
    const std::string text = DigitText(size);
    std::string gz, back;
    GzipStream stream;
    ASSERT_TRUE(StartGzipStream(&stream, StringSink(&gz)));
    const ByteSink sink = GzipStreamSink(&stream);
    for (size_t at = 0; at < size; at += piece) {
      ASSERT_TRUE(sink.write(sink.context, &text[at], std::min(piece, size - at)));
    }
    ASSERT_TRUE(FinishGzipStream(&stream));
    int members = 0;
    EXPECT_TRUE(Gunzip(gz, &back, &members) && back == text);
    EXPECT_EQ(static_cast<size_t>(members), members_made);
    // zlib's empty member is 3 bytes shorter; each extra member costs a header.
    EXPECT_LE(gz.size(), Gzip(text).size() + 3 + 18 * (members - 1));
  }
}

std::string Zstd(const std::string& text) {
  std::string out(ZSTD_compressBound(text.size()), '\0');
  return out.substr(0, ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3));
}
std::string Bzip2(std::string text) {
  unsigned n = static_cast<unsigned>(text.size()), size = 2 * n + 600;
  std::string out(size, '\0');
  BZ2_bzBuffToBuffCompress(out.data(), &size, text.data(), n, 9, 0, 0);
  return out.substr(0, size);
}

// TMPDIR is an empty folder of each test's own, removed however the test ends.
class CompressedInputTest : public ::testing::Test {
 protected:
  CompressedInputTest() {
    fs::create_directory(tmp_);
    if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  ~CompressedInputTest() override {
    old_tmpdir_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", old_tmpdir_.c_str(), 1);
  }

  // Decompresses `bytes` saved as a file, reads the copy, removes it and
  // checks that nothing is left in the temporary folder.
  DecompressedInput Run(const std::string& bytes, std::string* copy,
                        const DecompressOptions& options = {}) {
    EXPECT_TRUE(test::WriteFileBytes(input_, {bytes.begin(), bytes.end()}));
    DecompressedInput result = DecompressInput(input_.c_str(), options);
    *copy = result.temp_path.empty() ? "" : test::ReadFileText(result.temp_path);
    EXPECT_EQ(result.size, copy->size());
    EXPECT_EQ(result.temp_path.empty(), !result.ok || result.kind == K::kNone);
    EXPECT_TRUE(result.temp_path.empty() || result.temp_path.starts_with(tmp_ + "/kavrino-"));
    EXPECT_TRUE(RemoveDecompressedInput(&result) && result.temp_path.empty());
    EXPECT_TRUE(fs::is_empty(tmp_));
    return result;
  }

  test::ScopedTempDir dir_{"compressed_input"};
  std::string tmp_ = dir_ / "tmp", input_ = dir_ / "log.qdx", old_tmpdir_;
  const std::string text_ = DigitText(2500000);
};

// The bytes of a row of data/compressed_input.txt.
std::string Recipe(const std::string& recipe, const std::string& text) {
  std::string bytes;
  for (const std::string& word : test::Words(recipe)) {
    if (!word.starts_with("gzip:") && !word.starts_with("zstd:") && !word.starts_with("bzip2:") &&
        !word.starts_with("cut:") && !word.starts_with("spoil:")) {
      bytes += word;
      continue;
    }
    std::vector<std::string> f = test::Split(word, ':');
    const std::string part = f.back() == "text"   ? text
                             : f.back() == "head" ? text.substr(0, 1200000)
                             : f.back() == "tail" ? text.substr(1200000)
                             : f.back() == "one"  ? text.substr(0, 1)
                                                  : "";
    const std::string& kind = f[f.size() - 2];
    std::string packed = kind == "gzip" ? Gzip(part) : kind == "zstd" ? Zstd(part) : Bzip2(part);
    if (f[0] == "cut") packed.resize(packed.size() * 3 / 5);
    if (f[0] == "spoil") packed.replace(packed.size() / 2, 99, 99, '~');
    bytes += packed;
  }
  return bytes;
}

TEST_F(CompressedInputTest, KeepsWhatDecompressesCleanlyWarningOfFaults) {
  const std::pair<const char*, K> kinds[] = {
      {"none", K::kNone}, {"gzip", K::kGzip}, {"zstd", K::kZstd}, {"bzip2", K::kBzip2}};
  for (const auto& row : test::ReadCases("convert/data/compressed_input.txt")) {
    SCOPED_TRACE(row[0]);
    std::string copy;
    const DecompressedInput result = Run(Recipe(row[0], text_), &copy);
    EXPECT_TRUE(result.ok) << result.error;
    for (const auto& [name, kind] : kinds) EXPECT_EQ(result.kind == kind, row[1] == name) << name;
    EXPECT_EQ(result.warning.empty(), row[3].empty()) << result.warning;
    EXPECT_TRUE(result.warning.starts_with(input_ + ": " + row[3]) || row[3].empty());
    EXPECT_TRUE(row[2] != "prefix" || (copy.size() > 500000 && text_.starts_with(copy)));
    EXPECT_TRUE(row[2] != "empty" || copy.empty());
    EXPECT_TRUE(row[2] != "whole" || copy == text_);
    EXPECT_TRUE(row[2] != "first byte" || copy == text_.substr(0, 1));
  }
}

TEST_F(CompressedInputTest, FailuresLeaveNoTemporaryFile) {
  const struct {
    std::string temp_dir;
    uint64_t limit, margin;
    std::string error;
  } cases[] = {
      {"", 1500000, 0, "decompressed it is larger than the limit of 1500000 bytes; stopped"},
      {"", UINT64_MAX, UINT64_MAX, "decompressed it does not fit in the free space under " + tmp_},
      {tmp_ + "/none", UINT64_MAX, 0, "cannot create a temporary file under " + tmp_ + "/none"}};
  for (const std::string& bytes : {Gzip(text_), Zstd(text_), Bzip2(text_)}) {
    for (const auto& c : cases) {
      std::string copy;
      const DecompressedInput result = Run(bytes, &copy, {c.temp_dir, c.limit, c.margin});
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.error.find(input_ + ": " + c.error), 0u) << result.error;
    }
  }
  const DecompressedInput missing = DecompressInput((dir_ / "none").c_str(), {});
  EXPECT_TRUE(!missing.ok && missing.error == dir_ / "none: cannot open it: " + strerror(ENOENT));
}

}  // namespace
}  // namespace kavrino
