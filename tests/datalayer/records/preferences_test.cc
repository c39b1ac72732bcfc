// Preferences as exam lists, exams and pages use them: the element they are
// kept in (exact text and order), the reading rules with their quirks and
// errors, the password digest, and the stand-alone record in a folder.
#include "norwin/datalayer/preferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/password_digest.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::Ref;
using automation::Variant;

constexpr char kDefaultsXml[] =
    "<pref inherited=\"1\"><loginRequired>false</loginRequired>"
    "<examRetakeAllowed>false</examRetakeAllowed><questionRetakeAllowed>true"
    "</questionRetakeAllowed><questionRetakeCount>1</questionRetakeCount>"
    "<displayFeedback>false</displayFeedback><detailedFeedback>false</detailedFeedback>"
    "<enablePrinting>false</enablePrinting><timeLimit>30</timeLimit>"
    "<displayHint>false</displayHint><enableRef>False</enableRef>"
    "<allowSelfRegister>False</allowSelfRegister><enablePause>False</enablePause>"
    "<displayRemediation>true</displayRemediation></pref>";

int32_t ErrNumberOf(const AutomationError& e) { return automation::ErrNumberFromHResult(e.number); }

class PreferencesTest : public ::testing::Test {
 protected:
  // Made through the class table, as script gets it.
  Ref<Preferences> NewPrefs() {
    Ref<automation::Object> object = CreateRecordObject("Preferences");
    return Ref<Preferences>(dynamic_cast<Preferences*>(object.get()));
  }
  Variant Get(std::string_view name) { return CallByName(*prefs_, name, DISPATCH_PROPERTYGET); }
  void Put(std::string_view name, Variant value) {
    CallByName(*prefs_, name, DISPATCH_PROPERTYPUT, {std::move(value)});
  }
  Variant Call(std::string_view name, std::initializer_list<Variant> args) {
    return CallByName(*prefs_, name, DISPATCH_METHOD, args);
  }

  // The element the preferences write, as text.
  std::string Saved(const Preferences& prefs) {
    XmlDocument doc;
    prefs.SaveToXml(NewRecordRoot(doc, "pref"));
    return doc.Xml();
  }
  // Reads `xml` (a pref element) into `prefs_`.
  void Read(std::string_view xml) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(xml).ok());
    EXPECT_TRUE(prefs_->LoadFromXml(doc.DocumentElement()));
  }

  testing::TempPrefix prefix_;
  Ref<Preferences> prefs_ = NewPrefs();
};

TEST_F(PreferencesTest, NewObjectsHaveTheirInitialValuesAndWriteThemInOrder) {
  EXPECT_EQ(Get("StudentLoginRequired"), Variant(false));
  EXPECT_EQ(Get("QuestionRetakeAllowed"), Variant(true));
  EXPECT_EQ(Get("QuestionRetakeCount"), Variant(int16_t{1}));
  EXPECT_EQ(Get("TimeLimit"), Variant(int16_t{30}));
  EXPECT_EQ(Get("RandomQuestionLimit"), Variant(int16_t{0}));
  EXPECT_EQ(Get("Inherited"), Variant(true));
  EXPECT_EQ(Get("hasPassword"), Variant(false));
  EXPECT_EQ(Get("StartDate"), Variant(""));
  EXPECT_EQ(Get("DisplayRemediation"), Variant(true));
  EXPECT_EQ(Get("EncryptedPasswordProp"), Variant(""));
  EXPECT_EQ(Saved(*prefs_), kDefaultsXml);
}

