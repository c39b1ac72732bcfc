// Record storage: how every record class loads, saves, deletes and lists its
// XML documents, in a local folder or behind the server pages.
//
// The location decides (IsURL, url_support.h): a server location goes to the
// pages "LoadPellamObject.asp", "SavePellamObject.asp",
// "DeletePellamObject.asp" and "GetTitleFileNames.asp" of its base URL, with
// the calling thread's validation string (security.h); anything else is a
// Windows path resolved through the drives of the system layer (either
// separator, drive letters, names looked up without regard to case).
//
// Failures the callers expect (a missing or unreadable record, a negative
// server answer) are results; an answer with an HTTP status other than 2xx
// is always one, whatever its text, and nothing of it is ever read as a
// record. Failures they cannot act on reach the page script as
// AutomationError: a server that cannot be reached or stays silent past the
// time limits of server_request.h (kServerNotReached), a listing the server
// refused (kServerFailed), a local file that cannot be written
// (kLocalWriteFailed), a malformed listing (runtime error 5). Values written
// into a server URL reach the server whole (AppendURLText). Nothing is kept
// between calls.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_list.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// A local record that cannot be written (folder missing, no permission,
// read-only file, disk full); the description says which and why.
inline constexpr automation::HResult kLocalWriteFailed = automation::E_ACCESSDENIED;

// The caption of the message that shows a server's answer to a save.
inline constexpr std::string_view kServerAnswerCaption = "NorwinPellam2003";

enum class ServerPage { kLoad, kSave, kDelete, kList };
// "LoadPellamObject.asp" and so on.
std::string_view ServerPageName(ServerPage page);

// The two request shapes of the record pages. A: the validation string
// follows "&" always, also when it is empty, and the location's extra query
// is not sent. B: the extra query and then the validation string follow,
// each with its "&" and only when not empty.
enum class RequestShape { kA, kB };

enum class ParamPresence { kWhenNotEmpty, kAlways };

// A class's own query parameter ("&CourseID=3"); its value is inserted as
// a URL value (AppendURLText, UrlPart::kValue).
struct UrlParam {
  std::string_view name;
  std::string_view value;
  ParamPresence presence = ParamPresence::kWhenNotEmpty;
};

// What a record class tells the storage about its requests: its object name
// ("Students"), its shape and its parameters, in their fixed order (inserted
// after the file name), and the root element its records have, when reading
// checks it: a well-formed document with another root (an error page in
// XHTML) is then no record of the kind. The views must outlive the call they
// are given to.
struct RecordKind {
  std::string_view obj_name;
  RequestShape shape = RequestShape::kB;
  std::span<const UrlParam> params = {};
  std::string_view root = {};
};

// The URL of `page` for the record at server location `location`:
// GetBaseURL(location) & page & "?ObjName=" & kind & "&FileName=" &
// GetURLFileName(location), the parameters, then the shape's tail.
std::string BuildRecordUrl(std::string_view location, ServerPage page, const RecordKind& kind);
// The same for the record `file` of the server folder `folder` ("http://h/
// app/?k=1/"), the file name taken as it is, whatever it holds.
std::string BuildRecordUrl(std::string_view folder, ServerPage page, const RecordKind& kind,
                           std::string_view file);
// The listing URL of the server folder `folder`: as above without FileName.
std::string BuildListingUrl(std::string_view folder, const RecordKind& kind);

// What reading a record found.
enum class RecordRead {
  kRead,      // a document of the kind
  kEmpty,     // the server answered 2xx with nothing (blanks at most)
  kNoRecord,  // no record: a missing or unreadable file, text that is no
              // well-formed XML
  kRefused,   // the server answered with a status other than 2xx, or the
              // document's root is not the kind's root element
};

// Reads the record at `filename` into `doc`; unless the result is kRead,
// `doc` is left empty (its ParseError() tells why when parsing failed).
// Read-modify-write operations act on the difference: only kEmpty means that
// the server holds no record yet; kRefused ends the call without saving.
[[nodiscard]] RecordRead ReadRecord(XmlDocument& doc, std::string_view filename,
                                    const RecordKind& kind);
// The same for the record `file` of the folder `folder`: a server folder
// (BuildRecordUrl with `file`), or a local one ending in a separator, to
// which `file` is appended as it is.
[[nodiscard]] RecordRead ReadRecord(XmlDocument& doc, std::string_view folder,
                                    const RecordKind& kind, std::string_view file);
// ReadRecord(...) == RecordRead::kRead.
[[nodiscard]] bool LoadRecord(XmlDocument& doc, std::string_view filename, const RecordKind& kind);
// The local list record `filename` read without a tree (record_list.h);
// nullopt for a server location and for whatever the reader leaves to the
// DOM, which LoadRecord then reads.
std::optional<RecordList> ReadLocalRecordList(std::string_view filename,
                                              const RecordListShape& shape);

// Stores `doc` at `filename`; false when a server refused it. A local file is
// replaced whole (a temporary file, then a rename: a failure leaves the old
// one as it was) and a failure raises kLocalWriteFailed. To a server, the
// document is the request's body; a non-empty answer is shown in a message
// box (OK button, caption kServerAnswerCaption). A 2xx answer counts as done
// whatever its text; any other status is a refusal.
[[nodiscard]] bool SaveRecord(const XmlDocument& doc, std::string_view filename,
                              const RecordKind& kind);

// Deletes the record at `filename`. Server: true exactly when the page
// answers 2xx with empty text; the answer is not shown. Local: true when the
// file (also a read-only one) was removed; false when it is missing, is a
// folder, or cannot be removed.
[[nodiscard]] bool DeleteRecord(std::string_view filename, const RecordKind& kind);

// Shows a server's answer in a message box with an OK button and the
// caption kServerAnswerCaption.
void ShowServerAnswer(std::string_view text);

// The names of the files (not sub-folders; links to files count) in the
// local folder `folder`, sorted without regard to case as the course
// authors' file system lists them. Empty when the folder does not exist.
std::vector<std::string> ListFolderFiles(std::string_view folder);

// POSTs the listing URL of `folder` and splits the answer into its
// ";"-terminated fields (see SplitListing). An answer with a status other
// than 2xx raises kServerFailed: an error page is no empty listing.
std::vector<std::string> FetchListing(std::string_view folder, const RecordKind& kind,
                                      size_t fields_per_record);

// Splits a listing answer ("Unit 1;u1_pmxl.xml;Unit 2;u2_pmxl.xml;") into
// its fields, `fields_per_record` a record: records are taken from the left
// while a ";" remains. Raises runtime error 5 when a record that has begun
// lacks the ";" of one of its fields. The result's size is a multiple of
// `fields_per_record`.
std::vector<std::string> SplitListing(std::string_view text, size_t fields_per_record);

}  // namespace norwin::datalayer
