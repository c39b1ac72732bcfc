// libFuzzer target: any bytes as a search query against a small real index.
// The page must always be whole: the fixed head, a body, the fixed tail.
// Run it with scripts/fuzz [SECONDS] NAME; its corpus is corpus/NAME/.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "host/support/course_drive.h"
#include "norwin/host/index_builder.h"
#include "norwin/host/search.h"

namespace {

// A course drive q: holding an index of a few pages, made once per process.
struct Fixture {
  Fixture() {
    norwin::host::IndexBuilder builder;
    const char* const pages[] = {"<title>One</title>apple pear and not or",
                                 "<title>Two &lt;b&gt;</title>pear plum",
                                 "caf\xC3\xA9 CAF\xC3\x89 \xC3\xA6on stra\u00DFe", "zebra 2003 x1"};
    for (int i = 0; i < 40; ++i) {
      if (!builder.AddPage("\\p" + std::to_string(i) + ".htm", pages[i % 4]).ok()) abort();
    }
    if (!builder.Write(drive.root() / "w", drive.root() / "v", drive.root() / "t").ok()) abort();
    if (!search.ConfigureSearch("\\w", "\\v", "\\t")) abort();
  }
  norwin::testing::CourseDrive drive;
  norwin::host::SearchService search{'q'};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  const std::string page =
      fixture.search.Search(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!page.starts_with("<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n") ||
      !page.ends_with("</BODY></HTML>"))
    abort();
  return 0;
}
