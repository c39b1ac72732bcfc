// The location rule of the record storage and the URL helpers that take a
// server location apart.
//
// A location is a local path, or a server location when it begins with the
// five characters "http:" (exactly, case-sensitive: "HTTP:" and "https:"
// locations are local paths). A server location reads
//   app-url/ [?extra-query] [?sub-folder/] file-name
// for example "http://h/app/?sid=7?class2/students.xml". These functions are
// pure text operations: none fails, whatever the input.
#pragma once

#include <string>
#include <string_view>

namespace norwin::datalayer {

// Whether `s` is a server location: its first five characters are "http:".
bool IsURL(std::string_view s);

// The text after the last "/" of `s`; all of `s` when it has none.
std::string_view GetURLFileName(std::string_view s);

// The server folder to which page names are appended: `s` up to its last
// "/", with the extra query taken out and the sub-folder kept
// ("http://h/app/?k=1?sub/dir/x.xml" gives "http://h/app/sub/dir/"). Empty
// when `s` has no "/".
std::string GetBaseURL(std::string_view s);

// The extra query of a location ("k=1" for "http://h/app/?k=1?sub/x.xml");
// empty when there is none.
std::string_view GetURLQuery(std::string_view s);

// Appends "&" and `param` to `url` when `param` is not empty.
void AppendURLParam(std::string& url, std::string_view param);

// What a piece of text is to the request it is written into.
enum class UrlPart {
  // One value (a file name, an ID): "#" and "&" are percent-encoded, so the
  // value reaches the server whole and cannot end early or add a parameter.
  kValue,
  // Part of the request's own structure (a folder, the location's extra
  // query, a validation string): only "#" is percent-encoded, as nothing in
  // a request to the record pages is a fragment.
  kStructure,
};

// Appends `text` to `url` with the characters of `part` percent-encoded.
// Everything else goes as written: "%" and "+" (which the server pages
// decode themselves), and blanks, control characters and non-ASCII, which
// the HTTP layer sends percent-encoded.
void AppendURLText(std::string& url, std::string_view text, UrlPart part);

}  // namespace norwin::datalayer
