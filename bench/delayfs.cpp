// delayfs: a read-only view of a folder in which every lookup, stat, open and
// read of a file answers only after a fixed delay, as on a file share across a
// network, where each of those is a round trip. The kernel keeps nothing
// (names, attributes and file data are asked for every time), so each call
// a program makes on a file costs the delay once more.
//
//   delayfs [--delay-us N] SOURCE MOUNTPOINT     (stays in the foreground;
//                                                 fusermount3 -u MOUNTPOINT ends it)
//
// At the end it prints how many calls of each kind it answered.

#define FUSE_USE_VERSION 312

#include <fuse3/fuse.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct TDelayFs {
  std::string source;
  std::chrono::microseconds delay{2000};
  std::atomic<long> stats{0}, opens{0}, reads{0}, folderReads{0};
};

TDelayFs& Fs() { return *static_cast<TDelayFs*>(fuse_get_context()->private_data); }

// The round trip: every thread of the file system waits on its own, so calls
// from several threads of a program overlap as they would on a share.
void RoundTrip(std::atomic<long>& counter) {
  ++counter;
  std::this_thread::sleep_for(Fs().delay);
}

std::string Real(const char* path) { return Fs().source + path; }

void* Init(fuse_conn_info*, fuse_config* config) {
  config->use_ino = 1;
  config->entry_timeout = 0;     // every name looked up afresh
  config->attr_timeout = 0;      // every stat asked afresh
  config->negative_timeout = 0;  // a missing name too
  config->direct_io = 1;         // every read reaches here, none from the page cache
  config->kernel_cache = 0;
  return &Fs();
}

// Each stat and each name lookup of a path comes here.
int GetAttr(const char* path, struct stat* info, fuse_file_info* file) {
  RoundTrip(Fs().stats);
  const int result = file != nullptr ? ::fstat(static_cast<int>(file->fh), info) : ::lstat(Real(path).c_str(), info);
  return result == -1 ? -errno : 0;
}

int Open(const char* path, fuse_file_info* file) {
  RoundTrip(Fs().opens);
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  const int handle = ::open(Real(path).c_str(), file->flags);
  if (handle == -1) return -errno;
  file->fh = static_cast<std::uint64_t>(handle);
  file->direct_io = 1;
  return 0;
}

int Read(const char*, char* buffer, std::size_t size, off_t offset, fuse_file_info* file) {
  RoundTrip(Fs().reads);
  const ssize_t count = ::pread(static_cast<int>(file->fh), buffer, size, offset);
  return count == -1 ? -errno : static_cast<int>(count);
}

int Release(const char*, fuse_file_info* file) {
  ::close(static_cast<int>(file->fh));
  return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  RoundTrip(Fs().folderReads);
  DIR* folder = ::opendir(Real(path).c_str());
  if (folder == nullptr) return -errno;
  while (const dirent* entry = ::readdir(folder)) {
    struct stat info {};
    info.st_ino = entry->d_ino;
    info.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
    if (fill(buffer, entry->d_name, &info, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) break;
  }
  ::closedir(folder);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: delayfs [--delay-us N] SOURCE MOUNTPOINT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  static TDelayFs fs;
  int argument = 1;
  if (argc > argument + 1 && std::strcmp(argv[argument], "--delay-us") == 0) {
    char* end = nullptr;
    const long delay = std::strtol(argv[argument + 1], &end, 10);
    if (*end != '\0' || delay < 0) return Usage();
    fs.delay = std::chrono::microseconds(delay);
    argument += 2;
  }
  if (argc != argument + 2) return Usage();
  char* source = ::realpath(argv[argument], nullptr);
  if (source == nullptr) {
    std::perror(argv[argument]);
    return 1;
  }
  fs.source = source;
  std::free(source);

  fuse_operations operations{};
  operations.init = Init;
  operations.getattr = GetAttr;
  operations.open = Open;
  operations.read = Read;
  operations.release = Release;
  operations.readdir = ReadDir;
  // Read-only; many threads, so that a program's calls from several threads
  // overlap as they would on a share.
  char options[] = "ro,fsname=delayfs";
  char* fuseArguments[] = {argv[0], const_cast<char*>("-o"), options, nullptr};
  fuse_args arguments = FUSE_ARGS_INIT(3, fuseArguments);
  fuse* system = fuse_new(&arguments, &operations, sizeof operations, &fs);
  if (system == nullptr) return 1;
  int status = 1;
  if (fuse_mount(system, argv[argument + 1]) == 0) {
    fuse_session* session = fuse_get_session(system);
    fuse_set_signal_handlers(session);
    fuse_loop_config* loop = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(loop, 256);
    fuse_loop_cfg_set_idle_threads(loop, 256);
    status = fuse_loop_mt(system, loop);
    fuse_loop_cfg_destroy(loop);
    fuse_remove_signal_handlers(session);
    fuse_unmount(system);
  }
  fuse_destroy(system);
  std::fprintf(stderr, "delayfs: %ld stats and lookups, %ld opens, %ld reads, %ld folder reads, %ld us each\n",
               fs.stats.load(), fs.opens.load(), fs.reads.load(), fs.folderReads.load(),
               static_cast<long>(fs.delay.count()));
  return status;
}
