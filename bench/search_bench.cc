// The full-text search on indexes of 2,000, 20,000 and 200,000 pages with a
// vocabulary of 50,000 words, written once per size in a temporary course
// drive. Five-term queries; the counter "matches" says how many pages each
// lists, since reading their titles is part of the answer.
//
// Beside them, the bare baselines of the same word file (scripts/bench
// --compare prints the ratios): one bisection of the mapped file, and one
// with a pread per step, as a search that reads its files would do.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "norwin/host/index_format.h"
#include "norwin/host/search.h"
#include "norwin/host/word_order.h"
#include "norwin/platform/drives.h"

namespace {

namespace fs = std::filesystem;
using norwin::host::kTitleFieldSize;
using norwin::host::kTitleRecordSize;
using norwin::host::kWordRecordSize;

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

// A file of `size` bytes mapped for writing; unwritten parts stay holes.
class OutputMapping {
 public:
  OutputMapping(const fs::path& path, size_t size) : size_(size) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
      Fail("cannot write " + path.string());
    void* data = size ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : nullptr;
    close(fd);
    if (data == MAP_FAILED) Fail("cannot map " + path.string());
    data_ = static_cast<char*>(data);
  }
  ~OutputMapping() {
    if (data_) munmap(data_, size_);
  }
  char* data() { return data_; }

 private:
  char* data_ = nullptr;
  size_t size_;
};

// The three index files of `pages` pages, written in their format directly
// (an index builder would hold the whole vector file in memory). Every word
// is on at least a few pages, common words on many: a page holds five words
// in turn and a hundred drawn with a long-tailed frequency.
class SearchIndex {
 public:
  // The index on drive `drive` of the bench's prefix.
  SearchIndex(int pages, char drive) : pages_(pages), search_(drive) {
    dir_ = Prefix() / ("disc-" + std::to_string(pages));
    fs::create_directories(dir_ / "disc");
    fs::create_directory_symlink(dir_ / "disc", Prefix() / "drives" / std::string(1, drive));
    norwin::platform::ResetDrivesForTesting();

    // Word numbers in the order of the word file.
    std::vector<int> order(kWords);
    for (int w = 0; w < kWords; ++w) order[w] = w;
    std::vector<std::string> text(kWords);
    for (int w = 0; w < kWords; ++w) text[w] = WordFor(w);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return norwin::host::CompareIndexWords(text[a], text[b]) < 0; });
    std::vector<int> record_of(kWords);
    {
      OutputMapping words(dir_ / "disc" / "words.idx", kWords * kWordRecordSize);
      for (int k = 0; k < kWords; ++k) {
        record_of[order[k]] = k;
        std::memcpy(words.data() + k * kWordRecordSize, text[order[k]].data(),
                    text[order[k]].size());
      }
    }

    const uint64_t record_words = norwin::host::VectorWordsFor(pages);
    OutputMapping vectors(dir_ / "disc" / "vectors.idx", kWords * record_words * 4);
    OutputMapping titles(dir_ / "disc" / "titles.idx", pages * kTitleRecordSize);
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    pages_of_.assign(kWords, 0);
    std::vector<int> words;
    for (int page = 0; page < pages; ++page) {
      words.clear();
      for (int j = 0; j < 5; ++j) words.push_back((page * 5 + j) % kWords);
      const int first = words.front();
      for (int j = 0; j < 100; ++j)
        words.push_back(static_cast<int>(std::exp(uniform(rng) * std::log(kWords))) - 1);
      std::sort(words.begin(), words.end());
      words.erase(std::unique(words.begin(), words.end()), words.end());
      for (int w : words) {
        char* word = vectors.data() + (record_of[w] * record_words + page / 32) * 4;
        uint32_t bits;
        std::memcpy(&bits, word, 4);
        bits |= norwin::host::PageBit(page);  // written little-endian, as on x86
        std::memcpy(word, &bits, 4);
        ++pages_of_[w];
      }
      const std::string title = "Lesson " + WordFor(first) + " " + WordFor((first + 1) % kWords);
      const std::string path = "\\lessons\\page" + std::to_string(page) + ".htm";
      char* record = titles.data() + static_cast<size_t>(page) * kTitleRecordSize;
      std::memcpy(record, title.data(), title.size());
      std::memcpy(record + kTitleFieldSize, path.data(), path.size());
    }
    if (!search_.ConfigureSearch("\\words.idx", "\\vectors.idx", "\\titles.idx"))
      Fail("cannot configure the search");
  }
  // The first index to go takes the whole prefix with it: they all go at exit.
  ~SearchIndex() {
    std::error_code ignored;
    // Not Prefix(): its path may be gone already when the indexes go at exit.
    fs::remove_all(dir_.parent_path(), ignored);
  }

  // A word found on about `share` of the pages.
  std::string WordOn(double share) const {
    const double pages = share * pages_;
    int best = 0;
    for (int w = 0; w < kWords; ++w)
      if (std::abs(pages_of_[w] - pages) < std::abs(pages_of_[best] - pages)) best = w;
    return WordFor(best);
  }

  // A reader's query: two common words narrowed down, a rarer one added, one
  // left out, a last one added.
  std::string FiveTerms() const {
    return WordOn(0.1) + " and " + WordOn(0.05) + " or " + WordOn(0.001) + " not " + WordOn(0.15) +
           " or " + WordOn(0.0005);
  }

  const norwin::host::SearchService& search() const { return search_; }
  fs::path word_file() const { return dir_ / "disc" / "words.idx"; }

 private:
  // One prefix for every index, so that each keeps its drive.
  static const fs::path& Prefix() {
    static const fs::path prefix = [] {
      char templ[] = "/tmp/norwin-search-bench-XXXXXX";
      if (!mkdtemp(templ)) Fail("cannot make a temporary folder");
      fs::create_directories(fs::path(templ) / "drives");
      setenv("NORWIN_PREFIX", templ, 1);
      return fs::path(templ);
    }();
    return prefix;
  }

  int pages_;
  fs::path dir_;
  norwin::host::SearchService search_;
  std::vector<int> pages_of_;
};

