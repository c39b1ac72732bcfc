// `Preferences` (NorwinPellam2003.Preferences): the delivery settings of an
// assessment (login, exam password, retakes, feedback, printing, time limit,
// random question order, availability and results dates). Exam lists and
// exams keep one as their `pref` element; on its own it is a record of kind
// "Preferences" (root `pref`), the site-wide defaults.
//
// The exam password is kept only as its digest (password_digest.h).
// LoadFromXml reads what the element carries and leaves the fields of absent
// elements as they were, except the password, the random order and the
// inheritance flag, which always follow the element. Text that does not
// convert (a Boolean "yes", a non-numeric time limit) raises runtime error 13
// (6 for a number outside 16 bits); the fields read before it keep their new
// values.
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The public settings, with the values a new object starts with.
struct PreferenceFields {
  bool student_login_required = false;
  bool exam_pw_required = false;
  bool exam_retake_allowed = false;
  bool question_retake_allowed = true;
  int16_t question_retake_count = 1;
  bool display_feedback = false;
  bool enable_printing = false;
  bool detailed_feedback = false;
  int16_t time_limit = 30;
  bool random_question_order = false;
  int16_t random_question_limit = 0;
  // Whether the owner took these from outside (see ExamList::SetPreferences).
  bool inherited = true;
  bool has_password = false;
  std::string start_date;
  std::string end_date;
  bool display_hint = false;
  bool enable_ref = false;
  bool allow_self_register = false;
  bool enable_pause = false;
  std::string delay_exam_results_date;
  bool display_remediation = true;
};

class Preferences : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  PreferenceFields& fields() { return fields_; }
  const PreferenceFields& fields() const { return fields_; }

  // The stored digest; setting it leaves hasPassword and ExamPWRequired alone.
  const std::string& EncryptedPassword() const { return digest_; }
  void SetEncryptedPassword(const std::string& digest) { digest_ = digest; }

  // An empty `password` removes the password; any other stores its digest.
  // Raises what EncryptPassword raises for text that has no digest.
  void SetPassword(const std::string& password);
  // True for any text while there is no password; otherwise whether the
  // digest of `password` is the stored one. Raises as SetPassword.
  bool CheckPassword(const std::string& password) const;

  // Reads the `pref` element `node` (see above); true. Raises 91 for a null
  // node and 13 / 6 for text that does not convert.
  bool LoadFromXml(XmlNode node);
  // Appends the attribute and elements of the settings to the empty element
  // `node`, created by the caller on its document.
  void SaveToXml(XmlNode node) const;

  // The stand-alone record: false when it cannot be fetched or is not XML;
  // otherwise as LoadFromXml. Save always stores and returns true; a local
  // file that cannot be written raises kLocalWriteFailed (record_storage.h).
  bool Load(const std::string& filename);
  bool Save(const std::string& filename) const;

  // Script forms taking DOM node objects (xml_dom_objects.h).
  bool LoadFromXMLNode(const automation::Variant& node);
  bool SaveToXMLNode(const automation::Variant& node) const;

 private:
  PreferenceFields fields_;
  std::string digest_;
};

}  // namespace norwin::datalayer
