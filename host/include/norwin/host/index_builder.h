// Builds the three files of a course's full-text index (index_format.h) from
// its HTML pages, for the search of search.h.
//
// IndexBuilder takes pages one by one (number 0 first) and produces the
// files: every word of a page (page_text.h) in the word file once, sorted by
// CompareIndexWords, its vector record listing the pages that hold it, and
// one title record per page. BuildCourseIndex does the whole job for a
// folder, as `lumo-index` offers it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::host {

// The bytes of the three index files.
struct IndexFiles {
  std::string words;
  std::string vectors;
  std::string titles;
};

class IndexBuilder {
 public:
  // Adds a page as number page_count(). `drive_path` is the page's path on
  // the course drive without the drive letter ("\lesson1\intro.htm"), UTF-8;
  // `html` the page's bytes. The title is the page's <title>, or the last
  // component of `drive_path` when it has none, cut to what its field holds.
  // Fails, adding nothing, when the path cannot be written in Windows-1252 or
  // does not fit its field.
  Status AddPage(std::string_view drive_path, std::string_view html);

  uint32_t page_count() const { return page_count_; }
  size_t word_count() const { return words_.size(); }

  // The files for the pages added so far.
  IndexFiles Build() const;

  // Writes the three files, each whole (a temporary file renamed over the
  // old one); all are made before the first is replaced. On failure the
  // message names the file, and files not yet replaced are as they were.
  Status Write(const std::filesystem::path& word_file, const std::filesystem::path& vector_file,
               const std::filesystem::path& title_file) const;

 private:
  uint32_t page_count_ = 0;
  std::string titles_;                                // the title file, as pages come
  std::unordered_map<std::string, uint32_t> ids_;     // word -> its number in words_
  std::vector<std::string> words_;                    // in order of first appearance
  std::vector<std::vector<uint32_t>> pages_of_word_;  // ascending page numbers
};

struct CourseIndexOptions {
  std::filesystem::path course_folder;
  // The folder the course drive's root stands for; the course folder itself
  // when empty. Page paths in the title file are relative to it.
  std::filesystem::path drive_root;
  std::filesystem::path word_file;
  std::filesystem::path vector_file;
  std::filesystem::path title_file;
};

struct CourseIndexSummary {
  uint32_t pages = 0;
  size_t words = 0;
  // Pages left out, one readable line each ("\x\y.htm: ..."), or that there
  // were no pages at all.
  std::vector<std::string> warnings;
};

// Called after each page with the number of pages read and the total.
using IndexProgress = std::function<void(size_t done, size_t total)>;

// Indexes every page (files ending in ".htm" or ".html", any case) below the
// course folder, in the order of their sorted paths, and writes the three
// files. Fails with a readable message ("cannot read COURSE: No such file or
// directory") when a folder or page cannot be read, the course folder is not
// inside the drive root, or a file cannot be written; nothing is written
// then. A page whose path the index cannot hold is left out with a warning.
Result<CourseIndexSummary> BuildCourseIndex(const CourseIndexOptions& options,
                                            const IndexProgress& progress = {});

}  // namespace norwin::host
