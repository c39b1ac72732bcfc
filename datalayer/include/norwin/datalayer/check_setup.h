// `CheckSetup` (NorwinPellam2003.CheckSetup): the check that set-up pages
// run over the storage locations an installation keeps in the per-user
// program settings.
//
// The settings XMLDir, QuestionPoolDir, TestResultsDir and StudentIdDir (in
// that order) of the application and section the caller names are each a
// local folder or a server location. A folder that does not exist, or a
// server that does not answer its "LoginKey.asp" page within the server time
// limits (server_request.h), adds one line, ended by a carriage return, to
// the report; a server that answers anything, an error page included, is
// responding. Missing or empty settings are not checked. Nothing is raised
// and no setting is changed.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::datalayer {

class CheckSetup : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The report (empty when every location is in order); bound as
  // "CheckSetup". Both arguments are converted to text.
  std::string Check(const automation::Variant& app_name,
                    const automation::Variant& registry_section) const;
};

}  // namespace norwin::datalayer
