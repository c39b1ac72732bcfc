// Scripting.FileSystemObject and the File and Folder objects it hands out:
// the file access of the scripting runtime, which the record classes use for
// folder scans, file attributes (the roster's lock is its read-only
// attribute) and deletion, and page script for text files.
//
// Paths are Windows paths ("d:\course\x.htm", "\course\x.htm", either
// separator), resolved through the drives of the system layer (drives.h),
// so that a name whose case differs from the file on disk still finds it.
// The path functions (GetFileName, BuildPath ...) work on the text alone.
//
// Errors, as the runtime raises them: 53 "File not found", 76 "Path not
// found", 58 "File already exists", 70 "Permission denied", 5 for an
// argument outside its range (an empty path, an unknown I/O mode), 61
// "Disk full", 75 "Path/File access error" for other failures of the
// system.
//
// One thread at a time, as every automation object.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/date.h"
#include "norwin/automation/export.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

class File;
class Folder;
class TextStream;

// The bits of File.Attributes.
inline constexpr int32_t kAttributeReadOnly = 1;
inline constexpr int32_t kAttributeHidden = 2;
inline constexpr int32_t kAttributeDirectory = 16;
inline constexpr int32_t kAttributeArchive = 32;

// The I/O modes and formats of OpenTextFile.
inline constexpr int32_t kForReading = 1;
inline constexpr int32_t kForWriting = 2;
inline constexpr int32_t kForAppending = 8;
inline constexpr int32_t kTristateUseDefault = -2;
inline constexpr int32_t kTristateTrue = -1;  // Unicode (UTF-16)
inline constexpr int32_t kTristateFalse = 0;  // text in the system's encoding

class NORWIN_AUTOMATION_EXPORT FileSystemObject : public Object {
 public:
  NORWIN_BOUND_CLASS();

  // Whether a file (a folder) is there; false for a path that does not
  // resolve.
  bool FileExists(const std::string& path);
  bool FolderExists(const std::string& path);
  // The file or folder at `path` (53 / 76 when there is none).
  Ref<File> GetFile(const std::string& path);
  Ref<Folder> GetFolder(const std::string& path);
  // Deletes the file, or with * and ? in the last part of `filespec` every
  // file that matches (without regard to case). A read-only file is deleted
  // only with `force` (else 70); no file at all is 53.
  void DeleteFile(const std::string& filespec, bool force);
  // Makes a folder in an existing one (58 when the name is taken, 76 when
  // the parent is missing).
  Ref<Folder> CreateFolder(const std::string& path);

  std::string GetFileName(const std::string& path);          // "c:\a\b.txt" -> "b.txt"
  std::string GetBaseName(const std::string& path);          // -> "b"
  std::string GetExtensionName(const std::string& path);     // -> "txt"
  std::string GetParentFolderName(const std::string& path);  // -> "c:\a"
  // `path` and `name` joined by one backslash.
  std::string BuildPath(const std::string& path, const std::string& name);

  // A text stream on `path` (text_stream.h): for reading (1), writing (2,
  // replacing the file) or appending (8). A missing file is created when
  // `create` is true, else 53. `format`: 0 or -2 text, -1 UTF-16.
  Ref<TextStream> OpenTextFile(const std::string& path, int32_t iomode, bool create,
                               int32_t format);
  // A new text file for writing; an existing one is replaced only with
  // `overwrite` (else 58).
  Ref<TextStream> CreateTextFile(const std::string& path, bool overwrite, bool unicode);
};

class NORWIN_AUTOMATION_EXPORT File : public Object {
 public:
  NORWIN_BOUND_CLASS();

  // The file at native path `path`, which need not exist (yet).
  explicit File(std::filesystem::path path);

  std::string Name() const;
  // The Windows path of the file when a drive holds it, else its native
  // path.
  std::string Path() const;
  // In bytes: a Long, or a Double beyond 2 GiB.
  Variant Size() const;
  Date DateLastModified() const;
  // kAttributeReadOnly when the owner may not write the file, Hidden for a
  // name beginning with a dot, Archive for every file. Setting changes the
  // read-only bit only: clearing it gives the owner write permission,
  // setting it takes write permission from everyone.
  int32_t Attributes() const;
  void SetAttributes(int32_t attributes);
  void Delete(bool force);

  const std::filesystem::path& native_path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class NORWIN_AUTOMATION_EXPORT Folder : public Object {
 public:
  NORWIN_BOUND_CLASS();

  explicit Folder(std::filesystem::path path);

  std::string Name() const;
  std::string Path() const;
  // The files in the folder now (not its subfolders), as File objects keyed
  // by name, in the order of their names without regard to case.
  Ref<Collection> Files() const;

  const std::filesystem::path& native_path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace norwin::automation
