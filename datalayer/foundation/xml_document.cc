// XmlDocument: loading (decoding, parsing in place, the checks pugixml leaves
// to its users), saving and creating nodes.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "norwin/datalayer/xml_dom.h"
#include "xml_encoding.h"
#include "xml_file.h"
#include "xml_internal.h"

namespace norwin::datalayer {

namespace {

using internal::PugiBuffer;

// Default parsing keeps no white-space-only text, comments, processing
// instructions or document type. As a fragment, pugixml keeps text that
// stands outside the root element, which a document must not have, so that
// the check below can see it.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_fragment;

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

struct Fault {
  XmlParseStatus status = XmlParseStatus::kMalformed;
  std::string reason;
  size_t offset = 0;
  // The fault is at the first character after `offset` that is not white space.
  bool skip_space = false;
};

using internal::StrCat;

std::string Quoted(std::string_view s) { return StrCat({"\"", s, "\""}); }

// The name of the tag at `offset` (where pugixml reports a mismatched end tag).
std::string_view NameAt(std::string_view text, size_t offset) {
  size_t end = offset;
  while (end < text.size() && end - offset < 100 && text[end] != '>' && text[end] != ' ' &&
         text[end] != '\t' && text[end] != '\r' && text[end] != '\n')
    ++end;
  return text.substr(offset, end - offset);
}

Fault FaultFromParser(const pugi::xml_parse_result& result, std::string_view text) {
  Fault f;
  f.offset = static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0));
  switch (result.status) {
    case pugi::status_out_of_memory:
      f.status = XmlParseStatus::kOutOfMemory;
      f.reason = "There is not enough memory to read the document.";
      break;
    case pugi::status_unrecognized_tag:
      f.reason = "A \"<\" here does not begin a valid tag.";
      break;
    case pugi::status_bad_pi:
      f.reason = "A processing instruction or the XML declaration is not well-formed.";
      break;
    case pugi::status_bad_comment:
      f.reason = "A comment is not well-formed.";
      break;
    case pugi::status_bad_cdata:
      f.reason = "A CDATA section is not well-formed.";
      break;
    case pugi::status_bad_doctype:
      f.reason = "The document type declaration is not well-formed.";
      break;
    case pugi::status_bad_pcdata:
      f.reason = "Text content is not well-formed.";
      break;
    case pugi::status_bad_start_element:
      f.reason = "A start tag is not well-formed.";
      break;
    case pugi::status_bad_attribute:
      f.reason = "An attribute is not well-formed.";
      break;
    case pugi::status_bad_end_element:
      f.reason = "An end tag is not well-formed.";
      break;
    case pugi::status_end_element_mismatch:
      // pugixml reports both a wrong end tag (at its name) and a document
      // that stops with elements still open (near its end) this way.
      if (f.offset >= 2 && f.offset <= text.size() && text.substr(f.offset - 2, 2) == "</") {
        f.reason = StrCat(
            {"The end tag ", Quoted(NameAt(text, f.offset)), " does not match its start tag."});
      } else {
        f.reason = "The document ends before all its elements are closed.";
        f.offset = text.size();
      }
      break;
    case pugi::status_no_document_element:
      f.reason = "The document has no root element.";
      break;
    default:
      f.reason = StrCat({"The document cannot be read: ", result.description(), "."});
      break;
  }
  return f;
}

// A character reference (&#233; &#xE9;) to what is not a character: NUL, a
// UTF-16 surrogate, or beyond U+10FFFF. pugixml would write those as bytes
// that are not UTF-8, or cut the text at the NUL. Looked for in the text
// before it is parsed, which can place the fault exactly.
bool FindBadReference(std::string_view text, Fault& fault) {
  for (size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
    size_t i = at + 2;
    const bool hex = i < text.size() && text[i] == 'x';
    if (hex) ++i;
    uint32_t value = 0;
    size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
      const char c = text[i];
      uint32_t d;
      if (c >= '0' && c <= '9') {
        d = static_cast<uint32_t>(c - '0');
      } else if (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
        d = static_cast<uint32_t>((c | 0x20) - 'a' + 10);
      } else {
        break;
      }
      value = std::min<uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
    }
    // What is not a complete reference pugixml leaves as text.
    if (digits == 0 || i >= text.size() || text[i] != ';') continue;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
      fault.reason = StrCat(
          {"The reference ", Quoted(text.substr(at, i + 1 - at)), " does not name a character."});
      fault.offset = at;
      return true;
    }
  }
  return false;
}

