#include "norwin/host/index_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> WordsOf(const std::string& word_file) {
  std::vector<std::string> out;
  for (size_t at = 0; at + 20 <= word_file.size(); at += 20)
    out.emplace_back(word_file.c_str() + at);  // up to the NUL
  return out;
}

// Pages listed in record `k` of a vector file of `pages` pages.
std::vector<uint32_t> PagesOf(const std::string& vectors, size_t k, uint32_t pages) {
  const size_t words = pages / 32 + 1;
  std::vector<uint32_t> out;
  for (uint32_t page = 0; page < 32 * words; ++page) {
    const size_t word = k * words + page / 32;
    uint32_t value = 0;
    for (int b = 0; b < 4; ++b)
      value |= static_cast<uint32_t>(static_cast<unsigned char>(vectors[4 * word + b])) << (8 * b);
    if (value & (0x80000000u >> (page % 32))) out.push_back(page);
  }
  return out;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(IndexBuilderTest, WritesSortedWordsTheirPagesAndTitleRecords) {
  IndexBuilder builder;
  ASSERT_TRUE(builder
                  .AddPage("\\lesson1\\intro.htm",
                           "<title>Intro</title><p>Zebra apple \xC3\xA9t\xC3\xA9 Apple</p>")
                  .ok());
  ASSERT_TRUE(builder.AddPage("\\lesson1\\caf\xC3\xA9.htm", "<p>apple ete</p>").ok());
  EXPECT_EQ(builder.page_count(), 2u);
  EXPECT_EQ(builder.word_count(), 5u);
  const IndexFiles files = builder.Build();

  const std::vector<std::string> words = WordsOf(files.words);
  EXPECT_EQ(words, std::vector<std::string>({"apple", "ete", "\xE9t\xE9", "intro", "zebra"}));
  EXPECT_EQ(files.words.size(), 5u * 20);
  EXPECT_EQ(files.words.substr(20, 20), std::string("ete") + std::string(17, '\0'));

  ASSERT_EQ(files.vectors.size(), 5u * 4);  // one 32-bit word a record for 2 pages
  EXPECT_EQ(files.vectors.substr(0, 4), std::string("\0\0\0\xC0", 4));  // apple: pages 0 and 1
  EXPECT_EQ(PagesOf(files.vectors, 1, 2), std::vector<uint32_t>({1}));
  EXPECT_EQ(PagesOf(files.vectors, 2, 2), std::vector<uint32_t>({0}));
  EXPECT_EQ(PagesOf(files.vectors, 4, 2), std::vector<uint32_t>({0}));

  ASSERT_EQ(files.titles.size(), 2u * 512);
  EXPECT_EQ(std::string(files.titles.c_str()), "Intro");
  EXPECT_EQ(std::string(files.titles.c_str() + 256), "\\lesson1\\intro.htm");
  // Without a title the page is named by its file name, in Windows-1252.
  EXPECT_EQ(std::string(files.titles.c_str() + 512), "caf\xE9.htm");
  EXPECT_EQ(std::string(files.titles.c_str() + 768), "\\lesson1\\caf\xE9.htm");
  EXPECT_EQ(files.titles.substr(512 + 8, 248), std::string(248, '\0'));
}

TEST(IndexBuilderTest, CutsTitlesAndRefusesPathsTheIndexCannotHold) {
  IndexBuilder builder;
  ASSERT_TRUE(builder.AddPage("\\long.htm", "<title>" + std::string(300, 'T') + "</title>").ok());
  const IndexFiles files = builder.Build();
  EXPECT_EQ(std::string(files.titles.c_str()), std::string(255, 'T'));
  EXPECT_EQ(files.titles[255], '\0');

  const std::string longest = "\\" + std::string(250, 'p') + ".htm";  // 255 bytes
  EXPECT_TRUE(builder.AddPage(longest, "x").ok());
  EXPECT_FALSE(builder.AddPage(longest + "l", "x").ok());
  EXPECT_FALSE(builder.AddPage("\\\xCF\x80.htm", "x").ok());  // π has no Windows-1252 byte
  EXPECT_EQ(builder.page_count(), 2u);
  EXPECT_EQ(builder.Build().titles.size(), 2u * 512);
}

TEST(IndexBuilderTest, VectorRecordsGrowAtEveryThirtySecondPage) {
  for (uint32_t pages : {1u, 31u, 32u, 33u, 64u}) {
    SCOPED_TRACE(pages);
    IndexBuilder builder;
    for (uint32_t i = 0; i < pages; ++i) {
      const std::string words =
          "all " + std::string(i % 2 ? "odd" : "even") + (i == pages - 1 ? " last" : "");
      ASSERT_TRUE(builder.AddPage("\\p" + std::to_string(i) + ".htm", words).ok());
    }
    const IndexFiles files = builder.Build();
    const size_t record = 4 * (pages / 32 + 1);
    EXPECT_EQ(files.vectors.size(), builder.word_count() * record);
    const std::vector<std::string> words = WordsOf(files.words);
    const size_t last = std::find(words.begin(), words.end(), "last") - words.begin();
    EXPECT_EQ(PagesOf(files.vectors, last, pages), std::vector<uint32_t>({pages - 1}));
    EXPECT_EQ(PagesOf(files.vectors, 0, pages).size(), pages);  // "all"
  }
}

TEST(IndexBuilderTest, AFailedWriteChangesNoFile) {
  testing::TempDir dir;
  IndexBuilder old_index;
  ASSERT_TRUE(old_index.AddPage("\\old.htm", "old").ok());
  ASSERT_TRUE(old_index.Write(dir.path() / "w", dir.path() / "v", dir.path() / "t").ok());
  const std::string old_words = ReadAll(dir.path() / "w");

  IndexBuilder new_index;
  ASSERT_TRUE(new_index.AddPage("\\new.htm", "new").ok());
  const Status s =
      new_index.Write(dir.path() / "w", dir.path() / "v", dir.path() / "missing" / "t");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find((dir.path() / "missing" / "t").string()), std::string::npos)
      << s.message();
  EXPECT_EQ(s.message().find(".new"), std::string::npos) << s.message();
  EXPECT_EQ(ReadAll(dir.path() / "w"), old_words);
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u);  // no stand-ins left behind
}

