#include "norwin/host/progress_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "norwin/host/program_folder.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/prompts.h"
#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

namespace fs = std::filesystem;
using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Get(ProgressStore& store, std::string_view name) {
  Result<std::optional<std::string>> value = store.Get(name);
  EXPECT_TRUE(value.ok()) << value.message();
  return value.ok() && *value ? **value : "<none>";
}

// A store on a folder of its own, as a program folder would be.
class ProgressFileTest : public ::testing::Test {
 protected:
  ProgressFileTest() : store_({.program_folder = folder_.path()}) {
    platform::ResetDrivesForTesting();
  }
  ~ProgressFileTest() override { platform::ResetDrivesForTesting(); }

  fs::path File() const { return folder_.path() / "tck.txt"; }

  TempPrefix prefix_;
  TempDir folder_;
  ProgressStore store_;
};

TEST_F(ProgressFileTest, CookiesByExactNameNewestFirst) {
  EXPECT_EQ(Get(store_, "a"), "<none>");  // no file yet
  ASSERT_TRUE(store_.Set("ab", "1").ok());
  EXPECT_EQ(Get(store_, "b"), "<none>");
  ASSERT_TRUE(store_.Set("b", "2").ok());
  EXPECT_EQ(ReadBytes(File()), "ab=1\r\nb=2\r\n");
  ASSERT_TRUE(store_.Set("c", "3").ok());
  // An update moves the cookie to the top; the others keep their order.
  ASSERT_TRUE(store_.Set("b", " =20").ok());
  EXPECT_EQ(ReadBytes(File()), "b= =20\r\nab=1\r\nc=3\r\n");
  // Blanks and "=" at a value's start are not part of it.
  EXPECT_EQ(Get(store_, "b"), "20");

  ASSERT_TRUE(store_.AppendChip("seen", "ab").ok());
  ASSERT_TRUE(store_.AppendChip("seen", "b").ok());  // "b|~" is inside "ab|~"
  ASSERT_TRUE(store_.AppendChip("seen", "c").ok());
  EXPECT_EQ(Get(store_, "seen"), "ab|~c|~");
  EXPECT_EQ(ReadBytes(File()).substr(0, 14), "seen=ab|~c|~\r\n");

  // Every line of the name goes, also one added by hand.
  WriteBytes(File(), ReadBytes(File()) + "ab=again\n");
  ASSERT_TRUE(store_.Delete("ab").ok());
  EXPECT_EQ(ReadBytes(File()), "seen=ab|~c|~\r\nb= =20\r\nc=3\r\n");

  // A name with a line break would split the file; it is refused.
  EXPECT_FALSE(store_.Set("x\ny", "1").ok());
  EXPECT_FALSE(store_.AppendChip("x\r", "1").ok());
  EXPECT_EQ(Get(store_, "x\ny"), "<none>");
  EXPECT_EQ(ReadBytes(File()), "seen=ab|~c|~\r\nb= =20\r\nc=3\r\n");

  // Deleting never creates the file.
  fs::remove(File());
  ASSERT_TRUE(store_.Delete("seen").ok());
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(ProgressFileTest, LineBreaksAndFilesFromWindows) {
  ASSERT_TRUE(store_.Set("t", "one\r\ntwo\r\n").ok());
  EXPECT_EQ(Get(store_, "t"), "one\r\ntwo\r\n");
  // Script here writes line breaks as LF alone; they must not end the line.
  ASSERT_TRUE(store_.Set("u", "one\ninjected=1").ok());
  EXPECT_EQ(Get(store_, "u"), "one\r\ninjected=1");
  EXPECT_EQ(Get(store_, "injected"), "<none>");
  EXPECT_EQ(ReadBytes(File()), "t=one\r\rtwo\r\r\r\nu=one\r\rinjected=1\r\n");

  // A file exported by the Windows program: CR LF line ends and
  // Windows-1252 text ("é" is the byte E9).
  WriteBytes(File(), "name=Ren\xe9\r\nnote=a\r\rb\r\r\r\nlist=x|~\r\n");
  EXPECT_EQ(Get(store_, "name"), "Ren\u00e9");
  EXPECT_EQ(Get(store_, "note"), "a\r\nb\r\n");
  ASSERT_TRUE(store_.AppendChip("list", "y").ok());
  ASSERT_TRUE(store_.Set("name", "Zo\u00e9").ok());
  EXPECT_EQ(ReadBytes(File()), "name=Zo\u00e9\r\nlist=x|~y|~\r\nnote=a\r\rb\r\r\r\n");
  EXPECT_EQ(Get(store_, "note"), "a\r\nb\r\n");

  // Lines far beyond the Windows program's 4095 characters, and garbage.
  const std::string long_value(100000, 'z');
  WriteBytes(File(), std::string("\0\xff\xfe=\r\r\n\n=\n|~\x01", 13));
  ASSERT_TRUE(store_.Set("long", long_value).ok());
  EXPECT_EQ(Get(store_, "long"), long_value);
  EXPECT_EQ(Get(store_, ""), "");
  ASSERT_TRUE(store_.Delete("long").ok());
  EXPECT_EQ(ReadBytes(File()), std::string("\0\xff\xfe=\r\r\n\n=\n|~\x01\r\n", 15));
}

TEST_F(ProgressFileTest, FolderFromThePathValue) {
  // Drive d: is a folder of the test, like a disc in a drive.
  TempDir disc;
  fs::create_directories(platform::DrivesDir());
  fs::create_directory_symlink(disc.path(), platform::DrivesDir() / "d");
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  ASSERT_TRUE(registry.ok()) << registry.message();
  const std::string key = "HKEY_CURRENT_USER\\Software\\Course";
  auto set_path = [&](std::string text) {
    ASSERT_TRUE((*registry)->SetValue(key, "Path", platform::RegValue::String(text)).ok());
  };

  // Without a key, or while the key has no "Path", the program's folder.
  store_.SetKey("Software\\Course");
  ASSERT_TRUE(store_.Set("where", "program").ok());
  EXPECT_EQ(ReadBytes(File()), "where=program\r\n");

  set_path("D:\\Course\\Data");
  ASSERT_TRUE(store_.Set("where", "disc").ok());
  EXPECT_EQ(Names(disc.path()), std::vector<std::string>{"course"});
  EXPECT_EQ(ReadBytes(disc.path() / "course" / "data" / "tck.txt"), "where=disc\r\n");
  EXPECT_EQ(platform::CurrentDrive(), 'd');
  EXPECT_EQ(platform::CurrentDirectory(), "d:\\course\\data");
  EXPECT_EQ(Get(store_, "where"), "disc");

  // Existing folders are found whatever their case; the drive's root first.
  fs::create_directories(disc.path() / "Other" / "Place");
  set_path("d:\\OTHER\\place\\");
  ASSERT_TRUE(platform::SetCurrentDirectory("d:\\course").ok());
  ASSERT_TRUE(store_.Set("where", "other").ok());
  EXPECT_EQ(ReadBytes(disc.path() / "Other" / "Place" / "tck.txt"), "where=other\r\n");
  EXPECT_EQ(Names(disc.path()), (std::vector<std::string>{"Other", "course"}));

  // Without a drive letter: the current drive, from its root.
  set_path("\\third");
  ASSERT_TRUE(store_.Set("where", "third").ok());
  EXPECT_EQ(ReadBytes(disc.path() / "third" / "tck.txt"), "where=third\r\n");

  // A value that cannot be a path counts as missing.
  set_path("d:\\x:y");
  EXPECT_EQ(Get(store_, "where"), "program");
  set_path("d:\\" + std::string(300, 'x'));
  EXPECT_EQ(Get(store_, "where"), "program");
  ASSERT_TRUE((*registry)->SetValue(key, "Path", platform::RegValue::Dword(4)).ok());
  EXPECT_EQ(Get(store_, "where"), "program");

  // A drive that is not there fails the operations rather than writing
  // elsewhere.
  set_path("q:\\course");
  EXPECT_FALSE(store_.Set("where", "nowhere").ok());
  EXPECT_FALSE(store_.Get("where").ok());

  store_.SetKey("");
  EXPECT_EQ(Get(store_, "where"), "program");
}

TEST_F(ProgressFileTest, ReadsFollowTheKeyTheRegistryTheDriveLinksAndTheCurrentFolder) {
  // Reads keep what they resolved; each thing it came from, changed, applies
  // at the next read.
  TempDir first, second;
  fs::create_directories(platform::DrivesDir());
  fs::create_directory_symlink(first.path(), platform::DrivesDir() / "d");
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  ASSERT_TRUE(registry.ok()) << registry.message();
  auto set_path = [&](std::string text) {
    ASSERT_TRUE((*registry)
                    ->SetValue("HKEY_CURRENT_USER\\Software\\Course", "Path",
                               platform::RegValue::String(text))
                    .ok());
  };
  set_path("d:\\p");
  store_.SetKey("Software\\Course");
  ASSERT_TRUE(store_.Set("where", "first p").ok());
  EXPECT_EQ(Get(store_, "where"), "first p");

  set_path("d:\\q");  // by another connection, as another program would
  fs::create_directories(first.path() / "q");
  WriteBytes(first.path() / "q" / "tck.txt", "where=first q\r\n");
  EXPECT_EQ(Get(store_, "where"), "first q");

  // The link of d: replaced, as a disc changes.
  fs::create_directories(second.path() / "q");
  WriteBytes(second.path() / "q" / "tck.txt", "where=second q\r\n");
  fs::create_directory_symlink(second.path(), platform::DrivesDir() / "d.new");
  fs::rename(platform::DrivesDir() / "d.new", platform::DrivesDir() / "d");
  EXPECT_EQ(Get(store_, "where"), "second q");

  // Another part of the program moved the current folder: the read makes
  // the progress folder current again, as a fresh resolution does.
  ASSERT_TRUE(platform::SetCurrentDirectory("c:\\").ok());
  EXPECT_EQ(Get(store_, "where"), "second q");
  EXPECT_EQ(platform::CurrentDirectory(), "d:\\q");

  store_.SetKey("");
  EXPECT_EQ(Get(store_, "where"), "<none>");
}

// Makes `prompts` the process's prompts while it lives.
class ScopedPrompts {
 public:
  explicit ScopedPrompts(std::unique_ptr<platform::Prompts> prompts) {
    platform::SetPromptsForTesting(std::move(prompts));
  }
  ~ScopedPrompts() { platform::SetPromptsForTesting(nullptr); }
};

// Answers for the scripted prompts, each set in a file of its own (the
// prompts start again from the top of a new file).
class Answers {
 public:
  explicit Answers(const fs::path& folder)
      : folder_(folder), env_("NORWIN_PROMPTS", (folder / "none").string()) {}
  void Script(std::string_view lines) {
    const fs::path file = folder_ / ("answers-" + std::to_string(++count_) + ".txt");
    WriteBytes(file, lines);
    setenv("NORWIN_PROMPTS", file.c_str(), 1);
  }

 private:
  fs::path folder_;
  ScopedEnv env_;
  int count_ = 0;
};

// The scripted prompts, with every chooser request kept for the test.
class RecordingPrompts : public platform::Prompts {
 public:
  struct Chooser {
    bool save = false;
    std::string filter, initial_folder, initial_name;
    int filter_index = 0;
    uint32_t flags = 0;
  };

  platform::PromptsKind kind() const override { return inner_->kind(); }
  int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) override {
    return inner_->MessageBox(text, caption, flags);
  }
  void Beep(uint32_t sound) override { inner_->Beep(sound); }
  std::optional<std::string> ChooseOpenFile(const platform::FileChooserRequest& request) override {
    Keep(false, request);
    return inner_->ChooseOpenFile(request);
  }
  std::optional<std::string> ChooseSaveFile(const platform::FileChooserRequest& request) override {
    Keep(true, request);
    return inner_->ChooseSaveFile(request);
  }
  std::optional<platform::PrintChoice> ChoosePrinter(
      const platform::PrintDialogRequest& request) override {
    return inner_->ChoosePrinter(request);
  }

  std::vector<Chooser> choosers;

 private:
  void Keep(bool save, const platform::FileChooserRequest& request) {
    choosers.push_back({save, std::string(request.filter), std::string(request.initial_folder),
                        std::string(request.initial_name), request.filter_index, request.flags});
  }
  std::unique_ptr<platform::Prompts> inner_ =
      platform::MakeScriptedPrompts(platform::PromptFilesSource::kFromEnvironment);
};

