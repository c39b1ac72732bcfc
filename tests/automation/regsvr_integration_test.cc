// norwin-regsvr as administrators run it: the built program in its own
// process, registering the test server library (norwin-test-inproc) in a
// registry in a temporary prefix, and activation finding what it wrote.
#include <dlfcn.h>
#include <gtest/gtest.h>

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
#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::automation {
namespace {

using norwin::testing::ProgramRun;
using norwin::testing::RunProgram;
using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;
using testing::ErrNumberOf;

const std::string kLibrary = NORWIN_TEST_INPROC_LIBRARY;

class RegsvrTest : public ::testing::Test {
 protected:
  void TearDown() override { FreeUnusedLibraries(); }

  ProgramRun Regsvr(const std::vector<std::string>& args) {
    return RunProgram(NORWIN_REGSVR, args);
  }

  TempPrefix prefix_;
  TempDir io_;
};

TEST_F(RegsvrTest, RegistersAndUnregistersALibrary) {
  EXPECT_EQ(ErrNumberOf([] { CreateObject("NorwinTest.Counter"); }), 429);

  ProgramRun run = Regsvr({kLibrary});
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
  const ProgramRun run = Regsvr({windows});
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
  ProgramRun run = Regsvr({missing});
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
  ProgramRun run = Regsvr({"--help"});
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
