#include "norwin/platform/drives.h"

#include <dirent.h>
#include <sys/stat.h>

#include <array>
#include <mutex>

#include "norwin/platform/case_fold.h"
#include "norwin/platform/prefix.h"

namespace norwin::platform {

namespace {

namespace fs = std::filesystem;

using Components = std::vector<std::string>;

char LowerLetter(char letter) {
  if (letter >= 'A' && letter <= 'Z') return static_cast<char>(letter - 'A' + 'a');
  if (letter >= 'a' && letter <= 'z') return letter;
  return 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "/media/cdrom/" -> "/media/cdrom", so that roots compare and join cleanly.
fs::path WithoutTrailingSeparator(fs::path path) {
  path = path.lexically_normal();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

struct DriveState {
  std::mutex mutex;
  bool initialised = false;
  char current = 'c';
  char course = 0;  // none
  std::array<Components, 26> folders;
};

// Drives of this process alone (MountFolderAsDrive); an empty root: none.
// A lock of its own, because DriveRoot is called with the state locked.
struct MountedDrives {
  std::mutex mutex;
  std::array<fs::path, 26> roots;
};

MountedDrives& Mounted() {
  static MountedDrives* mounted = new MountedDrives();  // never destroyed: usable during exit
  return *mounted;
}

DriveState& State() {
  static DriveState* state = new DriveState();  // never destroyed: usable during exit
  return *state;
}

// Components of `path` below `root`; nullopt when it does not lie below it.
std::optional<Components> ComponentsBelow(const fs::path& path, const fs::path& root) {
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty()) return std::nullopt;
  Components out;
  for (const fs::path& part : relative) {
    const std::string name = part.string();
    if (name == "..") return std::nullopt;
    if (name.empty() || name == ".") continue;
    out.push_back(name);
  }
  return out;
}

// Called with the state locked: c:'s folder starts as the working folder.
void InitialiseLocked(DriveState& state) {
  if (state.initialised) return;
  state.initialised = true;
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  const std::optional<fs::path> root = DriveRoot('c');
  if (ec || !root) return;
  if (std::optional<Components> below = ComponentsBelow(cwd.lexically_normal(), *root))
    state.folders['c' - 'a'] = std::move(*below);
}

std::string FormatWindowsPath(char drive, const Components& components) {
  std::string out{drive, ':', '\\'};
  for (size_t i = 0; i < components.size(); ++i) {
    if (i) out.push_back('\\');
    out += components[i];
  }
  return out;
}

Status NoDrive(char letter) {
  return Status::Error("drive " + std::string(1, letter) + ": does not exist (no link " +
                       (DrivesDir() / std::string(1, letter)).string() + ")");
}

// The entry of `dir` whose name equals `name` without regard to case; the
// first in byte order when several do.
std::optional<std::string> FindIgnoringCase(const fs::path& dir, std::string_view name) {
  // readdir rather than directory_iterator: no path object per entry, which
  // matters in the folders of a course with thousands of pages.
  DIR* listing = opendir(dir.c_str());
  if (!listing) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view entry_name(entry->d_name);
    if (entry_name == "." || entry_name == "..") continue;
    if (EqualsIgnoringCase(entry_name, name) && (!best || entry_name < *best))
      best = std::string(entry_name);
  }
  closedir(listing);
  return best;
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

struct Resolved {
  char drive;
  fs::path root;
  Components components;  // as found on disk where they exist
  fs::path native;
};

Result<Resolved> Resolve(std::string_view path) {
  if (path.empty()) return Status::Error("the path is empty");
  if (path.find('\0') != std::string_view::npos)
    return Status::Error("the path holds a NUL character");
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    return Status::Error("network paths are not supported: " + std::string(path));

  DriveState& state = State();
  Resolved out;
  std::string_view rest = path;
  {
    std::lock_guard lock(state.mutex);
    InitialiseLocked(state);
    out.drive = state.current;
    if (path.size() >= 2 && path[1] == ':') {
      out.drive = LowerLetter(path[0]);
      if (!out.drive) return Status::Error("invalid drive in the path " + std::string(path));
      rest.remove_prefix(2);
    }
    if (rest.empty() || !IsSeparator(rest.front())) out.components = state.folders[out.drive - 'a'];
  }
  std::optional<fs::path> root = DriveRoot(out.drive);
  if (!root) return NoDrive(out.drive);
  out.root = std::move(*root);

  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view part = rest.substr(pos, end - pos);
    if (part == "..") {
      if (!out.components.empty()) out.components.pop_back();
    } else if (!part.empty() && part != ".") {
      out.components.emplace_back(part);
    }
    pos = end + 1;
  }

  out.native = out.root;
  for (const std::string& part : out.components) out.native /= part;
  if (out.components.empty() || Exists(out.native)) return out;

  // Not there as written: walk down from the root, matching each missing
  // component without regard to case.
  fs::path found = out.root;
  bool lost = false;  // once a folder is missing, nothing below it can match
  for (std::string& part : out.components) {
    if (!lost && !Exists(found / part)) {
      if (std::optional<std::string> match = FindIgnoringCase(found, part))
        part = std::move(*match);
      else
        lost = true;
    }
    found /= part;
  }
  out.native = std::move(found);
  return out;
}

}  // namespace

fs::path DrivesDir() { return PrefixDir() / "drives"; }

uint64_t DriveLinksStamp() {
  struct stat info {};
  if (stat(DrivesDir().c_str(), &info) != 0) return 0;
  // A link replaced in place (rename over it) changes the folder's times;
  // the folder replaced changes its inode.
  uint64_t stamp = static_cast<uint64_t>(info.st_ino);
  for (const timespec& time : {info.st_mtim, info.st_ctim}) {
    stamp = stamp * 1000003 ^ static_cast<uint64_t>(time.tv_sec);
    stamp = stamp * 1000003 ^ static_cast<uint64_t>(time.tv_nsec);
  }
  return stamp == 0 ? 1 : stamp;
}

std::optional<fs::path> DriveRoot(char letter) {
  const char lower = LowerLetter(letter);
  if (!lower) return std::nullopt;
  {
    MountedDrives& mounted = Mounted();
    std::lock_guard lock(mounted.mutex);
    if (!mounted.roots[lower - 'a'].empty()) return mounted.roots[lower - 'a'];
  }
  const fs::path dir = DrivesDir();
  const fs::path entry = dir / std::string(1, lower);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(entry, ec);
  if (!ec && status.type() == fs::file_type::symlink) {
    fs::path target = fs::read_symlink(entry, ec);
    if (!ec && !target.empty())
      return WithoutTrailingSeparator(target.is_relative() ? dir / target : target);
  } else if (!ec && status.type() == fs::file_type::directory) {
    return entry;
  }
  if (lower == 'c') return fs::path("/");
  return std::nullopt;
}

bool DriveExists(char letter) { return DriveRoot(letter).has_value(); }

std::vector<char> ExistingDrives() {
  std::vector<char> out;
  for (char letter = 'a'; letter <= 'z'; ++letter)
    if (DriveExists(letter)) out.push_back(letter);
  return out;
}

char CurrentDrive() {
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  InitialiseLocked(state);
  return state.current;
}

Status SetCurrentDrive(char letter) {
  const char lower = LowerLetter(letter);
  if (!lower) return Status::Error(std::string{'"', letter} + "\" is not a drive letter");
  if (!DriveExists(lower)) return NoDrive(lower);
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  InitialiseLocked(state);
  state.current = lower;
  return Status::Ok();
}

std::string CurrentDirectory() {
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  InitialiseLocked(state);
  return FormatWindowsPath(state.current, state.folders[state.current - 'a']);
}

Result<std::string> CurrentDirectoryOn(char letter) {
  const char lower = LowerLetter(letter);
  if (!lower) return Status::Error(std::string{'"', letter} + "\" is not a drive letter");
  if (!DriveExists(lower)) return NoDrive(lower);
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  InitialiseLocked(state);
  return FormatWindowsPath(lower, state.folders[lower - 'a']);
}

Status SetCurrentDirectory(std::string_view windows_path) {
  Result<Resolved> resolved = Resolve(windows_path);
  if (!resolved.ok()) return resolved.status();
  std::error_code ec;
  if (!fs::is_directory(resolved->native, ec))
    return Status::Error("cannot change to " + std::string(windows_path) + ": " +
                         resolved->native.string() + " is not a folder");
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  state.current = resolved->drive;
  state.folders[resolved->drive - 'a'] = std::move(resolved->components);
  return Status::Ok();
}

Result<fs::path> ResolveWindowsPath(std::string_view path) {
  Result<Resolved> resolved = Resolve(path);
  if (!resolved.ok()) return resolved.status();
  return std::move(resolved->native);
}

void SetCourseDrive(char letter) {
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  state.course = LowerLetter(letter);
}

std::optional<char> CourseDrive() {
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.course) return std::nullopt;
  return state.course;
}

