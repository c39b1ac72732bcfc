// The URLs of the record pages: both request shapes, class parameters, the
// location's extra query and the validation string of a login.
#include <gtest/gtest.h>

#include <string>

#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/security.h"

namespace norwin::datalayer {
namespace {

// Every case starts and ends without a login on this thread.
class RecordUrlTest : public ::testing::Test {
 protected:
  void SetUp() override { StoreValidationString(""); }
  void TearDown() override { StoreValidationString(""); }
};

TEST_F(RecordUrlTest, ShapeAWritesTheAmpersandEvenWithoutALogin) {
  const RecordKind exam_list{"ExamList", RequestShape::kA};
  EXPECT_EQ(BuildRecordUrl("http://h/app/x.xml", ServerPage::kLoad, exam_list),
            "http://h/app/LoadPellamObject.asp?ObjName=ExamList&FileName=x.xml&");
  // The location's extra query is not part of shape A.
  EXPECT_EQ(BuildRecordUrl("http://h/app/?sid=7/x.xml", ServerPage::kSave, exam_list),
            "http://h/app/SavePellamObject.asp?ObjName=ExamList&FileName=x.xml&");
  StoreValidationString("LoginKey=k&LoginValue=v");
  EXPECT_EQ(BuildRecordUrl("http://h/app/x.xml", ServerPage::kDelete, exam_list),
            "http://h/app/DeletePellamObject.asp?ObjName=ExamList&FileName=x.xml&"
            "LoginKey=k&LoginValue=v");
}

TEST_F(RecordUrlTest, ShapeBAppendsQueryAndLoginOnlyWhenPresent) {
  const RecordKind students{"Students", RequestShape::kB};
  EXPECT_EQ(BuildRecordUrl("http://h/app/x.xml", ServerPage::kLoad, students),
            "http://h/app/LoadPellamObject.asp?ObjName=Students&FileName=x.xml");
  EXPECT_EQ(BuildRecordUrl("http://h/app/?sid=7/roster.xml", ServerPage::kLoad, students),
            "http://h/app/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml&sid=7");
  StoreValidationString("LoginKey=k&LoginValue=v");
  EXPECT_EQ(BuildRecordUrl("http://h/app/?sid=7?class2/roster.xml", ServerPage::kLoad, students),
            "http://h/app/class2/LoadPellamObject.asp?ObjName=Students&FileName=roster.xml"
            "&sid=7&LoginKey=k&LoginValue=v");
}

TEST_F(RecordUrlTest, ClassParametersFollowTheFileNameInTheirOrder) {
  const UrlParam filter[] = {{"CourseID", "3"}, {"SectionID", ""}, {"StudentID", "SID00001"}};
  const RecordKind students{"Students", RequestShape::kB, filter};
  StoreValidationString("LoginKey=k&LoginValue=v");
  EXPECT_EQ(BuildRecordUrl("http://h/app/?q=1/r.xml", ServerPage::kLoad, students),
            "http://h/app/LoadPellamObject.asp?ObjName=Students&FileName=r.xml&CourseID=3"
            "&StudentID=SID00001&q=1&LoginKey=k&LoginValue=v");

  // A parameter that is always sent goes out also when empty.
  const UrlParam summary[] = {{"CourseID", "", ParamPresence::kAlways},
                              {"AttemptNum", "2", ParamPresence::kAlways}};
  StoreValidationString("");
  EXPECT_EQ(BuildRecordUrl("http://h/app/e.xml", ServerPage::kLoad,
                           RecordKind{"ExamSummary", RequestShape::kB, summary}),
            "http://h/app/LoadPellamObject.asp?ObjName=ExamSummary&FileName=e.xml&CourseID="
            "&AttemptNum=2");
}

TEST_F(RecordUrlTest, ValuesReachTheServerWhole) {
  // "#" would end the request's query and "&" begin another parameter; "%"
  // and "+" go as they are (the pages decode them), and so do blanks and
  // other characters the HTTP layer encodes itself.
  const UrlParam id[] = {{"StudentID", "SID#2&CourseID=9"}};
  const RecordKind student{"Student", RequestShape::kB, id};
  EXPECT_EQ(BuildRecordUrl("http://h/app/?t=1#x/a#1&b %41+é.xml", ServerPage::kDelete, student),
            "http://h/app/DeletePellamObject.asp?ObjName=Student&FileName=a%231%26b %41+é.xml"
            "&StudentID=SID%232%26CourseID=9&t=1%23x");
  EXPECT_EQ(BuildRecordUrl("http://h/app/", ServerPage::kLoad, RecordKind{"Exam"}, "u#1.xml"),
            "http://h/app/LoadPellamObject.asp?ObjName=Exam&FileName=u%231.xml");
  // A folder holding "#" is no fragment either.
  EXPECT_EQ(BuildListingUrl("http://h/app/#2/", RecordKind{"ExamList", RequestShape::kA}),
            "http://h/app/%232/GetTitleFileNames.asp?ObjName=ExamList&");
}

TEST_F(RecordUrlTest, ListingUrlsHaveNoFileName) {
  EXPECT_EQ(BuildListingUrl("http://h/app/", RecordKind{"ExamList", RequestShape::kA}),
            "http://h/app/GetTitleFileNames.asp?ObjName=ExamList&");
  const UrlParam type[] = {{"ExamType", "2", ParamPresence::kAlways}};
  StoreValidationString("LoginKey=k&LoginValue=v");
  EXPECT_EQ(BuildListingUrl("http://h/app/?t=1/", RecordKind{"Exam", RequestShape::kB, type}),
            "http://h/app/GetTitleFileNames.asp?ObjName=Exam&ExamType=2&t=1"
            "&LoginKey=k&LoginValue=v");
}

}  // namespace
}  // namespace norwin::datalayer
