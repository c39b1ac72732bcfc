// Load on norwin-server: 200 desktops at once, 50 requests each (saves and
// loads of each desktop's own record, listings, student adds as the record
// library makes them: load the roster, add, save it whole), on SQLite. A
// timed program, not a test: it prints the requests, errors, lost saves and
// the latency percentiles, and exits 1 when any request failed or any save
// was lost.
//   record_server_bench [CLIENTS [REQUESTS]] [--database postgresql://...]
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/norwin_server_process.h"
#include "support/temp_prefix.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Totals {
  std::mutex mutex;
  std::vector<double> latencies_ms;
  std::atomic<int> errors{0};
  std::atomic<int> torn_rosters{0};
  std::string first_error;

  void Error(const std::string& what) {
    ++errors;
    std::lock_guard lock(mutex);
    if (first_error.empty()) first_error = what;
  }
};

// One request on a connection of its own, as the record library makes it.
httplib::Result Post(int port, const std::string& target, const std::string& body, Totals& totals,
                     std::vector<double>& latencies) {
  httplib::Client client("127.0.0.1", port);
  client.set_url_encode(false);
  client.set_connection_timeout(30);
  client.set_read_timeout(60);
  const auto start = Clock::now();
  httplib::Result result = client.Post(target.c_str(), body, "application/x-www-form-urlencoded");
  latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  if (!result) {
    totals.Error(target + ": no answer (" + httplib::to_string(result.error()) + ")");
  } else if (result->status != 200) {
    totals.Error(target + ": " + std::to_string(result->status) + " " + result->body);
  }
  return result;
}

void Desktop(int port, int id, int requests, Totals& totals, std::vector<int>& last_saved) {
  std::vector<double> latencies;
  const std::string own = "desk" + std::to_string(id) + "_pmxl.xml";
  int saved = 0, attempted = 0;
  for (int i = 0; i < requests; ++i) {
    switch (i % 5) {
      case 0:
      case 2: {  // save the desktop's own record
        ++attempted;
        httplib::Result result =
            Post(port, "/load/SavePellamObject.asp?ObjName=ExamList&FileName=" + own + "&",
                 "<examList><title>Desk " + std::to_string(id) + " v" + std::to_string(attempted) +
                     "</title></examList>",
                 totals, latencies);
        // A save without an answer may or may not have been kept; only a
        // save the server confirmed must be there.
        if (result && result->status == 200) saved = attempted;
        break;
      }
      case 1: {  // load it back
        httplib::Result result =
            Post(port, "/load/LoadPellamObject.asp?ObjName=ExamList&FileName=" + own + "&", "",
                 totals, latencies);
        if (saved == attempted && result && result->status == 200 &&
            result->body.find(" v" + std::to_string(saved) + "<") == std::string::npos) {
          totals.Error(own + ": load did not give the last save");
        }
        break;
      }
      case 3:  // list the folder
        Post(port, "/load/GetTitleFileNames.asp?ObjName=ExamList&", "", totals, latencies);
        break;
      case 4: {  // add a student: load the roster, add, save it whole
        httplib::Result roster =
            Post(port, "/load/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&", "",
                 totals, latencies);
        if (!roster || roster->body.find("<students") == std::string::npos ||
            roster->body.find("</students>") == std::string::npos) {
          ++totals.torn_rosters;
          break;
        }
        std::string body = roster->body;
        body.insert(body.rfind("</students>"), "<student><id>d" + std::to_string(id) + "_" +
                                                   std::to_string(i) + "</id></student>");
        Post(port, "/load/SavePellamObject.asp?ObjName=Students&FileName=roster.xml&", body, totals,
             latencies);
        break;
      }
    }
  }
  last_saved[id] = saved == attempted ? saved : -1;
  std::lock_guard lock(totals.mutex);
  totals.latencies_ms.insert(totals.latencies_ms.end(), latencies.begin(), latencies.end());
}

}  // namespace

int main(int argc, char** argv) {
  int clients = 200, requests = 50;
  std::vector<std::string> extra;
  std::vector<int> numbers;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--database" && i + 1 < argc) {
      extra = {"--database", argv[++i]};
    } else {
      numbers.push_back(std::atoi(argv[i]));
    }
  }
  if (numbers.size() > 0 && numbers[0] > 0) clients = numbers[0];
  if (numbers.size() > 1 && numbers[1] > 0) requests = numbers[1];

  norwin::testing::TempDir dir;
  norwin::testing::NorwinServerProcess server(NORWIN_SERVER_PROGRAM, dir.path() / "data", extra);
  {
    httplib::Client client("127.0.0.1", server.port());
    client.Post("/load/SavePellamObject.asp?ObjName=Students&FileName=roster.xml&",
                "<students autoStudentID=\"1\"></students>", "application/xml");
  }

  Totals totals;
  std::vector<int> last_saved(clients, 0);
  const auto start = Clock::now();
  std::vector<std::thread> desktops;
  for (int id = 0; id < clients; ++id) {
    desktops.emplace_back(Desktop, server.port(), id, requests, std::ref(totals),
                          std::ref(last_saved));
  }
  for (std::thread& desktop : desktops) desktop.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  // Every desktop's last save is what the server holds now.
  int lost = 0;
  httplib::Client client("127.0.0.1", server.port());
  for (int id = 0; id < clients; ++id) {
    httplib::Result result =
        client.Post(("/load/LoadPellamObject.asp?ObjName=ExamList&FileName=desk" +
                     std::to_string(id) + "_pmxl.xml&")
                        .c_str(),
                    "", "application/xml");
    if (!result ||
        result->body.find(" v" + std::to_string(last_saved[id]) + "<") == std::string::npos) {
      ++lost;
    }
  }
  httplib::Result roster = client.Post(
      "/load/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&", "", "application/xml");
  size_t students = 0;
  for (size_t at = roster ? roster->body.find("<student>") : std::string::npos;
       at != std::string::npos; at = roster->body.find("<student>", at + 1)) {
    ++students;
  }

  std::vector<double>& l = totals.latencies_ms;
  std::sort(l.begin(), l.end());
  auto percentile = [&](double p) {
    return l.empty() ? 0.0 : l[std::min(l.size() - 1, static_cast<size_t>(p * l.size()))];
  };
  std::printf("norwin-server on %s: %d clients x %d requests = %zu requests in %.2f s (%.0f/s)\n",
              extra.empty() ? "SQLite" : "PostgreSQL", clients, requests, l.size(), seconds,
              static_cast<double>(l.size()) / seconds);
  std::printf("errors %d, lost saves %d, torn rosters %d\n", totals.errors.load(), lost,
              totals.torn_rosters.load());
  std::printf("latency ms: p50 %.1f  p90 %.1f  p99 %.1f  max %.1f\n", percentile(0.50),
              percentile(0.90), percentile(0.99), l.empty() ? 0.0 : l.back());
  std::printf(
      "student adds: %d made, %zu in the roster (adds at the same moment replace "
      "each other; see docs/operating.md)\n",
      clients * (requests / 5), students);
  if (!totals.first_error.empty()) std::printf("first error: %s\n", totals.first_error.c_str());
  return totals.errors == 0 && lost == 0 && totals.torn_rosters == 0 ? 0 : 1;
}