// What pugixml accepts but a well-formed document must not have: no root
// element, a second root element, text outside the root element. (An
// attribute given twice is accepted, the first one counting: finding it
// would take a walk over every node, which costs as much again as a third of
// the parse.)
bool CheckTopLevel(const pugi::xml_document& doc, size_t text_size, Fault& fault) {
  pugi::xml_node root;
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element) {
      if (root) {
        fault.reason = StrCat({"A document has one root element; ", Quoted(n.name()), " follows ",
                               Quoted(root.name()), "."});
        fault.offset = static_cast<size_t>(std::max<ptrdiff_t>(n.offset_debug() - 1, 0));
        return false;
      }
      root = n;
    } else if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      fault.reason = "Text is not allowed outside the root element.";
      fault.offset = static_cast<size_t>(std::max<ptrdiff_t>(n.offset_debug(), 0));
      fault.skip_space = true;
      return false;
    }
  }
  if (!root) {
    fault.reason = "The document has no root element.";
    fault.offset = text_size;
    return false;
  }
  return true;
}

std::string WithPosition(const std::string& what, const XmlParseError& e) {
  if (e.line == 0) return StrCat({what, ": ", e.reason});
  return StrCat({what, ": ", e.reason, " (line ", std::to_string(e.line), ", column ",
                 std::to_string(e.column), ")"});
}

// Records `fault` in `text` as the document's parse error.
Status Fail(XmlDocument& self, Fault fault, std::string_view text, const std::string& what) {
  XmlDomAccess::Reset(self);
  if (fault.skip_space) {
    while (fault.offset < text.size() && std::strchr(" \t\r\n", text[fault.offset])) ++fault.offset;
  }
  const internal::TextPosition pos = internal::PositionAt(text, fault.offset);
  XmlParseError& error = XmlDomAccess::ParseErrorOf(self);
  error.status = fault.status;
  error.reason = std::move(fault.reason);
  error.offset = static_cast<int64_t>(std::min(fault.offset, text.size()));
  error.line = pos.line;
  error.column = pos.column;
  error.source_text = pos.line_text;
  return Status::Error(WithPosition(what, error));
}

// Parses the UTF-8 text in `buffer`, which the document takes over.
// `source_of_text` gives the same text unparsed, for the position of a fault:
// pugixml parses in place and changes the buffer.
template <typename SourceFn>
Status Parse(XmlDocument& self, PugiBuffer buffer, size_t size, const std::string& what,
             SourceFn source_of_text) {
  Fault fault;
  const std::string_view unparsed(buffer.get(), size);
  if (FindBadReference(unparsed, fault)) return Fail(self, std::move(fault), unparsed, what);
  pugi::xml_document& doc = XmlDomAccess::Pugi(self);
  const pugi::xml_parse_result result =
      doc.load_buffer_inplace_own(buffer.release(), size, kParseOptions, pugi::encoding_utf8);
  if (result) {
    if (CheckTopLevel(doc, size, fault)) return Status::Ok();
  } else {
    fault = FaultFromParser(result, source_of_text());
  }
  return Fail(self, std::move(fault), source_of_text(), what);
}

// Decodes `bytes` and parses them. `owned` is the buffer that holds `bytes`
// when the caller can give it up (a file just read), else null; `reread`
// gives the bytes again once parsing has changed that buffer.
template <typename RereadFn>
Status DecodeAndParse(XmlDocument& self, PugiBuffer owned, std::string_view bytes,
                      const std::string& what, RereadFn reread) {
  XmlParseError& error = XmlDomAccess::ParseErrorOf(self);
  internal::DecodedXml decoded = internal::DecodeXml(bytes);
  if (decoded.status != XmlParseStatus::kOk) {
    const std::string_view text = decoded.converted ? std::string_view(decoded.text) : bytes;
    const internal::TextPosition pos = internal::PositionAt(text, decoded.fault_offset);
    error.status = decoded.status;
    error.reason = std::move(decoded.reason);
    error.offset = static_cast<int64_t>(decoded.fault_offset);
    error.line = pos.line;
    error.column = pos.column;
    error.source_text = pos.line_text;
    return Status::Error(WithPosition(what, error));
  }

  const std::string_view text = decoded.converted ? std::string_view(decoded.text) : bytes;
  const bool in_place = owned && !decoded.converted;
  PugiBuffer buffer;
  if (in_place) {
    buffer = std::move(owned);
  } else {
    buffer = internal::AllocatePugiBuffer(text.size());
    if (buffer) std::memcpy(buffer.get(), text.data(), text.size());
  }
  if (!buffer) {
    error.status = XmlParseStatus::kOutOfMemory;
    error.reason = "There is not enough memory to read the document.";
    return Status::Error(WithPosition(what, error));
  }
  if (!in_place) {
    // `text` stays as it was: the parser works on a copy.
    return Parse(self, std::move(buffer), text.size(), what, [text] { return text; });
  }
  std::string again;
  bool reread_done = false;
  return Parse(self, std::move(buffer), text.size(), what, [&]() -> std::string_view {
    if (!reread_done) {
      again = reread();
      reread_done = true;
    }
    return again;
  });
}

}  // namespace

