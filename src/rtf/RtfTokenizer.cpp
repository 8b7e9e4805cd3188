#include "rtf/RtfTokenizer.h"

namespace qb::rtf {

void Tokenize(std::string_view rtf, RtfListener& listener) { TokenizeInto(rtf, listener); }

}  // namespace qb::rtf