TEST_F(ProgressFileTest, WindowsAndUtf8LinesSideBySide) {
  // Lines from the Windows program (Windows-1252, "é" is the byte E9)
  // beside lines written here (UTF-8): every operation finds both.
  WriteBytes(File(), "caf\xe9=1\r\nna\xc3\xafve=2\r\nlist=\xe9|~\r\n\xe9t\xe9=x\r\n");
  EXPECT_EQ(Get(store_, "caf\u00e9"), "1");
  EXPECT_EQ(Get(store_, "na\u00efve"), "2");
  ASSERT_TRUE(store_.Set("caf\u00e9", "3").ok());
  ASSERT_TRUE(store_.AppendChip("list", "\u00fc").ok());
  ASSERT_TRUE(store_.Delete("\u00e9t\u00e9").ok());
  EXPECT_EQ(ReadBytes(File()), "list=\u00e9|~\u00fc|~\r\ncaf\u00e9=3\r\nna\u00efve=2\r\n");

  // Export, then import of the copy, gives back every value exactly.
  WriteBytes(File(), "caf\xe9=\xe0 bient\xf4t\r\nna\xc3\xafve=\xc3\xa0\r\n");
  TempDir elsewhere;
  Answers answers(elsewhere.path());
  ScopedEnv log_env("NORWIN_PROMPT_LOG", (elsewhere.path() / "prompts.log").string());
  const fs::path copy = elsewhere.path() / "copy.txt";
  answers.Script("Yes\n" + copy.string() + "\nYes\n" + copy.string() + "\n");
  ProgressWindowState window;
  ProgressStore::StoreSavePrompt(window, "Save?");
  ASSERT_TRUE(store_.Export(window).ok());
  ASSERT_TRUE(store_.Set("caf\u00e9", "changed").ok());
  ASSERT_TRUE(store_.Import(window, "Load?").ok());
  EXPECT_EQ(Get(store_, "caf\u00e9"), "\u00e0 bient\u00f4t");
  EXPECT_EQ(Get(store_, "na\u00efve"), "\u00e0");
}

