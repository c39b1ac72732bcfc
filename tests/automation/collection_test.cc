#include "norwin/automation/collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "automation/support/error_number.h"
#include "automation/support/probe_object.h"
#include "norwin/automation/dispatch.h"

namespace norwin::automation {
namespace {

using testing::ErrNumberOf;
using testing::ProbeObject;

const Variant kMissing = Variant::Missing();

// The items of a collection as text, in order, read through enumeration.
std::string Listed(Collection& c) {
  std::string out;
  for (const Variant& item : Enumerate(c)) out += ToString(item) + ",";
  return out;
}

Variant Call(Collection& c, std::string_view name, std::initializer_list<Variant> args) {
  return CallByName(c, name, DISPATCH_METHOD, args);
}

TEST(CollectionTest, ItemsByPositionAndByKeyWithoutRegardToCase) {
  Ref<Collection> c = MakeCollection();
  Call(*c, "Add", {Variant("Ann"), Variant("SID00001")});
  Call(*c, "add", {Variant("Bob")});
  Call(*c, "ADD", {Variant("Cy"), Variant("sid00003")});
  EXPECT_EQ(CallByName(*c, "Count", DISPATCH_PROPERTYGET), Variant(3));

  EXPECT_EQ(Call(*c, "Item", {Variant(int16_t{1})}), Variant("Ann"));
  EXPECT_EQ(Call(*c, "Item", {Variant(2.0)}), Variant("Bob"));
  // Positions round as the language rounds (half to even).
  EXPECT_EQ(Call(*c, "Item", {Variant(2.5)}), Variant("Bob"));
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(3.5)}); }), 9);  // 4
  EXPECT_EQ(Call(*c, "Item", {Variant("sid00001")}), Variant("Ann"));
  EXPECT_EQ(Call(*c, "Item", {Variant("SID00003")}), Variant("Cy"));
  // Numeric text is a key, not a position.
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant("1")}); }), 5);
  // Item is the default member: `c(1)`.
  Variant first;
  c->Invoke(DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::vector{Variant(1)}, &first);
  EXPECT_EQ(first, Variant("Ann"));

  // The C++ face sees the same items.
  ASSERT_EQ(c->size(), 3u);
  EXPECT_EQ(c->at(1), Variant("Bob"));
  EXPECT_EQ(c->KeyAt(0), std::optional<std::string_view>("SID00001"));
  EXPECT_EQ(c->KeyAt(1), std::nullopt);
  ASSERT_NE(c->Find("Sid00003"), nullptr);
  EXPECT_EQ(*c->Find("Sid00003"), Variant("Cy"));
  EXPECT_TRUE(c->Exists("SID00001"));
  EXPECT_FALSE(c->Exists("SID00002"));
  EXPECT_EQ(Listed(*c), "Ann,Bob,Cy,");
}

TEST(CollectionTest, KeysFoldBeyondAscii) {
  Ref<Collection> c = MakeCollection();
  c->AddKeyed("Ärger", Variant(1));
  c->AddKeyed("straße", Variant(2));
  EXPECT_EQ(*c->Find("äRGER"), Variant(1));
  EXPECT_EQ(*c->Find("STRAßE"), Variant(2));
  // One letter against one letter: ß is not "SS".
  EXPECT_EQ(c->Find("STRASSE"), nullptr);
  // Bytes that are not UTF-8 match only themselves (ASCII letters folded).
  c->AddKeyed("caf\xE9X", Variant(3));
  EXPECT_EQ(*c->Find("CAF\xE9x"), Variant(3));
  EXPECT_EQ(c->Find("CAFÉX"), nullptr);
  EXPECT_TRUE(TextKeysEqual("Ärger", "ÄRGER"));
  EXPECT_EQ(HashTextKey("Ärger"), HashTextKey("äRGER"));
  EXPECT_FALSE(TextKeysEqual("abc", "abcd"));
}

