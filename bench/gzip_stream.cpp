// Compares the ways of writing a .gz file for the converter's compressed
// output: gzip -6 (the program), zlib streaming at level 6, libdeflate levels
// 4-7 over independent members of 256 KiB, 1 MiB and 4 MiB, ISA-L igzip at its
// levels (when built with it), and the converter's own gzip stream. Every
// output is inflated again and checked against the input.
//
//   bench_gzip_stream FILE...
//
// Per file and candidate it prints the CPU and wall seconds, the output size,
// the size relative to gzip -6 and the memory the compressor state needs
// (buffers included).
#include "convert/gzip_stream.h"

#include <libdeflate.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/out_stream.h"

#ifdef KAVRINO_BENCH_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;

struct Run {
  double cpu = 0, wall = 0;
  size_t out_size = 0;
  size_t state_bytes = 0;
  bool ok = true;
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

size_t g_allocated = 0;  // bytes handed out by the counting allocators below
void* CountingMalloc(size_t size) {
  g_allocated += size;
  return std::malloc(size);
}
voidpf ZlibAlloc(voidpf, uInt items, uInt size) {
  return CountingMalloc(static_cast<size_t>(items) * size);
}
void ZlibFree(voidpf, voidpf p) {
  std::free(p);
}

// Inflates every member of `gz` and compares the result with `in`.
bool InflatesTo(const Bytes& gz, const Bytes& in) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
  Bytes out(1 << 20);
  size_t pos = 0, done = 0;
  bool ok = true;
  while (ok && pos < gz.size()) {
    z.next_in = const_cast<unsigned char*>(gz.data() + pos);
    z.avail_in = static_cast<uInt>(std::min<size_t>(gz.size() - pos, 1u << 30));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t made = out.size() - z.avail_out;
    ok = (rc == Z_OK || rc == Z_STREAM_END) && done + made <= in.size() &&
         std::memcmp(out.data(), in.data() + done, made) == 0;
    done += made;
    pos = static_cast<size_t>(z.next_in - gz.data());
    if (rc == Z_STREAM_END) inflateReset(&z);
  }
  inflateEnd(&z);
  return ok && done == in.size();
}

Run ZlibStream(const Bytes& in, Bytes* gz) {
  Run run;
  g_allocated = 0;
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  z_stream z{};
  z.zalloc = ZlibAlloc;
  z.zfree = ZlibFree;
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  Bytes out(256 << 10);
  gz->clear();
  size_t pos = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    const size_t piece = std::min<size_t>(in.size() - pos, 1 << 20);
    z.next_in = const_cast<unsigned char*>(in.data() + pos);
    z.avail_in = static_cast<uInt>(piece);
    pos += piece;
    const int flush = pos == in.size() ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      rc = deflate(&z, flush);
      gz->insert(gz->end(), out.data(), out.data() + (out.size() - z.avail_out));
    } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  }
  deflateEnd(&z);
  run.cpu = CpuSeconds() - c0;
  run.wall = WallSeconds() - w0;
  run.out_size = gz->size();
  run.state_bytes = g_allocated + out.size();
  return run;
}

Run LibdeflateMembers(const Bytes& in, int level, size_t chunk, Bytes* gz) {
  Run run;
  g_allocated = 0;
  libdeflate_set_memory_allocator(CountingMalloc, std::free);
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  const size_t bound = libdeflate_gzip_compress_bound(c, chunk);
  Bytes out(bound);
  gz->clear();
  size_t pos = 0;
  do {
    const size_t piece = std::min(in.size() - pos, chunk);
    const size_t n = libdeflate_gzip_compress(c, in.data() + pos, piece, out.data(), out.size());
    run.ok = run.ok && n > 0;
    gz->insert(gz->end(), out.data(), out.data() + n);
    pos += piece;
  } while (pos < in.size());
  libdeflate_free_compressor(c);
  run.cpu = CpuSeconds() - c0;
  run.wall = WallSeconds() - w0;
  run.out_size = gz->size();
  run.state_bytes = g_allocated + chunk + bound;
  return run;
}

// The converter's own stream, fed through an OutStream as the writers feed it.
Run KavrinoStream(const Bytes& in, Bytes* gz) {
  Run run;
  std::string text;
  text.reserve(in.size() / 2);
  g_allocated = 0;
  libdeflate_set_memory_allocator(CountingMalloc, std::free);
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  kavrino::GzipStream stream;
  run.ok = kavrino::StartGzipStream(&stream, kavrino::StringSink(&text));
  run.state_bytes = g_allocated + kavrino::kGzipChunkSize + stream.output_capacity;
  kavrino::OutStream out;
  kavrino::OpenOutStream(&out, kavrino::GzipStreamSink(&stream));
  for (size_t pos = 0; pos < in.size(); pos += 4096) {
    kavrino::WriteText(&out, reinterpret_cast<const char*>(in.data()) + pos,
                       std::min<size_t>(4096, in.size() - pos));
  }
  run.ok = kavrino::FlushOutStream(&out) && kavrino::FinishGzipStream(&stream) && run.ok;
  run.cpu = CpuSeconds() - c0;
  run.wall = WallSeconds() - w0;
  gz->assign(text.begin(), text.end());
  run.out_size = gz->size();
  return run;
}

