#include "convert/compressed_input.h"

#include <bzlib.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace kavrino {
namespace {

constexpr size_t kInSize = size_t{256} << 10;
constexpr size_t kOutSize = size_t{1} << 20;
// Free space is looked at again after this many bytes; the margin must be far
// larger, so that the space cannot run out between two looks.
constexpr uint64_t kSpaceCheckEvery = uint64_t{8} << 20;
// zstd frames needing a larger window (more memory) are refused: 8 MiB covers
// every level of the zstd program short of its long-distance modes.
constexpr int kZstdWindowLogMax = 23;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

enum class Fault { kNone, kTruncated, kCorrupt, kNotCompressed, kTrailing };

struct Job {
  const char* path = nullptr;
  const DecompressOptions* options = nullptr;
  std::string dir;
  int in = -1;
  int out = -1;
  std::unique_ptr<unsigned char[]> in_buf;
  std::unique_ptr<unsigned char[]> out_buf;
  bool space_checked = false;
  uint64_t unchecked = 0;  // bytes written since free space was last looked at
  uint64_t written = 0;
  std::string error;  // set: the whole job fails
  Fault fault = Fault::kNone;
  std::string detail;  // the library's word on a fault
};

// Reads the next piece of input into in_buf; false on a read error (then
// job->error is set). *size is 0 at the end of the file.
bool ReadIn(Job* job, size_t* size) {
  while (true) {
    const ssize_t n = ::read(job->in, job->in_buf.get(), kInSize);
    if (n >= 0) {
      *size = static_cast<size_t>(n);
      return true;
    }
    if (errno != EINTR) {
      job->error = Format("%s: cannot read it: %s", job->path, std::strerror(errno));
      return false;
    }
  }
}

// Appends decompressed bytes to the copy, within the size limit and the free
// space; false (job->error set) when it must stop.
bool WriteOut(Job* job, const unsigned char* data, size_t size) {
  if (size == 0) return true;
  const DecompressOptions& options = *job->options;
  if (size > options.size_limit - job->written) {  // written never passes the limit
    job->error = Format(
        "%s: decompressed it is larger than the limit of %llu bytes; stopped after %llu bytes",
        job->path, static_cast<unsigned long long>(options.size_limit),
        static_cast<unsigned long long>(job->written));
    return false;
  }
  if (!job->space_checked || job->unchecked + size > kSpaceCheckEvery) {
    struct statvfs fs;
    // Where the file system cannot tell its free space, a full disk still
    // shows as a failed write.
    if (::fstatvfs(job->out, &fs) == 0) {
      const unsigned __int128 free_bytes =
          static_cast<unsigned __int128>(fs.f_bavail) * fs.f_frsize;
      if (free_bytes < static_cast<unsigned __int128>(options.free_space_margin) + size) {
        job->error = Format(
            "%s: decompressed it does not fit in the free space under %s (%llu MB must stay "
            "free); stopped after %llu bytes",
            job->path, job->dir.c_str(),
            static_cast<unsigned long long>(options.free_space_margin / 1000000),
            static_cast<unsigned long long>(job->written));
        return false;
      }
    }
    job->space_checked = true;
    job->unchecked = 0;
  }
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(job->out, data + done, size - done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      job->error = Format("%s: writing its decompressed copy under %s failed: %s", job->path,
                          job->dir.c_str(), std::strerror(n < 0 ? errno : EIO));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  job->written += size;
  job->unchecked += size;
  return true;
}

void SetFault(Job* job, Fault fault, const char* detail) {
  job->fault = fault;
  job->detail = detail != nullptr ? detail : "";
}

// A fault in the first member before any byte came out means the file only
// looked compressed; one in a later member before any byte of it came out is
// data after the compressed stream.
Fault DataFault(uint64_t members, uint64_t member_out) {
  if (member_out > 0) return Fault::kCorrupt;
  return members == 0 ? Fault::kNotCompressed : Fault::kTrailing;
}

void InflateGzip(Job* job, size_t have) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) {
    job->error = Format("%s: out of memory", job->path);
    return;
  }
  z.next_in = job->in_buf.get();
  z.avail_in = static_cast<uInt>(have);
  uint64_t members = 0, member_out = 0;
  bool output_full = false;
  while (true) {
    if (z.avail_in == 0 && !output_full) {
      size_t n = 0;
      if (!ReadIn(job, &n)) break;
      if (n == 0) {
        if (z.total_in > 0) SetFault(job, Fault::kTruncated, nullptr);
        break;
      }
      z.next_in = job->in_buf.get();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = job->out_buf.get();
    z.avail_out = static_cast<uInt>(kOutSize);
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t made = kOutSize - z.avail_out;
    output_full = z.avail_out == 0;
    member_out += made;
    if (!WriteOut(job, job->out_buf.get(), made)) break;
    if (rc == Z_STREAM_END) {
      ++members;
      member_out = 0;
      inflateReset(&z);
    } else if (rc == Z_MEM_ERROR) {
      job->error = Format("%s: out of memory", job->path);
      break;
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      SetFault(job, DataFault(members, member_out), z.msg);
      break;
    }
  }
  inflateEnd(&z);
}

void DecompressZstd(Job* job, size_t have) {
  ZSTD_DCtx* dctx = ZSTD_createDCtx();
  if (dctx == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, kZstdWindowLogMax))) {
    ZSTD_freeDCtx(dctx);
    job->error = Format("%s: out of memory", job->path);
    return;
  }
  ZSTD_inBuffer in{job->in_buf.get(), have, 0};
  uint64_t frames = 0, frame_out = 0;
  size_t hint = 1;  // 0 once a frame is complete and flushed
  bool output_full = false;
  while (true) {
    if (in.pos == in.size && !output_full) {
      size_t n = 0;
      if (!ReadIn(job, &n)) break;
      if (n == 0) {
        if (hint != 0) SetFault(job, Fault::kTruncated, nullptr);
        break;
      }
      in = ZSTD_inBuffer{job->in_buf.get(), n, 0};
    }
    ZSTD_outBuffer out{job->out_buf.get(), kOutSize, 0};
    hint = ZSTD_decompressStream(dctx, &out, &in);
    output_full = out.pos == out.size;
    frame_out += out.pos;
    if (!WriteOut(job, job->out_buf.get(), out.pos)) break;
    if (ZSTD_isError(hint)) {
      SetFault(job, DataFault(frames, frame_out), ZSTD_getErrorName(hint));
      break;
    }
    if (hint == 0) {
      ++frames;
      frame_out = 0;
    }
  }
  ZSTD_freeDCtx(dctx);
}