TEST_F(ProgressFileTest, ExportAndImportThroughTheChoosers) {
  TempDir elsewhere;
  Answers answers(elsewhere.path());
  const fs::path log = elsewhere.path() / "prompts.log";
  ScopedEnv log_env("NORWIN_PROMPT_LOG", log.string());
  auto owned = std::make_unique<RecordingPrompts>();
  RecordingPrompts& prompts = *owned;
  ScopedPrompts scoped(std::move(owned));

  ASSERT_TRUE(store_.Set("score", "90").ok());
  const std::string content = ReadBytes(File());
  ProgressWindowState window;
  const fs::path copy = elsewhere.path() / "copy.txt";

  // Without a save prompt nothing is asked.
  ASSERT_TRUE(store_.Export(window).ok());
  EXPECT_FALSE(fs::exists(log));

  ProgressStore::StoreSavePrompt(window, "Save your progress?");
  answers.Script("No\nYes\n\nYes\n" + copy.string() + "\n");
  ASSERT_TRUE(store_.Export(window).ok());  // No
  ASSERT_TRUE(store_.Export(window).ok());  // Yes, then cancel
  EXPECT_FALSE(fs::exists(copy));
  ASSERT_TRUE(store_.Export(window).ok());
  EXPECT_EQ(ReadBytes(copy), content);
  const std::string filter("Progress Files (*.txt)\0*.txt\0", 29);
  EXPECT_EQ(ReadBytes(log),
            "Lumo\tSave your progress?\t0x44\tNo\n"
            "Lumo\tSave your progress?\t0x44\tYes\n"
            "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t\n"
            "Lumo\tSave your progress?\t0x44\tYes\n"
            "SAVE\tProgress Files (*.txt)\\0*.txt\\0\t" +
                copy.string() + "\n");
  ASSERT_EQ(prompts.choosers.size(), 2u);
  EXPECT_TRUE(prompts.choosers[1].save);
  EXPECT_EQ(prompts.choosers[1].filter, filter);
  EXPECT_EQ(prompts.choosers[1].filter_index, 1);
  EXPECT_EQ(prompts.choosers[1].flags, 0x806u);
  EXPECT_EQ(prompts.choosers[1].initial_name, "tck.txt");
  EXPECT_EQ(prompts.choosers[1].initial_folder, folder_.path().string());

  // Import: a file from the Windows program replaces the progress file
  // whole, converted to UTF-8; its folder is where the next export opens.
  const fs::path imported = elsewhere.path() / "from-windows.txt";
  WriteBytes(imported, "name=Ren\xe9\r\nscore=75\r\n");
  answers.Script("No\nYes\n" + imported.string() + "\nYes\n" + copy.string() + "\n");
  ASSERT_TRUE(store_.Import(window, "Load progress?").ok());
  EXPECT_EQ(ReadBytes(File()), content);
  ASSERT_TRUE(store_.Import(window, "Load progress?").ok());
  EXPECT_EQ(ReadBytes(File()), "name=Ren\u00e9\r\nscore=75\r\n");
  EXPECT_EQ(Get(store_, "score"), "75");
  EXPECT_EQ(window.last_folder, elsewhere.path().string() + "/");
  ASSERT_EQ(prompts.choosers.size(), 3u);
  EXPECT_FALSE(prompts.choosers[2].save);
  EXPECT_EQ(prompts.choosers[2].flags, 0x5804u);
  EXPECT_EQ(prompts.choosers[2].initial_name, "");
  EXPECT_EQ(prompts.choosers[2].initial_folder, folder_.path().string());
  ASSERT_TRUE(store_.Export(window).ok());
  ASSERT_EQ(prompts.choosers.size(), 4u);
  EXPECT_EQ(prompts.choosers[3].initial_folder, window.last_folder);
  EXPECT_EQ(ReadBytes(copy), "name=Ren\u00e9\r\nscore=75\r\n");
}

