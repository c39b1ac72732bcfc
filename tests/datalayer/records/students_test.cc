// `Students` on local roster files: loading and saving the roster document,
// adding students under the roster lock with the IDs it issues, replacing
// and deleting, authentication, sorting and filtering.
#include "norwin/datalayer/students.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "datalayer/support/test_course_list.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/roster_lock.h"
#include "norwin/platform/clock.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::CallByName;
using automation::Collection;
using automation::DISPATCH_METHOD;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;

constexpr char kRoster[] =
    "<?xml version=\"1.0\"?>\n"
    "<students autoStudentID=\"3\">"
    "<student><id>SID00001</id><name><first>Ann</first><last>Lee</last></name>"
    "<classRef>3</classRef><sectionRef>2</sectionRef><username>alee</username>"
    "<password>5ebe2294ecd0e0f08eab7690d2a6ee69</password></student>"
    "<student><id>SID00002</id><name><first>Bob</first><last>adams</last></name>"
    "<classRef>3</classRef><sectionRef>1</sectionRef><username>badams</username></student>"
    "<student><id>SID00003</id><name><first>Cy</first><last>Baker</last></name>"
    "<classRef>4</classRef><username>cbaker</username></student>"
    "</students>";

template <typename F>
AutomationError ErrorOf(F&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return AutomationError(0, "");
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsReadOnly(const fs::path& file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

Ref<Student> NewEntry(std::string user, std::string last = "New", std::string id = "") {
  Ref<Student> student = NewStudent();
  student->SetField(StudentField::kUserName, std::move(user));
  student->SetField(StudentField::kLastName, std::move(last));
  if (!id.empty()) student->SetField(StudentField::kStudentId, std::move(id));
  return student;
}

// The keys of a collection in order.
std::vector<std::string> Keys(const Collection& collection) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < collection.size(); ++i) keys.emplace_back(*collection.KeyAt(i));
  return keys;
}

class StudentsTest : public ::testing::Test {
 protected:
  StudentsTest() {
    courses_->AddCourse("3", {"1", "2"});
    courses_->AddCourse("4", {});
  }
  std::string Path(const char* name = "roster.xml") const {
    return (prefix_.path() / name).string();
  }
  void WriteRoster(const std::string& text, const char* name = "roster.xml") {
    std::ofstream(prefix_.path() / name, std::ios::binary) << text;
  }

  norwin::testing::TempPrefix prefix_;
  platform::ManualSource clock_;
  platform::ScopedSourceForTesting clock_installed_{&clock_};
  Ref<norwin::testing::TestCourseList> courses_ = MakeRef<norwin::testing::TestCourseList>();
  Ref<Students> roster_ = MakeRef<Students>();
};

TEST(StudentIdTest, CounterPaddedToFiveDigits) {
  EXPECT_EQ(StudentIdFromCounter(1), "SID00001");
  EXPECT_EQ(StudentIdFromCounter(11), "SID00011");
  EXPECT_EQ(StudentIdFromCounter(99), "SID00099");
  EXPECT_EQ(StudentIdFromCounter(123), "SID00123");
  EXPECT_EQ(StudentIdFromCounter(999), "SID00999");
  EXPECT_EQ(StudentIdFromCounter(9999), "SID09999");
  EXPECT_EQ(StudentIdFromCounter(10000), "SID10000");
  EXPECT_EQ(StudentIdFromCounter(32767), "SID32767");
}

