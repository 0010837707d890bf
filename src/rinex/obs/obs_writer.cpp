#include "rinex/obs/obs_writer.h"

#include <utility>

#include "rinex/obs/obs_epoch.h"

namespace kavrino {
namespace {

// The writer is woken when this many jobs wait, the walk when half the slots
// are free again: a sleep and a wake-up per batch, not per epoch.
constexpr uint64_t kWakeBatch = 8;

void WriteJob(ObsEpochWriter* w, uint64_t index) {
  ObsWriterJob& job = w->jobs[index % kObsWriterSlots];
  if (job.epoch) {
    WriteObsEpoch(w->out, w->context, w->records[index % kObsWriterSlots], job.first_epoch);
  } else {
    WriteText(w->out, job.text.data(), job.text.size());
    job.text.clear();
  }
}

void WriterMain(void* arg) {
  ObsEpochWriter* w = static_cast<ObsEpochWriter*>(arg);
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    while (w->written == w->handed && !w->finishing) {
      w->writer_sleeps = true;
      w->work.wait(lock);
      w->writer_sleeps = false;
    }
    if (w->written == w->handed) break;
    const uint64_t index = w->written;
    lock.unlock();
    WriteJob(w, index);
    lock.lock();
    ++w->written;
    if (w->walk_sleeps && w->written >= w->wake_walk_at) w->room.notify_one();
  }
}

// Waits until the slot of the next job is free.
void WaitForRoom(ObsEpochWriter* w) {
  // `written` only grows: a slot free at the last look is still free.
  if (!w->threaded || w->handed - w->seen_written < kObsWriterSlots) return;
  std::unique_lock<std::mutex> lock(w->mutex);
  if (w->handed - w->written >= kObsWriterSlots) {
    w->wake_walk_at = w->handed - kObsWriterSlots / 2;
    w->walk_sleeps = true;
    while (w->written < w->wake_walk_at) w->room.wait(lock);
    w->walk_sleeps = false;
  }
  w->seen_written = w->written;
}

void HandOver(ObsEpochWriter* w) {
  if (!w->threaded) {
    WriteJob(w, w->handed);
    ++w->handed;
    ++w->written;
    return;
  }
  std::lock_guard<std::mutex> lock(w->mutex);
  ++w->handed;
  if (w->writer_sleeps && w->handed - w->written >= kWakeBatch) w->work.notify_one();
}

}  // namespace

namespace {

bool WriteToWriter(void* context, const char* text, size_t size) {
  HandOverText(static_cast<ObsEpochWriter*>(context), std::string(text, size));
  return true;
}

// The text between epochs is short: a small buffer, flushed after each record.
constexpr size_t kTextBufferSize = 4096;

}  // namespace

void StartObsEpochWriter(ObsEpochWriter* writer, OutStream* out, const ObsTypeLayout* layout,
                         uint32_t antenna) {
  writer->out = out;
  writer->context = ObsRecordContext{layout, antenna, &writer->history};
  writer->records = std::make_unique<MeasEpochRecord[]>(kObsWriterSlots);
  writer->jobs = std::make_unique<ObsWriterJob[]>(kObsWriterSlots);
  OpenOutStream(&writer->text, ByteSink{writer, WriteToWriter}, kTextBufferSize);
  writer->threaded = StartThread(&writer->thread, WriterMain, writer);
}

MeasEpochRecord* ObsWriterRecord(ObsEpochWriter* writer) {
  WaitForRoom(writer);
  return &writer->records[writer->handed % kObsWriterSlots];
}

void HandOverEpoch(ObsEpochWriter* writer, bool first_epoch) {
  ObsWriterJob& job = writer->jobs[writer->handed % kObsWriterSlots];
  job.epoch = true;
  job.first_epoch = first_epoch;
  HandOver(writer);
}

void HandOverText(ObsEpochWriter* writer, std::string text) {
  if (text.empty()) return;
  WaitForRoom(writer);
  ObsWriterJob& job = writer->jobs[writer->handed % kObsWriterSlots];
  job.epoch = false;
  job.text = std::move(text);
  HandOver(writer);
}

void FinishObsEpochWriter(ObsEpochWriter* writer) {
  FlushOutStream(&writer->text);
  if (!writer->threaded) return;
  {
    std::lock_guard<std::mutex> lock(writer->mutex);
    writer->finishing = true;
    writer->work.notify_one();
  }
  JoinThread(&writer->thread);
  writer->threaded = false;
}

}  // namespace kavrino
