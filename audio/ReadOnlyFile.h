#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What a path names, links followed, as the duration facade tells it apart:
// nothing, a folder, or anything else (a regular file, but also a pipe, a
// device or a socket, which exist and are then refused by the open).
enum class TPathKind { Missing, Directory, File };

// Why an open refused something that is there.
enum class TOpenRefusal {
  None,        // opened, or nothing there
  NotRegular,  // a pipe, a device, a socket: never opened for reading
  NoAccess,    // the file, or a folder on its way, may not be read by this user
};

// The one place where the readers touch the file system: a file opened
// read-only as bytes, closed when the object goes away. No operation throws;
// every failure is reported as false (or a count of 0, or a size of -1).
//
// System calls are few on purpose, as on a network share each is a round
// trip: one open, one size query (taken when the file is opened), the reads,
// one close. The position is kept here, so a Seek costs nothing. A small Read
// inside the file's size is served from one of three blocks of BlockBytes,
// each read in one call: a reader's many small reads at the head of a file
// (tag header, first frames), after its ID3v2 tag and at its end (ID3v1 tag,
// encoder signature) then cost one call each place. A larger Read, or one that reaches beyond the size
// the file had when it was opened, reads directly. One open file may serve
// several readers of one measurement in turn; each positions before it reads.
class TReadOnlyFile {
public:
  TReadOnlyFile() = default;
  explicit TReadOnlyFile(const std::string& fileName) { Open(fileName); }
  ~TReadOnlyFile() { Close(); }

  // The size of a block of the read cache (see above).
  static constexpr std::size_t BlockBytes = 16 * 1024;

  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
  TReadOnlyFile(TReadOnlyFile&& other) noexcept;
  TReadOnlyFile& operator=(TReadOnlyFile&& other) noexcept;

  // Opens a regular file for reading; directories, devices, pipes and sockets
  // are refused without ever being opened for reading: the name is first
  // resolved to a handle that only points at what is there (O_PATH, which
  // neither releases a program waiting at a pipe nor calls a device's
  // driver), and only a regular file is then opened through that handle.
  bool Open(const std::string& fileName);
  bool IsOpen() const { return handle_ >= 0; }
  void Close();
  // What the last Open found at its path, so that a caller need not ask the
  // file system again whether anything is there: File when the file is open,
  // and also for what exists but was refused. Missing before any Open.
  TPathKind Found() const { return found_; }
  // Why the last Open refused what it found (None after a successful Open,
  // and when nothing was there).
  TOpenRefusal Refusal() const { return refusal_; }

  // Size of the file in bytes as it was when the file was opened; -1 when it is not open.
  std::int64_t Size() const { return size_; }
  // When the file was last modified, as the open found it (nanoseconds since
  // 1970, UTC); 0 when it is not open or the file system gives no time. It
  // comes with the size, from the same call.
  std::int64_t ModifiedAt() const { return modified_; }
  // Moves to an absolute byte offset; a negative offset is an error. Moving
  // past the end is allowed: reading there gives nothing.
  bool Seek(std::int64_t position);
  // Reads up to count bytes at the current position, moves past them and
  // returns how many came (fewer at the end of the file, 0 on an error).
  std::size_t Read(void* buffer, std::size_t count);
  // Reads exactly count bytes; false when fewer came.
  bool ReadExact(void* buffer, std::size_t count) { return Read(buffer, count) == count; }

private:
  struct TBlock {
    std::int64_t start = 0;
    std::size_t size = 0;  // 0: empty
    std::unique_ptr<unsigned char[]> bytes;
  };
  // The block that holds [position, position + count), read into place when
  // none does; nullptr when the file did not give those bytes.
  const TBlock* BlockHolding(std::int64_t position, std::size_t count);
  std::size_t ReadDirect(std::int64_t at, unsigned char* out, std::size_t count);
  void DropBlocks();

  int handle_ = -1;
  std::int64_t size_ = -1;
  std::int64_t modified_ = 0;
  std::int64_t position_ = 0;
  TPathKind found_ = TPathKind::Missing;
  TOpenRefusal refusal_ = TOpenRefusal::None;
  std::array<TBlock, 3> blocks_;
  std::size_t nextBlock_ = 0;  // the block read longest ago, replaced next
};

// What is at the path, asked of the file system by name (one stat).
TPathKind PathKindOf(const std::string& path);
// True when something other than a directory exists at the path.
bool FileExists(const std::string& path);

// The file system calls this layer has made on the calling thread so far.
// Tests and measurements take the difference over one piece of work to see
// what a file costs on a share.
struct TFileCalls {
  std::uint64_t Opens = 0;    // by name: what the path holds
  std::uint64_t Reopens = 0;  // of what an open by name found, for reading (no name lookup)
  std::uint64_t SizeQueries = 0;  // of an open file
  std::uint64_t PathQueries = 0;  // of a path by name
  std::uint64_t Reads = 0;
  std::uint64_t Closes = 0;
};
TFileCalls FileCallsOnThisThread();
TFileCalls operator-(const TFileCalls& later, const TFileCalls& earlier);
