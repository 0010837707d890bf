#include "core/diag.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace kavrino {
namespace {

// AssertFailed is checked by the signal table's death test.
TEST(Diagnostics, MessagesNameTheFailureAndItsReason) {
  EXPECT_EQ(FatalMessage("qdxread", 460, ENOENT),
            "Abnormal program termination (qdxread,460): No such file or directory");
  EXPECT_EQ(FatalMessage("mkringen", 389, ENOSPC),
            "Abnormal program termination (mkringen,389): No space left on device");
  EXPECT_EQ(OpenFailureMessage("output RINEX", "a/b.24O", "writing", EACCES),
            "The output RINEX file \"a/b.24O\" could not be opened for writing: Permission denied");
  // The text before the reason is cut to 254 characters; "Abnormal program
  // termination (" is 30 of them.
  EXPECT_EQ(FatalMessage(std::string(300, 'm').c_str(), 1, EACCES),
            "Abnormal program termination (" + std::string(224, 'm') + ": Permission denied");
}

}  // namespace
}  // namespace kavrino
