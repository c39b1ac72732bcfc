#include "norwin/datalayer/reference.h"

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/text_books.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::AutomationError;
using automation::Ref;
using automation::Variant;

bool Reference::LoadFromDatabase(const std::string& text_book_id, const std::string& ref_text,
                                 const Variant& text_books) {
  if (IsNoObject(text_books)) {
    Ref<TextBook> book = NewRecordObject<TextBook>("TextBook");
    book->SetID(text_book_id);
    text_book_ = std::move(book);
  } else {
    Ref<TextBook> book = TextBooks::LookUp(text_books, text_book_id);
    if (!book) {
      throw AutomationError(automation::ObjectError(0x259),
                            "Textbook ID not found in Textbooks collection",
                            "Reference Class - LoadFromDatabase");
    }
    text_book_ = std::move(book);
  }
  ref_text_ = ref_text;
  return true;
}

void Reference::SaveToXml(XmlNode node) const {
  if (!text_book_)
    throw automation::RuntimeError(automation::kObjectNotSet, "Reference.SaveToXMLNode");
  AppendTextElement(node, "textBookRef", text_book_->ID());
  AppendTextElement(node, "referenceText", ref_text_);
}

void Reference::SetTextBookID(const Variant& id) {
  std::string text = automation::ToString(id);
  if (!text_book_) text_book_ = NewRecordObject<TextBook>("TextBook");
  text_book_->SetID(std::move(text));
}

void Reference::ClassInitialize() {
  text_book_.reset();
  ref_text_.clear();
}

NORWIN_CLASS(Reference) {
  PropertyRef("TextBook", &Reference::GetTextBook, &Reference::SetTextBook);
  PropertyRW("RefText", &Reference::RefText, &Reference::SetRefText);
  Method("LoadFromDatabase", &Reference::LoadFromDatabase);
  Method("SaveToXMLNode", [](Reference& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
  Method("SetTextBookID", &Reference::SetTextBookID);
  Method("Class_Initialize", &Reference::ClassInitialize);
}

}  // namespace norwin::datalayer
