#include "norwin/automation/dispatch.h"

#include <gtest/gtest.h>

#include "automation/support/probe_object.h"

namespace norwin::automation {
namespace {

using testing::ProbeObject;

int32_t ErrorOf(auto&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return RuntimeErrorFromHResult(e.number);
  }
  return 0;
}

TEST(DispatchTest, PlainObjectsHaveNoMembers) {
  int destroyed = 0;
  Ref<ProbeObject> probe = MakeRef<ProbeObject>(&destroyed);
  EXPECT_EQ(probe->FindMember("Anything"), DISPID_UNKNOWN);
  EXPECT_EQ(probe->KindOf(1), MemberKind::kNone);
  EXPECT_EQ(ErrorOf([&] { CallByName(*probe, "Anything", DISPATCH_METHOD); }),
            kObjectDoesNotSupportMember);
  EXPECT_EQ(ErrorOf([&] { probe->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, nullptr); }),
            kObjectDoesNotSupportMember);
  EXPECT_EQ(ErrorOf([&] { GetEnumerator(*probe); }), kObjectDoesNotSupportMember);
}

TEST(DispatchTest, RequireObjectTellsMissingFromNotSet) {
  int destroyed = 0;
  Variant object(MakeRef<ProbeObject>(&destroyed));
  EXPECT_EQ(&RequireObject(object), object.object());
  EXPECT_EQ(&RequireObject(Variant::ByRef(&object)), object.object());
  EXPECT_EQ(ErrorOf([] { RequireObject(Variant::Nothing()); }), kObjectNotSet);
  EXPECT_EQ(ErrorOf([] { RequireObject(Variant("x")); }), kObjectRequired);
  EXPECT_EQ(ErrorOf([] { RequireObject(Variant()); }), kObjectRequired);
}

TEST(DispatchTest, SnapshotEnumeratorsWalkAndRestart) {
  Ref<Enumerator> e = MakeSnapshotEnumerator({Variant(1), Variant("two")});
  EXPECT_EQ(e->TypeName(), "Enumerator");
  EXPECT_EQ(e->AsEnumerator(), e.get());
  // An enumerator enumerates itself.
  EXPECT_EQ(GetEnumerator(*e), e);
  std::vector<Variant> seen;
  for (const Variant& v : EnumRange(e)) seen.push_back(v);
  EXPECT_EQ(seen, (std::vector<Variant>{Variant(1), Variant("two")}));
  Variant item("untouched");
  EXPECT_FALSE(e->Next(&item));
  EXPECT_EQ(item, Variant("untouched"));
  e->Reset();
  EXPECT_TRUE(e->Next(&item));
  EXPECT_EQ(item, Variant(1));
  int walked = 0;
  for (const Variant& v : EnumRange(MakeSnapshotEnumerator({}))) walked += v.IsEmpty();
  EXPECT_EQ(walked, 0);
}

TEST(DispatchTest, RefsCountTheirReferences) {
  int destroyed = 0;
  ProbeObject* raw = nullptr;
  {
    Ref<ProbeObject> a = MakeRef<ProbeObject>(&destroyed);
    raw = a.get();
    Ref<Object> b = a;  // converts to a base
    EXPECT_EQ(raw->RefCountForTesting(), 2);
    Ref<Object> c = std::move(b);
    EXPECT_EQ(b, nullptr);  // NOLINT: moved-from state is specified
    EXPECT_EQ(c, a);
    EXPECT_EQ(raw->RefCountForTesting(), 2);
    ProbeObject* detached = a.Detach();
    EXPECT_FALSE(a);
    Ref<ProbeObject> adopted = Ref<ProbeObject>::Adopt(detached);
    EXPECT_EQ(raw->RefCountForTesting(), 2);
    c = adopted;
    EXPECT_EQ(raw->RefCountForTesting(), 2);
    c = c;  // self-assignment keeps the reference
    EXPECT_EQ(raw->RefCountForTesting(), 2);
  }
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace norwin::automation