const char* Bzip2ErrorText(int rc) {
  switch (rc) {
    case BZ_DATA_ERROR_MAGIC:
      return "bad magic bytes";
    case BZ_DATA_ERROR:
      return "data integrity error";
    default:
      return "decoder error";
  }
}

void DecompressBzip2(Job* job, size_t have) {
  bz_stream s{};
  if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) {
    job->error = Format("%s: out of memory", job->path);
    return;
  }
  s.next_in = reinterpret_cast<char*>(job->in_buf.get());
  s.avail_in = static_cast<unsigned>(have);
  uint64_t streams = 0, stream_out = 0;
  bool output_full = false;
  while (true) {
    if (s.avail_in == 0 && !output_full) {
      size_t n = 0;
      if (!ReadIn(job, &n)) break;
      if (n == 0) {
        if (s.total_in_lo32 > 0 || s.total_in_hi32 > 0) {
          SetFault(job, Fault::kTruncated, nullptr);
        }
        break;
      }
      s.next_in = reinterpret_cast<char*>(job->in_buf.get());
      s.avail_in = static_cast<unsigned>(n);
    }
    s.next_out = reinterpret_cast<char*>(job->out_buf.get());
    s.avail_out = static_cast<unsigned>(kOutSize);
    const int rc = BZ2_bzDecompress(&s);
    const size_t made = kOutSize - s.avail_out;
    output_full = s.avail_out == 0;
    stream_out += made;
    if (!WriteOut(job, job->out_buf.get(), made)) break;
    if (rc == BZ_STREAM_END) {
      ++streams;
      stream_out = 0;
      // The next stream, if any, starts afresh after what this one left.
      char* next = s.next_in;
      const unsigned left = s.avail_in;
      BZ2_bzDecompressEnd(&s);
      s = bz_stream{};
      if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) {
        job->error = Format("%s: out of memory", job->path);
        return;
      }
      s.next_in = next;
      s.avail_in = left;
    } else if (rc == BZ_MEM_ERROR) {
      job->error = Format("%s: out of memory", job->path);
      break;
    } else if (rc != BZ_OK) {
      SetFault(job, DataFault(streams, stream_out), Bzip2ErrorText(rc));
      break;
    }
  }
  BZ2_bzDecompressEnd(&s);
}

std::string FaultWarning(const Job& job, CompressionKind kind) {
  const char* name = CompressionName(kind);
  const auto bytes = static_cast<unsigned long long>(job.written);
  switch (job.fault) {
    case Fault::kTruncated:
      return Format("%s: the %s data ends early (truncated); the %llu bytes before are converted",
                    job.path, name, bytes);
    case Fault::kCorrupt:
      return Format(
          "%s: the %s data is damaged (%s) after %llu bytes; the bytes before are converted",
          job.path, name, job.detail.c_str(), bytes);
    case Fault::kNotCompressed:
      return Format("%s: starts like a %s file but holds no %s data that can be read (%s)",
                    job.path, name, name, job.detail.c_str());
    case Fault::kTrailing:
      return Format("%s: what follows the end of the %s data is not %s data and is ignored (%s)",
                    job.path, name, name, job.detail.c_str());
    case Fault::kNone:
      break;
  }
  return std::string();
}