TEST_F(PreferencesTest, EverySettingWrittenReadsBackInAnotherObject) {
  Put("StudentLoginRequired", Variant(true));
  Put("ExamRetakeAllowed", Variant(true));
  Put("QuestionRetakeCount", Variant("3"));  // converted as script passes it
  Put("DisplayFeedback", Variant(true));
  Put("EnablePrinting", Variant(true));
  Put("DetailedFeedback", Variant(true));
  Put("TimeLimit", Variant(int32_t{90}));
  Put("RandomQuestionOrder", Variant(true));
  Put("RandomQuestionLimit", Variant(int16_t{12}));
  Put("Inherited", Variant(false));
  Put("StartDate", Variant("5/1/2026"));
  Put("EndDate", Variant("6/30/2026 11:59:00 PM"));
  Put("DisplayHint", Variant(true));
  Put("EnableRef", Variant(true));
  Put("AllowSelfRegister", Variant(true));
  Put("EnablePause", Variant(true));
  Put("DelayExamResultsDate", Variant("7/1/2026"));
  Put("DisplayRemediation", Variant(false));
  Call("SetPassword", {Variant("Secret1")});
  EXPECT_EQ(Saved(*prefs_),
            "<pref inherited=\"0\"><loginRequired>true</loginRequired>"
            "<examRetakeAllowed>true</examRetakeAllowed><questionRetakeAllowed>true"
            "</questionRetakeAllowed><questionRetakeCount>3</questionRetakeCount>"
            "<displayFeedback>true</displayFeedback><detailedFeedback>true</detailedFeedback>"
            "<password>" +
                EncryptPassword("Secret1") +
                "</password><enablePrinting>true</enablePrinting><timeLimit>90</timeLimit>"
                "<randomQuestions limit=\"12\">true</randomQuestions>"
                "<startDate>5/1/2026</startDate><endDate>6/30/2026 11:59:00 PM</endDate>"
                "<displayHint>true</displayHint><enableRef>true</enableRef>"
                "<allowSelfRegister>true</allowSelfRegister><enablePause>true</enablePause>"
                "<delayExamResultsDate>7/1/2026</delayExamResultsDate>"
                "<displayRemediation>false</displayRemediation></pref>");

  Ref<Preferences> copy = NewPrefs();
  XmlDocument doc;
  prefs_->SaveToXml(NewRecordRoot(doc, "pref"));
  ASSERT_TRUE(copy->LoadFromXml(doc.DocumentElement()));
  EXPECT_EQ(Saved(*copy), Saved(*prefs_));
  EXPECT_TRUE(copy->fields().has_password);
  EXPECT_TRUE(copy->fields().exam_pw_required);
  EXPECT_TRUE(copy->CheckPassword("Secret1"));
  EXPECT_FALSE(copy->CheckPassword("secret1"));

  // A limit of 0 is not written; random order off writes no element.
  copy->fields().random_question_limit = 0;
  EXPECT_NE(Saved(*copy).find("<randomQuestions>true</randomQuestions>"), std::string::npos);
  copy->fields().random_question_order = false;
  EXPECT_EQ(Saved(*copy).find("randomQuestions"), std::string::npos);
}

