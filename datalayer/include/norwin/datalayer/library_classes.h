// The classes of libnorwin2003.so: one table, from which the library's entry
// points register, unregister and make them, and through which record
// classes create their members by name.
//
// Each class is a line of the table in library_classes.cc: its name (the
// ProgID is "NorwinPellam2003." followed by it), its CLSID and the function
// that makes an object. Objects made through the table are counted while
// they live, so that the library is unloaded only when none is left.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "norwin/automation/guid.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/automation/object.h"
#include "norwin/automation/server_registration.h"

namespace norwin::datalayer {

inline constexpr std::string_view kProgIdPrefix = "NorwinPellam2003.";
// The library's type library, NorwinPellam2003 version 1.0.
inline constexpr automation::Guid kTypeLibraryId =
    automation::MakeGuid("{DCB32DF9-EB26-4E53-9F05-60D9C8B8EEDA}");
inline constexpr std::string_view kTypeLibraryName = "NorwinPellam2003";
inline constexpr std::string_view kTypeLibraryVersion = "1.0";

// The classes the library can make, in the type library's order.
std::span<const automation::InprocClass> LibraryClasses();

// The entry of the class with the ProgID "NorwinPellam2003." + `name`
// (without regard to case); null when the library has no such class.
const automation::InprocClass* FindLibraryClass(std::string_view name);

// A new object of the class `name` ("Student"): made through the table when
// the library has the class, otherwise by ProgID through activation. Raises
// activation's error 429 when neither can make it.
automation::Ref<automation::Object> CreateRecordObject(std::string_view name);

// Counts one object of this library that is not made through the table (a
// DOM node or list handed to script), so that the library, whose code the
// object runs, stays loaded while a caller holds it. Make it a member.
class LibraryObjectLock {
 public:
  LibraryObjectLock();
  LibraryObjectLock(const LibraryObjectLock&);
  LibraryObjectLock& operator=(const LibraryObjectLock&) = default;
  ~LibraryObjectLock();
};

// Objects made through the table (or holding a LibraryObjectLock) that are
// still alive, and class objects (factories) handed out that are still held.
int32_t LiveObjectCount();
int32_t LiveFactoryCount();

// A class object for `clsid` that makes counted objects; S_OK, or
// CLASS_E_CLASSNOTAVAILABLE when the library has no such class. Never throws.
automation::HResult GetLibraryClassObject(const automation::Guid* clsid,
                                          automation::ClassFactory** factory) noexcept;

// The classes the library makes as stand-ins for the platform's own
// (the XML DOM document, "MSXML2.DOMDocument"), outside the type library.
std::span<const automation::InprocClass> StandInClasses();

// Writes the registry entries of every class of the table and of the
// stand-ins, naming `library_path` as their server, and the type library's
// key; all or nothing. Removes them again (a ProgID another server has taken over since
// is left alone).
Status RegisterLibrary(std::string_view library_path);
Status UnregisterLibrary();

}  // namespace norwin::datalayer
