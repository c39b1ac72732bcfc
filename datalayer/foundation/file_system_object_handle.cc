#include "norwin/datalayer/file_system_object_handle.h"

#include "norwin/automation/activation.h"

namespace norwin::datalayer {

FileSystemObjectHandle::FileSystemObjectHandle()
    : handle_(automation::CreateObject("Scripting.FileSystemObject")) {}

NORWIN_CLASS(FileSystemObjectHandle) {
  PropertyRef("fsoHandle", &FileSystemObjectHandle::fsoHandle,
              &FileSystemObjectHandle::SetFsoHandle);
}

}  // namespace norwin::datalayer
