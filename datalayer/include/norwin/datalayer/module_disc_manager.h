// `ModuleDiscManager` (NorwinPellam2003.ModuleDiscManager): which disc file
// holds which course module, from the module configuration file.
//
// The configuration is an XML document whose root element (any name) has
// `module` children with the attributes `name` and `file`; other children
// and attributes are ignored. The map (`moduleHash`, a Dictionary with
// case-sensitive keys) grows with every file loaded and is created empty on
// first use.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/dictionary.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

class ModuleDiscManager : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The map from module name to file; never null.
  automation::Ref<automation::Dictionary> moduleHash();
  // Replaces the map (Nothing: a new empty one on next use).
  void SetModuleHash(automation::Ref<automation::Dictionary> hash);

  // Adds the modules of the file (a local path or an http: address) in
  // document order; a `module` without both attributes is skipped. False
  // when the file cannot be read or is not XML. A module name already in the
  // map raises the Dictionary's duplicate-key error 457; the modules before
  // it stay added.
  bool LoadConfigFile(const std::string& xml_file_name);
  // The file of `module_name` (exact case), or "Error" when it is unknown.
  std::string GetFileForModule(const std::string& module_name);

 private:
  automation::Ref<automation::Dictionary> hash_;
};

}  // namespace norwin::datalayer
