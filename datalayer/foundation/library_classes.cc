#include "norwin/datalayer/library_classes.h"

#include <atomic>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "norwin/automation/activation.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/assignments.h"
#include "norwin/datalayer/check_setup.h"
#include "norwin/datalayer/course.h"
#include "norwin/datalayer/course_section.h"
#include "norwin/datalayer/courses.h"
#include "norwin/datalayer/dialog_box.h"
#include "norwin/datalayer/encryption.h"
#include "norwin/datalayer/exam.h"
#include "norwin/datalayer/exam_info.h"
#include "norwin/datalayer/exam_list.h"
#include "norwin/datalayer/file_system_object_handle.h"
#include "norwin/datalayer/lesson.h"
#include "norwin/datalayer/lesson_menu.h"
#include "norwin/datalayer/live_ex_results.h"
#include "norwin/datalayer/live_ex_score.h"
#include "norwin/datalayer/module_disc_manager.h"
#include "norwin/datalayer/objective.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/preferences.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/reference.h"
#include "norwin/datalayer/registry.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/student.h"
#include "norwin/datalayer/students.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/datalayer/text_book.h"
#include "norwin/datalayer/text_books.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/tutorial.h"
#include "norwin/datalayer/vellora_exam.h"
#include "norwin/datalayer/vellora_lesson.h"
#include "norwin/datalayer/vellora_live_ex.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/case_fold.h"
#include "norwin/platform/registry.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;
using automation::ClassFactory;
using automation::HResult;
using automation::InprocClass;
using automation::Object;
using automation::Ref;

std::atomic<int32_t> live_objects{0};
std::atomic<int32_t> live_factories{0};

// A T whose life is counted, so that the library stays loaded while it lives.
template <typename T>
class Counted final : public T {
 public:
  Counted() { live_objects.fetch_add(1, std::memory_order_relaxed); }
  ~Counted() override { live_objects.fetch_sub(1, std::memory_order_release); }
};

template <typename T>
Ref<Object> Make() {
  return automation::MakeRef<Counted<T>>();
}

