// File and Folder, and what the file-system objects share
// (file_system_internal.h).
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

#include "file_system_internal.h"
#include "norwin/automation/error.h"
#include "norwin/automation/file_system.h"
#include "norwin/platform/drives.h"

namespace norwin::automation {

namespace file_system_internal {

std::optional<std::filesystem::path> TryResolve(std::string_view windows_path) {
  if (windows_path.empty()) return std::nullopt;
  Result<std::filesystem::path> native = platform::ResolveCoursePath(windows_path);
  if (!native.ok()) return std::nullopt;
  return std::move(*native);
}

std::filesystem::path Resolve(std::string_view windows_path) {
  if (windows_path.empty()) throw RuntimeError(kInvalidProcedureCall);
  std::optional<std::filesystem::path> native = TryResolve(windows_path);
  if (!native) throw RuntimeError(kPathNotFound);
  return std::move(*native);
}

std::optional<struct stat> StatOf(const std::filesystem::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

void RaiseForErrno(int error, int32_t missing) {
  switch (error) {
    case ENOENT:
      throw RuntimeError(missing);
    case ENOTDIR:
      throw RuntimeError(kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
      throw RuntimeError(kPermissionDenied);
    case EEXIST:
    case ENOTEMPTY:
      throw RuntimeError(kFileAlreadyExists);
    case ENOSPC:
    case EDQUOT:
      throw RuntimeError(kDiskFull);
    default:
      throw RuntimeError(kPathFileAccessError);
  }
}

std::string DisplayPath(const std::filesystem::path& path) {
  std::optional<std::string> windows = platform::ToWindowsPath(path);
  return windows ? *windows : path.string();
}

}  // namespace file_system_internal

namespace {

using file_system_internal::DisplayPath;
using file_system_internal::RaiseForErrno;
using file_system_internal::StatOf;

// The name of a file or folder; "" names the root.
std::string LastName(const std::filesystem::path& path) {
  std::filesystem::path p = path;
  if (!p.has_filename()) p = p.parent_path();  // "/x/" -> "/x"
  return p.filename().string();
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
    if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
    if (x != y) return x < y;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

// ---- File ----

NORWIN_CLASS(File) {
  Property("Name", &File::Name);
  Property("Path", &File::Path).Default();
  Property("Size", &File::Size);
  Property("DateLastModified", &File::DateLastModified);
  PropertyRW("Attributes", &File::Attributes, &File::SetAttributes);
  Method("Delete", &File::Delete, Optional("Force", Variant(false)));
}

File::File(std::filesystem::path path) : path_(std::move(path)) {}

std::string File::Name() const { return LastName(path_); }

std::string File::Path() const { return DisplayPath(path_); }

Variant File::Size() const {
  std::optional<struct stat> st = StatOf(path_);
  if (!st) RaiseForErrno(errno, kFileNotFound);
  if (st->st_size <= std::numeric_limits<int32_t>::max()) {
    return Variant(static_cast<int32_t>(st->st_size));
  }
  return Variant(static_cast<double>(st->st_size));
}

Date File::DateLastModified() const {
  std::optional<struct stat> st = StatOf(path_);
  if (!st) RaiseForErrno(errno, kFileNotFound);
  struct tm local;
  const time_t seconds = st->st_mtim.tv_sec;
  if (!localtime_r(&seconds, &local)) throw RuntimeError(kOverflow);
  std::optional<Date> date =
      MakeDate(DateParts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, std::min(local.tm_sec, 59)});
  if (!date) throw RuntimeError(kOverflow);
  return *date;
}

int32_t File::Attributes() const {
  std::optional<struct stat> st = StatOf(path_);
  if (!st) RaiseForErrno(errno, kFileNotFound);
  int32_t attributes = 0;
  if ((st->st_mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  if (Name().starts_with('.')) attributes |= kAttributeHidden;
  attributes |= S_ISDIR(st->st_mode) ? kAttributeDirectory : kAttributeArchive;
  return attributes;
}

void File::SetAttributes(int32_t attributes) {
  std::optional<struct stat> st = StatOf(path_);
  if (!st) RaiseForErrno(errno, kFileNotFound);
  const mode_t mode = st->st_mode & 07777;
  const mode_t wanted = (attributes & kAttributeReadOnly) ? mode & ~mode_t{0222} : mode | S_IWUSR;
  if (wanted != mode && chmod(path_.c_str(), wanted) != 0) RaiseForErrno(errno, kFileNotFound);
}

void File::Delete(bool force) {
  std::optional<struct stat> st = StatOf(path_);
  if (!st || !S_ISREG(st->st_mode)) throw RuntimeError(kFileNotFound);
  if (!force && (st->st_mode & S_IWUSR) == 0) throw RuntimeError(kPermissionDenied);
  if (unlink(path_.c_str()) != 0) RaiseForErrno(errno, kFileNotFound);
}

// ---- Folder ----

NORWIN_CLASS(Folder) {
  Property("Name", &Folder::Name);
  Property("Path", &Folder::Path).Default();
  Property("Files", &Folder::Files);
}

Folder::Folder(std::filesystem::path path) : path_(std::move(path)) {}

std::string Folder::Name() const { return LastName(path_); }

std::string Folder::Path() const { return DisplayPath(path_); }

Ref<Collection> Folder::Files() const {
  std::error_code ec;
  std::filesystem::directory_iterator it(path_, ec);
  if (ec) RaiseForErrno(ec.value(), kPathNotFound);
  std::vector<std::string> names;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_regular_file(type_ec)) names.push_back(it->path().filename().string());
  }
  if (ec) RaiseForErrno(ec.value(), kPathNotFound);
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  Ref<Collection> files = MakeCollection();
  for (const std::string& name : names) {
    Variant file(MakeRef<File>(path_ / name));
    // Two names that differ only in case cannot share a key; the second is
    // still listed.
    if (!files->TryAddKeyed(name, file)) files->Append(std::move(file));
  }
  return files;
}

}  // namespace norwin::automation
