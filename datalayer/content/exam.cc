#include "norwin/datalayer/exam.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../records/new_record_object.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/automation/file_system.h"
#include "norwin/datalayer/assignments.h"
#include "norwin/datalayer/course_references.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/student.h"
#include "norwin/datalayer/students.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/clock.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;

constexpr RecordKind kExamKind{"Exam", RequestShape::kB};

XmlNode ChildElement(XmlNode node, std::string_view name) {
  Result<XmlNode> child = node.SelectSingleNode(name);
  return child.ok() ? *child : XmlNode();
}

std::vector<XmlNode> ChildElements(XmlNode node, std::string_view name) {
  std::vector<XmlNode> nodes;
  Result<XmlNodeList> list = node.SelectNodes(name);
  if (!list.ok()) return nodes;
  for (const XmlNode child : *list) nodes.push_back(child);
  return nodes;
}

int16_t ToInt16Text(const std::string& text) { return automation::ToInt16(Variant(text)); }

// The record's file name: the file part of a server location, or the name
// of a local path without its folder.
std::string FilePartOf(std::string_view filename) {
  if (IsURL(filename)) return std::string(GetURLFileName(filename));
  return automation::MakeRef<automation::FileSystemObject>()->GetFileName(std::string(filename));
}

Question* QuestionOf(const Variant& item) {
  const Variant value = item.Deref();
  return value.IsObject() ? dynamic_cast<Question*>(value.object()) : nullptr;
}

// The question `id` of the pool as a clone; null when the pool has none.
Ref<Question> CloneFromPool(const Collection& pool, const std::string& id) {
  const Variant* item = pool.Find(id);
  if (item == nullptr) return {};
  const Question* question = QuestionOf(*item);
  if (question == nullptr) {
    // A script's own question object: ask it for its clone.
    Variant clone = automation::CallByName(automation::RequireObject(*item), "Clone",
                                           automation::DISPATCH_METHOD);
    Question* ours = QuestionOf(clone);
    return ours ? Ref<Question>(ours) : Ref<Question>();
  }
  return question->Clone();
}

const TitleFilename* HandleOf(const Variant& item) {
  return item.IsObject() ? dynamic_cast<const TitleFilename*>(item.object()) : nullptr;
}

}  // namespace

std::string AttemptFilename(std::string_view exam_base, std::string_view student_id,
                            int16_t attempt) {
  std::string name(exam_base);
  name += '_';
  name += student_id;
  name += '_';
  if (attempt >= 0 && attempt < 10) name += '0';
  name += std::to_string(attempt);
  name += ".xml";
  return name;
}

Ref<Collection> PoolQuestionsArgument(const Variant& pool) {
  const Variant value = pool.Deref();
  if (value.IsEmpty() || value.IsNull() || value.IsMissing() || value.IsNothing()) return {};
  automation::Object& object = automation::RequireObject(value);
  if (auto* ours = dynamic_cast<QuestionPool*>(&object)) return ours->Questions();
  const Variant questions =
      automation::CallByName(object, "Questions", automation::DISPATCH_PROPERTYGET);
  auto* collection = dynamic_cast<Collection*>(&automation::RequireObject(questions));
  if (collection == nullptr) throw automation::RuntimeError(automation::kTypeMismatch);
  return Ref<Collection>(collection);
}

Exam::Exam() = default;

Ref<Collection> Exam::ExamAssignments() {
  if (!exam_assignments_) exam_assignments_ = automation::MakeCollection();
  return exam_assignments_;
}

Ref<Collection> Exam::Questions() {
  if (!questions_) questions_ = automation::MakeCollection();
  return questions_;
}

Ref<Preferences> Exam::Prefs() {
  if (!prefs_) prefs_ = NewRecordObject<Preferences>("Preferences");
  return prefs_;
}

Ref<Collection> Exam::GetExams(const std::string& directory, int32_t type) {
  if (IsURL(directory)) {
    const std::string type_text = std::to_string(type);
    const std::array<UrlParam, 1> params{{{"ExamType", type_text, ParamPresence::kAlways}}};
    const RecordKind kind{"Exam", RequestShape::kB, params};
    return TitleFilenamesFromListing(FetchListing(directory, kind, 2), directory);
  }
  return ListLocalTitleFilenames(
      directory, [type](std::string_view name) { return MatchesExamType(name, type); }, "Exam");
}

