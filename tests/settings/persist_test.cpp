#include "settings/persist.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

TEST(StreamPrimitives, IntegerRecordIsSizeFieldThenLittleEndianValue)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteInteger(out, 7));
    ASSERT_TRUE(WriteInteger(out, -2));
    EXPECT_EQ(bytes, Hex("040007000000" "0400feffffff"));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    std::int32_t a = 0;
    std::int32_t b = 0;
    ASSERT_TRUE(ReadInteger(in, &a));
    ASSERT_TRUE(ReadInteger(in, &b));
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -2);
    EXPECT_FALSE(ReadInteger(in, &a));
}

TEST(StreamPrimitives, IntegerWithOtherSizeFieldKeepsItsFirstFourBytes)
{
    QByteArray bytes = Hex("0200" "0501" "0600" "0a000000ffff");
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    std::int32_t value = 0;
    ASSERT_TRUE(ReadInteger(in, &value));
    EXPECT_EQ(value, 0x0105);
    ASSERT_TRUE(ReadInteger(in, &value));
    EXPECT_EQ(value, 10);
    EXPECT_TRUE(in.atEnd());
}

TEST(StreamPrimitives, BlocksFrameTheirBytesAndEmptyTheSource)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QByteArray empty;
    ASSERT_TRUE(WriteBlock(out, empty));
    EXPECT_EQ(bytes, Hex("00000000"));
    QByteArray three("abc");
    ASSERT_TRUE(WriteBlock(out, three));
    EXPECT_TRUE(three.isEmpty());
    EXPECT_EQ(bytes, Hex("00000000" "03000000616263"));

    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QByteArray block("stale");
    ASSERT_TRUE(ReadBlock(in, block));
    EXPECT_TRUE(block.isEmpty());
    ASSERT_TRUE(ReadBlock(in, block));
    EXPECT_EQ(block, "abc");
}

TEST(StreamPrimitives, DamagedBlocksAreRefusedOrReadAsEmpty)
{
    struct TCase {
        const char* hex;
        bool ok;
    } cases[] = {
        {"ffffffff", true},        // a negative length reads as empty
        {"0500000061", false},     // runs past the end
        {"030000", false},         // a cut length field
        {"ffffff7f00", false},     // far beyond the data
    };
    for (const TCase& c : cases) {
        QByteArray bytes = Hex(c.hex);
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        QByteArray block;
        EXPECT_EQ(ReadBlock(in, block), c.ok) << c.hex;
        EXPECT_TRUE(block.isEmpty()) << c.hex;
    }
}

class TItem final : public TPersistObj {
public:
    QByteArray text;
    bool SaveToStream(QIODevice& stream) override { return stream.write(text) == text.size(); }
    bool LoadFromStream(QIODevice& stream) override
    {
        text = stream.readAll();
        return true;
    }
};

class TItemList final : public TPersistObjList<TItem> {
protected:
    TItem* CreateItem() override { return new TItem; }
};

TEST(PersistObjList, ZeroItemsIsOneIntegerRecord)
{
    TItemList list;
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(list.SaveToStream(out));
    EXPECT_EQ(bytes, Hex("040000000000"));
    TItemList read;
    read.SetItemCount(3);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    ASSERT_TRUE(read.LoadFromStream(in));
    EXPECT_EQ(read.Count(), 0);
}

TEST(PersistObjList, LoadingReplacesEveryItem)
{
    TItemList two;
    two.AddNew()->text = "first";
    two.AddNew()->text = "second";
    TItemList five;
    five.SetItemCount(5);
    five.At(4)->text = "old";
    ASSERT_TRUE(five.Assign(two));
    ASSERT_EQ(five.Count(), 2);
    EXPECT_EQ(five.At(0)->text, "first");
    EXPECT_EQ(five.At(1)->text, "second");
}

TEST(PersistObjList, ACountBeyondTheDataIsRefusedWithoutMakingItems)
{
    QByteArray bytes = Hex("0400ffffff7f");
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TItemList list;
    EXPECT_FALSE(list.LoadFromStream(in));
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
