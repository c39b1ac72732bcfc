// `FileSystemObjectHandle` (NorwinPellam2003.FileSystemObjectHandle): hands
// administration pages a ready-made `Scripting.FileSystemObject`.
//
// The object is created with the handle, by ProgID; creating the handle
// fails with activation's error when it cannot be made. `fsoHandle` may be
// replaced by any value (get, let and set).
#pragma once

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::datalayer {

class FileSystemObjectHandle : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  FileSystemObjectHandle();

  const automation::Variant& fsoHandle() const { return handle_; }
  void SetFsoHandle(const automation::Variant& handle) { handle_ = handle; }

 private:
  automation::Variant handle_;
};

}  // namespace norwin::datalayer
