#include "settings/persist.h"

#include <cstring>

std::int32_t FromLE32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const std::uint32_t u = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8)
        | (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(u);
}

void ToLE32(char* bytes, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<char>(u & 0xFF);
    bytes[1] = static_cast<char>((u >> 8) & 0xFF);
    bytes[2] = static_cast<char>((u >> 16) & 0xFF);
    bytes[3] = static_cast<char>((u >> 24) & 0xFF);
}

bool WriteLE32(QIODevice& stream, std::int32_t value)
{
    char bytes[4];
    ToLE32(bytes, value);
    return stream.write(bytes, 4) == 4;
}

bool ReadLE32(QIODevice& stream, std::int32_t* value)
{
    char bytes[4];
    if (stream.read(bytes, 4) != 4)
        return false;
    *value = FromLE32(bytes);
    return true;
}

bool WriteInteger(QIODevice& stream, std::int32_t value)
{
    char bytes[6] = {4, 0};
    ToLE32(bytes + 2, value);
    return stream.write(bytes, 6) == 6;
}

bool ReadInteger(QIODevice& stream, std::int32_t* value)
{
    unsigned char size[2];
    if (stream.read(reinterpret_cast<char*>(size), 2) != 2)
        return false;
    const int n = size[0] | (size[1] << 8);
    // the writer always writes 4; other sizes keep their first four bytes
    char bytes[4] = {0, 0, 0, 0};
    const int keep = n < 4 ? n : 4;
    if (keep > 0 && stream.read(bytes, keep) != keep)
        return false;
    for (int skipped = keep; skipped < n; ++skipped) {
        char ignored;
        if (stream.read(&ignored, 1) != 1)
            return false;
    }
    *value = FromLE32(bytes);
    return true;
}

bool WriteBlock(QIODevice& stream, QByteArray& memory)
{
    const qint64 size = memory.size();
    if (size > INT32_MAX)
        return false;
    bool ok = WriteLE32(stream, static_cast<std::int32_t>(size));
    if (ok && size > 0)
        ok = stream.write(memory.constData(), size) == size;
    memory.clear();
    return ok;
}

bool ReadBlock(QIODevice& stream, QByteArray& memory, qint64 maxLength)
{
    memory.clear();
    std::int32_t length = 0;
    if (!ReadLE32(stream, &length))
        return false;
    if (length <= 0)
        return true;
    if (length > maxLength)
        return false;
    if (!stream.isSequential() && length > stream.size() - stream.pos())
        return false;
    memory.resize(length);
    if (stream.read(memory.data(), length) != length) {
        memory.clear();
        return false;
    }
    return true;
}
