// The full-text search on an index the size of a large course: 20,000 pages
// and 50,000 words, built once per run with the index builder in a temporary
// course drive. Five-term queries; the counter "matches" says how many pages
// each lists, since reading their titles is part of the answer.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "norwin/host/index_builder.h"
#include "norwin/host/search.h"
#include "norwin/platform/drives.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 20000;
constexpr int kWords = 50000;

// A pronounceable word for every number: "ba", "be", ... "bazu".
std::string WordFor(int n) {
  static const char* const kSyllables[] = {"ba", "ke", "lo", "mi", "nu", "pa", "re", "so",
                                           "ti", "vu", "da", "fe", "go", "hi", "ju", "zo"};
  std::string w = "w";
  do {
    w += kSyllables[n % 16];
    n /= 16;
  } while (n > 0);
  return w;
}

[[noreturn]] void Fail(const std::string& why) {
  fprintf(stderr, "search_bench: %s\n", why.c_str());
  abort();
}

class SearchIndex {
 public:
  SearchIndex() {
    char templ[] = "/tmp/norwin-search-bench-XXXXXX";
    if (!mkdtemp(templ)) Fail("cannot make a temporary folder");
    dir_ = templ;
    fs::create_directories(dir_ / "prefix" / "drives");
    fs::create_directories(dir_ / "disc");
    fs::create_directory_symlink(dir_ / "disc", dir_ / "prefix" / "drives" / "q");
    setenv("NORWIN_PREFIX", (dir_ / "prefix").c_str(), 1);
    norwin::platform::ResetDrivesForTesting();

    // Every word on at least a few pages, common words on many: a page holds
    // five words in turn and a hundred drawn with a long-tailed frequency.
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    norwin::host::IndexBuilder builder;
    pages_of_.assign(kWords, 0);
    for (int page = 0; page < kPages; ++page) {
      std::vector<int> words;
      for (int j = 0; j < 5; ++j) words.push_back((page * 5 + j) % kWords);
      const int first = words.front();
      for (int j = 0; j < 100; ++j)
        words.push_back(static_cast<int>(std::exp(uniform(rng) * std::log(kWords))) - 1);
      std::sort(words.begin(), words.end());
      words.erase(std::unique(words.begin(), words.end()), words.end());
      // Title words come from the vocabulary too, so the index has kWords
      // words (and "lesson").
      std::string html = "<html><head><title>Lesson " + WordFor(first) + " " +
                         WordFor((first + 1) % kWords) + "</title></head><body><p>";
      for (int w : words) {
        html += WordFor(w) + " ";
        ++pages_of_[w];
      }
      html += "</p></body></html>";
      if (norwin::Status s =
              builder.AddPage("\\lessons\\page" + std::to_string(page) + ".htm", html);
          !s.ok())
        Fail(s.message());
    }
    if (norwin::Status s = builder.Write(dir_ / "disc" / "words.idx", dir_ / "disc" / "vectors.idx",
                                         dir_ / "disc" / "titles.idx");
        !s.ok())
      Fail(s.message());
    if (builder.word_count() != kWords + 1)
      Fail("the index has " + std::to_string(builder.word_count()) + " words");
    if (!search_.ConfigureSearch("\\words.idx", "\\vectors.idx", "\\titles.idx"))
      Fail("cannot configure the search");
  }
  ~SearchIndex() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A word found on about `pages` pages.
  std::string WordOnAbout(int pages) const {
    int best = 0;
    for (int w = 0; w < kWords; ++w)
      if (std::abs(pages_of_[w] - pages) < std::abs(pages_of_[best] - pages)) best = w;
    return WordFor(best);
  }

  const norwin::host::SearchService& search() const { return search_; }

 private:
  fs::path dir_;
  norwin::host::SearchService search_{'q'};
  std::vector<int> pages_of_;
};

const SearchIndex& Index() {
  static SearchIndex index;
  return index;
}

void RunQuery(benchmark::State& state, const std::string& query) {
  const auto& search = Index().search();
  size_t matches = 0;
  for (auto _ : state) {
    const std::string page = search.Search(query);
    benchmark::DoNotOptimize(page.data());
    matches = 0;
    for (size_t at = page.find("<A HREF"); at != std::string::npos;
         at = page.find("<A HREF", at + 1))
      ++matches;
  }
  state.counters["matches"] = static_cast<double>(matches);
}

// A reader's query: two common words narrowed down, a rarer one added, one
// left out, a last one added.
void BM_SearchFiveTerms(benchmark::State& state) {
  const SearchIndex& index = Index();
  RunQuery(state, index.WordOnAbout(2000) + " and " + index.WordOnAbout(1000) + " or " +
                      index.WordOnAbout(20) + " not " + index.WordOnAbout(3000) + " or " +
                      index.WordOnAbout(10));
}
BENCHMARK(BM_SearchFiveTerms)->Unit(benchmark::kMicrosecond);

// Five words missing from the index: the cost of the lookups alone.
void BM_SearchFiveMissingWords(benchmark::State& state) {
  RunQuery(state, "zzz and yyy or xxx not www or vvv");
}
BENCHMARK(BM_SearchFiveMissingWords)->Unit(benchmark::kMicrosecond);

// Five common words joined by "or": about a third of the course listed.
void BM_SearchFiveTermsBroad(benchmark::State& state) {
  const SearchIndex& index = Index();
  RunQuery(state, index.WordOnAbout(3000) + " or " + index.WordOnAbout(2000) + " or " +
                      index.WordOnAbout(1500) + " or " + index.WordOnAbout(1000) + " or " +
                      index.WordOnAbout(500));
}
BENCHMARK(BM_SearchFiveTermsBroad)->Unit(benchmark::kMicrosecond);

}  // namespace
