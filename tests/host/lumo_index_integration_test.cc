// lumo-index as a user runs it: the built program on a course folder, its
// index searched by the host's search service.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/support/course_drive.h"
#include "norwin/host/search.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/files.h"
#include "support/run_program.h"

namespace norwin::host {
namespace {

namespace fs = std::filesystem;

const std::string kProgram = std::string(NORWIN_BINARY_DIR) + "/bin/lumo-index";

using testing::ProgramRun;

// Runs lumo-index with `args`.
ProgramRun RunIndex(const std::vector<std::string>& args) {
  return testing::RunProgram(kProgram, args);
}

class LumoIndexTest : public ::testing::Test {
 protected:
  std::string Disc(const std::string& relative) const {
    return (drive_.root() / relative).string();
  }

  testing::CourseDrive drive_{'q'};
};

TEST_F(LumoIndexTest, BuildsAnIndexTheSearchFindsPagesWith) {
  drive_.Write("course/lesson1/Intro.htm",
               "<html><head><title>Cells &amp; Tissues</title></head>"
               "<body><h1>The cell</h1><p>Every cell has a <b>nucleus</b>.</p>"
               "<script>var notIndexed = 1;</script></body></html>");
  drive_.Write("course/lesson1/quiz.HTML",
               "<html><body><p>Quiz: what does the nucleus hold?</p></body></html>");
  drive_.Write("course/lesson2/caf\xC3\xA9.htm",
               "<title>Caf\xE9 culture</title><p>Cell phones in the caf\xE9</p>");  // Windows-1252
  drive_.Write("course/readme.txt", "cell");

  const ProgramRun run = RunIndex({"--root", Disc(""), Disc("course"), Disc("index/words.idx"),
                                   Disc("index/vectors.idx"), Disc("index/titles.idx")});
  // The output folder does not exist yet: nothing is written, the user is told.
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("lumo-index: cannot write " + Disc("index/words.idx")), std::string::npos)
      << run.err;

  fs::create_directory(drive_.root() / "index");
  const ProgramRun ok = RunIndex({"--root", Disc(""), Disc("course"), Disc("index/words.idx"),
                                  Disc("index/vectors.idx"), Disc("index/titles.idx")});
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.err, "");  // no progress when standard error is no terminal
  EXPECT_NE(ok.out.find("Indexed 3 pages"), std::string::npos) << ok.out;

  SearchService search('q');
  ASSERT_TRUE(
      search.ConfigureSearch("\\index\\words.idx", "\\index\\vectors.idx", "\\index\\titles.idx"));
  const std::string head =
      "<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n<LINK REL=stylesheet HREF=\"main.css\" "
      "TYPE=\"text/css\">\n</HEAD>\n<BODY  style=\"background-image: url(back.gif)\">\n"
      "<BR>\n<HR WIDTH=\"90%\"></CENTER>\n<BR>";
  const std::string intro =
      "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\course\\lesson1\\Intro.htm\">Cells & "
      "Tissues</A><BR>\n";
  const std::string quiz =
      "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\course\\lesson1\\quiz.HTML\">quiz.HTML</A><BR>\n";
  const std::string cafe =
      "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\course\\lesson2\\caf\xC3\xA9.htm\">Caf\xC3\xA9 "
      "culture</A><BR>\n";
  const std::string tail = "</BODY></HTML>";
  EXPECT_EQ(search.Search("cell"), head + intro + cafe + tail);
  EXPECT_EQ(search.Search("NUCLEUS"), head + intro + quiz + tail);
  EXPECT_EQ(search.Search("nucleus not cell"), head + quiz + tail);
  EXPECT_EQ(search.Search("Caf\xC3\x89 and phones"), head + cafe + tail);
  EXPECT_EQ(search.Search("notindexed readme"), head + "<B>No Matches Found</B>" + tail);

  // Every link leads to its page through the drive mapping.
  Result<fs::path> target = platform::ResolveWindowsPath("q:\\course\\lesson2\\caf\xC3\xA9.htm");
  ASSERT_TRUE(target.ok());
  EXPECT_TRUE(fs::equivalent(*target, drive_.root() / "course/lesson2/caf\xC3\xA9.htm"));

  // Built again after a change, the index follows the pages.
  drive_.Write("course/lesson1/quiz.HTML", "<title>Quiz</title>no more");
  ASSERT_EQ(RunIndex({"--root", Disc(""), Disc("course"), Disc("index/words.idx"),
                      Disc("index/vectors.idx"), Disc("index/titles.idx")})
                .status,
            0);
  EXPECT_EQ(search.Search("NUCLEUS"), head + intro + tail);
}

TEST_F(LumoIndexTest, ExplainsItsUseAndItsFailures) {
  const ProgramRun help = RunIndex({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(
      help.out.starts_with("Usage: lumo-index [--root DRIVE_ROOT] COURSE_FOLDER WORD_FILE "
                           "VECTOR_FILE TITLE_FILE\n"))
      << help.out;

  const ProgramRun missing = RunIndex({"nowhere/COURSE", Disc("w"), Disc("v"), Disc("t")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "lumo-index: cannot read nowhere/COURSE: No such file or directory\n");
  EXPECT_FALSE(fs::exists(drive_.root() / "w"));

  const ProgramRun few = RunIndex({Disc("")});
  EXPECT_EQ(few.status, 1);
  EXPECT_NE(few.err.find("lumo-index: missing operands"), std::string::npos) << few.err;
  const ProgramRun unknown = RunIndex({"--fast", Disc(""), Disc("w"), Disc("v"), Disc("t")});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("unknown option '--fast'"), std::string::npos) << unknown.err;

  // A page over the size limit is left out with a warning (a sparse file).
  drive_.Write("course/a.htm", "<title>A</title>apple");
  drive_.Write("course/huge.htm", "");
  fs::resize_file(drive_.root() / "course/huge.htm", (std::uintmax_t{64} << 20) + 1);
  const ProgramRun huge = RunIndex({Disc("course"), Disc("w"), Disc("v"), Disc("t")});
  EXPECT_EQ(huge.status, 0) << huge.err;
  EXPECT_EQ(huge.err, "lumo-index: warning: \\huge.htm: left out, larger than 64 MiB\n");
  EXPECT_NE(huge.out.find("Indexed 1 pages"), std::string::npos) << huge.out;

  // Two outputs naming one file are refused before anything is written.
  const std::string words = platform::ReadFileCapped(drive_.root() / "w", 1 << 20).value_or("?");
  const ProgramRun same = RunIndex({Disc("course"), Disc("w"), Disc("./w"), Disc("t2")});
  EXPECT_EQ(same.status, 1);
  EXPECT_NE(same.err.find("are the same file"), std::string::npos) << same.err;
  EXPECT_EQ(platform::ReadFileCapped(drive_.root() / "w", 1 << 20).value_or("?"), words);
  EXPECT_FALSE(fs::exists(drive_.root() / "t2"));
}

TEST_F(LumoIndexTest, ShowsProgressOnATerminal) {
  drive_.Write("course/a.htm", "a");
  drive_.Write("course/b.htm", "b");
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string course = Disc("course"), w = Disc("w"), v = Disc("v"), t = Disc("t");
    execl(kProgram.c_str(), kProgram.c_str(), course.c_str(), w.c_str(), v.c_str(), t.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buffer[256];
  for (;;) {
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) break;
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has ended
    shown.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(shown.find("Indexed 1/2 pages"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Indexed 2/2 pages"), std::string::npos) << shown;
}

}  // namespace
}  // namespace norwin::host
