// Scripting.FileSystemObject over a real folder tree that a drive letter of
// a temporary prefix stands for, reached with Windows paths.
#include "norwin/automation/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "automation/support/error_number.h"
#include "norwin/automation/activation.h"
#include "norwin/automation/dispatch.h"
#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::automation {
namespace {

namespace fs = std::filesystem;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;
using testing::ErrNumberOf;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ResetDrivesForTesting();
    fs::create_directories(prefix_.path() / "drives");
    fs::create_directory_symlink(disc_.path(), prefix_.path() / "drives" / "d");
    fs::create_directories(disc_.path() / "Course" / "Data" / "Sub");
    Write("Course/Data/Roster.XML", "<r/>\n");
    Write("Course/Data/b.txt", "bb");
    Write("Course/Data/A.txt", "a");
    Write("Course/Data/.hidden", "");
    Ref<Object> object = CreateObject("Scripting.FileSystemObject");
    fso_ = Ref<FileSystemObject>(dynamic_cast<FileSystemObject*>(object.get()));
    ASSERT_TRUE(fso_);
  }
  void TearDown() override { platform::ResetDrivesForTesting(); }

  void Write(const std::string& relative, const std::string& bytes) {
    std::ofstream(disc_.path() / relative, std::ios::binary) << bytes;
  }
  fs::path Native(const std::string& relative) { return disc_.path() / relative; }
  Variant Call(std::string_view name, std::initializer_list<Variant> args) {
    return CallByName(*fso_, name, DISPATCH_METHOD, args);
  }

  TempPrefix prefix_;
  TempDir disc_;
  Ref<FileSystemObject> fso_;
};

