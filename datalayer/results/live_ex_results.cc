#include "norwin/datalayer/live_ex_results.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/live_ex_score.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/registry.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/drives.h"

namespace norwin::datalayer {

namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::Variant;

constexpr std::string_view kRootElement = "liveResults";
constexpr std::string_view kScoreElement = "score";

// What the record keeps of one member of Scores. Members made by this
// library are read directly; anything else page script put there is asked
// by name.
struct ScoreValues {
  std::string id;
  bool correct = false;
  int16_t attempts = 0;
};

ScoreValues ValuesOf(const Variant& item) {
  const Variant& value = item.Resolve();
  if (value.IsObject()) {
    if (const auto* score = dynamic_cast<const LiveExScore*>(value.object())) {
      return ScoreValues{score->Id(), score->Correct(), score->Attempts()};
    }
  }
  automation::Object& object = automation::RequireObject(item);
  const automation::InvokeFlags get = automation::DISPATCH_PROPERTYGET;
  return ScoreValues{automation::ToString(automation::CallByName(object, "ID", get)),
                     automation::ToBool(automation::CallByName(object, "Correct", get)),
                     automation::ToInt16(automation::CallByName(object, "Attempts", get))};
}

bool IsCorrect(const Variant& item) {
  const Variant& value = item.Resolve();
  if (value.IsObject()) {
    if (const auto* score = dynamic_cast<const LiveExScore*>(value.object())) {
      return score->Correct();
    }
  }
  return automation::ToBool(automation::CallByName(automation::RequireObject(item), "Correct",
                                                   automation::DISPATCH_PROPERTYGET));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return automation::CompareStrings(a, b, automation::CompareMode::kText) == 0;
}

// The file-name part of a location: what follows its last "/" or "\".
std::string_view FileNamePart(std::string_view location) {
  const size_t slash = location.find_last_of("/\\");
  return slash == std::string_view::npos ? location : location.substr(slash + 1);
}

// Whether two local locations name one file (written differently:
// "C:\r\x.xml" and "c:/R/x.xml").
bool SameLocalFile(std::string_view a, std::string_view b) {
  if (IsURL(a) || IsURL(b)) return false;
  Result<fs::path> path_a = platform::ResolveCoursePath(a);
  Result<fs::path> path_b = platform::ResolveCoursePath(b);
  if (!path_a.ok() || !path_b.ok()) return false;
  std::error_code error;
  return fs::equivalent(*path_a, *path_b, error) && !error;
}

}  // namespace

automation::Collection& LiveExResults::Scores() {
  if (!scores_) scores_ = automation::MakeCollection();
  return *scores_;
}

bool LiveExResults::Load(std::string_view filename) {
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kLiveExResultsKind)) return false;
  LoadFromXml(doc.DocumentElement(), filename);
  orig_filename_ = std::string(filename);
  return true;
}

bool LiveExResults::LoadFromXml(XmlNode root, std::string_view filename) {
  if (std::optional<std::string> id = AttributeText(root, "ID")) exam_id_ = std::move(*id);
  if (std::optional<std::string> date = AttributeText(root, "completionDate")) {
    completion_date_ = std::move(*date);
  }
  if (std::optional<std::string> title = ChildText(root, "title")) title_ = std::move(*title);
  if (std::optional<std::string> student = ChildText(root, "studentID")) {
    student_id_ = std::move(*student);
  }
  automation::Collection& scores = Scores();
  for (XmlNode node : root.ChildNodes()) {
    if (node.NodeType() != XmlNodeType::kElement || node.NodeName() != kScoreElement) continue;
    automation::Ref<LiveExScore> score = NewLiveExScore();
    // Each value on its own: a malformed one keeps its default and the
    // others still count. The number and back drops leading zeros.
    try {
      score->SetId(std::to_string(automation::ToInt16(Variant(node.Text()))));
    } catch (const AutomationError&) {
    }
    score->SetExamId(exam_id_);
    if (std::optional<std::string> correct = AttributeText(node, "correct")) {
      score->SetCorrect(EqualsNoCase(*correct, "True") || *correct == "-1");
    }
    if (std::optional<std::string> attempts = AttributeText(node, "attempts")) {
      try {
        score->SetAttempts(automation::ToInt16(Variant(std::move(*attempts))));
      } catch (const AutomationError&) {
      }
    }
    // A second score of one step is dropped; the first stands.
    const std::string key = score->Id();
    (void)scores.TryAddKeyed(key, Variant(std::move(score)));
  }
  exam_file_name_ = std::string(FileNamePart(filename));
  return true;
}

void LiveExResults::SaveToXml(XmlNode root) const {
  if (!exam_id_.empty()) SetAttributeText(root, "ID", exam_id_);
  if (!completion_date_.empty()) SetAttributeText(root, "completionDate", completion_date_);
  AppendTextElement(root, "title", title_);
  if (!student_id_.empty()) AppendTextElement(root, "studentID", student_id_);
  if (!scores_) return;
  for (const Variant& item : *scores_) {
    const ScoreValues values = ValuesOf(item);
    const XmlNode node = AppendTextElement(root, kScoreElement, values.id);
    SetAttributeText(node, "correct", automation::FormatBool(values.correct));
    SetAttributeText(node, "attempts", std::to_string(values.attempts));
  }
}

