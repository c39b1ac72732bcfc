#include "norwin/datalayer/course.h"

#include <limits>
#include <optional>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/course_section.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/text_books.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

const Ref<Collection>& Course::Sections() {
  if (!sections_) sections_ = automation::MakeCollection();
  return sections_;
}

void Course::SetSections(Ref<Collection> sections) { sections_ = std::move(sections); }

bool Course::LoadFromXml(XmlNode node, const Variant& text_books) {
  if (std::optional<std::string> id = ChildText(node, "id")) id_ = std::move(*id);
  if (std::optional<std::string> name = ChildText(node, "className")) name_ = std::move(*name);

  if (const XmlNode list = FirstChildElement(node, "sectionList"); !list.IsNull()) {
    for (const XmlNode element : ChildElements(list, "section")) {
      Ref<CourseSection> section = NewRecordObject<CourseSection>("CourseSection");
      if (!section->LoadFromXml(element)) return false;
      if (const std::optional<double> number = automation::ParseNumber(section->ID());
          number && *number >= new_section_id_) {
        // Rounded as the language rounds a number stored into a Long
        // (half to even), with its overflow error past the range.
        new_section_id_ = automation::ToInt32(Variant(*number + 1));
      }
      Sections()->AddKeyed(section->ID(), Variant(section));
    }
  }

  if (const std::optional<std::string> ref = ChildText(node, "textBookRef")) {
    if (IsNoObject(text_books)) {
      Ref<TextBook> book = NewRecordObject<TextBook>("TextBook");
      book->SetID(*ref);
      text_book_ = std::move(book);
    } else {
      Ref<TextBook> book = TextBooks::LookUp(text_books, *ref);
      if (!book) {
        throw automation::AutomationError(
            automation::HResultFromRuntimeError(kInvalidTextBookReference),
            "Invalid textbook reference", "Course:LoadFromXMLNode");
      }
      text_book_ = std::move(book);
    }
  }
  return true;
}

bool Course::SaveToXml(XmlNode node) {
  AppendTextElement(node, "id", id_);
  AppendTextElement(node, "className", name_);
  if (sections_ && !sections_->empty()) {
    const XmlNode list = AppendElement(node, "sectionList");
    for (CourseSection& section : sections_->Objects<CourseSection>()) {
      section.SaveToXml(AppendElement(list, "section"));
    }
  }
  if (text_book_) AppendTextElement(node, "textBookRef", text_book_->ID());
  return true;
}

int32_t Course::AddSection(const std::string& name) {
  if (new_section_id_ == std::numeric_limits<int32_t>::max()) {
    throw automation::RuntimeError(automation::kOverflow, "Course.AddSection");
  }
  const int32_t id = new_section_id_++;
  Ref<CourseSection> section = NewRecordObject<CourseSection>("CourseSection");
  section->SetName(name);
  section->SetID(std::to_string(id));
  Sections()->AddKeyed(section->ID(), Variant(section));
  return id;
}

Ref<Collection> Course::GetSections() {
  Ref<Collection> names = automation::MakeCollection();
  if (sections_) {
    for (CourseSection& section : sections_->Objects<CourseSection>()) {
      names->Append(Variant(section.Name()));
    }
  }
  return names;
}

bool Course::SetTextBook(Ref<TextBook> text_book) {
  text_book_ = std::move(text_book);
  return true;
}

void Course::SetTextBookID(const Variant& id) {
  std::string text = automation::ToString(id);
  if (!text_book_) text_book_ = NewRecordObject<TextBook>("TextBook");
  text_book_->SetID(std::move(text));
}

void Course::ClassInitialize() {
  id_.clear();
  name_.clear();
  sections_.reset();
  new_section_id_ = 0;
  text_book_.reset();
}

NORWIN_CLASS(Course) {
  PropertyRW("ID", &Course::ID, &Course::SetID);
  PropertyRW("Name", &Course::Name, &Course::SetName);
  PropertyRef("Sections", &Course::Sections, &Course::SetSections);
  PropertyRW("NewSectionID", &Course::NewSectionID, &Course::SetNewSectionID);
  PropertyRef("TextBook", &Course::GetTextBook, &Course::SetTextBookObject);
  Method(
      "LoadFromXMLNode",
      [](Course& self, const Variant& node, const Variant& text_books) {
        return self.LoadFromXml(DomNodeArgument(node), text_books);
      },
      automation::Optional("TextBooks", Variant::Null()));
  Method("SaveToXMLNode",
         [](Course& self, const Variant& node) { return self.SaveToXml(DomNodeArgument(node)); });
  Method("AddSection", &Course::AddSection);
  Method("GetSections", &Course::GetSections);
  Method("SetTextBook", &Course::SetTextBook);
  Method("SetTextBookID", &Course::SetTextBookID);
  Method("Class_Initialize", &Course::ClassInitialize);
}

}  // namespace norwin::datalayer
