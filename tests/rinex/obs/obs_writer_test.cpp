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
  *rec = MeasEpochRecord{};
  rec->tow_ms = 345600000u + 1000u * static_cast<uint32_t>(k);
  rec->week = 2000;
  rec->num_sats = 1;
  rec->sats[0].sat_index = static_cast<uint8_t>(1 + k % 32);
  rec->sats[0].sig[0][0] = {2.1e7 + k,
                            1.1e8 + k,
                            static_cast<float>(k),
                            45.0f,
                            static_cast<uint32_t>(k % 7 == 0 ? 1000 : 100000 + 1000 * k),
                            0,
                            SIG_FLAG_FILLED};
}

// Epochs written by WriteObsEpoch alone (`writer` null), or through the writer,
// with its thread stopped first when `synchronous`: a text before every fifth
// epoch, and now and then a record taken and filled without being handed over.
std::string Epochs(const ObsTypeLayout& layout, int epochs, ObsEpochWriter* writer,
                   bool synchronous) {
  return test::CaptureWrites([&](OutStream* out) {
    auto rec = std::make_unique<MeasEpochRecord>();
    auto history = std::make_unique<LockHistory>();
    const ObsRecordContext context{&layout, 1, history.get()};
    if (writer != nullptr) StartObsEpochWriter(writer, out, &layout, 1);
    if (synchronous) FinishObsEpochWriter(writer);
    OutStream* text = writer != nullptr ? ObsWriterTextStream(writer) : out;
    for (int k = 0; k < epochs; ++k) {
      if (k % 5 == 0) {
        WriteText(text, "text before epoch " + std::to_string(k) + "\n");
        FlushOutStream(text);
      }
      if (writer == nullptr) {
        FillEpoch(rec.get(), k);
        WriteObsEpoch(out, context, *rec, k == 0);
        continue;
      }
      if (k % 3 == 0) FillEpoch(ObsWriterRecord(writer), 999);
      FillEpoch(ObsWriterRecord(writer), k);
      HandOverEpoch(writer, k == 0);
    }
    if (writer != nullptr) FinishObsEpochWriter(writer);
  });
}

TEST(ObsEpochWriter, WritesWhatTheWriterFunctionsWriteInOrder) {
  for (RinexVersion version : {RinexVersion::k211, RinexVersion::k304}) {
    ObsTypeLayout layout;
    BuildObsTypeLayout(&layout, 1, true, true, false, version);
    for (int epochs : {0, 1, 7, static_cast<int>(3 * kObsWriterSlots + 5), 2000}) {
      SCOPED_TRACE(testing::Message() << "version " << static_cast<int>(version) << ", " << epochs);
      const std::string expected = Epochs(layout, epochs, nullptr, false);
      for (bool synchronous : {false, true}) {
        auto writer = std::make_unique<ObsEpochWriter>();
        EXPECT_EQ(Epochs(layout, epochs, writer.get(), synchronous), expected) << synchronous;
      }
    }
  }
}

}  // namespace
}  // namespace kavrino
