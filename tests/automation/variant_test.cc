#include "norwin/automation/variant.h"

#include <gtest/gtest.h>

#include "automation/support/probe_object.h"

namespace norwin::automation {
namespace {

using testing::ProbeObject;

AutomationError Raised(auto&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no AutomationError";
  return AutomationError(S_OK, "");
}

TEST(VariantTest, EachValueCarriesItsExactType) {
  EXPECT_EQ(Variant().type(), VT_EMPTY);
  EXPECT_EQ(Variant::Null().type(), VT_NULL);
  EXPECT_EQ(Variant(true).type(), VT_BOOL);
  EXPECT_EQ(Variant(int16_t{7}).type(), VT_I2);
  EXPECT_EQ(Variant(7).type(), VT_I4);
  EXPECT_EQ(Variant(uint8_t{7}).type(), VT_UI1);
  EXPECT_EQ(Variant(7.0).type(), VT_R8);
  EXPECT_EQ(Variant(Date{7}).type(), VT_DATE);
  EXPECT_EQ(Variant("x").type(), VT_BSTR);
  EXPECT_EQ(Variant(std::string_view("x")).type(), VT_BSTR);
  EXPECT_EQ(Variant::Nothing().type(), VT_DISPATCH);
  EXPECT_EQ(Variant::Missing().type(), VT_ERROR);
  EXPECT_EQ(Variant::Missing().scode(), DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_FALSE(Variant::Error(E_FAIL).IsMissing());
  EXPECT_TRUE(Variant(false).IsNumeric());
  EXPECT_TRUE(Variant(Date{1}).IsNumeric());
  EXPECT_FALSE(Variant("1").IsNumeric());
  EXPECT_EQ(Variant(-3).i4(), -3);
  EXPECT_EQ(Variant(int16_t{-3}).i2(), -3);
  EXPECT_EQ(Variant(Date{2.5}).date(), Date{2.5});
}

TEST(VariantTest, NullStringIsDistinctFromEmptyString) {
  Variant null_string = Variant::NullString();
  Variant from_null_pointer(static_cast<const char*>(nullptr));
  Variant empty("");
  EXPECT_TRUE(null_string.IsString());
  EXPECT_TRUE(null_string.IsNullString());
  EXPECT_TRUE(from_null_pointer.IsNullString());
  EXPECT_FALSE(empty.IsNullString());
  EXPECT_EQ(null_string.string(), "");
  EXPECT_EQ(empty.string(), "");
  EXPECT_NE(null_string, empty);
  EXPECT_EQ(null_string, from_null_pointer);
  EXPECT_EQ(Variant(std::string()), empty);
  Variant copy = null_string;
  EXPECT_TRUE(copy.IsNullString());
}

TEST(VariantTest, CopiesShareTheTextAndMovesLeaveEmpty) {
  Variant a(std::string(100, 'x'));
  Variant b = a;
  EXPECT_EQ(&a.string(), &b.string());  // shared, not copied
  Variant c = std::move(a);
  EXPECT_TRUE(a.IsEmpty());  // NOLINT: moved-from state is specified
  EXPECT_EQ(c.string(), std::string(100, 'x'));
  b = Variant(5);
  EXPECT_EQ(c.string(), std::string(100, 'x'));
  c = c;  // self-assignment keeps the value
  EXPECT_EQ(c.string().size(), 100u);
}

TEST(VariantTest, ObjectsLiveAsLongAsSomeVariantOrRefHoldsThem) {
  int destroyed = 0;
  {
    Ref<ProbeObject> probe = MakeRef<ProbeObject>(&destroyed);
    EXPECT_EQ(probe->RefCountForTesting(), 1);
    Variant v(probe);
    EXPECT_EQ(probe->RefCountForTesting(), 2);
    Variant copy = v;
    EXPECT_EQ(probe->RefCountForTesting(), 3);
    Variant moved = std::move(copy);
    EXPECT_EQ(probe->RefCountForTesting(), 3);
    probe.reset();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(v.object()->TypeName(), "Probe");
    v = Variant();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(moved.object()->RefCountForTesting(), 1);
  }
  EXPECT_EQ(destroyed, 1);

  // A Ref moved into a Variant hands its reference over.
  Variant holder(MakeRef<ProbeObject>(&destroyed));
  EXPECT_EQ(holder.object()->RefCountForTesting(), 1);
  Ref<Object> back(holder.object());
  holder = Variant::Nothing();
  EXPECT_TRUE(holder.IsNothing());
  EXPECT_EQ(destroyed, 1);
  back.reset();
  EXPECT_EQ(destroyed, 2);
}

TEST(VariantTest, ByRefVariantsReadAndWriteTheCallersSlot) {
  Variant slot("before");
  Variant ref = Variant::ByRef(&slot);
  EXPECT_EQ(ref.type(), VT_BYREF | VT_VARIANT);
  EXPECT_EQ(ref.type(), 0x400C);
  EXPECT_TRUE(ref.IsByRef());
  EXPECT_EQ(&ref.Resolve(), &slot);
  EXPECT_EQ(ref.Deref(), Variant("before"));
  ref.AssignThroughRef(Variant(42));
  EXPECT_EQ(slot, Variant(42));

  // A reference to a reference ends at the same slot, and the slot takes the
  // value, never another reference.
  Variant outer = Variant::ByRef(&ref);
  Variant other(3.5);
  outer.AssignThroughRef(Variant::ByRef(&other));
  EXPECT_EQ(slot, Variant(3.5));
  EXPECT_FALSE(slot.IsByRef());

  EXPECT_EQ(Raised([] { Variant(1).AssignThroughRef(Variant(2)); }).number,
            HResultFromRuntimeError(kInvalidProcedureCall));
}

TEST(VariantTest, TypedSlotsConvertWhatIsWrittenAndKeepTheirValueOnFailure) {
  bool flag = false;
  Variant bool_ref = Variant::ByRef(&flag);
  EXPECT_EQ(bool_ref.type(), 0x400B);
  bool_ref.AssignThroughRef(Variant("True"));
  EXPECT_TRUE(flag);
  EXPECT_EQ(bool_ref.Deref(), Variant(true));

  int16_t small = 5;
  Variant small_ref = Variant::ByRef(&small);
  small_ref.AssignThroughRef(Variant(2.5));
  EXPECT_EQ(small, 2);
  EXPECT_EQ(Raised([&] { small_ref.AssignThroughRef(Variant(40000)); }).number,
            HResultFromRuntimeError(kOverflow));
  EXPECT_EQ(small, 2);
  EXPECT_EQ(Raised([&] { small_ref.AssignThroughRef(Variant("abc")); }).number,
            HResultFromRuntimeError(kTypeMismatch));

  std::string text = "old";
  Variant text_ref = Variant::ByRef(&text);
  text_ref.AssignThroughRef(Variant(true));
  EXPECT_EQ(text, "True");
  EXPECT_EQ(Raised([&] { text_ref.AssignThroughRef(Variant::Null()); }).number,
            HResultFromRuntimeError(kInvalidUseOfNull));

  int32_t whole = 0;
  double real = 0;
  Date when;
  uint8_t byte = 0;
  Variant::ByRef(&whole).AssignThroughRef(Variant("&HFFFF"));
  Variant::ByRef(&real).AssignThroughRef(Variant("1,000.5"));
  Variant::ByRef(&when).AssignThroughRef(Variant("12/30/1899 6:00 AM"));
  Variant::ByRef(&byte).AssignThroughRef(Variant(255));
  EXPECT_EQ(whole, -1);
  EXPECT_EQ(real, 1000.5);
  EXPECT_EQ(when, Date{0.25});
  EXPECT_EQ(byte, 255);
  EXPECT_EQ(Variant::ByRef(&when).Deref().type(), VT_DATE);

  // A Variant reference that ends in a typed slot writes the slot.
  Variant chain = Variant::ByRef(&small_ref);
  chain.AssignThroughRef(Variant(7));
  EXPECT_EQ(small, 7);
  EXPECT_EQ(chain.Deref(), Variant(int16_t{7}));
}

TEST(VariantTest, ExactSamenessAndDebugText) {
  EXPECT_EQ(Variant(1), Variant(1));
  EXPECT_NE(Variant(1), Variant(int16_t{1}));  // types differ
  EXPECT_NE(Variant(1.0), Variant(Date{1.0}));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_EQ(Variant("a"), Variant(std::string("a")));
  EXPECT_EQ(Variant("x").DebugString(), "VT_BSTR \"x\"");
  EXPECT_EQ(Variant::NullString().DebugString(), "VT_BSTR null");
  EXPECT_EQ(Variant(int16_t{-2}).DebugString(), "VT_I2 -2");
  EXPECT_EQ(Variant::Nothing().DebugString(), "VT_DISPATCH Nothing");
}

}  // namespace
}  // namespace norwin::automation
