#include "norwin/datalayer/students.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/automation/key_compare.h"
#include "norwin/datalayer/course_references.h"
#include "norwin/datalayer/record_list.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/roster_lock.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/drives.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;
using automation::Collection;
using automation::Object;
using automation::Optional;
using automation::Ref;
using automation::Variant;

constexpr std::string_view kAddSource = "students:AddStudent";
constexpr std::string_view kReplaceSource = "students:ReplaceStudent";

constexpr std::string_view kRosterRoot = "students";
// Load, save and delete of the whole roster.
constexpr RecordKind kRosterKind{"Students", RequestShape::kB, {}, kRosterRoot};
// The reload and save around adding a student to a server roster.
constexpr RecordKind kLockedRosterKind{"Students", RequestShape::kA, {}, kRosterRoot};

[[noreturn]] void RaiseDuplicate(std::string description, std::string_view source) {
  throw AutomationError(automation::ObjectError(kDuplicateStudent), std::move(description),
                        std::string(source));
}

Student& RequireStudent(Student* student) {
  if (!student) throw automation::RuntimeError(automation::kObjectNotSet);
  return *student;
}

}  // namespace

std::string StudentIdFromCounter(int16_t counter) {
  const char* zeros = counter < 10      ? "0000"
                      : counter < 100   ? "000"
                      : counter < 1000  ? "00"
                      : counter < 10000 ? "0"
                                        : "";
  std::string id = "SID";
  id.append(zeros);
  id.append(std::to_string(counter));
  return id;
}

Collection& Students::Roster() {
  if (!students_) students_ = automation::MakeCollection();
  return *students_;
}

void Students::SetStudents(Ref<Collection> students) { students_ = std::move(students); }

void Students::Clear() {
  if (students_) students_->Clear();
  user_index_.Clear();
}

// ---- Loading and saving ----

bool Students::Load(std::string_view filename, Object* courses) {
  return LoadWithFilter(filename, courses, {}, {}, {});
}

bool Students::LoadWithFilter(std::string_view filename, Object* courses,
                              std::string_view course_id, std::string_view section_id,
                              std::string_view student_id) {
  Clear();
  const UrlParam params[] = {
      {"CourseID", course_id}, {"SectionID", section_id}, {"StudentID", student_id}};
  const RecordKind kind{"Students", RequestShape::kB, params, kRosterRoot};
  // A roster file of the shape this class writes is read without a tree;
  // any other goes through the DOM, which gives its errors too.
  if (std::optional<RecordList> list = ReadLocalRecordList(filename, StudentRecordShape())) {
    ReadAutoStudentId(list->root_attribute());
    Reserve(list->size());
    // The index slots of a student a few places on are fetched while this
    // one is made: in a large roster each would otherwise wait on memory.
    constexpr size_t kAhead = 4;
    for (size_t i = 0; i < list->size(); ++i) {
      if (i + kAhead < list->size()) {
        const std::span<const RecordField> next = (*list)[i + kAhead];
        Roster().PrefetchKey(next[kStudentRecordIdSlot].text);
        if (!next[kStudentRecordUserSlot].text.empty()) {
          user_index_.Prefetch(next[kStudentRecordUserSlot].text);
        }
      }
      Ref<Student> student = NewStudent();
      if (student->LoadFromRecord((*list)[i], courses)) AddLoaded(student);
    }
    return true;
  }
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kind)) return false;
  return ReadRoster(doc, courses);
}

bool Students::ReadRoster(const XmlDocument& doc, Object* courses) {
  const XmlNode root = doc.DocumentElement();
  const std::optional<std::string> counter = AttributeText(root, "autoStudentID");
  ReadAutoStudentId(counter ? std::optional<std::string_view>(*counter) : std::nullopt);
  return LoadFromXml(root, courses);
}

void Students::ReadAutoStudentId(std::optional<std::string_view> counter) {
  if (counter) auto_student_id_ = automation::ToInt16(Variant(std::string(*counter)));
}

void Students::Reserve(size_t count) {
  // The indexes are sized once for every student of the record: growing
  // them a step at a time moves every entry again at each step, which is
  // most of what a large roster's index costs.
  user_index_.Reserve(user_index_.size() + count);
  Roster().Reserve(Roster().size() + count);
}

void Students::AddLoaded(const Ref<Student>& student) {
  Collection& roster = Roster();
  // The student outlives a failed add: its user name is then taken out.
  const std::string& id = student->StudentID();
  const std::string& user = student->UserName();
  if (user.empty()) {
    roster.AddKeyed(id, Variant(student));
    return;
  }
  // One look-up both finds a duplicate user name and places a new one.
  if (!user_index_.Add(user, id)) throw automation::RuntimeError(automation::kDuplicateKey);
  try {
    roster.AddKeyed(id, Variant(student));
  } catch (...) {
    user_index_.Erase(user);
    throw;
  }
}

