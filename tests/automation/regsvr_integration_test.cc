// norwin-regsvr as administrators run it: the built program in its own
// process, registering the test server library (norwin-test-inproc) in a
// registry in a temporary prefix, and activation finding what it wrote.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "automation/support/error_number.h"
#include "norwin/automation/activation.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/server_registration.h"
#include "support/temp_prefix.h"

namespace norwin::automation {
namespace {

using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;
using testing::ErrNumberOf;

const std::string kLibrary = NORWIN_TEST_INPROC_LIBRARY;

struct RunResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class RegsvrTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeUnusedLibraries(); }

  RunResult Regsvr(std::vector<std::string> args) {
    const std::filesystem::path out = io_.path() / "out", err = io_.path() / "err";
    std::string program = NORWIN_REGSVR;
    std::vector<char*> argv = {program.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const int fds[3] = {open("/dev/null", O_RDONLY),
                          open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                          open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
      for (int i = 0; i < 3; ++i) dup2(fds[i], i);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    RunResult run;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      run.status = WEXITSTATUS(status);
    }
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
  }

  TempPrefix prefix_;
  TempDir io_;
};

TEST_F(RegsvrTest, RegistersAndUnregistersALibrary) {
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);

  RunResult run = Regsvr({kLibrary});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "DllRegisterServer in " + kLibrary + " succeeded.\n");
  EXPECT_EQ(run.err, "");
  Ref<Object> counter = CreateObject("NorwinTest.Counter");
  EXPECT_EQ(CallByName(*counter, "Increment", DISPATCH_METHOD, {Variant(3)}), Variant(3));
  // The registry names the library by its absolute path, whatever the
  // command line said.
  EXPECT_EQ(CallByName(*counter, "Library", DISPATCH_PROPERTYGET),
            Variant(std::filesystem::absolute(kLibrary).lexically_normal().string()));
  counter.reset();

  // Options in either form and case; a relative path works from the
  // current folder.
  const std::filesystem::path library(kLibrary);
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(library.parent_path());
  run = Regsvr({"-U", library.filename().string()});
  std::filesystem::current_path(here);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "DllUnregisterServer in " + library.filename().string() + " succeeded.\n");
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);

  // Silent: nothing printed, the work done all the same.
  run = Regsvr({"/s", kLibrary});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_TRUE(CreateObject("NorwinTest.Counter"));
  run = Regsvr({"/u", "/S", kLibrary});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);
}

TEST_F(RegsvrTest, TakesWindowsPaths) {
  const std::filesystem::path library(kLibrary);
  std::filesystem::create_directories(prefix_.path() / "drives");
  std::filesystem::create_directory_symlink(library.parent_path(), prefix_.path() / "drives" / "e");
  std::string upper = library.filename().string();
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const std::string windows = "e:\\" + upper;
  const RunResult run = Regsvr({windows});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "DllRegisterServer in " + windows + " succeeded.\n");
  // The registry holds the native path of the file as it is on disk.
  Ref<Object> counter = CreateObject("NorwinTest.Counter");
  EXPECT_EQ(CallByName(*counter, "Library", DISPATCH_PROPERTYGET),
            Variant((std::filesystem::canonical(library.parent_path()) / library.filename())
                        .lexically_normal()
                        .string()));
}

TEST_F(RegsvrTest, ReportsFailures) {
  // A library that is not there.
  const std::string missing = (io_.path() / "missing.so").string();
  RunResult run = Regsvr({missing});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The library " + missing + " failed to load: "), std::string::npos)
      << run.err;

  // A library without the entry point.
  const Result<std::string> libm =
      LibraryPathOf(reinterpret_cast<const void*>(static_cast<double (*)(double)>(&std::cos)));
  ASSERT_TRUE(libm.ok()) << libm.message();
  run = Regsvr({*libm});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "The library " + *libm +
                         " was loaded, but the entry point DllRegisterServer was not found.\n");
  // Silent failures say nothing but still fail.
  run = Regsvr({"/s", *libm});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out + run.err, "");

  // A registry that cannot be written: the prefix is a file.
  const std::filesystem::path blocked = io_.path() / "blocked";
  std::ofstream(blocked) << "a file where the prefix folder should be";
  {
    ScopedEnv prefix("NORWIN_PREFIX", blocked.string());
    run = Regsvr({kLibrary});
  }
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "DllRegisterServer in " + kLibrary +
                         " failed with 0x80040201: the library could not write its classes to "
                         "the registry.\n");
}

TEST_F(RegsvrTest, CommandLine) {
  RunResult run = Regsvr({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("norwin-regsvr [/u] [/s] LIBRARY\n", 0), 0u) << run.out;
  EXPECT_EQ(Regsvr({"/?"}).out, run.out);

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{}, {"/u"}, {"/x", kLibrary}, {kLibrary, kLibrary}}) {
    run = Regsvr(bad);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Type \"norwin-regsvr /?\" for usage."), std::string::npos);
  }
  EXPECT_EQ(Regsvr({"/x", kLibrary}).err,
            "norwin-regsvr: unknown option /x\nType \"norwin-regsvr /?\" for usage.\n");
}

}  // namespace
}  // namespace norwin::automation
