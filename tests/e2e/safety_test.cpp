// Data safety end to end: failed writes of every product, outputs that are
// inputs of the run, devices and FIFOs, interruptions, exhausted -S.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/e2e.h"
#include "support/scoped_dir.h"

namespace kavrino {
namespace {

namespace fs = std::filesystem;
using test::ScopedTempDir;

// "-f LOG ", LOG an hour of every product's data (the short log of the archive tests).
std::string FromLog() {
  return "-f " + test::SharedLog("--no-truth --interval 30 --duration 3600 --systems G,R,E,S,C,J") +
         "/log.qdx ";
}
const std::string kKavrino = "'" KAVRINO_EXE "' ";
const std::string kFailed = "1 Abnormal program termination (mkringen,390): ";
const std::string kDone = "\r" + std::string(80, ' ') + "\rCreating RINEX file: done\n";

// The status and the standard error of a run.
std::string Outcome(const test::RunResult& r) {
  return std::to_string(r.status) + " " + r.err;
}

// The names in a folder, in order, each followed by a blank.
std::string Names(const std::string& dir) {
  std::string names;
  for (const auto& [name, what] : test::FolderFiles(dir)) names += name + " ";
  return names;
}

// Every product stops at the first failed write, at once (-o /dev/full) or
// partway through the records (a file-size limit, in blocks of 512 bytes in
// dash and in bash as sh), and leaves no file, truncated or temporary, under
// any name: an older file of the final name stays as it was.
TEST(Safety, FailedWritesOfEveryProduct) {
  // "-n" and its options; after a '|', stopped partway instead of at once.
  std::vector<std::string> rows = {"N --gzip", "O --crx --gzip", "|O --gzip", "|O --crx",
                                   "|O --crx --gzip"};
  for (const char p : std::string("OMNGEHIPB")) rows.insert(rows.end(), {{p}, {'|', p}});
  for (const std::string& row : rows) {
    const bool middle = row[0] == '|';
    const std::string args = FromLog() + "-n" + row.substr(middle);
    SCOPED_TRACE(args + (middle ? " (file-size limit)" : " -o /dev/full"));
    ScopedTempDir dir("safety_write"), whole("safety_whole");
    if (!middle) {
      EXPECT_EQ(Outcome(test::Kavrino(dir.path(), args + " -o /dev/full")),
                kFailed + std::strerror(ENOSPC) + "\n");
      EXPECT_EQ(Names(dir.path()), "");
      continue;
    }
    // The complete file gives the name, and a limit past the end of its header.
    ASSERT_EQ(test::Kavrino(whole.path(), args).status, 0);
    const auto made = test::FolderFiles(whole.path());
    ASSERT_EQ(made.size(), 1u);
    const auto& [name, text] = *made.begin();
    const size_t label = text.find("END OF HEADER");
    const size_t header_end = label == std::string::npos ? 0 : text.find('\n', label) + 1;
    const size_t blocks = ((header_end + text.size()) / 2 + 511) / 512;
    ASSERT_TRUE(blocks * 512 > header_end && blocks * 512 < text.size()) << blocks;
    ASSERT_TRUE(test::WriteFileBytes(dir / name, {'o', 'l', 'd', '\n'}));
    const std::string limit = "ulimit -f " + std::to_string(blocks) + "; trap '' XFSZ; ";
    EXPECT_EQ(Outcome(test::RunIn(dir.path(), limit + kKavrino + args)),
              kFailed + std::strerror(EFBIG) + "\n");
    EXPECT_EQ(Names(dir.path()), name + " ");
    EXPECT_EQ(test::ReadFileText(dir / name), "old\n");
  }
}

// An output that is an input of the run, under any name, is refused before
// anything is written; so is -S with every sequence character taken (by plain,
// gzip and Compact RINEX names).
TEST(Safety, RefusedOutputsWriteOverNothing) {
  ScopedTempDir dir("safety_refused");
  const std::string here = dir.path();
  const std::string setup =
      "cp " + FromLog().substr(3) + "in.qdx && cp in.qdx KVRN0700.24O && mkdir sub && " +
      "ln -s in.qdx link.qdx && ln in.qdx hard.qdx && gzip -c in.qdx >KVRN0700.24O.gz && " +
      "for c in 1 2 3 4 5 6 7 8 9 A B C D E F G H I J K L M N O P Q R S T U V W X Y Z; do " +
      "echo >KVRN070$c.24O; done && gzip KVRN0701.24O && mv KVRN0702.24O KVRN0702.24D";
  ASSERT_EQ(test::RunIn(here, setup).status, 0);
  const auto before = test::FolderFiles(here);
  const auto same = [](const std::string& out, const std::string& in) {
    return "The output RINEX file \"" + out + "\" is the input file \"" + in +
           "\"; it is not written over\n";
  };
  const struct {
    std::string args, err;
  } rows[] = {
      {"-f in.qdx -nO -o in.qdx", same("in.qdx", "in.qdx")},
      {"-f in.qdx -nN -o sub/../in.qdx", same("sub/../in.qdx", "in.qdx")},
      {"-f in.qdx -nM -o " + here + "/in.qdx", same(here + "/in.qdx", "in.qdx")},
      {"-f in.qdx -nP -o link.qdx", same("link.qdx", "in.qdx")},  // a symbolic link to it
      {"-f link.qdx -nB -o in.qdx", same("in.qdx", "link.qdx")},
      {"-f in.qdx -nG -o hard.qdx", same("hard.qdx", "in.qdx")},  // a hard link
      {"-f in.qdx -nE -o /dev/stdout >>in.qdx", same("/dev/stdout", "in.qdx")},
      // Logs named like their standard output name, the default short name.
      {"-f KVRN0700.24O -nO", same("KVRN0700.24O", "KVRN0700.24O")},
      {"-f KVRN0700.24O -nO -o copy", same("KVRN0700.24O", "KVRN0700.24O")},
      {"-f KVRN0700.24O.gz -nO --gzip", same("KVRN0700.24O.gz", "KVRN0700.24O.gz")},
      {"-f in.qdx KVRN0700.24O -nO", same("KVRN0700.24O", "KVRN0700.24O")},  // a later input
      {"-f in.qdx -nO -S --gzip",
       "Every sequence character of the output RINEX file "
       "\"KVRN070Z.24O\" is taken (0-9, A-Z); no file is written over\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    EXPECT_EQ(Outcome(test::RunIn(here, "{ " + kKavrino + row.args + "; }")), "1 " + row.err);
    EXPECT_TRUE(test::FolderFiles(here) == before) << Names(here);
  }
}

// Devices and FIFOs are written directly, every product with its full header.
TEST(Safety, PipesAndFifosAreWrittenDirectly) {
  ScopedTempDir files("safety_files"), dir("safety_direct");
  ASSERT_EQ(test::Kavrino(files.path(), FromLog() + "-nOMNGEHIPB").status, 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const auto& [name, text] : test::FolderFiles(files.path())) {
    SCOPED_TRACE(name);
    const std::string args = FromLog() + "-n" + (name.back() == 'L' ? 'E' : name.back());
    const auto piped = test::RunIn(dir.path(), "{ " + kKavrino + args + " -o /dev/stdout | cat; }");
    EXPECT_EQ(test::MaskRunDate(piped.out), test::MaskRunDate(text) + kDone);
    const std::string fifo =
        "{ timeout 10 cat fifo >got & " + kKavrino + args + " -o fifo; wait; }";
    EXPECT_EQ(test::RunIn(dir.path(), fifo).out, kDone);
    EXPECT_EQ(test::MaskRunDate(test::ReadFileText(dir / "got")), test::MaskRunDate(text));
    EXPECT_EQ(Names(dir.path()), "fifo got ");  // no temporary file
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  }
}

// SIGINT, SIGTERM and SIGHUP during the conversion of a gzip log end it with
// 128 + the signal and remove the temporary file of the output being written
// and the log's decompressed copy; the file completed before stays. Six hours
// of SBAS messages: the B file takes tenths of a second to compress.
TEST(Safety, SignalsRemoveTemporaryFiles) {
  const std::string log =
      test::SharedLog("--no-truth --systems S --duration 21600 --interval 30 --no-weather --gzip");
  for (const auto& [sig, status] : {std::pair{"INT", 130}, {"TERM", 143}, {"HUP", 129}}) {
    SCOPED_TRACE(sig);
    const ScopedTempDir dir("safety_signal");
    const std::string run = "{ s=" + std::string(sig) + " log=" + log + R"(/log.qdx; mkdir tmp
      TMPDIR="$PWD/tmp" env --default-signal=$s ')" KAVRINO_EXE R"(' -f $log -nHB --gzip & i=0
      until ls -A | grep -q 24B.gz. || [ $i -gt 5000 ]; do sleep 0.001; i=$((i + 1)); done
      kill -$s $!; wait $!; echo $? $(ls -A tmp) $(ls -A); gzip -t *.gz && gzip -dc *.gz | tail -c1
    })";
    EXPECT_EQ(test::RunIn(dir.path(), run).out,
              std::to_string(status) + " KVRN0700.24H.gz tmp\n\n");
  }
}

}  // namespace
}  // namespace kavrino
