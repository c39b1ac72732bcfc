// Lessons, tutorials and lesson menus on a drive backed by a real folder and
// behind the record pages of a real HTTP server on 127.0.0.1: task
// completion, the student's own copies, listings and the exact requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datalayer/support/new_record.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/date.h"
#include "norwin/datalayer/lesson.h"
#include "norwin/datalayer/lesson_menu.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/tutorial.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;
using automation::Collection;
using automation::Date;
using automation::Ref;
using automation::Variant;

using testing::New;

void WriteText(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Task& TaskAt(const Collection& tasks, size_t index) {
  return *dynamic_cast<Task*>(tasks.at(index).object());
}

std::vector<std::string> Filenames(const Collection& list) {
  std::vector<std::string> names;
  for (const TitleFilename& handle : list.Objects<TitleFilename>())
    names.push_back(handle.Filename());
  return names;
}

// Drive d: holds a definition folder "defs", a student folder "save" and
// a task pool of three tasks.
class LessonFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreValidationString("");
    fs::create_directories(prefix_.path() / "drives");
    fs::create_directory_symlink(disc_.path(), prefix_.path() / "drives" / "d");
    fs::create_directory(disc_.path() / "defs");
    fs::create_directory(disc_.path() / "save");
    pool_ = New<TaskPool>("TaskPool");
    for (const char* id : {"t1", "t2", "t3"}) {
      Ref<Task> task = New<Task>("Task");
      task->SetID(id);
      task->SetName(std::string("Task ") + id);
      pool_->Tasks()->AddKeyed(id, Variant(task));
    }
    WriteText(disc_.path() / "defs" / "intro_pml.xml",
              "<lesson ID='L1' COMPLETED='false'><title>Intro</title><source>1</source>"
              "<taskList><taskRef>t1</taskRef><taskRef>t9</taskRef><taskRef>t2</taskRef>"
              "<taskRef>t1</taskRef></taskList>"
              "<lessonAssignment><classRef>C1</classRef></lessonAssignment></lesson>");
    WriteText(disc_.path() / "defs" / "more_pml.xml",
              "<lesson><title>More</title><source>0</source>"
              "<taskList><taskRef>t3</taskRef></taskList></lesson>");
    WriteText(disc_.path() / "defs" / "course_LM.XML",
              "<lessonMenu><title>Course</title><tutorialList>"
              "<tutorial type='single' spacer='TRUE'><title>Start</title><lessonList>"
              "<lessonFile>intro_pml.xml</lessonFile><lessonFile>gone_pml.xml</lessonFile>"
              "<lessonFile>more_pml.xml</lessonFile></lessonList></tutorial>"
              "<tutorial type='normal'><title>Empty</title></tutorial>"
              "</tutorialList></lessonMenu>");
  }

  Variant Pool() const { return Variant(pool_); }

  testing::TempPrefix prefix_;
  testing::TempDir disc_;
  Ref<TaskPool> pool_;
};

