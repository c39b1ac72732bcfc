#include "norwin/host/registration.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

using norwin::platform::Registry;
using norwin::platform::RegValue;
using norwin::testing::TempDir;

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = Registry::Open(dir_.path() / "registry.db");
    ASSERT_TRUE(opened.ok()) << opened.message();
    registry_ = std::move(opened.value());
  }
  std::string Text(std::string_view key, std::string_view name = "") {
    auto value = registry_->GetValue("HKEY_CLASSES_ROOT\\" + std::string(key), name);
    if (!value.ok() || !*value) return "<none>";
    return (*value)->text;
  }
  bool Exists(std::string_view key) {
    auto exists = registry_->KeyExists("HKEY_CLASSES_ROOT\\" + std::string(key));
    return exists.ok() && *exists;
  }

  TempDir dir_;
  std::unique_ptr<Registry> registry_;
};

TEST_F(RegistrationTest, WritesAndRemovesTheServersEntries) {
  const std::string clsid = "CLSID\\{08364115-EE22-11D2-AD57-00105A13F737}";
  // Entries of other servers below the shared keys must survive.
  ASSERT_TRUE(registry_
                  ->SetValue("HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}", "",
                             RegValue::String("Other Class"))
                  .ok());
  ASSERT_TRUE(registry_->SetValue("HKCR\\AppID\\other.exe", "AppID", RegValue::String("{X}")).ok());
  // A stale sub-key of an earlier registration below a force-removed key.
  ASSERT_TRUE(registry_->CreateKey("HKCR\\" + clsid + "\\Stale").ok());

  ASSERT_EQ(RegisterAppId(*registry_), kSOk);
  ASSERT_EQ(RegisterServer(*registry_, "/opt/lumo/bin/lumo"), kSOk);

  EXPECT_EQ(Text("AppID\\{A07C9CE4-EE1F-11D2-AD57-00105A13F737}"), "Lumo");
  EXPECT_EQ(Text("AppID\\Lumo.EXE", "AppID"), "{A07C9CE4-EE1F-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text("Lumo.NorwinDHTML.1"), "NorwinDHTML Class");
  EXPECT_EQ(Text("Lumo.NorwinDHTML.1\\CLSID"), "{08364115-EE22-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text("Lumo.NorwinDHTML"), "NorwinDHTML Class");
  EXPECT_EQ(Text("Lumo.NorwinDHTML\\CLSID"), "{08364115-EE22-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text("Lumo.NorwinDHTML\\CurVer"), "Lumo.NorwinDHTML.1");
  EXPECT_EQ(Text(clsid), "NorwinDHTML Class");
  EXPECT_EQ(Text(clsid, "AppID"), "{A07C9CE4-EE1F-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text(clsid + "\\ProgID"), "Lumo.NorwinDHTML.1");
  EXPECT_EQ(Text(clsid + "\\VersionIndependentProgID"), "Lumo.NorwinDHTML");
  EXPECT_EQ(Text(clsid + "\\LocalServer32"), "/opt/lumo/bin/lumo");
  EXPECT_EQ(Text(clsid + "\\ToolboxBitmap32"), "/opt/lumo/bin/lumo, 105");
  EXPECT_EQ(Text(clsid + "\\MiscStatus"), "0");
  EXPECT_EQ(Text(clsid + "\\MiscStatus\\1"), "131473");
  EXPECT_EQ(Text(clsid + "\\TypeLib"), "{A07C9CE3-EE1F-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text(clsid + "\\Version"), "1.0");
  for (const char* empty : {"\\Programmable", "\\Control", "\\Insertable"}) {
    EXPECT_TRUE(Exists(clsid + empty)) << empty;
    EXPECT_EQ(Text(clsid + empty), "<none>") << empty;
  }
  EXPECT_FALSE(Exists(clsid + "\\Stale"));  // the class key was removed before being written

  const std::string lib = "TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}\\1.0";
  EXPECT_EQ(Text(lib), "Lumo 1.0 Type Library");
  EXPECT_EQ(Text(lib + "\\409\\win32"), "/opt/lumo/bin/lumo");
  EXPECT_EQ(Text(lib + "\\FLAGS"), "0");
  EXPECT_EQ(Text(lib + "\\HELPDIR"), "/opt/lumo/bin");
  const std::string iface = "Interface\\{08364114-EE22-11D2-AD57-00105A13F737}";
  EXPECT_EQ(Text(iface), "INorwinDHTML");
  EXPECT_EQ(Text(iface + "\\ProxyStubClsid"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(iface + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(iface + "\\TypeLib"), "{A07C9CE3-EE1F-11D2-AD57-00105A13F737}");
  EXPECT_EQ(Text(iface + "\\TypeLib", "Version"), "1.0");

  // Registering again, from elsewhere, replaces the paths.
  ASSERT_EQ(RegisterServer(*registry_, "/usr/bin/lumo"), kSOk);
  EXPECT_EQ(Text(clsid + "\\LocalServer32"), "/usr/bin/lumo");
  EXPECT_EQ(Text(lib + "\\409\\win32"), "/usr/bin/lumo");

  ASSERT_EQ(UnregisterAppId(*registry_), kSOk);
  ASSERT_EQ(UnregisterServer(*registry_), kSOk);
  for (const std::string& gone :
       {std::string("AppID\\{A07C9CE4-EE1F-11D2-AD57-00105A13F737}"),
        std::string("AppID\\Lumo.EXE"), std::string("Lumo.NorwinDHTML.1"),
        std::string("Lumo.NorwinDHTML"), clsid,
        std::string("TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}"), iface}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  // What is never removed, and what belongs to others, stays.
  EXPECT_TRUE(Exists("AppID"));
  EXPECT_TRUE(Exists("CLSID"));
  EXPECT_TRUE(Exists("TypeLib"));
  EXPECT_TRUE(Exists("Interface"));
  EXPECT_EQ(Text("CLSID\\{00000000-1111-2222-3333-444444444444}"), "Other Class");
  EXPECT_EQ(Text("AppID\\other.exe", "AppID"), "{X}");

  // Removing what is not there succeeds.
  EXPECT_EQ(UnregisterAppId(*registry_), kSOk);
  EXPECT_EQ(UnregisterServer(*registry_), kSOk);
}

TEST_F(RegistrationTest, KeepsOtherVersionsOfTheTypeLibrary) {
  const std::string other = "HKCR\\TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}\\2.0";
  ASSERT_TRUE(registry_->SetValue(other, "", RegValue::String("Lumo 2.0 Type Library")).ok());
  ASSERT_EQ(RegisterServer(*registry_, "/opt/lumo/lumo"), kSOk);
  ASSERT_EQ(UnregisterServer(*registry_), kSOk);
  EXPECT_FALSE(Exists("TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}\\1.0"));
  EXPECT_EQ(Text("TypeLib\\{A07C9CE3-EE1F-11D2-AD57-00105A13F737}\\2.0"), "Lumo 2.0 Type Library");
}

}  // namespace
}  // namespace norwin::host
