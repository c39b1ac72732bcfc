// `TitleFilename` (NorwinPellam2003.TitleFilename): the light handle of one
// record in a listing (an exam list, an exam, a lesson, a lesson menu): its
// title, its file name and the folder or server base URL it was found in.
// A handle holds no document; the record itself is loaded from `Directory`
// and `filename` when it is wanted.
//
// Also here: how handles fetch the record they name (FetchHandleRecord) and
// the two halves of a listing (a local folder scan, a server's listing
// answer), which every listing operation of the library shares.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The values of LessonObjType (enumeration LessonObjTypes).
inline constexpr int32_t kLessonObjTypeLesson = 1;
inline constexpr int32_t kLessonObjTypeTextbook = 2;

// Reads the record `filename` of folder `directory` into `doc`. A server
// folder (IsURL) is asked with GetBaseURL(directory) & "LoadPellamObject.asp?
// ObjName=" & obj_name & "&FileName=" & filename, then its extra query and the
// validation string, each after "&" when not empty; a local folder is joined
// to the name as it is (`directory` & `filename`: give folders ending in "/",
// see AddTrailingSlash). False, with `doc` empty, when the record is missing,
// unreadable or not XML; a server that does not answer raises
// kServerNotReached.
[[nodiscard]] bool FetchHandleRecord(XmlDocument& doc, std::string_view directory,
                                     std::string_view filename, std::string_view obj_name);
// The same, telling what reading found (record_storage.h's RecordRead): a
// server folder that answers with an error status is kRefused.
[[nodiscard]] RecordRead ReadHandleRecord(XmlDocument& doc, std::string_view directory,
                                          std::string_view filename, std::string_view obj_name);

class TitleFilename : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Filename() const { return filename_; }
  void SetFilename(const std::string& filename) { filename_ = filename; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& directory) { directory_ = directory; }
  int32_t LessonObjType() const { return lesson_obj_type_; }
  void SetLessonObjType(int32_t type) { lesson_obj_type_ = type; }

  // Sets the three texts; true.
  bool SetValues(std::string title, std::string directory, std::string filename);

  enum class LoadOutcome {
    kLoaded,     // Title, filename and Directory are set
    kNotLoaded,  // missing, unreadable or not XML; nothing changed
    kNoTitle,    // a document without a `title` child; nothing changed
    kRefused,    // the server folder answered with an error status; nothing
                 // changed
  };
  // Fetches the record (ReadHandleRecord) and takes its root's `title`.
  LoadOutcome Fetch(const std::string& directory, const std::string& filename,
                    std::string_view obj_name);
  // Fetch, raising 91 for a document without a title, as a record missing a
  // required element does; never kNoTitle.
  LoadOutcome Find(const std::string& directory, const std::string& filename,
                   std::string_view obj_name);
  // The script form: Find(...) == kLoaded.
  bool LoadValues(const std::string& directory, const std::string& filename,
                  const std::string& obj_name);

 private:
  std::string title_;
  std::string filename_;
  std::string directory_;
  int32_t lesson_obj_type_ = 0;
};

// The names in local folder `folder` that `matches` accepts, each opened
// with TitleFilename::Fetch(AddTrailingSlash(folder), name, obj_name); a
// new collection, without keys, of those that loaded with a title (a file
// that does not load, or has no title, is skipped, so one stray file never
// hides the others). Empty when the folder does not exist.
automation::Ref<automation::Collection> ListLocalTitleFilenames(
    std::string_view folder, const std::function<bool(std::string_view name)>& matches,
    std::string_view obj_name);

// A new collection, without keys, of one handle for each (title, file name)
// pair of `fields` (FetchListing with two fields a record), each with
// `directory` as its Directory. The records are not opened.
automation::Ref<automation::Collection> TitleFilenamesFromListing(
    std::span<const std::string> fields, std::string_view directory);

}  // namespace norwin::datalayer