TEST_F(LessonFolderTest, LoadClonesPoolTasksAndSaveWritesCompletion) {
  auto lesson = New<Lesson>("Lesson");
  ASSERT_TRUE(lesson->Load("d:/defs/intro_pml.xml", Pool()));
  EXPECT_EQ(lesson->Title(), "Intro");
  EXPECT_EQ(lesson->LessonID(), "L1");
  EXPECT_EQ(lesson->Source(), 1);
  EXPECT_EQ(lesson->LessonFilename(), "intro_pml.xml");
  // t9 is not in the pool and the second t1 is a duplicate: both left out.
  const Ref<Collection> tasks = lesson->Tasks();
  ASSERT_EQ(tasks->size(), 2u);
  EXPECT_EQ(TaskAt(*tasks, 0).Name(), "Task t1");
  EXPECT_NE(&TaskAt(*tasks, 0), pool_->Tasks()->FindObject<Task>("t1"));
  ASSERT_EQ(lesson->LessonAssignments()->size(), 1u);
  EXPECT_FALSE(lesson->CalcLessonComplete());

  // Completing one task is not enough; completing both is.
  const Date done = *automation::MakeDate({2026, 12, 7, 15, 4, 5});
  TaskAt(*tasks, 0).SetCompletionDate(done);
  ASSERT_TRUE(lesson->Save("d:/save/intro_pml_s17.xml", false));
  std::string saved = ReadText(disc_.path() / "save" / "intro_pml_s17.xml");
  EXPECT_NE(saved.find("COMPLETED=\"false\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("<taskRef completed=\"12/7/2026 3:04:05 PM\">t1</taskRef>"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<taskRef>t2</taskRef>"), std::string::npos) << saved;
  TaskAt(*tasks, 1).SetCompletionDate(done);
  ASSERT_TRUE(lesson->Save("d:/save/intro_pml_s17.xml", false));
  EXPECT_TRUE(lesson->Completed());
  EXPECT_TRUE(fs::exists(disc_.path() / "defs" / "intro_pml.xml"));

  // The student copy reads back with its dates, and counts as complete.
  auto copy = New<Lesson>("Lesson");
  ASSERT_TRUE(copy->Load("d:/save/intro_pml_s17.xml", Pool()));
  EXPECT_TRUE(copy->Completed());
  EXPECT_EQ(TaskAt(*copy->Tasks(), 1).CompletionDate(), done);
  EXPECT_TRUE(lesson->CalcLessonFileComplete("d:/save/intro_pml_s17.xml", Pool()));
  EXPECT_FALSE(lesson->CalcLessonFileComplete("d:/save/missing_pml.xml", Pool()));

  // Saved under a new name with deleteOldIfChanged, the old record goes.
  ASSERT_TRUE(copy->Save("d:/save/renamed_pml_s17.xml", true));
  EXPECT_FALSE(fs::exists(disc_.path() / "save" / "intro_pml_s17.xml"));
  EXPECT_EQ(copy->LessonFilename(), "renamed_pml_s17.xml");
  EXPECT_TRUE(automation::ToBool(copy->Delete("d:/save/renamed_pml_s17.xml")));
  EXPECT_TRUE(copy->Delete("d:/save/renamed_pml_s17.xml").IsEmpty());
}

TEST_F(LessonFolderTest, CompletionRulesOfCalculationAndSavingDiffer) {
  auto lesson = New<Lesson>("Lesson");
  // No tasks: complete by calculation, saved as not completed, no task list.
  EXPECT_TRUE(lesson->CalcLessonComplete());
  ASSERT_TRUE(lesson->Save("d:/save/empty_pml.xml", false));
  const std::string saved = ReadText(disc_.path() / "save" / "empty_pml.xml");
  EXPECT_NE(saved.find("COMPLETED=\"false\""), std::string::npos) << saved;
  EXPECT_EQ(saved.find("taskList"), std::string::npos) << saved;
  // A day of 1899 that is not the zero date: saved complete, not calculated so.
  ASSERT_TRUE(lesson->Load("d:/defs/more_pml.xml", Variant::Null()));
  ASSERT_EQ(lesson->Tasks()->size(), 1u);
  TaskAt(*lesson->Tasks(), 0).SetCompletionDate(*automation::MakeDate({1899, 6, 1}));
  EXPECT_FALSE(lesson->CalcLessonComplete());
  ASSERT_TRUE(lesson->Save("d:/save/more_pml.xml", false));
  EXPECT_TRUE(lesson->Completed());
}

TEST_F(LessonFolderTest, ListingsTakeTheRightFiles) {
  EXPECT_TRUE(MatchesLessonType("intro_pml_s17.xml", kLessonTypeStudent));
  EXPECT_TRUE(MatchesLessonType("intro_pml_s17.xml", kLessonTypeAll));
  EXPECT_FALSE(MatchesLessonType("intro_pml_s17.xml", kLessonTypeRaw));
  EXPECT_TRUE(MatchesLessonType("intro_pml.xml", kLessonTypeRaw));
  EXPECT_FALSE(MatchesLessonType("intro_pml.xml", kLessonTypeStudent));
  EXPECT_FALSE(MatchesLessonType("intro_pml.xml", 7));

  auto lesson = New<Lesson>("Lesson");
  EXPECT_EQ(Filenames(*lesson->GetLessons("d:/defs", kLessonTypeRaw)).size(), 2u);
  EXPECT_TRUE(lesson->GetLessons("d:/nowhere", kLessonTypeAll)->empty());

  auto a = New<Lesson>("Lesson");
  ASSERT_TRUE(a->Load("d:/defs/intro_pml.xml", Pool()));
  ASSERT_TRUE(a->Save("d:/save/intro_pml_s17.xml", false));  // not complete
  auto b = New<Lesson>("Lesson");
  ASSERT_TRUE(b->Load("d:/defs/more_pml.xml", Pool()));
  TaskAt(*b->Tasks(), 0).SetCompletionDate(*automation::MakeDate({2026, 1, 2}));
  ASSERT_TRUE(b->Save("d:/save/more_pml_s17.xml", false));  // complete
  ASSERT_TRUE(b->Save("d:/save/more_pml_s18.xml", false));  // another student

  const Variant pool = Pool();
  std::vector<std::string> all =
      Filenames(*lesson->GetStudentLessons("d:/save/", "s17", false, pool));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{"intro_pml_s17.xml", "more_pml_s17.xml"}));
  // The folder is joined to the file names with a separator when it has none.
  for (const char* folder : {"d:/save/", "d:/save", "d:\\save"}) {
    EXPECT_EQ(Filenames(*lesson->GetStudentLessons(folder, "s17", true, pool)),
              std::vector<std::string>{"more_pml_s17.xml"})
        << folder;
  }
  EXPECT_EQ(lesson->GetStudentLessons("d:/save/", "", false, pool)->size(), 3u);
}

