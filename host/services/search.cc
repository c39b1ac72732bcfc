#include "norwin/host/search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include <sys/stat.h>

#include "index_mapping.h"
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
// not there.
std::optional<uint64_t> FindWord(std::string_view words, std::string_view word) {
  // A word longer than a record holds cannot be in the file.
  if (word.size() > kMaxWordLength) return std::nullopt;
  const uint64_t count = words.size() / kWordRecordSize;
  uint64_t low = 0, high = count;  // the word, if there, is in [low, high)
  while (low < high) {
    const uint64_t middle = low + (high - low) / 2;
    const int order =
        CompareIndexWords(word, Field(words.data() + middle * kWordRecordSize, kWordRecordSize));
    if (order == 0) return middle;
    if (order < 0)
      high = middle;
    else
      low = middle + 1;
  }
  return std::nullopt;
}

enum class Evaluation { kDone, kFailed };

// Runs the query into `set`, term by term from left to right, over the
// word and vector files' bytes.
Evaluation Evaluate(std::string_view query, std::string_view words, std::string_view vectors,
                    PageSet& set) {
  const uint64_t record_bytes = 4 * set.words();
  const uint64_t vector_count = vectors.size() / record_bytes;

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
    const std::optional<uint64_t> index = FindWord(words, term.word);
    // A word missing from the index neither adds nor removes pages; so is one
    // whose vector record the file does not hold.
    if (!index || *index >= vector_count) continue;
    set.Apply(term.op, vectors.data() + *index * record_bytes);
  }
  return Evaluation::kDone;
}

// What each Windows-1252 byte becomes in the page: nothing for the bytes
// taken as they are, otherwise its UTF-8 form or its character reference.
// Built once from the code-page conversion, so the page says exactly what a
// conversion of the whole text would.
class HtmlEscapes {
 public:
  enum class Context { kText, kAttribute };

  HtmlEscapes() {
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      std::string_view reference;
      if (c == '<')
        reference = "&lt;";
      else if (c == '>')
        reference = "&gt;";
      else if (b >= 0x80)
        utf8_[b] = platform::Cp1252ToUtf8(std::string_view(&c, 1));
      if (!reference.empty()) utf8_[b] = reference;
      text_[b] = !utf8_[b].empty();
    }
    attribute_ = text_;
    utf8_quote_ = "&quot;";
    utf8_amp_ = "&amp;";
    attribute_['"'] = attribute_['&'] = true;
  }

  // Appends Windows-1252 text as UTF-8, with the characters that would end
  // the surrounding markup written as character references. Titles keep '&'
  // as it is, so that titles written with references (as some index
  // builders do) still show right; a link target is a path, in which '&' is
  // just a character. Runs of plain characters are copied whole.
  void Append(std::string& out, std::string_view cp1252, Context context) const {
    const std::array<bool, 256>& special = context == Context::kAttribute ? attribute_ : text_;
    const char* p = cp1252.data();
    const char* const end = p + cp1252.size();
    while (p < end) {
      const char* run = p;
      while (p < end && !special[static_cast<unsigned char>(*p)]) ++p;
      out.append(run, static_cast<size_t>(p - run));
      if (p == end) break;
      out += Replacement(static_cast<unsigned char>(*p), context);
      ++p;
    }
  }

 private:
  std::string_view Replacement(unsigned char b, Context context) const {
    if (context == Context::kAttribute) {
      if (b == '"') return utf8_quote_;
      if (b == '&') return utf8_amp_;
    }
    return utf8_[b];
  }

  std::array<std::string, 256> utf8_;
  std::string_view utf8_quote_, utf8_amp_;
  std::array<bool, 256> text_{};
  std::array<bool, 256> attribute_{};
};

const HtmlEscapes& Escapes() {
  static const HtmlEscapes escapes;
  return escapes;
}

