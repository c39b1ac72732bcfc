#include "norwin/platform/http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/loopback_server.h"
#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::LoopbackServer;
using norwin::testing::RecordedRequest;
using norwin::testing::ScopedEnv;
using std::chrono::milliseconds;

HttpRequest Get(std::string url) {
  HttpRequest request;
  request.url = std::move(url);
  return request;
}

HttpRequest Post(std::string url, std::string body) {
  HttpRequest request;
  request.method = "POST";
  request.url = std::move(url);
  request.body = std::move(body);
  return request;
}

TEST(HttpTest, GetsTextStatusAndHeadersAndSendsTheUserAgent) {
  LoopbackServer server;
  server.Get("/config.txt", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("X-Course", "Unit 1");
    response.set_content("run=http://h/start.htm\r\ntitle=Algebra\r\n", "text/plain");
  });
  auto client = MakeCurlHttpClient();
  HttpRequest request = Get(server.url("/config.txt"));
  request.user_agent = "Lumo via WinHTTP";
  Result<HttpResponse> response = client->Send(request);
  ASSERT_TRUE(response.ok()) << response.message();
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->status_text, "OK");
  EXPECT_EQ(response->body, "run=http://h/start.htm\r\ntitle=Algebra\r\n");
  EXPECT_EQ(response->Header("x-course"), "Unit 1");
  EXPECT_EQ(response->Header("Content-Type"), "text/plain");
  EXPECT_EQ(response->Header("X-Missing"), "");
  EXPECT_EQ(response->url, server.url("/config.txt"));

  // Without a user agent none is sent.
  ASSERT_TRUE(client->Send(Get(server.url("/config.txt"))).ok());
  const std::vector<RecordedRequest> seen = server.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].target, "/config.txt");
  EXPECT_EQ(seen[0].Header("User-Agent"), "Lumo via WinHTTP");
  EXPECT_EQ(seen[0].body, "");
  EXPECT_FALSE(seen[1].HasHeader("User-Agent"));
}

TEST(HttpTest, PostsTheBodyAndHeadersAsGiven) {
  LoopbackServer server;
  server.Reply("POST", "/vellora/submit", "success: recorded");
  server.Reply("POST", "/app/SavePellamObject.asp", "");
  auto client = MakeCurlHttpClient();

  HttpRequest form = Post(server.url("/vellora/submit"),
                          "&student_id=s1&exam_id=e 1&key=pelvanx1&question_id0=q1");
  form.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"X-Step", "1"}};
  Result<HttpResponse> answer = client->Send(form);
  ASSERT_TRUE(answer.ok()) << answer.message();
  EXPECT_EQ(answer->body, "success: recorded");

  // A large body without a Content-Type goes at once and without one.
  const std::string document =
      "<?xml version=\"1.0\"?><students>" + std::string(200'000, 's') + "</students>";
  HttpRequest save =
      Post(server.url("/app/SavePellamObject.asp?ObjName=Students&FileName=r.xml&"), document);
  save.method = "post";
  const auto started = std::chrono::steady_clock::now();
  Result<HttpResponse> saved = client->Send(save);
  ASSERT_TRUE(saved.ok()) << saved.message();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
  EXPECT_EQ(saved->status, 200);
  EXPECT_EQ(saved->body, "");

  const std::vector<RecordedRequest> seen = server.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].body, "&student_id=s1&exam_id=e 1&key=pelvanx1&question_id0=q1");
  EXPECT_EQ(seen[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen[0].Header("X-Step"), "1");
  EXPECT_EQ(seen[1].method, "POST");
  EXPECT_EQ(seen[1].target, "/app/SavePellamObject.asp?ObjName=Students&FileName=r.xml&");
  EXPECT_EQ(seen[1].body, document);
  EXPECT_FALSE(seen[1].HasHeader("Content-Type"));
  EXPECT_FALSE(seen[1].HasHeader("Expect"));
}