bool LiveExResults::StoreRecord(const XmlDocument& doc, std::string_view filename) const {
  if (!IsURL(filename)) return SaveRecord(doc, filename, kLiveExResultsKind);
  const platform::HttpResponse response =
      PostToServerOrThrow(BuildRecordUrl(filename, ServerPage::kSave, kLiveExResultsKind),
                          doc.Xml(XmlDeclaration::kInclude));
  if (Succeeded(response) && response.body.empty()) return true;
  ShowSubmissionMessage(std::string(kLiveExSaveRefusedText) + ResponseText(response),
                        kSubmissionCaption);
  return false;
}

bool LiveExResults::Save(std::string_view filename, DeleteOld delete_old) {
  // The full record is stored first: whatever becomes of the submission,
  // the student's steps are never lost.
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, kRootElement));
  bool stored = StoreRecord(doc, filename);

  bool submitted = true;
  if (std::optional<Submission> submission = FindSubmission()) {
    submission->document->SetScore(CalcScore());
    const SubmitResult result = submission->document->SubmitScore();
    submitted = result == SubmitResult::kAccepted;
    // A server that could not be reached gets the score with the next Save;
    // one that answered has had its say, accepted or not.
    if (result != SubmitResult::kNotReached) UseUp(*submission);
    if (submitted) {
      // The score is with the server: the record starts over, empty, and
      // pages show a new exercise.
      XmlDocument empty;
      NewRecordRoot(empty, kRootElement);
      stored = StoreRecord(empty, filename);
    }
  }

  if (stored && delete_old == DeleteOld::kYes && orig_filename_ != filename &&
      !SameLocalFile(orig_filename_, filename)) {
    (void)Delete(orig_filename_);
  }
  return stored && submitted;
}

void LiveExResults::UseUp(const Submission& submission) const {
  if (Delete(submission.file)) return;
  // A document that stays must never send its score again.
  (void)MarkSubmissionDocumentSent(submission.file, submission.document->TheXml());
}

std::optional<LiveExResults::Submission> LiveExResults::FindSubmission() const {
  const std::optional<std::string> folder =
      ReadRegistryString(kHkeyLocalMachine, kLiveExSettingsKey, kLiveExResultsDirValue);
  if (!folder || folder->empty()) return std::nullopt;
  // The exercise's identifier names a file in that folder and nothing
  // outside it: the document found is deleted once used.
  if (exam_id_.find_first_of("/\\") != std::string::npos) return std::nullopt;
  Submission submission;
  submission.file = *folder + "/VelloraLiveEx_" + exam_id_ + ".xml";
  const automation::Ref<automation::Object> object = CreateRecordObject("VelloraLiveEx");
  submission.document = automation::Ref<VelloraLiveEx>(&dynamic_cast<VelloraLiveEx&>(*object));
  if (!submission.document->Load(submission.file, kNoSettingsFile)) return std::nullopt;
  return submission;
}

automation::Ref<VelloraLiveEx> LiveExResults::GetVelloraLiveEx() {
  std::optional<Submission> submission = FindSubmission();
  if (!submission) return {};
  UseUp(*submission);
  return std::move(submission->document);
}

double LiveExResults::CalcScore() const {
  if (!scores_ || scores_->empty()) return 0;
  size_t correct = 0;
  for (const Variant& item : *scores_) {
    if (IsCorrect(item)) ++correct;
  }
  return static_cast<double>(correct) / static_cast<double>(scores_->size()) * 100;
}

bool LiveExResults::Delete(std::string_view filename) const {
  return DeleteRecord(filename, kLiveExResultsKind);
}

NORWIN_CLASS(LiveExResults) {
  PropertyRef("Scores", &LiveExResults::GetScores, &LiveExResults::SetScores);
  PropertyRW("Title", &LiveExResults::Title, &LiveExResults::SetTitle);
  PropertyRW("ExamID", &LiveExResults::ExamId, &LiveExResults::SetExamId);
  PropertyRW("CompletionDate", &LiveExResults::CompletionDate, &LiveExResults::SetCompletionDate);
  PropertyRW("ExamFileName", &LiveExResults::ExamFileName, &LiveExResults::SetExamFileName);
  PropertyRW("StudentID", &LiveExResults::StudentId, &LiveExResults::SetStudentId);
  PropertyRW("origFilename", &LiveExResults::OrigFilename, &LiveExResults::SetOrigFilename);
  Method("Load", &LiveExResults::Load);
  Method("LoadFromXMLNode",
         [](LiveExResults& self, const Variant& root, const std::string& filename) {
           return self.LoadFromXml(DomNodeArgument(root), filename);
         });
  Method(
      "Save",
      [](LiveExResults& self, const std::string& filename, bool delete_old) {
        return self.Save(filename, delete_old ? DeleteOld::kYes : DeleteOld::kNo);
      },
      automation::Optional("deleteOldIfChanged", false));
  Method("GetVelloraLiveEx", &LiveExResults::GetVelloraLiveEx);
  Method("SaveToXMLNode", [](LiveExResults& self, const Variant& root) {
    self.SaveToXml(DomNodeArgument(root));
    return true;
  });
  Method("CalcScore", &LiveExResults::CalcScore);
  Method("Delete", [](LiveExResults& self, const std::string& filename) {
    return Variant(self.Delete(filename));
  });
}

}  // namespace norwin::datalayer
