// `Students` (NorwinPellam2003.Students): a class roster, the students of
// an installation or server site, kept as one XML document (root
// `students`) in a local file or behind the record pages (record_storage.h,
// object name "Students").
//
// The roster holds its students in a keyed collection (key: StudentID, in
// roster order) and a user-name index (user name -> StudentID, compared
// exactly, only for students with a user name), and counts the student IDs
// it has issued ("SID00001", "SID00002", ...) in the document's
// `autoStudentID` attribute.
//
// Loading first empties the roster, so a failed load leaves it empty.
// Adding a student to a local roster reads, changes and writes the file
// under the roster lock (roster_lock.h), so that students added by several
// processes at once are all kept; replacing and deleting take the same
// lock. Expected failures (a missing or unreadable roster, a roster another
// process keeps locked) return false; validation and duplicate failures
// raise AutomationError with the numbers of student.h and the source
// "students:AddStudent" (or "students:ReplaceStudent"); storage errors
// reach the caller unchanged.
//
// One thread at a time, as every automation object.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/student.h"
#include "norwin/datalayer/student_order.h"
#include "norwin/datalayer/user_index.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The student ID issued for counter value `counter`: "SID" and the counter
// with zeros in front up to five digits ("SID00011", "SID10000").
std::string StudentIdFromCounter(int16_t counter);

class Students : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  Students() = default;

  // The students, keyed by StudentID; made on first use.
  automation::Collection& Roster();
  automation::Ref<automation::Collection> GetStudents() {
    return automation::Ref<automation::Collection>(&Roster());
  }
  // Replaces the collection (a null one is made afresh on next use). The
  // user-name index is not rebuilt: the next load does that.
  void SetStudents(automation::Ref<automation::Collection> students);

  // The issued-ID counter.
  int16_t AutoStudentId() const { return auto_student_id_; }

  // ---- Loading and saving ----
  // `courses` is a course list (course_references.h) or null: with one, the
  // students' course and section references are checked as they load.
  // True when the roster was read; false when it is missing or no
  // well-formed document (the roster is then empty).
  bool Load(std::string_view filename, automation::Object* courses);
  // The same; a server applies the filter (each value only when not empty),
  // a local roster is read whole.
  bool LoadWithFilter(std::string_view filename, automation::Object* courses,
                      std::string_view course_id, std::string_view section_id,
                      std::string_view student_id);
  // Adds the students of the `students` element `root` (one per child
  // element). A duplicate StudentID or user name raises runtime error 457.
  bool LoadFromXml(XmlNode root, automation::Object* courses);
  // Stores the roster. Raises what the students' SaveToXml and the storage
  // raise; nothing is stored then.
  bool Save(std::string_view filename, automation::Object* courses);
  // Appends one `student` element per student to `node`.
  bool SaveToXml(XmlNode node, automation::Object* courses) const;

  // ---- Changing a stored roster ----
  // Validates `student` (raising 0x80040000 + the code of Validate), then,
  // under the roster lock, re-reads the roster, gives the student the next
  // free issued ID when it has none, adds it and writes the roster back.
  // Raises 0x8004027B for a user name or ID already in the roster. False
  // when the roster stays locked through every try, cannot be created or
  // cannot be read.
  bool AddStudent(std::string_view filename, Student* student, automation::Object* courses);
  // Re-reads the roster and puts `student` in place of the entry with its
  // StudentID (or at the end when there is none), then writes it back.
  // False when the roster cannot be read or the student has no StudentID;
  // raises 0x8004027B when its user name belongs to another student.
  bool ReplaceStudent(std::string_view filename, Student* student, automation::Object* courses);
  // Removes the entry with the student's StudentID from the stored roster
  // (a server does it itself; its answer, when not empty, is shown and the
  // result is false) and from this object.
  bool DeleteStudent(std::string_view filename, Student* student, automation::Object* courses);

  // ---- Questions ----
  // The student with user name `user_name` (exact); null when none.
  Student* MatchUserName(std::string_view user_name) const;
  // Whether `user_name` is in the roster and `password` is the student's.
  bool Authenticate(std::string_view user_name, std::string_view password) const;
  bool Exists(std::string_view student_id) const;

  // ---- Display ----
  // A new collection of the students ordered by up to three fields (names
  // as GetPropertyIndex takes them); the roster keeps its order.
  automation::Ref<automation::Collection> Sort(std::string_view field1, std::string_view field2,
                                               std::string_view field3) const;
  // A new collection of the students that pass the filter (student_order.h).
  automation::Ref<automation::Collection> Filter(
      const StudentFields& fields, std::span<const automation::Variant, 3> values) const;
  // Sorts elements 1 to the upper bound of the array `values` holds (of
  // Students) and stores the sorted array back in `values`. Raises 13 when
  // it holds no such array.
  void Selectionsort(automation::Variant& values, std::string_view field1, std::string_view field2,
                     std::string_view field3) const;

 private:
  void Clear();
  // Reads `autoStudentID` and the students of a loaded document.
  bool ReadRoster(const XmlDocument& doc, automation::Object* courses);
  // Takes the stored `autoStudentID`, when there is one.
  void ReadAutoStudentId(std::optional<std::string_view> counter);
  // Room for `count` more students in the roster and its user index.
  void Reserve(size_t count);
  // Adds a student just read to the roster and the user index; raises 457
  // for a StudentID or user name already there.
  void AddLoaded(const automation::Ref<Student>& student);
  // The roster as a document, ready to store.
  void BuildDocument(XmlDocument& doc, automation::Object* courses) const;
  // Gives `student` the next issued ID that no student holds yet.
  void IssueStudentId(Student& student);
  // Adds `student` after the duplicate checks of AddStudent; `release` is
  // called before a duplicate is raised.
  void AddChecked(Student& student, const std::function<void()>& release);
  bool AddToServerRoster(std::string_view filename, Student& student, automation::Object* courses);
  bool AddToLocalRoster(std::string_view filename, Student& student, automation::Object* courses);
  // Puts `student` in the place of its entry (ReplaceStudent's change).
  void PutInPlace(Student& student);
  // Takes `student`'s entry out of the roster and the index.
  void TakeOut(std::string_view student_id);

  automation::Ref<automation::Collection> students_;
  UserIndex user_index_;
  int16_t auto_student_id_ = 0;
};

}  // namespace norwin::datalayer
