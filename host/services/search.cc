#include "norwin/host/search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "index_file.h"
#include "norwin/host/index_format.h"
#include "norwin/host/search_query.h"
#include "norwin/host/word_order.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/drives.h"

namespace norwin::host {

namespace {

constexpr std::string_view kPageHead =
    "<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n"
    "<LINK REL=stylesheet HREF=\"main.css\" TYPE=\"text/css\">\n"
    "</HEAD>\n<BODY  style=\"background-image: url(back.gif)\">\n"
    "<BR>\n<HR WIDTH=\"90%\"></CENTER>\n<BR>";
constexpr std::string_view kPageTail = "</BODY></HTML>";

constexpr std::string_view kNoTitleFile = "<B>Unable to open titles file</B>";
constexpr std::string_view kNoMemory = "<B>Insufficient Memory</B>";
constexpr std::string_view kSearchError = "<B>Search Error</B>";
constexpr std::string_view kNoMatches = "<B>No Matches Found</B>";
constexpr std::string_view kTitleReadError = "<B>Error reading title file</B>";

std::optional<IndexFile> OpenIndexFile(const std::string& windows_path) {
  if (windows_path.empty()) return std::nullopt;
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(windows_path);
  if (!native.ok()) return std::nullopt;
  Result<IndexFile> file = IndexFile::Open(*native);
  if (!file.ok()) return std::nullopt;
  return std::move(file.value());
}

uint32_t LoadLittleEndian32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

// The text of a NUL-terminated field that may lack its NUL.
std::string_view Field(const char* p, size_t capacity) {
  return std::string_view(p, strnlen(p, capacity));
}

// More pages than any course has: a title file of a terabyte, whose result
// set alone would take 256 MiB. Such a size is taken for what it is, a broken
// file, before it is given to the allocator.
constexpr uint64_t kMaxPages = uint64_t{1} << 31;

// A page count and the result set of one query over it.
class PageSet {
 public:
  // Throws std::bad_alloc when the set does not fit in memory.
  explicit PageSet(uint64_t pages) : pages_(pages), words_(VectorWordsFor(pages)) {
    if (pages > kMaxPages) throw std::bad_alloc();
    bits_.reset(new uint32_t[words_]());
  }

  uint64_t words() const { return words_; }

  // Applies one vector record (little-endian, words() words) to the set.
  void Apply(QueryOperator op, const char* record) {
    uint32_t* bits = bits_.get();
    switch (op) {
      case QueryOperator::kAnd:
        for (uint64_t k = 0; k < words_; ++k) bits[k] &= LoadLittleEndian32(record + 4 * k);
        break;
      case QueryOperator::kOr:
        for (uint64_t k = 0; k < words_; ++k) bits[k] |= LoadLittleEndian32(record + 4 * k);
        break;
      case QueryOperator::kNot:
        for (uint64_t k = 0; k < words_; ++k) bits[k] &= ~LoadLittleEndian32(record + 4 * k);
        break;
    }
  }

  // Calls `visit(page)` for every page in the set, in ascending order, until
  // it returns false. Bits past the last page (the spare bits of the last
  // word) are never pages.
  template <typename Visit>
  bool ForEachPage(Visit visit) const {
    for (uint64_t k = 0; k < words_; ++k) {
      uint32_t w = bits_[k];
      while (w != 0) {
        const int bit = std::countl_zero(w);
        const uint64_t page = 32 * k + static_cast<uint64_t>(bit);
        if (page >= pages_) return true;
        if (!visit(page)) return false;
        w &= ~(0x80000000u >> bit);
      }
    }
    return true;
  }

  bool Empty() const {
    return ForEachPage([](uint64_t) { return false; });
  }

