// Windows drive letters and paths on this machine.
//
// The letters a to z are folders named by entries of $NORWIN_PREFIX/drives/:
// a link `drives/d -> /media/cdrom` (or a folder `drives/d`) makes d: that
// folder. Without an entry, c: is / and the other letters do not exist. A
// drive whose link points nowhere exists but holds nothing, like a disc
// drive without a disc.
//
// The process has a current drive (at first c:) and a current folder on
// every drive (at first its root; on c: the process's working folder when
// that lies on c:, so that relative names typed on a command line mean what
// they mean in the shell). Changing them never changes the process's
// working folder. The state is shared by all threads and guarded.
//
// Windows paths resolve to native paths: "d:\course\x.htm", "d:course\x"
// (from d:'s current folder), "\course\x.htm" (root of the current drive),
// "course\x" (current folder of the current drive), with either separator.
// "." and ".." are applied to the text and never leave the drive's root. A
// path that begins with a separator is on the current drive, so while that
// is c: and c: is /, a native absolute path resolves to itself. When a path
// does not exist as written, each component is looked up without regard to
// case, because course discs were authored on a system that ignores case;
// components that match nothing are kept as written, so a file about to be
// created lands in the existing folder whatever the case of its name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::platform {

// $NORWIN_PREFIX/drives.
std::filesystem::path DrivesDir();

// A value that changes whenever an entry of the drives folder is added,
// removed or replaced (a drive link made to point elsewhere), or the
// folder itself is; one stat of the folder. For caches of resolved paths.
uint64_t DriveLinksStamp();

// The folder that drive `letter` (either case) stands for; nullopt for a
// letter that is not a drive or not a letter.
std::optional<std::filesystem::path> DriveRoot(char letter);
bool DriveExists(char letter);
// The drives that exist, as lower-case letters in order.
std::vector<char> ExistingDrives();

// The current drive as a lower-case letter.
char CurrentDrive();
// Fails when the drive does not exist; the folder of each drive is kept.
Status SetCurrentDrive(char letter);
// The current folder of the current drive, as "c:\home\pat" ("d:\" at a
// root).
std::string CurrentDirectory();
// The current folder of drive `letter`; fails for a drive that does not
// exist.
Result<std::string> CurrentDirectoryOn(char letter);
// Makes the folder `windows_path` (any form above) the current folder of its
// drive and that drive the current drive. Fails, changing nothing, when the
// path does not resolve to an existing folder.
Status SetCurrentDirectory(std::string_view windows_path);

// The native path of a Windows path. Fails for an empty path, a NUL
// character, a network path ("\\server\share"), an invalid drive
// letter and a drive that does not exist. Whether the result exists
// is for the caller to find out.
Result<std::filesystem::path> ResolveWindowsPath(std::string_view path);

// The course drive: the drive of the course this process runs (lumo sets it
// from its settings; other programs have none). Either case; a character
// that is no letter means none.
void SetCourseDrive(char letter);
std::optional<char> CourseDrive();

// The native path of a path that a course's page script gives an object (a
// record location, a content database, a file): as ResolveWindowsPath, but
// a root-relative path written with a backslash ("\records\x.xml") lies on
// the course drive when there is one, as the course's root-relative
// addresses do. A path that begins with "/" stays on the current drive, so
// native paths of this machine keep meaning themselves.
Result<std::filesystem::path> ResolveCoursePath(std::string_view path);

// The Windows path ("d:\course\x.htm") of a native path, on the drive with
// the deepest root that contains it; a relative path is taken from the
// process's working folder. nullopt when no drive contains it or a name in
// it holds a backslash.
std::optional<std::string> ToWindowsPath(const std::filesystem::path& native);

// Makes `folder` a drive of this process alone (no link is written): the
// first letter from d to z that is no drive yet. Returns the letter; fails
// when `folder` is not an existing folder or every letter is taken. For a
// course given by its native path, whose folder is then its course drive.
Result<char> MountFolderAsDrive(const std::filesystem::path& folder);

// Forgets the current drive and folders and the process's own drives, as if
// the process had just started.
void ResetDrivesForTesting();

}  // namespace norwin::platform
