// The adapter that gives the office's page the form engine 1 relies on.
#include <gtest/gtest.h>

#include <string>

#include "engine/Converters.h"
#include "tests/office/OfficeTestSupport.h"

namespace {

using qb::kClosingText;
using qb::office::AdaptOfficePage;

const std::string kMarker = "<div class=Section1>";

// The shape the office writes: LF line breaks, attributes on the body tag, no
// line break after the document end tag.
const std::string kOfficePage =
    "<!DOCTYPE html>\n<html>\n<head>\n\t<title></title>\n</head>\n"
    "<body lang=\"en-US\" dir=\"ltr\"><p>Text</p>\n"
    "<p><img src=\"page_html_4a5b.png\" name=\"Image1\"/>\n</p>\n"
    "</body>\n</html>";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
}

TEST(OfficePage, MarkerFollowsBodyStartTagAndIsClosedBeforeTheEnd) {
    const std::string page = AdaptOfficePage(kOfficePage, "Note_files", {});
    EXPECT_NE(std::string::npos, page.find("<body lang=\"en-US\" dir=\"ltr\">" + kMarker + "<p>Text</p>"));
    EXPECT_EQ(1, Count(page, kMarker));
    EXPECT_TRUE(EndsWith(page, "</p>\r\n</div>\r\n" + std::string(kClosingText))) << page;
    EXPECT_EQ(1, Count(page, "</body>"));
    EXPECT_EQ(1, Count(page, "</html>"));
}

TEST(OfficePage, BodyTagVariants) {
    // Plain tag, upper case, and a tag name that only begins with "body".
    EXPECT_NE(
        std::string::npos,
        AdaptOfficePage("<html><body><p>x</p></body></html>", "N_files", {}).find("<body>" + kMarker + "<p>x</p>"));
    EXPECT_NE(std::string::npos, AdaptOfficePage("<HTML><BODY BGCOLOR=white>x</BODY></HTML>", "N_files", {})
                                     .find("<BODY BGCOLOR=white>" + kMarker + "x"));
    const std::string odd = AdaptOfficePage("<html><bodyguard>y</bodyguard><body>x</body></html>", "N_files", {});
    EXPECT_NE(std::string::npos, odd.find("<body>" + kMarker + "x")) << odd;
    EXPECT_EQ(std::string::npos, odd.find("<bodyguard>" + kMarker));
}

TEST(OfficePage, ExistingMarkerIsKept) {
    const std::string in = "<html><body>" + kMarker + "<p>x</p></div></body></html>\n";
    const std::string page = AdaptOfficePage(in, "N_files", {});
    EXPECT_EQ(1, Count(page, kMarker));
    EXPECT_EQ(1, Count(page, "</div>"));
    EXPECT_TRUE(EndsWith(page, std::string("</div>\r\n") + kClosingText)) << page;
}

TEST(OfficePage, EndingIsNormalisedWhateverTheOfficeWrote) {
    const std::string closing = kClosingText;
    ASSERT_EQ(20u, closing.size());
    for (const std::string& tail :
         {std::string("</body>\n</html>"), std::string("</body></html>\n\n  "), std::string("</BODY>\r\n</HTML>\r\n"),
          std::string("</html>"), std::string(""), std::string("</body>\r\n\r\n</html>\r\n")}) {
        const std::string page = AdaptOfficePage("<html><body><p>x</p>\n" + tail, "N_files", {});
        EXPECT_TRUE(EndsWith(page, "</p>\r\n</div>\r\n" + closing)) << "tail: " << tail << "\npage: " << page;
        EXPECT_EQ(1, Count(page, "</body>")) << page;
    }
    // Only the last body end tag closes the page; an earlier one stays text.
    const std::string two = AdaptOfficePage("<html><body>a</body>b</body>\n</html>", "N_files", {});
    EXPECT_NE(std::string::npos, two.find("a</body>b\r\n</div>"));
}

TEST(OfficePage, LineBreaksBecomeCrLfOnce) {
    const std::string page = AdaptOfficePage("<html>\r\n<body>\n<p>a</p>\r\n<p>b</p>\n</body></html>", "N_files", {});
    EXPECT_EQ(std::string::npos, page.find("\r\r"));
    for (std::size_t p = page.find('\n'); p != std::string::npos; p = page.find('\n', p + 1))
        ASSERT_EQ('\r', page[p - 1]) << "bare LF at " << p;
}

TEST(OfficePage, PartLinksPointIntoThePartsFolder) {
    const std::string page =
        AdaptOfficePage("<body><img src='page_html_4a5b.png'><img src=\"other.png\">" + kOfficePage, "Note_files",
                        {{"page_html_4a5b.png", "4a5b.png"}});
    EXPECT_NE(std::string::npos, page.find("<img src=\"Note_files/4a5b.png\" name=\"Image1\"/>"));
    EXPECT_NE(std::string::npos, page.find("<img src='Note_files/4a5b.png'>"));
    EXPECT_EQ(std::string::npos, page.find("page_html_4a5b.png"));
    // A link that is not one of this page's parts is left alone.
    EXPECT_NE(std::string::npos, page.find("<img src=\"other.png\">"));
    // A part name that is only the tail of a longer link text is not touched.
    const std::string longer = AdaptOfficePage("<body><img src=\"xpage_html_4a5b.png\"></body>", "Note_files",
                                               {{"page_html_4a5b.png", "4a5b.png"}});
    EXPECT_NE(std::string::npos, longer.find("\"xpage_html_4a5b.png\""));
}

TEST(OfficePage, PartsFolderNameIsEscapedForTheLink) {
    const std::string page = AdaptOfficePage("<body><img src=\"page_html_1.png\"></body>", "My #1 Note_files",
                                             {{"page_html_1.png", "1.png"}});
    EXPECT_NE(std::string::npos, page.find("src=\"My%20%231%20Note_files/1.png\"")) << page;
}

TEST(OfficePage, FileUrlEscapesEverythingButPlainPathCharacters) {
    EXPECT_EQ("file:///tmp/a/Note.rtf", qb::office::FileUrl("/tmp/a/Note.rtf"));
    EXPECT_EQ("file:///tmp/sub%20dir/%C3%84%20100%25%23x.rtf", qb::office::FileUrl("/tmp/sub dir/\xC3\x84 100%#x.rtf"));
    // The bridge splits its commands at blanks: no blank may survive.
    EXPECT_EQ(std::string::npos, qb::office::FileUrl("/a b\tc\nd").find_first_of(" \t\n"));
}

}  // namespace