 private:
  uint64_t pages_;
  uint64_t words_;
  std::unique_ptr<uint32_t[]> bits_;
};

// The index of `word` in the word file by bisection, or nullopt when it is
// not there (or a record cannot be read).
std::optional<uint64_t> FindWord(const IndexFile& words, std::string_view word) {
  // A word longer than a record holds cannot be in the file.
  if (word.size() > kMaxWordLength) return std::nullopt;
  const uint64_t count = words.size() / kWordRecordSize;
  if (count == 0) return std::nullopt;
  std::array<char, kWordRecordSize> record;
  uint64_t low = 0, high = count - 1;
  while (low <= high) {
    const uint64_t middle = low + (high - low) / 2;
    if (!words.ReadAt(middle * kWordRecordSize, record)) return std::nullopt;
    const int order = CompareIndexWords(word, Field(record.data(), record.size()));
    if (order == 0) return middle;
    if (order < 0) {
      if (middle == 0) return std::nullopt;
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return std::nullopt;
}

enum class Evaluation { kDone, kFailed };

// Runs the query into `set`, term by term from left to right.
Evaluation Evaluate(std::string_view query, const std::string& word_file,
                    const std::string& vector_file, PageSet& set) {
  std::optional<IndexFile> words = OpenIndexFile(word_file);
  std::optional<IndexFile> vectors = OpenIndexFile(vector_file);
  if (!words || !vectors) return Evaluation::kFailed;
  const uint64_t record_bytes = 4 * set.words();
  // The buffer for one vector record; its failure to allocate fails the query.
  std::unique_ptr<char[]> record(new (std::nothrow) char[record_bytes]);
  if (!record) return Evaluation::kFailed;
  const uint64_t vector_count = vectors->size() / record_bytes;

  // The reader holds a copy of the query; without memory for it no term can
  // be read, which fails the query rather than the page.
  std::optional<QueryReader> reader;
  try {
    reader.emplace(query);
  } catch (const std::bad_alloc&) {
    return Evaluation::kFailed;
  }
  QueryTerm term;
  while (reader->Next(term)) {
    if (!term.matchable) continue;
    const std::optional<uint64_t> index = FindWord(*words, term.word);
    // A word missing from the index neither adds nor removes pages; so is one
    // whose vector record the file does not hold.
    if (!index || *index >= vector_count) continue;
    if (!vectors->ReadAt(*index * record_bytes, {record.get(), record_bytes})) continue;
    set.Apply(term.op, record.get());
  }
  return Evaluation::kDone;
}

// Appends Windows-1252 text as UTF-8, with the characters that would end
// the surrounding markup written as character references. Titles keep '&' as
// it is, so that titles written with references (as some index builders do)
// still show right; a link target is a path, in which '&' is just a character.
enum class Context { kText, kAttribute };
void AppendHtml(std::string& out, std::string_view cp1252, Context context) {
  const bool attribute = context == Context::kAttribute;
  size_t plain = 0;  // start of the run of characters taken as they are
  for (size_t i = 0; i < cp1252.size(); ++i) {
    const char c = cp1252[i];
    const char* reference = nullptr;
    if (c == '<')
      reference = "&lt;";
    else if (c == '>')
      reference = "&gt;";
    else if (c == '"' && attribute)
      reference = "&quot;";
    else if (c == '&' && attribute)
      reference = "&amp;";
    else if (static_cast<unsigned char>(c) < 0x80)
      continue;
    out.append(cp1252.data() + plain, i - plain);
    plain = i + 1;
    if (reference)
      out += reference;
    else
      out += platform::Cp1252ToUtf8(cp1252.substr(i, 1));
  }
  out.append(cp1252.data() + plain, cp1252.size() - plain);
}

// Appends the result body for the query to `page`.
void AppendBody(std::string_view query, const std::string& word_file,
                const std::string& vector_file, const std::string& title_file, std::string& page) {
  std::optional<IndexFile> titles = OpenIndexFile(title_file);
  if (!titles) {
    page += kNoTitleFile;
    return;
  }
  const uint64_t pages = titles->size() / kTitleRecordSize;
  std::optional<PageSet> set;
  try {
    set.emplace(pages);
  } catch (const std::bad_alloc&) {
    page += kNoMemory;
    return;
  }
  if (Evaluate(query, word_file, vector_file, *set) == Evaluation::kFailed) {
    page += kSearchError;
    return;
  }
  if (set->Empty()) {
    page += kNoMatches;
    return;
  }

  // The drive letter of the links is the one the word file was named with.
  const char drive = word_file.empty() ? '\0' : word_file[0];
  const size_t body_start = page.size();
  std::array<char, kTitleRecordSize> record;
  const bool read_all = set->ForEachPage([&](uint64_t i) {
    if (!titles->ReadAt(i * kTitleRecordSize, record)) return false;
    page += "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"";
    page += drive;
    page += ':';
    AppendHtml(page, Field(record.data() + kTitleFieldSize, kTitleFieldSize), Context::kAttribute);
    page += "\">";
    AppendHtml(page, Field(record.data(), kTitleFieldSize), Context::kText);
    page += "</A><BR>\n";
    return true;
  });
  if (!read_all) {
    page.resize(body_start);
    page += kTitleReadError;
  }
}

}  // namespace

bool SearchService::ConfigureSearch(std::string_view word_file, std::string_view vector_file,
                                    std::string_view title_file) {
  if (drive_ == '\0') return false;
  auto full_name = [this](std::string_view name) {
    std::string full;
    full.reserve(2 + name.size());
    full += drive_;
    full += ':';
    full += name;
    return full;
  };
  word_file_ = full_name(word_file);
  vector_file_ = full_name(vector_file);
  title_file_ = full_name(title_file);
  return true;
}

std::string SearchService::Search(std::string_view query) const {
  try {
    std::string page;
    page.reserve(1024);
    page += kPageHead;
    AppendBody(query, word_file_, vector_file_, title_file_, page);
    page += kPageTail;
    return page;
  } catch (const std::bad_alloc&) {
    // Only the page itself can fail this way: the caller reports it.
    return std::string();
  }
}

}  // namespace norwin::host
