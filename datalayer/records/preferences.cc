#include "norwin/datalayer/preferences.h"

#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/password_digest.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

namespace {

using automation::Variant;

constexpr RecordKind kPreferencesKind{"Preferences", RequestShape::kB};

// The Boolean and integer conversions of the language, applied to element
// text: "True", "false", "-1" and "0" read; anything else raises 13.
bool TextToBool(const std::string& text) { return automation::ToBool(Variant(text)); }
int16_t TextToInt16(const std::string& text) { return automation::ToInt16(Variant(text)); }

std::string_view LowerBool(bool value) { return value ? "true" : "false"; }
// Three elements have always been written with a capital "False"; readers
// convert them without regard to case, so it is kept for older readers that
// compare the text.
std::string_view MixedBool(bool value) { return value ? "true" : "False"; }

}  // namespace

void Preferences::SetPassword(const std::string& password) {
  if (password.empty()) {
    digest_.clear();
    fields_.has_password = false;
    fields_.exam_pw_required = false;
    return;
  }
  digest_ = EncryptPassword(password);
  fields_.has_password = true;
  fields_.exam_pw_required = true;
}

bool Preferences::CheckPassword(const std::string& password) const {
  if (!fields_.has_password) return true;
  return EncryptPassword(password) == digest_;
}

bool Preferences::LoadFromXml(XmlNode node) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  PreferenceFields& f = fields_;
  const std::optional<std::string> inherited = AttributeText(node, "inherited");
  f.inherited = !inherited || *inherited == "1";

  // These two have always been compared with the exact text "true".
  if (std::optional<std::string> text = ChildText(node, "loginRequired")) {
    f.student_login_required = *text == "true";
  }
  if (std::optional<std::string> text = ChildText(node, "examRetakeAllowed")) {
    f.exam_retake_allowed = *text == "true";
  }
  if (std::optional<std::string> allowed = ChildText(node, "questionRetakeAllowed")) {
    if (*allowed == "true") {
      const std::optional<std::string> count = ChildText(node, "questionRetakeCount");
      f.question_retake_count = count ? TextToInt16(*count) : int16_t{1};
      f.question_retake_allowed = true;
    } else {
      f.question_retake_allowed = false;
      f.question_retake_count = 0;
    }
  }
  if (std::optional<std::string> text = ChildText(node, "displayFeedback")) {
    f.display_feedback = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "detailedFeedback")) {
    f.detailed_feedback = TextToBool(*text);
  }
  if (std::optional<std::string> password = ChildText(node, "password")) {
    digest_ = std::move(*password);
    f.exam_pw_required = true;
    f.has_password = true;
  } else {
    digest_.clear();
    f.exam_pw_required = false;
    f.has_password = false;
  }
  if (std::optional<std::string> text = ChildText(node, "enablePrinting")) {
    f.enable_printing = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "timeLimit")) {
    f.time_limit = TextToInt16(*text);
  }

  f.random_question_order = false;
  f.random_question_limit = 0;
  const XmlNode random = [&] {
    Result<XmlNode> found = node.SelectSingleNode("randomQuestions");
    return found.ok() ? *found : XmlNode();
  }();
  if (!random.IsNull() && TextToBool(random.Text())) {
    f.random_question_order = true;
    if (std::optional<std::string> limit = AttributeText(random, "limit")) {
      f.random_question_limit = TextToInt16(*limit);
    }
  }

  if (std::optional<std::string> text = ChildText(node, "startDate")) f.start_date = *text;
  if (std::optional<std::string> text = ChildText(node, "endDate")) f.end_date = *text;
  if (std::optional<std::string> text = ChildText(node, "displayHint")) {
    f.display_hint = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "enableRef")) {
    f.enable_ref = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "allowSelfRegister")) {
    f.allow_self_register = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "enablePause")) {
    f.enable_pause = TextToBool(*text);
  }
  if (std::optional<std::string> text = ChildText(node, "delayExamResultsDate")) {
    f.delay_exam_results_date = *text;
  }
  if (std::optional<std::string> text = ChildText(node, "displayRemediation")) {
    f.display_remediation = TextToBool(*text);
  }
  return true;
}

