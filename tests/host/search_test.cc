#include "norwin/host/search.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/support/course_drive.h"

namespace norwin::host {
namespace {

const std::string kHead =
    "<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n<LINK REL=stylesheet HREF=\"main.css\" "
    "TYPE=\"text/css\">\n</HEAD>\n<BODY  style=\"background-image: url(back.gif)\">\n"
    "<BR>\n<HR WIDTH=\"90%\"></CENTER>\n<BR>";
const std::string kTail = "</BODY></HTML>";

std::string Page(const std::string& body) { return kHead + body + kTail; }

std::string Link(const std::string& target, const std::string& title) {
  return "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"" + target + "\">" + title + "</A><BR>\n";
}

// Index files written byte by byte, as an index builder of any make would.
std::string WordRecords(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += w + std::string(20 - w.size(), '\0');
  return out;
}

// One record per entry of `pages_of_word` for an index of `pages` pages.
std::string VectorRecords(uint32_t pages, const std::vector<std::vector<uint32_t>>& pages_of_word) {
  const uint32_t words = pages / 32 + 1;
  std::string out;
  for (const auto& list : pages_of_word) {
    std::vector<uint32_t> record(words, 0);
    for (uint32_t page : list) record[page / 32] |= 0x80000000u >> (page % 32);
    for (uint32_t w : record)
      for (int byte = 0; byte < 4; ++byte) out += static_cast<char>((w >> (8 * byte)) & 0xFF);
  }
  return out;
}

std::string TitleRecord(const std::string& title, const std::string& path) {
  return title + std::string(256 - title.size(), '\0') + path +
         std::string(256 - path.size(), '\0');
}

std::string TitleRecords(uint32_t pages) {
  std::string out;
  for (uint32_t i = 0; i < pages; ++i)
    out += TitleRecord("Page " + std::to_string(i), "\\p" + std::to_string(i) + ".htm");
  return out;
}

// The links of pages `pages` as TitleRecords(n) names them, on drive q.
std::string Links(const std::vector<uint32_t>& pages) {
  std::string out;
  for (uint32_t i : pages)
    out += Link("q:\\p" + std::to_string(i) + ".htm", "Page " + std::to_string(i));
  return out;
}

class SearchTest : public ::testing::Test {
 protected:
  // Writes the three files below \index on the course drive and configures them.
  void Index(const std::string& words, const std::string& vectors, const std::string& titles) {
    drive_.Write("index/words.idx", words);
    drive_.Write("index/vectors.idx", vectors);
    drive_.Write("index/titles.idx", titles);
    ASSERT_TRUE(search_.ConfigureSearch("\\index\\words.idx", "\\index\\vectors.idx",
                                        "\\index\\titles.idx"));
  }

  // A small index of 40 pages: "apple" on 0-9, "pear" on 5-14 and 31-33,
  // "plum" on 10-19 and 32, "zebra" on 39.
  void FruitIndex() {
    Index(WordRecords({"apple", "pear", "plum", "zebra"}),
          VectorRecords(40, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                             {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 31, 32, 33},
                             {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 32},
                             {39}}),
          TitleRecords(40));
  }

