// Test helpers: a private $NORWIN_PREFIX for one test, and an environment
// variable set for the lifetime of a scope. Header-only (see tests/CMakeLists.txt).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

namespace norwin::testing {

// Sets an environment variable for the lifetime of the object and restores
// the previous value (or its absence) afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh temporary folder, removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "norwin-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) abort();
    path_ = templ;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A temporary folder that is $NORWIN_PREFIX while the object lives, so that
// registry, profile and drive links of a test never touch the user's own.
class TempPrefix : public TempDir {
 public:
  TempPrefix() : env_("NORWIN_PREFIX", path().string()) {}

 private:
  ScopedEnv env_;
};

}  // namespace norwin::testing