TEST_F(StudentsTest, LoadsTheRosterAndItsIndex) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->Load(Path(), courses_.get()));
  EXPECT_EQ(roster_->AutoStudentId(), 3);
  EXPECT_EQ(Keys(roster_->Roster()),
            (std::vector<std::string>{"SID00001", "SID00002", "SID00003"}));
  EXPECT_TRUE(roster_->Exists("SID00002"));
  EXPECT_TRUE(roster_->Exists("sid00002")) << "collection keys ignore case";
  EXPECT_FALSE(roster_->Exists("SID00004"));
  ASSERT_NE(roster_->MatchUserName("badams"), nullptr);
  EXPECT_EQ(roster_->MatchUserName("badams")->StudentID(), "SID00002");
  EXPECT_EQ(roster_->MatchUserName("BADAMS"), nullptr) << "user names compare exactly";

  // Passwords: Ann has one, Bob has none and takes anything, strangers fail.
  EXPECT_TRUE(roster_->Authenticate("alee", "secret"));
  EXPECT_FALSE(roster_->Authenticate("alee", "Secret"));
  EXPECT_TRUE(roster_->Authenticate("badams", ""));
  EXPECT_FALSE(roster_->Authenticate("nobody", "secret"));

  // A failed load leaves the roster empty; the counter stays.
  EXPECT_FALSE(roster_->Load(Path("missing.xml"), nullptr));
  EXPECT_EQ(roster_->Roster().size(), 0u);
  EXPECT_EQ(roster_->MatchUserName("alee"), nullptr);
  EXPECT_EQ(roster_->AutoStudentId(), 3);
  WriteRoster("<students><student>", "broken.xml");
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  EXPECT_FALSE(roster_->Load(Path("broken.xml"), nullptr));
  EXPECT_EQ(roster_->Roster().size(), 0u);

  // References are checked against a course list when one is given.
  WriteRoster("<students><student><id>S1</id><classRef>9</classRef></student></students>",
              "stale.xml");
  EXPECT_TRUE(roster_->Load(Path("stale.xml"), nullptr));
  EXPECT_EQ(ErrorOf([&] { roster_->Load(Path("stale.xml"), courses_.get()); }).number,
            automation::ObjectError(631));
}

// A roster in the form this class writes is read without the DOM; one with a
// comment goes through it. Both give the same students and the same errors.
TEST_F(StudentsTest, ARosterLoadsAlikeWithOrWithoutTheDom) {
  const auto contents = [&] {
    std::vector<std::string> out;
    for (Student& student : roster_->Roster().Objects<Student>()) {
      std::string line;
      for (int16_t i = 0; i < kStudentFieldCount; ++i) line += student.Field(StudentField(i)) + "|";
      out.push_back(line + (student.HasPassword() ? student.PasswordDigest() : "-"));
    }
    return out;
  };
  const auto commented = [](std::string xml) {
    return xml.insert(xml.find("<student>"), "<!-- by hand -->");
  };
  WriteRoster(kRoster, "plain.xml");
  WriteRoster(commented(kRoster), "commented.xml");
  ASSERT_TRUE(roster_->Load(Path("plain.xml"), courses_.get()));
  const std::vector<std::string> plain = contents();
  EXPECT_EQ(plain.size(), 3u);
  ASSERT_TRUE(roster_->Load(Path("commented.xml"), courses_.get()));
  EXPECT_EQ(contents(), plain);
  EXPECT_EQ(roster_->AutoStudentId(), 3);

  const std::string no_id = "<students><student><username>x</username></student></students>";
  const std::string bad_section =
      "<students><student><id>S1</id><classRef>3</classRef><sectionRef>9</sectionRef>"
      "</student></students>";
  for (const std::string& xml : {no_id, commented(no_id), bad_section, commented(bad_section)}) {
    SCOPED_TRACE(xml);
    WriteRoster(xml, "bad.xml");
    const AutomationError error = ErrorOf([&] { roster_->Load(Path("bad.xml"), courses_.get()); });
    EXPECT_EQ(error.number, xml.find("<id>") == std::string::npos
                                ? automation::HResultFromRuntimeError(automation::kObjectNotSet)
                                : automation::ObjectError(633));
  }
}

TEST_F(StudentsTest, DuplicatesInTheFileFailTheLoad) {
  WriteRoster(
      "<students><student><id>S1</id><username>a</username></student>"
      "<student><id>s1</id><username>b</username></student></students>");
  EXPECT_EQ(ErrorOf([&] { roster_->Load(Path(), nullptr); }).number,
            automation::HResultFromRuntimeError(automation::kDuplicateKey));
  WriteRoster(
      "<students><student><id>S1</id><username>a</username></student>"
      "<student><id>S2</id><username>a</username></student></students>");
  EXPECT_EQ(ErrorOf([&] { roster_->Load(Path(), nullptr); }).number,
            automation::HResultFromRuntimeError(automation::kDuplicateKey));
  // Students without a user name are not indexed, however many there are.
  WriteRoster("<students><student><id>S1</id></student><student><id>S2</id></student></students>");
  EXPECT_TRUE(roster_->Load(Path(), nullptr));
  EXPECT_EQ(roster_->Roster().size(), 2u);
}