// One client serves request after request; nothing of one may reach the next.
TEST(HttpTest, RequestsOnOneClientAreIndependent) {
  LoopbackServer server;
  server.Reply("GET", "/r", "got");
  server.Reply("POST", "/r", "posted");
  server.Reply("PUT", "/r", "put");
  auto client = MakeCurlHttpClient();

  HttpRequest post = Post(server.url("/r"), "a=1");
  post.headers = {{"X-Once", "yes"}, {"Content-Type", "text/xml"}};
  post.user_agent = "Lumo via WinHTTP";
  HttpRequest head = Get(server.url("/r"));
  head.method = "HEAD";
  HttpRequest put = Post(server.url("/r"), "<x/>");
  put.method = "PUT";
  const struct {
    HttpRequest request;
    std::string body;
  } kSequence[] = {
      {post, "posted"}, {Get(server.url("/r")), "got"},         {head, ""},
      {put, "put"},     {Post(server.url("/r"), ""), "posted"}, {Get(server.url("/r")), "got"}};
  for (const auto& step : kSequence) {
    Result<HttpResponse> response = client->Send(step.request);
    ASSERT_TRUE(response.ok()) << response.message();
    EXPECT_EQ(response->body, step.body) << step.request.method;
  }
  const std::vector<RecordedRequest> seen = server.requests();
  ASSERT_EQ(seen.size(), 6u);
  const char* kMethods[] = {"POST", "GET", "HEAD", "PUT", "POST", "GET"};
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].method, kMethods[i]) << i;
  EXPECT_EQ(seen[0].Header("X-Once"), "yes");
  EXPECT_EQ(seen[0].Header("User-Agent"), "Lumo via WinHTTP");
  EXPECT_FALSE(seen[1].HasHeader("X-Once"));
  EXPECT_FALSE(seen[1].HasHeader("User-Agent"));
  EXPECT_FALSE(seen[1].HasHeader("Content-Type"));
  EXPECT_EQ(seen[1].body, "");
  EXPECT_EQ(seen[3].body, "<x/>");
  EXPECT_EQ(seen[4].body, "");
  EXPECT_EQ(seen[4].Header("Content-Length"), "0");
  EXPECT_EQ(seen[5].body, "");
}

TEST(HttpTest, AnyStatusIsAnAnswerAndTheServerMayMisbehave) {
  LoopbackServer server;
  auto client = MakeCurlHttpClient();
  Result<HttpResponse> missing = client->Send(Get(server.url("/nowhere.xml")));
  ASSERT_TRUE(missing.ok()) << missing.message();
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(missing->status_text, "Not Found");
  EXPECT_EQ(missing->body, "no handler for GET /nowhere.xml");

  server.AnswerErrorText("Microsoft VBScript runtime error '800a000d'", 500);
  Result<HttpResponse> failed = client->Send(Post(server.url("/app/x.asp"), ""));
  ASSERT_TRUE(failed.ok()) << failed.message();
  EXPECT_EQ(failed->status, 500);
  EXPECT_EQ(failed->status_text, "Internal Server Error");
  EXPECT_EQ(failed->body, "Microsoft VBScript runtime error '800a000d'");

  server.AnswerGarbage();
  Result<HttpResponse> garbage = client->Send(Get(server.url("/roster.xml")));
  ASSERT_TRUE(garbage.ok()) << garbage.message();
  EXPECT_EQ(garbage->body, LoopbackServer::kGarbage);  // binary-safe, NULs included
  EXPECT_EQ(server.request_count(), 3u);
}

TEST(HttpTest, FollowsRedirectsAsABrowserDoes) {
  LoopbackServer server;
  server.Get("/old/start.cfg", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/new/start.cfg", 301);
  });
  server.Reply("GET", "/new/start.cfg", "run=x");
  server.Post("/form", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/thanks", 302);
  });
  server.Reply("GET", "/thanks", "success");
  auto client = MakeCurlHttpClient();

  Result<HttpResponse> moved = client->Send(Get(server.url("/old/start.cfg")));
  ASSERT_TRUE(moved.ok()) << moved.message();
  EXPECT_EQ(moved->status, 200);
  EXPECT_EQ(moved->body, "run=x");
  EXPECT_EQ(moved->url, server.url("/new/start.cfg"));
  EXPECT_EQ(moved->Header("Location"), "");  // the headers are the last answer's

  Result<HttpResponse> posted = client->Send(Post(server.url("/form"), "a=1"));
  ASSERT_TRUE(posted.ok()) << posted.message();
  EXPECT_EQ(posted->body, "success");
  const std::vector<RecordedRequest> seen = server.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[3].method, "GET");
  EXPECT_EQ(seen[3].target, "/thanks");
}

