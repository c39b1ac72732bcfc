// The progress file and its cookie store: the small named values that page
// script keeps across pages and runs (GetCookie, setCookie, appendChip,
// delCookie, SetKey, saveMsg, save and open of window.external), and the
// cookie "VelloraExamURL" that the navigation check records.
//
// The cookies live in one text file, "tck.txt" (its format: progress_format.h).
// Its folder is the string value "Path" of the key HKEY_CURRENT_USER\<key
// name> when SetKey named a key and the value can be read, and otherwise the
// program's folder (program_folder.h). The "Path" value is taken as the
// Windows program took it: lower-cased, its drive made the current drive
// with its root as the current folder, then each folder below created when
// missing and made the current folder in turn; the drive and folder stay
// current afterwards. A value without a drive letter is taken on the
// current drive (from its root when it begins with a backslash, else from
// its current folder). A value that cannot serve as a path (not a string,
// 260 bytes or longer, empty, a colon anywhere but after a leading letter)
// counts as missing. A changed key name or value applies at once: reads
// keep the resolved path only while the key name, the registry (its change
// stamp), the drive links and the current folder are as they were (and
// leave the drive and folder current as a fresh resolution would); writes
// always resolve it again.
//
// The file is never rewritten in place. Every change writes the new content
// to a temporary file in the same folder and renames it over the old one,
// so the file is at all times either the old or the new one, also after a
// crash or a full disk; and every read-modify-write runs under an advisory
// lock (flock on the hidden file ".tck.txt.lock" beside it), so windows and
// processes that set cookies at the same time lose none of each other's.
// Reading needs no lock. A progress file larger than 32 MiB is refused, never
// overwritten.
//
// Values come back as UTF-8. A line that is not valid UTF-8 was written by
// the Windows program, in Windows-1252, and is read as such, line by line
// (progress_format.h): get, set, append, delete and import all find a
// cookie whichever encoding its line is in, and an imported file has each
// of its Windows-1252 lines converted.
//
// Operations report failures as values; script-facing callers ignore them
// (the script sees success, as with the Windows program) and may trace them.
// A ProgressStore may be used from several threads (lumo's UI thread and
// its objects' apartment); its lock takes them in turn. The prompts of
// Export and Import run nested main loops, and no lock is held while they
// are open, so other windows may use the store meanwhile.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/platform/registry.h"
#include "norwin/platform/status.h"

namespace norwin::host {

inline constexpr std::string_view kProgressFileName = "tck.txt";
// The registry value, under HKEY_CURRENT_USER\<key name>, naming the folder.
inline constexpr std::string_view kProgressPathValue = "Path";
// The most bytes a progress file (or a file to import) may hold.
inline constexpr size_t kMaxProgressFileBytes = size_t{32} << 20;

// OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST.
inline constexpr uint32_t kExportChooserFlags = 0x806;
// OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_SHAREAWARE.
inline constexpr uint32_t kImportChooserFlags = 0x5804;

// The progress state of one window: its save prompt (set by saveMsg, asked
// by save and when the main window closes) and the folder of the last
// imported file (where the export chooser opens). Owned by the window.
struct ProgressWindowState {
  std::string save_prompt;
  std::string last_folder;  // native, with a trailing "/"; empty at first
};

struct ProgressStoreOptions {
  // Where the file lives without a "Path" value; empty: ProgramFolder().
  std::filesystem::path program_folder;
  // The registry to read "Path" from; not owned, must outlive the store.
  // nullptr: the machine's registry, opened on first need.
  platform::Registry* registry = nullptr;
};

class ProgressStore {
 public:
  explicit ProgressStore(ProgressStoreOptions options = {});
  ~ProgressStore();
  ProgressStore(const ProgressStore&) = delete;
  ProgressStore& operator=(const ProgressStore&) = delete;

  // Names the key under HKEY_CURRENT_USER whose value "Path" gives the
  // folder, from the next operation on; empty: the program's folder.
  void SetKey(std::string_view key_name);
  std::string key_name() const;

  // The native path of the progress file, creating the folders of "Path"
  // (see above). Fails when the "Path" drive does not exist or a folder of it
  // cannot be created.
  Result<std::filesystem::path> ProgressFile();

  // The value of the cookie `name`; nullopt when the file or the cookie is
  // missing. Fails when the file cannot be read.
  Result<std::optional<std::string>> Get(std::string_view name);

  // Sets the cookie `name` to `value`; its line moves to the top of the file
  // (a new cookie goes to the end). Fails, changing nothing, when the name
  // holds a line break or the file cannot be read or written.
  Status Set(std::string_view name, std::string_view value);

  // Adds `value` as a chip to the chip list `name`, unless the list already
  // holds it (the chip and its separator anywhere in the list's text: "b"
  // is taken as present in "ab|~"). Fails as Set does.
  Status AppendChip(std::string_view name, std::string_view value);

  // Removes every line of the cookie `name`. A missing file stays missing.
  // Fails, changing nothing, when the file cannot be read or written.
  Status Delete(std::string_view name);

  // Stores the question that `Export` asks.
  static void StoreSavePrompt(ProgressWindowState& window, std::string_view text);

  // Offers to save a copy of the progress file: nothing without a save
  // prompt; otherwise asks it (Yes/No, caption "Lumo"), then lets the user
  // choose the file (save chooser on the window's last folder, else the
  // program's folder) and writes the copy whole. Declining, cancelling and a
  // missing progress file end it with success; a copy that cannot be
  // written fails (the chosen file stays as it was).
  Status Export(const ProgressWindowState& window);

  // Asks `question` (Yes/No, caption "Lumo"), lets the user choose a file
  // (open chooser on the program's folder) and makes it the progress file,
  // replacing the old one whole; the chosen file's folder becomes the
  // window's last folder. Declining and cancelling end with success; a file
  // that cannot be read, or a progress file that cannot be written, fails
  // with the old progress file unchanged.
  Status Import(ProgressWindowState& window, std::string_view question);

 private:
  template <typename Edit>
  Status Rewrite(Edit&& edit);
  Result<std::optional<std::string>> PathValueLocked();
  Result<std::filesystem::path> ProgressFileLocked();
  std::filesystem::path ProgramFolderOrOption() const;

  Result<std::filesystem::path> CachedProgressFileLocked();
  platform::Registry* RegistryLocked();

  mutable std::mutex mutex_;
  ProgressStoreOptions options_;
  // The progress file as the last resolution found it, and what it
  // depended on.
  struct Resolved {
    std::string key_name;
    uint64_t registry_stamp = 0;
    uint64_t drive_links_stamp = 0;
    std::string current_directory;
    std::filesystem::path file;
  };
  std::optional<Resolved> resolved_;
  std::unique_ptr<platform::Registry> own_registry_;
  std::string key_name_;
};

// The process's store, used by every window.
ProgressStore& TheProgressStore();

}  // namespace norwin::host