XmlDocument::XmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}

XmlDocument::~XmlDocument() = default;

Status XmlDocument::Load(const std::filesystem::path& path) {
  XmlDomAccess::Reset(*this);
  parse_error_ = XmlParseError();
  Result<internal::FileBytes> file = internal::ReadWholeFile(path);
  if (!file.ok()) {
    parse_error_.status = XmlParseStatus::kIoError;
    parse_error_.reason = file.message();
    return file.status();
  }
  const std::string_view bytes = file->view();
  return DecodeAndParse(*this, std::move(file->data), bytes,
                        StrCat({"cannot load ", path.string()}), [&path]() -> std::string {
                          Result<internal::FileBytes> again = internal::ReadWholeFile(path);
                          return again.ok() ? std::string(again->view()) : std::string();
                        });
}

Status XmlDocument::LoadXml(std::string_view text) {
  XmlDomAccess::Reset(*this);
  parse_error_ = XmlParseError();
  return DecodeAndParse(*this, PugiBuffer(), text, "cannot read the XML document",
                        [] { return std::string(); });
}

std::string XmlDocument::Xml(XmlDeclaration declaration) const {
  std::string out;
  if (declaration == XmlDeclaration::kInclude) {
    out.append(kDeclaration);
    out.push_back('\n');
  }
  for (pugi::xml_node n = doc_->first_child(); n; n = n.next_sibling()) {
    if (!XmlDomAccess::IsFreeStore(*this, n)) internal::PrintNode(n, out, "", pugi::format_raw);
  }
  return out;
}

Status XmlDocument::Save(const std::filesystem::path& path) const {
  // A file without a root element could not be read again: keep the old one.
  if (DocumentElement().IsNull())
    return Status::Error(
        StrCat({"cannot save ", path.string(), ": the document has no root element"}));
  std::string out(kDeclaration);
  out.push_back('\n');
  for (pugi::xml_node n = doc_->first_child(); n; n = n.next_sibling()) {
    if (!XmlDomAccess::IsFreeStore(*this, n))
      internal::PrintNode(n, out, "  ", pugi::format_indent);
  }
  return internal::WriteFileWhole(path, out);
}

XmlNode XmlDocument::Node() const {
  return XmlDomAccess::Make(this, static_cast<const pugi::xml_node&>(*doc_));
}

XmlNode XmlDocument::DocumentElement() const {
  for (pugi::xml_node n = doc_->first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element && !XmlDomAccess::IsFreeStore(*this, n))
      return XmlDomAccess::Make(this, n);
  }
  return XmlNode();
}

Status XmlDocument::SetDocumentElement(XmlNode element) {
  if (element.IsNull() || element.NodeType() != XmlNodeType::kElement)
    return Status::Error("the root of a document must be an element");
  const XmlNode current = DocumentElement();
  if (current == element) return Status::Ok();
  if (!current.IsNull()) {
    Result<XmlNode> removed = Node().RemoveChild(current);
    if (!removed.ok()) return removed.status();
  }
  Result<XmlNode> appended = Node().AppendChild(element);
  return appended.status();
}

Result<XmlNode> XmlDocument::CreateElement(std::string_view name) {
  if (!internal::IsXmlName(name))
    return Status::Error(StrCat({Quoted(name), " is not a valid XML name"}));
  pugi::xml_node store = XmlDomAccess::FreeStore(*this);
  pugi::xml_node element = store ? store.append_child(pugi::node_element) : pugi::xml_node();
  if (!element || !element.set_name(std::string(name).c_str()))
    return Status::Error(StrCat({"out of memory creating the element ", Quoted(name)}));
  return XmlDomAccess::Make(this, element);
}

Result<XmlNode> XmlDocument::CreateAttribute(std::string_view name) {
  if (!internal::IsXmlName(name))
    return Status::Error(StrCat({Quoted(name), " is not a valid XML name"}));
  pugi::xml_node store = XmlDomAccess::FreeStore(*this);
  pugi::xml_node holder = store ? store.append_child(pugi::node_element) : pugi::xml_node();
  pugi::xml_attribute attr;
  if (holder && holder.set_name(XmlDomAccess::kAttributeHolder))
    attr = holder.append_attribute(std::string(name).c_str());
  if (!attr) return Status::Error(StrCat({"out of memory creating the attribute ", Quoted(name)}));
  return XmlDomAccess::MakeAttribute(this, holder, attr);
}

