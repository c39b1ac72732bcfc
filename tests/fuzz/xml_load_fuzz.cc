// libFuzzer target for the XML loader: any bytes either load into a document
// that serialises and loads again unchanged, or fail with a placed fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/datalayer/xml_dom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using norwin::datalayer::XmlDocument;
  XmlDocument doc;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!doc.LoadXml(bytes).ok()) {
    const auto& error = doc.ParseError();
    if (error.reason.empty() || error.line < 1 || error.column < 1 || error.offset < 0)
      __builtin_trap();
    if (!doc.DocumentElement().IsNull()) __builtin_trap();
    return 0;
  }
  const std::string xml = doc.Xml();
  XmlDocument again;
  if (!again.LoadXml(xml).ok() || again.Xml() != xml) __builtin_trap();
  if (again.DocumentElement().Text() != doc.DocumentElement().Text()) __builtin_trap();
  // Walking and querying what loaded must hold up too.
  auto nodes = doc.SelectNodes("//*[@*] | //text()");
  if (!nodes.ok()) __builtin_trap();
  for (auto node : *nodes) (void)node.Xml();
  return 0;
}
