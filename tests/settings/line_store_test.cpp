#include "settings/line_store.h"

#include <gtest/gtest.h>

#include <QString>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

// The plain model the store must agree with: a vector scanned from the start.
struct TPlainList {
    std::vector<std::string> lines;
    bool caseSensitive = false;

    bool Same(std::string_view a, std::string_view b) const { return caseSensitive ? a == b : Lower(a) == Lower(b); }
    int IndexOfName(std::string_view name) const
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            bool has = false;
            const std::string_view n = LineName(lines[i], &has);
            if (has && Same(n, name))
                return static_cast<int>(i);
        }
        return -1;
    }
};

std::uint8_t TagOfLastChar(std::string_view line)
{
    if (line.empty())
        return 0;
    return line.back() == '1' ? 1 : (line.back() == '2' ? 2 : 0);
}

void ExpectSame(const TLineStore& store, const TPlainList& plain)
{
    ASSERT_EQ(store.Count(), static_cast<int>(plain.lines.size()));
    for (int i = 0; i < store.Count(); ++i)
        ASSERT_EQ(store.Get(i), plain.lines[static_cast<std::size_t>(i)]) << "line " << i;
}

// Long random runs of edits against the plain list: inserts near the front and
// at the end, deletes, rewrites, lookups by name (duplicates included) and tag
// searches. Thousands of lines, so chunks split and empty out many times.
class LineStoreDifferential : public ::testing::TestWithParam<bool> {};

TEST_P(LineStoreDifferential, AgreesWithAPlainScannedList)
{
    const bool caseSensitive = GetParam();
    std::mt19937 random(caseSensitive ? 7 : 11);
    TLineStore store;
    store.SetCaseSensitive(caseSensitive);
    store.SetClassifier(&TagOfLastChar);
    TPlainList plain;
    plain.caseSensitive = caseSensitive;

    auto randomLine = [&]() {
        // few distinct names, so that many lines share a name in every letter case
        const int key = std::uniform_int_distribution<int>(0, 400)(random);
        std::string name = "Key" + std::to_string(key);
        if (random() % 2)
            name = Lower(name);
        if (random() % 17 == 0)
            return std::string("no name here ") + std::to_string(random() % 3);
        return name + "=v" + std::to_string(random() % 1000) + std::to_string(random() % 3);
    };

    for (int step = 0; step < 30000; ++step) {
        const int n = static_cast<int>(plain.lines.size());
        const int op = std::uniform_int_distribution<int>(0, 9)(random);
        if (op <= 2 || n < 50) {
            const std::string line = randomLine();
            store.Add(line);
            plain.lines.push_back(line);
        } else if (op <= 4) {
            // most inserts near the front, where a flat array pays most
            const int at = random() % 4 == 0 ? std::uniform_int_distribution<int>(0, n)(random)
                                              : std::uniform_int_distribution<int>(0, std::min(n, 20))(random);
            const std::string line = randomLine();
            store.Insert(at, line);
            plain.lines.insert(plain.lines.begin() + at, line);
        } else if (op == 5) {
            const int at = std::uniform_int_distribution<int>(0, n - 1)(random);
            store.Delete(at);
            plain.lines.erase(plain.lines.begin() + at);
        } else if (op == 6) {
            const int at = std::uniform_int_distribution<int>(0, n - 1)(random);
            const std::string line = randomLine();
            store.Put(at, line);
            plain.lines[static_cast<std::size_t>(at)] = line;
        } else if (op == 7) {
            const std::string name = LineName(randomLine()).empty() ? "Key1" : std::string(LineName(randomLine()));
            ASSERT_EQ(store.IndexOfName(name), plain.IndexOfName(name)) << "step " << step << " name " << name;
        } else if (op == 8) {
            const std::string line = randomLine();
            const std::string name(LineName(line));
            if (name.empty())
                continue;
            store.ReplaceOrAppendByName(name, line);
            const int at = plain.IndexOfName(name);
            if (at < 0)
                plain.lines.push_back(line);
            else
                plain.lines[static_cast<std::size_t>(at)] = line;
        } else {
            const std::uint8_t mask = static_cast<std::uint8_t>(1 + random() % 3);
            const int from = std::uniform_int_distribution<int>(-1, n)(random);
            int expected = -1;
            for (int i = std::max(from, 0); i < n && expected < 0; ++i)
                if (TagOfLastChar(plain.lines[static_cast<std::size_t>(i)]) & mask)
                    expected = i;
            ASSERT_EQ(store.FindTagged(mask, from), expected) << "step " << step;
            int before = -1;
            for (int i = std::min(from, n - 1); i >= 0 && before < 0; --i)
                if (TagOfLastChar(plain.lines[static_cast<std::size_t>(i)]) & mask)
                    before = i;
            ASSERT_EQ(store.FindTaggedBefore(mask, from), before) << "step " << step;
        }
        if (step % 5000 == 0)
            ExpectSame(store, plain);
    }
    ExpectSame(store, plain);
    for (int key = 0; key <= 400; key += 7) {
        const std::string name = "KEY" + std::to_string(key);
        EXPECT_EQ(store.IndexOfName(name), plain.IndexOfName(name));
    }
}

