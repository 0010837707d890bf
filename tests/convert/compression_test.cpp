// The gzip output stream and the decompression of compressed input logs, both
// checked against the compression libraries themselves.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <filesystem>

#include "convert/compressed_input.h"
#include "convert/gzip_stream.h"
#include "rinex/case_table.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
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
      bytes += word == "text" ? text : word;
      continue;
    }
    std::vector<std::string> f = test::Split(word, ':');
    const std::string part = f.back() == "text"   ? text
                             : f.back() == "head" ? text.substr(0, 1200000)
                             : f.back() == "tail" ? text.substr(1200000)
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