bool Students::LoadFromXml(XmlNode root, Object* courses) {
  const std::vector<XmlNode> elements = root.ChildElements();
  Reserve(elements.size());
  for (const XmlNode child : elements) {
    Ref<Student> student = NewStudent();
    if (student->LoadFromXml(child, courses)) AddLoaded(student);
  }
  return true;
}

void Students::BuildDocument(XmlDocument& doc, Object* courses) const {
  XmlNode root = NewRecordRoot(doc, kRosterRoot);
  SetAttributeText(root, "autoStudentID", std::to_string(auto_student_id_));
  if (!SaveToXml(root, courses)) {
    throw AutomationError(automation::E_FAIL, "a student could not be written", "Students.Save");
  }
}

bool Students::Save(std::string_view filename, Object* courses) {
  XmlDocument doc;
  BuildDocument(doc, courses);
  return SaveRecord(doc, filename, kRosterKind);
}

bool Students::SaveToXml(XmlNode node, Object* courses) const {
  if (!students_) return true;
  XmlDocument* doc = node.OwnerDocument();
  if (!doc) throw automation::RuntimeError(automation::kObjectNotSet);
  for (const Student& student : students_->Objects<Student>()) {
    Result<XmlNode> element = doc->CreateElement("student");
    if (!element.ok()) throw AutomationError(automation::E_INVALIDARG, element.message());
    if (!student.SaveToXml(*element, courses)) return false;
    if (Result<XmlNode> added = node.AppendChild(*element); !added.ok()) {
      throw AutomationError(automation::E_INVALIDARG, added.message());
    }
  }
  return true;
}

// ---- Adding, replacing, deleting ----

void Students::IssueStudentId(Student& student) {
  // A roster whose counter lags behind its IDs (one written by hand, or
  // without the attribute) must not refuse every new student: skip the IDs
  // that are taken.
  int16_t counter = auto_student_id_;
  std::string id;
  do {
    if (counter == std::numeric_limits<int16_t>::max()) {
      throw automation::RuntimeError(automation::kOverflow, std::string(kAddSource));
    }
    ++counter;
    id = StudentIdFromCounter(counter);
  } while (Roster().Exists(id));
  auto_student_id_ = counter;
  student.SetField(StudentField::kStudentId, std::move(id));
}

void Students::AddChecked(Student& student, const std::function<void()>& release) {
  if (user_index_.Contains(student.UserName())) {
    release();
    RaiseDuplicate("Duplicate Username - " + student.UserName(), kAddSource);
  }
  if (student.StudentID().empty()) IssueStudentId(student);
  if (!Roster().TryAddKeyed(student.StudentID(), Variant(&student))) {
    release();
    RaiseDuplicate("Duplicate User ID - " + student.StudentID(), kAddSource);
  }
  if (!student.UserName().empty()) (void)user_index_.Add(student.UserName(), student.StudentID());
}

bool Students::AddStudent(std::string_view filename, Student* student, Object* courses) {
  const Ref<Student> keep(&RequireStudent(student));
  int32_t code = 0;
  std::string description;
  if (!student->Validate(courses, code, description)) {
    throw AutomationError(automation::ObjectError(code), std::move(description),
                          std::string(kAddSource));
  }
  return IsURL(filename) ? AddToServerRoster(filename, *student, courses)
                         : AddToLocalRoster(filename, *student, courses);
}

bool Students::AddToServerRoster(std::string_view filename, Student& student, Object* courses) {
  Clear();
  XmlDocument doc;
  RecordRead read = ReadRecord(doc, filename, kLockedRosterKind);
  if (read == RecordRead::kEmpty) {
    // Only a server that has no roster at all (a 2xx answer with nothing in
    // it) gets a new one. Any other answer is an error page or a refusal;
    // writing an empty roster over it would throw away every student the
    // server holds.
    if (!Save(filename, courses)) return false;
    read = ReadRecord(doc, filename, kLockedRosterKind);
  }
  if (read != RecordRead::kRead) return false;
  if (!ReadRoster(doc, courses)) return false;
  // The server pages pair the locked reload with this save.
  auto locked_save = [&] {
    XmlDocument out;
    BuildDocument(out, courses);
    return SaveRecord(out, filename, kLockedRosterKind);
  };
  AddChecked(student, [&] { (void)locked_save(); });
  return locked_save();
}

