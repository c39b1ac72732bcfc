// `TextBook` (NorwinPellam2003.TextBook): one text book of a title, read
// from the content database by TextBooks and referred to by courses and by
// page references. A course resolved against a TextBooks object shares that
// object's TextBook rather than a copy.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class TextBook : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(const std::string& id) { id_ = id; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Author() const { return author_; }
  void SetAuthor(const std::string& author) { author_ = author; }

  // Copies the three texts; true.
  bool InitTextbook(const std::string& id, const std::string& title, const std::string& author);
  // Appends `id`, `title` and `author` to the `textBook` element `node`.
  void SaveToXml(XmlNode node) const;
  // Empties the three texts.
  void ClassInitialize();

 private:
  std::string id_;
  std::string title_;
  std::string author_;
};

}  // namespace norwin::datalayer
