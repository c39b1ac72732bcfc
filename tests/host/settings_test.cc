#include "norwin/host/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "norwin/platform/drives.h"
#include "support/drive_links.h"
#include "support/loopback_server.h"
#include "support/prompt_script.h"
#include "support/raw_http_server.h"

namespace norwin::host {
namespace {

using norwin::testing::DriveLinks;
using norwin::testing::LoopbackServer;
using norwin::testing::PromptScript;
using norwin::testing::RawHttpServer;
using Beeps = PromptScript::Beeps;

class SettingsFileTest : public ::testing::Test {
 protected:
  DriveLinks drives_;
  PromptScript prompts_;
  Settings settings_;
};

TEST_F(SettingsFileTest, ReadsASettingsFileWithDriveLetter) {
  drives_.Write('e', "course/lumo.cfg",
                "; Welding course\r\n[General]\r\nrun = \\course\\start.htm\r\n"
                "title=\"Welding Basics\"\r\ncx=1024\r\ncy=768px\r\n");
  ASSERT_TRUE(settings_.Load("e:\\course\\lumo.cfg"));
  EXPECT_EQ(settings_.run, "e:\\course\\start.htm");
  EXPECT_EQ(settings_.title, "Welding Basics");
  EXPECT_EQ(settings_.cx, 1024);
  EXPECT_EQ(settings_.cy, 768);
  EXPECT_EQ(settings_.drive, 'e');
  EXPECT_EQ(settings_.redirKey, "Software\\Norwin Interactive\\Pellam");
  EXPECT_EQ(settings_.sessionID, "");
  EXPECT_EQ(prompts_.Log(), "");

  // The drive letter is taken as written; quotes around the location go.
  drives_.Write('e', "course/other.cfg",
                "[general]\nrun=http://example.com/x.htm\ntitle=T\nredirKey=Software\\KPX\n");
  Settings quoted;
  ASSERT_TRUE(quoted.Load("\"E:\\course\\other.cfg\""));
  EXPECT_EQ(quoted.drive, 'E');
  EXPECT_EQ(quoted.run, "http://example.com/x.htm");
  EXPECT_EQ(quoted.cx, 800);
  EXPECT_EQ(quoted.cy, 600);
  EXPECT_EQ(quoted.redirKey, "Software\\KPX");
}

TEST_F(SettingsFileTest, SearchesTheCourseDriveForAPathWithoutDriveLetter) {
  // Drive c: lacks the file; the course is on e:.
  drives_.Write('c', "other/lumo.cfg", "[general]\nrun=x\ntitle=y\n");
  drives_.Write('e', "course/lumo.cfg", "[general]\nrun=d:\\start.htm\ntitle=Course\n");
  ASSERT_TRUE(settings_.Load("\\course\\lumo.cfg"));
  EXPECT_EQ(settings_.drive, 'e');
  // A value that has a drive letter of its own is prefixed all the same.
  EXPECT_EQ(settings_.run, "e:d:\\start.htm");
  // The course drive is now the current drive, at its root.
  EXPECT_EQ(platform::CurrentDrive(), 'e');
  EXPECT_EQ(platform::CurrentDirectory(), "e:\\");
  EXPECT_EQ(prompts_.Log(), "");
}

TEST_F(SettingsFileTest, FailsAsTheOriginalDid) {
  drives_.Write('e', "no-run.cfg", "[general]\ntitle=T\n");
  drives_.Write('e', "no-title.cfg", "[general]\nrun=\\start.htm\ntitle=  \n");
  drives_.Write('e', "binary.cfg", std::string("[general]\0run=x\0\xff\xfe", 18));
  EXPECT_FALSE(settings_.Load("e:\\no-run.cfg"));
  EXPECT_FALSE(settings_.Load("e:\\no-title.cfg"));
  EXPECT_FALSE(settings_.Load(std::string(258, 'x')));  // too long without drive letter
  EXPECT_EQ(prompts_.Log(), "");

  // Not a text file: said so.
  EXPECT_FALSE(settings_.Load("e:\\binary.cfg"));
  std::string log = prompts_.Log();
  EXPECT_TRUE(log.starts_with("Settings::Load() error\te:\\\\binary.cfg is not a settings file:"))
      << log;

  // A missing file: "Unable to open" until the user cancels, then once more.
  prompts_.Answer("Retry\nCancel\n");
  EXPECT_FALSE(settings_.Load("e:\\missing.cfg"));
  EXPECT_EQ(prompts_.Log(Beeps::kDrop),
            "Lumo\tUnable to open e:\\\\missing.cfg.\t0x35\tRetry\n"
            "Lumo\tUnable to open e:\\\\missing.cfg.\t0x35\tCancel\n"
            "Lumo\tUnable to open e:\\\\missing.cfg.\t0x35\tCancel\n");

  // No drive holds the file: the CD-ROM prompt, and Cancel ends it. An
  // address in capital letters is no address, and is looked for the same way.
  prompts_.Answer("Cancel\nCancel\n");
  EXPECT_FALSE(settings_.Load("\\course\\lumo.cfg"));
  EXPECT_FALSE(settings_.Load("HTTP://127.0.0.1/config"));
  log = prompts_.Log(Beeps::kDrop);
  EXPECT_EQ(log,
            "Lumo\tCannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned on and the "
            "correct disc is present.\t0x35\tCancel\n"
            "Lumo\tCannot find the CD-ROM;\\n\\nmake sure your CD-ROM drive is turned on and the "
            "correct disc is present.\t0x35\tCancel\n");

  // Longer than 259 characters: refused with a message instead of cut.
  prompts_.Answer("");
  EXPECT_FALSE(settings_.Load("e:\\" + std::string(257, 'x')));
  EXPECT_TRUE(prompts_.Log().starts_with(
      "Settings::Load() error\tThe settings location is longer than 259 characters:\\ne:\\\\xxx"));
}

// A configuration server on 127.0.0.1.
class SettingsAddressTest : public ::testing::Test {
 protected:
  std::string Url(std::string_view path) const { return server_.url(path); }
  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server_.requests()) targets.push_back(request.target);
    return targets;
  }

