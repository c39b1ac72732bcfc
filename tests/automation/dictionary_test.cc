#include "norwin/automation/dictionary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/support/error_number.h"
#include "automation/support/probe_object.h"
#include "norwin/automation/dispatch.h"

namespace norwin::automation {
namespace {

using testing::ErrDescriptionOf;
using testing::ErrNumberOf;
using testing::ProbeObject;

Variant Call(Dictionary& d, std::string_view name, std::initializer_list<Variant> args = {}) {
  return CallByName(d, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}
void Put(Dictionary& d, std::string_view name, std::initializer_list<Variant> args) {
  CallByName(d, name, DISPATCH_PROPERTYPUT, args);
}

std::string Joined(const Variant& array) {
  EXPECT_TRUE(array.IsArray());
  std::string out;
  for (const Variant& v : array.array()) out += ToString(v) + ",";
  return out;
}

TEST(DictionaryTest, StringKeysAreCaseSensitiveByDefault) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  EXPECT_EQ(Call(*d, "CompareMode"), Variant(0));
  Call(*d, "Add", {Variant("alee"), Variant("SID00012")});
  Call(*d, "Add", {Variant("ALEE"), Variant("SID00013")});
  EXPECT_EQ(Call(*d, "Count"), Variant(2));
  EXPECT_EQ(Call(*d, "Item", {Variant("alee")}), Variant("SID00012"));
  EXPECT_EQ(Call(*d, "Item", {Variant("ALEE")}), Variant("SID00013"));
  EXPECT_EQ(Call(*d, "Exists", {Variant("Alee")}), Variant(false));
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Add", {Variant("alee"), Variant(1)}); }), 457);
  ASSERT_NE(d->FindText("ALEE"), nullptr);
  EXPECT_EQ(*d->FindText("ALEE"), Variant("SID00013"));
  EXPECT_EQ(d->FindText("Alee"), nullptr);
}

TEST(DictionaryTest, TextModeAndItsRestriction) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  Put(*d, "CompareMode", {Variant(1)});
  Call(*d, "Add", {Variant("Ärger"), Variant(1)});
  EXPECT_EQ(Call(*d, "Exists", {Variant("äRGER")}), Variant(true));
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Add", {Variant("ÄRGER"), Variant(2)}); }), 457);
  // The mode may not change while the dictionary holds items, not even to
  // the mode it has.
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "CompareMode", {Variant(0)}); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "CompareMode", {Variant(1)}); }), 5);
  EXPECT_EQ(Call(*d, "CompareMode"), Variant(1));
  Call(*d, "RemoveAll");
  Put(*d, "CompareMode", {Variant(0)});
  Call(*d, "Add", {Variant("Ärger"), Variant(1)});
  EXPECT_EQ(Call(*d, "Exists", {Variant("äRGER")}), Variant(false));
  Call(*d, "RemoveAll");
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "CompareMode", {Variant(3)}); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "CompareMode", {Variant(-1)}); }), 5);
}

TEST(DictionaryTest, NumbersCompareAsNumbersAndApartFromText) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  Call(*d, "Add", {Variant(int16_t{1}), Variant("one")});
  EXPECT_EQ(Call(*d, "Item", {Variant(1.0)}), Variant("one"));
  EXPECT_EQ(Call(*d, "Exists", {Variant(int32_t{1})}), Variant(true));
  EXPECT_EQ(Call(*d, "Exists", {Variant("1")}), Variant(false));
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Add", {Variant(uint8_t{1}), Variant(2)}); }), 457);
  Call(*d, "Add", {Variant("1"), Variant("text one")});
  Call(*d, "Add", {Variant(0.0), Variant("zero")});
  EXPECT_EQ(Call(*d, "Item", {Variant(-0.0)}), Variant("zero"));
  // True is -1, as the language counts it.
  Call(*d, "Add", {Variant(-1), Variant("minus one")});
  EXPECT_EQ(Call(*d, "Item", {Variant(true)}), Variant("minus one"));
  // Empty, Null and objects are keys of their own.
  int destroyed = 0;
  Ref<ProbeObject> probe = MakeRef<ProbeObject>(&destroyed);
  Call(*d, "Add", {Variant(), Variant("empty")});
  Call(*d, "Add", {Variant::Null(), Variant("null")});
  Call(*d, "Add", {Variant(probe), Variant("probe")});
  EXPECT_EQ(Call(*d, "Item", {Variant("")}), Variant());  // "" is not Empty: added
  EXPECT_EQ(Call(*d, "Item", {Variant()}), Variant("empty"));
  EXPECT_EQ(Call(*d, "Item", {Variant(probe)}), Variant("probe"));
  EXPECT_EQ(Call(*d, "Exists", {Variant(MakeRef<ProbeObject>(&destroyed))}), Variant(false));
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Add", {Variant::Array({}), Variant(1)}); }), 13);
  EXPECT_EQ(Call(*d, "Count"), Variant(8));
  EXPECT_EQ(Joined(Call(*d, "Items")), "one,text one,zero,minus one,empty,null,probe,,");
}