Ref<Collection> Exam::GetExamInfo(const std::string& directory, const std::string& student_id,
                                  int32_t type, InfoSource source) {
  Ref<Collection> list = automation::MakeCollection();
  if (IsURL(directory)) {
    const std::string type_text = std::to_string(type);
    const std::array<UrlParam, 2> params{
        {{"ExamType", type_text, ParamPresence::kAlways}, {"StudentID", student_id}}};
    const RecordKind kind{"ExamInfo", RequestShape::kB, params};
    const size_t width = source == InfoSource::kWith ? 6 : 5;
    const std::vector<std::string> fields = FetchListing(directory, kind, width);
    for (size_t i = 0; i + width <= fields.size(); i += width) {
      const int16_t attempt = fields[i + 2].empty() ? 0 : ToInt16Text(fields[i + 2]);
      const double pct = fields[i + 3].empty() ? 0 : automation::ToDouble(Variant(fields[i + 3]));
      const int16_t exam_source =
          width == 6 && !fields[i + 5].empty() ? ToInt16Text(fields[i + 5]) : 0;
      Ref<ExamInfo> info = NewRecordObject<ExamInfo>("ExamInfo");
      if (info->SetValues(fields[i], directory, fields[i + 1], attempt, pct, fields[i + 4],
                          exam_source)) {
        list->Append(Variant(std::move(info)));
      }
    }
    return list;
  }
  const std::vector<std::string> names = ListFolderFiles(directory);
  if (names.empty()) return list;
  const std::string folder = AddTrailingSlash(directory);
  const std::string pattern = "_pmxm_" + student_id + "_";
  for (const std::string& name : names) {
    if (!MatchesExamType(name, type)) continue;
    if (!student_id.empty() && name.find(pattern) == std::string::npos) continue;
    Ref<ExamInfo> info = NewRecordObject<ExamInfo>("ExamInfo");
    if (info->LoadValues(folder, name, "Exam")) list->Append(Variant(std::move(info)));
  }
  return list;
}

Ref<Collection> Exam::GetStudentExams(const std::string& directory, const std::string& student_id) {
  Ref<Collection> all = GetExams(directory, static_cast<int32_t>(ExamType::kStudent));
  if (student_id.empty()) return all;
  const std::string pattern = "_pmxm_" + student_id + "_01.xml";
  Ref<Collection> first = automation::MakeCollection();
  for (size_t i = 0; i < all->size(); ++i) {
    const Variant& item = all->at(i);
    const TitleFilename* handle = HandleOf(item);
    if (handle != nullptr && handle->Filename().find(pattern) != std::string::npos) {
      first->Append(item);
    }
  }
  return first;
}