  DriveLinks drives_;
  PromptScript prompts_;
  LoopbackServer server_;
  Settings settings_;
};

TEST_F(SettingsAddressTest, ReadsAConfigurationDocument) {
  server_.Reply("GET", "/config.asp",
                "cx=1024\r\ncy= 700 \r\nrun= http://127.0.0.1/course/start.htm \r\n"
                "title=Welding\r\nredirKey=Software\\Vellora\r\n");
  ASSERT_TRUE(settings_.Load(Url("/config.asp")));
  EXPECT_EQ(settings_.run, "http://127.0.0.1/course/start.htm");
  EXPECT_EQ(settings_.title, "Welding");
  EXPECT_EQ(settings_.cx, 1024);
  EXPECT_EQ(settings_.cy, 700);
  EXPECT_EQ(settings_.redirKey, "Software\\Vellora");
  ASSERT_EQ(server_.request_count(), 1u);
  const auto request = server_.last_request();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.Header("User-Agent"), "Lumo via WinHTTP");
  EXPECT_EQ(request.body, "");

  // No redirKey in a document means none, not the default; "cx=" is 0.
  server_.Reply("GET", "/bare.asp", "cx=\nrun=start.htm\ntitle=T\n");
  Settings bare;
  ASSERT_TRUE(bare.Load(Url("/bare.asp")));
  EXPECT_EQ(bare.redirKey, "");
  EXPECT_EQ(bare.cx, 0);
  EXPECT_EQ(bare.cy, 600);
  EXPECT_EQ(bare.run, "start.htm");
  EXPECT_EQ(prompts_.Log(), "");
}

TEST_F(SettingsAddressTest, FollowsSessionChains) {
  server_.Reply("GET", "/a.asp", "run=" + Url("/b.asp") + "\nsessionID=S1\ntitle=ignored\n");
  server_.Reply("GET", "/b.asp", "run=http://127.0.0.1/start.htm\ntitle=Chained\ncx=640\n");
  ASSERT_TRUE(settings_.Load(Url("/a.asp")));
  EXPECT_EQ(Targets(), (std::vector<std::string>{"/a.asp", "/b.asp?SessionState=S1"}));
  EXPECT_EQ(server_.last_request().Header("User-Agent"), "Lumo via WinHTTP");
  // The previous link's session id goes on the start page too.
  EXPECT_EQ(settings_.run, "http://127.0.0.1/start.htm?SessionState=S1");
  EXPECT_EQ(settings_.sessionID, "");
  EXPECT_EQ(settings_.title, "Chained");
  EXPECT_EQ(settings_.cx, 640);

  // A settings file with a session id hands over to the server; its own
  // title, size and redirect key do not count.
  server_.ClearRequests();
  drives_.Write(
      'e', "lumo.cfg",
      "[general]\nrun=" + Url("/b.asp") + "\nsessionID=F1\ntitle=Own\ncx=1\nredirKey=Own\n");
  Settings chained;
  ASSERT_TRUE(chained.Load("e:\\lumo.cfg"));
  EXPECT_EQ(Targets(), std::vector<std::string>{"/b.asp?SessionState=F1"});
  EXPECT_EQ(chained.run, "http://127.0.0.1/start.htm?SessionState=F1");
  EXPECT_EQ(chained.title, "Chained");
  EXPECT_EQ(chained.cx, 640);
  EXPECT_EQ(chained.redirKey, "");
  EXPECT_EQ(prompts_.Log(), "");
}

