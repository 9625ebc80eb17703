#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The one place where the readers touch the file system: a file opened
// read-only as bytes, closed when the object goes away. No operation throws;
// every failure is reported as false (or a count of 0, or a size of -1).
//
// System calls are few on purpose: the size is taken once, when the file is
// opened, and the position is kept here, so a Seek costs nothing and a Read
// is one positioned read of the file.
class TReadOnlyFile {
public:
  TReadOnlyFile() = default;
  explicit TReadOnlyFile(const std::string& fileName) { Open(fileName); }
  ~TReadOnlyFile() { Close(); }

  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
  TReadOnlyFile(TReadOnlyFile&& other) noexcept;
  TReadOnlyFile& operator=(TReadOnlyFile&& other) noexcept;

  // Opens a regular file for reading; directories, devices and pipes are refused.
  bool Open(const std::string& fileName);
  bool IsOpen() const { return handle_ >= 0; }
  void Close();

  // Size of the file in bytes as it was when the file was opened; -1 when it is not open.
  std::int64_t Size() const { return size_; }
  // Moves to an absolute byte offset; a negative offset is an error. Moving
  // past the end is allowed: reading there gives nothing.
  bool Seek(std::int64_t position);
  // Reads up to count bytes at the current position, moves past them and
  // returns how many came (fewer at the end of the file, 0 on an error).
  std::size_t Read(void* buffer, std::size_t count);
  // Reads exactly count bytes; false when fewer came.
  bool ReadExact(void* buffer, std::size_t count) { return Read(buffer, count) == count; }

private:
  int handle_ = -1;
  std::int64_t size_ = -1;
  std::int64_t position_ = 0;
};

// True when something other than a directory exists at the path.
bool FileExists(const std::string& path);