TEST_F(FileSystemTest, FindsFilesAndFoldersWithoutRegardToCase) {
  EXPECT_EQ(Call("FileExists", {Variant("d:\\course\\data\\roster.xml")}), Variant(true));
  EXPECT_EQ(Call("FileExists", {Variant("D:/COURSE/DATA/ROSTER.XML")}), Variant(true));
  EXPECT_EQ(Call("FolderExists", {Variant("d:\\course\\DATA")}), Variant(true));
  EXPECT_EQ(Call("FileExists", {Variant("d:\\course\\data")}), Variant(false));
  EXPECT_EQ(Call("FolderExists", {Variant("d:\\course\\data\\roster.xml")}), Variant(false));
  EXPECT_EQ(Call("FileExists", {Variant("d:\\course\\data\\nothing.xml")}), Variant(false));
  EXPECT_EQ(Call("FileExists", {Variant("q:\\course")}), Variant(false));  // no such drive
  EXPECT_EQ(Call("FileExists", {Variant("")}), Variant(false));

  Ref<File> file = fso_->GetFile("d:\\course\\data\\roster.xml");
  EXPECT_EQ(file->Name(), "Roster.XML");  // the name on disk
  EXPECT_EQ(file->native_path(), Native("Course/Data/Roster.XML"));
  EXPECT_EQ(file->Path(), "d:\\Course\\Data\\Roster.XML");
  EXPECT_EQ(file->Size(), Variant(5));
  // The modification time, in local time.
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file->native_path().c_str(), times, 0), 0);
  time_t seconds = 1'700'000'000;
  struct tm local;
  localtime_r(&seconds, &local);
  const DateParts parts = SplitDate(file->DateLastModified());
  EXPECT_EQ(parts.year, local.tm_year + 1900);
  EXPECT_EQ(parts.day, local.tm_mday);
  EXPECT_EQ(parts.minute, local.tm_min);
  EXPECT_EQ(parts.second, local.tm_sec);

  Ref<Folder> folder = fso_->GetFolder("D:\\COURSE\\data\\");
  EXPECT_EQ(folder->Name(), "Data");
  EXPECT_EQ(folder->Path(), "d:\\Course\\Data");
  EXPECT_EQ(ToString(Variant(folder)), "d:\\Course\\Data");  // Path is the default

  EXPECT_EQ(ErrNumberOf([&] { Call("GetFile", {Variant("d:\\course\\data\\none.xml")}); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { Call("GetFile", {Variant("d:\\course\\data")}); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { Call("GetFolder", {Variant("d:\\course\\none")}); }), 76);
  EXPECT_EQ(ErrNumberOf([&] { Call("GetFolder", {Variant("q:\\")}); }), 76);
  EXPECT_EQ(ErrNumberOf([&] { Call("GetFolder", {Variant("")}); }), 5);
}

TEST_F(FileSystemTest, FilesOfAFolder) {
  Write("Course/Data/ROSTER.xml", "other case");  // only case tells it apart
  Ref<Folder> folder = fso_->GetFolder("d:\\course\\data");
  Variant files_value = CallByName(*folder, "Files", DISPATCH_PROPERTYGET);
  Object& files = RequireObject(files_value);
  EXPECT_EQ(CallByName(files, "Count", DISPATCH_PROPERTYGET), Variant(5));  // not Sub
  std::string names;
  for (const Variant& item : Enumerate(files)) {
    names += ToString(CallByName(RequireObject(item), "Name", DISPATCH_PROPERTYGET)) + ",";
  }
  EXPECT_EQ(names, ".hidden,A.txt,b.txt,ROSTER.xml,Roster.XML,");
  Variant b = CallByName(files, "Item", DISPATCH_METHOD, {Variant("B.TXT")});
  EXPECT_EQ(CallByName(RequireObject(b), "Size", DISPATCH_PROPERTYGET), Variant(2));
  EXPECT_EQ(ErrNumberOf([&] { fso_->GetFolder("d:\\course\\none")->Files(); }), 76);
}

TEST_F(FileSystemTest, AttributesCarryTheReadOnlyLock) {
  Ref<File> file = fso_->GetFile("d:\\course\\data\\roster.xml");
  EXPECT_EQ(file->Attributes(), kAttributeArchive);
  CallByName(*file, "Attributes", DISPATCH_PROPERTYPUT, {Variant(kAttributeReadOnly)});
  struct stat st;
  ASSERT_EQ(stat(file->native_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // nobody may write it
  EXPECT_EQ(CallByName(*file, "Attributes", DISPATCH_PROPERTYGET),
            Variant(kAttributeReadOnly | kAttributeArchive));
  // Another object on the same file sees the lock: it is the file's state.
  EXPECT_EQ(fso_->GetFile("D:\\Course\\Data\\Roster.xml")->Attributes() & kAttributeReadOnly, 1);
  file->SetAttributes(file->Attributes() & ~kAttributeReadOnly);
  ASSERT_EQ(stat(file->native_path().c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(file->Attributes(), kAttributeArchive);

  EXPECT_EQ(fso_->GetFile("d:\\course\\data\\.hidden")->Attributes(),
            kAttributeHidden | kAttributeArchive);
  fs::remove(file->native_path());
  EXPECT_EQ(ErrNumberOf([&] { file->Attributes(); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { file->SetAttributes(0); }), 53);
}

TEST_F(FileSystemTest, DeletingFiles) {
  EXPECT_EQ(ErrNumberOf([&] { Call("DeleteFile", {Variant("d:\\course\\data\\none")}); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { Call("DeleteFile", {Variant("d:\\course\\data")}); }), 53);

  fso_->GetFile("d:\\course\\data\\roster.xml")->SetAttributes(kAttributeReadOnly);
  EXPECT_EQ(ErrNumberOf([&] { Call("DeleteFile", {Variant("d:\\course\\data\\roster.xml")}); }),
            70);
  EXPECT_TRUE(fs::exists(Native("Course/Data/Roster.XML")));
  Call("DeleteFile", {Variant("d:\\course\\data\\roster.xml"), Variant(true)});
  EXPECT_FALSE(fs::exists(Native("Course/Data/Roster.XML")));

  // Wildcards in the last part, without regard to case; folders are left.
  Write("Course/Data/c.TXT", "c");
  Write("Course/Data/keep.xml", "k");
  Call("DeleteFile", {Variant("d:\\course\\data\\*.txt")});
  EXPECT_FALSE(fs::exists(Native("Course/Data/A.txt")));
  EXPECT_FALSE(fs::exists(Native("Course/Data/b.txt")));
  EXPECT_FALSE(fs::exists(Native("Course/Data/c.TXT")));
  EXPECT_TRUE(fs::exists(Native("Course/Data/keep.xml")));
  EXPECT_TRUE(fs::exists(Native("Course/Data/Sub")));
  EXPECT_EQ(ErrNumberOf([&] { Call("DeleteFile", {Variant("d:\\course\\data\\*.txt")}); }), 53);
  Call("DeleteFile", {Variant("d:\\course\\data\\k?ep.*")});
  EXPECT_FALSE(fs::exists(Native("Course/Data/keep.xml")));

  Ref<File> hidden = fso_->GetFile("d:\\course\\data\\.hidden");
  CallByName(*hidden, "Delete", DISPATCH_METHOD);
  EXPECT_FALSE(fs::exists(hidden->native_path()));
}

TEST_F(FileSystemTest, CreatingFolders) {
  Ref<Folder> made = fso_->CreateFolder("d:\\course\\data\\New Folder");
  EXPECT_TRUE(fs::is_directory(Native("Course/Data/New Folder")));
  EXPECT_EQ(made->Path(), "d:\\Course\\Data\\New Folder");
  EXPECT_EQ(ErrNumberOf([&] { Call("CreateFolder", {Variant("d:\\course\\DATA\\new folder")}); }),
            58);
  EXPECT_EQ(ErrNumberOf([&] { Call("CreateFolder", {Variant("d:\\course\\data\\a.txt")}); }), 58);
  EXPECT_EQ(ErrNumberOf([&] { Call("CreateFolder", {Variant("d:\\none\\x")}); }), 76);
}

TEST_F(FileSystemTest, PathFunctionsWorkOnTheText) {
  struct Case {
    const char* path;
    const char* file_name;
    const char* base_name;
    const char* extension;
    const char* parent;
  };
  for (const Case& c : {
           Case{"c:\\data\\roster.xml", "roster.xml", "roster", "xml", "c:\\data"},
           Case{"c:\\data\\archive.tar.gz", "archive.tar.gz", "archive.tar", "gz", "c:\\data"},
           Case{"c:/data/sub/", "sub", "sub", "", "c:/data"},
           Case{"c:\\data", "data", "data", "", "c:\\"},
           Case{"c:\\", "", "", "", ""},
           Case{"c:", "", "", "", ""},
           Case{"c:name.txt", "name.txt", "name", "txt", "c:"},
           Case{"name", "name", "name", "", ""},
           Case{"\\\\server\\share\\x.doc", "x.doc", "x", "doc", "\\\\server\\share"},
           Case{"", "", "", "", ""},
       }) {
    EXPECT_EQ(fso_->GetFileName(c.path), c.file_name) << c.path;
    EXPECT_EQ(fso_->GetBaseName(c.path), c.base_name) << c.path;
    EXPECT_EQ(fso_->GetExtensionName(c.path), c.extension) << c.path;
    EXPECT_EQ(fso_->GetParentFolderName(c.path), c.parent) << c.path;
  }
  EXPECT_EQ(Call("BuildPath", {Variant("c:\\data"), Variant("x.xml")}), Variant("c:\\data\\x.xml"));
  EXPECT_EQ(fso_->BuildPath("c:\\data\\", "x.xml"), "c:\\data\\x.xml");
  EXPECT_EQ(fso_->BuildPath("c:\\data\\", "\\x.xml"), "c:\\data\\x.xml");
  EXPECT_EQ(fso_->BuildPath("c:\\data", "/x.xml"), "c:\\data/x.xml");
  EXPECT_EQ(fso_->BuildPath("c:", "x.xml"), "c:x.xml");
  EXPECT_EQ(fso_->BuildPath("", "x.xml"), "x.xml");
  EXPECT_EQ(fso_->BuildPath("c:\\data", ""), "c:\\data");
}

}  // namespace
}  // namespace norwin::automation