INSTANTIATE_TEST_SUITE_P(BothCaseRules, LineStoreDifferential, ::testing::Values(false, true));

TEST(LineStore, SortedListKeepsOrderFindsByHalvingAndIgnoresDuplicates)
{
    TLineStore links;
    links.SetCaseSensitive(true);
    links.SetSorted(true);
    std::mt19937 random(3);
    std::vector<std::string> reference;
    for (int i = 0; i < 3000; ++i) {
        const std::string line = "http://h/" + std::to_string(random() % 2000) + (random() % 2 ? "A" : "a");
        links.Add(line);
        if (std::find(reference.begin(), reference.end(), line) == reference.end())
            reference.push_back(line);
    }
    std::sort(reference.begin(), reference.end());
    ASSERT_EQ(links.Count(), static_cast<int>(reference.size()));
    for (std::size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(links.Get(static_cast<int>(i)), reference[i]);
        ASSERT_EQ(links.IndexOf(reference[i]), static_cast<int>(i));
    }
    EXPECT_EQ(links.IndexOf("http://h/not-there"), -1);
    EXPECT_FALSE(links.AddIfAbsent(reference[7]));
    EXPECT_TRUE(links.AddIfAbsent("http://h/0000"));
    EXPECT_EQ(links.Get(0), "http://h/0000");
    EXPECT_EQ(links.Count(), static_cast<int>(reference.size()) + 1);
    // letter case matters in this list
    EXPECT_EQ(links.IndexOf(Lower(reference.front()) + "X"), -1);
}

TEST(LineStore, UnsortedIndexOfIgnoresCaseUnlessCaseSensitive)
{
    TLineStore list;
    list.Add("Alpha");
    list.Add("beta");
    EXPECT_EQ(list.IndexOf("ALPHA"), 0);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("ALPHA"), -1);
    EXPECT_EQ(list.IndexOf("beta"), 1);
}

TEST(LineStore, NonAsciiNamesCompareByCaseFolding)
{
    TLineStore list;
    for (int i = 0; i < 100; ++i)
        list.Add("name" + std::to_string(i) + "=x");
    list.Add(QString::fromUtf8("Größe=1").toUtf8().toStdString());
    EXPECT_EQ(list.IndexOfName(QString::fromUtf8("GRÖßE").toUtf8().toStdString()), 100);
    EXPECT_EQ(list.IndexOfName(QString::fromUtf8("größe").toUtf8().toStdString()), 100);
    EXPECT_EQ(list.IndexOfName(QString::fromUtf8("grosse").toUtf8().toStdString()), -1);
    // bytes that are not UTF-8 compare as Latin-1, never equal by decoding errors
    list.Add("\xE9t\xE9=2");
    EXPECT_EQ(list.IndexOfName("\xC9T\xC9"), 101);
    EXPECT_EQ(list.IndexOfName("\xE8t\xE8"), -1);
}

TEST(LineStore, BadIndexRaisesListIndexError)
{
    TLineStore list;
    list.Add("a");
    EXPECT_THROW(list.Get(1), TListIndexError);
    EXPECT_THROW(list.Delete(-1), TListIndexError);
    EXPECT_THROW(list.Insert(3, "x"), TListIndexError);
}

TEST(LineStore, SwapAndAssignCarryLinesAndTags)
{
    TLineStore a;
    a.SetClassifier(&TagOfLastChar);
    for (int i = 0; i < 1200; ++i)
        a.Add("k" + std::to_string(i) + "=" + std::to_string(i % 3));
    TLineStore b;
    b.AssignLines(a);
    ASSERT_EQ(b.Count(), 1200);
    EXPECT_EQ(b.FindTagged(1), -1);  // b has no classifier
    TLineStore c;
    c.SetClassifier(&TagOfLastChar);
    c.SwapLines(b);
    EXPECT_EQ(b.Count(), 0);
    EXPECT_EQ(c.FindTagged(2, 3), 5);
    EXPECT_EQ(c.IndexOfName("K1199"), 1199);
}

} // namespace
