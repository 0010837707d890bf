#include "convert/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/diag.h"

namespace kavrino {
namespace {

constexpr const char* kModule = "mkringen";
constexpr int kSiteClose = 389;
constexpr int kSiteWrite = 390;
constexpr int kSiteRewind = 391;
constexpr int kSiteRename = 392;
constexpr const char* kKind = "output RINEX";
constexpr size_t kSpoolReadSize = kGzipChunkSize;

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

// The folder part of `path` (with its slash) and the rest.
void SplitPath(const std::string& path, std::string* folder, std::string* base) {
  const size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  *base = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The descriptor a name of the system stands for (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N ...): written through a copy of it, so that what the shell
// set up (appending, say) holds. -1 for any other name.
int InheritedDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.starts_with(folder)) {
      const std::string number = path.substr(std::strlen(folder));
      if (number.empty() || number.size() > 6 ||
          number.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
      }
      return std::atoi(number.c_str());
    }
  }
  return -1;
}

// An unlinked file under $TMPDIR (or /tmp) for the text of a file whose
// header is written last; -1 with errno set on failure.
int CreateSpool() {
  const char* dir = std::getenv("TMPDIR");
  std::string name = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  // A file with no name at all where the system can make one, so that nothing
  // can be left behind.
  const int anonymous = open(name.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (anonymous >= 0) return anonymous;
  name += "/kavrino-spool-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

// The sink that the spool or the packed text ends in: the compressor or the file.
ByteSink FileSink(OutputFile* file) {
  return file->gzip != nullptr ? GzipStreamSink(file->gzip.get()) : FdSink(&file->fd);
}

// Sets up the way from the stream to the file.
bool StartChain(const OutputFormat& format, OutputFile* file) {
  if (format.gzip) {
    file->gzip = std::make_unique<GzipStream>();
    const int level = format.compact_rinex ? kGzipCompactRinexLevel : kGzipLevel;
    if (!StartGzipStream(file->gzip.get(), FdSink(&file->fd), level)) return false;
  }
  if (format.compact_rinex) {
    OpenOutStream(&file->packed, FileSink(file), kGzipChunkSize);
    file->crx = std::make_unique<CrxEncoder>();
    StartCrxEncoder(file->crx.get(), &file->packed, format.crx_stamp);
  }
  const bool spooled = format.header_last && (format.gzip || file->temp_path.empty());
  if (spooled) {
    file->spool_fd = CreateSpool();
    if (file->spool_fd < 0) return false;
    OpenOutStream(&file->stream, FdSink(&file->spool_fd));
  } else if (file->crx != nullptr) {
    OpenOutStream(&file->stream, CrxEncoderSink(file->crx.get()));
  } else {
    OpenOutStream(&file->stream, FileSink(file));
  }
  return true;
}

// Copies the spool, the whole text, to where the file's text goes.
bool EmptySpool(OutputFile* file, int* error) {
  if (lseek(file->spool_fd, 0, SEEK_SET) != 0) {
    *error = errno;
    return false;
  }
  OutStream out;
  OpenOutStream(&out, file->crx != nullptr ? CrxEncoderSink(file->crx.get()) : FileSink(file),
                2 * kSpoolReadSize);
  for (;;) {
    char* room = ReserveOut(&out, kSpoolReadSize);
    const ssize_t n = read(file->spool_fd, room, kSpoolReadSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno;
      return false;
    }
    if (n == 0) break;
    CommitOut(&out, static_cast<size_t>(n));
  }
  if (!FlushOutStream(&out)) {
    *error = out.error;
    return false;
  }
  return true;
}

// Writes out everything that goes before the file's close; errno of the first
// failure in `error`.
bool FinishChain(OutputFile* file, int* error) {
  if (!FlushOutStream(&file->stream)) {
    *error = file->stream.error;
    return false;
  }
  if (file->spool_fd >= 0 && !EmptySpool(file, error)) return false;
  if (file->crx != nullptr) {
    if (!FinishCrxEncoder(file->crx.get()) || !FlushOutStream(&file->packed)) {
      *error = file->packed.failed ? file->packed.error : errno;
      return false;
    }
  }
  if (file->gzip != nullptr && !FinishGzipStream(file->gzip.get())) {
    *error = errno;
    return false;
  }
  return true;
}

bool Fail(OutputFile* file, int site, int error, std::string* message) {
  *message = FatalMessage(kModule, site, error);
  DiscardOutputFile(file);
  return false;
}

}  // namespace

bool GetFileIdentity(const std::string& path, FileIdentity* identity) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  identity->device = static_cast<uint64_t>(info.st_dev);
  identity->inode = static_cast<uint64_t>(info.st_ino);
  return true;
}

