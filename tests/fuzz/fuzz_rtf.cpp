// Any bytes must load as a document whose operations agree with each other,
// and convert to a page; no crash, hang or unbounded memory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtf/RichText.h"
#include "rtf/rtf2html.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const qb::rtf::RichDocument doc = qb::rtf::LoadRtf(bytes);
    const int n = doc.Length();
    Check(n >= 0 && static_cast<std::size_t>(n) <= size * 2 + 2);

    // Units tile the text and lines only ever grow.
    std::string joined;
    int lastLine = 0;
    for (int pos = 0; pos < n;) {
        const int len = doc.UnitLength(pos);
        Check(len == 1 || len == 2);
        joined += doc.UnitText(pos);
        const int line = doc.LineFromChar(pos);
        Check(line >= lastLine && line < doc.LineCount());
        lastLine = line;
        doc.CharAt(pos);
        doc.ParaAt(pos);
        pos += len;
    }
    Check(doc.UnitLength(n) == 0);
    const std::string plain = doc.PlainText();
    Check(joined == plain);

    std::string lines;
    for (int i = 0; i < doc.LineCount(); ++i) {
        if (i) lines += "\r\n";
        lines += doc.LineText(i);
    }
    Check(lines == plain);

    const std::string html = qb::RichTextToHtml("t", doc);
    Check(html.size() >= 11 && html.compare(html.size() - 11, 11, "</p></html>") == 0);
    return 0;
}
