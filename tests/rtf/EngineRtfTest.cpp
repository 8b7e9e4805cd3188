#include <gtest/gtest.h>

#include <string>

#include "Utils/Utils.h"
#include "engine/Converters.h"
#include "tests/support/TestSupport.h"

using namespace qb;

namespace {

const std::string kClosing = "</body>\r\n\r\n</html>\r\n";

// Converts rtf through an engine with the given options; returns the page.
std::string Convert(std::unique_ptr<IConverterEngine> engine, const std::string& rtf, const TConvertOptions& options,
                    const std::string& title = "T") {
    qbtest::TempDir dir;
    TParameters job;
    job.options = options;
    qbtest::WriteFile(dir / "Note.rtf", rtf);
    engine->Convert(job, dir / "Note.rtf", dir / "Note.html", title);
    EXPECT_EQ(qbtest::ReadFile(dir / "Note.rtf"), rtf);  // the note stays in place
    return qbtest::ReadFile(dir / "Note.html");
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(BuiltInEngine, PageIsTheConverterTextLessItsTailPlusClosing) {
    const std::string page = Convert(CreateBuiltInEngine(), "{\\rtf1\\fs20 Hi\\par}", {});
    EXPECT_EQ(page,
              "<html><head><meta name=\"Quillbook\" content=\"T\"><meta http-equiv=\"Content-Type\" "
              "content=\"text/html; charset=UTF-8\"></head><body>"
              "<font size=\"2\" color=\"#080000\"><p align=\"left\">Hi</font>" +
                  kClosing);
}

TEST(BuiltInEngine, HeaderOnceAfterTheFirstBodyTagAndFooterBeforeClosing) {
    TConvertOptions o;
    o.Header = "H1";
    o.Footer = "<hr>F";
    const std::string page = Convert(CreateBuiltInEngine(), "{\\rtf1 see <body> here}", o);
    EXPECT_NE(page.find("</head><body>H1<font"), std::string::npos);
    EXPECT_EQ(page.find("H1"), page.rfind("H1"));
    EXPECT_NE(page.find("see &lt;body&gt; here"), std::string::npos);
    EXPECT_TRUE(EndsWith(page, "</font><hr>F" + kClosing)) << page;
}

TEST(BuiltInEngine, TailAfterAnOpenListItemKeepsTagsWhole) {
    // The converter ends "...</li></font></p></html>" here; a fixed cut of 16
    // bytes would leave "</fo" in the page.
    const std::string page = Convert(CreateBuiltInEngine(), "{\\rtf1 a\\par\\pard\\ls1 b\\par}", {});
    EXPECT_TRUE(EndsWith(page, "<li>b</li></font>" + kClosing)) << page;
    const std::string bold = Convert(CreateBuiltInEngine(), "{\\rtf1\\pard\\ls1 a\\b b}", {});
    EXPECT_TRUE(EndsWith(bold, "<li>a<b>b</b></li></font>" + kClosing)) << bold;
}

TEST(BuiltInEngine, ReplacesAnExistingPage) {
    qbtest::TempDir dir;
    TParameters job;
    qbtest::WriteFile(dir / "N.html", std::string(5000, 'x'));
    qbtest::WriteFile(dir / "N.rtf", "{\\rtf1 x}");
    CreateBuiltInEngine()->Convert(job, dir / "N.rtf", dir / "N.html", "t");
    const std::string page = qbtest::ReadFile(dir / "N.html");
    EXPECT_EQ(page.find("xxx"), std::string::npos);
    EXPECT_TRUE(EndsWith(page, kClosing));
}

TEST(PlainTextEngine, PageStartTextAndClosing) {
    TConvertOptions o;
    o.Encoding = "windows-1252";
    o.Header = "<div>H</div>";
    o.Footer = "F";
    o.FontName = "Verdana";
    o.FontSize = 10;
    o.FontColor = 0x0000FF;
    const std::string page =
        Convert(CreatePlainTextEngine(), "{\\rtf1 {\\b Fish} & <chips>\\par two  spaces\\par}", o, "A & B");
    EXPECT_EQ(page,
              "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html\" charset=\"windows-1252\">"
              "<title>A &amp; B</title></head><body><div>H</div><font face=\"Verdana\" color=\"#FF0000\" size=\"2\">"
              "Fish &amp; &lt;chips&gt;<BR>two&nbsp;&nbsp;spaces</font>F" +
                  kClosing);
}

TEST(PlainTextEngine, SystemColourIsResolvedFirst) {
    TConvertOptions o;
    o.FontColor = clWindowText;
    const std::string page = Convert(CreatePlainTextEngine(), "{\\rtf1 x}", o);
    EXPECT_NE(page.find("color=\"" + ColorToHtml(SystemColorToRgb(clWindowText)) + "\""), std::string::npos);
    EXPECT_EQ(page.find("#080000"), std::string::npos);
}
