// What the classes that send results to the course-management server
// (Vellora) share: the access key that fetches a submission document, the
// document's fetch, write-back and deletion, the result form and its post,
// and the texts of the messages the family shows.
//
// A submission document is issued by the server for one assignment. The
// classes of the family (the live exercise's VelloraLiveEx, and the exam's
// and lesson's submission classes) each read their own fields from it and
// post their own form, built with ResultForm and sent with PostResultForm.
//
// Calls block on the caller's thread; every HTTP exchange is bounded by the
// time limits of server_request.h. Nothing is kept between calls.
#pragma once

#include <string>
#include <string_view>

#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The keys the server takes with a document request: the first one, and the
// one of installations whose settings file begins with the line
// kSecondKeyMarker.
inline constexpr std::string_view kFirstAccessKey = "pelvanx1";
inline constexpr std::string_view kSecondAccessKey = "pelvanx2";
inline constexpr std::string_view kSecondKeyMarker = "Orvalen";
// The settings location that means "no settings file; the first key".
inline constexpr std::string_view kNoSettingsFile = "none";

// Element names the documents of the whole family share.
inline constexpr std::string_view kSubmissionRoot = "VUDUD_INPUTS";
inline constexpr std::string_view kSubmitHostElement = "SUBMIT_HOST_V3";
inline constexpr std::string_view kSubmitBackupHostElement = "SUBMIT_HOST_V3_BACKUP";
// The older name of the submit host, read but never written.
inline constexpr std::string_view kOldSubmitHostElement = "SUBMIT_HOST";

// The access key for the settings file at `ini_location` (a Windows path):
// kSecondAccessKey when its first line is exactly kSecondKeyMarker (either
// line end), else kFirstAccessKey, also when the location is empty, is
// kNoSettingsFile (never opened) or names no readable file.
std::string_view ChooseAccessKey(std::string_view ini_location);

// `url` with the key as a query parameter: "&key=" + key when `url` holds a
// "?" already, else "?key=" + key.
std::string KeyedDocumentUrl(std::string_view url, std::string_view key);

// Reads the submission document at `filename` into `doc`: for an "http:"
// location the answer to a GET of KeyedDocumentUrl(filename, key), else the
// local file. False, with `doc` empty, when the file is missing or
// unreadable, the server answers with another status than 2xx, or the text
// is not well-formed XML. Raises AutomationError kServerNotReached when the
// server gives no answer within the time limits.
[[nodiscard]] bool LoadSubmissionDocument(XmlDocument& doc, std::string_view filename,
                                          std::string_view key);

// Writes `doc` back to `filename` (not empty): a local file is replaced
// whole and the result is true (a file that cannot be written raises
// kLocalWriteFailed); to an "http:" location the document is POSTed to that
// address itself, and true means the server answered with empty text; any
// text is its error message, shown unchanged in a message box (OK button,
// caption kSubmissionCaption), and the result is false, as it is for an
// answer with an HTTP status other than 2xx. A server that gives no answer
// raises kServerNotReached.
[[nodiscard]] bool StoreSubmissionDocument(const XmlDocument& doc, std::string_view filename);

// Deletes the local file `filename`, also a read-only one. False for an
// "http:" location (nothing is sent), for a missing file or a folder, and
// when the file cannot be removed.
[[nodiscard]] bool DeleteSubmissionDocument(std::string_view filename);

// Documents that served their submission but could not be removed (a
// results folder the user may read but not change) are marked as sent: an
// empty file in $NORWIN_PREFIX/vellora-sent/ named after the document's
// location, its file's modification time and its text `xml` (as XmlDocument
// Xml() gives it). A document issued anew at that location is another
// document. MarkSubmissionDocumentSent is false when the mark cannot be
// written.
bool IsSubmissionDocumentSent(std::string_view filename, std::string_view xml);
[[nodiscard]] bool MarkSubmissionDocumentSent(std::string_view filename, std::string_view xml);

// A result form in the order its fields are added, as
// application/x-www-form-urlencoded text: "name=value" pairs joined by "&".
// Values go as they are, except the four characters that would change the
// form's structure ("%", "&", "+", "="), which are percent-encoded, so that
// a value can never end its field early or forge another one.
class ResultForm {
 public:
  // Whether the body begins with "&" (the exam's and live exercise's forms)
  // or with the first field's name (the lesson's).
  enum class Lead { kSeparator, kFirstField };

  explicit ResultForm(Lead lead) : lead_(lead) {}

  // Appends "&" (unless it is the first field of a kFirstField form), the
  // name, "=" and the value.
  ResultForm& Add(std::string_view name, std::string_view value);
  // The same with the decimal index after the name ("question_id" 2 gives
  // "question_id2=...").
  ResultForm& AddIndexed(std::string_view name, int index, std::string_view value);

  const std::string& body() const { return body_; }

 private:
  Lead lead_;
  std::string body_;
};

// How far one post of a result form got.
enum class PostStage {
  kNotOpened,  // the host is no http: or https: address (an empty one too)
  kNotSent,    // no answer came: the reason is in `reply`
  kAnswered,   // the server answered; its text is in `reply`
};

struct PostOutcome {
  PostStage stage = PostStage::kNotOpened;
  // The answer's text (ResponseText: a byte-order mark is no part of it).
  std::string reply;
  long status = 0;  // the HTTP status of the answer
  // Whether the server took the results: it answered with a 2xx status, and
  // its text begins with "success" (exactly, case-sensitive).
  bool accepted() const;
  // Whether the course-management server itself answered: not when no
  // answer came, and not when a gateway in front of it answered that it
  // could not reach it or that it is unavailable for now (502, 503, 504).
  bool reached() const;
};

// Whether `reply` (the answer's text) is the server's acceptance: its first
// seven characters are "success".
bool IsAcceptedReply(std::string_view reply);

// What became of a submission after all its attempts.
enum class SubmitResult {
  kAccepted,
  kRefused,     // the server answered, and not with its acceptance
  kNotReached,  // no attempt reached the server; a later one may
};

// POSTs `body` to `host` with Content-Type "application/x-www-form-urlencoded",
// synchronously, within the time limits of server_request.h. Never throws
// for a failed exchange: the outcome says what happened.
PostOutcome PostResultForm(std::string_view host, std::string_view body);

// Shows `text` in a message box with an OK button and `caption`.
void ShowSubmissionMessage(std::string_view text, std::string_view caption);

// The caption of the family's messages that name none of their own.
inline constexpr std::string_view kSubmissionCaption = "NorwinPellam2003";

// What the exam and lesson classes show when the server did not accept
// their results: "Save to Vellora Server failed - SubmitHost = '" + host +
// "'" + CR + "Vellora Server Response - '" + reply + "'".
std::string SubmitFailedMessage(std::string_view submit_host, std::string_view reply);

}  // namespace norwin::datalayer