TEST(DictionaryTest, ItemReadAddsTheMissingKeyAndPutSets) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  EXPECT_EQ(Call(*d, "Item", {Variant("x")}), Variant());
  EXPECT_EQ(Call(*d, "Count"), Variant(1));
  EXPECT_EQ(Call(*d, "Exists", {Variant("x")}), Variant(true));
  // The default member reads the same way.
  Variant value;
  d->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, std::vector{Variant("y")}, &value);
  EXPECT_TRUE(value.IsEmpty());
  EXPECT_EQ(Call(*d, "Count"), Variant(2));
  // Exists and the C++ look-ups never add.
  EXPECT_EQ(Call(*d, "Exists", {Variant("z")}), Variant(false));
  EXPECT_EQ(d->Find(Variant("z")), nullptr);
  EXPECT_EQ(d->size(), 2u);

  Put(*d, "Item", {Variant("x"), Variant(10)});
  Put(*d, "Item", {Variant("w"), Variant(20)});
  EXPECT_EQ(Joined(Call(*d, "Keys")), "x,y,w,");
  EXPECT_EQ(Joined(Call(*d, "Items")), "10,,20,");
  // Set through a put-ref, as `Set d("o") = obj` does.
  int destroyed = 0;
  CallByName(*d, "Item", DISPATCH_PROPERTYPUTREF,
             {Variant("o"), Variant(MakeRef<ProbeObject>(&destroyed))});
  EXPECT_TRUE(Call(*d, "Item", {Variant("o")}).IsObject());
  Call(*d, "Remove", {Variant("o")});
  EXPECT_EQ(destroyed, 1);
}

TEST(DictionaryTest, RemoveRenameAndTheirErrors) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  for (const char* k : {"a", "b", "c"}) Call(*d, "Add", {Variant(k), Variant(std::string(k) + k)});
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Remove", {Variant("B")}); }), 32811);
  EXPECT_EQ(ErrDescriptionOf([&] { Call(*d, "Remove", {Variant("B")}); }), "Element not found");
  Call(*d, "Remove", {Variant("b")});
  EXPECT_EQ(Joined(Call(*d, "Keys")), "a,c,");

  // Renaming keeps the item and the place.
  Put(*d, "Key", {Variant("a"), Variant("z")});
  EXPECT_EQ(Joined(Call(*d, "Keys")), "z,c,");
  EXPECT_EQ(Call(*d, "Item", {Variant("z")}), Variant("aa"));
  EXPECT_EQ(Call(*d, "Exists", {Variant("a")}), Variant(false));
  Put(*d, "Key", {Variant("z"), Variant("z")});  // onto itself: nothing changes
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "Key", {Variant("z"), Variant("c")}); }), 457);
  EXPECT_EQ(ErrNumberOf([&] { Put(*d, "Key", {Variant("q"), Variant("r")}); }), 32811);
  EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Key", {Variant("z")}); }), 438);
  EXPECT_EQ(Joined(Call(*d, "Keys")), "z,c,");

  EXPECT_TRUE(d->Erase(Variant("c")));
  EXPECT_FALSE(d->Erase(Variant("c")));
  Call(*d, "RemoveAll");
  EXPECT_EQ(Call(*d, "Count"), Variant(0));
  EXPECT_EQ(Joined(Call(*d, "Keys")), "");
  // Removed keys can be added again.
  Call(*d, "Add", {Variant("a"), Variant(1)});
  EXPECT_EQ(Call(*d, "Item", {Variant("a")}), Variant(1));
}

