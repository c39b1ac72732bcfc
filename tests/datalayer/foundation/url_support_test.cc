// The location rule and the URL helpers, with the edge cases the server
// pages rely on.
#include "norwin/datalayer/url_support.h"

#include <gtest/gtest.h>

#include <string>

#include "norwin/datalayer/utils.h"

namespace norwin::datalayer {
namespace {

TEST(UrlSupportTest, OnlyTheExactLowerCasePrefixMakesAServerLocation) {
  EXPECT_TRUE(IsURL("http://h/app/x.xml"));
  EXPECT_TRUE(IsURL("http:x.xml"));
  EXPECT_FALSE(IsURL("HTTP://h/x.xml"));
  EXPECT_FALSE(IsURL("Http://h/x.xml"));
  EXPECT_FALSE(IsURL("https://h/x.xml"));
  EXPECT_FALSE(IsURL("http"));
  EXPECT_FALSE(IsURL(""));
  EXPECT_FALSE(IsURL("c:\\http:\\x.xml"));
}

TEST(UrlSupportTest, FileNameIsTheTextAfterTheLastSlash) {
  EXPECT_EQ(GetURLFileName("http://h/app/?k=1/x.xml"), "x.xml");
  EXPECT_EQ(GetURLFileName("http://h/app/x.xml"), "x.xml");
  EXPECT_EQ(GetURLFileName("x.xml"), "x.xml");
  EXPECT_EQ(GetURLFileName("http://h/app/"), "");
  // A backslash is no separator of a server location.
  EXPECT_EQ(GetURLFileName("http://h/app\\x.xml"), "app\\x.xml");
}

TEST(UrlSupportTest, BaseUrlDropsTheQueryAndKeepsTheSubFolder) {
  EXPECT_EQ(GetBaseURL("http://h/app/x.xml"), "http://h/app/");
  EXPECT_EQ(GetBaseURL("http://h/app/page.asp?k=1/x.xml"), "http://h/app/page.asp/");
  EXPECT_EQ(GetBaseURL("http://h/app/?k=1?sub/dir/x.xml"), "http://h/app/sub/dir/");
  EXPECT_EQ(GetBaseURL("http://h/app/?\?/dir/x.xml"), "http://h/app/dir/");
  EXPECT_EQ(GetBaseURL("http://h/app/?sid=7/students.xml"), "http://h/app/");
  EXPECT_EQ(GetBaseURL("http://h/app/?sid=7?class2/students.xml"), "http://h/app/class2/");
  // A question mark after the last slash belongs to the file name.
  EXPECT_EQ(GetBaseURL("http://h/app/x.xml?v=1"), "http://h/app/");
  EXPECT_EQ(GetBaseURL("x.xml"), "");
  EXPECT_EQ(GetBaseURL(""), "");
}

TEST(UrlSupportTest, QueryIsTheTextBetweenTheFirstAndTheLastQuestionMark) {
  EXPECT_EQ(GetURLQuery("http://h/app/?k=1?sub/x.xml"), "k=1");
  EXPECT_EQ(GetURLQuery("http://h/app/?k=1/x.xml"), "k=1");
  EXPECT_EQ(GetURLQuery("http://h/app/?a=1&b=2?sub/dir/x.xml"), "a=1&b=2");
  EXPECT_EQ(GetURLQuery("http://h/app/x.xml"), "");
  EXPECT_EQ(GetURLQuery("http://h/app/?\?/dir/x.xml"), "");
  EXPECT_EQ(GetURLQuery("http://h/app/x.xml?v=1"), "");
  EXPECT_EQ(GetURLQuery("x.xml"), "");
}

TEST(UrlSupportTest, AppendUrlParamSkipsEmptyParameters) {
  std::string url = "http://h/a.asp?x=1";
  AppendURLParam(url, "");
  EXPECT_EQ(url, "http://h/a.asp?x=1");
  AppendURLParam(url, "k=2");
  EXPECT_EQ(url, "http://h/a.asp?x=1&k=2");
}

TEST(UtilsTest, TrailingSlashEndsEveryFolderWithExactlyOneSlash) {
  EXPECT_EQ(AddTrailingSlash("C:\\data\\"), "C:\\data/");
  EXPECT_EQ(AddTrailingSlash("C:\\data"), "C:\\data/");
  EXPECT_EQ(AddTrailingSlash("/srv/data/"), "/srv/data/");
  EXPECT_EQ(AddTrailingSlash("http://h/app"), "http://h/app/");
  EXPECT_EQ(AddTrailingSlash(""), "/");
  EXPECT_EQ(AddTrailingSlash("\\"), "/");
  // Only the last separator is replaced.
  EXPECT_EQ(AddTrailingSlash("data//"), "data//");
}

}  // namespace
}  // namespace norwin::datalayer
