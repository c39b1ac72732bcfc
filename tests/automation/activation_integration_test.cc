// Activation as page script meets it: built-in classes in a process without
// any registry, and classes of a real server library (norwin-test-inproc)
// found through a real registry database in a temporary prefix.
#include "norwin/automation/activation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "automation/support/error_number.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/dictionary.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/inproc_library.h"
#include "norwin/automation/server_registration.h"
#include "norwin/platform/registry.h"
#include "support/full_disk_vfs.h"
#include "support/temp_prefix.h"
#include "test_inproc_ids.h"

namespace norwin::automation {
namespace {

using norwin::testing::ScopedEnv;
using norwin::testing::TempPrefix;
using platform::Registry;
using platform::RegType;
using platform::RegValue;
using test_inproc::kCounterClsid;
using test_inproc::kRefuserClsid;
using testing::ErrNumberOf;

const std::string kLibrary = NORWIN_TEST_INPROC_LIBRARY;

// The error a failed CreateObject raised.
AutomationError FailureOf(std::string_view name) {
  try {
    CreateObject(name);
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << name << " was created";
  return AutomationError(S_OK, "");
}

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A library left loaded by an earlier test (an object of it leaked)
    // would make the counts below lie.
    FreeUnusedLibraries();
    ASSERT_EQ(LoadedLibraryCount(), 0u);
  }
  void TearDown() override { FreeUnusedLibraries(); }

  std::unique_ptr<Registry> OpenRegistry() {
    Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
    EXPECT_TRUE(registry.ok()) << registry.message();
    return registry.ok() ? std::move(*registry) : nullptr;
  }

  // Calls the test library's registration entry point in this process, as
  // norwin-regsvr would.
  void RegisterTestServer() {
    Result<std::unique_ptr<InprocLibrary>> library = InprocLibrary::Load(kLibrary);
    ASSERT_TRUE(library.ok()) << library.message();
    ASSERT_NE((*library)->register_server(), nullptr);
    ASSERT_EQ((*library)->register_server()(), S_OK);
  }

  void SetClassesValue(const std::string& key, const std::string& text,
                       RegType type = RegType::kSz) {
    ASSERT_TRUE(OpenRegistry()
                    ->SetValue("HKEY_CLASSES_ROOT\\" + key, "", RegValue::String(text, type))
                    .ok());
  }

  TempPrefix prefix_;
};

TEST_F(ActivationTest, BuiltInClassesNeedNoRegistration) {
  ASSERT_FALSE(std::filesystem::exists(prefix_.path() / "registry.db"));
  Ref<Object> dictionary = CreateObject("Scripting.Dictionary");
  ASSERT_TRUE(dictionary);
  EXPECT_EQ(dictionary->TypeName(), "Dictionary");
  CallByName(*dictionary, "Add", DISPATCH_METHOD, {Variant("k"), Variant(1)});
  EXPECT_EQ(CallByName(*dictionary, "Count", DISPATCH_PROPERTYGET), Variant(1));
  // Each call makes a new object.
  EXPECT_NE(CreateObject("Scripting.Dictionary"), dictionary);
  // ProgIDs compare without regard to case; the CLSID names the class too.
  EXPECT_TRUE(CreateObject("SCRIPTING.dictionary"));
  EXPECT_TRUE(CreateObject("{ee09b103-97e0-11cf-978f-00a02463e06f}"));
  EXPECT_TRUE(CreateObjectAs<Dictionary>("Scripting.Dictionary"));
  // Reading never creates a registry where there was none.
  EXPECT_FALSE(std::filesystem::exists(prefix_.path() / "registry.db"));

  const AutomationError unknown = FailureOf("NorwinPellam2003.Nothing");
  EXPECT_EQ(unknown.number, HResultFromRuntimeError(429));
  EXPECT_EQ(unknown.description,
            "ActiveX component can't create object: 'NorwinPellam2003.Nothing'");
  for (const char* bad : {"", "{not-a-guid}", "a\\b", "{EE09B103-97E0-11CF-978F-00A02463E06E}"}) {
    EXPECT_EQ(ErrNumberOf([&] { CreateObject(bad); }), 429) << bad;
  }
}

TEST_F(ActivationTest, RegisteredClassEndToEnd) {
  RegisterTestServer();
  // What registration wrote.
  std::unique_ptr<Registry> registry = OpenRegistry();
  const std::string clsid_key = "HKCR\\CLSID\\" + kCounterClsid.ToString();
  const std::string absolute = std::filesystem::absolute(kLibrary).lexically_normal().string();
  EXPECT_EQ(registry->GetValue(clsid_key + "\\InprocServer32", "")->value_or(RegValue()).text,
            absolute);
  EXPECT_EQ(registry->GetValue(clsid_key + "\\InprocServer32", "ThreadingModel")
                ->value_or(RegValue())
                .text,
            "Apartment");
  EXPECT_EQ(registry->GetValue(clsid_key + "\\ProgID", "")->value_or(RegValue()).text,
            "NorwinTest.Counter");
  EXPECT_EQ(registry->GetValue("HKCR\\NorwinTest.Counter\\CLSID", "")->value_or(RegValue()).text,
            kCounterClsid.ToString());
  EXPECT_EQ(registry->GetValue(clsid_key + "\\TypeLib", "")->value_or(RegValue()).text,
            test_inproc::kTypeLibrary.ToString());
  EXPECT_EQ(ClsidFromProgId("norwintest.counter").value_or(Guid()), kCounterClsid);

  Ref<Object> counter = CreateObject("NorwinTest.Counter");
  ASSERT_TRUE(counter);
  EXPECT_EQ(LoadedLibraryCount(), 1u);
  EXPECT_EQ(CallByName(*counter, "Increment", DISPATCH_METHOD, {Variant(5)}), Variant(5));
  EXPECT_EQ(CallByName(*counter, "Increment", DISPATCH_METHOD), Variant(6));
  EXPECT_EQ(ToInt32(Variant(counter)), 6);  // its default member
  EXPECT_EQ(CallByName(*counter, "Library", DISPATCH_PROPERTYGET), Variant(absolute));

  // The CLSID reaches the same class; the library is loaded once.
  Ref<Object> second = CreateObject(kCounterClsid.ToString());
  EXPECT_EQ(CallByName(*second, "Value", DISPATCH_PROPERTYGET), Variant(0));
  EXPECT_EQ(LoadedLibraryCount(), 1u);

  // A class that refuses: its own error, with its description and source.
  try {
    CreateObject("NorwinTest.Refuser");
    ADD_FAILURE() << "the refuser was created";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, ObjectError(test_inproc::kRefusalCode));
    EXPECT_EQ(e.description, "The refuser refuses");
    EXPECT_EQ(e.source, "NorwinTest.Refuser");
  }