// Small dictionaries are searched in order, larger ones through an index:
// every operation must give the same answers on both sides of the change,
// and as a dictionary grows into an index and shrinks out of it.
TEST(DictionaryTest, SmallAndLargeDictionariesAnswerAlike) {
  for (const int size : {3, 8, 9, 40}) {
    SCOPED_TRACE(size);
    for (const int mode : {0, 1}) {
      Ref<Dictionary> d = MakeRef<Dictionary>();
      Put(*d, "CompareMode", {Variant(mode)});
      for (int i = 0; i < size; ++i)
        Call(*d, "Add", {Variant("Key" + std::to_string(i)), Variant(i)});
      Call(*d, "Add", {Variant(2.0), Variant("two")});  // a number is never the text "2"
      EXPECT_EQ(Call(*d, "Exists", {Variant("KEY1")}), Variant(mode == 1));
      EXPECT_EQ(Call(*d, "Item", {Variant("Key" + std::to_string(size - 1))}), Variant(size - 1));
      EXPECT_EQ(Call(*d, "Item", {Variant(int16_t{2})}), Variant("two"));
      EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Add", {Variant("Key0"), Variant(0)}); }), 457);
      ASSERT_NE(d->FindText("Key0"), nullptr);
      EXPECT_EQ(d->FindText(mode == 1 ? "key0" : "Key0")->Resolve(), Variant(0));

      // Renamed, a key is found under its new name only; removed, not at all.
      Put(*d, "Key", {Variant("Key0"), Variant("First")});
      EXPECT_EQ(Call(*d, "Item", {Variant("First")}), Variant(0));
      EXPECT_EQ(Call(*d, "Exists", {Variant("Key0")}), Variant(false));
      EXPECT_EQ(ErrNumberOf([&] { Put(*d, "Key", {Variant("First"), Variant("Key1")}); }), 457);
      for (int i = 1; i < size; ++i) Call(*d, "Remove", {Variant("Key" + std::to_string(i))});
      EXPECT_EQ(Joined(Call(*d, "Keys")), "First,2,");
      EXPECT_EQ(ErrNumberOf([&] { Call(*d, "Remove", {Variant("Key1")}); }), 32811);
      // Grown again past where the index begins, it still finds every key.
      for (int i = 0; i < 12; ++i)
        Put(*d, "Item", {Variant("New" + std::to_string(i)), Variant(i)});
      EXPECT_EQ(Call(*d, "Count"), Variant(14));
      EXPECT_EQ(Call(*d, "Item", {Variant("First")}), Variant(0));
      EXPECT_EQ(Call(*d, "Item", {Variant("New11")}), Variant(11));
    }
  }
}

TEST(DictionaryTest, EnumerationGivesTheKeysAndArraysAreSnapshots) {
  Ref<Dictionary> d = MakeRef<Dictionary>();
  Call(*d, "Add", {Variant(2), Variant("two")});
  Call(*d, "Add", {Variant("k"), Variant("kay")});
  Variant keys = Call(*d, "Keys");
  Variant copy = keys;  // copies share the elements
  Call(*d, "Add", {Variant(3), Variant("three")});
  std::string seen;
  for (const Variant& key : Enumerate(*d)) seen += ToString(key) + ",";
  EXPECT_EQ(seen, "2,k,3,");
  EXPECT_EQ(keys.array().size(), 2u);
  EXPECT_EQ(copy, keys);
  EXPECT_EQ(copy.array().data(), keys.array().data());
  EXPECT_NE(Call(*d, "Keys"), keys);  // a new array each time
  // Arrays are no numbers or text.
  EXPECT_EQ(ErrNumberOf([&] { (void)ToString(keys); }), 13);
  EXPECT_EQ(keys.DebugString(), "VT_ARRAY|VT_VARIANT (2)");

  std::string pairs;
  for (const Dictionary::Entry& e : *d) pairs += ToString(e.key) + "=" + ToString(e.item) + ";";
  EXPECT_EQ(pairs, "2=two;k=kay;3=three;");
}

TEST(DictionaryTest, ArraysReleaseTheirElements) {
  int destroyed = 0;
  {
    Variant array = Variant::Array({Variant(MakeRef<ProbeObject>(&destroyed)), Variant("x")});
    Variant second = array;
    array = Variant();
    EXPECT_EQ(destroyed, 0);
    ASSERT_EQ(second.array().size(), 2u);
    EXPECT_TRUE(second.array()[0].IsObject());
  }
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace norwin::automation
