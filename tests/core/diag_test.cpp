#include "core/diag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace kavrino {
namespace {

TEST(FatalStopDeathTest, PrintsOneLineWithReasonAndExitsWithOne) {
  EXPECT_EXIT(
      {
        errno = ENOENT;
        FatalStop("qdxread", 460);
      },
      testing::ExitedWithCode(1),
      "^Abnormal program termination \\(qdxread,460\\): No such file or directory\n$");
  EXPECT_EXIT(
      {
        errno = EIO;
        FatalStop("mkringen", 389);
      },
      testing::ExitedWithCode(1),
      "^Abnormal program termination \\(mkringen,389\\): Input/output error\n$");
}

TEST(FatalStopDeathTest, CutsTheMessageTo254Characters) {
  static const std::string module(300, 'm');
  // "Abnormal program termination (" is 30 characters; 224 of the module remain.
  const std::string expected =
      "^Abnormal program termination \\(" + std::string(224, 'm') + ": Permission denied\n$";
  EXPECT_EXIT(
      {
        errno = EACCES;
        FatalStop(module.c_str(), 1);
      },
      testing::ExitedWithCode(1), expected);
}

TEST(AssertFailedDeathTest, AbortsSilently) {
  EXPECT_EXIT(AssertFailed("gnssdef", "sigtypes", "GetSignalIndexInConstellation", 322),
              testing::KilledBySignal(SIGABRT), "^$");
}

}  // namespace
}  // namespace kavrino
