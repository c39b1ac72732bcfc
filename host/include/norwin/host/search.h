// The course's full-text search: page script names the three index files of
// the course disc once (ConfigureSearch) and then runs queries (Search), each
// answered with a complete HTML page of links to the matching pages.
//
// The index layout is in index_format.h, the query syntax in search_query.h:
// terms applied strictly left to right to a set of pages that starts empty,
// "and" keeping the pages that also hold the word, "or" (the default) adding
// them, "not" removing them. A word that is not in the index changes nothing.
//
// The files are mapped into memory on the first query after ConfigureSearch
// and kept while they stay the same files: each query checks with one stat a
// file (and one of the drive's link) that nothing was replaced, resized or
// pointed elsewhere, and maps the files anew when something was. A file that
// could not be opened is tried again on every query. Every failure gives one of
// the fixed bodies ("Unable to open titles file", "Insufficient Memory",
// "Search Error", "No Matches Found") inside an otherwise complete page (a
// title record that cannot be read, "Error reading title file" once, cannot
// happen to a mapped file); bad index files (wrong sizes, unsorted words,
// records without their NUL) give one of those or a plain result.
//
// Titles and paths are Windows-1252 in the files and UTF-8 in the page. They
// are written into the page with '<' and '>' as character references, and
// the link target also with '"' and '&', so that a title such as "Using
// <table>" shows as written instead of breaking the page; '&' in titles is
// kept, since some index builders store titles with references already.
//
// One object serves the whole host process. Search may run on any thread,
// also beside ConfigureSearch; the mappings are shared between the queries
// and live until the last query that uses them ends. The busy
// cursor while a query runs is the caller's business.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace norwin::host {

class SearchService {
 public:
  // `course_drive` is the letter of the drive that holds the course, as the
  // settings found it, or '\0' when they hold none.
  explicit SearchService(char course_drive) : drive_(course_drive) {}

  // The course drive changes when a page opens a document on another drive.
  void SetCourseDrive(char course_drive) { drive_ = course_drive; }

  // Names the word, vector and title files: UTF-8 paths on the course drive
  // without the drive letter ("\search\words.idx"), joined to the drive as
  // "d:\search\words.idx". Returns false and leaves any earlier configuration
  // as it was when no course drive is known. The files need not exist yet:
  // the next Search opens them through the drive mapping of the system layer.
  [[nodiscard]] bool ConfigureSearch(std::string_view word_file, std::string_view vector_file,
                                     std::string_view title_file);

  // The result page for a UTF-8 query (see search_query.h), as UTF-8. Never
  // throws; the empty string only when memory for the page itself ran out.
  std::string Search(std::string_view query) const;

  // The configured full names ("d:\search\words.idx"); empty before a
  // successful ConfigureSearch. Not for use beside a ConfigureSearch on
  // another thread.
  const std::string& word_file() const { return word_file_; }
  const std::string& vector_file() const { return vector_file_; }
  const std::string& title_file() const { return title_file_; }

 private:
  struct IndexFiles;
  std::shared_ptr<const IndexFiles> CurrentFiles() const;

  char drive_;
  std::string word_file_;
  std::string vector_file_;
  std::string title_file_;
  // Guards the names and the files; the mappings are made under it.
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const IndexFiles> files_;
};

}  // namespace norwin::host
