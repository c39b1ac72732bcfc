// The named character references of HTML 4 ("&eacute;", "&mdash;", ...)
// and "&apos;": what course pages written for the browsers of their day use.
#pragma once

#include <optional>
#include <string_view>

namespace norwin::host {

// The character a reference name (without '&' and ';', case-sensitive)
// stands for; nullopt for a name HTML 4 does not define.
std::optional<char32_t> LookupHtmlEntity(std::string_view name);

}  // namespace norwin::host