  testing::CourseDrive drive_{'q'};
  SearchService search_{'q'};
};

TEST_F(SearchTest, AnswersWithTheExactPageForASmallIndex) {
  Index(WordRecords({"caf\xE9", "menu", "tea"}), VectorRecords(3, {{1}, {0, 1}, {2}}),
        TitleRecord("Welcome", "\\lesson1\\intro.htm") +
            TitleRecord("Caf\xE9 <Menu> & \x93prices\x94", "\\lesson2\\caf\xE9 \"&\".htm") +
            TitleRecord("Tea", "\\tea.htm"));
  EXPECT_EQ(
      search_.Search("menu"),
      kHead +
          "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\lesson1\\intro.htm\">Welcome</A><BR>\n"
          "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"q:\\lesson2\\caf\xC3\xA9 &quot;&amp;&quot;.htm\">"
          "Caf\xC3\xA9 &lt;Menu&gt; & \xE2\x80\x9Cprices\xE2\x80\x9D</A><BR>\n" +
          kTail);
  // The query is UTF-8 and compared as Windows-1252.
  EXPECT_EQ(search_.Search("CAF\xC3\x89"),
            Page(Link("q:\\lesson2\\caf\xC3\xA9 &quot;&amp;&quot;.htm",
                      "Caf\xC3\xA9 &lt;Menu&gt; & \xE2\x80\x9C"
                      "prices\xE2\x80\x9D")));
  EXPECT_EQ(search_.Search("coffee"), Page("<B>No Matches Found</B>"));
  EXPECT_EQ(search_.Search(""), Page("<B>No Matches Found</B>"));
}

TEST_F(SearchTest, NeedsACourseDriveAndItsFiles) {
  // Before any configuration there is no title file to open.
  EXPECT_EQ(search_.Search("apple"), Page("<B>Unable to open titles file</B>"));

  SearchService no_drive('\0');
  EXPECT_FALSE(no_drive.ConfigureSearch("\\w", "\\v", "\\t"));
  EXPECT_EQ(no_drive.word_file(), "");
  EXPECT_EQ(no_drive.Search("apple"), Page("<B>Unable to open titles file</B>"));

  FruitIndex();
  EXPECT_EQ(search_.word_file(), "q:\\index\\words.idx");
  EXPECT_EQ(search_.title_file(), "q:\\index\\titles.idx");
  // A failed configuration keeps the one before.
  search_.SetCourseDrive('\0');
  EXPECT_FALSE(search_.ConfigureSearch("\\x", "\\y", "\\z"));
  EXPECT_EQ(search_.Search("zebra"), Page(Links({39})));

  // Without the word or the vector file the query cannot be evaluated.
  std::filesystem::remove(drive_.root() / "index" / "vectors.idx");
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Search Error</B>"));
  std::filesystem::remove(drive_.root() / "index" / "words.idx");
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Search Error</B>"));
  std::filesystem::remove(drive_.root() / "index" / "titles.idx");
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Unable to open titles file</B>"));
  // A folder where the title file should be is no title file.
  std::filesystem::create_directory(drive_.root() / "index" / "titles.idx");
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Unable to open titles file</B>"));
  // Nor is a FIFO (opening it must not wait for a writer) or a device (an
  // endless one must not be read or mapped): the search answers at once.
  std::filesystem::remove(drive_.root() / "index" / "titles.idx");
  ASSERT_EQ(mkfifo((drive_.root() / "index" / "titles.idx").c_str(), 0600), 0);
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Unable to open titles file</B>"));
  std::filesystem::remove(drive_.root() / "index" / "titles.idx");
  drive_.Write("index/titles.idx", TitleRecords(40));
  drive_.Write("index/vectors.idx", VectorRecords(40, {{39}}));
  std::filesystem::create_symlink("/dev/zero", drive_.root() / "index" / "words.idx");
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Search Error</B>"));
}

// The files are mapped once and kept between queries: every way an index
// can change under a running host must show in the next query.
TEST_F(SearchTest, FollowsIndexFilesThatChangeBetweenQueries) {
  // Configured before the files exist: they are found once they do.
  ASSERT_TRUE(
      search_.ConfigureSearch("\\index\\words.idx", "\\index\\vectors.idx", "\\index\\titles.idx"));
  EXPECT_EQ(search_.Search("zebra"), Page("<B>Unable to open titles file</B>"));
  FruitIndex();
  EXPECT_EQ(search_.Search("zebra"), Page(Links({39})));

  // Rewritten in place, same size: the word at record 3 is now "yak".
  {
    std::fstream words(drive_.root() / "index" / "words.idx",
                       std::ios::in | std::ios::out | std::ios::binary);
    words.seekp(3 * 20);
    words.write("yak\0\0", 5);
  }
  EXPECT_EQ(search_.Search("yak"), Page(Links({39})));
  EXPECT_EQ(search_.Search("zebra"), Page("<B>No Matches Found</B>"));

  // Cut short in place: two words left.
  std::filesystem::resize_file(drive_.root() / "index" / "words.idx", 2 * 20);
  EXPECT_EQ(search_.Search("pear or yak"),
            Page(Links({5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 31, 32, 33})));

  // The drive pointed at another disc with an index of its own.
  testing::TempDir other;
  std::filesystem::create_directories(other.path() / "index");
  for (const auto& [name, bytes] :
       {std::pair<std::string, std::string>{"words.idx", WordRecords({"kiwi"})},
        {"vectors.idx", VectorRecords(2, {{1}})},
        {"titles.idx", TitleRecord("Other", "\\other.htm") + TitleRecord("Kiwi", "\\kiwi.htm")}})
    std::ofstream(other.path() / "index" / name, std::ios::binary) << bytes;
  const std::filesystem::path link = platform::DrivesDir() / "q";
  std::filesystem::remove(link);
  std::filesystem::create_directory_symlink(other.path(), link);
  EXPECT_EQ(search_.Search("kiwi"), Page(Link("q:\\kiwi.htm", "Kiwi")));
}

// Queries on several threads while the search is configured anew: each sees
// one whole configuration.
TEST_F(SearchTest, AnswersQueriesOnSeveralThreadsWhileConfigured) {
  FruitIndex();
  drive_.Write("other/words.idx", WordRecords({"zebra"}));
  drive_.Write("other/vectors.idx", VectorRecords(2, {{1}}));
  drive_.Write("other/titles.idx", TitleRecords(2));
  const std::string fruit = Page(Links({39}));
  const std::string other = Page(Links({1}));
  std::atomic<bool> done = false;
  std::atomic<int> wrong = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      while (!done) {
        const std::string page = search_.Search("zebra");
        if (page != fruit && page != other) ++wrong;
      }
    });
  }
  for (int i = 0; i < 200; ++i) {
    const std::string folder = i % 2 ? "\\other\\" : "\\index\\";
    ASSERT_TRUE(search_.ConfigureSearch(folder + "words.idx", folder + "vectors.idx",
                                        folder + "titles.idx"));
  }
  done = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(SearchTest, FindsNamesAndWordsWithoutRegardToCase) {
  // Discs were made on a system that ignores case, in file names and words.
  drive_.Write("Index/Words.IDX", WordRecords({"APPLE", "\xC9t\xE9", "Pear"}));
  drive_.Write("Index/Vectors.IDX", VectorRecords(3, {{0}, {2}, {1}}));
  drive_.Write("Index/Titles.IDX", TitleRecords(3));
  ASSERT_TRUE(
      search_.ConfigureSearch("\\index\\words.idx", "\\INDEX\\VECTORS.idx", "\\index\\titles.idx"));
  EXPECT_EQ(search_.Search("apple"), Page(Links({0})));
  EXPECT_EQ(search_.Search("PEAR"), Page(Links({1})));
  EXPECT_EQ(search_.Search("\xC3\xA9T\xC3\x89"), Page(Links({2})));  // "éTÉ"
  EXPECT_EQ(search_.Search("ete"), Page("<B>No Matches Found</B>"));
}

