// Text files through Scripting.FileSystemObject: reading the line ends and
// encodings of both systems, writing CR LF lines whole.
#include "norwin/automation/text_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "automation/support/error_number.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/file_system.h"
#include "norwin/platform/drives.h"
#include "support/temp_prefix.h"

namespace norwin::automation {
namespace {

namespace fs = std::filesystem;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;
using testing::ErrNumberOf;

class TextStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ResetDrivesForTesting();
    fs::create_directories(prefix_.path() / "drives");
    fs::create_directory_symlink(disc_.path(), prefix_.path() / "drives" / "d");
    fs::create_directories(disc_.path() / "Notes");
  }
  void TearDown() override { platform::ResetDrivesForTesting(); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(disc_.path() / "Notes" / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(disc_.path() / "Notes" / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  Ref<TextStream> Open(const std::string& name, int32_t mode = kForReading, bool create = false,
                       int32_t format = kTristateFalse) {
    return fso_->OpenTextFile("d:\\notes\\" + name, mode, create, format);
  }

  TempPrefix prefix_;
  TempDir disc_;
  Ref<FileSystemObject> fso_ = MakeRef<FileSystemObject>();
};

TEST_F(TextStreamTest, ReadsLinesEndedEitherWay) {
  Write("mixed.txt", "first\r\nsecond\nthird\r\n\r\nlast");
  Ref<TextStream> in = Open("MIXED.TXT");
  EXPECT_FALSE(in->AtEndOfStream());
  EXPECT_EQ(in->ReadLine(), "first");
  EXPECT_EQ(in->Line(), 2);
  EXPECT_EQ(in->ReadLine(), "second");
  EXPECT_EQ(in->Read(2), "th");
  EXPECT_EQ(in->Column(), 3);
  EXPECT_FALSE(in->AtEndOfLine());
  EXPECT_EQ(in->ReadLine(), "ird");
  EXPECT_TRUE(in->AtEndOfLine());  // an empty line
  in->SkipLine();
  EXPECT_EQ(in->ReadLine(), "last");  // no line end at the end
  EXPECT_TRUE(in->AtEndOfStream());
  EXPECT_EQ(ErrNumberOf([&] { in->ReadLine(); }), 62);
  EXPECT_EQ(ErrNumberOf([&] { in->ReadAll(); }), 62);
  EXPECT_EQ(ErrNumberOf([&] { in->Read(1); }), 62);
  // A lone CR is no line end.
  Write("cr.txt", "a\rb\n");
  EXPECT_EQ(Open("cr.txt")->ReadLine(), "a\rb");

  // Through dispatch, as page script reads: ReadAll keeps the line ends.
  Ref<TextStream> all = Open("mixed.txt");
  EXPECT_EQ(CallByName(*all, "ReadAll", DISPATCH_METHOD),
            Variant("first\r\nsecond\nthird\r\n\r\nlast"));
  EXPECT_EQ(CallByName(*all, "AtEndOfStream", DISPATCH_PROPERTYGET), Variant(true));
  CallByName(*all, "Close", DISPATCH_METHOD);
  EXPECT_EQ(ErrNumberOf([&] { all->ReadLine(); }), 52);
  all->Close();  // twice is nothing

  // An empty file is at its end at once; ReadAll raises there, as the
  // original runtime does.
  Write("empty.txt", "");
  Ref<TextStream> empty = Open("empty.txt");
  EXPECT_TRUE(empty->AtEndOfStream());
  EXPECT_EQ(ErrNumberOf([&] { empty->ReadAll(); }), 62);
}

TEST_F(TextStreamTest, ReadsTheEncodingsOfBothSystems) {
  Write("utf8.txt",
        "\xEF\xBB\xBF"
        "caf\xC3\xA9 \xE2\x82\xAC\r\n");
  Ref<TextStream> utf8 = Open("utf8.txt");
  EXPECT_EQ(utf8->Read(4), "café");  // characters, not bytes; the mark dropped
  EXPECT_EQ(utf8->ReadLine(), " €");
  // Not UTF-8: the code page of the original system.
  Write("ansi.txt", "caf\xE9 \x80\r\nna\xEFve");
  Ref<TextStream> ansi = Open("ansi.txt");
  EXPECT_EQ(ansi->ReadLine(), "café €");
  EXPECT_EQ(ansi->ReadLine(), "naïve");
  // UTF-16 with its mark, found by the mark or asked for.
  const std::string utf16(
      "\xFF\xFE"
      "a\0\xE9\0\r\0\n\0"
      "=\xD8\0\xDE",
      14);  // a é, U+1F600
  Write("wide.txt", utf16);
  Ref<TextStream> wide = Open("wide.txt");
  EXPECT_EQ(wide->ReadLine(), "aé");
  EXPECT_EQ(wide->ReadLine(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Open("wide.txt", kForReading, false, kTristateTrue)->ReadLine(), "aé");
}

TEST_F(TextStreamTest, WritesCrLfLinesWholeOnClose) {
  Write("old.txt", "old content");
  Ref<TextStream> out = fso_->CreateTextFile("d:\\notes\\OLD.txt", true, false);
  CallByName(*out, "WriteLine", DISPATCH_METHOD, {Variant("first")});
  CallByName(*out, "Write", DISPATCH_METHOD, {Variant("caf\xC3\xA9")});
  EXPECT_EQ(out->Column(), 5);
  CallByName(*out, "WriteLine", DISPATCH_METHOD);
  CallByName(*out, "WriteBlankLines", DISPATCH_METHOD, {Variant(2)});
  EXPECT_EQ(out->Line(), 5);
  // Until the stream is closed the old content stays whole.
  EXPECT_EQ(Read("old.txt"), "old content");
  EXPECT_EQ(ErrNumberOf([&] { out->ReadLine(); }), 54);
  out->Close();
  EXPECT_EQ(Read("old.txt"), "first\r\ncaf\xC3\xA9\r\n\r\n\r\n");
  EXPECT_EQ(ErrNumberOf([&] { out->Write("x"); }), 52);

  // A new file exists from the moment it is opened.
  Ref<TextStream> fresh = fso_->CreateTextFile("d:\\notes\\new.txt", false, false);
  EXPECT_TRUE(fs::exists(disc_.path() / "Notes" / "new.txt"));
  EXPECT_EQ(ErrNumberOf([&] { fso_->CreateTextFile("d:\\notes\\NEW.TXT", false, false); }), 58);
  fresh->Write("x");
  fresh.reset();  // the last reference stores it
  EXPECT_EQ(Read("new.txt"), "x");

  // Unicode files are UTF-16 with the mark, and read back.
  Ref<TextStream> wide = fso_->CreateTextFile("d:\\notes\\wide.txt", true, true);
  wide->WriteLine("é");
  wide->Close();
  EXPECT_EQ(Read("wide.txt"), std::string("\xFF\xFE\xE9\0\r\0\n\0", 8));
  EXPECT_EQ(Open("wide.txt")->ReadLine(), "é");

  // Writing replaces; a stream for reading cannot write.
  Ref<TextStream> replace = Open("old.txt", kForWriting);
  replace->Write("replaced");
  replace->Close();
  EXPECT_EQ(Read("old.txt"), "replaced");
  EXPECT_EQ(ErrNumberOf([&] { Open("old.txt")->Write("x"); }), 54);
}

TEST_F(TextStreamTest, AppendingKeepsWhatIsThereInItsEncoding) {
  Write("log.txt", "line 1\r\n");
  Ref<TextStream> log = Open("log.txt", kForAppending);
  log->WriteLine("line 2");
  log->Close();
  EXPECT_EQ(Read("log.txt"), "line 1\r\nline 2\r\n");

  Write("ansi.txt", "caf\xE9\r\n");
  Ref<TextStream> ansi = Open("ansi.txt", kForAppending);
  ansi->WriteLine("na\xC3\xAFve \xE2\x98\x83");  // a snowman has no Windows-1252 byte
  ansi->Close();
  EXPECT_EQ(Read("ansi.txt"), "caf\xE9\r\nna\xEFve ?\r\n");

  // A missing file is made only when asked.
  EXPECT_EQ(ErrNumberOf([&] { Open("none.txt", kForAppending); }), 53);
  Ref<TextStream> made = Open("made.txt", kForAppending, true);
  made->Write("m");
  made->Close();
  EXPECT_EQ(Read("made.txt"), "m");
}

TEST_F(TextStreamTest, OpeningErrors) {
  Write("a.txt", "a");
  EXPECT_EQ(ErrNumberOf([&] { Open("none.txt"); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { Open("none.txt", kForWriting); }), 53);
  EXPECT_EQ(ErrNumberOf([&] { fso_->OpenTextFile("d:\\gone\\a.txt", 1, false, 0); }), 76);
  EXPECT_EQ(ErrNumberOf([&] { fso_->OpenTextFile("d:\\gone\\a.txt", 2, true, 0); }), 76);
  EXPECT_EQ(ErrNumberOf([&] { fso_->CreateTextFile("d:\\gone\\a.txt", true, false); }), 76);
  EXPECT_EQ(ErrNumberOf([&] { Open("a.txt", 3); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { Open("a.txt", kForReading, false, 7); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { fso_->OpenTextFile("d:\\notes", 1, false, 0); }), 70);
  // A read-only file is not written, whatever the mode.
  fso_->GetFile("d:\\notes\\a.txt")->SetAttributes(kAttributeReadOnly);
  EXPECT_EQ(ErrNumberOf([&] { Open("a.txt", kForWriting); }), 70);
  EXPECT_EQ(ErrNumberOf([&] { Open("a.txt", kForAppending); }), 70);
  EXPECT_EQ(ErrNumberOf([&] { fso_->CreateTextFile("d:\\notes\\a.txt", true, false); }), 70);
  EXPECT_EQ(Open("a.txt")->ReadAll(), "a");
  // Reading a missing file with create makes an empty one.
  EXPECT_TRUE(Open("blank.txt", kForReading, true)->AtEndOfStream());
  EXPECT_TRUE(fs::exists(disc_.path() / "Notes" / "blank.txt"));
  // The defaults through dispatch: reading, no create, text.
  Variant stream = CallByName(*fso_, "OpenTextFile", DISPATCH_METHOD, {Variant("d:/NOTES/a.txt")});
  EXPECT_EQ(CallByName(RequireObject(stream), "ReadLine", DISPATCH_METHOD), Variant("a"));
}

TEST_F(TextStreamTest, AFailedCloseLosesNothing) {
  Ref<TextStream> out = Open("kept.txt", kForWriting, true);
  out->WriteLine("precious");
  // The folder goes away before the stream is closed.
  fs::rename(disc_.path() / "Notes", disc_.path() / "Away");
  EXPECT_EQ(ErrNumberOf([&] { out->Close(); }), 76);
  fs::rename(disc_.path() / "Away", disc_.path() / "Notes");
  out->WriteLine("more");  // still open
  out->Close();
  EXPECT_EQ(Read("kept.txt"), "precious\r\nmore\r\n");
}

}  // namespace
}  // namespace norwin::automation