TEST(CollectionTest, AddBeforeAndAfterByPositionOrKey) {
  Ref<Collection> c = MakeCollection();
  Call(*c, "Add", {Variant("b"), Variant("kb")});
  Call(*c, "Add", {Variant("d"), Variant("kd")});
  Call(*c, "Add", {Variant("a"), kMissing, Variant(1)});                // before position 1
  Call(*c, "Add", {Variant("c"), Variant("kc"), Variant("KD")});        // before key kd
  Call(*c, "Add", {Variant("e"), kMissing, kMissing, Variant(4)});      // after the last
  Call(*c, "Add", {Variant("b2"), kMissing, kMissing, Variant("kB")});  // after key kb
  EXPECT_EQ(Listed(*c), "a,b,b2,c,d,e,");
  EXPECT_EQ(Call(*c, "Item", {Variant("kc")}), Variant("c"));

  const std::string before = Listed(*c);
  // Both before and after: 5. A position outside 1..Count: 9. A missing
  // key: 5. A duplicate key: 457. A key that is no string: 13. Nothing is
  // added by a failed call.
  EXPECT_EQ(ErrNumberOf([&] {
              Call(*c, "Add", {Variant("x"), kMissing, Variant(1), Variant(2)});
            }),
            5);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Add", {Variant("x"), kMissing, Variant(7)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] {
              Call(*c, "Add", {Variant("x"), kMissing, kMissing, Variant(0)});
            }),
            9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Add", {Variant("x"), kMissing, Variant("nope")}); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Add", {Variant("x"), Variant("KC")}); }), 457);
  EXPECT_EQ(ErrNumberOf([&] {
              Call(*c, "Add", {Variant("x"), Variant("kz"), Variant("nope")});
            }),
            5);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Add", {Variant("x"), Variant(5)}); }), 13);
  EXPECT_EQ(Listed(*c), before);
  EXPECT_FALSE(c->Exists("kz"));  // the key of the failed Add is free
  Call(*c, "Add", {Variant("z"), Variant("kz")});
  EXPECT_EQ(c->size(), 7u);
}

TEST(CollectionTest, ItemAndRemoveErrors) {
  Ref<Collection> c = MakeCollection();
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(1)}); }), 9);
  Call(*c, "Add", {Variant("a"), Variant("ka")});
  Call(*c, "Add", {Variant("b")});
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(0)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(3)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(-1)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant(1e300)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant()}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant("kb")}); }), 5);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant::Null()}); }), 13);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant::Array({Variant(1)})}); }), 13);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {Variant::Nothing()}); }), 91);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Item", {}); }), 449);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Remove", {Variant(3)}); }), 9);
  EXPECT_EQ(ErrNumberOf([&] { Call(*c, "Remove", {Variant("KB")}); }), 5);
  EXPECT_EQ(c->size(), 2u);

  // A position given by reference, as a page's variable passes it.
  Variant position(2);
  EXPECT_EQ(Call(*c, "Item", {Variant::ByRef(&position)}), Variant("b"));

  Call(*c, "Remove", {Variant("KA")});
  EXPECT_FALSE(c->Exists("ka"));
  EXPECT_EQ(Call(*c, "Item", {Variant(1)}), Variant("b"));
  // The key is free again.
  Call(*c, "Add", {Variant("a2"), Variant("ka")});
  Call(*c, "Remove", {Variant(1)});
  EXPECT_EQ(Listed(*c), "a2,");
  EXPECT_EQ(Call(*c, "Item", {Variant("ka")}), Variant("a2"));
}

TEST(CollectionTest, EnumerationIsASnapshot) {
  Ref<Collection> c = MakeCollection();
  for (int i = 1; i <= 3; ++i) c->Append(Variant(i));
  Ref<Enumerator> e = GetEnumerator(*c);
  c->RemoveAt(0);
  c->Append(Variant(4));
  std::vector<int32_t> seen;
  Variant item;
  while (e->Next(&item)) seen.push_back(item.i4());
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
  e->Reset();
  ASSERT_TRUE(e->Next(&item));
  EXPECT_EQ(item, Variant(1));
  EXPECT_EQ(Listed(*c), "2,3,4,");
}

