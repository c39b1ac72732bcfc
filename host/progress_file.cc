#include "norwin/host/progress_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "norwin/host/choose_file.h"
#include "norwin/host/program_folder.h"
#include "norwin/host/progress_format.h"
#include "norwin/host/string_table.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/file_lock.h"
#include "norwin/platform/files.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCaption = "Lumo";
constexpr uint32_t kQuestionFlags = platform::kMbIconInformation | platform::kMbYesNo;
// The Windows program read "Path" into a buffer of 260 bytes, its NUL
// included; a longer value did not fit and was not used.
constexpr size_t kMaxPathValueBytes = 259;

// The chooser's filter: entry 105 of the program's strings, with every
// occurrence of its last character (the separator) made a NUL.
std::optional<std::string> ProgressChooserFilter() {
  const std::optional<std::string> entry =
      ProgramStrings().Load(kIdsProgressFilter, kMaxFilterBytes + 1);
  if (!entry) return std::nullopt;
  return ChooserFilterOf(*entry);
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

bool HoldsLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// ASCII letters only, as the Windows program lower-cased in its C locale.
std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Whether a "Path" value can serve as a folder: a colon only as the second
// character, after a letter.
bool UsablePathValue(std::string_view path) {
  if (path.empty() || path.size() > kMaxPathValueBytes) return false;
  const size_t colon = path.find(':');
  if (colon == std::string_view::npos) return true;
  const char drive = path[0];
  return colon == 1 && path.find(':', 2) == std::string_view::npos &&
         ((drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z'));
}

// The file's content; nullopt when it does not exist.
Result<std::optional<std::string>> ReadIfPresent(const fs::path& file) {
  std::error_code error;
  if (!fs::exists(file, error) && !error) return std::optional<std::string>();
  Result<std::string> content = platform::ReadFileCapped(file, kMaxProgressFileBytes);
  if (!content.ok()) return content.status();
  return std::optional<std::string>(std::move(*content));
}

// An exclusive advisory lock for a read-modify-write of `file`, on a lock
// file beside it. The progress file itself cannot carry the lock: every
// write renames a new file over it, and a process waiting on the old file's
// lock would then hold a lock on a file that no longer is the progress file.
// Where no lock file can be opened (a read-only folder) the work goes on
// unlocked, since its write will fail there anyway.
class ProgressFileLock {
 public:
  explicit ProgressFileLock(const fs::path& file) {
    const fs::path lock_file =
        file.parent_path() / std::string(".").append(file.filename().string()).append(".lock");
    fd_ = open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0) fd_ = open(lock_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd_ < 0) return;
    // Where the file system keeps no locks the work goes on unlocked too.
    if (platform::LockFile(fd_, platform::LockKind::kExclusive, platform::LockWait::kYes) ==
        platform::LockOutcome::kUnsupported)
      platform::WarnLocksUnsupported(file.string());
  }
  ~ProgressFileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  ProgressFileLock(const ProgressFileLock&) = delete;
  ProgressFileLock& operator=(const ProgressFileLock&) = delete;

 private:
  int fd_ = -1;
};

// Makes `component` (one folder name) a folder in the current folder of the
// current drive, when missing, and then the current folder.
Status EnterFolder(std::string_view component) {
  Result<fs::path> native = platform::ResolveWindowsPath(component);
  if (!native.ok()) return native.status();
  std::error_code error;
  if (!fs::create_directory(*native, error) && error && !fs::is_directory(*native))
    return Status::Error("cannot create the folder " + native->string() + ": " + error.message());
  return platform::SetCurrentDirectory(component);
}

std::string FolderOf(std::string_view chosen) {
  const size_t last = chosen.find_last_of("/\\");
  return last == std::string_view::npos ? std::string() : std::string(chosen.substr(0, last + 1));
}

}  // namespace

ProgressStore::ProgressStore(ProgressStoreOptions options) : options_(std::move(options)) {}

ProgressStore::~ProgressStore() = default;

void ProgressStore::SetKey(std::string_view key_name) {
  std::lock_guard lock(mutex_);
  key_name_ = UpToNul(key_name);
  resolved_.reset();
}

std::string ProgressStore::key_name() const {
  std::lock_guard lock(mutex_);
  return key_name_;
}

fs::path ProgressStore::ProgramFolderOrOption() const {
  return options_.program_folder.empty() ? ProgramFolder() : options_.program_folder;
}

platform::Registry* ProgressStore::RegistryLocked() {
  if (options_.registry) return options_.registry;
  if (!own_registry_) {
    Result<std::unique_ptr<platform::Registry>> opened = platform::Registry::OpenDefault();
    if (!opened.ok()) return nullptr;
    own_registry_ = std::move(*opened);
  }
  return own_registry_.get();
}

Result<std::optional<std::string>> ProgressStore::PathValueLocked() {
  if (key_name_.empty()) return std::optional<std::string>();
  platform::Registry* registry = RegistryLocked();
  if (!registry) return Status::Error("cannot open the registry");
  const std::string key = "HKEY_CURRENT_USER\\" + key_name_;
  Result<std::optional<platform::RegValue>> value = registry->GetValue(key, kProgressPathValue);
  if (!value.ok()) return value.status();
  if (!*value ||
      ((*value)->type != platform::RegType::kSz && (*value)->type != platform::RegType::kExpandSz))
    return std::optional<std::string>();
  if (!UsablePathValue((*value)->text)) return std::optional<std::string>();
  return std::optional<std::string>((*value)->text);
}

Result<fs::path> ProgressStore::ProgressFileLocked() {
  // A registry that cannot be read counts as a missing value.
  Result<std::optional<std::string>> path_value = PathValueLocked();
  if (!path_value.ok() || !*path_value) return ProgramFolderOrOption() / kProgressFileName;

  const std::string path = AsciiLower(**path_value);
  std::string_view rest = path;
  if (rest.size() >= 2 && rest[1] == ':') {
    const char drive = rest[0];
    if (Status changed = platform::SetCurrentDrive(drive); !changed.ok()) return changed;
    if (Status changed = platform::SetCurrentDirectory(std::string{drive, ':', '\\'});
        !changed.ok())
      return changed;
    rest.remove_prefix(2);
  } else if (IsSeparator(rest.front())) {
    if (Status changed = platform::SetCurrentDirectory("\\"); !changed.ok()) return changed;
  }
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    if (end > 0) {
      if (Status entered = EnterFolder(rest.substr(0, end)); !entered.ok()) return entered;
    }
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return platform::ResolveWindowsPath(kProgressFileName);
}

Result<fs::path> ProgressStore::CachedProgressFileLocked() {
  // A page reads its cookies often; resolving the folder again each time
  // (the registry, the drive links, a folder at a time) cost far more than
  // the read itself.
  platform::Registry* registry = key_name_.empty() ? nullptr : RegistryLocked();
  const uint64_t registry_stamp = registry ? registry->ChangeStamp() : 0;
  const uint64_t drive_links_stamp = platform::DriveLinksStamp();
  if (resolved_ && resolved_->key_name == key_name_ &&
      resolved_->registry_stamp == registry_stamp &&
      resolved_->drive_links_stamp == drive_links_stamp &&
      resolved_->current_directory == platform::CurrentDirectory()) {
    return resolved_->file;
  }
  resolved_.reset();
  Result<fs::path> file = ProgressFileLocked();
  if (file.ok()) {
    resolved_ =
        Resolved{key_name_, registry_stamp, drive_links_stamp, platform::CurrentDirectory(), *file};
  }
  return file;
}

Result<fs::path> ProgressStore::ProgressFile() {
  std::lock_guard lock(mutex_);
  return ProgressFileLocked();
}

Result<std::optional<std::string>> ProgressStore::Get(std::string_view name) {
  name = UpToNul(name);
  if (HoldsLineBreak(name)) return std::optional<std::string>();
  std::lock_guard lock(mutex_);
  Result<fs::path> file = CachedProgressFileLocked();
  if (!file.ok()) return file.status();
  Result<std::optional<std::string>> content = ReadIfPresent(*file);
  if (!content.ok() || !*content) return content;
  const std::optional<std::string> stored = FindStoredValue(**content, name);
  if (!stored) return std::optional<std::string>();
  return std::optional<std::string>(DecodeCookieValue(*stored));
}

template <typename Edit>
Status ProgressStore::Rewrite(Edit&& edit) {
  std::lock_guard lock(mutex_);
  Result<fs::path> file = ProgressFileLocked();
  if (!file.ok()) return file.status();
  ProgressFileLock file_lock(*file);
  Result<std::optional<std::string>> content = ReadIfPresent(*file);
  if (!content.ok()) return content.status();
  const std::optional<std::string> updated = edit(std::string_view(content->value_or("")));
  if (!updated) return Status::Ok();
  if (updated->size() > kMaxProgressFileBytes)
    return Status::Error("the progress file " + file->string() + " would grow beyond " +
                         std::to_string(kMaxProgressFileBytes) + " bytes");
  return platform::WriteFileAtomically(*file, *updated);
}

Status ProgressStore::Set(std::string_view name, std::string_view value) {
  name = UpToNul(name);
  if (HoldsLineBreak(name)) return Status::Error("a cookie name cannot hold a line break");
  const std::string stored = EncodeCookieValue(value);
  return Rewrite([&](std::string_view content) -> std::optional<std::string> {
    return ContentWithCookie(content, name, stored);
  });
}

Status ProgressStore::AppendChip(std::string_view name, std::string_view value) {
  name = UpToNul(name);
  if (HoldsLineBreak(name)) return Status::Error("a cookie name cannot hold a line break");
  const std::string stored = EncodeCookieValue(value);
  return Rewrite([&](std::string_view content) { return ContentWithChip(content, name, stored); });
}

Status ProgressStore::Delete(std::string_view name) {
  name = UpToNul(name);
  if (HoldsLineBreak(name)) return Status::Ok();  // no line can belong to it
  return Rewrite([&](std::string_view content) { return ContentWithoutCookie(content, name); });
}

void ProgressStore::StoreSavePrompt(ProgressWindowState& window, std::string_view text) {
  window.save_prompt = UpToNul(text);
}

Status ProgressStore::Export(const ProgressWindowState& window) {
  if (window.save_prompt.empty()) return Status::Ok();
  platform::Prompts& prompts = platform::CurrentPrompts();
  if (prompts.MessageBox(window.save_prompt, kCaption, kQuestionFlags) == platform::kIdNo)
    return Status::Ok();
  const std::optional<std::string> filter = ProgressChooserFilter();
  if (!filter) return Status::Ok();

  const std::string folder =
      window.last_folder.empty() ? ProgramFolderOrOption().string() : window.last_folder;
  platform::FileChooserRequest request;
  request.filter = *filter;
  request.filter_index = 1;
  request.initial_folder = folder;
  request.initial_name = kProgressFileName;
  request.flags = kExportChooserFlags;
  const std::optional<std::string> chosen = prompts.ChooseSaveFile(request);
  if (!chosen) return Status::Ok();

  std::lock_guard lock(mutex_);
  Result<fs::path> file = ProgressFileLocked();
  if (!file.ok()) return file.status();
  // Under the lock, so that a copy written over the progress file itself
  // cannot undo another process's change made in between.
  ProgressFileLock file_lock(*file);
  Result<std::optional<std::string>> content = ReadIfPresent(*file);
  if (!content.ok()) return content.status();
  if (!*content) return Status::Ok();
  return platform::WriteFileAtomically(*chosen, UpToNul(**content));
}

Status ProgressStore::Import(ProgressWindowState& window, std::string_view question) {
  platform::Prompts& prompts = platform::CurrentPrompts();
  if (prompts.MessageBox(UpToNul(question), kCaption, kQuestionFlags) == platform::kIdNo)
    return Status::Ok();
  const std::optional<std::string> filter = ProgressChooserFilter();
  if (!filter) return Status::Ok();

  const std::string folder = ProgramFolderOrOption().string();
  platform::FileChooserRequest request;
  request.filter = *filter;
  request.filter_index = 1;
  request.initial_folder = folder;
  request.flags = kImportChooserFlags;
  const std::optional<std::string> chosen = prompts.ChooseOpenFile(request);
  if (!chosen) return Status::Ok();

  Result<std::string> read = platform::ReadFileCapped(*chosen, kMaxProgressFileBytes);
  if (!read.ok()) return read.status();
  // Lines that are not UTF-8 come from the Windows program; a file may hold
  // both kinds, so each line is converted on its own.
  const std::string content = ContentAsUtf8(UpToNul(*read));
  window.last_folder = FolderOf(*chosen);
  if (content.size() > kMaxProgressFileBytes)
    return Status::Error(*chosen + " is too large for a progress file");

  // The old progress file is not read: whatever it holds, even a file too
  // large to read, is replaced.
  std::lock_guard lock(mutex_);
  Result<fs::path> file = ProgressFileLocked();
  if (!file.ok()) return file.status();
  ProgressFileLock file_lock(*file);
  return platform::WriteFileAtomically(*file, content);
}

ProgressStore& TheProgressStore() {
  static ProgressStore* store = new ProgressStore();  // never destroyed: usable during exit
  return *store;
}

}  // namespace norwin::host
