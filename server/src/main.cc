// norwin-server: the record and login pages a school runs for its classroom
// desktops, course files and a grade inbox, over SQLite or PostgreSQL.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "admin_commands.h"
#include "norwin/server/record_store.h"
#include "norwin/server/service.h"
#include "norwin/version.h"

namespace {

using namespace norwin::server;

constexpr char kUsage[] =
    "Usage: norwin-server --listen ADDR:PORT --data DIR [OPTIONS]\n"
    "       norwin-server --init DIR [--database URL]\n"
    "       norwin-server token add NAME | token list | token revoke TOKEN  --data DIR\n"
    "       norwin-server versions LOCATION --data DIR\n"
    "       norwin-server restore LOCATION [--version N] --data DIR\n"
    "\n"
    "Serves the record pages (LoadPellamObject.asp, SavePellamObject.asp,\n"
    "DeletePellamObject.asp, GetTitleFileNames.asp) and the login pages\n"
    "(LoginKey.asp, Login.asp) under every folder, a grade inbox (POST /submit,\n"
    "the teacher's page /results and /results.csv) and, with --courses, course\n"
    "folders as static files. One log line a request goes to standard error.\n"
    "\n"
    "Options:\n"
    "  --listen ADDR:PORT   address to serve on (PORT 0: any free port)\n"
    "  --data DIR           the server's folder; the SQLite database records.db\n"
    "                       is made there on first start\n"
    "  --database URL       a postgresql:// connection string (or a SQLite file)\n"
    "                       instead of DIR/records.db\n"
    "  --require-login      record pages need a key validated by Login.asp\n"
    "  --allow NETWORK      only clients of NETWORK (10.0.0.0/8, ::1); repeatable\n"
    "  --courses DIR        serve the course folders of DIR; NAME/settings answers\n"
    "                       the configuration document of NAME/settings.cfg\n"
    "  --max-document BYTES largest record a save may store (default 16 MiB)\n"
    "  --threads N          requests served at once (default 32)\n"
    "  --space NAME         (versions, restore) the namespace of the record\n"
    "  --version N          (restore) the version to make current\n"
    "  --help, --version    this text, the program's version\n"
    "\n"
    "When access tokens exist (token add), every request must begin its path\n"
    "with a valid one: http://SERVER/TOKEN/app/roster.xml.\n";

struct Options {
  std::vector<std::string> words;  // command words and locations
  std::string listen;
  std::string data;
  std::string database;
  std::string init;
  std::optional<std::string> space;
  std::optional<int64_t> version;
  ServiceOptions service;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "norwin-server: %s\n", message.c_str());
  std::exit(2);
}

size_t ParseSize(const std::string& text, const char* what) {
  try {
    size_t used = 0;
    const unsigned long long value = std::stoull(text, &used);
    if (used == text.size() && value > 0) return static_cast<size_t>(value);
  } catch (const std::exception&) {
  }
  Fail(std::string("not a number for ") + what + ": " + text);
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(arg + " needs a value (see --help)");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version" && options.words.size() < 2) {
      norwin::PrintVersion("norwin-server");
      std::exit(0);
    } else if (arg == "--version") {
      options.version = static_cast<int64_t>(ParseSize(value(), "--version"));
    } else if (arg == "--listen") {
      options.listen = value();
    } else if (arg == "--data") {
      options.data = value();
    } else if (arg == "--database") {
      options.database = value();
    } else if (arg == "--init") {
      options.init = value();
    } else if (arg == "--space") {
      options.space = value();
    } else if (arg == "--require-login") {
      options.service.require_login = true;
    } else if (arg == "--allow") {
      const std::string network = value();
      if (!options.service.allow.Add(network)) Fail("not a network: " + network);
    } else if (arg == "--courses") {
      options.service.courses_dir = value();
    } else if (arg == "--max-document") {
      options.service.limits.max_document = ParseSize(value(), "--max-document");
      options.service.max_body =
          std::max(options.service.max_body, options.service.limits.max_document + 4096);
    } else if (arg == "--threads") {
      options.service.threads = static_cast<int>(ParseSize(value(), "--threads"));
    } else if (arg.starts_with("--")) {
      Fail("unknown option " + arg + " (see --help)");
    } else {
      options.words.push_back(arg);
    }
  }
  return options;
}

std::unique_ptr<RecordStore> OpenStore(const Options& options) {
  if (options.data.empty() && options.database.empty()) Fail("--data DIR is needed (see --help)");
  if (!options.data.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.data, error);
    if (error) Fail("cannot make " + options.data + ": " + error.message());
  }
  return OpenRecordStore(options.database, options.data);
}

int Serve(Options& options) {
  const size_t colon = options.listen.rfind(':');
  if (colon == std::string::npos) Fail("--listen needs ADDR:PORT");
  std::string host = options.listen.substr(0, colon);
  if (host.starts_with("[") && host.ends_with("]")) host = host.substr(1, host.size() - 2);
  const int port = static_cast<int>(options.listen.substr(colon + 1) == "0"
                                        ? 0
                                        : ParseSize(options.listen.substr(colon + 1), "port"));
  std::unique_ptr<RecordStore> store = OpenStore(options);

  // SIGINT and SIGTERM end the service from a thread of their own, so that
  // the requests under way are answered first.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Service service(*store, std::move(options.service));
  const int bound = service.Bind(host, port);
  if (bound <= 0) Fail("cannot listen on " + options.listen);
  std::printf("norwin-server listening on http://%s:%d/\n", host.c_str(), bound);
  std::fflush(stdout);
  std::thread waiter([&service, signals] {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    service.Stop();
  });
  const bool served = service.Run();
  // Wake the waiter when the service ended on its own.
  if (waiter.joinable()) {
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
  }
  return served ? 0 : 1;
}

int Run(int argc, char** argv) {
  Options options = Parse(argc, argv);
  if (!options.init.empty()) {
    options.data = options.init;
    std::unique_ptr<RecordStore> store = OpenStore(options);
    std::filesystem::create_directories(std::filesystem::path(options.init) / "courses");
    std::printf(
        "Initialised %s (records in %s, course folders in %s/courses)\n"
        "Start serving with: norwin-server --listen 0.0.0.0:8080 --data %s --courses "
        "%s/courses\n",
        options.init.c_str(),
        options.database.empty() ? (options.init + "/records.db").c_str() : "the database",
        options.init.c_str(), options.init.c_str(), options.init.c_str());
    return 0;
  }
  const std::vector<std::string>& words = options.words;
  if (words.empty()) {
    if (options.listen.empty()) Fail("nothing to do (see --help)");
    return Serve(options);
  }
  if (words[0] == "token") {
    std::unique_ptr<RecordStore> store = OpenStore(options);
    if (words.size() == 3 && words[1] == "add") return TokenAdd(*store, words[2]);
    if (words.size() == 2 && words[1] == "list") return TokenList(*store);
    if (words.size() == 3 && words[1] == "revoke") return TokenRevoke(*store, words[2]);
    Fail("token add NAME | token list | token revoke TOKEN (see --help)");
  }
  if ((words[0] == "restore" || words[0] == "versions") && words.size() == 2) {
    std::unique_ptr<RecordStore> store = OpenStore(options);
    const RecordKey key = KeyOfLocation(*store, words[1], options.space);
    if (words[0] == "versions") return ListVersions(*store, key);
    return RestoreVersion(*store, key, options.version);
  }
  Fail("unknown command " + words[0] + " (see --help)");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "norwin-server: %s\n", error.what());
    return 1;
  }
}
