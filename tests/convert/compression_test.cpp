// The gzip output stream, checked against zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>

#include "convert/gzip_stream.h"

namespace kavrino {
namespace {

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

// A sink whose context counts the writes left before every write fails.
bool FailLater(void* writes_left, const char*, size_t) {
  errno = ENOSPC;
  return (*static_cast<int*>(writes_left))-- > 0;
}

TEST(GzipStream, DownstreamFailureIsKeptAndReported) {
  const std::string text = DigitText(2 * kGzipChunkSize + 1);
  const std::tuple<int, size_t, bool> cases[] = {
      {0, 10, true}, {0, text.size(), false}, {1, text.size(), false}, {2, text.size(), true}};
  for (const auto& [good_writes, size, feeding_ok] : cases) {
    SCOPED_TRACE(good_writes);
    int writes_left = good_writes;
    GzipStream stream;
    ASSERT_TRUE(StartGzipStream(&stream, ByteSink{&writes_left, FailLater}));
    const ByteSink sink = GzipStreamSink(&stream);
    EXPECT_EQ(sink.write(sink.context, text.data(), size), feeding_ok);
    EXPECT_TRUE(feeding_ok || errno == ENOSPC);
    errno = 0;
    EXPECT_FALSE(FinishGzipStream(&stream));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(writes_left, -1);  // nothing more after the failure
  }
}

}  // namespace
}  // namespace kavrino
