// `LiveExResults` (NorwinPellam2003.LiveExResults): one student's results
// of one live exercise, a keyed collection of LiveExScore (key: the score's
// ID), stored as an XML record (root `liveResults`, object name
// "LiveExResults", request shape A of record_storage.h) and, when the
// machine holds a submission document for the exercise, sent to the
// course-management server through VelloraLiveEx.
//
// Submission documents wait in the folder named by the registry value
// `resultsDir` of HKEY_LOCAL_MACHINE\Software\Norwin Interactive\Pellam\Zephon,
// as "VelloraLiveEx_" + ExamID + ".xml". Save stores the full record and
// then submits the score. Once the server has accepted it, the stored record
// becomes the empty `liveResults` root and the document is used up (deleted,
// or marked as sent when it cannot be deleted). A server that refused the
// score uses the document up too, and the full record stays; a server that
// could not be reached leaves both for the next Save to try again.
//
// Expected failures are results (false); storage errors reach the caller as
// record_storage.h raises them. One thread at a time, as every automation
// object.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/vellora_live_ex.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

inline constexpr RecordKind kLiveExResultsKind{
    "LiveExResults", RequestShape::kA, {}, "liveResults"};

// Where the submission documents of live exercises wait.
inline constexpr std::string_view kLiveExSettingsKey =
    "Software\\Norwin Interactive\\Pellam\\Zephon";
inline constexpr std::string_view kLiveExResultsDirValue = "resultsDir";

// The start of the message (default caption) shown when the record page
// refuses a save; the page's answer follows it.
inline constexpr std::string_view kLiveExSaveRefusedText = "Vellora server repored an error: ";

// Whether Save removes the record it was loaded from when it stores the
// results under another name.
enum class DeleteOld { kNo, kYes };

class LiveExResults : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // ---- Properties (strings start empty) ----
  // The scores; made empty on first use.
  automation::Collection& Scores();
  automation::Ref<automation::Collection> GetScores() {
    return automation::Ref<automation::Collection>(&Scores());
  }
  // Replaces the collection (null: a new empty one on next use).
  void SetScores(automation::Ref<automation::Collection> scores) { scores_ = std::move(scores); }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value) { title_ = value; }
  const std::string& ExamId() const { return exam_id_; }
  void SetExamId(const std::string& value) { exam_id_ = value; }
  const std::string& CompletionDate() const { return completion_date_; }
  void SetCompletionDate(const std::string& value) { completion_date_ = value; }
  // The file name (without folders) of the record last loaded.
  const std::string& ExamFileName() const { return exam_file_name_; }
  void SetExamFileName(const std::string& value) { exam_file_name_ = value; }
  const std::string& StudentId() const { return student_id_; }
  void SetStudentId(const std::string& value) { student_id_ = value; }
  // Where the record was loaded from.
  const std::string& OrigFilename() const { return orig_filename_; }
  void SetOrigFilename(const std::string& value) { orig_filename_ = value; }

  // ---- Loading ----
  // Reads the record at `filename` and adds its scores. False, with the
  // object as it was, when it is missing, no well-formed document or no
  // `liveResults` record (an error page).
  bool Load(std::string_view filename);
  // Reads the `liveResults` element `root`: attributes ID and
  // completionDate, children title and studentID (missing ones leave their
  // property), and one score per `score` child, added to Scores unless its
  // ID is there already. A malformed value leaves the score's default. Sets
  // ExamFileName from `filename`. Always true.
  bool LoadFromXml(XmlNode root, std::string_view filename);

  // ---- Storing ----
  // Fills `root` with the record: attributes ID and completionDate and child
  // studentID only when not empty, child title always, one `score` child
  // per member of Scores.
  void SaveToXml(XmlNode root) const;
  // Stores the full record at `filename` (a server's non-empty or non-2xx
  // answer is shown after kLiveExSaveRefusedText and counts as a failure),
  // then, when a submission document waits for this exercise, sends
  // CalcScore() with it (see the top of this file for what becomes of the
  // record and the document). With DeleteOld::kYes and a stored record, the
  // record it was loaded from is deleted when it is another one. True when
  // the record was stored and the score, if there was one to send, was
  // accepted.
  bool Save(std::string_view filename, DeleteOld delete_old);

  // The waiting submission document of this exercise, loaded with the first
  // access key and then deleted (it serves one submission); null when there
  // is none or it does not load.
  automation::Ref<VelloraLiveEx> GetVelloraLiveEx();

  // The percentage of scores that are Correct (0 for none), unrounded.
  double CalcScore() const;

  // Deletes the record at `filename` (record_storage.h's DeleteRecord).
  bool Delete(std::string_view filename) const;

 private:
  struct Submission {
    std::string file;
    automation::Ref<VelloraLiveEx> document;
  };
  // The submission document waiting for ExamID, loaded but not deleted.
  std::optional<Submission> FindSubmission() const;
  // Deletes the document of a submission that is over, or marks it as sent.
  void UseUp(const Submission& submission) const;
  // Stores `doc` at `filename`; false when a server refused it.
  bool StoreRecord(const XmlDocument& doc, std::string_view filename) const;

  automation::Ref<automation::Collection> scores_;
  std::string title_;
  std::string exam_id_;
  std::string completion_date_;
  std::string exam_file_name_;
  std::string student_id_;
  std::string orig_filename_;
};

}  // namespace norwin::datalayer
