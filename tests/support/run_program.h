// Test helper: runs a built program as a user runs it from a shell, in the
// test's own environment (its prefix included), with `input` on standard
// input, and gives its exit status and what it printed. Header-only.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_prefix.h"

namespace norwin::testing {

struct ProgramRun {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             std::string_view input = "") {
  TempDir io;
  const std::filesystem::path in = io.path() / "in", out = io.path() / "out",
                              err = io.path() / "err";
  std::ofstream(in, std::ios::binary) << input;
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fds[3] = {open(in.c_str(), O_RDONLY),
                        open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  ProgramRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  auto read = [](const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
  };
  run.out = read(out);
  run.err = read(err);
  return run;
}

}  // namespace norwin::testing
