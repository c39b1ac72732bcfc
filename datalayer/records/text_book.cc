#include "norwin/datalayer/text_book.h"

#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

bool TextBook::InitTextbook(const std::string& id, const std::string& title,
                            const std::string& author) {
  id_ = id;
  title_ = title;
  author_ = author;
  return true;
}

void TextBook::SaveToXml(XmlNode node) const {
  AppendTextElement(node, "id", id_);
  AppendTextElement(node, "title", title_);
  AppendTextElement(node, "author", author_);
}

void TextBook::ClassInitialize() {
  id_.clear();
  title_.clear();
  author_.clear();
}

NORWIN_CLASS(TextBook) {
  PropertyRW("ID", &TextBook::ID, &TextBook::SetID);
  PropertyRW("Title", &TextBook::Title, &TextBook::SetTitle);
  PropertyRW("Author", &TextBook::Author, &TextBook::SetAuthor);
  Method("initTextbook", &TextBook::InitTextbook);
  Method("SaveToXMLNode", [](TextBook& self, const automation::Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
  Method("Class_Initialize", &TextBook::ClassInitialize);
}

}  // namespace norwin::datalayer
