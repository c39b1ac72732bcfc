// `TextBooks` (NorwinPellam2003.TextBooks): the text books of a title, read
// from the table `textBook` of its content database (content_database.h)
// and written out as a `textBookList` record (kind "TextBooks", request
// shape B). Courses and page references look their text books up here.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/text_book.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

inline constexpr RecordKind kTextBooksKind{"TextBooks", RequestShape::kB};

class TextBooks : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The text books keyed by ID, in the order read (made on first use).
  const automation::Ref<automation::Collection>& Members();
  void SetMembers(automation::Ref<automation::Collection> members);

  // Adds every row of the table `textBook` of the content database at
  // `filename` (a Null field reads as ""). False, adding nothing, when no
  // such file exists; database errors and duplicate IDs (457) raise, and
  // the text books read before stay.
  bool Load(const std::string& filename);
  // Whether a text book has the key `id`; false for anything that is no key.
  bool Exists(const automation::Variant& id);
  // Stores the `textBookList` record at `filename`; true (a local file that
  // cannot be written raises, as record_storage.h says).
  bool Save(const std::string& filename);
  // Appends one `textBook` element per text book to `node`.
  void SaveToXml(XmlNode node);

  // The text book under `id`; null when there is none.
  TextBook* Find(std::string_view id);

  // The text book `id` of the TextBooks object `text_books` (ours, or
  // another asked by name); null when it has none. `text_books` must hold
  // an object.
  static automation::Ref<TextBook> LookUp(const automation::Variant& text_books,
                                          std::string_view id);

 private:
  automation::Ref<automation::Collection> members_;
};

}  // namespace norwin::datalayer
