// The pieces the submission classes share: the access key, the keyed
// document address, the result form's text, the acceptance test, and the
// local write-back and deletion of a submission document.
#include "norwin/datalayer/vellora_submission.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/server_request.h"
#include "support/course_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using testing::CourseServer;
using testing::TempPrefix;

class SubmissionTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const fs::path file = prefix_.path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  TempPrefix prefix_;
};

TEST_F(SubmissionTest, TheSecondKeyNeedsTheMarkerAloneOnTheFirstLine) {
  EXPECT_EQ(ChooseAccessKey(Write("a.ini", "Orvalen\r\nmore")), kSecondAccessKey);
  EXPECT_EQ(ChooseAccessKey(Write("b.ini", "Orvalen\nmore")), kSecondAccessKey);
  EXPECT_EQ(ChooseAccessKey(Write("c.ini", "Orvalen")), kSecondAccessKey);
  // The course title followed by a blank, another case, a later line.
  EXPECT_EQ(ChooseAccessKey(Write("d.ini", "Orvalen \r\n")), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey(Write("e.ini", "orvalen\n")), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey(Write("f.ini", "\nOrvalen\n")), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey(Write("g.ini", "")), kFirstAccessKey);
  // Nothing to read: no name, a missing file, a folder.
  EXPECT_EQ(ChooseAccessKey(""), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey((prefix_.path() / "missing.ini").string()), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey(prefix_.path().string()), kFirstAccessKey);
  // "none" is never opened, even when a file has that name.
  Write("none", "Orvalen\n");
  EXPECT_EQ(ChooseAccessKey("none"), kFirstAccessKey);
  EXPECT_EQ(ChooseAccessKey((prefix_.path() / "none").string()), kSecondAccessKey);
}

TEST_F(SubmissionTest, KeyedAddressesAddTheKeyToTheirQuery) {
  EXPECT_EQ(KeyedDocumentUrl("http://h/doc.asp", "pelvanx1"), "http://h/doc.asp?key=pelvanx1");
  EXPECT_EQ(KeyedDocumentUrl("http://h/doc.asp?a=1", "pelvanx2"),
            "http://h/doc.asp?a=1&key=pelvanx2");
  EXPECT_EQ(KeyedDocumentUrl("http://h/doc.asp?", "k"), "http://h/doc.asp?&key=k");
}

TEST_F(SubmissionTest, FormsJoinTheirFieldsInOrderAndProtectTheirStructure) {
  ResultForm exam(ResultForm::Lead::kSeparator);
  exam.Add("student_id", "SID00001")
      .AddIndexed("question_id", 0, "Q 1")
      .AddIndexed("attempts", 12, "");
  EXPECT_EQ(exam.body(), "&student_id=SID00001&question_id0=Q 1&attempts12=");

  ResultForm lesson(ResultForm::Lead::kFirstField);
  lesson.Add("studentName", "AnnLee").Add("lesson_id", "L1");
  EXPECT_EQ(lesson.body(), "studentName=AnnLee&lesson_id=L1");

  // A value cannot end its field or forge another one; blanks, commas and
  // colons go as they are.
  ResultForm forged(ResultForm::Lead::kSeparator);
  forged.Add("student_id", "x&result=100").Add("testDate", "June 5, 2026 10:00").Add("n", "1+1%");
  EXPECT_EQ(forged.body(), "&student_id=x%26result%3D100&testDate=June 5, 2026 10:00&n=1%2B1%25");
  const auto fields = testing::ParseForm(forged.body());
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].second, "x&result=100");
  EXPECT_EQ(fields[2].second, "1+1%");
}

TEST_F(SubmissionTest, OnlyALowerCaseSuccessAtTheStartAccepts) {
  EXPECT_TRUE(IsAcceptedReply("success"));
  EXPECT_TRUE(IsAcceptedReply("success: stored as 4711"));
  EXPECT_FALSE(IsAcceptedReply("Success"));
  EXPECT_FALSE(IsAcceptedReply(" success"));
  EXPECT_FALSE(IsAcceptedReply("succes"));
  EXPECT_FALSE(IsAcceptedReply(""));
  EXPECT_FALSE((PostOutcome{PostStage::kNotSent, "success", 0}).accepted());
  EXPECT_TRUE((PostOutcome{PostStage::kAnswered, "success", 200}).accepted());
  // An error page is no acceptance, whatever it says.
  EXPECT_FALSE((PostOutcome{PostStage::kAnswered, "success", 500}).accepted());
  // A gateway that could not reach the server is no answer of the server's.
  EXPECT_TRUE((PostOutcome{PostStage::kAnswered, "failure", 500}).reached());
  EXPECT_FALSE((PostOutcome{PostStage::kAnswered, "", 503}).reached());
  EXPECT_FALSE((PostOutcome{PostStage::kNotSent, "", 0}).reached());
  // A byte-order mark is no part of the reply's text.
  platform::HttpResponse answer;
  answer.body = "\xEF\xBB\xBFsuccess";
  EXPECT_TRUE(IsAcceptedReply(ResponseText(answer)));
  answer.body = std::string("\xFF\xFEs\0u\0c\0c\0e\0s\0s\0", 16);
  EXPECT_TRUE(IsAcceptedReply(ResponseText(answer)));
  // An address a request cannot open is not tried at all.
  EXPECT_EQ(PostResultForm("", "&a=1").stage, PostStage::kNotOpened);
  EXPECT_EQ(PostResultForm("c:\\submit.asp", "&a=1").stage, PostStage::kNotOpened);
}

TEST_F(SubmissionTest, TheExamAndLessonFailureMessageNamesHostAndReply) {
  EXPECT_EQ(SubmitFailedMessage("http://v/submit.asp", "failure: closed"),
            "Save to Vellora Server failed - SubmitHost = 'http://v/submit.asp'\r"
            "Vellora Server Response - 'failure: closed'");
}

TEST_F(SubmissionTest, DocumentsAreWrittenWholeAndDeletedOnlyLocally) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<VUDUD_INPUTS><SUBMIT_HOST_V3>h</SUBMIT_HOST_V3></VUDUD_INPUTS>").ok());
  const std::string file = (prefix_.path() / "doc.xml").string();
  EXPECT_TRUE(StoreSubmissionDocument(doc, file));
  XmlDocument back;
  ASSERT_TRUE(LoadSubmissionDocument(back, file, kFirstAccessKey));
  EXPECT_EQ(back.Xml(), doc.Xml());
  try {
    (void)StoreSubmissionDocument(doc, (prefix_.path() / "no" / "doc.xml").string());
    ADD_FAILURE() << "a missing folder must raise";
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number, kLocalWriteFailed);
  }

  EXPECT_FALSE(DeleteSubmissionDocument("http://127.0.0.1:1/doc.xml"));
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  EXPECT_TRUE(DeleteSubmissionDocument(file));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(DeleteSubmissionDocument(file));
  EXPECT_FALSE(DeleteSubmissionDocument(prefix_.path().string()));
  EXPECT_TRUE(fs::is_directory(prefix_.path()));

  XmlDocument missing;
  EXPECT_FALSE(LoadSubmissionDocument(missing, file, kFirstAccessKey));
  EXPECT_TRUE(missing.DocumentElement().IsNull());
}

}  // namespace
}  // namespace norwin::datalayer
