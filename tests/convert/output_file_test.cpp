// Output files whose system calls fail, in every chain (plain, gzip, Compact
// RINEX, header written last in place or through a spool): each failed write
// (390), seek back to the header (391), close (389) and rename (392) is
// reported, and leaves no file under the final name and no temporary file.
#include "convert/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/scoped_dir.h"

namespace kavrino {
namespace {

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

}  // namespace
}  // namespace kavrino