TEST_F(PreferencesTest, ReadingFollowsTheElementsThatAreThere) {
  // Values unlike those an empty element could give.
  PreferenceFields& f = prefs_->fields();
  f.student_login_required = true;
  f.time_limit = 45;
  f.display_hint = true;
  f.start_date = "1/1/2026";
  f.random_question_order = true;
  f.random_question_limit = 5;
  f.inherited = false;
  prefs_->SetPassword("pw");

  Read("<pref/>");
  EXPECT_TRUE(f.inherited);
  EXPECT_FALSE(f.has_password);
  EXPECT_FALSE(f.exam_pw_required);
  EXPECT_EQ(prefs_->EncryptedPassword(), "");
  EXPECT_FALSE(f.random_question_order);
  EXPECT_EQ(f.random_question_limit, 0);
  // Everything else stays as it was.
  EXPECT_TRUE(f.student_login_required);
  EXPECT_EQ(f.time_limit, 45);
  EXPECT_TRUE(f.display_hint);
  EXPECT_EQ(f.start_date, "1/1/2026");

  // Login and exam retakes want the exact "true"; the others convert.
  Read(
      "<pref inherited='0'><loginRequired>True</loginRequired>"
      "<examRetakeAllowed>true</examRetakeAllowed><displayFeedback>True</displayFeedback>"
      "<detailedFeedback> -1 </detailedFeedback><enablePrinting>0</enablePrinting>"
      "<enableRef>FALSE</enableRef><randomQuestions limit='7'>1</randomQuestions>"
      "<timeLimit>2.5</timeLimit></pref>");
  EXPECT_FALSE(f.inherited);
  EXPECT_FALSE(f.student_login_required);
  EXPECT_TRUE(f.exam_retake_allowed);
  EXPECT_TRUE(f.display_feedback);
  EXPECT_TRUE(f.detailed_feedback);
  EXPECT_FALSE(f.enable_printing);
  EXPECT_FALSE(f.enable_ref);
  EXPECT_TRUE(f.random_question_order);
  EXPECT_EQ(f.random_question_limit, 7);
  EXPECT_EQ(f.time_limit, 2);  // rounded half to even

  // Only "1" means inherited; a retake count comes with "true" alone.
  Read("<pref inherited='true'><questionRetakeAllowed>true</questionRetakeAllowed></pref>");
  EXPECT_FALSE(f.inherited);
  EXPECT_TRUE(f.question_retake_allowed);
  EXPECT_EQ(f.question_retake_count, 1);
  Read(
      "<pref><questionRetakeAllowed>true</questionRetakeAllowed>"
      "<questionRetakeCount>4</questionRetakeCount></pref>");
  EXPECT_EQ(f.question_retake_count, 4);
  Read(
      "<pref><questionRetakeAllowed>TRUE</questionRetakeAllowed>"
      "<questionRetakeCount>4</questionRetakeCount></pref>");
  EXPECT_FALSE(f.question_retake_allowed);
  EXPECT_EQ(f.question_retake_count, 0);
  // Random order that converts to false leaves the limit at 0.
  Read("<pref><randomQuestions limit='9'>false</randomQuestions></pref>");
  EXPECT_FALSE(f.random_question_order);
  EXPECT_EQ(f.random_question_limit, 0);
}

TEST_F(PreferencesTest, TextThatDoesNotConvertFailsTheReadAfterTheFieldsBeforeIt) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<pref><loginRequired>true</loginRequired>"
                          "<displayFeedback>yes</displayFeedback><timeLimit>10</timeLimit></pref>")
                  .ok());
  try {
    prefs_->LoadFromXml(doc.DocumentElement());
    ADD_FAILURE() << "\"yes\" must not convert";
  } catch (const AutomationError& e) {
    EXPECT_EQ(ErrNumberOf(e), automation::kTypeMismatch);
  }
  EXPECT_TRUE(prefs_->fields().student_login_required);
  EXPECT_EQ(prefs_->fields().time_limit, 30);

  for (const char* bad :
       {"<pref><timeLimit>half an hour</timeLimit></pref>", "<pref><timeLimit/></pref>",
        "<pref><randomQuestions limit='x'>true</randomQuestions></pref>"}) {
    ASSERT_TRUE(doc.LoadXml(bad).ok());
    try {
      prefs_->LoadFromXml(doc.DocumentElement());
      ADD_FAILURE() << bad << " must not convert";
    } catch (const AutomationError& e) {
      EXPECT_EQ(ErrNumberOf(e), automation::kTypeMismatch) << bad;
    }
  }
  ASSERT_TRUE(doc.LoadXml("<pref><timeLimit>40000</timeLimit></pref>").ok());
  try {
    prefs_->LoadFromXml(doc.DocumentElement());
    ADD_FAILURE() << "40000 is beyond 16 bits";
  } catch (const AutomationError& e) {
    EXPECT_EQ(ErrNumberOf(e), automation::kOverflow);
  }
  EXPECT_THROW(prefs_->LoadFromXml(XmlNode()), AutomationError);
}