#define NORWIN_LIBRARY_CLASS(Class, clsid) \
  InprocClass { automation::MakeGuid(clsid), "NorwinPellam2003." #Class, "", &Make<Class> }

// One line a class, in the type library's order.
constexpr InprocClass kClasses[] = {
    NORWIN_LIBRARY_CLASS(ExamList, "{4B9F0BC2-4EBA-4108-8A41-3617B5EBCC91}"),
    NORWIN_LIBRARY_CLASS(TitleFilename, "{2AAFE126-0483-499E-9D6A-68AE3BE95CB3}"),
    NORWIN_LIBRARY_CLASS(Encryption, "{5A3931D3-5E2C-4DB7-91D2-04D3E9FC1429}"),
    NORWIN_LIBRARY_CLASS(CheckSetup, "{54EB7F2B-BB53-47E9-8AC4-EC375EE6C218}"),
    NORWIN_LIBRARY_CLASS(Security, "{3B93941C-6A07-4F68-B3E7-71B72568A944}"),
    NORWIN_LIBRARY_CLASS(VelloraExam, "{99F31783-4C7A-44C8-9AB4-80FD3080441B}"),
    NORWIN_LIBRARY_CLASS(Objective, "{BF3BEBF0-B7D8-4336-867F-DF7375319979}"),
    NORWIN_LIBRARY_CLASS(Objectives, "{7E7C608D-BE66-4971-AE8D-BDBA69175430}"),
    NORWIN_LIBRARY_CLASS(LessonMenu, "{2E588B49-2921-4404-AA3F-A0A03EC3775B}"),
    NORWIN_LIBRARY_CLASS(Lesson, "{A8386DF9-64DD-4051-95AF-EA81E08B4743}"),
    NORWIN_LIBRARY_CLASS(TextBook, "{B9478F55-C341-41AD-894D-4D8B2A6AF06E}"),
    NORWIN_LIBRARY_CLASS(TextBooks, "{EACBE6CD-2C50-42DA-AB15-85630C91F065}"),
    NORWIN_LIBRARY_CLASS(Task, "{2390A0D6-FF79-4EF0-A73A-A8B7B47D8E42}"),
    NORWIN_LIBRARY_CLASS(CourseSection, "{DD2375F2-289E-417A-BB86-E34EF322404F}"),
    NORWIN_LIBRARY_CLASS(Courses, "{C7EAFC47-4822-4C15-AB98-6F1ED0BA48F2}"),
    NORWIN_LIBRARY_CLASS(TaskPool, "{3DBD0DCE-4F59-4B96-9CA5-FB94CF7BB304}"),
    NORWIN_LIBRARY_CLASS(Tutorial, "{34275DEB-F453-4063-8072-A08567A164F8}"),
    NORWIN_LIBRARY_CLASS(Course, "{110F5508-3D7D-43E7-8455-3F149E37CFA6}"),
    NORWIN_LIBRARY_CLASS(Student, "{D90B4581-29DC-4442-801B-88D164153376}"),
    NORWIN_LIBRARY_CLASS(Reference, "{2CD65C3C-0217-458E-9CDE-E47A3FB2EB35}"),
    NORWIN_LIBRARY_CLASS(QuestionPool, "{791A0F98-710D-4E87-80C7-1720AB689AA1}"),
    NORWIN_LIBRARY_CLASS(Students, "{2C9A897F-0DC7-442C-BCCA-05983847AC0C}"),
    NORWIN_LIBRARY_CLASS(DialogBox, "{C8AFD984-DB19-4EE7-9598-4DE6125A97ED}"),
    NORWIN_LIBRARY_CLASS(LiveExResults, "{8D30DB24-7E8E-47A0-A9DF-1EF7A6E5205B}"),
    NORWIN_LIBRARY_CLASS(LiveExScore, "{51296D26-5D6E-4732-8EED-80B842663262}"),
    NORWIN_LIBRARY_CLASS(FileSystemObjectHandle, "{2CEF2052-60AB-407D-89A5-316B3B7A98E4}"),
    NORWIN_LIBRARY_CLASS(VelloraLesson, "{6A713D8F-5D1F-4C1E-8748-D7AFFC31EE79}"),
    NORWIN_LIBRARY_CLASS(VelloraLiveEx, "{0829C6DA-E08A-4B91-B256-F47E93CDA60E}"),
    NORWIN_LIBRARY_CLASS(Registry, "{BAF2B643-F3C7-4B12-BDEE-D8C8ECDC3C47}"),
    NORWIN_LIBRARY_CLASS(ExamAssignment, "{9FCB8974-5951-4A9E-BE4D-588D1A03C224}"),
    NORWIN_LIBRARY_CLASS(LessonAssignment, "{2D0BA1C7-89B3-477F-A439-7383CD064BBB}"),
    NORWIN_LIBRARY_CLASS(ExamInfo, "{5A6227A2-8612-45A4-ACCA-FA50E62FD1E0}"),
    NORWIN_LIBRARY_CLASS(ModuleDiscManager, "{E1474ADC-1A8B-4A05-9D25-9AAB907B1CFC}"),
    NORWIN_LIBRARY_CLASS(Exam, "{45C4456F-1097-4536-9A41-0283ACE81ACC}"),
    NORWIN_LIBRARY_CLASS(Question, "{8E75F335-E3ED-4E26-8A3F-4D4964F7CB81}"),
    NORWIN_LIBRARY_CLASS(Preferences, "{C018CB72-28A8-4505-B287-AA4DCC186338}"),
};

#undef NORWIN_LIBRARY_CLASS

// Page script and administrators' scripts build the documents they hand to
// LoadFromXMLNode and SaveToXMLNode with the DOM they know by this name.
constexpr InprocClass kStandInClasses[] = {
    InprocClass{automation::MakeGuid("{2933BF90-7B36-11D2-B20E-00C04F983E60}"),
                "MSXML2.DOMDocument", "XML DOM Document", &Make<DomDocumentObject>},
};

// The class of `clsid` in either table; null when the library has none.
const InprocClass* FindClassById(const automation::Guid& clsid) {
  for (const InprocClass& c : kClasses) {
    if (c.clsid == clsid) return &c;
  }
  for (const InprocClass& c : kStandInClasses) {
    if (c.clsid == clsid) return &c;
  }
  return nullptr;
}

// The class object the library hands out; it counts as a lock on the
// library while it is held.
class LibraryClassFactory final : public ClassFactory {
 public:
  explicit LibraryClassFactory(Ref<Object> (*create)()) : create_(create) {
    live_factories.fetch_add(1, std::memory_order_relaxed);
  }

  HResult CreateInstance(Object** instance) noexcept override {
    *instance = nullptr;
    try {
      Ref<Object> object = create_();
      if (!object) return automation::E_FAIL;
      *instance = object.Detach();
      return automation::S_OK;
    } catch (const AutomationError& e) {
      if (!automation::Failed(e.number)) return automation::E_FAIL;
      automation::SetErrorInfo(e);
      return e.number;
    } catch (const std::bad_alloc&) {
      return automation::E_OUTOFMEMORY;
    } catch (...) {
      return automation::E_FAIL;
    }
  }

 private:
  ~LibraryClassFactory() override { live_factories.fetch_sub(1, std::memory_order_release); }

  Ref<Object> (*create_)();
};

std::string ClassesKey(std::string_view below) {
  std::string key = "HKEY_CLASSES_ROOT\\";
  key.append(below);
  return key;
}

std::string TypeLibraryKey() { return ClassesKey("TypeLib\\" + kTypeLibraryId.ToString()); }

}  // namespace

