// `Reference` (NorwinPellam2003.Reference): a page reference into a text
// book ("chapter 3, page 41"), held by objectives, tasks and questions. It
// is written into a node the caller gives: `textBookRef` (the text book's
// ID), then `referenceText`.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/text_book.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class Reference : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The text book (shared with the TextBooks it came from); null at first.
  const automation::Ref<TextBook>& GetTextBook() const { return text_book_; }
  void SetTextBook(automation::Ref<TextBook> text_book) { text_book_ = std::move(text_book); }
  const std::string& RefText() const { return ref_text_; }
  void SetRefText(const std::string& text) { ref_text_ = text; }

  // TextBook = the text book `text_book_id` of `text_books`, or, when that
  // is Null (or no object), a new TextBook carrying only that ID; RefText =
  // `ref_text`; true. Raises 0x80040259 when `text_books` has no such book.
  bool LoadFromDatabase(const std::string& text_book_id, const std::string& ref_text,
                        const automation::Variant& text_books);
  // Appends `textBookRef` and `referenceText` to `node`. Raises 91 when the
  // reference has no text book, before writing anything.
  void SaveToXml(XmlNode node) const;
  // Makes a TextBook when there is none and sets its ID to `id` as text.
  void SetTextBookID(const automation::Variant& id);
  // Forgets the text book and the text.
  void ClassInitialize();

 private:
  automation::Ref<TextBook> text_book_;
  std::string ref_text_;
};

}  // namespace norwin::datalayer