TEST_F(LessonFolderTest, MenuLoadsTutorialsWithStudentCopies) {
  EXPECT_EQ(StudentLessonPath("C:/save", "intro_pml.xml", "s17"), "C:/save/intro_pml_s17.xml");
  EXPECT_EQ(StudentLessonPath("C:\\save\\", "intro_pml.xml", "s17"), "C:\\save\\intro_pml_s17.xml");

  auto finished = New<Lesson>("Lesson");
  ASSERT_TRUE(finished->Load("d:/defs/more_pml.xml", Pool()));
  finished->SetTitle("More (mine)");
  ASSERT_TRUE(finished->Save("d:/save/more_pml_s17.xml", false));

  auto menu = New<LessonMenu>("LessonMenu");
  EXPECT_EQ(Filenames(*menu->GetLessonMenus("d:/defs")), std::vector<std::string>{"course_LM.XML"});
  ASSERT_TRUE(menu->Load("d:/defs/course_LM.XML", Variant("d:/nowhere;d:/defs"), Pool(),
                         Variant("s17"), Variant("d:/save")));
  EXPECT_EQ(menu->Title(), "Course");
  ASSERT_EQ(menu->Tutorials()->size(), 2u);
  auto& first = *dynamic_cast<Tutorial*>(menu->Tutorials()->at(0).object());
  EXPECT_EQ(first.TutorialType(), kTutorialSingle);
  EXPECT_TRUE(first.Spacer());
  // gone_pml.xml is in no folder and is skipped.
  ASSERT_EQ(first.Lessons()->size(), 2u);
  EXPECT_TRUE(first.LessonTitleFiles()->Exists("Intro"));
  auto& intro = *dynamic_cast<Lesson*>(first.Lessons()->at(0).object());
  auto& more = *dynamic_cast<Lesson*>(first.Lessons()->at(1).object());
  // No copy of intro yet: the definition, pointed at the student's file.
  EXPECT_EQ(intro.Title(), "Intro");
  EXPECT_EQ(intro.LessonFilename(), "intro_pml_s17.xml");
  EXPECT_EQ(more.Title(), "More (mine)");
  auto& second = *dynamic_cast<Tutorial*>(menu->Tutorials()->at(1).object());
  EXPECT_EQ(second.TutorialType(), kTutorialNormal);
  EXPECT_FALSE(second.Spacer());

  // Saved and read back without folders, the menu keeps its shape.
  ASSERT_TRUE(menu->Save("d:/save/copy_lm.xml"));
  auto again = New<LessonMenu>("LessonMenu");
  ASSERT_TRUE(again->Load("d:/save/copy_lm.xml", Variant::Null(), Variant::Null(), Variant(""),
                          Variant("")));
  auto& reread = *dynamic_cast<Tutorial*>(again->Tutorials()->at(0).object());
  ASSERT_EQ(reread.Lessons()->size(), 2u);
  EXPECT_EQ(dynamic_cast<Lesson*>(reread.Lessons()->at(0).object())->LessonFilename(),
            "intro_pml_s17.xml");
  EXPECT_TRUE(reread.Spacer());

  // A lesson file that is not a record is found in no folder and skipped.
  WriteText(disc_.path() / "defs" / "more_pml.xml", "<lesson><title>More</title>");
  auto broken = New<LessonMenu>("LessonMenu");
  ASSERT_TRUE(
      broken->Load("d:/defs/course_LM.XML", Variant("d:/defs"), Pool(), Variant(""), Variant("")));
  EXPECT_EQ(dynamic_cast<Tutorial*>(broken->Tutorials()->at(0).object())->Lessons()->size(), 1u);
  EXPECT_FALSE(
      broken->Load("d:/defs/missing_lm.xml", Variant::Null(), Pool(), Variant(""), Variant("")));
}