TEST_F(SearchTest, AppliesTermsLeftToRight) {
  FruitIndex();
  // Capitals in words and operators, and runs of blanks, change nothing.
  EXPECT_EQ(search_.Search("APPLE"), search_.Search("apple"));
  EXPECT_EQ(search_.Search("Apple AND Pear"), Page(Links({5, 6, 7, 8, 9})));
  EXPECT_EQ(search_.Search("  apple     and    pear  "), search_.Search("apple and pear"));
  // Only a blank ends an operator word: "and\t" is a word, and not in the index.
  EXPECT_EQ(search_.Search("apple and\tpear"), search_.Search("apple"));

  EXPECT_EQ(search_.Search("apple or zebra"), Page(Links({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 39})));
  EXPECT_EQ(search_.Search("apple zebra"), search_.Search("apple or zebra"));
  EXPECT_EQ(search_.Search("pear not apple"), Page(Links({10, 11, 12, 13, 14, 31, 32, 33})));
  // A leading not-term has nothing to remove; the next term adds.
  EXPECT_EQ(search_.Search("not apple pear"), search_.Search("pear"));
  EXPECT_EQ(search_.Search("not apple not pear"), Page("<B>No Matches Found</B>"));
  EXPECT_EQ(search_.Search("and apple"), Page("<B>No Matches Found</B>"));
  // No precedence: (apple or pear) and plum, not apple or (pear and plum).
  EXPECT_EQ(search_.Search("apple or pear and plum"), Page(Links({10, 11, 12, 13, 14, 32})));
  // A word missing from the index neither adds nor removes pages.
  EXPECT_EQ(search_.Search("apple and cherry"), search_.Search("apple"));
  EXPECT_EQ(search_.Search("apple not cherry"), search_.Search("apple"));
  // "and" at the very end is a word, and not in the index.
  EXPECT_EQ(search_.Search("zebra and"), search_.Search("zebra"));
  // A character outside Windows-1252 makes its word one that cannot match.
  EXPECT_EQ(search_.Search("zebra and apple\xCF\x80"), search_.Search("zebra"));
}

