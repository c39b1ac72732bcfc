// norwin-server's HTTP face: the record and login pages under every
// application folder, the grade inbox (/submit and the teacher's /results
// page), and the course folders as static files, with the access rules
// (networks, tokens, login) and size limits applied to every request and
// one log line written for each.
//
// Built on cpp-httplib's server; the Service owns it and its threads. Run
// blocks until Stop (from any thread).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "norwin/server/access.h"
#include "norwin/server/record_pages.h"
#include "norwin/server/record_store.h"

namespace norwin::server {

struct ServiceOptions {
  bool require_login = false;
  NetworkAllowList allow;
  PageLimits limits;
  size_t max_body = 32 * 1024 * 1024;  // bytes of any request body
  std::string courses_dir;             // served as static files; "" for none
  int threads = 32;
  // Receives one line per request; stderr when empty.
  std::function<void(const std::string&)> log;
};

class Service {
 public:
  Service(RecordStore& store, ServiceOptions options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Binds `host`:`port` (0 for any free port); the port bound, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop; false when serving failed.
  bool Run();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace norwin::server