// From the third link on, a chained address carries two session queries,
// which cpp-httplib refuses: these chains go to a plainer server.
TEST_F(SettingsAddressTest, CarriesEachLinksSessionIdToTheNext) {
  std::string base;
  RawHttpServer raw([&](const std::string& target) -> std::string {
    if (target.starts_with("/a.asp")) return "run=" + base + "/b.asp\nsessionID=S1\n";
    if (target.starts_with("/b.asp")) return "run=" + base + "/c.asp\nsessionID=S2\n";
    return "run=http://127.0.0.1/start.htm\ntitle=Chained\n";
  });
  base = raw.url("");
  ASSERT_TRUE(settings_.Load(raw.url("/a.asp")));
  EXPECT_EQ(raw.targets(), (std::vector<std::string>{
                               "/a.asp",
                               "/b.asp?SessionState=S1",
                               "/c.asp?SessionState=S1?SessionState=S2",
                           }));
  EXPECT_EQ(raw.last_header("User-Agent"), "Lumo via WinHTTP");
  EXPECT_EQ(settings_.run, "http://127.0.0.1/start.htm?SessionState=S2");
  EXPECT_EQ(prompts_.Log(), "");
}

TEST_F(SettingsAddressTest, EndsAnEndlessChainWithAMessage) {
  std::string loop;
  RawHttpServer raw([&](const std::string&) { return "run=" + loop + "\nsessionID=L\n"; });
  loop = raw.url("/loop.asp");
  EXPECT_FALSE(settings_.Load(loop));
  const std::vector<std::string> targets = raw.targets();
  ASSERT_EQ(targets.size(), static_cast<size_t>(kMaxSessionLinks));
  EXPECT_EQ(targets.back(), "/loop.asp?SessionState=L?SessionState=L");
  EXPECT_EQ(prompts_.Log(),
            "Settings::Load() error\tThe settings lead through more than 16 session links; the "
            "last one was:\\n" +
                loop + "?SessionState=L?SessionState=L\t0x0\tOK\n");

  // A chain whose addresses keep growing ends at the length limit first.
  std::string base;
  RawHttpServer growing(
      [&](const std::string& target) { return "run=" + base + target + "x\nsessionID=L\n"; });
  base = growing.url("");
  prompts_.Answer("");
  Settings grown;
  EXPECT_FALSE(grown.Load(growing.url("/g")));
  EXPECT_TRUE(prompts_.Log().starts_with(
      "Settings::Load() error\tThe settings location is longer than 259 characters:"))
      << prompts_.Log();
}

TEST_F(SettingsAddressTest, ShowsTheDocumentWhenRunIsMissing) {
  server_.Reply("GET", "/norun.asp", "title=T\ncx=5\n<b>error</b>\n");
  EXPECT_FALSE(settings_.Load(Url("/norun.asp")));
  EXPECT_EQ(prompts_.Log(),
            "Settings::Load() error\tConfig from http:// returned no 'run' parameter\t0x0\tOK\n"
            "Config String Was:\ttitle=T\\ncx=5\\n<b>error</b>\\n\t0x0\tOK\n");

  EXPECT_EQ(settings_.failure(), "the settings from " + Url("/norun.asp") + " have no 'run'");

  // A server that is not there is named, with the reason.
  prompts_.Answer("");
  EXPECT_FALSE(settings_.Load("http://127.0.0.1:1/config.asp"));
  EXPECT_TRUE(
      prompts_.Log().starts_with("Settings::Load() error\tCannot read the settings from "
                                 "the server http://127.0.0.1:1/config.asp:\\n"))
      << prompts_.Log();
  EXPECT_TRUE(settings_.failure().starts_with(
      "cannot read the settings from the server http://127.0.0.1:1/config.asp: "))
      << settings_.failure();

  // An error page counts as the document, whatever its status.
  prompts_.Answer("");
  server_.Reply("GET", "/broken.asp", "Server Error", 500);
  EXPECT_FALSE(settings_.Load(Url("/broken.asp")));
  EXPECT_NE(prompts_.Log().find("Config String Was:\tServer Error\t"), std::string::npos);

  // A document larger than the cap is refused whole.
  prompts_.Answer("");
  server_.Reply("GET", "/huge.asp", "run=x\ntitle=T\n" + std::string(kMaxConfigDocumentBytes, 'x'));
  EXPECT_FALSE(settings_.Load(Url("/huge.asp")));
  EXPECT_NE(prompts_.Log().find("Cannot read the settings from the server"), std::string::npos);

  // Without a title.
  prompts_.Answer("");
  server_.Reply("GET", "/notitle.asp", "run=x.htm\n");
  EXPECT_FALSE(settings_.Load(Url("/notitle.asp")));
  EXPECT_EQ(prompts_.Log(),
            "Settings::Load() error\tConfig from http:// returned no 'title' parameter\t0x0\tOK\n");
  EXPECT_EQ(settings_.run, "x.htm");  // partly written
}

TEST_F(SettingsAddressTest, ReadsWindows1252Documents) {
  server_.Reply("GET", "/ansi.asp", "run=x\ntitle=Caf\xe9 Cr\xe8me\n");
  ASSERT_TRUE(settings_.Load(Url("/ansi.asp")));
  EXPECT_EQ(settings_.title, "Caf\xC3\xA9 Cr\xC3\xA8me");
  server_.Reply("GET", "/utf8.asp", "run=x\ntitle=Caf\xC3\xA9\n");
  ASSERT_TRUE(settings_.Load(Url("/utf8.asp")));
  EXPECT_EQ(settings_.title, "Caf\xC3\xA9");
}

}  // namespace
}  // namespace norwin::host
