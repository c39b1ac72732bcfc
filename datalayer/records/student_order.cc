#include "norwin/datalayer/student_order.h"

#include <glib.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"

namespace norwin::datalayer {

namespace {

using automation::Variant;

const std::string kNoText;

int16_t FieldOrOff(std::string_view name) { return name.empty() ? -1 : StudentFieldIndex(name); }

// How many leading fields take part: the first always, the second when on,
// the third when the second and the third are on.
size_t ActiveFields(const StudentFields& fields) {
  if (fields[1] == -1) return 1;
  return fields[2] == -1 ? 2 : 3;
}

// A tournament tree over positions that answers "which position holds the
// first of the smallest ranks" in O(log n) and follows changes of one
// position in O(log n).
class LeftmostMinimumTree {
 public:
  explicit LeftmostMinimumTree(const std::vector<uint32_t>& ranks) {
    while (leaves_ < ranks.size()) leaves_ *= 2;
    nodes_.assign(2 * leaves_, Entry{kGone, 0});
    for (size_t i = 0; i < ranks.size(); ++i) nodes_[leaves_ + i] = Entry{ranks[i], i};
    for (size_t i = leaves_ - 1; i >= 1; --i) nodes_[i] = Smaller(nodes_[2 * i], nodes_[2 * i + 1]);
  }

  size_t LeftmostMinimum() const { return nodes_[1].position; }

  void Set(size_t position, uint32_t rank) {
    size_t i = leaves_ + position;
    nodes_[i].rank = rank;
    for (i /= 2; i >= 1; i /= 2) nodes_[i] = Smaller(nodes_[2 * i], nodes_[2 * i + 1]);
  }
  void Remove(size_t position) { Set(position, kGone); }

 private:
  static constexpr uint32_t kGone = std::numeric_limits<uint32_t>::max();
  struct Entry {
    uint32_t rank;
    size_t position;
  };
  static Entry Smaller(const Entry& a, const Entry& b) {
    if (a.rank != b.rank) return a.rank < b.rank ? a : b;
    return a.position <= b.position ? a : b;
  }

  size_t leaves_ = 1;
  std::vector<Entry> nodes_;
};

}  // namespace

StudentFields ResolveStudentFields(std::string_view first, std::string_view second,
                                   std::string_view third) {
  return {StudentFieldIndex(first), FieldOrOff(second), FieldOrOff(third)};
}

const std::string& StudentFieldText(const Student& student, int16_t slot) {
  if (slot < 0 || slot >= kStudentPropertySlots) {
    throw automation::RuntimeError(automation::kSubscriptOutOfRange);
  }
  if (slot >= kStudentFieldCount) return kNoText;
  return student.Field(static_cast<StudentField>(slot));
}

std::string UpperCaseText(std::string_view text) {
  std::string out(text);
  bool ascii = true;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    ascii &= static_cast<unsigned char>(c) < 0x80;
  }
  if (ascii || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return out;
  }
  out.clear();
  for (const char* p = text.data(); p < text.data() + text.size(); p = g_utf8_next_char(p)) {
    char bytes[6];
    const gint size = g_unichar_to_utf8(g_unichar_toupper(g_utf8_get_char(p)), bytes);
    out.append(bytes, static_cast<size_t>(size));
  }
  return out;
}

bool StudentMatches(const Student& student, const StudentFields& fields,
                    std::span<const Variant, 3> values) {
  auto equal = [&](int i) {
    const Variant& value = values[i].Resolve();
    if (value.IsNull()) return false;
    const std::string& text = StudentFieldText(student, fields[i]);
    if (value.IsString()) return text == value.string();
    return text == automation::ToString(value);
  };
  if (!equal(0)) return false;
  if (fields[1] == -1) return true;
  if (!equal(1)) return false;
  return fields[2] == -1 || equal(2);
}

void SelectionSortStudents(std::span<Student*> students, const StudentFields& fields) {
  const size_t n = students.size();
  if (n < 2) return;
  const size_t k = ActiveFields(fields);

  // Every student's upper-cased fields, computed once.
  std::vector<std::string> keys(n * k);
  for (size_t i = 0; i < n; ++i) {
    for (size_t f = 0; f < k; ++f) {
      keys[i * k + f] = UpperCaseText(StudentFieldText(*students[i], fields[f]));
    }
  }
  auto compare = [&](size_t a, size_t b) {
    for (size_t f = 0; f < k; ++f) {
      const int c = keys[a * k + f].compare(keys[b * k + f]);
      if (c != 0) return c;
    }
    return 0;
  };

  // Ranks: equal keys share one, so the tree sees exactly the order the
  // comparison gives.
  std::vector<size_t> by_key(n);
  std::iota(by_key.begin(), by_key.end(), size_t{0});
  std::sort(by_key.begin(), by_key.end(), [&](size_t a, size_t b) { return compare(a, b) < 0; });
  std::vector<uint32_t> rank(n);
  for (size_t i = 1; i < n; ++i) {
    rank[by_key[i]] = rank[by_key[i - 1]] + (compare(by_key[i - 1], by_key[i]) < 0 ? 1 : 0);
  }

  // The selection sort itself: position i receives the first of the
  // smallest students at or after it, by a swap.
  LeftmostMinimumTree tree(rank);
  for (size_t i = 0; i + 1 < n; ++i) {
    const size_t smallest = tree.LeftmostMinimum();
    if (smallest != i) {
      std::swap(students[i], students[smallest]);
      std::swap(rank[i], rank[smallest]);
      tree.Set(smallest, rank[smallest]);
    }
    tree.Remove(i);
  }
}

}  // namespace norwin::datalayer
