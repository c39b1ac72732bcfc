#include "record_documents.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <vector>

namespace norwin::server {

namespace {

bool Parse(pugi::xml_document& doc, std::string_view text) {
  return static_cast<bool>(doc.load_buffer(text.data(), text.size())) &&
         !doc.document_element().empty();
}

std::string Serialize(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw);
  return out.str();
}

std::string ChildText(const pugi::xml_node& node, const char* name) {
  return node.child(name).text().get();
}

bool TextIsTrue(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "true" || lower == "-1" || lower == "1";
}

// The attempt number of "NAME_pmxm_STUDENT_NN.xml": the digits between the
// last "_" and ".xml"; "" for any other name.
std::string AttemptOf(std::string_view name) {
  if (name.find("_pmxm_") == std::string_view::npos || !name.ends_with(".xml")) return {};
  name.remove_suffix(4);
  const size_t underscore = name.rfind('_');
  const std::string_view digits = name.substr(underscore + 1);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  const size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
  return std::string(digits.substr(first));
}

std::string TwoDigits(int32_t value) {
  std::string text = std::to_string(value);
  if (value >= 0 && value < 10) text.insert(0, "0");
  return text;
}

// The students of the rosters of `folder`, in roster order.
std::vector<pugi::xml_node> RosterStudents(const std::vector<StoredRecord>& records,
                                           std::vector<pugi::xml_document>& docs) {
  std::vector<pugi::xml_node> students;
  for (const StoredRecord& record : records) {
    pugi::xml_document& doc = docs.emplace_back();
    if (!Parse(doc, record.body) || std::string_view(doc.document_element().name()) != "students") {
      continue;
    }
    for (pugi::xml_node student : doc.document_element().children()) {
      if (student.type() == pugi::node_element) students.push_back(student);
    }
  }
  return students;
}

}  // namespace

std::optional<std::string> BadDocument(std::string_view text, std::string_view root) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size());
  if (!result) {
    return "Document is not well-formed XML: " + std::string(result.description()) + " at byte " +
           std::to_string(result.offset);
  }
  const std::string_view name = doc.document_element().name();
  if (name.empty()) return std::string("Document has no root element");
  if (name != root) {
    return "Document root is " + std::string(name) + ", not " + std::string(root);
  }
  return std::nullopt;
}

std::optional<std::string> TitleOf(std::string_view text) {
  pugi::xml_document doc;
  if (!Parse(doc, text)) return std::nullopt;
  return ChildText(doc.document_element(), "title");
}

std::string ListingField(std::string_view text) {
  std::string field(text);
  std::replace(field.begin(), field.end(), ';', ',');
  return field;
}

std::optional<std::string> ExamInfoFields(const StoredRecord& record) {
  if (record.name.find(';') != std::string::npos) return std::nullopt;
  pugi::xml_document doc;
  if (!Parse(doc, record.body)) return std::nullopt;
  const pugi::xml_node root = doc.document_element();
  std::string fields = ListingField(ChildText(root, "title")) + ";" + record.name + ";";
  fields += AttemptOf(record.name) + ";";
  fields += ListingField(root.attribute("pctCorrect").value()) + ";";
  fields += ListingField(ChildText(root, "questionRef")) + ";";
  return fields;
}

std::string FilterRoster(std::string_view text, const RosterFilter& filter) {
  pugi::xml_document doc;
  if (!Parse(doc, text)) return std::string(text);
  pugi::xml_node root = doc.document_element();
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node student : root.children()) {
    if (student.type() != pugi::node_element) continue;
    const bool keep =
        (filter.course.empty() || ChildText(student, "classRef") == filter.course) &&
        (filter.section.empty() || ChildText(student, "sectionRef") == filter.section) &&
        (filter.student.empty() || ChildText(student, "id") == filter.student);
    if (!keep) out.push_back(student);
  }
  for (pugi::xml_node student : out) root.remove_child(student);
  return Serialize(doc);
}