bool Exam::LoadFromXml(XmlNode root, const Ref<Collection>& pool, std::string_view filename) {
  exam_file_name_ = FilePartOf(filename);
  if (auto v = AttributeText(root, "ID")) exam_id_ = *v;
  if (auto v = AttributeText(root, "EXTERNAL_ID")) external_id_ = *v;
  if (auto v = AttributeText(root, "currentQuestion")) current_question_ = ToInt16Text(*v);
  if (auto v = AttributeText(root, "timeExpired")) time_expired_ = ToInt16Text(*v);
  if (auto v = AttributeText(root, "completionDate")) completion_date_ = *v;
  if (auto v = AttributeText(root, "started")) started_ = *v == "true";
  if (auto v = AttributeText(root, "pctCorrect")) pct_correct_ = automation::ToDouble(Variant(*v));
  if (auto v = ChildText(root, "title")) title_ = *v;
  if (auto v = ChildText(root, "source")) source_ = ToInt16Text(*v);
  if (const XmlNode pref = ChildElement(root, "pref"); !pref.IsNull()) {
    if (!Prefs()->LoadFromXml(pref)) return false;
  }
  if (auto v = ChildText(root, "studentID")) student_id_ = *v;
  is_challenge_ = false;
  if (auto v = AttributeText(root, "isChallenge")) is_challenge_ = *v == "true";

  const Ref<Collection> questions = Questions();
  for (const XmlNode ref : ChildElements(root, "questionRef")) {
    // One bad reference (a value that is no number, a script pool that
    // fails) costs only that question.
    try {
      const std::string id = ref.Text();
      Ref<Question> question;
      if (!pool) {
        question = NewRecordObject<Question>("Question");
        question->SetID(id);
      } else {
        question = CloneFromPool(*pool, id);
      }
      if (!question) continue;
      question->ReadResultAttributes(ref);
      const std::string key = question->ID();
      (void)questions->TryAddKeyed(key, Variant(std::move(question)));
    } catch (const automation::AutomationError&) {
    }
  }
  const Ref<Collection> assignments = ExamAssignments();
  for (const XmlNode element : ChildElements(root, "examAssignment")) {
    Ref<ExamAssignment> assignment = NewRecordObject<ExamAssignment>("ExamAssignment");
    if (!assignment->LoadFromXml(element)) continue;
    assignment->SetFile(exam_file_name_);
    assignments->Append(Variant(std::move(assignment)));
  }
  for (const XmlNode element : ChildElements(root, "examRemediation")) {
    const std::optional<std::string> id = AttributeText(element, "questionRef");
    if (!id) continue;
    const Variant* item = questions->Find(*id);
    if (item == nullptr) continue;
    if (Question* question = QuestionOf(*item)) question->SetRemediation(element.Text());
  }
  return true;
}

bool Exam::Load(const std::string& filename, const Ref<Collection>& pool) {
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kExamKind)) return false;
  const bool loaded = LoadFromXml(doc.DocumentElement(), pool, filename);
  loaded_from_ = filename;
  return loaded;
}

bool Exam::SaveToXml(XmlNode root) {
  if (!exam_id_.empty()) SetAttributeText(root, "ID", exam_id_);
  if (!external_id_.empty()) SetAttributeText(root, "EXTERNAL_ID", external_id_);
  SetAttributeText(root, "currentQuestion", std::to_string(current_question_));
  SetAttributeText(root, "timeExpired", std::to_string(time_expired_));
  if (!completion_date_.empty()) SetAttributeText(root, "completionDate", completion_date_);
  SetAttributeText(root, "started", started_ ? "true" : "false");
  SetAttributeText(root, "pctCorrect", automation::FormatNumber(pct_correct_));
  AppendTextElement(root, "title", title_);
  AppendTextElement(root, "source", std::to_string(source_));
  Prefs()->SaveToXml(AppendElement(root, "pref"));
  if (!student_id_.empty()) AppendTextElement(root, "studentID", student_id_);
  if (is_challenge_) SetAttributeText(root, "isChallenge", "true");

  // Held while written: members are objects script may hold too.
  const Ref<Collection> questions = Questions();
  std::vector<const Question*> held;
  held.reserve(questions->size());
  for (size_t i = 0; i < questions->size(); ++i) {
    const Question* question = QuestionOf(questions->at(i));
    if (question == nullptr) throw automation::RuntimeError(automation::kTypeMismatch);
    held.push_back(question);
  }
  for (const Question* question : held) {
    question->WriteQuestionRef(AppendElement(root, "questionRef"));
  }
  const Ref<Collection> assignments = ExamAssignments();
  for (size_t i = 0; i < assignments->size(); ++i) {
    const Variant item = assignments->at(i).Deref();
    auto* assignment = item.IsObject() ? dynamic_cast<ExamAssignment*>(item.object()) : nullptr;
    if (assignment == nullptr) throw automation::RuntimeError(automation::kTypeMismatch);
    // The record names its exam itself; the assignment's copy of the name
    // is not written.
    assignment->SetFile("");
    (void)assignment->SaveToXml(AppendElement(root, "examAssignment"));
    assignment->SetFile(exam_file_name_);
  }
  for (const Question* question : held) {
    if (question->Remediation().empty()) continue;
    XmlNode element = AppendTextElement(root, "examRemediation", question->Remediation());
    SetAttributeText(element, "questionRef", question->ID());
  }
  return true;
}