Result<fs::path> ResolveCoursePath(std::string_view path) {
  // One backslash first: a root-relative Windows path, which a course
  // writes for its own drive. "/x" stays a path of this machine (c: is /),
  // as records folders set up on it are written.
  const bool root_relative =
      path.size() >= 1 && path[0] == '\\' && (path.size() == 1 || !IsSeparator(path[1]));
  if (root_relative) {
    if (const std::optional<char> course = CourseDrive()) {
      return ResolveWindowsPath(std::string{*course, ':'} + std::string(path));
    }
  }
  return ResolveWindowsPath(path);
}

std::optional<std::string> ToWindowsPath(const fs::path& native) {
  std::error_code ec;
  const fs::path absolute = WithoutTrailingSeparator(fs::absolute(native, ec));
  if (ec) return std::nullopt;

  // The deepest root wins: with c: = / and d: = /media/cdrom, a file on the
  // disc is d:\x, not c:\media\cdrom\x. Roots are tried as linked and, for
  // native paths that went through a link on the way, as resolved.
  std::optional<std::string> best;
  size_t best_depth = 0;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::optional<fs::path> root = DriveRoot(letter);
    if (!root) continue;
    std::vector<fs::path> roots{*root};
    if (fs::path canonical = fs::canonical(*root, ec); !ec && canonical != *root)
      roots.push_back(std::move(canonical));
    for (const fs::path& candidate : roots) {
      std::optional<Components> below = ComponentsBelow(absolute, candidate);
      if (!below) continue;
      const size_t depth = static_cast<size_t>(std::distance(candidate.begin(), candidate.end()));
      if (best && depth <= best_depth) continue;
      bool representable = true;
      for (const std::string& part : *below)
        if (part.find('\\') != std::string::npos) representable = false;
      if (!representable) continue;
      best = FormatWindowsPath(letter, *below);
      best_depth = depth;
    }
  }
  return best;
}

void ResetDrivesForTesting() {
  DriveState& state = State();
  std::lock_guard lock(state.mutex);
  state.initialised = false;
  state.current = 'c';
  state.course = 0;
  for (Components& folder : state.folders) folder.clear();
  MountedDrives& mounted = Mounted();
  std::lock_guard mounted_lock(mounted.mutex);
  for (fs::path& root : mounted.roots) root.clear();
}

Result<char> MountFolderAsDrive(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(folder, ec);
  if (ec || !fs::is_directory(absolute, ec)) {
    return Status::Error(folder.string() + " is not a folder");
  }
  for (char letter = 'd'; letter <= 'z'; ++letter) {
    if (DriveExists(letter)) continue;
    {
      MountedDrives& mounted = Mounted();
      std::lock_guard lock(mounted.mutex);
      mounted.roots[letter - 'a'] = WithoutTrailingSeparator(absolute);
    }
    DriveState& state = State();
    std::lock_guard lock(state.mutex);
    state.folders[letter - 'a'].clear();
    return letter;
  }
  return Status::Error("no drive letter is free for " + folder.string());
}

}  // namespace norwin::platform