TEST_F(SearchTest, WordsOfTwentyOrMoreCharactersAreNeverFound) {
  const std::string nineteen = "abcdefghijklmnopqrs";
  // A record filled to the end without its NUL holds 20 characters.
  const std::string twenty = nineteen + "t";
  std::string words = WordRecords({"a", nineteen});
  words += twenty;
  Index(words, VectorRecords(3, {{0}, {1}, {2}}), TitleRecords(3));
  EXPECT_EQ(search_.Search(nineteen), Page(Links({1})));
  EXPECT_EQ(search_.Search(twenty), Page("<B>No Matches Found</B>"));
  EXPECT_EQ(search_.Search("a " + twenty + " " + std::string(5000, 'z')), Page(Links({0})));
}

TEST_F(SearchTest, VectorRecordsHaveOneWordMoreThanNeededForWholeGroupsOf32) {
  // 31 pages: records of 4 bytes; 32 pages: 8 bytes, the second word empty
  // but for page 31 in the first.
  for (uint32_t pages : {31u, 32u, 33u, 64u}) {
    SCOPED_TRACE(pages);
    const std::string vectors = VectorRecords(pages, {{0, pages - 1}, {pages / 2}, {pages - 1}});
    EXPECT_EQ(vectors.size(), 3 * 4 * (pages / 32 + 1));
    Index(WordRecords({"first", "middle", "last"}), vectors, TitleRecords(pages));
    EXPECT_EQ(search_.Search("first"), Page(Links({0, pages - 1})));
    EXPECT_EQ(search_.Search("middle"), Page(Links({pages / 2})));
    EXPECT_EQ(search_.Search("last not first or middle"), Page(Links({pages / 2})));
  }
}

TEST_F(SearchTest, IgnoresATrailingPartialTitleRecord) {
  // 33 pages and a piece of a 34th: the index has 33 pages, so records are
  // 8 bytes and a bit for page 33 (the 34th) is not a page.
  Index(WordRecords({"all"}), VectorRecords(33, {{0, 32}}),
        TitleRecords(33) + std::string(300, 'x'));
  EXPECT_EQ(search_.Search("all"), Page(Links({0, 32})));
  std::string vectors = VectorRecords(33, {{0}});
  vectors[7] = static_cast<char>(0x40);  // page 33: bit 0x40000000 of the second word
  Index(WordRecords({"all"}), vectors, TitleRecords(33) + std::string(511, 'x'));
  EXPECT_EQ(search_.Search("all"), Page(Links({0})));
}

TEST_F(SearchTest, SurvivesBrokenIndexFiles) {
  // Vector file shorter than the word file needs: words without a record are
  // skipped, as a missing word is.
  Index(WordRecords({"apple", "pear", "plum"}), VectorRecords(3, {{0}, {1}}).substr(0, 6),
        TitleRecords(3));
  EXPECT_EQ(search_.Search("apple"), Page(Links({0})));
  EXPECT_EQ(search_.Search("apple and pear"), Page(Links({0})));
  EXPECT_EQ(search_.Search("plum"), Page("<B>No Matches Found</B>"));

  // Word file not sorted: bisection misses some words, never more.
  Index(WordRecords({"zebra", "apple", "mango", "kiwi", "banana"}),
        VectorRecords(5, {{0}, {1}, {2}, {3}, {4}}), TitleRecords(5));
  EXPECT_EQ(search_.Search("mango"), Page(Links({2})));
  for (const char* word : {"zebra", "apple", "kiwi", "banana", "nothing"}) {
    const std::string page = search_.Search(word);
    EXPECT_TRUE(page.starts_with(kHead) && page.ends_with(kTail)) << word;
  }

  // Word file size not a multiple of 20: the partial record is no word.
  Index(WordRecords({"apple"}) + "pear", VectorRecords(2, {{0}, {1}}), TitleRecords(2));
  EXPECT_EQ(search_.Search("apple or pear"), Page(Links({0})));

  // Empty files: no words, no pages.
  Index("", "", "");
  EXPECT_EQ(search_.Search("apple"), Page("<B>No Matches Found</B>"));

  // Title and path fields without their NUL end at the field's end.
  Index(WordRecords({"x"}), VectorRecords(1, {{0}}), std::string(256, 'T') + std::string(256, 'P'));
  EXPECT_EQ(search_.Search("x"), Page(Link("q:" + std::string(256, 'P'), std::string(256, 'T'))));
}

}  // namespace
}  // namespace norwin::host