TEST_F(StudentsTest, SavesWhatItLoads) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  ASSERT_TRUE(roster_->Save(Path("copy.xml"), courses_.get()));
  const std::string saved = ReadText(prefix_.path() / "copy.xml");
  EXPECT_NE(saved.find("<students autoStudentID=\"3\">"), std::string::npos) << saved;

  Ref<Students> again = MakeRef<Students>();
  ASSERT_TRUE(again->Load(Path("copy.xml"), courses_.get()));
  ASSERT_TRUE(again->Save(Path("copy2.xml"), nullptr));
  EXPECT_EQ(ReadText(prefix_.path() / "copy2.xml"), saved);
  EXPECT_EQ(Keys(again->Roster()), Keys(roster_->Roster()));
  EXPECT_TRUE(again->Authenticate("alee", "secret"));

  // A student whose course is gone stops the save; nothing is written.
  roster_->Roster().FindObject<Student>("SID00003")->SetField(StudentField::kCourse, "9");
  EXPECT_EQ(ErrorOf([&] { roster_->Save(Path("copy.xml"), courses_.get()); }).number,
            automation::ObjectError(641));
  EXPECT_EQ(ReadText(prefix_.path() / "copy.xml"), saved);
}

TEST_F(StudentsTest, AddStudentIssuesIdsAndKeepsEveryStudent) {
  // A missing roster is created.
  ASSERT_TRUE(roster_->AddStudent(Path(), NewEntry("first").get(), courses_.get()));
  Ref<Student> second = NewEntry("second");
  ASSERT_TRUE(roster_->AddStudent(Path(), second.get(), courses_.get()));
  EXPECT_EQ(second->StudentID(), "SID00002");
  EXPECT_EQ(roster_->AutoStudentId(), 2);
  EXPECT_EQ(roster_->MatchUserName("second"), second.get());

  // Another roster object sees both, and adds to them.
  Ref<Students> other = MakeRef<Students>();
  ASSERT_TRUE(other->AddStudent(Path(), NewEntry("third").get(), nullptr));
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  EXPECT_EQ(Keys(roster_->Roster()),
            (std::vector<std::string>{"SID00001", "SID00002", "SID00003"}));
  EXPECT_EQ(roster_->AutoStudentId(), 3);

  // The lock is gone after each add.
  EXPECT_FALSE(IsReadOnly(Path()));
  EXPECT_EQ(ReadText(RosterFileLock::CompanionPath(Path())), "");
  EXPECT_TRUE(clock_.sleeps().empty());

  // A given ID is kept.
  ASSERT_TRUE(roster_->AddStudent(Path(), NewEntry("given", "X", "T-100").get(), nullptr));
  EXPECT_TRUE(roster_->Exists("T-100"));
  EXPECT_EQ(roster_->AutoStudentId(), 3);
}

TEST_F(StudentsTest, AddStudentRefusesDuplicatesAndInvalidStudents) {
  WriteRoster(kRoster);
  const std::string before = ReadText(Path());

  const AutomationError user =
      ErrorOf([&] { roster_->AddStudent(Path(), NewEntry("alee").get(), nullptr); });
  EXPECT_EQ(user.number, automation::MakeHResult(0x8004027B));
  EXPECT_EQ(user.description, "Duplicate Username - alee");
  EXPECT_EQ(user.source, "students:AddStudent");

  const AutomationError id = ErrorOf(
      [&] { roster_->AddStudent(Path(), NewEntry("new", "X", "SID00002").get(), nullptr); });
  EXPECT_EQ(id.number, automation::MakeHResult(0x8004027B));
  EXPECT_EQ(id.description, "Duplicate User ID - SID00002");
  EXPECT_EQ(id.source, "students:AddStudent");

  Ref<Student> bad_course = NewEntry("new");
  bad_course->SetField(StudentField::kCourse, "99");
  const AutomationError invalid =
      ErrorOf([&] { roster_->AddStudent(Path(), bad_course.get(), courses_.get()); });
  EXPECT_EQ(invalid.number, automation::ObjectError(631));
  EXPECT_EQ(invalid.description, "Course is invalid - 99");
  EXPECT_EQ(invalid.source, "students:AddStudent");
  EXPECT_EQ(ErrorOf([&] { roster_->AddStudent(Path(), NewEntry(" ").get(), nullptr); }).number,
            automation::ObjectError(636));
  EXPECT_EQ(ErrorOf([&] { roster_->AddStudent(Path(), nullptr, nullptr); }).number,
            automation::HResultFromRuntimeError(automation::kObjectNotSet));

  // None of that changed the file or left it locked.
  EXPECT_EQ(ReadText(Path()), before);
  EXPECT_FALSE(IsReadOnly(Path()));
  EXPECT_TRUE(roster_->AddStudent(Path(), NewEntry("new").get(), nullptr));
}