std::span<const InprocClass> LibraryClasses() { return kClasses; }
std::span<const InprocClass> StandInClasses() { return kStandInClasses; }

LibraryObjectLock::LibraryObjectLock() { live_objects.fetch_add(1, std::memory_order_relaxed); }
LibraryObjectLock::LibraryObjectLock(const LibraryObjectLock&) : LibraryObjectLock() {}
LibraryObjectLock::~LibraryObjectLock() { live_objects.fetch_sub(1, std::memory_order_release); }

const InprocClass* FindLibraryClass(std::string_view name) {
  for (const InprocClass& c : kClasses) {
    const std::string_view class_name = c.progid.substr(kProgIdPrefix.size());
    if (platform::EqualsIgnoringCase(class_name, name)) return &c;
  }
  return nullptr;
}

Ref<Object> CreateRecordObject(std::string_view name) {
  if (const InprocClass* c = FindLibraryClass(name)) return c->create();
  std::string progid(kProgIdPrefix);
  progid.append(name);
  return automation::CreateObjectByProgId(progid);
}

int32_t LiveObjectCount() { return live_objects.load(std::memory_order_acquire); }
int32_t LiveFactoryCount() { return live_factories.load(std::memory_order_acquire); }

HResult GetLibraryClassObject(const automation::Guid* clsid, ClassFactory** factory) noexcept {
  if (!factory) return automation::E_POINTER;
  *factory = nullptr;
  if (!clsid) return automation::E_POINTER;
  const InprocClass* c = FindClassById(*clsid);
  if (!c) return automation::CLASS_E_CLASSNOTAVAILABLE;
  try {
    *factory = automation::MakeRef<LibraryClassFactory>(c->create).Detach();
    return automation::S_OK;
  } catch (...) {
    return automation::E_OUTOFMEMORY;
  }
}

Status RegisterLibrary(std::string_view library_path) {
  if (Status classes = automation::RegisterInprocClasses(kClasses, library_path, &kTypeLibraryId);
      !classes.ok()) {
    return classes;
  }
  if (Status stand_ins = automation::RegisterInprocClasses(kStandInClasses, library_path);
      !stand_ins.ok()) {
    (void)automation::UnregisterInprocClasses(kClasses);
    return stand_ins;
  }
  using platform::RegEdit;
  using platform::RegValue;
  std::vector<RegEdit> edits;
  for (const InprocClass& c : kClasses) {
    edits.push_back(RegEdit::SetValue(ClassesKey("CLSID\\" + c.clsid.ToString() + "\\VERSION"), "",
                                      RegValue::String(std::string(kTypeLibraryVersion))));
  }
  const std::string typelib = TypeLibraryKey();
  const std::string version = typelib + "\\" + std::string(kTypeLibraryVersion);
  const std::string folder = std::filesystem::path(library_path).parent_path().string();
  edits.push_back(RegEdit::DeleteTree(typelib));
  edits.push_back(RegEdit::SetValue(version, "", RegValue::String(std::string(kTypeLibraryName))));
  edits.push_back(
      RegEdit::SetValue(version + "\\0\\win32", "", RegValue::String(std::string(library_path))));
  edits.push_back(RegEdit::SetValue(version + "\\FLAGS", "", RegValue::String("0")));
  edits.push_back(RegEdit::SetValue(version + "\\HELPDIR", "", RegValue::String(folder)));

  Status written = [&] {
    Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
    if (!registry.ok()) return registry.status();
    return (*registry)->Apply(edits);
  }();
  if (!written.ok()) {
    // Half a registration would point script at classes without their
    // type library: take the classes back out.
    (void)automation::UnregisterInprocClasses(kClasses);
    (void)automation::UnregisterInprocClasses(kStandInClasses);
  }
  return written;
}

Status UnregisterLibrary() {
  if (Status classes = automation::UnregisterInprocClasses(kClasses); !classes.ok()) {
    return classes;
  }
  if (Status stand_ins = automation::UnregisterInprocClasses(kStandInClasses); !stand_ins.ok()) {
    return stand_ins;
  }
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  const platform::RegEdit remove = platform::RegEdit::DeleteTree(TypeLibraryKey());
  return (*registry)->Apply(std::span(&remove, 1));
}

}  // namespace norwin::datalayer
