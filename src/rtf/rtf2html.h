#pragma once
// The built-in note converter: a rich-text document, one position at a time,
// to a small HTML page keeping bold, italic, underline, colour, size,
// alignment and bulleted paragraphs.
#include <string>

#include "rtf/RichText.h"

namespace qb {

// The page for doc; title goes into the head's meta attribute, escaped. The result ends with
// "</p></html>" and has no "</body>" (the engine adds its own closing).
std::string RichTextToHtml(const std::string& title, const rtf::RichDocument& doc);

}  // namespace qb