bool Exam::Save(const std::string& filename, DeleteOld delete_old) {
  exam_file_name_ = FilePartOf(filename);
  XmlDocument doc;
  if (!SaveToXml(NewRecordRoot(doc, "exam"))) return false;
  if (!SaveRecord(doc, filename, kExamKind)) return false;
  if (delete_old == DeleteOld::kDeleteIfChanged && !loaded_from_.empty() &&
      loaded_from_ != filename) {
    (void)Delete(loaded_from_);
  }
  return true;
}

Variant Exam::Delete(const std::string& filename) {
  return DeleteRecord(filename, kExamKind) ? Variant(true) : Variant();
}

void Exam::RandomizeQuestions() {
  const Ref<Collection> questions = Questions();
  const size_t count = questions->size();
  for (size_t step = 0; step < count; ++step) {
    const double r = platform::Source().Random();
    const size_t position =
        std::min(count - 1, static_cast<size_t>(std::floor(r * static_cast<double>(count))));
    Variant item = questions->at(position);
    std::string key;
    if (const Question* question = QuestionOf(item)) {
      key = question->ID();
    } else if (auto old_key = questions->KeyAt(position)) {
      key = std::string(*old_key);
    }
    questions->RemoveAt(position);
    if (!questions->TryAddKeyed(key, std::move(item))) {
      throw automation::RuntimeError(automation::kDuplicateKey);
    }
  }
}

bool Exam::CheckPassword(const std::string& password) { return Prefs()->CheckPassword(password); }

void Exam::SetPassword(const std::string& password) { Prefs()->SetPassword(password); }

void Exam::SetPreferences(Ref<Preferences> prefs) {
  prefs_ = prefs ? std::move(prefs) : NewRecordObject<Preferences>("Preferences");
  prefs_->fields().inherited = false;
}

bool Exam::LoadExamSummary(const std::string& students_filename, const Ref<Collection>& pool,
                           automation::Object* courses, const std::string& course_id,
                           const std::string& section_id, const std::string& exam_id,
                           int16_t attempt) {
  exam_id_ = exam_id;
  std::string exam_base = exam_id;
  if (exam_base.ends_with(".xml")) exam_base.resize(exam_base.size() - 4);

  if (IsURL(exam_id)) {
    const std::string attempt_text = std::to_string(attempt);
    const std::array<UrlParam, 3> params{{{"CourseID", course_id, ParamPresence::kAlways},
                                          {"SectionID", section_id, ParamPresence::kAlways},
                                          {"AttemptNum", attempt_text, ParamPresence::kAlways}}};
    const RecordKind kind{"ExamSummary", RequestShape::kB, params};
    XmlDocument doc;
    if (!LoadRecord(doc, exam_id, kind)) return false;
    return LoadFromXml(doc.DocumentElement(), pool, exam_id);
  }

  Ref<Students> roster = NewRecordObject<Students>("Students");
  if (!roster->LoadWithFilter(students_filename, courses, course_id, section_id, "")) {
    return false;
  }
  const Ref<Collection> totals = Questions();
  for (const Student& student : roster->Roster().Objects<Student>()) {
    Ref<Exam> taken = NewRecordObject<Exam>("Exam");
    if (!taken->Load(AttemptFilename(exam_base, student.StudentID(), attempt), pool)) continue;
    const Ref<Collection> asked = taken->Questions();
    size_t count = asked->size();
    const PreferenceFields& prefs = taken->Prefs()->fields();
    // A random order asks the first `limit` questions of the shuffled set;
    // a limit of 0 (or less) asks them all. An attempt that holds fewer
    // questions than its limit (the limit was raised after it was taken)
    // counts the questions it has.
    if (prefs.random_question_order && prefs.random_question_limit > 0) {
      count = std::min(count, static_cast<size_t>(prefs.random_question_limit));
    }
    for (size_t i = 0; i < count; ++i) {
      const Question* question = QuestionOf(asked->at(i));
      if (question == nullptr) continue;
      Question* total = nullptr;
      if (const Variant* found = totals->Find(question->ID())) {
        total = QuestionOf(*found);
      } else {
        Ref<Question> clone = question->Clone();
        clone->SetCorrect(0);
        clone->SetAttempts(0);
        total = clone.get();
        totals->AddKeyed(question->ID(), Variant(std::move(clone)));
      }
      if (total == nullptr) continue;
      total->SetAttempts(static_cast<int16_t>(total->Attempts() + 1));
      if (question->Correct() == 1) total->SetCorrect(static_cast<int16_t>(total->Correct() + 1));
    }
  }
  return true;
}