bool Students::AddToLocalRoster(std::string_view filename, Student& student, Object* courses) {
  Clear();
  Result<std::filesystem::path> path = platform::ResolveCoursePath(filename);
  if (!path.ok()) return false;
  RosterFileLock lock(*path);
  const RosterLockResult locked = lock.Lock([&] {
    // A missing roster is created, empty, and then locked like any other.
    try {
      return Save(filename, courses);
    } catch (const AutomationError&) {
      return false;
    }
  });
  if (locked != RosterLockResult::kLocked) return false;

  XmlDocument doc;
  if (!LoadRecord(doc, filename, kRosterKind)) return false;
  if (!ReadRoster(doc, courses)) return false;
  // A duplicate leaves the file as it was: letting go of the lock is all
  // that needs undoing.
  AddChecked(student, [&] { lock.Unlock(); });
  XmlDocument out;
  BuildDocument(out, courses);
  if (Status writable = lock.AllowWrite(); !writable.ok()) {
    throw AutomationError(kLocalWriteFailed, writable.message(), std::string(kAddSource));
  }
  return SaveRecord(out, filename, kRosterKind);
}

void Students::TakeOut(std::string_view student_id) {
  if (!students_) return;
  if (const Student* old = students_->FindObject<Student>(student_id)) {
    const std::string* indexed = user_index_.Find(old->UserName());
    if (indexed && automation::TextKeysEqual(*indexed, student_id)) {
      user_index_.Erase(old->UserName());
    }
    (void)students_->RemoveKeyed(student_id);
  }
}

void Students::PutInPlace(Student& student) {
  const std::string id = student.StudentID();
  const std::string& user = student.UserName();
  if (!user.empty()) {
    const std::string* indexed = user_index_.Find(user);
    if (indexed && !automation::TextKeysEqual(*indexed, id)) {
      // Two students with one user name would make the roster unreadable
      // for every later load.
      RaiseDuplicate("Duplicate Username - " + user, kReplaceSource);
    }
  }
  TakeOut(id);
  Roster().AddKeyed(id, Variant(&student));
  if (!user.empty()) user_index_.Assign(user, id);
}

bool Students::ReplaceStudent(std::string_view filename, Student* student, Object* courses) {
  const Ref<Student> keep(&RequireStudent(student));
  if (IsURL(filename)) {
    if (!Load(filename, courses)) return false;
    // An entry without an ID could never be told apart from the next one.
    if (student->StudentID().empty()) return false;
    PutInPlace(*student);
    return Save(filename, courses);
  }
  Result<std::filesystem::path> path = platform::ResolveCoursePath(filename);
  if (!path.ok()) return false;
  // The same lock as AddStudent, so that a student another process adds
  // meanwhile is not written over.
  RosterFileLock lock(*path);
  if (lock.Lock() != RosterLockResult::kLocked) return false;
  if (!Load(filename, courses)) return false;
  if (student->StudentID().empty()) return false;
  PutInPlace(*student);
  if (Status writable = lock.AllowWrite(); !writable.ok()) {
    throw AutomationError(kLocalWriteFailed, writable.message(), std::string(kReplaceSource));
  }
  return Save(filename, courses);
}

bool Students::DeleteStudent(std::string_view filename, Student* student, Object* courses) {
  const Ref<Student> keep(&RequireStudent(student));
  const std::string id = student->StudentID();
  // A request that names no student would leave the page to guess which
  // one is meant.
  if (id.empty()) return false;
  if (IsURL(filename)) {
    const UrlParam params[] = {{"StudentID", id}};
    const RecordKind kind{"Student", RequestShape::kB, params};
    const platform::HttpResponse answer =
        PostToServerOrThrow(BuildRecordUrl(filename, ServerPage::kDelete, kind));
    if (!answer.body.empty()) ShowServerAnswer(ResponseText(answer));
    if (!Succeeded(answer) || !answer.body.empty()) return false;
    TakeOut(id);
    return true;
  }
  Result<std::filesystem::path> path = platform::ResolveCoursePath(filename);
  if (!path.ok()) return false;
  RosterFileLock lock(*path);
  if (lock.Lock() != RosterLockResult::kLocked) return false;
  if (!Load(filename, courses)) return false;
  TakeOut(id);
  if (Status writable = lock.AllowWrite(); !writable.ok()) {
    throw AutomationError(kLocalWriteFailed, writable.message(), "students:DeleteStudent");
  }
  return Save(filename, courses);
}

// ---- Questions ----

Student* Students::MatchUserName(std::string_view user_name) const {
  const std::string* id = user_index_.Find(user_name);
  if (!id || !students_) return nullptr;
  return students_->FindObject<Student>(*id);
}

bool Students::Authenticate(std::string_view user_name, std::string_view password) const {
  const Student* student = MatchUserName(user_name);
  return student && student->CheckPassword(password);
}

bool Students::Exists(std::string_view student_id) const {
  return students_ && students_->Exists(student_id);
}

// ---- Display ----