class CourseIndexTest : public ::testing::Test {
 protected:
  void Write(const std::string& relative, const std::string& bytes) {
    const fs::path file = dir_.path() / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
  }
  CourseIndexOptions Options(const std::string& course, const std::string& root = "") {
    CourseIndexOptions o;
    o.course_folder = dir_.path() / course;
    if (!root.empty()) o.drive_root = dir_.path() / root;
    o.word_file = dir_.path() / "w.idx";
    o.vector_file = dir_.path() / "v.idx";
    o.title_file = dir_.path() / "t.idx";
    return o;
  }
  std::vector<std::string> Paths() {
    const std::string titles = ReadAll(dir_.path() / "t.idx");
    std::vector<std::string> out;
    for (size_t at = 0; at + 512 <= titles.size(); at += 512)
      out.emplace_back(titles.c_str() + at + 256);
    return out;
  }
  testing::TempDir dir_;
};

TEST_F(CourseIndexTest, IndexesEveryPageBelowTheFolderInSortedOrder) {
  Write("disc/course/b.htm", "b");
  Write("disc/course/A.HTML", "a");
  Write("disc/course/lesson2/x.Htm", "x");
  Write("disc/course/lesson1/z.htm", "z");
  Write("disc/course/notes.txt", "not a page");
  Write("disc/course/page.htm.bak", "not a page");
  fs::create_directories(dir_.path() / "disc/course/empty.htm");  // a folder, not a page

  std::vector<std::pair<size_t, size_t>> progress;
  Result<CourseIndexSummary> summary =
      BuildCourseIndex(Options("disc/course"),
                       [&](size_t done, size_t total) { progress.emplace_back(done, total); });
  ASSERT_TRUE(summary.ok()) << summary.message();
  EXPECT_EQ(summary->pages, 4u);
  EXPECT_EQ(summary->words, 4u);
  EXPECT_TRUE(summary->warnings.empty());
  EXPECT_EQ(Paths(), std::vector<std::string>(
                         {"\\A.HTML", "\\b.htm", "\\lesson1\\z.htm", "\\lesson2\\x.Htm"}));
  EXPECT_EQ(progress, (std::vector<std::pair<size_t, size_t>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));

  // With the disc as the drive root, paths begin at the disc.
  ASSERT_TRUE(BuildCourseIndex(Options("disc/course", "disc")).ok());
  EXPECT_EQ(Paths().front(), "\\course\\A.HTML");
}

TEST_F(CourseIndexTest, ReportsWhatItCannotDo) {
  Result<CourseIndexSummary> missing = BuildCourseIndex(Options("nowhere"));
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.message(),
            "cannot read " + (dir_.path() / "nowhere").string() + ": No such file or directory");
  EXPECT_FALSE(fs::exists(dir_.path() / "w.idx"));

  Write("course/a.htm", "a");
  Write("elsewhere/x.htm", "x");
  Result<CourseIndexSummary> outside = BuildCourseIndex(Options("course", "elsewhere"));
  ASSERT_FALSE(outside.ok());
  EXPECT_NE(outside.message().find("is not inside"), std::string::npos) << outside.message();

  // An empty course gives an empty index, and a word about it.
  fs::create_directories(dir_.path() / "empty");
  Result<CourseIndexSummary> empty = BuildCourseIndex(Options("empty"));
  ASSERT_TRUE(empty.ok()) << empty.message();
  EXPECT_EQ(empty->pages, 0u);
  EXPECT_EQ(empty->warnings.size(), 1u);
  EXPECT_EQ(fs::file_size(dir_.path() / "t.idx"), 0u);

  // A page whose name the index cannot hold is left out with a warning.
  Write("course/\xCF\x80.htm", "pi");
  Result<CourseIndexSummary> summary = BuildCourseIndex(Options("course"));
  ASSERT_TRUE(summary.ok()) << summary.message();
  EXPECT_EQ(summary->pages, 1u);
  ASSERT_EQ(summary->warnings.size(), 1u);
  EXPECT_NE(summary->warnings[0].find("\\\xCF\x80.htm"), std::string::npos);
}

}  // namespace
}  // namespace norwin::host
