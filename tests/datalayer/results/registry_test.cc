// `Registry` as page script uses it: string values read and written below
// the root handles, everything else reading as empty, nothing reported.
#include "norwin/datalayer/registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::Variant;

class RegistryClassTest : public ::testing::Test {
 protected:
  Variant Call(std::string_view name, std::initializer_list<Variant> args = {}) {
    return CallByName(*registry_, name, DISPATCH_METHOD, args);
  }
  Variant Get(std::string_view name) { return CallByName(*registry_, name, DISPATCH_PROPERTYGET); }
  void Put(std::string_view name, Variant value) {
    CallByName(*registry_, name, DISPATCH_PROPERTYPUT, {std::move(value)});
  }
  std::unique_ptr<platform::Registry> Machine() {
    auto opened = platform::Registry::OpenDefault();
    EXPECT_TRUE(opened.ok()) << opened.message();
    return std::move(opened).value();
  }

  testing::TempPrefix prefix_;
  automation::Ref<Registry> registry_ = automation::MakeRef<Registry>();
};

TEST_F(RegistryClassTest, RootConstantsAreTheWindowsHandles) {
  EXPECT_EQ(Get("HKEY_CLASSES_ROOT"), Variant(int32_t(0x80000000u)));
  EXPECT_EQ(Get("HKEY_CURRENT_USER"), Variant(int32_t(0x80000001u)));
  EXPECT_EQ(Get("HKEY_LOCAL_MACHINE"), Variant(int32_t(0x80000002u)));
  EXPECT_EQ(Get("HKEY_USERS"), Variant(int32_t(0x80000003u)));
  EXPECT_EQ(Get("HKEY_PERFORMANCE_DATA"), Variant(int32_t(0x80000004u)));
  EXPECT_THROW(Put("HKEY_USERS", Variant(int32_t{1})), automation::AutomationError);
}

TEST_F(RegistryClassTest, StringsWrittenReadBackUnchanged) {
  const Variant hkcu = Get("HKEY_CURRENT_USER");
  Call("fSaveString", {hkcu, Variant("Software\\Pellam\\Results"), Variant("Folder"),
                       Variant("d:\\Résultats\\2026")});
  EXPECT_EQ(Call("fGetstring", {hkcu, Variant("software\\pellam\\results"), Variant("FOLDER")}),
            Variant("d:\\Résultats\\2026"));
  auto stored = Machine()->GetValue("HKCU\\Software\\Pellam\\Results", "Folder");
  ASSERT_TRUE(stored.ok() && stored->has_value());
  EXPECT_EQ((*stored)->type, platform::RegType::kSz);

  // An empty string is a value, read back as "" rather than Empty.
  Call("fSaveString", {hkcu, Variant("Software\\Pellam"), Variant("Blank"), Variant("")});
  EXPECT_EQ(Call("fGetstring", {hkcu, Variant("Software\\Pellam"), Variant("Blank")}), Variant(""));
  // The default value of a key has the empty name.
  Call("fSaveString", {hkcu, Variant("Software\\Pellam"), Variant(""), Variant("default")});
  EXPECT_EQ(Call("fGetstring", {hkcu, Variant("Software\\Pellam"), Variant("")}),
            Variant("default"));

  // The unsigned form of a handle, as script literals give it, names the same root.
  EXPECT_EQ(Call("fGetstring",
                 {Variant(2147483649.0), Variant("Software\\Pellam\\Results"), Variant("Folder")}),
            Variant("d:\\Résultats\\2026"));

  Call("fDeleteValue", {hkcu, Variant("Software\\Pellam\\Results"), Variant("Folder")});
  EXPECT_TRUE(Call("fGetstring", {hkcu, Variant("Software\\Pellam\\Results"), Variant("Folder")})
                  .IsEmpty());
  // Deleting what is not there reports nothing.
  EXPECT_TRUE(Call("fDeleteValue", {hkcu, Variant("Software\\None"), Variant("x")}).IsEmpty());
}

TEST_F(RegistryClassTest, OtherTypesMissingValuesAndBadRootsReadAsEmpty) {
  auto machine = Machine();
  ASSERT_TRUE(
      machine->SetValue("HKLM\\Software\\Pellam", "Count", platform::RegValue::Dword(7)).ok());
  ASSERT_TRUE(machine
                  ->SetValue("HKLM\\Software\\Pellam", "Path",
                             platform::RegValue::String("%TEMP%", platform::RegType::kExpandSz))
                  .ok());
  const Variant hklm = Get("HKEY_LOCAL_MACHINE");
  EXPECT_TRUE(Call("fGetstring", {hklm, Variant("Software\\Pellam"), Variant("Count")}).IsEmpty());
  EXPECT_TRUE(Call("fGetstring", {hklm, Variant("Software\\Pellam"), Variant("Path")}).IsEmpty());
  EXPECT_TRUE(Call("fGetstring", {hklm, Variant("Software\\Pellam"), Variant("None")}).IsEmpty());
  EXPECT_TRUE(
      Call("fGetstring", {hklm, Variant("Software\\Nothing\\Here"), Variant("x")}).IsEmpty());
  // Reading opens keys, never creates them.
  EXPECT_FALSE(*machine->KeyExists("HKLM\\Software\\Nothing"));

  // A handle that is no root: nothing is read or written.
  Call("fSaveString",
       {Variant(int32_t{0}), Variant("Software\\Pellam"), Variant("x"), Variant("y")});
  EXPECT_TRUE(Call("fGetstring", {Variant(int32_t{0}), Variant("Software\\Pellam"), Variant("x")})
                  .IsEmpty());
}

TEST_F(RegistryClassTest, PropertiesDriveReadValueAndWriteValue) {
  Put("Key", Get("HKEY_CURRENT_USER"));
  Put("SubKey", Variant("Software\\Lumo"));
  Put("Value", Variant("Path"));
  Put("Data", Variant("c:\\progress"));
  EXPECT_TRUE(Call("WriteValue").IsEmpty());

  auto reader = automation::MakeRef<Registry>();
  CallByName(*reader, "Key", DISPATCH_PROPERTYPUT, {Variant(2147483649.0)});
  CallByName(*reader, "SubKey", DISPATCH_PROPERTYPUT, {Variant("SOFTWARE\\LUMO")});
  CallByName(*reader, "Value", DISPATCH_PROPERTYPUT, {Variant("path")});
  CallByName(*reader, "Data", DISPATCH_PROPERTYPUT, {Variant("stale")});
  CallByName(*reader, "ReadValue", DISPATCH_METHOD);
  EXPECT_EQ(CallByName(*reader, "Data", DISPATCH_PROPERTYGET), Variant("c:\\progress"));
  EXPECT_EQ(CallByName(*reader, "Key", DISPATCH_PROPERTYGET), Variant(int32_t(0x80000001u)));

  // A value that is not there reads as "".
  CallByName(*reader, "Value", DISPATCH_PROPERTYPUT, {Variant("Other")});
  CallByName(*reader, "ReadValue", DISPATCH_METHOD);
  EXPECT_EQ(CallByName(*reader, "Data", DISPATCH_PROPERTYGET), Variant(""));
}

}  // namespace
}  // namespace norwin::datalayer