  // The library stays while its objects live, and goes when they are gone.
  EXPECT_EQ(FreeUnusedLibraries(), 0u);
  EXPECT_EQ(LoadedLibraryCount(), 1u);
  counter.reset();
  EXPECT_EQ(FreeUnusedLibraries(), 0u);
  second.reset();
  EXPECT_EQ(FreeUnusedLibraries(), 1u);
  EXPECT_EQ(LoadedLibraryCount(), 0u);
  // And is loaded again when needed.
  Ref<Object> again = CreateObject("NorwinTest.Counter");
  EXPECT_EQ(CallByName(*again, "Increment", DISPATCH_METHOD, {Variant(2)}), Variant(2));
  EXPECT_EQ(LoadedLibraryCount(), 1u);
  again.reset();

  // Unregistering removes the class: the ProgID and the CLSID are gone.
  Result<std::unique_ptr<InprocLibrary>> library = InprocLibrary::Load(kLibrary);
  ASSERT_TRUE(library.ok());
  ASSERT_EQ((*library)->unregister_server()(), S_OK);
  EXPECT_FALSE(*registry->KeyExists("HKCR\\NorwinTest.Counter"));
  EXPECT_FALSE(*registry->KeyExists(clsid_key));
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);
  EXPECT_EQ(ErrNumberOf([] { CreateObject(kCounterClsid.ToString()); }), 429);
  // Unregistering twice is no error.
  EXPECT_EQ((*library)->unregister_server()(), S_OK);
}

TEST_F(ActivationTest, VersionIndependentProgIdsAndExpandedPaths) {
  RegisterTestServer();
  SetClassesValue("NorwinTest.Any\\CurVer", "NorwinTest.Any.2");
  SetClassesValue("NorwinTest.Any.2\\CurVer", "NorwinTest.Counter");
  EXPECT_TRUE(CreateObject("NorwinTest.Any"));
  // A loop of CurVer entries is a failure, not a hang.
  SetClassesValue("NorwinTest.Loop\\CurVer", "NorwinTest.Loop.1");
  SetClassesValue("NorwinTest.Loop.1\\CurVer", "NorwinTest.Loop");
  const AutomationError loop = FailureOf("NorwinTest.Loop");
  EXPECT_EQ(loop.number, HResultFromRuntimeError(429));
  EXPECT_NE(loop.source.find("loop"), std::string::npos) << loop.source;

  // REG_EXPAND_SZ library paths take environment variables.
  const std::filesystem::path library(kLibrary);
  ScopedEnv dir("NORWIN_TEST_SERVER_DIR", library.parent_path().string());
  SetClassesValue("CLSID\\" + kCounterClsid.ToString() + "\\InprocServer32",
                  "%NORWIN_TEST_SERVER_DIR%/" + library.filename().string(), RegType::kExpandSz);
  Ref<Object> counter = CreateObject("NorwinTest.Counter");
  EXPECT_EQ(CallByName(*counter, "Increment", DISPATCH_METHOD), Variant(1));
}

