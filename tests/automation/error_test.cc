#include "norwin/automation/error.h"

#include <gtest/gtest.h>

namespace norwin::automation {
namespace {

TEST(ErrorTest, RuntimeErrorsTravelInHResultFormWithTheirTexts) {
  AutomationError e = RuntimeError(kTypeMismatch, "Students.Load");
  EXPECT_EQ(e.number, MakeHResult(0x800A000D));
  EXPECT_EQ(e.description, "Type mismatch");
  EXPECT_EQ(e.source, "Students.Load");
  EXPECT_STREQ(e.what(), "Type mismatch");

  EXPECT_EQ(RuntimeError(kObjectDoesNotSupportMember).number, MakeHResult(0x800A01B6));
  EXPECT_EQ(RuntimeError(kDuplicateKey).description,
            "This key is already associated with an element of this collection");
  EXPECT_EQ(RuntimeError(kWrongArgumentCount).description,
            "Wrong number of arguments or invalid property assignment");
  EXPECT_EQ(RuntimeError(kObjectNotSet).description,
            "Object variable or With block variable not set");
  EXPECT_EQ(RuntimeError(kCannotCreateObject).description, "ActiveX component can't create object");
  // A number without a text of its own still gets a readable description.
  EXPECT_EQ(RuntimeError(1234).description, "Error 1234");
}

TEST(ErrorTest, EveryRuntimeCodeHasATextAndMapsBack) {
  for (int32_t code :
       {5,  6,  7,  9,  10, 11, 13,  14,  52,  53,  54,  55,  57,  58,  61,  62,  67,  68,  70,
        71, 74, 75, 76, 91, 94, 424, 429, 430, 432, 438, 440, 445, 446, 448, 449, 450, 457, 458}) {
    SCOPED_TRACE(code);
    EXPECT_FALSE(RuntimeErrorDescription(code).empty());
    EXPECT_EQ(RuntimeErrorFromHResult(HResultFromRuntimeError(code)), code);
    EXPECT_EQ(ErrNumberFromHResult(HResultFromRuntimeError(code)), code);
  }
}

TEST(ErrorTest, StandardFailuresMapToTheLanguagesErrors) {
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_TYPEMISMATCH), 13);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_OVERFLOW), 6);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_BADINDEX), 9);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_UNKNOWNNAME), 438);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_MEMBERNOTFOUND), 438);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_BADPARAMCOUNT), 450);
  EXPECT_EQ(ErrNumberFromHResult(DISP_E_PARAMNOTOPTIONAL), 449);
  EXPECT_EQ(ErrNumberFromHResult(REGDB_E_CLASSNOTREG), 429);
  EXPECT_EQ(ErrNumberFromHResult(CO_E_CLASSSTRING), 429);
  EXPECT_EQ(ErrNumberFromHResult(E_OUTOFMEMORY), 7);
  EXPECT_EQ(ErrNumberFromHResult(E_INVALIDARG), 5);
  // Object errors and unmapped failures keep their HRESULT.
  EXPECT_EQ(ErrNumberFromHResult(ObjectError(631)), -2147220873);
  EXPECT_EQ(ObjectError(631), MakeHResult(0x80040277));
  EXPECT_EQ(ErrNumberFromHResult(E_FAIL), -2147467259);
  EXPECT_EQ(RuntimeErrorFromHResult(E_FAIL), 0);

  EXPECT_EQ(DescribeHResult(DISP_E_TYPEMISMATCH), "Type mismatch");
  EXPECT_EQ(DescribeHResult(E_FAIL), "Unspecified error");
  EXPECT_EQ(DescribeHResult(ObjectError(5)), "Automation error");
  AutomationError e = ErrorFromHResult(REGDB_E_CLASSNOTREG, "ActiveXObject");
  EXPECT_EQ(e.number, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(e.description, "ActiveX component can't create object");
  EXPECT_TRUE(Failed(e.number));
  EXPECT_TRUE(Succeeded(S_FALSE));
}

}  // namespace
}  // namespace norwin::automation
