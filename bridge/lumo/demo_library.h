// The record library for `lumo --demo`: the demo's pages create record
// objects by name, so a user who opens the installed demo without ever
// having registered the record library (norwin-regsvr) gets it registered
// in the registry of the prefix first.
#pragma once

namespace norwin::bridge {

// Registers libnorwin2003.so (the one beside the automation runtime) unless
// its classes are registered already; a failure is one line on standard
// error, and the demo opens all the same.
void RegisterRecordLibraryForDemo();

}  // namespace norwin::bridge
