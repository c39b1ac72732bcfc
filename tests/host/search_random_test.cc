// Random queries and random index files against the search: results must
// match a plain model of the query rules, and nothing may ever break the page.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/support/course_drive.h"
#include "norwin/host/index_builder.h"
#include "norwin/host/search.h"

namespace norwin::host {
namespace {

const std::string kHead =
    "<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n<LINK REL=stylesheet HREF=\"main.css\" "
    "TYPE=\"text/css\">\n</HEAD>\n<BODY  style=\"background-image: url(back.gif)\">\n"
    "<BR>\n<HR WIDTH=\"90%\"></CENTER>\n<BR>";
const std::string kTail = "</BODY></HTML>";

// The words of the pages, as UTF-8 text a query may hold, many of them
// sorting next to each other only by accents and expansions, so that the
// search's bisection must follow the builder's order exactly; and words that
// no page has.
const std::vector<std::string> kVocabulary = {
    "apple", "pear",    "plum",        "cote",       "c\u00F4te", "coter",         "\u00E6on",
    "aeon",  "straSSE", "stra\u00DFe", "na\u00EFve", "NAIVE",     "\u00C9T\u00C9", "ete",
    "d",     "\u00F0",  "zebra",       "x1",         "2003",      "\u0152uvre",    "oeuvre"};
const std::vector<std::string> kMissing = {"cherry", "ap", "applex", "aaaaaaaaaaaaaaaaaaaaaaaaa",
                                           "\xCF\x80"};

std::string RandomCase(std::string word, std::mt19937& rng) {
  for (char& c : word)
    if (c >= 'a' && c <= 'z' && rng() % 2) c = static_cast<char>(c - 32);
  return word;
}

// Whether the body is a run of well-formed links, or one of the fixed bodies.
bool WellFormedBody(const std::string& body) {
  static const std::set<std::string> kFixed = {
      "<B>Unable to open titles file</B>", "<B>Insufficient Memory</B>", "<B>Search Error</B>",
      "<B>No Matches Found</B>", "<B>Error reading title file</B>"};
  if (kFixed.count(body)) return true;
  const std::string open = "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"";
  const std::string close = "</A><BR>\n";
  size_t at = 0;
  while (at < body.size()) {
    if (body.compare(at, open.size(), open) != 0) return false;
    const size_t end = body.find(close, at);
    if (end == std::string::npos) return false;
    at = end + close.size();
  }
  return !body.empty();
}

class SearchRandomTest : public ::testing::Test {
 protected:
  static constexpr int kPages = 70;

  void SetUp() override {
    std::mt19937 rng(1234);
    IndexBuilder builder;
    pages_of_.resize(kVocabulary.size());
    for (int page = 0; page < kPages; ++page) {
      std::string text = "<title>Page " + std::to_string(page) + "</title>";
      for (size_t w = 0; w < kVocabulary.size(); ++w) {
        if (rng() % 3 == 0) {
          text += " " + kVocabulary[w];
          pages_of_[w].insert(page);
        }
      }
      ASSERT_TRUE(builder.AddPage("\\p" + std::to_string(page) + ".htm", text).ok());
    }
    ASSERT_TRUE(builder.Write(drive_.root() / "w", drive_.root() / "v", drive_.root() / "t").ok());
    ASSERT_TRUE(search_.ConfigureSearch("\\w", "\\v", "\\t"));
  }

  std::string Expected(const std::set<int>& pages) const {
    if (pages.empty()) return kHead + "<B>No Matches Found</B>" + kTail;
    std::string body;
    for (int p : pages)
      body += "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\p" + std::to_string(p) + ".htm\">Page " +
              std::to_string(p) + "</A><BR>\n";
    return kHead + body + kTail;
  }

  testing::CourseDrive drive_{'q'};
  SearchService search_{'q'};
  std::vector<std::set<int>> pages_of_;
};

TEST_F(SearchRandomTest, QueriesGiveWhatTheRulesSay) {
  std::mt19937 rng(99);
  const char* const kOperators[] = {"", "and", "or", "not"};
  for (int round = 0; round < 400; ++round) {
    std::string query = std::string(rng() % 3, ' ');
    std::set<int> pages;
    const int terms = 1 + static_cast<int>(rng() % 5);
    for (int t = 0; t < terms; ++t) {
      const std::string op = kOperators[rng() % 4];
      const bool known = rng() % 5 != 0;
      const size_t index = rng() % (known ? kVocabulary.size() : kMissing.size());
      const std::string word = known ? kVocabulary[index] : kMissing[index];
      if (!op.empty()) query += RandomCase(op, rng) + std::string(1 + rng() % 3, ' ');
      query += RandomCase(word, rng) + std::string(1 + rng() % 2, ' ');
      if (!known) continue;
      const std::set<int>& has = pages_of_[index];
      std::set<int> next;
      if (op == "and") {
        for (int p : pages)
          if (has.count(p)) next.insert(p);
      } else if (op == "not") {
        for (int p : pages)
          if (!has.count(p)) next.insert(p);
      } else {
        next = pages;
        next.insert(has.begin(), has.end());
      }
      pages = std::move(next);
    }
    ASSERT_EQ(search_.Search(query), Expected(pages)) << query;
  }
}

TEST_F(SearchRandomTest, RandomBytesNeverBreakThePage) {
  std::mt19937 rng(5);
  const std::string alphabet = std::string("aenot dpl  \t\r\n\xC3\xA9\xCF\x80\xFF\x80", 19) + '\0';
  for (int round = 0; round < 3000; ++round) {
    std::string query;
    const size_t length = rng() % (round % 100 == 0 ? 20000 : 60);
    for (size_t i = 0; i < length; ++i)
      query += rng() % 2 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 256);
    if (rng() % 4 == 0) query = "apple " + query;
    const std::string page = search_.Search(query);
    ASSERT_TRUE(page.starts_with(kHead) && page.ends_with(kTail));
    ASSERT_TRUE(
        WellFormedBody(page.substr(kHead.size(), page.size() - kHead.size() - kTail.size())));
  }
}

TEST(SearchRandomFilesTest, RandomIndexFilesNeverBreakThePage) {
  testing::CourseDrive drive('q');
  SearchService search('q');
  ASSERT_TRUE(search.ConfigureSearch("\\w", "\\v", "\\t"));
  std::mt19937 rng(77);
  auto random_bytes = [&rng](size_t n, const std::string& bias) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
      out += rng() % 2 ? bias[rng() % bias.size()] : static_cast<char>(rng() % 256);
    return out;
  };
  for (int round = 0; round < 300; ++round) {
    drive.Write("w", random_bytes(rng() % 300, std::string("apple\0", 6)));
    drive.Write("v", random_bytes(rng() % 200, std::string("\0\xFF", 2)));
    drive.Write("t", random_bytes(rng() % 3000, std::string("<>&\"\0", 5)));
    for (const char* query : {"apple", "a or e and p not l", "", "\xFF\xFF"}) {
      const std::string page = search.Search(query);
      ASSERT_TRUE(page.starts_with(kHead) && page.ends_with(kTail));
      ASSERT_TRUE(
          WellFormedBody(page.substr(kHead.size(), page.size() - kHead.size() - kTail.size())));
    }
  }
}

}  // namespace
}  // namespace norwin::host