TEST(HttpTest, EncodesWhatAUrlCannotHoldAndKeepsCookies) {
  LoopbackServer server;
  server.Get("/Login.asp", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "ASPSESSIONID=abc; path=/");
    response.set_content("ok", "text/plain");
  });
  server.Reply("GET", "/app/My Roster é.xml", "<students/>");
  auto client = MakeCurlHttpClient();
  ASSERT_TRUE(client->Send(Get(server.url("/Login.asp"))).ok());
  Result<HttpResponse> roster =
      client->Send(Get(server.url("/app/My Roster é.xml?sid=7&n=a b|c%41")));
  ASSERT_TRUE(roster.ok()) << roster.message();
  EXPECT_EQ(roster->body, "<students/>");
  const RecordedRequest seen = server.last_request();
  EXPECT_EQ(seen.target, "/app/My%20Roster%20%C3%A9.xml?sid=7&n=a%20b%7Cc%41");
  EXPECT_EQ(seen.Header("Cookie"), "ASPSESSIONID=abc");
}

TEST(HttpTest, FailuresToReachAServerAreReadableErrors) {
  auto client = MakeCurlHttpClient();
  Result<HttpResponse> refused = client->Send(Get("http://127.0.0.1:1/x"));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), "cannot connect to http://127.0.0.1:1/x: Connection refused");

  // Login digests in the query stay out of messages.
  Result<HttpResponse> secret = client->Send(
      Post("http://127.0.0.1:1/app/LoadPellamObject.asp?LoginKey=k&LoginValue=d1", ""));
  ASSERT_FALSE(secret.ok());
  EXPECT_EQ(secret.message(),
            "cannot connect to http://127.0.0.1:1/app/LoadPellamObject.asp: Connection refused");

  Result<HttpResponse> scheme = client->Send(Get("ftp://127.0.0.1/x"));
  ASSERT_FALSE(scheme.ok());
  EXPECT_TRUE(scheme.message().starts_with("invalid address ftp://127.0.0.1/x: "))
      << scheme.message();

  HttpRequest injected = Get("http://127.0.0.1:1/x");
  injected.headers = {{"X-Note", "a\r\nHost: elsewhere"}};
  Result<HttpResponse> refused_header = client->Send(injected);
  ASSERT_FALSE(refused_header.ok());
  EXPECT_EQ(refused_header.message(), "invalid HTTP header \"X-Note\" for http://127.0.0.1:1/x");
}

TEST(HttpTest, ProxiesFromTheEnvironmentAreIgnored) {
  LoopbackServer server;
  server.Reply("GET", "/x", "direct");
  ScopedEnv http_proxy("http_proxy", "http://127.0.0.1:1");
  ScopedEnv all_proxy("ALL_PROXY", "http://127.0.0.1:1");
  Result<HttpResponse> response = MakeCurlHttpClient()->Send(Get(server.url("/x")));
  ASSERT_TRUE(response.ok()) << response.message();
  EXPECT_EQ(response->body, "direct");
}

TEST(HttpTest, ASilentServerEndsInTheTimeLimit) {
  LoopbackServer server;
  server.AnswerNothing(std::chrono::seconds(20));
  HttpRequest request = Get(server.url("/app/LoadPellamObject.asp?ObjName=Exam"));
  request.total_timeout = milliseconds(300);
  const auto started = std::chrono::steady_clock::now();
  Result<HttpResponse> response = MakeCurlHttpClient()->Send(request);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(response.ok());
  EXPECT_EQ(response.message(),
            "no answer from " + server.url("/app/LoadPellamObject.asp") + " within 0.3 seconds");
  EXPECT_GE(took, milliseconds(250));
  EXPECT_LT(took, milliseconds(3000));
  EXPECT_EQ(server.request_count(), 1u);
}