void Preferences::SaveToXml(XmlNode node) const {
  const PreferenceFields& f = fields_;
  SetAttributeText(node, "inherited", f.inherited ? "1" : "0");
  AppendTextElement(node, "loginRequired", LowerBool(f.student_login_required));
  AppendTextElement(node, "examRetakeAllowed", LowerBool(f.exam_retake_allowed));
  AppendTextElement(node, "questionRetakeAllowed", LowerBool(f.question_retake_allowed));
  AppendTextElement(node, "questionRetakeCount", std::to_string(f.question_retake_count));
  AppendTextElement(node, "displayFeedback", LowerBool(f.display_feedback));
  AppendTextElement(node, "detailedFeedback", LowerBool(f.detailed_feedback));
  if (!digest_.empty()) AppendTextElement(node, "password", digest_);
  AppendTextElement(node, "enablePrinting", LowerBool(f.enable_printing));
  AppendTextElement(node, "timeLimit", std::to_string(f.time_limit));
  if (f.random_question_order) {
    const XmlNode random = AppendTextElement(node, "randomQuestions", "true");
    if (f.random_question_limit != 0) {
      SetAttributeText(random, "limit", std::to_string(f.random_question_limit));
    }
  }
  if (!f.start_date.empty()) AppendTextElement(node, "startDate", f.start_date);
  if (!f.end_date.empty()) AppendTextElement(node, "endDate", f.end_date);
  AppendTextElement(node, "displayHint", LowerBool(f.display_hint));
  AppendTextElement(node, "enableRef", MixedBool(f.enable_ref));
  AppendTextElement(node, "allowSelfRegister", MixedBool(f.allow_self_register));
  AppendTextElement(node, "enablePause", MixedBool(f.enable_pause));
  if (!f.delay_exam_results_date.empty()) {
    AppendTextElement(node, "delayExamResultsDate", f.delay_exam_results_date);
  }
  AppendTextElement(node, "displayRemediation", LowerBool(f.display_remediation));
}

bool Preferences::Load(const std::string& filename) {
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kPreferencesKind)) return false;
  return LoadFromXml(doc.DocumentElement());
}

bool Preferences::Save(const std::string& filename) const {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, "pref"));
  return SaveRecord(doc, filename, kPreferencesKind);
}

bool Preferences::LoadFromXMLNode(const Variant& node) {
  return LoadFromXml(DomNodeArgument(node));
}

bool Preferences::SaveToXMLNode(const Variant& node) const {
  SaveToXml(DomNodeArgument(node));
  return true;
}

// Every setting is a read-write property under its script name.
#define NORWIN_PREFERENCE(name, member)                       \
  PropertyRW(                                                 \
      name, [](Preferences& p) { return p.fields().member; }, \
      [](Preferences& p, decltype(PreferenceFields::member) value) { p.fields().member = value; })

NORWIN_CLASS(Preferences) {
  NORWIN_PREFERENCE("StudentLoginRequired", student_login_required);
  NORWIN_PREFERENCE("ExamPWRequired", exam_pw_required);
  NORWIN_PREFERENCE("ExamRetakeAllowed", exam_retake_allowed);
  NORWIN_PREFERENCE("QuestionRetakeAllowed", question_retake_allowed);
  NORWIN_PREFERENCE("QuestionRetakeCount", question_retake_count);
  NORWIN_PREFERENCE("DisplayFeedback", display_feedback);
  NORWIN_PREFERENCE("EnablePrinting", enable_printing);
  NORWIN_PREFERENCE("DetailedFeedback", detailed_feedback);
  NORWIN_PREFERENCE("TimeLimit", time_limit);
  NORWIN_PREFERENCE("RandomQuestionOrder", random_question_order);
  NORWIN_PREFERENCE("RandomQuestionLimit", random_question_limit);
  NORWIN_PREFERENCE("Inherited", inherited);
  NORWIN_PREFERENCE("hasPassword", has_password);
  NORWIN_PREFERENCE("StartDate", start_date);
  NORWIN_PREFERENCE("EndDate", end_date);
  NORWIN_PREFERENCE("DisplayHint", display_hint);
  NORWIN_PREFERENCE("EnableRef", enable_ref);
  NORWIN_PREFERENCE("AllowSelfRegister", allow_self_register);
  NORWIN_PREFERENCE("EnablePause", enable_pause);
  NORWIN_PREFERENCE("DelayExamResultsDate", delay_exam_results_date);
  NORWIN_PREFERENCE("DisplayRemediation", display_remediation);
  PropertyRW("EncryptedPasswordProp", &Preferences::EncryptedPassword,
             &Preferences::SetEncryptedPassword);
  Method("CheckPassword", &Preferences::CheckPassword);
  Method("SetPassword", &Preferences::SetPassword);
  Method("LoadFromXMLNode", &Preferences::LoadFromXMLNode);
  Method("SaveToXMLNode", &Preferences::SaveToXMLNode);
  Method("Load", &Preferences::Load);
  Method("Save", &Preferences::Save);
}

#undef NORWIN_PREFERENCE

}  // namespace norwin::datalayer
