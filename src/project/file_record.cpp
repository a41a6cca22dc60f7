#include "project/file_record.h"

#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/comma_list.h"
#include "settings/options_list.h"
#include "settings/text_convert.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace {

bool ParseRowRef(std::string_view text, qint64* value)
{
    qint64 result = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    const auto [ptr, ec] = std::from_chars(first, last, result);
    if (ec != std::errc() || ptr != last)
        return false;
    *value = result;
    return true;
}

void AppendNumber(std::string& out, std::int64_t value, bool first)
{
    char buffer[24];
    const int n = std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    AppendCommaItem(out, std::string_view(buffer, static_cast<std::size_t>(n)), first);
}

} // namespace

int StateImage(std::string_view status)
{
    if (status == flsInitial)
        return 0;
    if (status == flsSucceed)
        return 1;
    if (status == flsFailed)
        return 2;
    if (status == flsProcessing)
        return 3;
    if (status == flsDeferred)
        return 4;
    return -1;
}

std::uint8_t RecordStateTag(std::string_view line)
{
    if (line.substr(0, 5) == "FILE-") {
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos)
            line = line.substr(eq + 1);
    }
    int item = 0;
    std::uint8_t tag = 0;
    ForEachCommaItem(line, [&](std::string_view value) {
        if (++item < 5)
            return true;
        if (value == flsInitial)
            tag = tagInitial;
        else if (value == flsDeferred)
            tag = tagDeferred;
        else if (value == flsSucceed)
            tag = tagSucceed;
        else if (value == flsProcessing)
            tag = tagProcessing;
        else if (value == flsFailed)
            tag = tagFailed;
        return false;
    });
    return tag;
}

std::int64_t RoundKb(std::int64_t bytes)
{
    std::int64_t q = bytes / 1024;
    std::int64_t r = bytes % 1024;
    if (r < 0) {
        r += 1024;
        --q;
    }
    if (r * 2 > 1024 || (r * 2 == 1024 && (q & 1)))
        ++q;
    return q;
}

TFileRecord::TFileRecord() : FileID("FILE-" + NewFileID()), Status(flsInitial) {}

std::string TFileRecord::ToText()
{
    if (URL.empty())
        URL = Link;
    std::string out;
    out.reserve(URL.size() + Link.size() + Referer.size() + 96);
    AppendCommaItem(out, EncodeValue(URL), true);
    AppendCommaItem(out, EncodeValue(FileID), false);
    AppendCommaItem(out, EncodeValue(FileName), false);
    AppendCommaItem(out, EncodeValue(Referer), false);
    AppendCommaItem(out, Status, false);
    AppendNumber(out, Attempts, false);
    AppendCommaItem(out, EncodeValue(Origin), false);
    AppendNumber(out, ContentSize, false);
    AppendCommaItem(out, EncodeValue(Reserved), false);
    AppendNumber(out, HTTPCode, false);
    AppendCommaItem(out, EncodeValue(Link), false);
    if (ListItem != 0)
        AppendNumber(out, ListItem, false);
    else
        out.push_back(',');
    AppendCommaItem(out, EncodeValue(ResultText), false);
    AppendCommaItem(out, IsPicture ? "PIC" : "DOC", false);
    AppendNumber(out, PicWidth, false);
    AppendNumber(out, PicHeight, false);
    out.append(",,,,,,,");
    return out;
}

std::string TFileRecord::ToLine()
{
    std::string text = ToText();
    std::string line;
    line.reserve(FileID.size() + 1 + text.size());
    line.append(FileID);
    line.push_back('=');
    line.append(text);
    return line;
}

bool TFileRecord::FromText(std::string_view text)
{
    if (text.substr(0, 5) == "FILE-") {
        const std::size_t eq = text.find('=');
        if (eq != std::string_view::npos)
            text = text.substr(eq + 1);
    }
    std::vector<std::string> items;
    ReadCommaList(text, items);
    std::size_t next = 0;
    auto item = [&](std::string_view* out) {
        if (next >= items.size())
            return false;
        *out = items[next++];
        return true;
    };
    std::string_view v;
    auto str = [&](std::string& field) {
        if (!item(&v))
            return false;
        field = DecodeValue(v);
        return true;
    };
    auto num = [&](std::int32_t& field) {
        int value = 0;
        if (!item(&v) || !ParseDecimal(v, &value))
            return false;
        field = value;
        return true;
    };
    if (!str(URL) || !str(FileID) || !str(FileName) || !str(Referer))
        return false;
    if (!item(&v))
        return false;
    Status = std::string(v);
    if (!num(Attempts) || !str(Origin) || !num(ContentSize) || !str(Reserved) || !num(HTTPCode) || !str(Link))
        return false;
    if (!item(&v))
        return false;
    if (v.empty()) {
        ListItem = 0;
    } else {
        qint64 ref = 0;
        if (!ParseRowRef(v, &ref))
            return false;
        ListItem = ref;
    }
    if (!str(ResultText))
        return false;
    if (!item(&v))
        return false;
    IsPicture = v == "PIC";
    if (!num(PicWidth) || !num(PicHeight))
        return false;
    return true;
}

void TFileRecord::Assign(TFileRecord& source)
{
    FromText(source.ToText());
}

bool TFileRecord::LooksLikeGallery() const
{
    for (std::string_view word : PriorityWords)
        if (URL.find(word) != std::string::npos)
            return true;
    return false;
}

QStringList TFileRecord::GetInfo() const
{
    return {QStringLiteral("LINK INFO"), QStringLiteral("Link: ") + ToQString(Link),
            QStringLiteral("URL: ") + ToQString(URL), QStringLiteral("Referer: ") + ToQString(Referer),
            QStringLiteral("Result: ") + ToQString(ResultText)};
}

int TFileRecord::UpdateListItem()
{
    if (ListItem == 0)
        return -1;
    int row = -1;
    TListRowModel* model = TListRowModel::FindRow(ListItem, &row);
    if (!model)
        return -1;
    const std::size_t slash = URL.size() > 7 ? URL.find('/', 7) : std::string::npos;
    const QString caption = ToQString(slash == std::string::npos ? std::string_view(URL) : std::string_view(URL).substr(slash));
    QStringList subItems = model->SubItems(row);
    const int needed = IsPicture ? 6 : 4;
    while (subItems.size() < needed)
        subItems.append(QString());
    subItems[0] = QString::number(Attempts);
    subItems[1] = ToQString(ResultText);
    if (IsPicture) {
        subItems[2] = QStringLiteral("%1 x %2").arg(PicWidth).arg(PicHeight);
        subItems[3] = QString::number(RoundKb(ContentSize));
        subItems[4] = ToQString(Referer);
        subItems[5] = ToQString(FileID);
    } else {
        subItems[2] = ToQString(Referer);
        subItems[3] = ToQString(FileID);
    }
    model->SetRow(row, StateImage(Status), caption, subItems);
    return row;
}
