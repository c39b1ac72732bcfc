#include "norwin/datalayer/record_list.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "norwin/platform/status.h"
#include "xml_encoding.h"
#include "xml_file.h"

namespace norwin::datalayer {

struct RecordListAccess {
  static RecordList& Init(RecordList& list, std::shared_ptr<const char> text, size_t width) {
    list.text_ = std::move(text);
    list.width_ = width;
    return list;
  }
  static std::vector<RecordField>& Slots(RecordList& list) { return list.slots_; }
  static std::optional<std::string_view>& RootAttribute(RecordList& list) {
    return list.root_attribute_;
  }
};

namespace {

// The classes of a byte, in one table: the scanner's loops test one bit of
// one load per byte.
enum : uint8_t {
  kSpace = 1,      // IsXmlSpace
  kNameStart = 2,  // ASCII letters and '_'
  kNameChar = 4,   // those, digits, '-' and '.'
  kTextStop = 8,   // '<', '&' and the carriage return end a run of plain text
};

constexpr std::array<uint8_t, 256> MakeClasses() {
  std::array<uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    if (internal::IsXmlSpace(static_cast<char>(c))) classes[c] |= kSpace;
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (letter) classes[c] |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') classes[c] |= kNameChar;
  }
  for (const char c : {'<', '&', '\r'}) classes[static_cast<uint8_t>(c)] |= kTextStop;
  return classes;
}
constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

bool Is(char c, uint8_t cls) { return (kClasses[static_cast<uint8_t>(c)] & cls) != 0; }

// Short names: comparing them in place beats a call to memcmp.
bool SameText(const char* p, std::string_view s) {
  for (const char c : s) {
    if (*p++ != c) return false;
  }
  return true;
}
bool Equals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameText(a.data(), b);
}

// The plain shape, one token at a time. Every member answers false for what
// is outside it, and the whole read then gives up.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool AtEnd() const { return p_ == end_; }
  // Skips white space; whether there was any.
  bool SkipSpace() {
    const char* start = p_;
    while (p_ != end_ && Is(*p_, kSpace)) ++p_;
    return p_ != start;
  }
  bool Take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  bool Take(std::string_view s) {
    if (static_cast<size_t>(end_ - p_) < s.size() || !SameText(p_, s)) return false;
    p_ += s.size();
    return true;
  }
  // A name of ASCII letters, digits, '_', '-' and '.' (not starting with a
  // digit, '-' or '.').
  bool Name(std::string_view& name) {
    const char* start = p_;
    if (p_ == end_ || !Is(*p_, kNameStart)) return false;
    while (++p_ != end_ && Is(*p_, kNameChar)) {
    }
    name = std::string_view(start, static_cast<size_t>(p_ - start));
    return true;
  }
  // The rest of a start tag without attributes: '>' or "/>" (`empty`).
  bool TagEnd(bool& empty) {
    SkipSpace();
    empty = Take("/>");
    return empty || Take('>');
  }
  // Character data up to the next '<', trimmed, with no reference. The
  // parser rewrites the line ends inside text, so a carriage return may only
  // be part of the white space trimmed off.
  bool Text(std::string_view& text) {
    const char* start = p_;
    bool carriage_return = false;
    for (;;) {
      while (p_ != end_ && !Is(*p_, kTextStop)) ++p_;
      if (p_ == end_ || *p_ == '&') return false;
      if (*p_ == '<') break;
      carriage_return = true;
      ++p_;
    }
    text = internal::TrimXmlSpace(std::string_view(start, static_cast<size_t>(p_ - start)));
    return !carriage_return || text.find('\r') == std::string_view::npos;
  }
  // An attribute value in either quotes, with no reference, markup or white
  // space but the space (the parser turns tabs and line ends into spaces).
  bool Quoted(std::string_view& value) {
    char quote;
    if (Take('"')) {
      quote = '"';
    } else if (Take('\'')) {
      quote = '\'';
    } else {
      return false;
    }
    const char* start = p_;
    for (; p_ != end_; ++p_) {
      const char c = *p_;
      if (c == quote) {
        value = std::string_view(start, static_cast<size_t>(p_ - start));
        ++p_;
        return true;
      }
      if (c == '&' || c == '<' || c == '\r' || c == '\n' || c == '\t') return false;
    }
    return false;
  }
  // "</name>", exactly.
  bool EndTag(std::string_view name) {
    if (static_cast<size_t>(end_ - p_) < name.size() + 3 || p_[0] != '<' || p_[1] != '/' ||
        !SameText(p_ + 2, name) || p_[name.size() + 2] != '>')
      return false;
    p_ += name.size() + 3;
    return true;
  }
  // Skips the XML declaration at the very start, if there is one: the parser
  // skips it too, and the encoding it names has been dealt with.
  bool SkipDeclaration() {
    if (!Take("<?xml")) return true;
    if (p_ == end_ || !Is(*p_, kSpace)) return false;  // another processing instruction
    // No reference or markup in it: the DOM's checks of references see the
    // declaration too.
    for (; p_ != end_ && *p_ != '&' && *p_ != '<'; ++p_) {
      if (*p_ == '?' && p_ + 1 != end_ && p_[1] == '>') {
        p_ += 2;
        return true;
      }
    }
    return false;
  }

 private:
  const char* p_;
  const char* end_;
};

// The index of `name` among `names`; names.size() when it is not there.
size_t IndexOf(std::span<const std::string_view> names, std::string_view name) {
  size_t i = 0;
  while (i < names.size() && !Equals(names[i], name)) ++i;
  return i;
}