TEST_F(PreferencesTest, PasswordIsKeptAsItsDigest) {
  EXPECT_EQ(Call("CheckPassword", {Variant("anything")}), Variant(true));
  Call("SetPassword", {Variant("Geheim")});
  EXPECT_EQ(Get("hasPassword"), Variant(true));
  EXPECT_EQ(Get("ExamPWRequired"), Variant(true));
  EXPECT_EQ(Get("EncryptedPasswordProp"), Variant(EncryptPassword("Geheim")));
  EXPECT_EQ(Call("CheckPassword", {Variant("Geheim")}), Variant(true));
  EXPECT_EQ(Call("CheckPassword", {Variant("geheim")}), Variant(false));
  EXPECT_EQ(Call("CheckPassword", {Variant("")}), Variant(false));

  // A digest put in directly is stored as it is; the flags stay.
  Call("SetPassword", {Variant("")});
  EXPECT_EQ(Get("hasPassword"), Variant(false));
  EXPECT_EQ(Get("ExamPWRequired"), Variant(false));
  EXPECT_EQ(Call("CheckPassword", {Variant("whatever")}), Variant(true));
  EXPECT_EQ(Saved(*prefs_), kDefaultsXml);
  Put("EncryptedPasswordProp", Variant("0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(Get("hasPassword"), Variant(false));
  EXPECT_NE(Saved(*prefs_).find("<password>0123456789abcdef0123456789abcdef</password>"),
            std::string::npos);

  // Text that has no digest is refused as the digest refuses it.
  try {
    Call("SetPassword", {Variant("\xe4\xb8\x80")});
    ADD_FAILURE() << "a character outside Windows-1252 has no digest";
  } catch (const AutomationError& e) {
    EXPECT_EQ(ErrNumberOf(e), automation::kInvalidProcedureCall);
  }
}

TEST_F(PreferencesTest, StandAloneRecordInAFolder) {
  testing::TempDir folder;
  const std::string file = (folder.path() / "defaults.xml").string();
  // Never loaded: the initial values are stored.
  EXPECT_EQ(Call("Save", {Variant(file)}), Variant(true));
  XmlDocument stored;
  ASSERT_TRUE(stored.Load(file).ok());
  EXPECT_EQ(stored.DocumentElement().Xml(), kDefaultsXml);

  prefs_->fields().time_limit = 75;
  prefs_->SetPassword("pw");
  ASSERT_TRUE(prefs_->Save(file));
  Ref<Preferences> loaded = NewPrefs();
  EXPECT_TRUE(loaded->Load(file));
  EXPECT_EQ(loaded->fields().time_limit, 75);
  EXPECT_TRUE(loaded->CheckPassword("pw"));

  EXPECT_FALSE(loaded->Load((folder.path() / "missing.xml").string()));
  std::ofstream(folder.path() / "broken.xml") << "<pref><timeLimit>";
  EXPECT_FALSE(loaded->Load((folder.path() / "broken.xml").string()));
  EXPECT_EQ(loaded->fields().time_limit, 75);
  // A folder that is not there cannot be written.
  EXPECT_THROW(prefs_->Save((folder.path() / "no" / "such.xml").string()), AutomationError);
}

TEST_F(PreferencesTest, ScriptPassesNodesOfItsOwnDocuments) {
  auto doc = automation::MakeRef<DomDocumentObject>();
  ASSERT_TRUE(doc->LoadXml("<exam><pref inherited='0'><timeLimit>25</timeLimit></pref></exam>"));
  EXPECT_EQ(Call("LoadFromXMLNode", {doc->SelectSingleNode("exam/pref")}), Variant(true));
  EXPECT_EQ(prefs_->fields().time_limit, 25);
  EXPECT_FALSE(prefs_->fields().inherited);

  const Variant target = doc->CreateElement("pref");
  ASSERT_TRUE(doc->document().DocumentElement().AppendChild(DomNodeArgument(target)).ok());
  EXPECT_EQ(Call("SaveToXMLNode", {target}), Variant(true));
  EXPECT_EQ(DomNodeArgument(target).Xml(), Saved(*prefs_));

  for (const auto& [argument, error] :
       {std::pair{Variant::Nothing(), automation::kObjectNotSet},
        std::pair{Variant("<pref/>"), automation::kObjectRequired}}) {
    try {
      Call("LoadFromXMLNode", {argument});
      ADD_FAILURE() << "a node is required";
    } catch (const AutomationError& e) {
      EXPECT_EQ(ErrNumberOf(e), error);
    }
  }
}

}  // namespace
}  // namespace norwin::datalayer
