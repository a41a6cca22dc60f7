#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

// Stored text is UTF-8 bytes; bytes that are not valid UTF-8 are read as Latin-1
// so that no byte is lost.
inline QString ToQString(std::string_view text)
{
    const QByteArrayView view(text.data(), static_cast<qsizetype>(text.size()));
    return view.isValidUtf8() ? QString::fromUtf8(view) : QString::fromLatin1(view);
}

inline std::string ToStdString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

// ASCII letters in lower case; other bytes as they are.
inline std::string AsciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

// The value of a hexadecimal digit of either case; -1 for any other character.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

inline std::string_view ToView(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
