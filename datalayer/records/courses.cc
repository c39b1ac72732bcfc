#include "norwin/datalayer/courses.h"

#include <limits>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

namespace {

// The ID after `id`, raising the language's overflow error at the end of
// the range instead of wrapping round to negative IDs.
int32_t After(int32_t id, const char* source) {
  if (id == std::numeric_limits<int32_t>::max()) {
    throw automation::RuntimeError(automation::kOverflow, source);
  }
  return id + 1;
}

}  // namespace

const Ref<Collection>& Courses::Members() {
  if (!members_) members_ = automation::MakeCollection();
  return members_;
}

void Courses::SetMembers(Ref<Collection> members) { members_ = std::move(members); }

bool Courses::Load(const std::string& filename, const Variant& text_books) {
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kCoursesKind)) return false;
  return LoadFromXml(doc.DocumentElement(), text_books);
}

bool Courses::LoadFromXml(XmlNode node, const Variant& text_books) {
  const Ref<Collection>& members = Members();
  for (const XmlNode element : ChildElements(node, "class")) {
    Ref<Course> course = NewRecordObject<Course>("Course");
    if (!course->LoadFromXml(element, text_books)) return false;
    const int32_t id = automation::ToInt32(Variant(course->ID()));
    if (id >= next_course_id_) next_course_id_ = After(id, "Courses.LoadFromXMLNode");
    members->AddKeyed(course->ID(), Variant(course));
  }
  return true;
}

bool Courses::Save(const std::string& filename) {
  XmlDocument doc;
  if (!SaveToXml(NewRecordRoot(doc, "classes"))) return false;
  return SaveRecord(doc, filename, kCoursesKind);
}

bool Courses::SaveToXml(XmlNode node) {
  for (Course& course : Members()->Objects<Course>()) {
    if (!course.SaveToXml(AppendElement(node, "class"))) return false;
  }
  return true;
}

std::string Courses::AddCourse(const std::string& name) {
  const int32_t id = next_course_id_;
  next_course_id_ = After(id, "Courses.AddCourse");
  Ref<Course> course = NewRecordObject<Course>("Course");
  course->SetID(std::to_string(id));
  course->SetName(name);
  Members()->AddKeyed(course->ID(), Variant(course));
  return course->ID();
}

bool Courses::Exists(const Variant& id) {
  const Variant& key = id.Resolve();
  if (!key.IsString() && !key.IsNumeric()) return false;
  return Members()->Exists(automation::ToString(key));
}

NORWIN_CLASS(Courses) {
  PropertyRef("Courses", &Courses::Members, &Courses::SetMembers);
  Method("Load", &Courses::Load, automation::Optional("TextBooks", Variant::Null()));
  Method(
      "LoadFromXMLNode",
      [](Courses& self, const Variant& node, const Variant& text_books) {
        return self.LoadFromXml(DomNodeArgument(node), text_books);
      },
      automation::Optional("TextBooks", Variant::Null()));
  Method("Save", &Courses::Save);
  Method("SaveToXMLNode",
         [](Courses& self, const Variant& node) { return self.SaveToXml(DomNodeArgument(node)); });
  Method("AddCourse",
         [](Courses& self, const std::string& name) { return Variant(self.AddCourse(name)); });
  Method("Exists", &Courses::Exists);
}

}  // namespace norwin::datalayer
