#include "norwin/automation/guid.h"

#include <gtest/gtest.h>

namespace norwin::automation {
namespace {

TEST(GuidTest, ReadsAndWritesTheRegistryForm) {
  constexpr Guid kStudents = MakeGuid("{2C9A897F-0DC7-442C-BCCA-05983847AC0C}");
  EXPECT_EQ(kStudents.data1, 0x2C9A897Fu);
  EXPECT_EQ(kStudents.data2, 0x0DC7);
  EXPECT_EQ(kStudents.data3, 0x442C);
  EXPECT_EQ(kStudents.data4[0], 0xBC);
  EXPECT_EQ(kStudents.data4[1], 0xCA);
  EXPECT_EQ(kStudents.data4[2], 0x05);
  EXPECT_EQ(kStudents.data4[7], 0x0C);
  EXPECT_EQ(kStudents.ToString(), "{2C9A897F-0DC7-442C-BCCA-05983847AC0C}");
  // Lower-case digits read the same and write back in upper case.
  EXPECT_EQ(Guid::Parse("{2c9a897f-0dc7-442c-bcca-05983847ac0c}"), kStudents);
  EXPECT_EQ(Guid().ToString(), "{00000000-0000-0000-0000-000000000000}");
  EXPECT_NE(Guid::Parse("{2C9A897F-0DC7-442C-BCCA-05983847AC0D}"), kStudents);
}

TEST(GuidTest, RefusesEverythingElse) {
  for (const char* bad : {
           "", "{}", "2C9A897F-0DC7-442C-BCCA-05983847AC0C",  // no braces
           "{2C9A897F-0DC7-442C-BCCA-05983847AC0C",           // no closing brace
           "{2C9A897F-0DC7-442C-BCCA-05983847AC0C}x",         // trailing text
           "{2C9A897F0DC7-442C-BCCA-05983847AC0C0}",          // misplaced dash
           "{2C9A897G-0DC7-442C-BCCA-05983847AC0C}",          // not hexadecimal
           "{2C9A897F-0DC7-442C-BCCA-05983847AC0 }",          // blank
           "{+C9A897F-0DC7-442C-BCCA-05983847AC0C}",          // sign
       }) {
    EXPECT_EQ(Guid::Parse(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace norwin::automation
