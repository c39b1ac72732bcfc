#include "norwin/bridge/object_table.h"

#include <gtest/gtest.h>

#include <set>

#include "automation/support/probe_object.h"

namespace norwin::bridge {
namespace {

using automation::MakeRef;
using automation::Object;
using automation::Ref;
using automation::testing::ProbeObject;

TEST(ObjectTableTest, HandlesNameWhatWasStoredUntilReleased) {
  int destroyed = 0;
  ObjectTable table;
  Ref<ProbeObject> probe = MakeRef<ProbeObject>(&destroyed);
  const Handle first = table.Add(probe);
  const Handle second = table.Add(probe);
  EXPECT_NE(first, kNoHandle);
  EXPECT_NE(first, second);
  EXPECT_EQ(table.Find(first), probe.get());
  EXPECT_EQ(table.Find(second), probe.get());
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(probe->RefCountForTesting(), 3);
  EXPECT_EQ(table.Find(kNoHandle), nullptr);
  EXPECT_EQ(table.Find(0x00FFFFFF), nullptr);

  // Each handle is released on its own.
  EXPECT_TRUE(table.Release(first));
  EXPECT_FALSE(table.Release(first));
  EXPECT_EQ(table.Find(first), nullptr);
  EXPECT_EQ(table.Find(second), probe.get());
  probe.reset();
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(table.Release(second));
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(table.size(), 0u);
}

TEST(ObjectTableTest, ReusedSlotsNeverAnswerToOldHandles) {
  int destroyed = 0;
  ObjectTable table;
  const Handle old_handle = table.Add(MakeRef<ProbeObject>(&destroyed));
  ASSERT_TRUE(table.Release(old_handle));
  const Handle new_handle = table.Add(MakeRef<ProbeObject>(&destroyed));
  EXPECT_NE(new_handle, old_handle);
  EXPECT_EQ(new_handle & 0xFFFFFF, old_handle & 0xFFFFFF);  // the same slot
  EXPECT_EQ(table.Find(old_handle), nullptr);
  EXPECT_FALSE(table.Release(old_handle));
  EXPECT_NE(table.Find(new_handle), nullptr);

  // Clearing releases everything and also retires every handle.
  std::set<Handle> handles = {new_handle};
  for (int i = 0; i < 5; ++i) handles.insert(table.Add(MakeRef<ProbeObject>(&destroyed)));
  EXPECT_EQ(handles.size(), 6u);
  table.Clear();
  EXPECT_EQ(destroyed, 7);
  EXPECT_EQ(table.size(), 0u);
  for (const Handle handle : handles) {
    EXPECT_EQ(table.Find(handle), nullptr);
    const Handle again = table.Add(MakeRef<ProbeObject>(&destroyed));
    EXPECT_EQ(handles.count(again), 0u);
  }
  EXPECT_EQ(table.size(), 6u);
}

// Releases another handle of the same table from its destructor, as an
// object holding the last reference to another might.
class ReleasingObject : public Object {
 public:
  ReleasingObject(ObjectTable* table, Handle other) : table_(table), other_(other) {}

 protected:
  ~ReleasingObject() override { table_->Release(other_); }

 private:
  ObjectTable* table_;
  Handle other_;
};

TEST(ObjectTableTest, DestructorsMayUseTheTable) {
  int destroyed = 0;
  ObjectTable table;
  const Handle other = table.Add(MakeRef<ProbeObject>(&destroyed));
  const Handle releasing = table.Add(MakeRef<ReleasingObject>(&table, other));
  EXPECT_TRUE(table.Release(releasing));
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(table.size(), 0u);
  // A destructor that adds while the table is being cleared.
  const Handle again = table.Add(MakeRef<ProbeObject>(&destroyed));
  EXPECT_NE(table.Add(MakeRef<ReleasingObject>(&table, again)), kNoHandle);
  table.Clear();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(table.size(), 0u);
}

TEST(ObjectTableTest, ManyObjectsReuseFewSlots) {
  int destroyed = 0;
  ObjectTable table;
  std::vector<Handle> live;
  for (int round = 0; round < 1000; ++round) {
    for (int i = 0; i < 10; ++i) live.push_back(table.Add(MakeRef<ProbeObject>(&destroyed)));
    for (const Handle handle : live) ASSERT_TRUE(table.Release(handle));
    live.clear();
  }
  EXPECT_EQ(destroyed, 10000);
  // Ten slots served every round: handles stayed within them.
  const Handle next = table.Add(MakeRef<ProbeObject>(&destroyed));
  EXPECT_LE(next & 0xFFFFFF, 10u);
}

}  // namespace
}  // namespace norwin::bridge
