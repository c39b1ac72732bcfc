#include "norwin/host/index_builder.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <system_error>

#include "norwin/host/index_format.h"
#include "norwin/host/page_text.h"
#include "norwin/host/word_order.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/files.h"

namespace norwin::host {

namespace fs = std::filesystem;

namespace {

// Pages larger than this are not course pages; reading them is refused
// rather than risking the machine's memory.
constexpr size_t kMaxPageBytes = size_t{64} << 20;

// Appends `text` and NULs up to `width` bytes; `text` is shorter than `width`.
void AppendField(std::string& out, std::string_view text, size_t width) {
  out += text;
  out.append(width - text.size(), '\0');
}

bool IsPageFile(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return ext == ".htm" || ext == ".html";
}

std::string ErrorText(const std::error_code& ec) {
  // The C library's texts ("No such file or directory"), as the shell's tools say it.
  return ec.category() == std::generic_category() || ec.category() == std::system_category()
             ? std::string(strerror(ec.value()))
             : ec.message();
}

// The pages below `folder`, sorted. `shown` is the folder as the user named
// it, for messages. Links to folders are not followed (a link to a parent
// would never end); links to pages are.
Result<std::vector<fs::path>> FindPages(const fs::path& folder, const fs::path& shown) {
  std::vector<fs::path> pages;
  std::vector<fs::path> folders = {folder};
  while (!folders.empty()) {
    const fs::path dir = std::move(folders.back());
    folders.pop_back();
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      std::error_code type_ec;
      if (it->is_directory(type_ec) && !it->is_symlink(type_ec))
        folders.push_back(it->path());
      else if (IsPageFile(it->path()) && it->is_regular_file(type_ec))
        pages.push_back(it->path());
    }
    if (ec) {
      const fs::path below = dir.lexically_relative(folder);
      const fs::path where = below == "." ? shown : shown / below;
      return Status::Error("cannot read " + where.string() + ": " + ErrorText(ec));
    }
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// "\lesson1\intro.htm" for `page` below `course`, which is `course_in_root`
// below the drive root.
std::string DrivePath(const fs::path& course_in_root, const fs::path& page_in_course) {
  std::string out;
  for (const fs::path& part : course_in_root / page_in_course) {
    if (part == "." || part.empty()) continue;
    out += '\\';
    out += part.string();
  }
  return out;
}

// Fails, naming both, when two of the output files are one file: the
// second write would replace the first and leave an index that cannot be
// read. Checked before anything is read or written.
Status CheckDistinctOutputs(const CourseIndexOptions& options) {
  const fs::path* outputs[] = {&options.word_file, &options.vector_file, &options.title_file};
  auto same = [](const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;  // also two names of one file
    const fs::path ca = fs::weakly_canonical(a, ec);
    if (ec) return a.lexically_normal() == b.lexically_normal();
    const fs::path cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
  };
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = i + 1; j < 3; ++j)
      if (same(*outputs[i], *outputs[j]))
        return Status::Error(outputs[i]->string() + " and " + outputs[j]->string() +
                             " are the same file; the word, vector and title files must differ");
  return Status::Ok();
}

}  // namespace

Status IndexBuilder::AddPage(std::string_view drive_path, std::string_view html) {
  Result<std::string> path = platform::Utf8ToCp1252(drive_path);
  if (!path.ok()) return Status::Error("its path cannot be held by the index: " + path.message());
  if (path->size() > kMaxTitleFieldLength)
    return Status::Error("its path is longer than the index holds (" +
                         std::to_string(kMaxTitleFieldLength) + " bytes)");

  PageText text = ExtractPageText(html);
  if (text.title.empty()) {
    const size_t slash = path->find_last_of('\\');
    text.title = slash == std::string::npos ? *path : path->substr(slash + 1);
  }
  if (text.title.size() > kMaxTitleFieldLength) text.title.resize(kMaxTitleFieldLength);

  titles_.reserve(titles_.size() + kTitleRecordSize);
  AppendField(titles_, text.title, kTitleFieldSize);
  AppendField(titles_, *path, kTitleFieldSize);

  const uint32_t page = page_count_++;
  for (std::string& word : text.words) {
    auto [it, added] = ids_.try_emplace(word, static_cast<uint32_t>(words_.size()));
    if (added) {
      words_.push_back(std::move(word));
      pages_of_word_.emplace_back();
    }
    pages_of_word_[it->second].push_back(page);  // each word once a page
  }
  return Status::Ok();
}

IndexFiles IndexBuilder::Build() const {
  std::vector<uint32_t> order(words_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [this](uint32_t a, uint32_t b) { return CompareIndexWords(words_[a], words_[b]) < 0; });

  IndexFiles files;
  files.titles = titles_;
  files.words.reserve(order.size() * kWordRecordSize);
  const size_t record_bytes = 4 * VectorWordsFor(page_count_);
  files.vectors.assign(order.size() * record_bytes, '\0');
  for (size_t k = 0; k < order.size(); ++k) {
    AppendField(files.words, words_[order[k]], kWordRecordSize);
    char* record = files.vectors.data() + k * record_bytes;
    for (uint32_t page : pages_of_word_[order[k]]) {
      // Bit 31 - page % 32 of little-endian word page / 32.
      const unsigned bit = 31 - page % 32;
      record[4 * (page / 32) + bit / 8] |= static_cast<char>(1u << (bit % 8));
    }
  }
  return files;
}

Status IndexBuilder::Write(const fs::path& word_file, const fs::path& vector_file,
                           const fs::path& title_file) const {
  const IndexFiles files = Build();
  const struct {
    const fs::path& target;
    const std::string& content;
  } outputs[] = {
      {word_file, files.words}, {vector_file, files.vectors}, {title_file, files.titles}};

  // Every file is made complete beside its target before the first target
  // is replaced, so a full disc or a missing folder changes no file.
  std::vector<fs::path> staged;
  auto discard = [&staged] {
    std::error_code ignored;
    for (const fs::path& p : staged) fs::remove(p, ignored);
  };
  for (const auto& out : outputs) {
    fs::path stage = out.target;
    stage += ".new";
    if (Status s = platform::WriteFileAtomically(stage, out.content); !s.ok()) {
      discard();
      // The message names the file the user asked for, not its stand-in.
      std::string message = s.message();
      if (const size_t at = message.find(stage.string()); at != std::string::npos)
        message.replace(at, stage.string().size(), out.target.string());
      return Status::Error(std::move(message));
    }
    staged.push_back(std::move(stage));
  }
  for (size_t i = 0; i < staged.size(); ++i) {
    std::error_code ec;
    fs::rename(staged[i], outputs[i].target, ec);
    if (ec) {
      discard();
      return Status::Error("cannot write " + outputs[i].target.string() + ": " + ErrorText(ec));
    }
  }
  return Status::Ok();
}

Result<CourseIndexSummary> BuildCourseIndex(const CourseIndexOptions& options,
                                            const IndexProgress& progress) {
  if (Status distinct = CheckDistinctOutputs(options); !distinct.ok()) return distinct;
  const std::string course_shown = options.course_folder.string();
  std::error_code ec;
  const fs::path course = fs::canonical(options.course_folder, ec);
  if (ec) return Status::Error("cannot read " + course_shown + ": " + ErrorText(ec));
  if (!fs::is_directory(course, ec))
    return Status::Error("cannot read " + course_shown + ": Not a directory");

  fs::path root = course;
  if (!options.drive_root.empty()) {
    root = fs::canonical(options.drive_root, ec);
    if (ec)
      return Status::Error("cannot read " + options.drive_root.string() + ": " + ErrorText(ec));
  }
  const fs::path course_in_root = course.lexically_relative(root);
  if (course_in_root.empty() || *course_in_root.begin() == "..")
    return Status::Error(course_shown + " is not inside the drive root " +
                         options.drive_root.string());

  Result<std::vector<fs::path>> pages = FindPages(course, options.course_folder);
  if (!pages.ok()) return pages.status();

  IndexBuilder builder;
  CourseIndexSummary summary;
  if (pages->empty()) summary.warnings.push_back("no pages (.htm, .html) below " + course_shown);
  for (size_t i = 0; i < pages->size(); ++i) {
    const fs::path& file = (*pages)[i];
    const std::string drive_path = DrivePath(course_in_root, file.lexically_relative(course));
    // A page too large to be a course page is left out, not the whole index.
    if (const uintmax_t size = fs::file_size(file, ec); !ec && size > kMaxPageBytes) {
      summary.warnings.push_back(drive_path + ": left out, larger than " +
                                 std::to_string(kMaxPageBytes >> 20) + " MiB");
      if (progress) progress(i + 1, pages->size());
      continue;
    }
    Result<std::string> html = platform::ReadFileCapped(file, kMaxPageBytes);
    if (!html.ok()) return html.status();
    if (Status added = builder.AddPage(drive_path, *html); !added.ok())
      summary.warnings.push_back(drive_path + ": left out, " + added.message());
    if (progress) progress(i + 1, pages->size());
  }
  if (Status written = builder.Write(options.word_file, options.vector_file, options.title_file);
      !written.ok())
    return written;
  summary.pages = builder.page_count();
  summary.words = builder.word_count();
  return summary;
}

}  // namespace norwin::host
