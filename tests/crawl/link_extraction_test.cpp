#include "crawl/address.h"
#include "crawl/link_extraction.h"
#include "crawl/link_scanner.h"
#include "settings/app_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TLinks = std::vector<std::string>;

TLinks Extract(std::string_view page, std::string_view base)
{
    TLinks links = {"left over"};
    ExtractLinks(page, links, base);
    return links;
}

// ---- the links a page gives -------------------------------------------------

struct TPageCase {
    const char* name;
    const char* base;
    std::string page;
    TLinks found;  // what follows the base and its folders
};

class ExtractLinksTest : public ::testing::TestWithParam<TPageCase> {};

TEST_P(ExtractLinksTest, FindsTheValues)
{
    const TPageCase& c = GetParam();
    TLinks expected = {c.base};
    for (const std::string& folder : ParentFolders(c.base))
        expected.push_back(folder);
    expected.insert(expected.end(), c.found.begin(), c.found.end());
    EXPECT_EQ(Extract(c.page, c.base), expected);
}

const char* const kBase = "http://h/g/index.html";

INSTANTIATE_TEST_SUITE_P(Pages, ExtractLinksTest, ::testing::Values(
    TPageCase{"QuotedHref", kBase, R"(<a href="pics/a.html">a</a>)", {"http://h/g/pics/a.html"}},
    // without quotes the value runs to the tag's end, space and all
    TPageCase{"BareSrc", kBase, "<img src=photo.jpg width=5>", {"http://h/g/photo.jpg%20width=5"}},
    TPageCase{"BothQuotes", kBase, R"(<a HREF='http://h/y'>1</a> <a href="http://h/y">2</a>)", {"http://h/y"}},
    TPageCase{"FragmentOnly", kBase, R"(<a href="#top">top</a> <a href="x.html#part">x</a>)", {"http://h/g/x.html"}},
    TPageCase{"Mail", kBase, R"(<a href="mailto:me@h">m</a> <a href="MAILTO:me@h">M</a>)", {"mailto:me@h"}},
    // the "=" counts: a value of one character runs on to the next quote or ">"
    TPageCase{"ShortValueRunsOn", kBase, R"(<a href="a">Next</a> <a href="bc">x</a> <a href="def">y</a>)",
              {"http://h/g/aNext%3C/a", "http://h/g/bc", "http://h/g/def"}},
    TPageCase{"QuotedAddressInScript", kBase,
              R"(<script>var u='www.h/p'; var v="HTTP://Q/r";</script>)", {"http://www.h/p", "http://q/r"}},
    TPageCase{"FirstFormStays", kBase, R"(<a href="A.html"> <a href="a.html"> <a href="HTTP://H/G/A.HTML">)",
              {"http://h/g/A.html"}},
    TPageCase{"BaseAndFolderAreKnown", kBase, R"(<a href="index.html"> <a href="./"> <a href="../">)", {"http://h/"}},
    // spaces around "=" hide the attribute; any name ending in src or href counts
    TPageCase{"AttributeNames", kBase, R"(<a href = "no.html"> <img lowsrc=low.jpg> <x xhref="x.html"> <a ref="r.html">)",
              {"http://h/g/low.jpg", "http://h/g/x.html"}},
    // a double quote opening an address restarts a value, a single quote ends it
    TPageCase{"QuotedAddressRestartsValue", kBase, R"(<a href=foo.html title="http://x/t">)", {"http://x/t"}},
    TPageCase{"SingleQuotedAddressInsideValue", kBase, R"(<a href=foo.html title='http://x/t'>)",
              {"http://h/g/foo.html%20title="}},
    TPageCase{"SrcInsideValueRestarts", kBase, "<a href=show.php?src=x.jpg>", {"http://h/g/x.jpg"}},
    TPageCase{"SingleQuoteEndsValue", kBase, R"(<a href="it's.html">)", {"http://h/g/it"}},
    TPageCase{"ControlCharactersSkipped", kBase, std::string("<a href=\"a\tb\r\nc\xFF" "d\x1F.html\">"),
              {"http://h/g/abcd%1F.html"}},
    TPageCase{"UnterminatedValueDropped", kBase, R"(<a href="one.html"> <a href="two.html)", {"http://h/g/one.html"}},
    // "://" before the query makes an address absolute, in the query it does not
    TPageCase{"AddressInQuery", kBase, R"(<a href="go.php?u=http://x/y"> <a href='www.w.com/?u=http://z'>)",
              {"http://h/g/go.php?u=http://x/y", "http://www.w.com/?u=http://z"}},
    TPageCase{"OtherSchemesStay", kBase, R"~(<a href="javascript:void(0)"> <a href="ftp://f/x">)~",
              {"javascript:void(0)", "ftp://f/x"}},
    TPageCase{"TooLongDropped", kBase, "<a href=\"" + std::string(300, 'x') + "\"><a href=\"ok.html\">",
              {"http://h/g/ok.html"}},
    TPageCase{"BaseWithPort", "http://h:8080/a/b.html", R"(<a href="c.html"> <a href="/x">)",
              {"http://h:8080/a/c.html", "http://h:8080/x"}},
    TPageCase{"UserNameNotInFolders", "http://u:p@h/a/b.html", R"(<a href="cc.html">)", {"http://u:p@h/a/cc.html"}},
    TPageCase{"BaseQuery", "http://h/g/list.php?page=2", R"(<a href="?page=3"> <a href="#x">)",
              {"http://h/g/list.php?page=3"}},
    TPageCase{"EmptyPage", kBase, "", {}},
    TPageCase{"NulPage", kBase, std::string(100000, '\0'), {}},
    TPageCase{"NulInsideValue", kBase, std::string("<a href=\"a\0b.html\">", 19), {"http://h/g/ab.html"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractLinks, BaseEndingInSlashStandsTwice)
{
    EXPECT_EQ(Extract("<a href=\"./\">", "http://h/a/b/"), (TLinks{"http://h/a/b/", "http://h/a/", "http://h/a/b/"}));
}

TEST(ExtractLinks, BaseThatCannotBeSplitKeepsOnlyAbsoluteValues)
{
    const TLinks links = Extract(R"(<a href="rel.html"> <a href="http://x/y"> <a href="www.w.com/">)", "http://h:99999/a/b");
    EXPECT_EQ(links, (TLinks{"http://h:99999/a/b", "http://x/y", "http://www.w.com/"}));
}

TEST(ExtractLinks, LongValuesAreDroppedOrShrinkByTheirResult)
{
    // more than 64 KB in one value, then a value whose 90 KB of "../" come to a short address
    std::string dots;
    for (int i = 0; i < 30000; ++i)
        dots += "../";
    const std::string page = "<a href=\"" + std::string(70000, 'a') + "\"><a href=\"" + dots + "top.html\"><a href=\"b.html\">";
    EXPECT_EQ(Extract(page, kBase), (TLinks{kBase, "http://h/g/", "http://h/top.html", "http://h/g/b.html"}));
}

TEST(ExtractLinks, LargePageWithoutQuotesGivesEveryDistinctLinkOnce)
{
    // 10 MB without a single quote: 10 000 distinct bare src values, each written twice
    std::string page;
    page.reserve(10 << 20);
    const std::string filler(1000, 'w');
    for (int i = 0; page.size() < (10u << 20); ++i) {
        const std::string n = std::to_string(i % 10000);
        page += "<p>" + filler + "<img src=p" + n + ".jpg><IMG SRC=P" + n + ".JPG>";
    }
    const TLinks links = Extract(page, kBase);
    ASSERT_EQ(links.size(), 2u + 10000u);
    EXPECT_EQ(links[2], "http://h/g/p0.jpg");
    EXPECT_EQ(links.back(), "http://h/g/p9999.jpg");
}

TEST(ExtractLinks, ScannerHandsOverRawValues)
{
    std::vector<std::string> values;
    ScanLinkValues(R"(<a href="x.html#a"> 'www.h/' <a href="mailto:m">)", [&](std::string_view v) { values.emplace_back(v); });
    EXPECT_EQ(values, (std::vector<std::string>{"=x.html#a", "www.h/", "=mailto:m"}));
}

// ---- the adult-word test ----------------------------------------------------

TEST(ContainsAdultWord, MatchesExactCaseSubstrings)
{
    const std::vector<std::string> words = {"", "Abc", "xyz"};
    EXPECT_TRUE(ContainsAdultWord("a page about Abcd", words));
    EXPECT_TRUE(ContainsAdultWord("..xyz", words));
    EXPECT_FALSE(ContainsAdultWord("only abc in small letters, XYZ", words));
    EXPECT_FALSE(ContainsAdultWord("", words));
    EXPECT_FALSE(ContainsAdultWord("anything", {}));
    EXPECT_FALSE(ContainsAdultWord("anything", {""}));
    EXPECT_TRUE(ContainsAdultWord(std::string("a\0Abc", 5), words));
}

class AdultWordsFixture : public ::testing::Test {
protected:
    void SetUp() override { m_saved = AdultWords(); }
    void TearDown() override { SetAdultWords(m_saved); }

private:
    std::vector<std::string> m_saved;
};

TEST_F(AdultWordsFixture, UsesTheAdultKeywords)
{
    SetAdultWords({"Nude"});
    EXPECT_TRUE(ContainsAdultWord("<title>Nudes</title>"));
    EXPECT_FALSE(ContainsAdultWord("<title>nudes</title>"));
    SetAdultWords({});
    EXPECT_FALSE(ContainsAdultWord("<title>Nudes</title>"));
}

} // namespace
