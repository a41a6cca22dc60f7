#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QSaveFile>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// Objects that write themselves to a byte stream and read themselves back.
class TPersistObj {
public:
    virtual ~TPersistObj() = default;
    virtual bool SaveToStream(QIODevice& stream) = 0;
    virtual bool LoadFromStream(QIODevice& stream) = 0;
};

// Integer record: a 16-bit size field holding 4, then the little-endian value.
bool WriteInteger(QIODevice& stream, std::int32_t value);
// Reads a size field n and n bytes; false when the stream ends early.
bool ReadInteger(QIODevice& stream, std::int32_t* value);
// Block: a 32-bit length L, then L bytes. Empties memory afterwards.
bool WriteBlock(QIODevice& stream, QByteArray& memory);
// Reads a block into memory. A length of 0 or below reads as empty. False when
// the block runs past the end of the stream or beyond maxLength bytes.
bool ReadBlock(QIODevice& stream, QByteArray& memory, qint64 maxLength = 1LL << 31);
bool WriteLE32(QIODevice& stream, std::int32_t value);
bool ReadLE32(QIODevice& stream, std::int32_t* value);
std::int32_t FromLE32(const char* bytes);
void ToLE32(char* bytes, std::int32_t value);

// An object's stream form written as one block.
template <class Obj>
bool WriteObject(QIODevice& stream, Obj& object)
{
    QByteArray memory;
    {
        QBuffer buffer(&memory);
        buffer.open(QIODevice::WriteOnly);
        if (!object.SaveToStream(buffer))
            return false;
    }
    return WriteBlock(stream, memory);
}

template <class Obj>
bool ReadObject(QIODevice& stream, Obj& object)
{
    QByteArray memory;
    if (!ReadBlock(stream, memory))
        return false;
    QBuffer buffer(&memory);
    buffer.open(QIODevice::ReadOnly);
    return object.LoadFromStream(buffer);
}

// Writes beside the file and renames over it only when complete, so that a write
// cut off at any moment leaves the old file or the new one, whole.
template <class Obj>
bool SaveObjectToFile(Obj& object, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!object.SaveToStream(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

template <class Obj>
bool LoadObjectFromFile(Obj& object, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return object.LoadFromStream(file);
}

// An owning ordered list of streamable items.
template <class Item>
class TPersistObjList {
public:
    virtual ~TPersistObjList() = default;

    int Count() const { return static_cast<int>(m_items.size()); }
    Item* At(int index) const { return m_items.at(static_cast<std::size_t>(index)).get(); }
    Item* AddNew()
    {
        m_items.push_back(std::unique_ptr<Item>(CreateItem()));
        return m_items.back().get();
    }
    void Append(std::unique_ptr<Item> item) { m_items.push_back(std::move(item)); }
    void Remove(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }
    void SetItemCount(int n)
    {
        Clear();
        for (int i = 0; i < n; ++i)
            AddNew();
    }

    // Copies another list of the same kind through its stream form.
    virtual bool Assign(TPersistObjList& source)
    {
        QByteArray memory;
        {
            QBuffer buffer(&memory);
            buffer.open(QIODevice::WriteOnly);
            if (!source.SaveToStream(buffer))
                return false;
        }
        QBuffer buffer(&memory);
        buffer.open(QIODevice::ReadOnly);
        return LoadFromStream(buffer);
    }

    // An integer record with the number of items, then one block per item.
    virtual bool SaveToStream(QIODevice& stream)
    {
        if (!WriteInteger(stream, Count()))
            return false;
        for (auto& item : m_items)
            if (!WriteObject(stream, *item))
                return false;
        return true;
    }

    virtual bool LoadFromStream(QIODevice& stream)
    {
        std::int32_t n = 0;
        if (!ReadInteger(stream, &n))
            return false;
        // every item takes at least its 4-byte block length
        if (!stream.isSequential() && n > (stream.size() - stream.pos()) / 4)
            return false;
        SetItemCount(n);
        for (auto& item : m_items)
            if (!ReadObject(stream, *item))
                return false;
        return true;
    }

protected:
    virtual Item* CreateItem() = 0;
    std::vector<std::unique_ptr<Item>> m_items;
};