std::optional<std::string> RemoveStudent(std::string_view text, std::string_view student_id) {
  pugi::xml_document doc;
  if (!Parse(doc, text)) return std::nullopt;
  pugi::xml_node root = doc.document_element();
  for (pugi::xml_node student : root.children()) {
    if (student.type() == pugi::node_element && ChildText(student, "id") == student_id) {
      root.remove_child(student);
      return Serialize(doc);
    }
  }
  return std::nullopt;
}

std::string DroppedStudents(std::string_view before, std::string_view after) {
  pugi::xml_document old_doc, new_doc;
  if (!Parse(old_doc, before) || !Parse(new_doc, after)) return {};
  std::vector<std::string> kept;
  for (pugi::xml_node student : new_doc.document_element().children("student")) {
    kept.push_back(ChildText(student, "id"));
  }
  std::string dropped;
  for (pugi::xml_node student : old_doc.document_element().children("student")) {
    const std::string id = ChildText(student, "id");
    if (std::find(kept.begin(), kept.end(), id) == kept.end()) dropped += " " + id;
  }
  return dropped;
}

std::optional<std::string> ExamSummary(RecordStore& store, const RecordKey& key,
                                       const std::string& course, const std::string& section,
                                       int32_t attempt) {
  std::string base = key.name;
  if (base.ends_with(".xml")) base.resize(base.size() - 4);

  // The rosters: of the exam's folder, else of the nearest folder above.
  std::vector<pugi::xml_document> roster_docs;
  std::vector<pugi::xml_node> students;
  std::string folder = key.folder;
  for (;;) {
    students = RosterStudents(store.List(key.space, folder), roster_docs);
    if (!students.empty() || folder.size() <= 1) break;
    const size_t up = folder.rfind('/', folder.size() - 2);
    folder.resize(up + 1);
  }

  struct Total {
    int correct = 0;
    int attempts = 0;
    std::string points;
  };
  std::vector<std::string> order;
  std::map<std::string, Total> totals;
  int counted = 0;
  for (const pugi::xml_node& student : students) {
    if (!course.empty() && ChildText(student, "classRef") != course) continue;
    if (!section.empty() && ChildText(student, "sectionRef") != section) continue;
    const RecordKey attempt_key{
        key.space, key.folder,
        base + "_" + ChildText(student, "id") + "_" + TwoDigits(attempt) + ".xml"};
    const std::optional<std::string> text = store.Load(attempt_key);
    if (!text) continue;
    pugi::xml_document doc;
    if (!Parse(doc, *text)) continue;
    ++counted;
    const pugi::xml_node root = doc.document_element();
    std::vector<pugi::xml_node> asked;
    std::vector<std::string> seen;
    for (pugi::xml_node ref : root.children("questionRef")) {
      const std::string id = ref.text().get();
      if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
      seen.push_back(id);
      asked.push_back(ref);
    }
    size_t count = asked.size();
    // As the record library counts: a random order with a limit asks that
    // many questions; without one (or with 0) it asks them all.
    const pugi::xml_node random = root.child("pref").child("randomQuestions");
    const int limit = random.attribute("limit").as_int();
    if (random && TextIsTrue(random.text().get()) && limit > 0) {
      count = std::min(count, static_cast<size_t>(limit));
    }
    for (size_t i = 0; i < count; ++i) {
      const std::string id = asked[i].text().get();
      auto [entry, added] = totals.try_emplace(id);
      if (added) {
        order.push_back(id);
        entry->second.points = asked[i].attribute("points").value();
      }
      entry->second.attempts += 1;
      if (asked[i].attribute("correct").as_int() == 1) entry->second.correct += 1;
    }
  }

  if (counted == 0 && !store.Load({key.space, key.folder, base + ".xml"})) return std::nullopt;
  pugi::xml_document summary;
  pugi::xml_node exam = summary.append_child("exam");
  for (const std::string& id : order) {
    const Total& total = totals[id];
    pugi::xml_node ref = exam.append_child("questionRef");
    ref.text().set(id.c_str());
    ref.append_attribute("correct").set_value(total.correct);
    ref.append_attribute("attempts").set_value(total.attempts);
    if (!total.points.empty()) ref.append_attribute("points").set_value(total.points.c_str());
  }
  return Serialize(summary);
}

}  // namespace norwin::server