#ifdef KAVRINO_BENCH_ISAL
Run IsalStream(const Bytes& in, int level, Bytes* gz) {
  static const uint32_t kLevelBuf[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT,
                                       ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
  Run run;
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  auto z = std::make_unique<isal_zstream>();
  isal_deflate_init(z.get());
  Bytes level_buf(kLevelBuf[level]);
  z->level = static_cast<uint32_t>(level);
  z->level_buf = level_buf.data();
  z->level_buf_size = static_cast<uint32_t>(level_buf.size());
  z->gzip_flag = IGZIP_GZIP;
  Bytes out(256 << 10);
  gz->clear();
  size_t pos = 0;
  while (true) {
    if (z->avail_in == 0 && pos < in.size()) {
      const size_t piece = std::min<size_t>(in.size() - pos, 1 << 20);
      z->next_in = const_cast<unsigned char*>(in.data() + pos);
      z->avail_in = static_cast<uint32_t>(piece);
      pos += piece;
      z->end_of_stream = pos == in.size();
    }
    z->next_out = out.data();
    z->avail_out = static_cast<uint32_t>(out.size());
    if (isal_deflate(z.get()) != COMP_OK) {
      run.ok = false;
      break;
    }
    gz->insert(gz->end(), out.data(), out.data() + (out.size() - z->avail_out));
    if (z->internal_state.state == ZSTATE_END) break;
  }
  run.cpu = CpuSeconds() - c0;
  run.wall = WallSeconds() - w0;
  run.out_size = gz->size();
  run.state_bytes = sizeof(isal_zstream) + level_buf.size() + out.size();
  return run;
}
#endif

// `gzip -6 -c FILE`, its output counted through a pipe.
Run GzipProgram(const char* path) {
  Run run;
  const std::string command = std::string("gzip -6 -c '") + path + "'";
  rusage before{}, after{};
  getrusage(RUSAGE_CHILDREN, &before);
  const double w0 = WallSeconds();
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return Run{0, 0, 0, 0, false};
  std::vector<char> buffer(1 << 16);
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out_size += n;
  run.ok = pclose(pipe) == 0;
  run.wall = WallSeconds() - w0;
  getrusage(RUSAGE_CHILDREN, &after);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
  run.cpu = seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) -
            seconds(before.ru_stime);
  return run;
}

bool ReadFile(const char* path, Bytes* data) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  data->clear();
  std::vector<unsigned char> buffer(1 << 20);
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    data->insert(data->end(), buffer.data(), buffer.data() + n);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

void Print(const char* name, const Run& run, size_t in_size, size_t reference, bool verified) {
  std::printf("  %-24s %7.2f %7.2f %7.1f %12zu %8.4f %8.1f %s\n", name, run.cpu, run.wall,
              static_cast<double>(in_size) / 1e6 / run.cpu, run.out_size,
              static_cast<double>(run.out_size) / static_cast<double>(reference),
              static_cast<double>(run.state_bytes) / 1048576.0,
              !run.ok    ? "FAILED"
              : verified ? "ok"
                         : "BAD OUTPUT");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gzip_stream FILE...\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    Bytes in, gz;
    if (!ReadFile(argv[i], &in)) {
      std::perror(argv[i]);
      return 1;
    }
    std::printf("%s: %zu bytes\n  %-24s %7s %7s %7s %12s %8s %8s\n", argv[i], in.size(),
                "candidate", "cpu s", "wall s", "MB/cpus", "bytes", "/gzip-6", "mem MiB");
    const Run gzip = GzipProgram(argv[i]);
    const size_t reference = gzip.out_size > 0 ? gzip.out_size : 1;
    Print("gzip -6", gzip, in.size(), reference, gzip.ok);
    Run run = ZlibStream(in, &gz);
    Print("zlib 6 stream", run, in.size(), reference, InflatesTo(gz, in));
    for (const size_t chunk : {size_t{256} << 10, size_t{1} << 20, size_t{4} << 20}) {
      for (int level = 4; level <= 7; ++level) {
        run = LibdeflateMembers(in, level, chunk, &gz);
        char name[64];
        std::snprintf(name, sizeof name, "libdeflate %d, %zu KiB", level, chunk >> 10);
        Print(name, run, in.size(), reference, InflatesTo(gz, in));
      }
    }
#ifdef KAVRINO_BENCH_ISAL
    for (int level = 0; level <= 3; ++level) {
      run = IsalStream(in, level, &gz);
      char name[64];
      std::snprintf(name, sizeof name, "isa-l igzip %d stream", level);
      Print(name, run, in.size(), reference, InflatesTo(gz, in));
    }
#endif
    run = KavrinoStream(in, &gz);
    Print("kavrino GzipStream", run, in.size(), reference, InflatesTo(gz, in));
  }
  return 0;
}
