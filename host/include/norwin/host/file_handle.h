// FileHandle: a file opened by its Windows path (resolved through the
// drives of the system layer) in one of four modes, with the sharing rules
// of the original program between every process of this system.
//
//   mode        access      shared with others   file exists / missing   position
//   kRead       read        readers              opened / fails          start
//   kWrite      write       nobody               emptied / created       start
//   kReadWrite  read+write  nobody               opened / fails          start
//   kAppend     write       nobody               opened / fails          end
//
// Sharing is enforced with whole-file locks (flock) taken without waiting:
// readers share, the other modes hold the file alone, and an open that
// conflicts with a handle already open (in this or another process) fails
// at once. The locks are advisory: programs of this system honour them,
// other programs do not see them. On a file system without locks files
// open as if unlocked, with a warning on standard error (file_lock.h). A file is emptied in kWrite mode only
// after its lock is held, so a conflicting open never destroys content.
// Only regular files open; folders, devices and pipes fail without blocking.
//
// Positions and sizes are 32-bit unsigned, as the original's were: at most
// kMaxFilePosition. Results: counts and positions, -1 for a failure
// (including any operation without an open file). A FileHandle closes its
// file when destroyed; it belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <string_view>

namespace norwin::host {

enum class OpenMode { kRead = 0, kWrite = 1, kReadWrite = 2, kAppend = 3 };
enum class SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

inline constexpr int64_t kMaxFilePosition = 0xFFFFFFFE;

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens `file_name` (a Windows path) in `mode`; closes any file held
  // before. False when the path does not resolve, the file is missing (but
  // for kWrite), not a regular file, not accessible, or held by a
  // conflicting handle.
  [[nodiscard]] bool Open(std::string_view file_name, OpenMode mode);
  // Opens `file_name` for reading and writing, held alone, emptied or
  // created.
  [[nodiscard]] bool Create(std::string_view file_name);
  // True when a file was held and is now closed.
  bool Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Bytes read into `buffer` (fewer than `count` at the end of the file); 0
  // for a count of 0; -1 on failure or a negative count.
  int32_t Read(void* buffer, int32_t count);
  // Bytes written from `buffer`; 0 for a count of 0; -1 on failure, a
  // negative count, or a write that would pass kMaxFilePosition.
  int32_t Write(const void* buffer, int32_t count);
  // Write() of `text` without its NUL; -1 for a null text.
  int32_t WriteString(const char* text);

  // Moves to `distance` from `origin`; returns the new position, or -1 on
  // failure, for an origin other than the three, or for a position outside
  // 0..kMaxFilePosition (the position is then unchanged).
  int64_t Seek(int32_t distance, SeekOrigin origin);
  int64_t SeekToBegin() { return Seek(0, SeekOrigin::kBegin); }
  int64_t SeekToEnd() { return Seek(0, SeekOrigin::kEnd); }
  // The current position; -1 without a file.
  int64_t GetPosition() const;
  // The file's size, the position left where it was; -1 without a file or
  // for a file larger than kMaxFilePosition.
  int64_t GetLength() const;
  // Whether the position equals the size; false without a file.
  bool AtEnd() const;

 private:
  int fd_ = -1;
};

// Whether `file_name` (a Windows path) opens in read mode; the file is
// closed again at once. A drive without a disc, a missing file and a file
// held alone by another handle all give false, quietly.
bool FileCanBeOpened(std::string_view file_name);

}  // namespace norwin::host
