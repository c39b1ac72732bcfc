// The file-system handle hands script a working Scripting.FileSystemObject.
#include "norwin/datalayer/file_system_object_handle.h"

#include <gtest/gtest.h>

#include "norwin/automation/dispatch.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::DISPATCH_PROPERTYPUTREF;
using automation::Variant;

TEST(FileSystemObjectHandleTest, HoldsAFileSystemObjectOfItsOwn) {
  testing::TempPrefix prefix;
  auto first = automation::MakeRef<FileSystemObjectHandle>();
  auto second = automation::MakeRef<FileSystemObjectHandle>();
  const Variant fso = CallByName(*first, "fsoHandle", DISPATCH_PROPERTYGET);
  ASSERT_TRUE(fso.IsObject());
  EXPECT_NE(fso.object(), CallByName(*second, "fsoHandle", DISPATCH_PROPERTYGET).object());
  automation::Object& object = automation::RequireObject(fso);
  EXPECT_EQ(CallByName(object, "FolderExists", DISPATCH_METHOD, {Variant(prefix.path().string())}),
            Variant(true));
  EXPECT_EQ(CallByName(object, "FileExists", DISPATCH_METHOD,
                       {Variant((prefix.path() / "none.txt").string())}),
            Variant(false));

  // Set and Let replace it.
  CallByName(*first, "fsoHandle", DISPATCH_PROPERTYPUTREF, {Variant::Nothing()});
  EXPECT_TRUE(CallByName(*first, "fsoHandle", DISPATCH_PROPERTYGET).IsNothing());
  CallByName(*first, "fsoHandle", DISPATCH_PROPERTYPUT, {Variant("c:\\")});
  EXPECT_EQ(CallByName(*first, "fsoHandle", DISPATCH_PROPERTYGET), Variant("c:\\"));
}

}  // namespace
}  // namespace norwin::datalayer
