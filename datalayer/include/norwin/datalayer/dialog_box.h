// `DialogBox` (NorwinPellam2003.DialogBox): a two-field value holder that
// pages pass between their dialogs (a background and an identifier). It
// shows nothing itself.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

class DialogBox : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Background() const { return background_; }
  void SetBackground(const std::string& background) { background_ = background; }
  const std::string& Id() const { return id_; }
  void SetId(const std::string& id) { id_ = id; }

  // Sets both; true.
  bool SetValues(std::string background, std::string id);

 private:
  std::string background_;
  std::string id_;
};

}  // namespace norwin::datalayer
