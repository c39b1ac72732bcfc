#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "file_system_internal.h"
#include "norwin/automation/error.h"
#include "norwin/automation/file_system.h"
#include "norwin/automation/text_stream.h"
#include "norwin/platform/files.h"
#include "text_encoding.h"

namespace norwin::automation {

namespace {

using file_system_internal::RaiseForErrno;
using file_system_internal::Resolve;
using file_system_internal::StatOf;
using file_system_internal::TryResolve;

// Text files larger than this are refused rather than read into memory.
constexpr size_t kMaxTextFileBytes = size_t{512} << 20;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A Windows path taken apart as the path functions see it: the drive ("c:")
// and the rest without trailing separators (but a root stays "\").
struct PathText {
  std::string_view drive;
  std::string_view rest;
};

PathText Split(std::string_view path) {
  PathText p;
  if (path.size() >= 2 && path[1] == ':') {
    p.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  while (path.size() > 1 && IsSeparator(path.back())) path.remove_suffix(1);
  p.rest = path;
  return p;
}

size_t LastSeparator(std::string_view text) {
  for (size_t i = text.size(); i-- > 0;) {
    if (IsSeparator(text[i])) return i;
  }
  return std::string_view::npos;
}

std::string_view FileNameOf(std::string_view path) {
  const PathText p = Split(path);
  if (p.rest.size() == 1 && IsSeparator(p.rest[0])) return {};  // a root
  const size_t sep = LastSeparator(p.rest);
  return sep == std::string_view::npos ? p.rest : p.rest.substr(sep + 1);
}

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Whether `name` matches `pattern` (* any run, ? one character), without
// regard to the case of ASCII letters.
bool Matches(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || UpperAscii(pattern[p]) == UpperAscii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void DeleteOne(const std::filesystem::path& file, const struct stat& st, bool force) {
  if (!force && (st.st_mode & S_IWUSR) == 0) throw RuntimeError(kPermissionDenied);
  if (unlink(file.c_str()) != 0) RaiseForErrno(errno, kFileNotFound);
}

// Checks that a file may be written (or made) at `file`: its folder exists
// and the file, when there, is not read-only.
void RequireWritable(const std::filesystem::path& file, const std::optional<struct stat>& st) {
  std::error_code ec;
  const std::filesystem::path dir = file.parent_path();
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) throw RuntimeError(kPathNotFound);
  if (st) {
    if (!S_ISREG(st->st_mode)) throw RuntimeError(kPermissionDenied);
    if ((st->st_mode & S_IWUSR) == 0 || access(file.c_str(), W_OK) != 0) {
      throw RuntimeError(kPermissionDenied);
    }
  } else if (access(dir.empty() ? "." : dir.c_str(), W_OK) != 0) {
    throw RuntimeError(kPermissionDenied);
  }
}

// Makes an empty file where none is, so that the file exists from the
// moment the stream opens, as it does on the original platform.
void CreateEmpty(const std::filesystem::path& file, TextStream::Encoding encoding) {
  const std::string_view content =
      encoding == TextStream::Encoding::kUtf16 ? text_encoding::kUtf16Mark : std::string_view();
  if (!platform::WriteFileAtomically(file, content).ok()) {
    RaiseForErrno(access(file.parent_path().c_str(), W_OK) != 0 ? EACCES : EIO, kPathNotFound);
  }
}

std::string ReadBytes(const std::filesystem::path& file) {
  Result<std::string> bytes = platform::ReadFileCapped(file, kMaxTextFileBytes);
  if (!bytes.ok()) {
    if (access(file.c_str(), R_OK) != 0) RaiseForErrno(errno, kFileNotFound);
    throw RuntimeError(kDeviceIoError);
  }
  return std::move(*bytes);
}

}  // namespace

NORWIN_CLASS(FileSystemObject) {
  Method("FileExists", &FileSystemObject::FileExists);
  Method("FolderExists", &FileSystemObject::FolderExists);
  Method("GetFile", &FileSystemObject::GetFile);
  Method("GetFolder", &FileSystemObject::GetFolder);
  Method("DeleteFile", &FileSystemObject::DeleteFile, Optional("Force", Variant(false)));
  Method("CreateFolder", &FileSystemObject::CreateFolder);
  Method("GetFileName", &FileSystemObject::GetFileName);
  Method("GetBaseName", &FileSystemObject::GetBaseName);
  Method("GetExtensionName", &FileSystemObject::GetExtensionName);
  Method("GetParentFolderName", &FileSystemObject::GetParentFolderName);
  Method("BuildPath", &FileSystemObject::BuildPath);
  Method("OpenTextFile", &FileSystemObject::OpenTextFile, Optional("IOMode", Variant(kForReading)),
         Optional("Create", Variant(false)), Optional("Format", Variant(kTristateFalse)));
  Method("CreateTextFile", &FileSystemObject::CreateTextFile, Optional("Overwrite", Variant(true)),
         Optional("Unicode", Variant(false)));
}

bool FileSystemObject::FileExists(const std::string& path) {
  std::optional<std::filesystem::path> native = TryResolve(path);
  if (!native) return false;
  std::optional<struct stat> st = StatOf(*native);
  return st && !S_ISDIR(st->st_mode);
}

bool FileSystemObject::FolderExists(const std::string& path) {
  std::optional<std::filesystem::path> native = TryResolve(path);
  if (!native) return false;
  std::optional<struct stat> st = StatOf(*native);
  return st && S_ISDIR(st->st_mode);
}

Ref<File> FileSystemObject::GetFile(const std::string& path) {
  std::filesystem::path native = Resolve(path);
  std::optional<struct stat> st = StatOf(native);
  if (!st || S_ISDIR(st->st_mode)) throw RuntimeError(kFileNotFound);
  return MakeRef<File>(std::move(native));
}

Ref<Folder> FileSystemObject::GetFolder(const std::string& path) {
  std::filesystem::path native = Resolve(path);
  std::optional<struct stat> st = StatOf(native);
  if (!st || !S_ISDIR(st->st_mode)) throw RuntimeError(kPathNotFound);
  return MakeRef<Folder>(std::move(native));
}

void FileSystemObject::DeleteFile(const std::string& filespec, bool force) {
  const std::string_view name = FileNameOf(filespec);
  if (!HasWildcards(name)) {
    const std::filesystem::path native = Resolve(filespec);
    std::optional<struct stat> st = StatOf(native);
    if (!st || S_ISDIR(st->st_mode)) throw RuntimeError(kFileNotFound);
    DeleteOne(native, *st, force);
    return;
  }
  // The folder part resolves as any path; the pattern is matched in it.
  const std::string_view folder =
      std::string_view(filespec).substr(0, filespec.size() - name.size());
  const std::filesystem::path dir = Resolve(folder.empty() ? std::string_view(".") : folder);
  std::error_code ec;
  std::vector<std::filesystem::path> matches;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_regular_file(type_ec) && Matches(name, it->path().filename().string())) {
      matches.push_back(it->path());
    }
  }
  if (matches.empty()) throw RuntimeError(kFileNotFound);
  for (const std::filesystem::path& file : matches) {
    if (std::optional<struct stat> st = StatOf(file)) DeleteOne(file, *st, force);
  }
}

