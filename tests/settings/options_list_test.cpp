#include "settings/comma_list.h"
#include "settings/multi_options.h"
#include "settings/options_list.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

TEST(TypedAccess, EmptyValueRemovesTheLineAndMissingIntegerIsMinusOne)
{
    TOptionsList list;
    SetString(list, "Title", "Cats");
    SetInteger(list, "Count", 12);
    EXPECT_EQ(GetInteger(list, "Count"), 12);
    SetString(list, "Title", "");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(GetString(list, "Title"), "");
    EXPECT_EQ(GetInteger(list, "Title"), -1);
    EXPECT_EQ(GetInteger(list, "Missing"), -1);
}

TEST(TypedAccess, BooleansAreTrueOnlyForCapitalTrue)
{
    TOptionsList list;
    list.Add("a=true");
    list.Add("b=TRUE");
    SetBoolean(list, "c", false);
    EXPECT_FALSE(GetBoolean(list, "a"));
    EXPECT_TRUE(GetBoolean(list, "b"));
    EXPECT_FALSE(GetBoolean(list, "c"));
    EXPECT_EQ(list.Get(2), "c=FALSE");
    EXPECT_FALSE(GetBoolean(list, "missing"));
}

TEST(TypedAccess, NamesIgnoreCaseAndTheFirstOfTwoLinesIsUsed)
{
    TOptionsList list;
    SetInteger(list, "MaxAttempts", 3);
    EXPECT_EQ(GetInteger(list, "maxattempts"), 3);
    SetString(list, "MAXATTEMPTS", "4");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Get(0), "MAXATTEMPTS=4");

    TOptionsList twice;
    twice.Add("x=1");
    twice.Add("X=2");
    EXPECT_EQ(GetString(twice, "x"), "1");
    SetString(twice, "x", "9");
    EXPECT_EQ(twice.Get(0), "x=9");
    EXPECT_EQ(twice.Get(1), "X=2");
}

TEST(TypedAccess, NotANumberReadsAsNotSet)
{
    TOptionsList list;
    list.Add("a=12x");
    list.Add("b= 7");
    list.Add("c=-1");
    list.Add("d=99999999999");
    list.Add("e=+5");
    int value = 0;
    EXPECT_EQ(GetInteger(list, "a"), -1);
    EXPECT_FALSE(TryGetInteger(list, "a", &value));
    EXPECT_EQ(GetInteger(list, "b"), -1);
    EXPECT_TRUE(TryGetInteger(list, "c", &value));
    EXPECT_EQ(value, -1);
    EXPECT_EQ(GetInteger(list, "d"), -1);
    EXPECT_EQ(GetInteger(list, "e"), 5);
}

TEST(TypedAccess, GetValueAtReadsNamedAndUnnamedLines)
{
    TOptionsList list;
    list.Add("a=%x%%y%");
    list.Add("%50%%%");
    list.Add("a=second");
    EXPECT_EQ(GetValueAt(list, 0), "x%y");
    EXPECT_EQ(GetValueAt(list, 1), "50%");
    EXPECT_EQ(GetValueAt(list, 2), "x%y");  // the first line of that name
}

struct TEncodeCase {
    std::string value;
    std::string encoded;
};

class EncodeValueTable : public ::testing::TestWithParam<TEncodeCase> {};

TEST_P(EncodeValueTable, EncodesAndDecodesBack)
{
    const TEncodeCase& c = GetParam();
    EXPECT_EQ(EncodeValue(c.value), c.encoded);
    EXPECT_EQ(DecodeValue(c.encoded), c.value);
}

INSTANTIATE_TEST_SUITE_P(Values, EncodeValueTable,
                         ::testing::Values(TEncodeCase{"plain", "plain"}, TEncodeCase{"50%", "50%"}, TEncodeCase{"%50", "%50"},
                                           TEncodeCase{"a\r\nb", "%a%0D%0Ab%"}, TEncodeCase{"%x%", "%%%x%%%"},
                                           TEncodeCase{"%", "%%%%"}, TEncodeCase{"", ""},
                                           TEncodeCase{"a\0b"s, "%a=>%01NULL%01<=b%"}, TEncodeCase{"tab\there", "%tab%09here%"},
                                           TEncodeCase{"\x1F", "%%1F%"}));

