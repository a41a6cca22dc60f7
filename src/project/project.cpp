#include "project/project.h"

#include "project/file_record.h"
#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/busy_progress.h"
#include "settings/text_convert.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>

#include <cstdio>

extern const unsigned char kPlaceholderThumbnailJpeg[];
extern const std::size_t kPlaceholderThumbnailJpegSize;

namespace {

constexpr std::string_view kDiskNameChars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_=!";
// Latin letters of the Cyrillic small letters U+0430 to U+044F; "_" for the
// short i, which has none.
constexpr std::string_view kCyrillicLatin = "abvgdezzi_klmnoprstufhccssjyjeua";

char TransliterateCyrillic(char32_t c)
{
    if (c >= 0x0410 && c <= 0x042F)
        c += 0x20;
    if (c == 0x0401 || c == 0x0451)
        return 'e';
    if (c >= 0x0430 && c <= 0x044F)
        return kCyrillicLatin[c - 0x0430];
    return '\0';
}

} // namespace

std::string DiskNameFromTitle(std::string_view title)
{
    const QString text = ToQString(title);
    std::string name;
    for (qsizetype i = 0; i < text.size() && name.size() < 11; ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (c < 0x80 && kDiskNameChars.find(static_cast<char>(c)) != std::string_view::npos) {
            name.push_back(static_cast<char>(c));
            continue;
        }
        const char latin = TransliterateCyrillic(c);
        name.push_back(latin && latin != '_' ? latin : '_');
    }
    return name;
}

bool IsSafeDiskName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string SanitizeDiskName(std::string_view name)
{
    if (IsSafeDiskName(name))
        return std::string(name);
    std::string safe = DiskNameFromTitle(name);
    return safe.empty() ? std::string("Project") : safe;
}

QByteArray TProject::PlaceholderThumbnail()
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(kPlaceholderThumbnailJpeg),
                                   static_cast<qsizetype>(kPlaceholderThumbnailJpegSize));
}

TProject::TProject()
{
    m_lists.GetList("Documents");
    m_lists.GetList("Pictures");
    TOptionsList* links = m_lists.GetList("Links");
    links->SetSorted(true);
    links->SetCaseSensitive(true);
    m_thumbnail = PlaceholderThumbnail();
    m_thumbnail.detach();

    TOptionsList& o = m_options;
    SetString(o, "UIN", "PRJ-" + NewFileID());
    SetString(o, "Title", "No Title");
    SetString(o, "CreationDate", ToStdString(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))));
    SetInteger(o, "URLKind", 0);
    SetInteger(o, "MinWidth", 320);
    SetInteger(o, "MinHeight", 200);
    SetInteger(o, "MaxWidth", 1024);
    SetInteger(o, "MaxHeight", 768);
    SetInteger(o, "MinPicSize", 20480);
    SetInteger(o, "MaxPicSize", 512000);
    SetInteger(o, "MaxDocSize", 204800);
    SetBoolean(o, "SkipByAspect", true);
    SetBoolean(o, "SkipGIF", true);
    SetBoolean(o, "WasSaved", false);
    SetString(o, "Category", "Other");
    SetBoolean(o, "Complete", false);
    SetInteger(o, "PicsFinished", 0);
    SetInteger(o, "LinksFinished", 0);
}

TProject::~TProject() = default;

QStringList TProject::GetInfo() const
{
    const TOptionsList* documents = Documents();
    const TOptionsList* pictures = Pictures();
    char links[96];
    char images[96];
    std::snprintf(links, sizeof links, "Links found/processed :  %4d   %4d", documents ? documents->Count() : 0,
                  GetInteger(m_options, "LinksFinished"));
    std::snprintf(images, sizeof images, "Images found/processed:  %4d   %4d", pictures ? pictures->Count() : 0,
                  GetInteger(m_options, "PicsFinished"));
    return {QStringLiteral("PROJECT INFO"), QStringLiteral("Title: ") + ToQString(GetString(m_options, "Title")),
            QStringLiteral("Created: ") + ToQString(GetString(m_options, "CreationDate")), QString::fromLatin1(links),
            QString::fromLatin1(images)};
}

std::string TProject::GetDiskName()
{
    std::string name = GetString(m_options, "DiskName");
    if (!name.empty()) {
        if (IsSafeDiskName(name))
            return name;
        name = SanitizeDiskName(name);
    } else {
        const std::string title = GetString(m_options, "Title");
        name = title.empty() ? SanitizeDiskName(GetString(m_options, "UIN")) : DiskNameFromTitle(title);
        if (name.empty())
            name = SanitizeDiskName(name);
    }
    SetString(m_options, "DiskName", name);
    return name;
}

void TProject::SetDiskName(std::string_view name)
{
    SetString(m_options, "DiskName", SanitizeDiskName(name));
}

QString TProject::Folder()
{
    return ProjectsFolder() + ToQString(GetDiskName()) + QLatin1Char('/');
}

const QImage& TProject::GetThumbnail()
{
    QBuffer buffer(&m_thumbnail);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    m_thumbnailImage = reader.read();
    return m_thumbnailImage;
}

void TProject::ReleaseThumbnail()
{
    m_thumbnailImage = QImage();
}

void TProject::AddEntryPoint()
{
    TFileRecord record;
    record.Link = GetString(m_options, "URL");
    record.Referer = EntryPointReferer;
    record.Status = flsInitial;
    record.Attempts = 0;
    record.Origin = "Entry Point";
    SetString(*m_lists.GetList("Documents"), record.FileID, record.ToText());
    m_lists.GetList("Links")->Add(record.Link);
}

void TProject::LoadView(TOptionsList& list, TListRowModel* view, const QString& caption, bool byName)
{
    view->BeginUpdate();
    view->ClearRows();
    TBusyProgress& busy = AppBusy();
    try {
        TBusyScope scope(busy, caption);
        busy.SetProgress(0, 0);
        const int count = list.Count();
        for (int i = 0; i < count; ++i) {
            busy.SetProgress(i, count - 1);
            const qint64 ref = view->AddRow();
            const std::string_view line = list.Get(i);
            // a fresh record per line: a line that does not read keeps its text and
            // shows its name, instead of taking the previous line's values
            TFileRecord record;
            const bool read = byName ? record.FromText(GetString(list, LineName(line))) : record.FromText(line);
            if (!read) {
                view->SetRow(view->RowOf(ref), -1, ToQString(LineName(line)), {});
                continue;
            }
            if (record.Status == flsProcessing)
                record.Status = flsDeferred;
            record.ListItem = ref;
            record.UpdateListItem();
            list.Put(i, record.ToLine());
        }
    } catch (...) {
        view->EndUpdate();
        throw;
    }
    view->EndUpdate();
}

void TProject::LoadDocumentsView(TListRowModel* view)
{
    m_docsView = view;
    LoadView(*m_lists.GetList("Documents"), view, QStringLiteral("Loading links"), false);
}

void TProject::LoadPicturesView(TListRowModel* view)
{
    m_picsView = view;
    LoadView(*m_lists.GetList("Pictures"), view, QStringLiteral("Loading images"), true);
}
