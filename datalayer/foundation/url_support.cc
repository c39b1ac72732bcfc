#include "norwin/datalayer/url_support.h"

namespace norwin::datalayer {

bool IsURL(std::string_view s) { return s.starts_with("http:"); }

std::string_view GetURLFileName(std::string_view s) {
  const size_t slash = s.rfind('/');
  return slash == std::string_view::npos ? s : s.substr(slash + 1);
}

std::string GetBaseURL(std::string_view s) {
  const size_t slash = s.rfind('/');
  const std::string_view head =
      slash == std::string_view::npos ? std::string_view() : s.substr(0, slash + 1);
  const size_t first_mark = head.find('?');
  if (first_mark == std::string_view::npos) return std::string(head);

  std::string base(head.substr(0, first_mark));
  if (!base.ends_with('/')) base.push_back('/');
  const size_t last_mark = head.rfind('?');
  if (last_mark != first_mark) {
    std::string_view tail = head.substr(last_mark + 1);
    if (tail.starts_with('/')) tail.remove_prefix(1);
    base.append(tail);
  }
  return base;
}

std::string_view GetURLQuery(std::string_view s) {
  const size_t slash = s.rfind('/');
  if (slash == std::string_view::npos) return {};
  const std::string_view body = s.substr(0, slash);
  const size_t mark = body.find('?');
  if (mark == std::string_view::npos) return {};
  std::string_view query = body.substr(mark + 1);
  const size_t second = query.rfind('?');
  if (second != std::string_view::npos) query = query.substr(0, second);
  return query;
}

void AppendURLParam(std::string& url, std::string_view param) {
  if (param.empty()) return;
  url.push_back('&');
  url.append(param);
}

void AppendURLText(std::string& url, std::string_view text, UrlPart part) {
  for (const char c : text) {
    if (c == '#') {
      url.append("%23");
    } else if (c == '&' && part == UrlPart::kValue) {
      url.append("%26");
    } else {
      url.push_back(c);
    }
  }
}

}  // namespace norwin::datalayer
