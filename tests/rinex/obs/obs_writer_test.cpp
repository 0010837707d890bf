#include "rinex/obs/obs_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings.h"
#include "rinex/obs/obs_epoch.h"
#include "support/capture.h"

namespace kavrino {
namespace {

// Epoch k of a test sequence: one GPS satellite whose values and lock time
// change with k, so that any reordering or reuse of a record shows.
void FillEpoch(MeasEpochRecord* rec, int k) {
  rec->tow_ms = 345600000u + 1000u * static_cast<uint32_t>(k);
  rec->week = 2000;
  rec->num_sats = 1;
  MeasSatEntry& sat = rec->sats[0];
  sat = MeasSatEntry{};
  sat.sat_index = static_cast<uint8_t>(1 + k % 32);
  sat.sig[0][0] = MeasSignal{2.1e7 + k,
                             1.1e8 + k,
                             static_cast<float>(k),
                             45.0f,
                             static_cast<uint32_t>(k % 7 == 0 ? 1000 : 100000 + 1000 * k),
                             0,
                             SIG_FLAG_FILLED};
}

bool HasText(int k) {
  return k % 5 == 0;
}

std::string Text(int k) {
  return "text before epoch " + std::to_string(k) + "\n";
}

// The file made by WriteObsEpoch and fputs alone.
std::string Direct(const ObsTypeLayout& layout, int epochs) {
  return test::CaptureWrites([&](FILE* out) {
    MeasEpochRecord rec{};
    for (int k = 0; k < epochs; ++k) {
      if (HasText(k)) std::fputs(Text(k).c_str(), out);
      FillEpoch(&rec, k);
      WriteObsEpoch(out, layout, rec, 1, k == 0);
    }
  });
}

// The same through the writer; `synchronous` stops its thread first.
std::string ThroughWriter(const ObsTypeLayout& layout, int epochs, bool synchronous) {
  return test::CaptureWrites([&](FILE* out) {
    ObsEpochWriter writer;
    StartObsEpochWriter(&writer, out, &layout, 1);
    if (synchronous) FinishObsEpochWriter(&writer);
    FILE* text = OpenObsWriterTextStream(&writer);
    ASSERT_NE(text, nullptr);
    for (int k = 0; k < epochs; ++k) {
      if (HasText(k)) {
        std::fputs(Text(k).c_str(), text);
        std::fflush(text);
      }
      // A record is taken and decoded into without being handed over now and then.
      if (k % 3 == 0) FillEpoch(ObsWriterRecord(&writer), 999);
      FillEpoch(ObsWriterRecord(&writer), k);
      HandOverEpoch(&writer, k == 0);
    }
    std::fclose(text);
    FinishObsEpochWriter(&writer);
  });
}

TEST(ObsEpochWriter, WritesWhatTheWriterFunctionsWriteInOrder) {
  for (int version : {RINEX_211, RINEX_304}) {
    ObsTypeLayout layout;
    BuildObsTypeLayout(&layout, 1, true, true, false, version);
    for (int epochs : {0, 1, 7, static_cast<int>(3 * kObsWriterSlots + 5), 2000}) {
      SCOPED_TRACE(testing::Message() << "version " << version << ", " << epochs << " epochs");
      const std::string expected = Direct(layout, epochs);
      EXPECT_EQ(ThroughWriter(layout, epochs, false), expected);
      EXPECT_EQ(ThroughWriter(layout, epochs, true), expected);
    }
  }
}

}  // namespace
}  // namespace kavrino