bool OpenOutputFile(const std::string& path, const OutputContext& context,
                    const OutputFormat& format, OutputFile* file, std::string* message) {
  *file = OutputFile{};
  file->path = path;
  file->temp_files = context.temp_files;

  FileIdentity existing;
  if (GetFileIdentity(path, &existing) && context.inputs != nullptr) {
    for (const InputFileId& input : *context.inputs) {
      if (SameFile(existing, input.identity)) {
        *message = "The output RINEX file \"" + path + "\" is the input file \"" + input.name +
                   "\"; it is not written over";
        return false;
      }
    }
  }

  // A name that leads to a device or a FIFO is written as it is; a link to a
  // file is followed, so that the file it leads to gets the new contents.
  const int inherited = InheritedDescriptor(path);
  std::string target = path;
  struct stat info;
  bool direct = inherited >= 0;
  if (!direct && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) {
      target = resolved;
    } else {
      direct = true;  // a link to nothing yet: created through the link
    }
  }
  if (!direct && stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) direct = true;

  if (inherited >= 0) {
    file->fd = fcntl(inherited, F_DUPFD_CLOEXEC, 0);
  } else if (direct) {
    file->fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } else {
    std::string folder;
    std::string base;
    SplitPath(target, &folder, &base);
    file->fd = CreateTempFile(file->temp_files, folder + "." + base + ".", ".part", 0666,
                              &file->temp_path);
    file->path = target;
  }
  if (file->fd < 0) {
    *message = OpenFailureMessage(kKind, path, "writing", errno);
    file->temp_path.clear();
    return false;
  }
  if (!StartChain(format, file)) return Fail(file, kSiteWrite, errno, message);
  return true;
}

bool RewindOutputFile(OutputFile* file, std::string* message) {
  if (!FlushOutStream(&file->stream)) return Fail(file, kSiteWrite, file->stream.error, message);
  const int fd = file->spool_fd >= 0 ? file->spool_fd : file->fd;
  if (lseek(fd, 0, SEEK_SET) != 0) return Fail(file, kSiteRewind, errno, message);
  return true;
}

bool CommitOutputFile(OutputFile* file, std::string* message) {
  int error = 0;
  if (!FinishChain(file, &error)) return Fail(file, kSiteWrite, error, message);
  const int fd = file->fd;
  file->fd = -1;
  if (close(fd) != 0) return Fail(file, kSiteClose, errno, message);
  if (!file->temp_path.empty()) {
    const int result = file->temp_files != nullptr
                           ? RenameTempFile(file->temp_files, file->temp_path, file->path)
                           : std::rename(file->temp_path.c_str(), file->path.c_str());
    if (result != 0) return Fail(file, kSiteRename, errno, message);
    file->temp_path.clear();
  }
  if (file->spool_fd >= 0) close(file->spool_fd);
  file->spool_fd = -1;
  return true;
}

void DiscardOutputFile(OutputFile* file) {
  // The compressor's thread may be writing: it stops before the file closes.
  if (file->gzip != nullptr) StopGzipStream(file->gzip.get());
  if (file->fd >= 0) close(file->fd);
  if (file->spool_fd >= 0) close(file->spool_fd);
  file->fd = -1;
  file->spool_fd = -1;
  if (!file->temp_path.empty()) {
    unlink(file->temp_path.c_str());
    if (file->temp_files != nullptr) ForgetTempFile(file->temp_files, file->temp_path);
    file->temp_path.clear();
  }
}

}  // namespace kavrino