TEST_F(StudentsTest, IssuedIdsSkipThoseTakenAndStopAtTheCounterLimit) {
  // A roster without the counter whose IDs follow the issued pattern.
  WriteRoster(
      "<students><student><id>SID00001</id><username>a</username></student>"
      "<student><id>SID00002</id><username>b</username></student></students>");
  Ref<Student> added = NewEntry("c");
  ASSERT_TRUE(roster_->AddStudent(Path(), added.get(), nullptr));
  EXPECT_EQ(added->StudentID(), "SID00003");
  EXPECT_NE(ReadText(Path()).find("autoStudentID=\"3\""), std::string::npos);

  WriteRoster("<students autoStudentID=\"32767\"><student><id>S</id></student></students>");
  const std::string before = ReadText(Path());
  EXPECT_EQ(ErrorOf([&] { roster_->AddStudent(Path(), NewEntry("d").get(), nullptr); }).number,
            automation::HResultFromRuntimeError(automation::kOverflow));
  EXPECT_EQ(ReadText(Path()), before);
  EXPECT_FALSE(IsReadOnly(Path()));
}

TEST_F(StudentsTest, ALockedRosterIsTriedThreeTimes) {
  WriteRoster(kRoster);
  fs::permissions(Path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  clock_.QueueRandom({0.0, 0.5, 0.999});
  EXPECT_FALSE(roster_->AddStudent(Path(), NewEntry("new").get(), nullptr));
  const auto sleeps = clock_.sleeps();
  ASSERT_EQ(sleeps.size(), 3u);
  EXPECT_EQ(sleeps[0].duration.count(), 250);
  EXPECT_EQ(sleeps[1].duration.count(), 1625);
  EXPECT_GE(sleeps[2].duration.count(), 2990);
  EXPECT_LE(sleeps[2].duration.count(), 3000);
  // A mark nobody of ours set stays, and so does the file.
  EXPECT_TRUE(IsReadOnly(Path()));
  EXPECT_EQ(ReadText(Path()), kRoster);
  // Replacing and deleting wait for it just the same.
  EXPECT_FALSE(roster_->ReplaceStudent(Path(), NewEntry("x", "X", "SID00001").get(), nullptr));
  EXPECT_FALSE(roster_->DeleteStudent(Path(), NewEntry("x", "X", "SID00001").get(), nullptr));
  EXPECT_EQ(clock_.sleeps().size(), 9u);
  EXPECT_EQ(ReadText(Path()), kRoster);
}

TEST_F(StudentsTest, AMarkLeftByAHolderThatDiedIsTakenOver) {
  WriteRoster(kRoster);
  fs::permissions(Path(), fs::perms(0640));
  {
    // A holder that marked the roster and never let go.
    std::ofstream(RosterFileLock::CompanionPath(Path())) << "999999 0640\n";
    fs::permissions(Path(), fs::perms(0440));
  }
  ASSERT_TRUE(roster_->AddStudent(Path(), NewEntry("new").get(), nullptr));
  EXPECT_TRUE(clock_.sleeps().empty());
  EXPECT_EQ(fs::status(Path()).permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(roster_->Roster().size(), 4u);
}

TEST_F(StudentsTest, AnUnreadableRosterIsNeitherOverwrittenNorLeftLocked) {
  WriteRoster("<students><student><id>S1</id>");
  EXPECT_FALSE(roster_->AddStudent(Path(), NewEntry("new").get(), nullptr));
  EXPECT_EQ(ReadText(Path()), "<students><student><id>S1</id>");
  EXPECT_FALSE(IsReadOnly(Path()));
  // A folder that does not exist holds no roster to create.
  EXPECT_FALSE(roster_->AddStudent(Path("nowhere/roster.xml"), NewEntry("new").get(), nullptr));
}

TEST_F(StudentsTest, ReplaceStudentPutsTheNewEntryInPlaceOfTheOld) {
  WriteRoster(kRoster);
  Ref<Student> renamed = NewEntry("ann.lee", "Lee-Smith", "SID00001");
  renamed->SetPassword("newpass");
  ASSERT_TRUE(roster_->ReplaceStudent(Path(), renamed.get(), nullptr));
  // The entry moves to the end; its old user name no longer leads to it.
  EXPECT_EQ(Keys(roster_->Roster()),
            (std::vector<std::string>{"SID00002", "SID00003", "SID00001"}));
  EXPECT_EQ(roster_->MatchUserName("alee"), nullptr);
  EXPECT_TRUE(roster_->Authenticate("ann.lee", "newpass"));
  Ref<Students> reloaded = MakeRef<Students>();
  ASSERT_TRUE(reloaded->Load(Path(), nullptr));
  EXPECT_EQ(reloaded->Roster().FindObject<Student>("SID00001")->Field(StudentField::kLastName),
            "Lee-Smith");
  EXPECT_TRUE(reloaded->Authenticate("ann.lee", "newpass"));
  EXPECT_FALSE(reloaded->Authenticate("ann.lee", "secret"));

  // Taking another student's user name would make the roster unreadable.
  const std::string before = ReadText(Path());
  const AutomationError taken = ErrorOf(
      [&] { roster_->ReplaceStudent(Path(), NewEntry("badams", "X", "SID00003").get(), nullptr); });
  EXPECT_EQ(taken.number, automation::MakeHResult(0x8004027B));
  EXPECT_EQ(taken.description, "Duplicate Username - badams");
  EXPECT_EQ(taken.source, "students:ReplaceStudent");
  EXPECT_EQ(ReadText(Path()), before);
  EXPECT_FALSE(IsReadOnly(Path()));

  // No ID, or no roster: nothing to replace.
  EXPECT_FALSE(roster_->ReplaceStudent(Path(), NewEntry("zed").get(), nullptr));
  EXPECT_FALSE(roster_->ReplaceStudent(Path("missing.xml"), renamed.get(), nullptr));
  EXPECT_FALSE(fs::exists(Path("missing.xml")));
  EXPECT_EQ(ReadText(Path()), before);
}

TEST_F(StudentsTest, DeleteStudentRemovesTheEntry) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->DeleteStudent(Path(), NewEntry("", "", "SID00002").get(), nullptr));
  EXPECT_EQ(Keys(roster_->Roster()), (std::vector<std::string>{"SID00001", "SID00003"}));
  EXPECT_EQ(roster_->MatchUserName("badams"), nullptr);
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  EXPECT_EQ(Keys(roster_->Roster()), (std::vector<std::string>{"SID00001", "SID00003"}));
  EXPECT_FALSE(IsReadOnly(Path()));
  EXPECT_FALSE(roster_->DeleteStudent(Path("missing.xml"), NewEntry("", "", "S").get(), nullptr));
}

