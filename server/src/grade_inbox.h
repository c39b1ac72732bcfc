// The grade inbox: result forms as the record library posts them to a
// course-management server (exam, lesson and live-exercise forms), read into
// the few facts a teacher looks for, and the teacher's page and CSV export
// listing them by course, assignment and student.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/server/record_store.h"

namespace norwin::server {

// The facts of a posted form: student_id; course_id, else `course` (the
// submit address's own "course" query value); assignment_id, else the
// exam, lesson or exercise id; the score in percent (a live exercise's
// result, the share of an exam's questions answered correctly, or of a
// lesson's tasks completed; "" when the form has none). `form` keeps the
// body whole.
PostedResult ParseResultForm(std::string_view body, std::string_view course);

// The teacher's page: one table of results grouped by course and
// assignment, a link to the CSV export beside it.
std::string ResultsPage(const std::vector<PostedResult>& results);

// "course,assignment,student,score,received" and one line a result, values
// quoted where they hold a comma, quote or line end.
std::string ResultsCsv(const std::vector<PostedResult>& results);

}  // namespace norwin::server
