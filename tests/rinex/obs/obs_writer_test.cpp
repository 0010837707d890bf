#include "rinex/obs/obs_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/rinex_version.h"
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
  return test::CaptureWrites([&](OutStream* out) {
    MeasEpochRecord rec{};
    auto history = std::make_unique<LockHistory>();
    const ObsRecordContext context{&layout, 1, history.get()};
    for (int k = 0; k < epochs; ++k) {
      if (HasText(k)) WriteText(out, Text(k));
      FillEpoch(&rec, k);
      WriteObsEpoch(out, context, rec, k == 0);
    }
  });
}

// The same through the writer; `synchronous` stops its thread first.
std::string ThroughWriter(const ObsTypeLayout& layout, int epochs, bool synchronous) {
  return test::CaptureWrites([&](OutStream* out) {
    auto writer_object = std::make_unique<ObsEpochWriter>();
    ObsEpochWriter& writer = *writer_object;
    StartObsEpochWriter(&writer, out, &layout, 1);
    if (synchronous) FinishObsEpochWriter(&writer);
    OutStream* text = ObsWriterTextStream(&writer);
    for (int k = 0; k < epochs; ++k) {
      if (HasText(k)) {
        WriteText(text, Text(k));
        FlushOutStream(text);
      }
      // A record is taken and decoded into without being handed over now and then.
      if (k % 3 == 0) FillEpoch(ObsWriterRecord(&writer), 999);
      FillEpoch(ObsWriterRecord(&writer), k);
      HandOverEpoch(&writer, k == 0);
    }
    FinishObsEpochWriter(&writer);
  });
}

TEST(ObsEpochWriter, WritesWhatTheWriterFunctionsWriteInOrder) {
  for (RinexVersion version : {RinexVersion::k211, RinexVersion::k304}) {
    ObsTypeLayout layout;
    BuildObsTypeLayout(&layout, 1, true, true, false, version);
    for (int epochs : {0, 1, 7, static_cast<int>(3 * kObsWriterSlots + 5), 2000}) {
      SCOPED_TRACE(testing::Message()
                   << "version " << static_cast<int>(version) << ", " << epochs << " epochs");
      const std::string expected = Direct(layout, epochs);
      EXPECT_EQ(ThroughWriter(layout, epochs, false), expected);
      EXPECT_EQ(ThroughWriter(layout, epochs, true), expected);
    }
  }
}

}  // namespace
}  // namespace kavrino