TEST_F(ActivationTest, BadRegistrationsFailWith429AndAReason) {
  RegisterTestServer();
  const std::string counter_server = "CLSID\\" + kCounterClsid.ToString() + "\\InprocServer32";
  auto reason = [](std::string_view name) {
    const AutomationError e = FailureOf(name);
    EXPECT_EQ(e.number, HResultFromRuntimeError(429)) << name;
    return e.source;
  };

  // A library that does not exist, and a file that is no library.
  SetClassesValue(counter_server, (prefix_.path() / "missing.so").string());
  EXPECT_NE(reason("NorwinTest.Counter").find("cannot load"), std::string::npos);
  const std::filesystem::path text = prefix_.path() / "text.so";
  std::ofstream(text) << "not a library";
  SetClassesValue(counter_server, text.string());
  EXPECT_NE(reason("NorwinTest.Counter").find("cannot load"), std::string::npos);
  // A real library without the entry point.
  SetClassesValue(counter_server, "libm.so.6");
  EXPECT_NE(reason("NorwinTest.Counter").find("no DllGetClassObject"), std::string::npos);
  // A class the library does not have.
  const std::string stranger = "{0B5A0F10-0000-4000-8000-000000000001}";
  SetClassesValue("NorwinTest.Stranger\\CLSID", stranger);
  SetClassesValue("CLSID\\" + stranger + "\\InprocServer32", kLibrary);
  EXPECT_NE(reason("NorwinTest.Stranger").find("0x80040111"), std::string::npos);
  // A CLSID without a server, and a ProgID whose CLSID is no identifier.
  SetClassesValue("NorwinTest.Serverless\\CLSID", kRefuserClsid.ToString());
  OpenRegistry()
      ->DeleteKey("HKCR\\CLSID\\" + kRefuserClsid.ToString() + "\\InprocServer32",
                  platform::Recursive::kYes)
      .ok();
  EXPECT_NE(reason("NorwinTest.Serverless").find("no InprocServer32"), std::string::npos);
  SetClassesValue("NorwinTest.Garbled\\CLSID", "Students");
  EXPECT_NE(reason("NorwinTest.Garbled").find("not a class identifier"), std::string::npos);
  // A registry database that cannot be read.
  std::ofstream(prefix_.path() / "registry.db", std::ios::trunc) << "garbage, not SQLite";
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);
  // The built-in classes do not need it.
  EXPECT_TRUE(CreateObject("Scripting.Dictionary"));
}

TEST_F(ActivationTest, AFullRegistryDiskIsNamedAsTheCause) {
  RegisterTestServer();
  // A new process (or one whose cache is gone) opens the registry anew.
  TempPrefix other;
  ASSERT_TRUE(
      std::filesystem::copy_file(prefix_.path() / "registry.db", other.path() / "registry.db"));
  norwin::testing::FullDiskVfs full_disk;
  const AutomationError e = FailureOf("NorwinTest.Counter");
  EXPECT_EQ(e.number, HResultFromRuntimeError(429));
  EXPECT_NE(e.description.find("The registry cannot be read"), std::string::npos) << e.description;
  EXPECT_NE(e.description.find("the disk is full"), std::string::npos) << e.description;
}

TEST_F(ActivationTest, BuiltInClassesCanBeAdded) {
  constexpr Guid kClsid = MakeGuid("{0B5A0F10-0000-4000-8000-000000000002}");
  RegisterBuiltInClass("NorwinTest.BuiltIn", kClsid, [] {
    Ref<Dictionary> d = MakeRef<Dictionary>();
    d->Add(Variant("made"), Variant(true));
    return Ref<Object>(d);
  });
  Ref<Dictionary> made = CreateObjectAs<Dictionary>("norwintest.builtin");
  EXPECT_EQ(made->size(), 1u);
  EXPECT_TRUE(CreateObject(kClsid.ToString()));
  // Asking for the wrong class is a type mismatch; a class that makes
  // nothing cannot be created.
  EXPECT_EQ(ErrNumberOf([] { CreateObjectAs<Collection>("Scripting.Dictionary"); }), 13);
  RegisterBuiltInClass("NorwinTest.BuiltIn", kClsid, [] { return Ref<Object>(); });
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.BuiltIn"); }), 429);
}

}  // namespace
}  // namespace norwin::automation
