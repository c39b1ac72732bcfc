// The module configuration file and the look-up of a module's disc file.
#include "norwin/datalayer/module_disc_manager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::Variant;

class ModuleDiscManagerTest : public ::testing::Test {
 protected:
  std::string Write(const char* name, std::string_view text) {
    const auto path = dir_.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  Variant Load(const std::string& file) {
    return CallByName(*manager_, "LoadConfigFile", DISPATCH_METHOD, {Variant(file)});
  }
  std::string FileFor(const char* module) {
    return CallByName(*manager_, "GetFileForModule", DISPATCH_METHOD, {Variant(module)}).string();
  }

  testing::TempDir dir_;
  automation::Ref<ModuleDiscManager> manager_ = automation::MakeRef<ModuleDiscManager>();
};

TEST_F(ModuleDiscManagerTest, ModulesMapToTheirFiles) {
  EXPECT_EQ(FileFor("Algebra"), "Error");
  const std::string config = Write("modules.xml", R"(<?xml version="1.0"?>
<discs version="2">
  <module name="Algebra" file="disc1.iso" size="700"/>
  <!-- a comment -->
  <module name="Geometry"/>
  <other name="Trig" file="disc9.iso"/>
  <module file="disc3.iso"/>
  <module name="Calculus" file="disc2.iso"><module name="Nested" file="x"/></module>
</discs>)");
  EXPECT_EQ(Load(config), Variant(true));
  EXPECT_EQ(FileFor("Algebra"), "disc1.iso");
  EXPECT_EQ(FileFor("Calculus"), "disc2.iso");
  EXPECT_EQ(FileFor("algebra"), "Error");
  EXPECT_EQ(FileFor("Geometry"), "Error");
  EXPECT_EQ(FileFor("Trig"), "Error");
  EXPECT_EQ(FileFor("Nested"), "Error");
  const Variant hash = CallByName(*manager_, "moduleHash", automation::DISPATCH_PROPERTYGET);
  EXPECT_EQ(CallByName(automation::RequireObject(hash), "Count", automation::DISPATCH_PROPERTYGET),
            Variant(int32_t{2}));

  // A second file adds to the map; a name already there stops the load.
  const std::string more = Write("more.xml",
                                 "<d><module name='Statistics' file='disc4.iso'/>"
                                 "<module name='Algebra' file='disc5.iso'/>"
                                 "<module name='Logic' file='disc6.iso'/></d>");
  try {
    Load(more);
    ADD_FAILURE() << "a module named twice must fail the load";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number, automation::HResultFromRuntimeError(automation::kDuplicateKey));
  }
  EXPECT_EQ(FileFor("Statistics"), "disc4.iso");
  EXPECT_EQ(FileFor("Algebra"), "disc1.iso");
  EXPECT_EQ(FileFor("Logic"), "Error");
}

TEST_F(ModuleDiscManagerTest, UnreadableFilesDoNotLoad) {
  EXPECT_EQ(Load((dir_.path() / "missing.xml").string()), Variant(false));
  EXPECT_EQ(Load(Write("broken.xml", "<discs><module name='a' file='b'></discs>")), Variant(false));
  EXPECT_EQ(Load(Write("empty.xml", "")), Variant(false));
  EXPECT_EQ(FileFor("a"), "Error");
}

}  // namespace
}  // namespace norwin::datalayer