// One index per size, made on first use and kept for the run (the
// 200,000-page one has a vector file of 1.25 GB, mostly holes).
const SearchIndex& Index(int pages) {
  static std::map<int, std::unique_ptr<SearchIndex>> indexes;
  std::unique_ptr<SearchIndex>& index = indexes[pages];
  if (!index) index = std::make_unique<SearchIndex>(pages, static_cast<char>('k' + indexes.size()));
  return *index;
}

void RunQuery(benchmark::State& state, const SearchIndex& index, const std::string& query) {
  const auto& search = index.search();
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

void BM_SearchFiveTerms(benchmark::State& state) {
  const SearchIndex& index = Index(static_cast<int>(state.range(0)));
  RunQuery(state, index, index.FiveTerms());
}
BENCHMARK(BM_SearchFiveTerms)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMicrosecond);

// Five words missing from the index: the cost of the lookups alone.
void BM_SearchFiveMissingWords(benchmark::State& state) {
  RunQuery(state, Index(20000), "zzz and yyy or xxx not www or vvv");
}
BENCHMARK(BM_SearchFiveMissingWords)->Unit(benchmark::kMicrosecond);

// Five common words joined by "or": about a third of the course listed.
void BM_SearchFiveTermsBroad(benchmark::State& state) {
  const SearchIndex& index = Index(20000);
  RunQuery(state, index,
           index.WordOn(0.15) + " or " + index.WordOn(0.1) + " or " + index.WordOn(0.075) + " or " +
               index.WordOn(0.05) + " or " + index.WordOn(0.025));
}
BENCHMARK(BM_SearchFiveTermsBroad)->Unit(benchmark::kMicrosecond);

// ---- Baselines: one word looked up in the same word file ----

// The word looked for: one in the middle of the common ones.
std::string BaselineWord(const SearchIndex& index) { return index.WordOn(0.05); }

// The record of `word` among `count` by bisection with a plain byte
// comparison; `record(k)` gives record k.
template <typename Record>
uint64_t Bisect(const std::string& word, uint64_t count, Record record) {
  uint64_t low = 0, high = count;
  while (low < high) {
    const uint64_t middle = low + (high - low) / 2;
    const int order = strncmp(word.c_str(), record(middle), kWordRecordSize);
    if (order == 0) return middle;
    if (order < 0)
      high = middle;
    else
      low = middle + 1;
  }
  return ~uint64_t{0};
}

// The word file open for the baselines.
struct WordFile {
  explicit WordFile(const SearchIndex& index) : fd(open(index.word_file().c_str(), O_RDONLY)) {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) Fail("cannot open the word file");
    size = static_cast<size_t>(st.st_size);
  }
  ~WordFile() { close(fd); }
  int fd;
  size_t size = 0;
};

// Bisection over the mapped word file.
void BM_BaselineMappedBisection(benchmark::State& state) {
  const SearchIndex& index = Index(static_cast<int>(state.range(0)));
  const std::string word = BaselineWord(index);
  const WordFile file(index);
  const char* words =
      static_cast<const char*>(mmap(nullptr, file.size, PROT_READ, MAP_SHARED, file.fd, 0));
  if (words == MAP_FAILED) Fail("cannot map the word file");
  for (auto _ : state) {
    benchmark::DoNotOptimize(Bisect(word, file.size / kWordRecordSize,
                                    [&](uint64_t k) { return words + k * kWordRecordSize; }));
  }
  munmap(const_cast<char*>(words), file.size);
}
BENCHMARK(BM_BaselineMappedBisection)->Arg(20000);

// The same bisection reading each record with its own pread.
void BM_BaselineReadBisection(benchmark::State& state) {
  const SearchIndex& index = Index(static_cast<int>(state.range(0)));
  const std::string word = BaselineWord(index);
  const WordFile file(index);
  char record[kWordRecordSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(Bisect(word, file.size / kWordRecordSize, [&](uint64_t k) {
      if (pread(file.fd, record, sizeof record, static_cast<off_t>(k * kWordRecordSize)) !=
          static_cast<ssize_t>(sizeof record))
        Fail("cannot read the word file");
      return static_cast<const char*>(record);
    }));
  }
}
BENCHMARK(BM_BaselineReadBisection)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace
