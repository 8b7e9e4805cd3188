#pragma once
// Text escaped for the place in a page it is written into.
#include <string>

namespace qb {

// HtmlEscape plus both quotes: safe as element text and inside any quoted attribute.
std::string HtmlQuote(const std::string& text);
// Text inside a single-quoted script string, also inside an HTML script element.
std::string JsString(const std::string& text);

}  // namespace qb
