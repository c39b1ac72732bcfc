// What a student's exam page waits for: loading an attempt whose questions
// are cloned from a title's question pool, saving it after an answer, and
// posting the results to the course-management server (a loopback one).
#include <benchmark/benchmark.h>

#include <string>

#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/exam.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/vellora_exam.h"
#include "support/course_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::MakeRef;
using automation::Ref;
using automation::Variant;

constexpr int kPoolSize = 5000;

Ref<QuestionPool> Pool() {
  Ref<QuestionPool> pool = MakeRef<QuestionPool>();
  for (int i = 0; i < kPoolSize; ++i) {
    Ref<Question> question = MakeRef<Question>();
    std::string id = "Q";
    id += std::to_string(i);
    question->SetID(id);
    question->SetText("Which formula adds the cells of row " + std::to_string(i) + "?");
    pool->Questions()->AddKeyed(id, Variant(std::move(question)));
  }
  return pool;
}

// An attempt at an exam of `count` questions of the pool, half answered.
Ref<Exam> Attempt(const Ref<QuestionPool>& pool, int count) {
  Ref<Exam> exam = MakeRef<Exam>();
  exam->SetExamID("E1");
  exam->SetExternalID("A99");
  exam->SetTitle("Formulas");
  for (int i = 0; i < count; ++i) {
    std::string id = "Q";
    id += std::to_string(i * (kPoolSize / count));
    Ref<Question> question =
        dynamic_cast<Question&>(*pool->Questions()->Find(id)->object()).Clone();
    question->SetCorrect(static_cast<int16_t>(i % 2 == 0 ? 1 : -1));
    question->SetAttempts(static_cast<int16_t>(i % 3));
    exam->Questions()->AddKeyed(id, Variant(std::move(question)));
  }
  return exam;
}

void BM_LoadAttempt(benchmark::State& state) {
  testing::TempPrefix prefix;
  const Ref<QuestionPool> pool = Pool();
  const std::string file = (prefix.path() / "formulas_pmxm_s17_01.xml").string();
  (void)Attempt(pool, static_cast<int>(state.range(0)))->Save(file, Exam::DeleteOld::kKeep);
  for (auto _ : state) {
    Ref<Exam> exam = MakeRef<Exam>();
    if (!exam->Load(file, pool->Questions())) state.SkipWithError("attempt did not load");
    benchmark::DoNotOptimize(exam->Questions()->size());
  }
}
BENCHMARK(BM_LoadAttempt)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

// Saving after every answer: the whole record, flushed to disk.
void BM_SaveAttempt(benchmark::State& state) {
  testing::TempPrefix prefix;
  const Ref<Exam> exam = Attempt(Pool(), static_cast<int>(state.range(0)));
  const std::string file = (prefix.path() / "formulas_pmxm_s17_01.xml").string();
  for (auto _ : state) {
    if (!exam->Save(file, Exam::DeleteOld::kKeep)) state.SkipWithError("attempt not saved");
  }
}
BENCHMARK(BM_SaveAttempt)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

// Building the result form and posting it to the server, which accepts it.
void BM_SubmitExam(benchmark::State& state) {
  testing::CourseServer server;
  Ref<VelloraExam> submission = MakeRef<VelloraExam>();
  submission->SetStudentId("SID00042");
  submission->SetSubmitHost(server.submit_url());
  submission->SetTheExam(Attempt(Pool(), static_cast<int>(state.range(0))));
  for (auto _ : state) {
    if (!submission->Save("", false)) state.SkipWithError("results refused");
  }
}
BENCHMARK(BM_SubmitExam)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norwin::datalayer
