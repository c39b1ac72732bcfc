#include "norwin/datalayer/exam_info.h"

#include <optional>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"

namespace norwin::datalayer {

bool ExamInfo::SetValues(std::string title, std::string directory, std::string filename,
                         int16_t attempt, double pct_correct, std::string first_question_id,
                         int16_t source) {
  title_ = std::move(title);
  directory_ = std::move(directory);
  filename_ = std::move(filename);
  attempt_ = attempt;
  pct_correct_ = pct_correct;
  first_question_id_ = std::move(first_question_id);
  source_ = source;
  return true;
}

bool ExamInfo::LoadValues(const std::string& directory, const std::string& filename,
                          const std::string& obj_name) {
  XmlDocument doc;
  if (!FetchHandleRecord(doc, directory, filename, obj_name)) return false;
  const XmlNode root = doc.DocumentElement();
  // Everything is read before anything changes, so a value that does not
  // convert leaves the handle as it was.
  std::optional<std::string> title = ChildText(root, "title");
  std::optional<double> pct;
  if (std::optional<std::string> text = AttributeText(root, "pctCorrect")) {
    pct = automation::ToDouble(automation::Variant(*text));
  }
  std::optional<std::string> first_question = ChildText(root, "questionRef");

  if (title) title_ = std::move(*title);
  if (pct) pct_correct_ = *pct;
  if (first_question) first_question_id_ = std::move(*first_question);
  filename_ = filename;
  directory_ = directory;
  return true;
}

NORWIN_CLASS(ExamInfo) {
  PropertyRW("Title", &ExamInfo::Title, &ExamInfo::SetTitle);
  PropertyRW("filename", &ExamInfo::Filename, &ExamInfo::SetFilename);
  PropertyRW("Directory", &ExamInfo::Directory, &ExamInfo::SetDirectory);
  PropertyRW("Attempt", &ExamInfo::Attempt, &ExamInfo::SetAttempt);
  PropertyRW("PctCorrect", &ExamInfo::PctCorrect, &ExamInfo::SetPctCorrect);
  PropertyRW("FirstQuestionID", &ExamInfo::FirstQuestionID, &ExamInfo::SetFirstQuestionID);
  PropertyRW("Source", &ExamInfo::Source, &ExamInfo::SetSource);
  Method("SetValues", &ExamInfo::SetValues);
  Method("LoadValues", &ExamInfo::LoadValues, automation::Optional("pObjName", "Exam"));
}

}  // namespace norwin::datalayer