Result<XmlNode> XmlDocument::CreateTextNode(std::string_view text) {
  if (!internal::IsValidText(text)) return Status::Error("the text is not valid UTF-8");
  pugi::xml_node store = XmlDomAccess::FreeStore(*this);
  pugi::xml_node node = store ? store.append_child(pugi::node_pcdata) : pugi::xml_node();
  if (!node || !node.set_value(text.data(), text.size()))
    return Status::Error("out of memory creating a text node");
  return XmlDomAccess::Make(this, node);
}

namespace internal {

namespace {

// Text made of white space alone (and not empty).
bool IsBlankText(const pugi::xml_node& node) {
  if (node.type() != pugi::node_pcdata || *node.value() == '\0') return false;
  for (const char* c = node.value(); *c; ++c)
    if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r') return false;
  return true;
}

// Adds to `found` the text nodes of the run of text siblings that begins at
// `first` when a load would drop the run: text beside text reads back as
// one node, so white space is lost only where the whole run is blank.
void AddBlankRun(const pugi::xml_node& first, std::vector<pugi::xml_node>& found) {
  const size_t from = found.size();
  for (pugi::xml_node n = first; n && n.type() == pugi::node_pcdata; n = n.next_sibling()) {
    if (IsBlankText(n)) {
      found.push_back(n);
    } else if (*n.value() != '\0') {
      found.resize(from);
      return;
    }
  }
}

// The text nodes of `node`'s subtree that a load would drop as layout, in
// document order.
std::vector<pugi::xml_node> BlankTexts(const pugi::xml_node& node) {
  std::vector<pugi::xml_node> found;
  if (IsBlankText(node)) found.push_back(node);
  for (pugi::xml_node n = node.first_child(); n;) {
    if (n.type() == pugi::node_pcdata && n.previous_sibling().type() != pugi::node_pcdata)
      AddBlankRun(n, found);
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != node && !n.next_sibling()) n = n.parent();
    if (!n || n == node) break;
    n = n.next_sibling();
  }
  return found;
}

void PrintWithReturns(const pugi::xml_node& node, std::string& out, const char* indent,
                      unsigned flags) {
  const size_t from = out.size();
  StringWriter writer(out);
  node.print(writer, indent, flags, pugi::encoding_utf8);
  if (out.find('\r', from) == std::string::npos) return;
  std::string printed = out.substr(from);
  out.resize(from);
  // Markup that cannot hold a reference is copied as it is, up to its end.
  static constexpr struct {
    std::string_view open, close;
  } kVerbatim[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
  size_t at = 0;
  while (at < printed.size()) {
    const size_t next = printed.find_first_of("<\r", at);
    if (next == std::string::npos) break;
    out.append(printed, at, next - at);
    if (printed[next] == '\r') {
      out.append("&#13;");
      at = next + 1;
      continue;
    }
    size_t end = next + 1;
    for (const auto& markup : kVerbatim) {
      if (std::string_view(printed).substr(next).starts_with(markup.open)) {
        const size_t close = printed.find(markup.close, next + markup.open.size());
        end = close == std::string::npos ? printed.size() : close + markup.close.size();
        break;
      }
    }
    out.append(printed, next, end - next);
    at = end;
  }
  if (at < printed.size()) out.append(printed, at);
}

}  // namespace

void PrintNode(const pugi::xml_node& node, std::string& out, const char* indent, unsigned flags) {
  const std::vector<pugi::xml_node> blanks = BlankTexts(node);
  if (blanks.empty()) return PrintWithReturns(node, out, indent, flags);
  // Blank text is written as character references, which a load keeps as
  // text ("<b>&#32;</b>" is a space, "<b> </b>" nothing). pugixml has no
  // hook for one node's text, so a copy is printed with each blank replaced
  // by a word found nowhere in the printed subtree, and the words are
  // replaced in document order.
  std::string plain;
  PrintWithReturns(node, plain, indent, flags);
  std::string word = "NorwinBlankText";
  while (plain.find(word) != std::string::npos) word.push_back('X');
  pugi::xml_document scratch;
  const pugi::xml_node copy = scratch.append_copy(node);
  if (!copy) {  // out of memory: the subtree as it prints
    out.append(plain);
    return;
  }
  for (pugi::xml_node blank : BlankTexts(copy)) blank.set_value(word.c_str());
  std::string printed;
  PrintWithReturns(copy, printed, indent, flags);
  size_t at = 0;
  for (const pugi::xml_node& blank : blanks) {
    const size_t next = printed.find(word, at);
    if (next == std::string::npos) break;
    out.append(printed, at, next - at);
    for (const char* c = blank.value(); *c; ++c)
      out.append(*c == ' ' ? "&#32;" : *c == '\t' ? "&#9;" : *c == '\n' ? "&#10;" : "&#13;");
    at = next + word.size();
  }
  out.append(printed, at);
}

}  // namespace internal

}  // namespace norwin::datalayer