TEST_F(StudentsTest, SortOrdersACopyByUpperCasedFields) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  Ref<Collection> by_last = roster_->Sort("LASTNAME", "", "");
  EXPECT_EQ(Keys(*by_last), (std::vector<std::string>{"SID00002", "SID00003", "SID00001"}))
      << "adams, Baker, Lee";
  EXPECT_EQ(Keys(roster_->Roster()),
            (std::vector<std::string>{"SID00001", "SID00002", "SID00003"}));
  Ref<Collection> by_course = roster_->Sort("course", "section", "lastname");
  EXPECT_EQ(Keys(*by_course), (std::vector<std::string>{"SID00002", "SID00001", "SID00003"}));
  EXPECT_EQ(ErrorOf([&] { roster_->Sort("Email", "", ""); }).number,
            automation::HResultFromRuntimeError(automation::kSubscriptOutOfRange));

  // Through dispatch, with the optional fields left out.
  const Variant sorted = CallByName(*roster_, "Sort", DISPATCH_METHOD, {Variant("FirstName")});
  EXPECT_EQ(Keys(*dynamic_cast<Collection*>(sorted.object())),
            (std::vector<std::string>{"SID00001", "SID00002", "SID00003"}));
}

// The selection sort as it is defined, quadratic, to compare the fast one
// with on many rosters with many ties.
std::vector<Student*> PlainSelectionSort(std::vector<Student*> items, const StudentFields& fields) {
  auto less = [&](const Student* a, const Student* b) {
    for (int f = 0; f < 3; ++f) {
      if (f > 0 && fields[f] == -1) break;
      if (f == 2 && fields[1] == -1) break;
      const std::string x = UpperCaseText(StudentFieldText(*a, fields[f]));
      const std::string y = UpperCaseText(StudentFieldText(*b, fields[f]));
      if (x != y) return x < y;
    }
    return false;
  };
  for (size_t i = 0; i < items.size(); ++i) {
    size_t smallest = i;
    for (size_t j = i + 1; j < items.size(); ++j) {
      if (less(items[j], items[smallest])) smallest = j;
    }
    if (smallest != i) std::swap(items[i], items[smallest]);
  }
  return items;
}

