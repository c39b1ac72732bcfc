#include "norwin/server/record_pages.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>

#include "norwin/datalayer/record_kinds.h"
#include "record_documents.h"

namespace norwin::server {

namespace {

using datalayer::MatchesListing;
using datalayer::RootElementOf;

std::string Param(const PageRequest& request, const std::string& name) {
  auto found = request.params.find(name);
  return found == request.params.end() ? std::string() : found->second;
}

PageAnswer Refuse(int status, std::string reason) { return {status, std::move(reason), false}; }

std::optional<int32_t> IntParam(const PageRequest& request, const std::string& name,
                                int32_t fallback) {
  const std::string text = Param(request, name);
  if (text.empty()) return fallback;
  try {
    size_t used = 0;
    const long value = std::stol(text, &used);
    if (used != text.size()) return std::nullopt;
    return static_cast<int32_t>(value);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

PageAnswer LoadPage(RecordStore& store, const PageRequest& request, const RecordKey& key) {
  const std::string obj_name = Param(request, "ObjName");
  if (obj_name == "ExamSummary") {
    const std::optional<int32_t> attempt = IntParam(request, "AttemptNum", 1);
    if (!attempt) return Refuse(400, "Invalid AttemptNum " + Param(request, "AttemptNum"));
    std::optional<std::string> summary =
        ExamSummary(store, key, Param(request, "CourseID"), Param(request, "SectionID"), *attempt);
    if (!summary) return {200, {}, false, "not found"};
    return {200, std::move(*summary), true};
  }
  std::optional<std::string> body = store.Load(key);
  // A record that does not exist is an empty answer: the record library
  // reads that as "no roster yet" and creates one when a student is added.
  if (!body) return {200, {}, false, "not found"};
  if (obj_name == "Students") {
    const RosterFilter filter{Param(request, "CourseID"), Param(request, "SectionID"),
                              Param(request, "StudentID")};
    if (!filter.empty()) *body = FilterRoster(*body, filter);
  }
  return {200, std::move(*body), true};
}

PageAnswer SavePage(RecordStore& store, const PageRequest& request, const RecordKey& key,
                    const PageLimits& limits) {
  const std::string obj_name = Param(request, "ObjName");
  const std::optional<std::string_view> root = RootElementOf(obj_name);
  if (!root) return Refuse(400, "Unknown record kind " + obj_name);
  if (request.body.empty()) return Refuse(400, "No document received");
  if (request.body.size() > limits.max_document) {
    return Refuse(413,
                  "Document too large (over " + std::to_string(limits.max_document) + " bytes)");
  }
  if (std::optional<std::string> bad = BadDocument(request.body, *root)) return Refuse(400, *bad);
  PageAnswer answer;
  if (obj_name == "Students") {
    // Two desktops that add a student at the same moment both save the
    // roster they read; the later save leaves out the other's student.
    // The protocol cannot tell, so the log says so and the versions keep it.
    if (std::optional<std::string> stored = store.Load(key)) {
      const std::string dropped = DroppedStudents(*stored, request.body);
      if (!dropped.empty()) answer.note = "dropped students" + dropped;
    }
  }
  store.Save(key, request.body);
  return answer;
}

PageAnswer DeletePage(RecordStore& store, const PageRequest& request, const RecordKey& key) {
  if (Param(request, "ObjName") == "Student") {
    const std::string student = Param(request, "StudentID");
    if (student.empty()) return Refuse(400, "No StudentID given");
    bool found = false;
    const bool exists = store.Update(key, [&](const std::string& roster) {
      std::optional<std::string> changed = RemoveStudent(roster, student);
      found = changed.has_value();
      return changed;
    });
    if (!exists) return Refuse(404, "Record " + key.name + " not found");
    if (!found) return Refuse(404, "Student " + student + " not found");
    return {};
  }
  if (!store.Delete(key)) return Refuse(404, "Record " + key.name + " not found");
  return {};
}

PageAnswer ListPage(RecordStore& store, const PageRequest& request) {
  const std::string obj_name = Param(request, "ObjName");
  if (obj_name.empty()) return Refuse(400, "No ObjName given");
  const bool lesson = obj_name == "Lesson" || obj_name == "TextbookLesson";
  const std::string type_name = lesson ? "LessonType" : "ExamType";
  const std::optional<int32_t> type = IntParam(request, type_name, -1);
  if (!type) return Refuse(400, "Invalid " + type_name + " " + Param(request, type_name));
  const std::string student = Param(request, "StudentID");
  const std::string pattern = "_pmxm_" + student + "_";
  std::string answer;
  for (const StoredRecord& record : store.List(request.space, request.folder)) {
    if (!MatchesListing(obj_name, record.name, *type)) continue;
    if (obj_name == "ExamInfo") {
      if (!student.empty() && record.name.find(pattern) == std::string::npos) continue;
      std::optional<std::string> fields = ExamInfoFields(record);
      if (fields) answer += *fields;
      continue;
    }
    // A name with ";" would break the listing apart; such a record cannot
    // be listed, only loaded by name.
    if (record.name.find(';') != std::string::npos) continue;
    std::optional<std::string> title = TitleOf(record.body);
    if (!title) continue;  // not a record that loads
    answer += ListingField(*title) + ";" + record.name + ";";
  }
  return {200, std::move(answer), false};
}

}  // namespace

std::optional<RecordPage> RecordPageNamed(std::string_view name) {
  auto same = [name](std::string_view page) {
    return name.size() == page.size() &&
           std::equal(name.begin(), name.end(), page.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  if (same("LoadPellamObject.asp")) return RecordPage::kLoad;
  if (same("SavePellamObject.asp")) return RecordPage::kSave;
  if (same("DeletePellamObject.asp")) return RecordPage::kDelete;
  if (same("GetTitleFileNames.asp")) return RecordPage::kList;
  return std::nullopt;
}

std::optional<std::string> BadFileName(std::string_view name) {
  if (name.empty()) return std::string("No FileName given");
  if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos ||
      name.find("..") != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return "Invalid FileName " + std::string(name);
  }
  return std::nullopt;
}

PageAnswer AnswerRecordPage(RecordStore& store, const PageRequest& request,
                            const PageLimits& limits) {
  if (request.page == RecordPage::kList) return ListPage(store, request);
  const std::string name = Param(request, "FileName");
  if (std::optional<std::string> bad = BadFileName(name)) return Refuse(400, *bad);
  const RecordKey key{request.space, request.folder, name};
  switch (request.page) {
    case RecordPage::kLoad:
      return LoadPage(store, request, key);
    case RecordPage::kSave:
      return SavePage(store, request, key, limits);
    case RecordPage::kDelete:
      return DeletePage(store, request, key);
    case RecordPage::kList:
      break;
  }
  return Refuse(404, "No such page");
}

}  // namespace norwin::server