Ref<Folder> FileSystemObject::CreateFolder(const std::string& path) {
  std::filesystem::path native = Resolve(path);
  if (StatOf(native)) throw RuntimeError(kFileAlreadyExists);
  if (mkdir(native.c_str(), 0777) != 0) RaiseForErrno(errno, kPathNotFound);
  return MakeRef<Folder>(std::move(native));
}

std::string FileSystemObject::GetFileName(const std::string& path) {
  return std::string(FileNameOf(path));
}

std::string FileSystemObject::GetBaseName(const std::string& path) {
  const std::string_view name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string FileSystemObject::GetExtensionName(const std::string& path) {
  const std::string_view name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string FileSystemObject::GetParentFolderName(const std::string& path) {
  const PathText p = Split(path);
  const size_t sep = LastSeparator(p.rest);
  if (sep == std::string_view::npos || p.rest.size() == 1) {
    // "c:name" lies in the drive's current folder; a root has no parent.
    return sep == std::string_view::npos && !p.rest.empty() ? std::string(p.drive) : std::string();
  }
  std::string_view parent = p.rest.substr(0, sep);
  while (!parent.empty() && IsSeparator(parent.back())) parent.remove_suffix(1);
  if (parent.empty()) parent = p.rest.substr(0, 1);  // the root itself
  return std::string(p.drive).append(parent);
}

std::string FileSystemObject::BuildPath(const std::string& path, const std::string& name) {
  if (path.empty()) return name;
  if (name.empty()) return path;
  const bool path_ends = IsSeparator(path.back()) || (path.size() == 2 && path[1] == ':');
  const bool name_starts = IsSeparator(name.front());
  if (path_ends && name_starts) return path + name.substr(1);
  if (path_ends || name_starts) return path + name;
  return path + "\\" + name;
}

Ref<TextStream> FileSystemObject::OpenTextFile(const std::string& path, int32_t iomode, bool create,
                                               int32_t format) {
  if (iomode != kForReading && iomode != kForWriting && iomode != kForAppending) {
    throw RuntimeError(kInvalidProcedureCall);
  }
  if (format != kTristateFalse && format != kTristateTrue && format != kTristateUseDefault) {
    throw RuntimeError(kInvalidProcedureCall);
  }
  const bool unicode = format == kTristateTrue;
  std::filesystem::path native = Resolve(path);
  std::optional<struct stat> st = StatOf(native);
  if (st && S_ISDIR(st->st_mode)) throw RuntimeError(kPermissionDenied);
  if (!st && !create) {
    std::error_code ec;
    throw RuntimeError(std::filesystem::is_directory(native.parent_path(), ec) ? kFileNotFound
                                                                               : kPathNotFound);
  }
  if (iomode == kForReading) {
    if (!st) {
      RequireWritable(native, st);
      CreateEmpty(native, TextStream::Encoding::kUtf8);
      return TextStream::ForReading({});
    }
    const std::string bytes = ReadBytes(native);
    return TextStream::ForReading(
        text_encoding::Decode(bytes, text_encoding::Detect(bytes, unicode)));
  }
  RequireWritable(native, st);
  if (iomode == kForWriting) {
    const TextStream::Encoding encoding =
        unicode ? TextStream::Encoding::kUtf16 : TextStream::Encoding::kUtf8;
    if (!st) CreateEmpty(native, encoding);
    return TextStream::ForWriting(std::move(native), {}, encoding);
  }
  // Appending keeps the bytes there and writes on in their encoding.
  std::string kept;
  if (st) {
    kept = ReadBytes(native);
  } else {
    CreateEmpty(native, unicode ? TextStream::Encoding::kUtf16 : TextStream::Encoding::kUtf8);
  }
  const TextStream::Encoding encoding =
      kept.empty() ? (unicode ? TextStream::Encoding::kUtf16 : TextStream::Encoding::kUtf8)
                   : text_encoding::Detect(kept, false);
  return TextStream::ForWriting(std::move(native), std::move(kept), encoding);
}

Ref<TextStream> FileSystemObject::CreateTextFile(const std::string& path, bool overwrite,
                                                 bool unicode) {
  std::filesystem::path native = Resolve(path);
  std::optional<struct stat> st = StatOf(native);
  if (st && (!overwrite || S_ISDIR(st->st_mode))) throw RuntimeError(kFileAlreadyExists);
  RequireWritable(native, st);
  const TextStream::Encoding encoding =
      unicode ? TextStream::Encoding::kUtf16 : TextStream::Encoding::kUtf8;
  if (!st) CreateEmpty(native, encoding);
  return TextStream::ForWriting(std::move(native), {}, encoding);
}

}  // namespace norwin::automation
