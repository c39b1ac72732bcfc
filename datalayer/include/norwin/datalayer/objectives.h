// `Objectives` (NorwinPellam2003.Objectives): the skill objectives of a
// title, read from the table `objective` of its content database
// (content_database.h) and kept keyed by ID; the task pool and the question
// pool point their members at these objects. They can be written out as an
// `objectiveList` record (kind "Objectives", request shape B); nothing reads
// that record back.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/objective.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

inline constexpr RecordKind kObjectivesKind{"Objectives", RequestShape::kB};

class Objectives : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The objectives keyed by ID, in table order (made on first use).
  const automation::Ref<automation::Collection>& Members();
  void SetMembers(automation::Ref<automation::Collection> members);

  // False, opening nothing, when no local file `filename` exists (a server
  // location never loads); otherwise LoadFromDatabase.
  bool Load(const std::string& filename, const automation::Variant& text_books);
  // Adds an Objective for every row of the table `objective` of the
  // database at `filename`. Raises the database's errors (an empty table
  // included), 94 for a Null field and 457 for a duplicate ID; the
  // objectives added before stay. True.
  bool LoadFromDatabase(const std::string& filename, const automation::Variant& text_books);
  // Whether an objective has the key `id`; false for anything that is no key.
  bool Exists(const automation::Variant& id);
  // Stores the `objectiveList` record at `filename`; true.
  bool Save(const std::string& filename);
  // Appends one `objective` element per objective to `node`.
  void SaveToXml(XmlNode node);

  // The objective `id` of the Objectives object `objectives` (ours, or
  // another asked by name); null when it has none.
  static automation::Ref<Objective> LookUp(const automation::Variant& objectives,
                                           std::string_view id);

 private:
  automation::Ref<automation::Collection> members_;
};

}  // namespace norwin::datalayer