TEST(HttpTest, AnswersBeyondTheSizeLimitAreErrors) {
  LoopbackServer server;
  const std::string mebibyte(size_t{1} << 20, 'x');
  server.Reply("GET", "/exact", mebibyte);
  server.Reply("GET", "/large", mebibyte + "y");
  // Without a length announced, the limit applies as the data arrives.
  server.Get("/stream", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider(
        "text/plain", [sent = size_t{0}](size_t, httplib::DataSink& sink) mutable {
          if (sent >= (size_t{4} << 20)) {
            sink.done();
            return true;
          }
          const std::string block(64 * 1024, 'z');
          sent += block.size();
          return sink.write(block.data(), block.size());
        });
  });
  auto client = MakeCurlHttpClient();
  HttpRequest request = Get(server.url("/exact"));
  request.max_response_bytes = size_t{1} << 20;
  Result<HttpResponse> exact = client->Send(request);
  ASSERT_TRUE(exact.ok()) << exact.message();
  EXPECT_EQ(exact->body.size(), size_t{1} << 20);

  request.url = server.url("/large");
  Result<HttpResponse> large = client->Send(request);
  ASSERT_FALSE(large.ok());
  EXPECT_EQ(large.message(), "the answer from " + server.url("/large") + " is larger than 1 MiB");

  request.url = server.url("/stream");
  Result<HttpResponse> stream = client->Send(request);
  ASSERT_FALSE(stream.ok());
  EXPECT_EQ(stream.message(), "the answer from " + server.url("/stream") + " is larger than 1 MiB");

  // The client is fine afterwards.
  request.url = server.url("/exact");
  EXPECT_TRUE(client->Send(request).ok());
}

// Clients on several threads, one of them shared, against one server whose
// handlers change meanwhile: every request is served and recorded.
TEST(HttpTest, ServesClientsOnSeveralThreads) {
  LoopbackServer server;
  server.Reply("POST", "/submit", "success");
  constexpr int kThreads = 4;
  constexpr int kRequests = 25;
  auto shared = MakeCurlHttpClient();
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto own = MakeCurlHttpClient();
      for (int i = 0; i < kRequests; ++i) {
        HttpClient& client = i % 2 ? *shared : *own;
        Result<HttpResponse> response =
            client.Send(Post(server.url("/submit"), "t=" + std::to_string(t)));
        if (response.ok() && response->body == "success") ++answered;
      }
    });
  }
  for (int i = 0; i < 20; ++i) server.Reply("GET", "/page" + std::to_string(i), "page");
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), kThreads * kRequests);
  EXPECT_EQ(server.request_count(), static_cast<size_t>(kThreads * kRequests));
  EXPECT_TRUE(server.WaitForRequests(kThreads * kRequests, milliseconds(0)));
}

// A stand-in client that answers every request with one failure.
class FailingClient : public HttpClient {
 public:
  Result<HttpResponse> Send(const HttpRequest& request) override {
    return Status::Error("offline: " + request.url);
  }
};

TEST(HttpTest, TheProcessClientCanBeReplacedForTests) {
  SetHttpClientForTesting(std::make_unique<FailingClient>());
  Result<HttpResponse> offline = DefaultHttpClient().Send(Get("http://h/x"));
  ASSERT_FALSE(offline.ok());
  EXPECT_EQ(offline.message(), "offline: http://h/x");
  SetHttpClientForTesting(nullptr);
  LoopbackServer server;
  server.Reply("GET", "/x", "real");
  Result<HttpResponse> real = DefaultHttpClient().Send(Get(server.url("/x")));
  ASSERT_TRUE(real.ok()) << real.message();
  EXPECT_EQ(real->body, "real");
}

}  // namespace
}  // namespace norwin::platform