// The content of an element holding text only, after its start tag, up to
// and with its end tag: the trimmed text goes to `slot` unless it holds one.
bool ReadLeaf(Scanner& in, std::string_view name, RecordField* slot) {
  std::string_view text;
  if (!in.Text(text) || !in.EndTag(name)) return false;
  if (slot && !slot->present) *slot = RecordField{text, true};
  return true;
}

// A leaf element from its name on: an empty element or ReadLeaf.
bool ReadLeafElement(Scanner& in, std::string_view name, RecordField* slot) {
  bool empty;
  if (!in.TagEnd(empty)) return false;
  if (empty) {
    if (slot && !slot->present) *slot = RecordField{{}, true};
    return true;
  }
  return ReadLeaf(in, name, slot);
}

// Child elements, each a leaf, up to the end tag `name`; a leaf whose name is
// among `names` fills its slot of `slots` (null: the group was already read).
bool ReadGroup(Scanner& in, std::string_view name, std::span<const std::string_view> names,
               RecordField* slots) {
  for (;;) {
    in.SkipSpace();
    if (in.EndTag(name)) return true;
    std::string_view child;
    if (!in.Take('<') || !in.Name(child)) return false;
    const size_t i = IndexOf(names, child);
    if (!ReadLeafElement(in, child, slots && i < names.size() ? &slots[i] : nullptr)) return false;
  }
}

// One record from its name on, into `slots` (shape.width() of them).
bool ReadRecord(Scanner& in, std::string_view name, const RecordListShape& shape,
                RecordField* slots) {
  bool empty;
  if (!in.TagEnd(empty)) return false;
  if (empty) return true;
  RecordField& group = slots[shape.fields.size()];
  for (;;) {
    in.SkipSpace();
    if (in.EndTag(name)) return true;
    std::string_view child;
    if (!in.Take('<') || !in.Name(child)) return false;
    if (Equals(child, shape.group)) {
      bool group_empty;
      if (!in.TagEnd(group_empty)) return false;
      // Only the first group counts, as only the first field of a name does.
      RecordField* parts = group.present ? nullptr : &group + 1;
      group.present = true;
      if (!group_empty && !ReadGroup(in, child, shape.group_fields, parts)) return false;
      continue;
    }
    const size_t i = IndexOf(shape.fields, child);
    if (!ReadLeafElement(in, child, i < shape.fields.size() ? &slots[i] : nullptr)) return false;
  }
}

bool Read(std::string_view text, const RecordListShape& shape, RecordList& list) {
  Scanner in(text);
  (void)in.Take("\xEF\xBB\xBF");
  if (!in.SkipDeclaration()) return false;
  in.SkipSpace();
  std::string_view root;
  if (!in.Take('<') || !in.Name(root) || root != shape.root) return false;
  // The root's attributes, the first of the kept name kept.
  std::optional<std::string_view>& kept = RecordListAccess::RootAttribute(list);
  bool root_empty = false;
  for (;;) {
    const bool spaced = in.SkipSpace();
    if (in.Take("/>")) {
      root_empty = true;
      break;
    }
    if (in.Take('>')) break;
    std::string_view name, value;
    if (!spaced || !in.Name(name)) return false;
    in.SkipSpace();
    if (!in.Take('=')) return false;
    in.SkipSpace();
    if (!in.Quoted(value)) return false;
    if (!kept && name == shape.root_attribute) kept = value;
  }
  std::vector<RecordField>& slots = RecordListAccess::Slots(list);
  const size_t width = shape.width();
  // A record of the roster's own files takes about 200 bytes.
  slots.reserve(text.size() / 200 * width);
  while (!root_empty) {
    in.SkipSpace();
    if (in.EndTag(root)) break;
    std::string_view name;
    if (!in.Take('<') || !in.Name(name)) return false;
    slots.resize(slots.size() + width);
    if (!ReadRecord(in, name, shape, &slots[slots.size() - width])) return false;
  }
  in.SkipSpace();
  return in.AtEnd();
}

// Decodes `bytes`, held by `owner`, and reads them.
std::optional<RecordList> DecodeAndRead(std::shared_ptr<const char> owner, std::string_view bytes,
                                        const RecordListShape& shape) {
  internal::DecodedXml decoded = internal::DecodeXml(bytes);
  if (decoded.status != XmlParseStatus::kOk) return std::nullopt;
  std::string_view text = bytes;
  if (decoded.converted) {
    auto converted = std::make_shared<const std::string>(std::move(decoded.text));
    text = *converted;
    owner = std::shared_ptr<const char>(converted, converted->data());
  }
  RecordList list;
  RecordListAccess::Init(list, std::move(owner), shape.width());
  if (!Read(text, shape, list)) return std::nullopt;
  return list;
}

}  // namespace

std::optional<RecordList> ReadRecordList(std::string_view bytes, const RecordListShape& shape) {
  auto copy = std::make_shared<const std::string>(bytes);
  return DecodeAndRead(std::shared_ptr<const char>(copy, copy->data()), *copy, shape);
}

std::optional<RecordList> ReadRecordListFile(const std::filesystem::path& path,
                                             const RecordListShape& shape) {
  Result<internal::FileBytes> file = internal::ReadWholeFile(path);
  if (!file.ok()) return std::nullopt;
  const std::string_view bytes = file->view();
  std::shared_ptr<const char> owner(
      file->data.release(), [](const char* p) { internal::PugiFree()(const_cast<char*>(p)); });
  return DecodeAndRead(std::move(owner), bytes, shape);
}

}  // namespace norwin::datalayer
