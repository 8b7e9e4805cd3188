#pragma once
// Text helpers of the website writer: page bodies, links, plain text.
#include <functional>
#include <optional>
#include <string>

namespace qb::site {

// Text made safe inside an element or a quoted attribute.
std::string Escape(const std::string& text);
// A site path ("p/a b/c.html") as a URL path: every byte outside the unreserved
// set and "/" percent-encoded, so it reads the same from disk and from a server.
std::string UrlPath(const std::string& path);
// "%XX" sequences decoded; other bytes kept.
std::string PercentDecode(const std::string& text);
// href from the page at site path `from` to site path `to` (both "/"-separated, no leading "/").
std::string RelativeHref(const std::string& from, const std::string& to);
// The inside of the page's <body> element (the whole text when it has none),
// without the frames that show the help file's attachment lists.
std::string ExtractBody(const std::string& page);

// Maps a link target of the output folder ("9/C.html", decoded, no leading "/")
// to the site path it has in the site, or nothing to leave the link alone.
using TLinkResolver = std::function<std::optional<std::string>(const std::string& target)>;
// Rewrites the href and src attributes of body: links from the output folder's
// root ("/9/C.html") and links relative to the page's folder `pageDir` ("9/")
// become links relative to `from`.
std::string RewriteLinks(const std::string& body, const std::string& pageDir, const std::string& from,
                         const TLinkResolver& resolve);
// List items outside any list (as the built-in RTF engine writes bullets) each
// put into a list of their own, so their bullets sit in the text column and
// assistive technology reads them as items.
std::string WrapLooseListItems(const std::string& body);
// Readable text of an HTML fragment: tags dropped, script and style skipped,
// character references decoded.
std::string HtmlToText(const std::string& html);

}  // namespace qb::site
