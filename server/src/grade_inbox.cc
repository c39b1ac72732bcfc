#include "grade_inbox.h"

#include <httplib.h>

#include <cstdio>
#include <map>

namespace norwin::server {

namespace {

// Form values arrive as the library sends them: as they stand, with only
// "%", "&", "+" and "=" percent-encoded; the HTTP library's form reader
// decodes both that and a browser's encoding.
std::map<std::string, std::string> Fields(std::string_view body) {
  httplib::Params params;
  httplib::detail::parse_query_text(std::string(body), params);
  return {params.begin(), params.end()};
}

std::string Percent(int part, int whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", whole > 0 ? 100.0 * part / whole : 0.0);
  return text;
}

std::string Html(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string Csv(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

PostedResult ParseResultForm(std::string_view body, std::string_view course) {
  const std::map<std::string, std::string> fields = Fields(body);
  auto get = [&](const char* name) {
    auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
  };
  PostedResult result;
  result.form = std::string(body);
  result.student = get("student_id");
  result.course = get("course_id");
  if (result.course.empty()) result.course = std::string(course);
  result.assignment = get("assignment_id");
  for (const char* id : {"exam_id", "lesson_id", "exercise_id"}) {
    if (result.assignment.empty()) result.assignment = get(id);
  }
  if (fields.count("result")) {
    result.score = get("result");
  } else if (fields.count("question_id0")) {
    int correct = 0, count = 0;
    for (; fields.count("question_id" + std::to_string(count)); ++count) {
      if (get(("document_score" + std::to_string(count)).c_str()) == "1") ++correct;
    }
    result.score = Percent(correct, count);
  } else if (fields.count("task_id0")) {
    int done = 0, count = 0;
    for (; fields.count("task_id" + std::to_string(count)); ++count) {
      if (get(("completed" + std::to_string(count)).c_str()) == "Y") ++done;
    }
    result.score = Percent(done, count);
  }
  return result;
}

std::string ResultsPage(const std::vector<PostedResult>& results) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Results</title>"
      "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
      "td,th{border:1px solid #999;padding:2px 8px}h2{margin-top:1.5em}</style></head><body>\n"
      "<h1>Results</h1>\n<p><a id=\"csv\" href=\"results.csv\">Download as CSV</a></p>\n";
  if (results.empty()) page += "<p id=\"none\">No results have arrived yet.</p>\n";
  std::string group;
  for (const PostedResult& result : results) {
    const std::string this_group = result.course + "\n" + result.assignment;
    if (this_group != group) {
      if (!group.empty()) page += "</table>\n";
      group = this_group;
      page += "<h2>Course " + Html(result.course) + ", assignment " + Html(result.assignment) +
              "</h2>\n<table class=\"results\"><tr><th>Student</th><th>Score</th>"
              "<th>Received</th></tr>\n";
    }
    page += "<tr><td class=\"student\">" + Html(result.student) + "</td><td class=\"score\">" +
            Html(result.score) + "</td><td>" + Html(result.received_at) + "</td></tr>\n";
  }
  if (!group.empty()) page += "</table>\n";
  return page + "</body></html>\n";
}

std::string ResultsCsv(const std::vector<PostedResult>& results) {
  std::string csv = "course,assignment,student,score,received\r\n";
  for (const PostedResult& r : results) {
    csv += Csv(r.course) + "," + Csv(r.assignment) + "," + Csv(r.student) + "," + Csv(r.score) +
           "," + Csv(r.received_at) + "\r\n";
  }
  return csv;
}

}  // namespace norwin::server