TEST(DecodeValue, MalformedEscapesStayLiteral)
{
    EXPECT_EQ(DecodeValue("%"), "");
    EXPECT_EQ(DecodeValue("%%zz%"), "%zz");
    EXPECT_EQ(DecodeValue("%a%4%"), "a%4");
    EXPECT_EQ(DecodeValue("%%41%42%"), "AB");
    EXPECT_EQ(DecodeValue("%%4a%"), "J");
    EXPECT_EQ(DecodeValue("%x%%"), "x%");
    EXPECT_EQ(DecodeValue("no%escape%here"), "no%escape%here");
    // the marker text itself comes back as a NUL
    EXPECT_EQ(DecodeValue("%=>\x01NULL\x01<=%"), "\0"s);
}

TEST(TextForm, LinesSplitAtCrLfCrAndLfAndEndAtNul)
{
    TOptionsList list;
    list.SetText("a\r\nb\rc\nd\n\re\r\n\r\nlast"s);
    const std::vector<std::string> expected{"a", "b", "c", "d", "", "e", "", "last"};
    ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Get(i), expected[static_cast<std::size_t>(i)]);
    list.SetText("x\r\ny\0z\r\n"s);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(1), "y");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("one\r\n");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Text(), "one\r\n");
}

TEST(TextForm, ValueWithNulAndLineBreaksSurvivesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("config.dat");
    TOptionsList list;
    const std::string value = "line one\r\nline\0two %done%"s;
    SetString(list, "Value", value);
    SetString(list, "Plain", "x");
    ASSERT_TRUE(list.SaveToFile(path));
    TOptionsList read;
    ASSERT_TRUE(read.LoadFromFile(path));
    EXPECT_EQ(read.Count(), 2);
    EXPECT_EQ(GetString(read, "Value"), value);
    EXPECT_FALSE(read.LoadFromFile(dir.filePath("missing.dat")));
}

TEST(Sectioned, WritesHeadsLinesAndOneEmptyLineEach)
{
    TMultiOptions lists;
    TOptionsList* a = lists.GetList("A");
    a->Add("x");
    a->Add("y");
    lists.GetList("B");
    EXPECT_EQ(lists.SectionedText(), "[A]\r\nx\r\ny\r\n\r\n[B]\r\n\r\n");
    EXPECT_EQ(lists.SectionedSize(), static_cast<qint64>(lists.SectionedText().size()));
}

TEST(Sectioned, ReadingDropsEmptyLinesAndTakesBracketLinesAsHeads)
{
    TMultiOptions lists;
    lists.GetList("Old")->Add("gone");
    lists.SetSectionedText("ignored\r\n[A]\r\nx\r\n\r\n[inner]\r\ny\r\n[A]\r\nz\r\n[]\r\nw");
    ASSERT_EQ(lists.Count(), 3);
    EXPECT_EQ(lists.FindList("Old"), nullptr);
    TOptionsList* a = lists.FindList("A");
    ASSERT_NE(a, nullptr);
    // the repeated section replaced the first one
    ASSERT_EQ(a->Count(), 1);
    EXPECT_EQ(a->Get(0), "z");
    EXPECT_EQ(lists.FindList("inner")->Get(0), "y");
    EXPECT_EQ(lists.FindList("")->Get(0), "w");
    EXPECT_EQ(lists.FindList("a"), nullptr);  // list names compare exactly
    EXPECT_EQ(a->ListIndex(), 0);
    EXPECT_EQ(lists.FindList("")->ListIndex(), 2);
    EXPECT_EQ(a->Owner(), &lists);
}

