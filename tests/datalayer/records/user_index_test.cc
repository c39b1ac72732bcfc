// The roster's user-name index against a plain map doing the same changes:
// growth, removal (the last pair moving into the hole) and names added again.
#include "norwin/datalayer/user_index.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace norwin::datalayer {
namespace {

// Whether `index` holds exactly what `expected` holds.
void ExpectSame(const UserIndex& index, const std::map<std::string, std::string>& expected,
                int names) {
  EXPECT_EQ(index.size(), expected.size());
  for (int i = 0; i < names; ++i) {
    const std::string user = "user" + std::to_string(i);
    const auto it = expected.find(user);
    const std::string* id = index.Find(user);
    if (it == expected.end()) {
      EXPECT_EQ(id, nullptr) << user;
    } else {
      ASSERT_NE(id, nullptr) << user;
      EXPECT_EQ(*id, it->second) << user;
    }
  }
}

TEST(UserIndexTest, AgreesWithAMapThroughAddsRemovalsAndReuse) {
  constexpr int kNames = 3000;
  UserIndex index;
  std::map<std::string, std::string> expected;
  for (int i = 0; i < kNames; ++i) {
    const std::string user = "user" + std::to_string(i);
    ASSERT_TRUE(index.Add(user, "SID" + std::to_string(i)));
    expected[user] = "SID" + std::to_string(i);
  }
  EXPECT_FALSE(index.Add("user7", "other"));  // a name is there once
  EXPECT_EQ(*index.Find("user7"), "SID7");
  EXPECT_EQ(index.Find("User7"), nullptr);  // names compare exactly
  ExpectSame(index, expected, kNames);

  // Every third name out, in an order that moves pairs from the end.
  for (int i = 0; i < kNames; i += 3) {
    index.Erase("user" + std::to_string(i));
    expected.erase("user" + std::to_string(i));
  }
  index.Erase("nobody");
  ExpectSame(index, expected, kNames);

  // Assign renames or adds; removed names come back; many removals and
  // adds in turn never fill the table with removed slots.
  index.Assign("user1", "SID-new");
  index.Assign("user0", "SID0");
  expected["user1"] = "SID-new";
  expected["user0"] = "SID0";
  for (int round = 0; round < 20; ++round) {
    for (int i = 3; i < kNames; i += 3) {
      const std::string user = "user" + std::to_string(i);
      if (round % 2 == 0) {
        ASSERT_TRUE(index.Add(user, "R" + std::to_string(round)));
        expected[user] = "R" + std::to_string(round);
      } else {
        index.Erase(user);
        expected.erase(user);
      }
    }
  }
  ExpectSame(index, expected, kNames);

  index.Clear();
  ExpectSame(index, {}, kNames);
  index.Reserve(10);
  EXPECT_TRUE(index.Add("", "empty names are names too"));
  EXPECT_EQ(*index.Find(""), "empty names are names too");
}

}  // namespace
}  // namespace norwin::datalayer