// Reads until the magic bytes can be told or the file ends.
bool ReadHead(Job* job, size_t* have) {
  *have = 0;
  while (*have < 4) {
    const ssize_t n = ::read(job->in, job->in_buf.get() + *have, kInSize - *have);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      job->error = Format("%s: cannot read it: %s", job->path, std::strerror(errno));
      return false;
    }
    *have += static_cast<size_t>(n);
  }
  return true;
}

std::string TempDir(const DecompressOptions& options) {
  if (!options.temp_dir.empty()) return options.temp_dir;
  const char* env = std::getenv("TMPDIR");
  return env != nullptr && env[0] != '\0' ? env : "/tmp";
}

void Decompress(Job* job, CompressionKind kind, size_t have, DecompressedInput* result) {
  TempFiles* temp_files = job->options->temp_files;
  std::string temp;
  job->out = CreateTempFile(temp_files, job->dir + "/kavrino-", "", 0600, &temp);
  if (job->out < 0) {
    result->error = Format("%s: cannot create a temporary file under %s: %s", job->path,
                           job->dir.c_str(), std::strerror(errno));
    return;
  }
  switch (kind) {
    case CompressionKind::kGzip:
      InflateGzip(job, have);
      break;
    case CompressionKind::kZstd:
      DecompressZstd(job, have);
      break;
    case CompressionKind::kBzip2:
      DecompressBzip2(job, have);
      break;
    case CompressionKind::kNone:
      break;
  }
  if (::close(job->out) != 0 && job->error.empty()) {
    job->error = Format("%s: writing its decompressed copy under %s failed: %s", job->path,
                        job->dir.c_str(), std::strerror(errno));
  }
  if (!job->error.empty()) {
    ::unlink(temp.c_str());
    if (temp_files != nullptr) ForgetTempFile(temp_files, temp);
    result->error = job->error;
    return;
  }
  result->ok = true;
  result->temp_path = temp;
  result->temp_files = temp_files;
  result->size = job->written;
  result->warning = FaultWarning(*job, kind);
}

}  // namespace

const char* CompressionName(CompressionKind kind) {
  switch (kind) {
    case CompressionKind::kGzip:
      return "gzip";
    case CompressionKind::kZstd:
      return "zstd";
    case CompressionKind::kBzip2:
      return "bzip2";
    case CompressionKind::kNone:
      break;
  }
  return "none";
}

CompressionKind CompressionOf(const unsigned char* head, size_t size) {
  if (size >= 2 && head[0] == 0x1f && head[1] == 0x8b) return CompressionKind::kGzip;
  if (size >= 4 && head[0] == 0x28 && head[1] == 0xb5 && head[2] == 0x2f && head[3] == 0xfd) {
    return CompressionKind::kZstd;
  }
  if (size >= 4 && head[0] == 'B' && head[1] == 'Z' && head[2] == 'h' && head[3] >= '1' &&
      head[3] <= '9') {
    return CompressionKind::kBzip2;
  }
  return CompressionKind::kNone;
}

DecompressedInput DecompressInput(const char* path, const DecompressOptions& options) {
  DecompressedInput result;
  Job job;
  job.path = path;
  job.options = &options;
  job.dir = TempDir(options);
  job.in_buf.reset(new (std::nothrow) unsigned char[kInSize]);
  job.out_buf.reset(new (std::nothrow) unsigned char[kOutSize]);
  if (job.in_buf == nullptr || job.out_buf == nullptr) {
    result.error = Format("%s: out of memory", path);
    return result;
  }
  job.in = ::open(path, O_RDONLY | O_CLOEXEC);
  if (job.in < 0) {
    result.error = Format("%s: cannot open it: %s", path, std::strerror(errno));
    return result;
  }
  size_t have = 0;
  if (ReadHead(&job, &have)) {
    result.kind = CompressionOf(job.in_buf.get(), have);
    if (result.kind == CompressionKind::kNone) {
      result.ok = true;
    } else {
      Decompress(&job, result.kind, have, &result);
    }
  } else {
    result.error = job.error;
  }
  // Only read from: closing it cannot lose data, so its result does not matter.
  (void)::close(job.in);
  return result;
}

bool RemoveDecompressedInput(DecompressedInput* input) {
  if (input->temp_path.empty()) return true;
  const bool removed = ::unlink(input->temp_path.c_str()) == 0 || errno == ENOENT;
  if (removed) {
    if (input->temp_files != nullptr) ForgetTempFile(input->temp_files, input->temp_path);
    input->temp_path.clear();
  }
  return removed;
}

}  // namespace kavrino
