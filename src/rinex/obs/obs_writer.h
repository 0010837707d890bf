// The output side of the observation generator's second pass, on a thread of
// its own: while the walk decodes the next epochs, the epochs handed over
// before are formatted and written. The other records of the file (events,
// comments, site records) are handed over as text; everything reaches the
// file in the order it was handed over. When no thread can be started, each
// hand-over is written at once, with the same result.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/out_stream.h"
#include "core/thread.h"
#include "qdx/decode/meas_epoch.h"
#include "rinex/obs/obs_epoch.h"
#include "rinex/obs/obs_types.h"

namespace kavrino {

// Jobs in flight: each holds one decoded epoch (about 36 KB).
inline constexpr uint64_t kObsWriterSlots = 32;

struct ObsWriterJob {
  bool epoch;        // the slot's record, else `text`
  bool first_epoch;  // the first epoch of the file
  std::string text;
};

struct ObsEpochWriter {
  OutStream* out = nullptr;
  ObsRecordContext context;
  LockHistory history;
  std::unique_ptr<MeasEpochRecord[]> records;  // one per slot
  std::unique_ptr<ObsWriterJob[]> jobs;        // one per slot
  OutStream text;                              // the records between the epochs

  bool threaded = false;
  Thread thread;
  std::mutex mutex;
  std::condition_variable work;  // the writer waits here for jobs
  std::condition_variable room;  // the walk waits here for free slots
  uint64_t handed = 0;           // jobs handed over
  uint64_t written = 0;          // jobs written
  uint64_t seen_written = 0;     // `written` when the walk last looked
  uint64_t wake_walk_at = 0;     // the walk sleeps until `written` reaches this
  bool writer_sleeps = false;
  bool walk_sleeps = false;
  bool finishing = false;
};

// Starts the writer of `out` with the layout and antenna of the file (the
// layout must outlive it).
void StartObsEpochWriter(ObsEpochWriter* writer, OutStream* out, const ObsTypeLayout* layout,
                         uint32_t antenna);
// The record the next epoch is decoded into; waits while every slot is in use.
// Valid until the next hand-over.
MeasEpochRecord* ObsWriterRecord(ObsEpochWriter* writer);
// Hands over the epoch decoded into the record ObsWriterRecord returned.
void HandOverEpoch(ObsEpochWriter* writer, bool first_epoch);
// Hands over text to be written between the epochs (nothing for empty text).
void HandOverText(ObsEpochWriter* writer, std::string text);
// The stream for the records between the epochs: each flush hands over the
// text written to it since the last one.
inline OutStream* ObsWriterTextStream(ObsEpochWriter* writer) {
  return &writer->text;
}
// Hands over what the text stream holds, writes everything handed over and
// stops the thread; later hand-overs are written at once.
void FinishObsEpochWriter(ObsEpochWriter* writer);

}  // namespace kavrino
