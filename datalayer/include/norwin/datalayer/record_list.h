// RecordList: a list record (a roster: one root element whose child elements
// are the records) read in one pass over its text, without building a tree.
//
// The record classes write such files in one plain shape: each record a row
// of text fields, one group of text fields a level down (a student's name),
// no comments, references or attributes but on the root. The reader takes
// that shape and nothing else; for any other document (comments, entity or
// character references, CDATA, carriage returns, attributes on a record,
// deeper nesting, names outside ASCII, text that is not well-formed) it
// answers nullopt and the caller reads the document through the DOM, which
// then also gives the error. What the reader does take it reads exactly as
// the DOM reads it: each record is a child element of the root whatever its
// name, a field is the first child element of its name, and its text is what
// XmlNode::Text() gives. A large roster loads so in a fraction of the time.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace norwin::datalayer {

// What a list record holds: its root element's name, the one attribute of
// the root that is kept, the fields of a record, and the group and its
// fields.
struct RecordListShape {
  std::string_view root;
  std::string_view root_attribute;
  std::span<const std::string_view> fields;
  std::string_view group;
  std::span<const std::string_view> group_fields;

  // A record's slots: its fields, then the group, then the group's fields.
  size_t width() const { return fields.size() + 1 + group_fields.size(); }
};

// One slot of a record: whether the element is there, and its text (for the
// group itself, always empty).
struct RecordField {
  std::string_view text;
  bool present = false;
};

class RecordList {
 public:
  size_t size() const { return width_ == 0 ? 0 : slots_.size() / width_; }
  // The slots of record `i` (< size()), in the order of RecordListShape.
  std::span<const RecordField> operator[](size_t i) const {
    return std::span<const RecordField>(slots_).subspan(i * width_, width_);
  }
  // The value of the root's kept attribute; nullopt when it has none.
  const std::optional<std::string_view>& root_attribute() const { return root_attribute_; }

 private:
  friend struct RecordListAccess;
  std::shared_ptr<const char> text_;  // what the views point into
  size_t width_ = 0;
  std::vector<RecordField> slots_;
  std::optional<std::string_view> root_attribute_;
};

// Reads `bytes` (a document in any encoding XmlDocument reads) as a list of
// `shape`; nullopt when it is not of the plain shape.
std::optional<RecordList> ReadRecordList(std::string_view bytes, const RecordListShape& shape);
// The same for the file at `path`; nullopt too when it cannot be read.
std::optional<RecordList> ReadRecordListFile(const std::filesystem::path& path,
                                             const RecordListShape& shape);

}  // namespace norwin::datalayer