// Appends the result body for the query to `page`; a null file is one that
// could not be opened. `drive` is the letter of the links.
void AppendBody(std::string_view query, const IndexMapping* words, const IndexMapping* vectors,
                const IndexMapping* titles_file, char drive, std::string& page) {
  if (!titles_file) {
    page += kNoTitleFile;
    return;
  }
  const std::string_view titles = titles_file->bytes();
  const uint64_t pages = titles.size() / kTitleRecordSize;
  std::optional<PageSet> set;
  try {
    set.emplace(pages);
  } catch (const std::bad_alloc&) {
    page += kNoMemory;
    return;
  }
  if (!words || !vectors ||
      Evaluate(query, words->bytes(), vectors->bytes(), *set) == Evaluation::kFailed) {
    page += kSearchError;
    return;
  }
  if (set->Empty()) {
    page += kNoMatches;
    return;
  }

  const HtmlEscapes& escapes = Escapes();
  set->ForEachPage([&](uint64_t i) {
    const char* record = titles.data() + i * kTitleRecordSize;
    page += "&nbsp;&nbsp;&nbsp;&nbsp;<A HREF=\"";
    page += drive;
    page += ':';
    escapes.Append(page, Field(record + kTitleFieldSize, kTitleFieldSize),
                   HtmlEscapes::Context::kAttribute);
    page += "\">";
    escapes.Append(page, Field(record, kTitleFieldSize), HtmlEscapes::Context::kText);
    page += "</A><BR>\n";
    return true;
  });
}

// The identity of the drive link a mapping was resolved through: a link
// pointed elsewhere (another disc) makes every mapping stale.
struct LinkIdentity {
  bool present = false;
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec modified = {};

  static LinkIdentity Of(const std::filesystem::path& link) {
    LinkIdentity id;
    struct stat st;
    if (lstat(link.c_str(), &st) != 0) return id;
    id.present = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.modified = st.st_mtim;
    return id;
  }
  bool operator==(const LinkIdentity& o) const {
    return present == o.present && device == o.device && inode == o.inode &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

std::optional<IndexMapping> MapIndexFile(const std::string& windows_path) {
  if (windows_path.empty()) return std::nullopt;
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(windows_path);
  if (!native.ok()) return std::nullopt;
  Result<IndexMapping> mapping = IndexMapping::Map(*native);
  if (!mapping.ok()) return std::nullopt;
  return std::move(mapping.value());
}

}  // namespace

// The three files of one configuration as a query finds them.
struct SearchService::IndexFiles {
  std::optional<IndexMapping> words, vectors, titles;
  // The drive's entry in the drives folder and what it was when mapped.
  std::filesystem::path drive_link;
  LinkIdentity link;
  char drive = '\0';

  // Whether the files mapped are still the files at their paths; a file that
  // was missing is never current.
  bool IsCurrent() const {
    return words && vectors && titles && LinkIdentity::Of(drive_link) == link &&
           words->IsCurrent() && vectors->IsCurrent() && titles->IsCurrent();
  }
};

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
  std::string words = full_name(word_file);
  std::string vectors = full_name(vector_file);
  std::string titles = full_name(title_file);
  std::lock_guard lock(mutex_);
  word_file_ = std::move(words);
  vector_file_ = std::move(vectors);
  title_file_ = std::move(titles);
  files_.reset();
  return true;
}

// The three files as they are now: the mappings made for an earlier query
// when every file is still the one mapped, else mapped anew. A file that
// could not be opened is tried again on every query, since the files need
// not exist when the search is configured.
std::shared_ptr<const SearchService::IndexFiles> SearchService::CurrentFiles() const {
  std::lock_guard lock(mutex_);
  if (files_ && files_->IsCurrent()) return files_;
  auto files = std::make_shared<IndexFiles>();
  if (!word_file_.empty()) {
    files->drive_link = platform::DrivesDir() / std::string(1, LowerCp1252(word_file_[0]));
  }
  files->link = LinkIdentity::Of(files->drive_link);
  files->words = MapIndexFile(word_file_);
  files->vectors = MapIndexFile(vector_file_);
  files->titles = MapIndexFile(title_file_);
  files->drive = word_file_.empty() ? '\0' : word_file_[0];
  files_ = std::move(files);
  return files_;
}

std::string SearchService::Search(std::string_view query) const {
  try {
    std::string page;
    page.reserve(1024);
    page += kPageHead;
    const std::shared_ptr<const IndexFiles> files = CurrentFiles();
    AppendBody(query, files->words ? &*files->words : nullptr,
               files->vectors ? &*files->vectors : nullptr,
               files->titles ? &*files->titles : nullptr, files->drive, page);
    page += kPageTail;
    return page;
  } catch (const std::bad_alloc&) {
    // Only the page itself can fail this way: the caller reports it.
    return std::string();
  }
}

}  // namespace norwin::host