// Runs `body` in a child process whose files may not grow beyond `limit`
// bytes, as on a full disk; returns whether the child reported success.
template <typename Body>
bool InChildWithFileLimit(rlim_t limit, Body body) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
    const rlimit small{limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProgressFileTest, FailedWritesLeaveTheOldFile) {
  for (int i = 0; i < 50; ++i)
    ASSERT_TRUE(store_.Set("answer" + std::to_string(i), "value " + std::to_string(i)).ok());
  const std::string before = ReadBytes(File());
  const std::vector<std::string> names = Names(folder_.path());

  // The disk fills up halfway through the new content.
  const std::string big(before.size() * 4, 'x');
  EXPECT_TRUE(InChildWithFileLimit(before.size() * 2, [&] {
    return !store_.Set("essay", big).ok() && !store_.AppendChip("answer7", big).ok();
  }));
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(Names(folder_.path()), names);  // no temporary file left behind

  TempDir elsewhere;
  const fs::path large = elsewhere.path() / "large.txt";
  WriteBytes(large, "x=" + big + "\r\n");
  Answers answers(elsewhere.path());
  answers.Script("Yes\n" + large.string() + "\n");
  ScopedEnv log_env("NORWIN_PROMPT_LOG", (elsewhere.path() / "log.txt").string());
  {
    ScopedPrompts scoped(
        platform::MakeScriptedPrompts(platform::PromptFilesSource::kFromEnvironment));
    EXPECT_TRUE(InChildWithFileLimit(before.size() * 2, [&] {
      ProgressWindowState window;
      return !store_.Import(window, "Load?").ok();
    }));
  }
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(Names(folder_.path()), names);

  // A progress file too large to read is never overwritten.
  const std::string huge = std::string(kMaxProgressFileBytes + 1, 'h');
  WriteBytes(File(), huge);
  EXPECT_FALSE(store_.Set("a", "1").ok());
  EXPECT_FALSE(store_.Get("a").ok());
  EXPECT_EQ(fs::file_size(File()), huge.size());

  // A folder the user may not write to (root may write anywhere).
  if (geteuid() != 0) {
    WriteBytes(File(), before);
    fs::permissions(folder_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(store_.Set("a", "1").ok());
    EXPECT_EQ(Get(store_, "answer3"), "value 3");
    fs::permissions(folder_.path(), fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(File()), before);
  }
}

TEST(ProgramFolderTest, ExecutableFolderOrThePrefix) {
  TempPrefix prefix;
  // The tests run from a build folder the user may write to.
  EXPECT_EQ(ProgramFolder(), fs::read_symlink("/proc/self/exe").parent_path());

  const fs::path fallback = prefix.path() / "lumo";
  EXPECT_EQ(ProgramFolderFor(prefix.path() / "not-there"), fallback);
  EXPECT_TRUE(fs::is_directory(fallback));
  if (geteuid() != 0) {
    TempDir installed;
    fs::permissions(installed.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(ProgramFolderFor(installed.path()), fallback);
    fs::permissions(installed.path(), fs::perms::owner_all);
  }
}

}  // namespace
}  // namespace norwin::host
