// libFuzzer target: any bytes as the three index files of a course (word,
// vector and title file, split by lengths taken from the first four bytes),
// searched with a few queries. Every answer must be a whole page, whatever
// the files hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/support/course_drive.h"
#include "norwin/host/search.h"

namespace {

// A course drive q: whose index files each input replaces.
struct Fixture {
  Fixture() {
    if (!search.ConfigureSearch("\\w", "\\v", "\\t")) abort();
  }
  norwin::testing::CourseDrive drive;
  norwin::host::SearchService search{'q'};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  if (size < 4) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 4), size - 4);
  auto take = [&rest](size_t wanted) {
    const std::string_view part = rest.substr(0, wanted % (rest.size() + 1));
    rest.remove_prefix(part.size());
    return part;
  };
  fixture.drive.Write("w", take(data[0] | data[1] << 8));
  fixture.drive.Write("v", take(data[2] | data[3] << 8));
  fixture.drive.Write("t", rest);
  for (const char* query : {"a", "cell and not nucleus", "x or y or z", "\"", "not"}) {
    const std::string page = fixture.search.Search(query);
    if (!page.starts_with("<HTML>\n<HEAD>\n<TITLE>Search</TITLE>\n") ||
        !page.ends_with("</BODY></HTML>"))
      abort();
  }
  return 0;
}
