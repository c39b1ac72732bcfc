// libnorwin2003.so as an in-process server: registered and unregistered by
// norwin-regsvr in its own process, its classes activated by ProgID through
// the registry, its objects and class objects keeping it loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "norwin/automation/activation.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/platform/registry.h"
#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::Variant;

const std::string kLibrary =
    std::filesystem::absolute(NORWIN2003_LIBRARY).lexically_normal().string();

// Runs norwin-regsvr with `args`; its exit status.
int Regsvr(const std::vector<std::string>& args) {
  return testing::RunProgram(NORWIN_REGSVR, args).status;
}

int32_t ErrNumberOf(void (*call)()) {
  try {
    call();
  } catch (const automation::AutomationError& e) {
    return automation::ErrNumberFromHResult(e.number);
  }
  return 0;
}

class LibraryTest : public ::testing::Test {
 protected:
  void TearDown() override { automation::FreeUnusedLibraries(); }

  std::optional<std::string> Text(const std::string& key, const std::string& name = "") {
    auto registry = platform::Registry::OpenDefault();
    if (!registry.ok()) return std::nullopt;
    auto value = (*registry)->GetValue(key, name);
    if (!value.ok() || !value->has_value()) return std::nullopt;
    return (*value)->text;
  }

  testing::TempPrefix prefix_;
};

TEST_F(LibraryTest, RegistrationNamesEveryClassAndTheTypeLibrary) {
  ASSERT_EQ(Regsvr({kLibrary}), 0);
  const std::string libid = kTypeLibraryId.ToString();
  for (const automation::InprocClass& c : LibraryClasses()) {
    SCOPED_TRACE(c.progid);
    const std::string progid(c.progid);
    const std::string clsid = "HKCR\\CLSID\\" + c.clsid.ToString();
    EXPECT_EQ(Text("HKCR\\" + progid), progid);
    EXPECT_EQ(Text("HKCR\\" + progid + "\\CLSID"), c.clsid.ToString());
    EXPECT_EQ(Text(clsid), progid);
    EXPECT_EQ(Text(clsid + "\\InprocServer32"), kLibrary);
    EXPECT_EQ(Text(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Text(clsid + "\\ProgID"), progid);
    EXPECT_EQ(Text(clsid + "\\TypeLib"), libid);
    EXPECT_EQ(Text(clsid + "\\VERSION"), "1.0");
  }
  EXPECT_EQ(Text("HKCR\\NorwinPellam2003.Registry\\CLSID"),
            "{BAF2B643-F3C7-4B12-BDEE-D8C8ECDC3C47}");
  EXPECT_EQ(Text("HKCR\\TypeLib\\" + libid + "\\1.0"), "NorwinPellam2003");
  EXPECT_EQ(Text("HKCR\\TypeLib\\" + libid + "\\1.0\\0\\win32"), kLibrary);

  ASSERT_EQ(Regsvr({"/u", kLibrary}), 0);
  auto registry = platform::Registry::OpenDefault();
  ASSERT_TRUE(registry.ok());
  for (const automation::InprocClass& c : LibraryClasses()) {
    EXPECT_FALSE(*(*registry)->KeyExists("HKCR\\" + std::string(c.progid)));
    EXPECT_FALSE(*(*registry)->KeyExists("HKCR\\CLSID\\" + c.clsid.ToString()));
  }
  EXPECT_FALSE(*(*registry)->KeyExists("HKCR\\TypeLib\\" + libid));
}

TEST_F(LibraryTest, ClassesActivateByProgIdAndKeepTheLibraryLoaded) {
  EXPECT_EQ(ErrNumberOf([] { automation::CreateObject("NorwinPellam2003.Encryption"); }), 429);
  ASSERT_EQ(Regsvr({kLibrary}), 0);

  automation::Ref<automation::Object> encryption =
      automation::CreateObject("NorwinPellam2003.Encryption");
  EXPECT_EQ(CallByName(*encryption, "Encrypt", DISPATCH_METHOD, {Variant("abc")}),
            Variant("900150983cd24fb0d6963f7d28e17f72"));
  EXPECT_EQ(encryption->TypeName(), "Encryption");
  // A live object keeps the library loaded.
  EXPECT_EQ(automation::FreeUnusedLibraries(), 0u);
  EXPECT_EQ(automation::LoadedLibraryCount(), 1u);
  encryption.reset();
  EXPECT_EQ(automation::FreeUnusedLibraries(), 1u);

  // By CLSID too; a class the library does not make is not registered.
  auto registry = automation::CreateObject("{BAF2B643-F3C7-4B12-BDEE-D8C8ECDC3C47}");
  EXPECT_EQ(registry->TypeName(), "Registry");
  EXPECT_EQ(automation::CreateObject("NorwinPellam2003.Students")->TypeName(), "Students");
  EXPECT_EQ(automation::CreateObject("{D90B4581-29DC-4442-801B-88D164153376}")->TypeName(),
            "Student");
  EXPECT_EQ(ErrNumberOf([] { automation::CreateObject("NorwinPellam2003.NoSuchClass"); }), 429);
  // Every class of the type library, the submission family included.
  EXPECT_EQ(LibraryClasses().size(), 36u);
  EXPECT_EQ(automation::CreateObject("{99F31783-4C7A-44C8-9AB4-80FD3080441B}")->TypeName(),
            "VelloraExam");
  EXPECT_EQ(automation::CreateObject("NorwinPellam2003.VelloraLesson")->TypeName(),
            "VelloraLesson");
}

TEST_F(LibraryTest, ObjectsAndClassObjectsAreCountedForUnloading) {
  void* handle = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto get_class = reinterpret_cast<NorwinDllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  auto can_unload = reinterpret_cast<NorwinDllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  ASSERT_TRUE(get_class && can_unload);
  // Nothing else leaves the library.
  EXPECT_EQ(dlsym(handle, "_ZN6norwin9datalayer14LiveObjectCountEv"), nullptr);

  EXPECT_EQ(can_unload(), automation::S_OK);
  automation::ClassFactory* factory = nullptr;
  const automation::Guid security = automation::MakeGuid("{3B93941C-6A07-4F68-B3E7-71B72568A944}");
  ASSERT_EQ(get_class(&security, &factory), automation::S_OK);
  EXPECT_EQ(can_unload(), automation::S_FALSE);
  automation::Object* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(&object), automation::S_OK);
  factory->Release();
  EXPECT_EQ(can_unload(), automation::S_FALSE);
  EXPECT_EQ(CallByName(*object, "ValidationString", DISPATCH_METHOD), Variant(""));
  object->Release();
  EXPECT_EQ(can_unload(), automation::S_OK);

  const automation::Guid unknown = automation::MakeGuid("{00000000-0000-0000-0000-000000000001}");
  factory = reinterpret_cast<automation::ClassFactory*>(1);
  EXPECT_EQ(get_class(&unknown, &factory), automation::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  dlclose(handle);
}

}  // namespace
}  // namespace norwin::datalayer