TEST(CollectionTest, CxxFaceWithTypedObjects) {
  int destroyed = 0;
  {
    Ref<Collection> c = MakeCollection();
    EXPECT_TRUE(c->TryAddKeyed("one", Variant(MakeRef<ProbeObject>(&destroyed))));
    EXPECT_TRUE(c->TryAddKeyed("two", Variant(MakeRef<ProbeObject>(&destroyed))));
    Ref<ProbeObject> extra = MakeRef<ProbeObject>(&destroyed);
    EXPECT_FALSE(c->TryAddKeyed("ONE", Variant(extra)));
    EXPECT_EQ(extra->RefCountForTesting(), 1);  // not kept by the failed add
    EXPECT_EQ(ErrNumberOf([&] { c->AddKeyed("Two", Variant(extra)); }), 457);

    int count = 0;
    for (ProbeObject& p : c->Objects<ProbeObject>()) {
      EXPECT_EQ(p.TypeName(), "Probe");
      ++count;
    }
    EXPECT_EQ(count, 2);
    ProbeObject* two = c->FindObject<ProbeObject>("TWO");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two, c->at(1).object());
    EXPECT_EQ(c->FindObject<ProbeObject>("three"), nullptr);

    EXPECT_TRUE(c->RemoveKeyed("one"));
    EXPECT_FALSE(c->RemoveKeyed("one"));
    EXPECT_EQ(destroyed, 1);  // the collection held the only reference

    c->Append(Variant("text"));
    EXPECT_EQ(ErrNumberOf([&] {
                for (ProbeObject& p : c->Objects<ProbeObject>()) (void)p;
              }),
              13);
    c->Clear();
    EXPECT_TRUE(c->empty());
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(c->Find("two"), nullptr);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(CollectionTest, ItemsKeepTheirReferencesNotTheCallersSlots) {
  Ref<Collection> c = MakeCollection();
  Variant slot("before");
  Call(*c, "Add", {Variant::ByRef(&slot), Variant("k")});
  slot = Variant("after");
  EXPECT_EQ(c->at(0), Variant("before"));
  EXPECT_FALSE(c->at(0).IsByRef());
}

// Many adds and removals in a random but repeatable order, against a plain
// list: the key index must stay in step with the items through growth and
// through the reuse of removed slots.
TEST(CollectionTest, StaysInStepWithAPlainListThroughManyChanges) {
  Ref<Collection> c = MakeCollection();
  std::vector<std::pair<std::string, int32_t>> model;  // key "" for no key
  std::mt19937 random(20260107);
  auto key_of = [](int n) { return "Key" + std::to_string(n); };
  auto model_find = [&](const std::string& key) {
    return std::find_if(model.begin(), model.end(), [&](const auto& e) {
      return !e.first.empty() && TextKeysEqual(e.first, key);
    });
  };
  for (int32_t step = 0; step < 20000; ++step) {
    const int n = static_cast<int>(random() % 400);
    // Keys come back in other cases.
    std::string key = key_of(n);
    if (random() % 2) std::transform(key.begin(), key.end(), key.begin(), ::toupper);
    switch (random() % 5) {
      case 0:
      case 1: {
        const bool added = c->TryAddKeyed(key, Variant(step));
        EXPECT_EQ(added, model_find(key) == model.end()) << key;
        if (added) model.emplace_back(key, step);
        break;
      }
      case 2:
        c->Append(Variant(step));
        model.emplace_back("", step);
        break;
      case 3: {
        const bool removed = c->RemoveKeyed(key);
        auto it = model_find(key);
        EXPECT_EQ(removed, it != model.end()) << key;
        if (it != model.end()) model.erase(it);
        break;
      }
      case 4:
        if (!model.empty()) {
          const size_t at = random() % model.size();
          c->RemoveAt(at);
          model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
        break;
    }
    if (step % 1000 == 0 || step == 19999) {
      ASSERT_EQ(c->size(), model.size());
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(c->at(i), Variant(model[i].second));
        if (!model[i].first.empty()) {
          const Variant* found = c->Find(model[i].first);
          ASSERT_NE(found, nullptr) << model[i].first;
          ASSERT_EQ(*found, Variant(model[i].second));
        }
      }
      for (int k = 0; k < 400; ++k) {
        EXPECT_EQ(c->Exists(key_of(k)), model_find(key_of(k)) != model.end()) << k;
      }
    }
  }
}

}  // namespace
}  // namespace norwin::automation