TEST(StudentOrderTest, FastSortMovesStudentsExactlyAsTheSelectionSort) {
  std::mt19937 random(7);
  const char* names[] = {"lee", "Lee", "adams", "Baker", "\xC3\xA9mile", "\xC3\x89MILE", ""};
  for (int round = 0; round < 200; ++round) {
    std::vector<Ref<Student>> owned;
    std::vector<Student*> items;
    const size_t n = random() % 40;
    for (size_t i = 0; i < n; ++i) {
      Ref<Student> s = NewStudent();
      s->SetField(StudentField::kStudentId, "S" + std::to_string(i));
      s->SetField(StudentField::kLastName, names[random() % std::size(names)]);
      s->SetField(StudentField::kCourse, std::to_string(random() % 3));
      s->SetField(StudentField::kSection, std::to_string(random() % 2));
      items.push_back(s.get());
      owned.push_back(std::move(s));
    }
    const StudentFields fields_list[] = {ResolveStudentFields("LASTNAME", "", ""),
                                         ResolveStudentFields("COURSE", "SECTION", ""),
                                         ResolveStudentFields("COURSE", "", "LASTNAME"),
                                         ResolveStudentFields("SECTION", "LASTNAME", "COURSE")};
    for (const StudentFields& fields : fields_list) {
      std::vector<Student*> fast = items;
      SelectionSortStudents(fast, fields);
      ASSERT_EQ(fast, PlainSelectionSort(items, fields)) << "round " << round;
    }
  }
  EXPECT_EQ(UpperCaseText("\xC3\xA9mile stra\xC3\x9F"
                          "e"),
            "\xC3\x89MILE STRA\xC3\x9F"
            "E");
}

TEST_F(StudentsTest, FilterSelectsByExactText) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  auto filter = [&](std::initializer_list<Variant> args) {
    const Variant found = CallByName(*roster_, "Filter", DISPATCH_METHOD, args);
    return Keys(*dynamic_cast<Collection*>(found.object()));
  };
  EXPECT_EQ(filter({Variant("COURSE"), Variant("3")}),
            (std::vector<std::string>{"SID00001", "SID00002"}));
  // Numbers from script compare as their text.
  EXPECT_EQ(filter({Variant("COURSE"), Variant(int32_t{3}), Variant("SECTION"), Variant(2)}),
            (std::vector<std::string>{"SID00001"}));
  // An empty second field name switches the second and third conditions off.
  EXPECT_EQ(filter({Variant("COURSE"), Variant("3"), Variant(""), Variant(""), Variant("SECTION"),
                    Variant("2")}),
            (std::vector<std::string>{"SID00001", "SID00002"}));
  EXPECT_EQ(filter({Variant("lastname"), Variant("ADAMS")}), std::vector<std::string>{});
  EXPECT_EQ(filter({Variant("lastname"), Variant::Null()}), std::vector<std::string>{});
  EXPECT_EQ(ErrorOf([&] {
              filter({Variant("Email"), Variant("x")});
            }).number,
            automation::HResultFromRuntimeError(automation::kSubscriptOutOfRange));
}

TEST_F(StudentsTest, SelectionsortSortsTheCallersArray) {
  WriteRoster(kRoster);
  ASSERT_TRUE(roster_->Load(Path(), nullptr));
  std::vector<Variant> items{Variant()};
  for (const Variant& item : roster_->Roster()) items.push_back(item);
  Variant values = Variant::Array(items);
  CallByName(*roster_, "Selectionsort", DISPATCH_METHOD,
             {Variant::ByRef(&values), Variant("LastName")});
  ASSERT_TRUE(values.IsArray());
  std::vector<std::string> order;
  for (const Variant& item : values.array().subspan(1)) {
    order.push_back(dynamic_cast<Student*>(item.object())->Field(StudentField::kLastName));
  }
  EXPECT_TRUE(values.array()[0].IsEmpty());
  EXPECT_EQ(order, (std::vector<std::string>{"adams", "Baker", "Lee"}));

  Variant not_students = Variant::Array({Variant(), Variant("x"), Variant("y")});
  EXPECT_EQ(ErrorOf([&] {
              CallByName(*roster_, "Selectionsort", DISPATCH_METHOD,
                         {Variant::ByRef(&not_students), Variant("LastName")});
            }).number,
            automation::HResultFromRuntimeError(automation::kTypeMismatch));
}

}  // namespace
}  // namespace norwin::datalayer