Ref<Collection> Students::Sort(std::string_view field1, std::string_view field2,
                               std::string_view field3) const {
  std::vector<Student*> order;
  if (students_) {
    order.reserve(students_->size());
    for (Student& student : students_->Objects<Student>()) order.push_back(&student);
  }
  SelectionSortStudents(order, ResolveStudentFields(field1, field2, field3));
  Ref<Collection> sorted = automation::MakeCollection();
  for (Student* student : order) sorted->AddKeyed(student->StudentID(), Variant(student));
  return sorted;
}

Ref<Collection> Students::Filter(const StudentFields& fields,
                                 std::span<const Variant, 3> values) const {
  Ref<Collection> matching = automation::MakeCollection();
  if (!students_) return matching;
  for (Student& student : students_->Objects<Student>()) {
    if (StudentMatches(student, fields, values)) {
      matching->AddKeyed(student.StudentID(), Variant(&student));
    }
  }
  return matching;
}

void Students::Selectionsort(Variant& values, std::string_view field1, std::string_view field2,
                             std::string_view field3) const {
  const Variant& array = values.Resolve();
  if (!array.IsArray()) throw automation::RuntimeError(automation::kTypeMismatch);
  const std::span<const Variant> items = array.array();
  if (items.size() < 2) return;
  std::vector<Student*> order;
  order.reserve(items.size() - 1);
  for (const Variant& item : items.subspan(1)) {
    const Variant& value = item.Resolve();
    Student* student = value.IsObject() ? dynamic_cast<Student*>(value.object()) : nullptr;
    if (!student) throw automation::RuntimeError(automation::kTypeMismatch);
    order.push_back(student);
  }
  SelectionSortStudents(order, ResolveStudentFields(field1, field2, field3));
  std::vector<Variant> sorted;
  sorted.reserve(items.size());
  sorted.push_back(items[0]);
  for (Student* student : order) sorted.emplace_back(student);
  values = Variant::Array(std::move(sorted));
}

// ---- The automation interface ----

namespace {

Object* CoursesOf(const Variant& courses) { return CourseListArgument(courses); }

}  // namespace

NORWIN_CLASS(Students) {
  PropertyRef("Students", &Students::GetStudents, &Students::SetStudents);
  Method(
      "Load",
      [](Students& self, const std::string& filename, const Variant& courses) {
        return self.Load(filename, CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "LoadWithFilter",
      [](Students& self, const std::string& filename, const Variant& courses,
         const std::string& course_id, const std::string& section_id,
         const std::string& student_id) {
        return self.LoadWithFilter(filename, CoursesOf(courses), course_id, section_id, student_id);
      },
      Optional("Courses", Variant::Null()), Optional("CourseID", ""), Optional("SectionID", ""),
      Optional("StudentID", ""));
  Method(
      "LoadFromXMLNode",
      [](Students& self, const Variant& root, const Variant& courses) {
        return self.LoadFromXml(DomNodeArgument(root), CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "Save",
      [](Students& self, const std::string& filename, const Variant& courses) {
        return self.Save(filename, CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "SaveToXMLNode",
      [](Students& self, const Variant& node, const Variant& courses) {
        return self.SaveToXml(DomNodeArgument(node), CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "AddStudent",
      [](Students& self, const std::string& filename, Student* student, const Variant& courses) {
        return self.AddStudent(filename, student, CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "ReplaceStudent",
      [](Students& self, const std::string& filename, Student* student, const Variant& courses) {
        return self.ReplaceStudent(filename, student, CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method(
      "DeleteStudent",
      [](Students& self, const std::string& filename, Student* student, const Variant& courses) {
        return self.DeleteStudent(filename, student, CoursesOf(courses));
      },
      Optional("Courses", Variant::Null()));
  Method("MatchUserName", [](Students& self, const std::string& user_name) {
    return self.MatchUserName(user_name);
  });
  Method("Authenticate",
         [](Students& self, const std::string& user_name, const std::string& password) {
           return self.Authenticate(user_name, password);
         });
  Method("Exists",
         [](Students& self, const std::string& student_id) { return self.Exists(student_id); });
  Method(
      "Sort",
      [](Students& self, const std::string& field1, const std::string& field2,
         const std::string& field3) { return self.Sort(field1, field2, field3); },
      Optional("fieldname2", ""), Optional("fieldname3", ""));
  Method(
      "Filter",
      [](Students& self, const std::string& field1, const Variant& value1,
         const std::string& field2, const Variant& value2, const std::string& field3,
         const Variant& value3) {
        const Variant values[3] = {value1, value2, value3};
        return self.Filter(ResolveStudentFields(field1, field2, field3), values);
      },
      Optional("fieldname2", ""), Optional("value2", ""), Optional("fieldname3", ""),
      Optional("value3", ""));
  Method(
      "Selectionsort",
      [](Students& self, Variant& values, const std::string& field1, const std::string& field2,
         const std::string& field3) { self.Selectionsort(values, field1, field2, field3); },
      Optional("field2", ""), Optional("field3", ""));
}

}  // namespace norwin::datalayer
