// `Course` (NorwinPellam2003.Course): one course of a site's course list (a
// `class` element: `id`, `className`, an optional `sectionList` of
// `section` elements, an optional `textBookRef`), with its sections keyed
// by section ID and the text book it uses.
//
// NewSectionID, the ID the next added section receives, only grows: a load
// puts it past every numeric section ID read, AddSection increments it.
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/text_book.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// Raised (as runtime error 641) for a `textBookRef` that the TextBooks given
// to a load do not hold.
inline constexpr int32_t kInvalidTextBookReference = 641;

class Course : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(const std::string& id) { id_ = id; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  // The sections keyed by ID (made on first use).
  const automation::Ref<automation::Collection>& Sections();
  void SetSections(automation::Ref<automation::Collection> sections);
  int32_t NewSectionID() const { return new_section_id_; }
  void SetNewSectionID(int32_t id) { new_section_id_ = id; }
  const automation::Ref<TextBook>& GetTextBook() const { return text_book_; }
  void SetTextBookObject(automation::Ref<TextBook> text_book) { text_book_ = std::move(text_book); }

  // Reads the `class` element `node`: ID and Name when present, every
  // section of `sectionList` (raising 457 for a duplicate section ID), and
  // the text book of `textBookRef`: looked up in `text_books` (raising 641
  // "Invalid textbook reference" when it is not there), or a new TextBook
  // carrying only the ID when `text_books` is Null. True.
  bool LoadFromXml(XmlNode node, const automation::Variant& text_books);
  // Appends `id`, `className`, `sectionList` (only with sections) and
  // `textBookRef` (only with a text book) to `node`; true.
  bool SaveToXml(XmlNode node);

  // A new section named `name` under the ID NewSectionID, which then grows
  // by one; returns the ID given. Stores nothing.
  int32_t AddSection(const std::string& name);
  // A new collection of the section names, in section order, without keys.
  automation::Ref<automation::Collection> GetSections();
  // Uses `text_book` itself (shared, not copied); true.
  bool SetTextBook(automation::Ref<TextBook> text_book);
  // Makes a TextBook when there is none and sets its ID to `id` as text.
  void SetTextBookID(const automation::Variant& id);
  // Back to a new course: no ID, name, sections or text book.
  void ClassInitialize();

 private:
  std::string id_;
  std::string name_;
  automation::Ref<automation::Collection> sections_;
  int32_t new_section_id_ = 0;
  automation::Ref<TextBook> text_book_;
};

}  // namespace norwin::datalayer
