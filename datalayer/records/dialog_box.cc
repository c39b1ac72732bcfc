#include "norwin/datalayer/dialog_box.h"

#include <utility>

namespace norwin::datalayer {

bool DialogBox::SetValues(std::string background, std::string id) {
  background_ = std::move(background);
  id_ = std::move(id);
  return true;
}

NORWIN_CLASS(DialogBox) {
  PropertyRW("dbBackground", &DialogBox::Background, &DialogBox::SetBackground);
  PropertyRW("dbId", &DialogBox::Id, &DialogBox::SetId);
  Method("SetValues", &DialogBox::SetValues);
}

}  // namespace norwin::datalayer
