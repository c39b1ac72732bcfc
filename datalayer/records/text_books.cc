#include "norwin/datalayer/text_books.h"

#include <optional>
#include <string>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/content_database.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

const Ref<Collection>& TextBooks::Members() {
  if (!members_) members_ = automation::MakeCollection();
  return members_;
}

void TextBooks::SetMembers(Ref<Collection> members) { members_ = std::move(members); }

bool TextBooks::Load(const std::string& filename) {
  if (!ExistingContentFile(filename)) return false;
  const ContentDatabase database(filename, "TextBooks.Load");
  ContentQuery rows = database.Query("SELECT id, title, author FROM textBook");
  const Ref<Collection>& members = Members();
  while (rows.Next()) {
    Ref<TextBook> book = NewRecordObject<TextBook>("TextBook");
    book->InitTextbook(std::string(rows.Text(0)), std::string(rows.Text(1)),
                       std::string(rows.Text(2)));
    members->AddKeyed(book->ID(), Variant(book));
  }
  return true;
}

bool TextBooks::Exists(const Variant& id) {
  const Variant& key = id.Resolve();
  if (!key.IsString() && !key.IsNumeric()) return false;
  return Members()->Exists(automation::ToString(key));
}

bool TextBooks::Save(const std::string& filename) {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, "textBookList"));
  return SaveRecord(doc, filename, kTextBooksKind);
}

void TextBooks::SaveToXml(XmlNode node) {
  for (TextBook& book : Members()->Objects<TextBook>()) {
    book.SaveToXml(AppendElement(node, "textBook"));
  }
}

TextBook* TextBooks::Find(std::string_view id) { return Members()->FindObject<TextBook>(id); }

Ref<TextBook> TextBooks::LookUp(const Variant& text_books, std::string_view id) {
  if (auto* ours = ObjectAs<TextBooks>(text_books)) return Ref<TextBook>(ours->Find(id));
  std::optional<Variant> found = LookUpByName(text_books, "TextBooks", id);
  if (!found) return nullptr;
  auto* book = ObjectAs<TextBook>(*found);
  if (!book) throw automation::RuntimeError(automation::kTypeMismatch);
  return Ref<TextBook>(book);
}

NORWIN_CLASS(TextBooks) {
  PropertyRef("TextBooks", &TextBooks::Members, &TextBooks::SetMembers);
  Method("Load", &TextBooks::Load);
  Method("Exists", &TextBooks::Exists);
  Method("Save", &TextBooks::Save);
  Method("SaveToXMLNode", [](TextBooks& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
}

}  // namespace norwin::datalayer