TEST(LessonServerTest, RequestsNameTheLessonKindAndShape) {
  testing::TempPrefix prefix;
  StoreValidationString("");
  testing::RecordServer server;
  server.PutRecord("intro_pml.xml", "<lesson><title>Intro</title><source>0</source></lesson>");
  server.PutRecord("course_lm.xml",
                   "<lessonMenu><title>Course</title><tutorialList><tutorial><title>T</title>"
                   "<lessonList><lessonFile>intro_pml.xml</lessonFile></lessonList>"
                   "</tutorial></tutorialList></lessonMenu>");
  auto lesson = New<Lesson>("Lesson");
  lesson->SetLessonObjType(kLessonObjTypeTextbook);
  ASSERT_TRUE(lesson->Load(server.location("intro_pml.xml"), Variant::Null()));
  EXPECT_EQ(lesson->LessonFilename(), "intro_pml.xml");
  ASSERT_TRUE(lesson->Save(server.location("intro_pml_s1.xml"), false));
  const Ref<Collection> listed = lesson->GetLessons(server.app_url(), kLessonTypeRaw);
  auto menu = New<LessonMenu>("LessonMenu");
  ASSERT_TRUE(menu->Load(server.location("course_lm.xml"), Variant(server.app_url()),
                         Variant::Null(), Variant(""), Variant("")));
  ASSERT_TRUE(menu->Save(server.location("copy_lm.xml")));
  const Ref<Collection> menus = menu->GetLessonMenus(server.app_url());

  std::vector<std::string> targets;
  for (const auto& request : server.requests()) targets.push_back(request.target);
  EXPECT_EQ(targets,
            (std::vector<std::string>{
                "/app/LoadPellamObject.asp?ObjName=TextbookLesson&FileName=intro_pml.xml",
                "/app/SavePellamObject.asp?ObjName=TextbookLesson&FileName=intro_pml_s1.xml",
                "/app/GetTitleFileNames.asp?ObjName=TextbookLesson&LessonType=1",
                "/app/LoadPellamObject.asp?ObjName=LessonMenu&Type=LessonMenu&FileName="
                "course_lm.xml&",
                "/app/LoadPellamObject.asp?ObjName=Lesson&FileName=intro_pml.xml",
                "/app/LoadPellamObject.asp?ObjName=Lesson&FileName=intro_pml.xml",
                "/app/SavePellamObject.asp?ObjName=LessonMenu&FileName=copy_lm.xml&",
                "/app/GetTitleFileNames.asp?ObjName=LessonMenu&",
            }));
  ASSERT_FALSE(listed->empty());
  EXPECT_EQ(Filenames(*listed)[0], "intro_pml.xml");
  EXPECT_EQ(Filenames(*menus), (std::vector<std::string>{"copy_lm.xml", "course_lm.xml"}));
  EXPECT_EQ(menus->Objects<TitleFilename>().begin()->Directory(), server.app_url());
  ASSERT_TRUE(server.GetRecord("copy_lm.xml").has_value());
  EXPECT_NE(server.GetRecord("copy_lm.xml")->find("<lessonFile>intro_pml.xml</lessonFile>"),
            std::string::npos);
}

TEST(LessonServerTest, AStudentCopyTheServerRefusesEndsTheMenuLoad) {
  testing::TempPrefix prefix;
  StoreValidationString("");
  testing::RecordServer server;
  server.ServeFolder("/app/save/");
  server.PutRecord("intro_pml.xml", "<lesson><title>Intro</title><source>0</source></lesson>");
  server.PutRecord("course_lm.xml",
                   "<lessonMenu><title>Course</title><tutorialList><tutorial><title>T</title>"
                   "<lessonList><lessonFile>intro_pml.xml</lessonFile></lessonList>"
                   "</tutorial></tutorialList></lessonMenu>");
  const std::string save_dir = server.app_url("/app/save/");
  auto load = [&] {
    auto menu = New<LessonMenu>("LessonMenu");
    const bool loaded = menu->Load(server.location("course_lm.xml"), Variant(server.app_url()),
                                   Variant::Null(), Variant("s1"), Variant(save_dir));
    return loaded ? menu : Ref<LessonMenu>();
  };
  // No copy yet (the page says so): the definition, to be saved as the copy.
  Ref<LessonMenu> menu = load();
  ASSERT_TRUE(menu);
  auto& tutorial = *dynamic_cast<Tutorial*>(menu->Tutorials()->at(0).object());
  EXPECT_EQ(dynamic_cast<Lesson*>(tutorial.Lessons()->at(0).object())->LessonFilename(),
            "intro_pml_s1.xml");

  // A copy the server would not hand out may hold the student's work: the
  // menu does not load, so nothing can be saved over it.
  for (const int status : {200, 500}) {
    server.loopback().Reply("POST", "/app/save/LoadPellamObject.asp",
                            "<html><body>Service unavailable</body></html>", status);
    EXPECT_FALSE(load()) << status;
  }

  // Nor when a folder of the list cannot be asked for the lesson: a menu
  // saved without it would lose it.
  server.ServeFolder("/app/old/");
  server.loopback().Reply("POST", "/app/old/LoadPellamObject.asp", "", 503);
  auto menu2 = New<LessonMenu>("LessonMenu");
  EXPECT_FALSE(menu2->Load(server.location("course_lm.xml"),
                           Variant(server.app_url("/app/old/") + ";" + server.app_url()),
                           Variant::Null(), Variant(""), Variant("")));
}

}  // namespace
}  // namespace norwin::datalayer