TEST(Sectioned, ReadsTheSameInAnyPieces)
{
    const std::string text = "[Documents]\r\nFILE-1=a\r\nFILE-2=b\r\n\r\n[Links]\rhttp://x/\nhttp://y/\r\n";
    TMultiOptions whole;
    whole.SetSectionedText(text);
    for (std::size_t step = 1; step < 8; ++step) {
        TMultiOptions pieces;
        TSectionedReader reader(pieces);
        for (std::size_t i = 0; i < text.size(); i += step)
            reader.Feed(std::string_view(text).substr(i, step));
        reader.Finish();
        EXPECT_EQ(pieces.SectionedText(), whole.SectionedText()) << "pieces of " << step;
    }
    EXPECT_EQ(whole.FindList("Links")->Count(), 2);
}

TEST(Sectioned, StreamsRoundTrip)
{
    TMultiOptions lists;
    lists.GetList("Documents")->Add("FILE-1=x");
    lists.GetList("Pictures");
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(lists.SaveToStream(out));
    TMultiOptions read;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    ASSERT_TRUE(read.LoadFromStream(in));
    EXPECT_EQ(read.SectionedText(), lists.SectionedText());
    TMultiOptions copy;
    ASSERT_TRUE(copy.Assign(lists));
    EXPECT_EQ(copy.SectionedText(), lists.SectionedText());
}

struct TCommaCase {
    std::string text;
    std::vector<std::string> items;
};

class CommaListReading : public ::testing::TestWithParam<TCommaCase> {};

TEST_P(CommaListReading, ReadsItems)
{
    std::vector<std::string> items{"stale"};
    ReadCommaList(GetParam().text, items);
    EXPECT_EQ(items, GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(Texts, CommaListReading,
                         ::testing::Values(TCommaCase{"a,,b", {"a", "", "b"}}, TCommaCase{"a,", {"a", ""}},
                                           TCommaCase{"a b", {"a", "b"}}, TCommaCase{"", {}}, TCommaCase{"\"\"", {""}},
                                           TCommaCase{"  a , b ", {"a", "b"}},
                                           TCommaCase{"\"x, \"\"y\"\"\",z", {"x, \"y\"", "z"}},
                                           TCommaCase{"\"open", {"open"}}, TCommaCase{"\"ab\"cd,e", {"ab", "cd", "e"}},
                                           TCommaCase{"a,\0b"s, {"a", ""}}, TCommaCase{",", {"", ""}},
                                           TCommaCase{"alpha,\"beta gamma\",delta", {"alpha", "beta gamma", "delta"}}));

TEST(CommaList, WritesQuotesOnlyWhereNeeded)
{
    EXPECT_EQ(WriteCommaList({}), "");
    EXPECT_EQ(WriteCommaList({""}), "\"\"");
    EXPECT_EQ(WriteCommaList({"a", "", "b", ""}), "a,,b,");
    EXPECT_EQ(WriteCommaList({"HTTP Error: 404", "x,y", "say \"hi\"", "tab\t"}),
              "\"HTTP Error: 404\",\"x,y\",\"say \"\"hi\"\"\",\"tab\t\"");
    const std::vector<std::string> items{"a b", "", "\"", ",", "plain"};
    std::vector<std::string> back;
    ReadCommaList(WriteCommaList(items), back);
    EXPECT_EQ(back, items);
}

TEST(OptionsList, ProvisionalNamesCountToNinetyNineAndWrap)
{
    const std::string first = ProvisionalListName();
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first[6], '-');
    const int start = std::stoi(first.substr(7));
    for (int i = 1; i <= 100; ++i) {
        const std::string name = ProvisionalListName();
        EXPECT_EQ(std::stoi(name.substr(7)), (start + i) % 100) << name;
    }
}

TEST(OptionsList, AssignCopiesLinesAndFromAnOptionsListItsName)
{
    TOptionsList source;
    source.SetName("Documents");
    source.SetListIndex(4);
    source.Add("a=1");
    TOptionsList target;
    target.Assign(source);
    EXPECT_EQ(target.Name(), "Documents");
    EXPECT_EQ(target.ListIndex(), 4);
    EXPECT_EQ(target.Text(), "a=1\r\n");
    TLineStore plain;
    plain.Add("b=2");
    target.Assign(plain);
    EXPECT_EQ(target.Name(), "Documents");
    EXPECT_EQ(target.Text(), "b=2\r\n");
}

} // namespace
