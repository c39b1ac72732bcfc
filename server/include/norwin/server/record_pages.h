// The record pages and their answers, apart from HTTP: what
// "LoadPellamObject.asp", "SavePellamObject.asp", "DeletePellamObject.asp"
// and "GetTitleFileNames.asp" do with one request, over a RecordStore.
//
// The answers are those the record classes read: a load gets the record's
// document (a roster filtered by CourseID, SectionID and StudentID; an
// ExamSummary computed from the stored attempts), a save or delete gets an
// empty text, a listing gets "title;file;" fields. A request that cannot be
// carried out gets an HTTP error status and a one-line reason, never a
// record. Safe to call from many threads at once.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "norwin/server/record_store.h"

namespace norwin::server {

enum class RecordPage { kLoad, kSave, kDelete, kList };

// The page named by the last segment of a request path, compared without
// regard to case as the original web server did; nullopt for other names.
std::optional<RecordPage> RecordPageNamed(std::string_view name);

struct PageRequest {
  RecordPage page = RecordPage::kLoad;
  std::string space;   // namespace of the access token; "" without tokens
  std::string folder;  // application folder, "/app/"
  std::multimap<std::string, std::string> params;  // the query, decoded
  std::string body;
};

struct PageAnswer {
  int status = 200;
  std::string text;
  // Whether `text` is a document (sent as bytes) rather than a message.
  bool document = false;
  // A note for the request's log line ("dropped students 7 9": a roster
  // save that left out students the stored roster held).
  std::string note = {};
};

struct PageLimits {
  size_t max_document = 16 * 1024 * 1024;  // bytes of one saved record
};

PageAnswer AnswerRecordPage(RecordStore& store, const PageRequest& request,
                            const PageLimits& limits = {});

// Why `name` is no plain file name ("No FileName given", "Invalid FileName
// NAME": empty, or holding "/", "\" or ".."); nullopt when it is one.
std::optional<std::string> BadFileName(std::string_view name);

}  // namespace norwin::server