NORWIN_CLASS(Exam) {
  using automation::Optional;
  PropertyRef("ExamAssignments", &Exam::ExamAssignments, &Exam::SetExamAssignments);
  PropertyRef("Questions", &Exam::Questions, &Exam::SetQuestions);
  PropertyRW("Title", &Exam::Title, &Exam::SetTitle);
  PropertyRef("Prefs", &Exam::Prefs, &Exam::SetPrefs);
  PropertyRW("ExamID", &Exam::ExamID, &Exam::SetExamID);
  PropertyRW("ExternalID", &Exam::ExternalID, &Exam::SetExternalID);
  PropertyRW("CurrentQuestion", &Exam::CurrentQuestion, &Exam::SetCurrentQuestion);
  PropertyRW("TimeExpired", &Exam::TimeExpired, &Exam::SetTimeExpired);
  PropertyRW("CompletionDate", &Exam::CompletionDate, &Exam::SetCompletionDate);
  PropertyRW("Started", &Exam::Started, &Exam::SetStarted);
  PropertyRW("PctCorrect", &Exam::PctCorrect, &Exam::SetPctCorrect);
  PropertyRW("Source", &Exam::Source, &Exam::SetSource);
  PropertyRW("ExamFileName", &Exam::ExamFileName, &Exam::SetExamFileName);
  PropertyRW("StudentID", &Exam::StudentID, &Exam::SetStudentID);
  PropertyRW("IsChallenge", &Exam::IsChallenge, &Exam::SetIsChallenge);
  Method("GetExams", [](Exam& self, const std::string& directory, int32_t type) {
    return self.GetExams(directory, type);
  });
  Method(
      "GetExamInfo",
      [](Exam& self, const std::string& directory, const std::string& student_id, int32_t type) {
        return self.GetExamInfo(directory, student_id, type, Exam::InfoSource::kWithout);
      },
      Optional("examType", Variant(int32_t{-1})));
  Method(
      "GetExamInfo2",
      [](Exam& self, const std::string& directory, const std::string& student_id, int32_t type) {
        return self.GetExamInfo(directory, student_id, type, Exam::InfoSource::kWith);
      },
      Optional("examType", Variant(int32_t{-1})));
  Method("GetStudentExams", &Exam::GetStudentExams);
  Method("CheckPassword", &Exam::CheckPassword);
  Method("SetPassword", &Exam::SetPassword);
  Method(
      "Load",
      [](Exam& self, const std::string& filename, const Variant& pool) {
        return self.Load(filename, PoolQuestionsArgument(pool));
      },
      Optional("thePool", Variant::Null()));
  Method("LoadFromXMLNode",
         [](Exam& self, const Variant& node, const Variant& pool, const std::string& filename) {
           return self.LoadFromXml(DomNodeArgument(node), PoolQuestionsArgument(pool), filename);
         });
  Method(
      "Save",
      [](Exam& self, const std::string& filename, bool delete_old) {
        return self.Save(filename,
                         delete_old ? Exam::DeleteOld::kDeleteIfChanged : Exam::DeleteOld::kKeep);
      },
      Optional("deleteOldIfChanged", Variant(false)));
  Method("SaveToXMLNode",
         [](Exam& self, const Variant& node) { return self.SaveToXml(DomNodeArgument(node)); });
  Method("Delete", &Exam::Delete);
  Method("RandomizeQuestions", &Exam::RandomizeQuestions);
  Method("SetPreferences", &Exam::SetPreferences, Optional("thePrefs", Variant::Nothing()));
  Method("LoadExamSummary",
         [](Exam& self, const std::string& students_filename, const Variant& pool,
            const Variant& courses, const std::string& course_id, const std::string& section_id,
            const std::string& exam_id, int16_t attempt) {
           return self.LoadExamSummary(students_filename, PoolQuestionsArgument(pool),
                                       CourseListArgument(courses), course_id, section_id, exam_id,
                                       attempt);
         });
}

}  // namespace norwin::datalayer
