// The roster lock between real processes: students added by several
// processes at once are all kept, a roster another process holds is waited
// for and then refused, and a lock whose holder died is taken over.
#include "norwin/datalayer/roster_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "norwin/datalayer/students.h"
#include "norwin/platform/clock.h"
#include "support/no_file_locks.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::MakeRef;
using automation::Ref;

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

Ref<Student> NewEntry(const std::string& user) {
  Ref<Student> student = NewStudent();
  student->SetField(StudentField::kUserName, user);
  student->SetField(StudentField::kLastName, "Student " + user);
  return student;
}

// Runs `body` in a child process, which exits with its result (0 = true).
template <typename F>
pid_t Spawn(F&& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  return pid;
}

int ExitStatusOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class RosterLockProcessTest : public ::testing::Test {
 protected:
  std::string Roster() const { return (prefix_.path() / "roster.xml").string(); }
  norwin::testing::TempPrefix prefix_;
};

TEST_F(RosterLockProcessTest, StudentsAddedByProcessesAtOnceAreAllKept) {
  constexpr int kProcesses = 3;
  constexpr int kEach = 8;
  pid_t children[kProcesses];
  for (int p = 0; p < kProcesses; ++p) {
    children[p] = Spawn([&, p] {
      Ref<Students> roster = MakeRef<Students>();
      for (int i = 0; i < kEach; ++i) {
        const std::string user = "p" + std::to_string(p) + "-" + std::to_string(i);
        // A roster kept busy through every try is reported, not lost: try
        // again, as a page would.
        int tries = 0;
        while (!roster->AddStudent(Roster(), NewEntry(user).get(), nullptr)) {
          if (++tries == 10) return false;
        }
      }
      return true;
    });
    ASSERT_GT(children[p], 0);
  }
  for (pid_t child : children) EXPECT_EQ(ExitStatusOf(child), 0);

  Ref<Students> roster = MakeRef<Students>();
  ASSERT_TRUE(roster->Load(Roster(), nullptr));
  EXPECT_EQ(roster->Roster().size(), size_t{kProcesses * kEach});
  EXPECT_EQ(roster->AutoStudentId(), kProcesses * kEach);
  std::set<std::string> ids;
  for (const Student& student : roster->Roster().Objects<Student>())
    ids.insert(student.StudentID());
  EXPECT_EQ(ids.size(), size_t{kProcesses * kEach});
  EXPECT_EQ(*ids.begin(), "SID00001");
  EXPECT_EQ(*ids.rbegin(), StudentIdFromCounter(kProcesses * kEach));
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_NE(roster->MatchUserName("p" + std::to_string(p) + "-" + std::to_string(i)), nullptr);
    }
  }
  EXPECT_FALSE(IsReadOnly(Roster()));
  EXPECT_EQ(ReadText(RosterFileLock::CompanionPath(Roster())), "");
}

TEST_F(RosterLockProcessTest, ARosterAnotherProcessHoldsIsWaitedForThenRefused) {
  Ref<Students> roster = MakeRef<Students>();
  ASSERT_TRUE(roster->AddStudent(Roster(), NewEntry("first").get(), nullptr));
  const std::string before = ReadText(Roster());

  int locked[2], release[2];
  ASSERT_EQ(pipe(locked), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t holder = Spawn([&] {
    RosterFileLock lock(Roster());
    if (lock.Lock() != RosterLockResult::kLocked) return false;
    char byte = 'L';
    if (write(locked[1], &byte, 1) != 1) return false;
    if (read(release[0], &byte, 1) != 1) return false;
    lock.Unlock();
    return true;
  });
  ASSERT_GT(holder, 0);
  char byte = 0;
  ASSERT_EQ(read(locked[0], &byte, 1), 1);
  EXPECT_TRUE(IsReadOnly(Roster()));

  {
    platform::ManualSource clock;
    platform::ScopedSourceForTesting installed(&clock);
    EXPECT_FALSE(roster->AddStudent(Roster(), NewEntry("second").get(), nullptr));
    EXPECT_EQ(clock.sleeps().size(), 3u);
    EXPECT_FALSE(roster->DeleteStudent(Roster(), NewEntry("first").get(), nullptr));
  }
  EXPECT_EQ(ReadText(Roster()), before);

  ASSERT_EQ(write(release[1], "go", 1), 1);
  EXPECT_EQ(ExitStatusOf(holder), 0);
  EXPECT_FALSE(IsReadOnly(Roster()));
  EXPECT_TRUE(roster->AddStudent(Roster(), NewEntry("second").get(), nullptr));
  EXPECT_EQ(roster->Roster().size(), 2u);
  for (int fd : {locked[0], locked[1], release[0], release[1]}) close(fd);
}

TEST_F(RosterLockProcessTest, ALockWhoseHolderDiedIsTakenOver) {
  Ref<Students> roster = MakeRef<Students>();
  ASSERT_TRUE(roster->AddStudent(Roster(), NewEntry("first").get(), nullptr));
  fs::permissions(Roster(), fs::perms(0604));
  const pid_t holder = fork();
  if (holder == 0) {
    // Dies holding the lock: no destructor, no unlock.
    auto* lock = new RosterFileLock(Roster());
    _exit(lock->Lock() == RosterLockResult::kLocked ? 0 : 1);
  }
  ASSERT_EQ(ExitStatusOf(holder), 0);
  EXPECT_TRUE(IsReadOnly(Roster()));
  EXPECT_EQ(ReadText(RosterFileLock::CompanionPath(Roster())), std::to_string(holder) + " 0604\n");

  platform::ManualSource clock;
  platform::ScopedSourceForTesting installed(&clock);
  EXPECT_TRUE(roster->AddStudent(Roster(), NewEntry("second").get(), nullptr));
  EXPECT_TRUE(clock.sleeps().empty());
  EXPECT_EQ(fs::status(Roster()).permissions() & fs::perms::all, fs::perms(0604));
  EXPECT_EQ(ReadText(RosterFileLock::CompanionPath(Roster())), "");
  EXPECT_EQ(roster->Roster().size(), 2u);
}

TEST_F(RosterLockProcessTest, WithoutFileLocksTheReadOnlyMarkAloneGuards) {
  norwin::testing::NoFileLocks no_locks;
  ::testing::internal::CaptureStderr();
  Ref<Students> roster = MakeRef<Students>();
  EXPECT_TRUE(roster->AddStudent(Roster(), NewEntry("first").get(), nullptr));
  EXPECT_TRUE(roster->AddStudent(Roster(), NewEntry("second").get(), nullptr));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("does not support file locks"),
            std::string::npos);
  EXPECT_FALSE(IsReadOnly(Roster()));

  // A mark is respected whoever set it, since no holder can be seen alive.
  RosterFileLock holder(Roster());
  ASSERT_EQ(holder.Lock(), RosterLockResult::kLocked);
  EXPECT_TRUE(IsReadOnly(Roster()));
  platform::ManualSource clock;
  platform::ScopedSourceForTesting installed(&clock);
  RosterFileLock other(Roster());
  EXPECT_EQ(other.Lock(), RosterLockResult::kBusy);
  holder.Unlock();
  EXPECT_FALSE(IsReadOnly(Roster()));
  EXPECT_EQ(other.Lock(), RosterLockResult::kLocked);
}

}  // namespace
}  // namespace norwin::datalayer
