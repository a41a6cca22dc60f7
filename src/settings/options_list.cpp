#include "settings/options_list.h"

#include "settings/text_convert.h"
#include "settings/text_lines.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include <charconv>
#include <cstdio>
#include <random>

namespace {

constexpr std::string_view kNulMarker("=>\x01NULL\x01<=", 10);

bool NeedsEncoding(std::string_view value)
{
    for (unsigned char c : value)
        if (c < 0x20)
            return true;
    return !value.empty() && value.front() == '%' && value.back() == '%';
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    std::string out;
    out.reserve(text.size());
    std::size_t p = 0;
    while (true) {
        const std::size_t hit = text.find(from, p);
        if (hit == std::string_view::npos) {
            out.append(text.substr(p));
            return out;
        }
        out.append(text.substr(p, hit - p));
        out.append(to);
        p = hit + from.size();
    }
}

std::mt19937& NameGenerator()
{
    static std::mt19937 generator(std::random_device{}());
    return generator;
}

} // namespace

bool ParseDecimal(std::string_view text, int* value)
{
    if (text.empty())
        return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+')
        ++first;
    if (first == last)
        return false;
    int result = 0;
    const auto [ptr, ec] = std::from_chars(first, last, result);
    if (ec != std::errc() || ptr != last)
        return false;
    *value = result;
    return true;
}

std::string EncodeValue(std::string_view value)
{
    if (!NeedsEncoding(value))
        return std::string(value);
    const std::string withMarkers = ReplaceAll(value, std::string_view("\0", 1), kNulMarker);
    std::string doubled = "%";
    for (char c : withMarkers) {
        if (c == '%')
            doubled.push_back('%');
        doubled.push_back(c);
    }
    doubled.push_back('%');
    std::string out;
    out.reserve(doubled.size() + 16);
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : doubled) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20) {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string DecodeValue(std::string_view text)
{
    if (text.empty() || text.front() != '%' || text.back() != '%')
        return std::string(text);
    if (text.size() == 1)
        return {};
    const std::string_view inner = text.substr(1, text.size() - 2);
    std::string out;
    out.reserve(inner.size());
    std::size_t i = 0;
    while (i < inner.size()) {
        const char c = inner[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 < inner.size() && inner[i + 1] == '%') {
            out.push_back('%');
            i += 2;
            continue;
        }
        if (i + 2 < inner.size()) {
            const int hi = HexDigitValue(inner[i + 1]);
            const int lo = HexDigitValue(inner[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.push_back('%');
        ++i;
    }
    if (out.find(kNulMarker) == std::string::npos)
        return out;
    return ReplaceAll(out, kNulMarker, std::string_view("\0", 1));
}

std::string GetString(const TLineStore& list, std::string_view name)
{
    std::string_view value;
    if (!list.FindValue(name, &value))
        return {};
    return DecodeValue(value);
}

void SetString(TLineStore& list, std::string_view name, std::string_view value)
{
    if (value.empty()) {
        list.DeleteByName(name);
        return;
    }
    std::string line;
    if (NeedsEncoding(value)) {
        const std::string encoded = EncodeValue(value);
        line.reserve(name.size() + 1 + encoded.size());
        line.append(name);
        line.push_back('=');
        line.append(encoded);
    } else {
        line.reserve(name.size() + 1 + value.size());
        line.append(name);
        line.push_back('=');
        line.append(value);
    }
    list.ReplaceOrAppendByName(name, line);
}

bool TryGetInteger(const TLineStore& list, std::string_view name, int* value)
{
    std::string_view raw;
    if (!list.FindValue(name, &raw))
        return false;
    if (!raw.empty() && raw.front() == '%')
        return ParseDecimal(DecodeValue(raw), value);
    return ParseDecimal(raw, value);
}

int GetInteger(const TLineStore& list, std::string_view name)
{
    int value = -1;
    if (!TryGetInteger(list, name, &value))
        return -1;
    return value;
}

void SetInteger(TLineStore& list, std::string_view name, int value)
{
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "%d", value);
    SetString(list, name, std::string_view(buffer, static_cast<std::size_t>(n)));
}

bool GetBoolean(const TLineStore& list, std::string_view name)
{
    return GetString(list, name) == "TRUE";
}

void SetBoolean(TLineStore& list, std::string_view name, bool value)
{
    SetString(list, name, value ? "TRUE" : "FALSE");
}

std::string GetValueAt(const TLineStore& list, int index)
{
    bool hasName = false;
    const std::string_view line = list.Get(index);
    const std::string_view name = LineName(line, &hasName);
    if (hasName)
        return GetString(list, name);
    return DecodeValue(line);
}

std::string ProvisionalListName()
{
    static int counter = 0;
    ++counter;
    if (counter > 99)
        counter = 0;
    std::uniform_int_distribution<int> draw(0, 999998);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%6d-%2d", draw(NameGenerator()), counter);
    return buffer;
}

TOptionsList::TOptionsList() : m_name(ProvisionalListName()) {}

TOptionsList::~TOptionsList() = default;

void TOptionsList::SetText(std::string_view text)
{
    Clear();
    TLineSplitter splitter;
    auto add = [this](std::string_view line) { Add(line); };
    splitter.Feed(text, add);
    splitter.Finish(add);
}

bool TOptionsList::LoadFromStream(QIODevice& stream)
{
    const QByteArray bytes = stream.readAll();
    SetText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return true;
}

std::string TOptionsList::Text() const
{
    std::string text;
    text.reserve(TextBytes() + 2 * static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i) {
        text.append(Get(i));
        text.append("\r\n");
    }
    return text;
}

bool TOptionsList::SaveToStream(QIODevice& stream) const
{
    const std::string text = Text();
    return stream.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

bool TOptionsList::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return LoadFromStream(file);
}

bool TOptionsList::SaveToFile(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!SaveToStream(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void TOptionsList::Assign(const TLineStore& source)
{
    AssignLines(source);
    if (const auto* options = dynamic_cast<const TOptionsList*>(&source)) {
        m_listIndex = options->m_listIndex;
        m_name = options->m_name;
    }
}
