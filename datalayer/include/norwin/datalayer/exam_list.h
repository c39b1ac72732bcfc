// `ExamList` (NorwinPellam2003.ExamList): a titled group of exams with common
// preferences, kept as a record of kind "ExamList" (root `examList`, file
// names ending "_pmxl.xml"): `title`, `pref`, then one `examFile` per exam.
//
// `Exams` holds a TitleFilename per exam under the exam's title; each exam
// is found, when the list loads, in the first folder of a ";"-separated
// folder list that holds it, and one that no folder holds is left out of
// `Exams`. The list still remembers such a file and Save writes it back, so
// that a folder out of reach while the list was open (a disc not inserted,
// a server down) never costs the list its exams. Load adds to `Exams`
// without emptying it and overwrites the preferences the document carries.
// `Prefs` is made when first needed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/preferences.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class ExamList : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  ExamList();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // The collection itself (made anew when script set Nothing), not a copy.
  automation::Ref<automation::Collection> Exams();
  // Script that sets a collection of its own takes over the whole list: the
  // exams no folder held are forgotten.
  void SetExams(automation::Ref<automation::Collection> exams) {
    exams_ = std::move(exams);
    unfound_files_.clear();
  }
  automation::Ref<Preferences> Prefs();
  void SetPrefs(automation::Ref<Preferences> prefs) { prefs_ = std::move(prefs); }
  const std::string& ExamListFilename() const { return filename_; }
  void SetExamListFilename(const std::string& name) { filename_ = name; }

  // The exam lists of a local folder (every "_pmxl.xml" file that loads with
  // a title) or of a server folder (its listing answer, not opened): a new
  // collection of TitleFilename without keys. A server that does not answer
  // raises kServerNotReached, a listing cut short runtime error 5.
  automation::Ref<automation::Collection> GetExamLists(const std::string& directory);

  // False when the record cannot be fetched or is not XML. Raises 91 when
  // it has no `title` or `pref` (nothing changed then), what
  // Preferences::LoadFromXml raises, and 457 when two exams share a title
  // (the exams before it stay added).
  bool Load(const std::string& filename, const std::string& directory_list);
  // Stores the list; true, false when a server refused it. Raises 424 when a
  // member of Exams is no object and what its `filename` raises, before
  // anything is stored.
  bool Save(const std::string& filename);
  // True when the record was deleted (record_storage.h, DeleteRecord).
  automation::Variant Delete(const std::string& filename);

  bool CheckPassword(const std::string& password);
  void SetPassword(const std::string& password);
  // Shares `prefs` (a new Preferences when null) and marks it not inherited.
  void SetPreferences(automation::Ref<Preferences> prefs);

  // Fills the list from its root element `root`, finding each exam in
  // `directory_list`; see Load.
  void LoadFromXml(XmlNode root, std::string_view directory_list);
  // Appends `title`, `pref` and the `examFile` elements to the empty `root`:
  // the members of Exams in order, each file no folder held (and no member
  // names) in its place of the loaded list, right after the file it followed
  // there; one whose predecessor has left the list goes last.
  void SaveToXml(XmlNode root);

 private:
  std::string title_;
  automation::Ref<automation::Collection> exams_;
  automation::Ref<Preferences> prefs_;
  std::string filename_;
  // An exam file a load named that no folder held, and the file before it
  // in that list ("" at its head), so that a save puts it back in its place.
  struct UnfoundFile {
    std::string name;
    std::string after;
  };
  // In document order.
  std::vector<UnfoundFile> unfound_files_;
};

}  // namespace norwin::datalayer
