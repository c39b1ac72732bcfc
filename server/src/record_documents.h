// What the record pages read from and write into the stored documents: the
// check of a saved document, titles and exam facts for listings, the roster
// filter of Students.LoadWithFilter, one student's removal, and the exam
// summary computed from the stored attempts as the record library computes
// it for a local folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/server/record_store.h"

namespace norwin::server {

// Why `text` is not a document with root element `root` ("Document is not
// well-formed XML: ... at byte N", "Document root is x, not students");
// nullopt when it is one.
std::optional<std::string> BadDocument(std::string_view text, std::string_view root);

// The text of the root's `title` child ("" when it has none); nullopt when
// `text` is no XML document.
std::optional<std::string> TitleOf(std::string_view text);

// `text` as one field of a listing: a ";", which would end the field, is
// written ",".
std::string ListingField(std::string_view text);

// The five fields of an exam file for GetTitleFileNames.asp?ObjName=ExamInfo,
// each ended by ";": title, file name, attempt number (from a student
// attempt's name, "NAME_pmxm_STUDENT_NN.xml"; empty for a definition),
// pctCorrect of the root, the first questionRef. Nullopt when the record is
// no XML document.
std::optional<std::string> ExamInfoFields(const StoredRecord& record);

struct RosterFilter {
  std::string course;
  std::string section;
  std::string student;
  bool empty() const { return course.empty() && section.empty() && student.empty(); }
};

// The roster `text` keeping only the students that match every non-empty
// value of `filter` (classRef, sectionRef, id); unchanged when it does not
// parse.
std::string FilterRoster(std::string_view text, const RosterFilter& filter);

// The roster `text` without the student whose id is `student_id`; nullopt
// when it has none (or does not parse).
std::optional<std::string> RemoveStudent(std::string_view text, std::string_view student_id);

// The ids of the students of roster `before` that roster `after` lacks,
// each after a blank (" 7 9"); "" when none (or either does not parse).
std::string DroppedStudents(std::string_view before, std::string_view after);

// An `exam` document whose questionRef elements hold, per question, the
// number of students of the course and section whose attempt `attempt`
// holds the question ("attempts") and of those who answered it correctly
// ("correct"). The exam is `key` (its name with or without ".xml"); the
// students are those of the rosters (`students` records) of its folder, or
// of the nearest folder above that has rosters. Nullopt when there is
// neither the exam's definition nor any attempt to count.
std::optional<std::string> ExamSummary(RecordStore& store, const RecordKey& key,
                                       const std::string& course, const std::string& section,
                                       int32_t attempt);

}  // namespace norwin::server
