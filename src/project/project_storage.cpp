#include "project/project.h"

#include "settings/app_settings.h"
#include "settings/busy_progress.h"
#include "settings/text_convert.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <bzlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kHeaderSize = 220;
constexpr qint64 kOutputPiece = 64 * 1024;
constexpr qint64 kInputPiece = 1 << 20;
// A lists block may not decompress to more than this many times its own size
// (nor beyond 2 GiB): a damaged or hostile file must not exhaust memory.
constexpr qint64 kMaxExpansion = 64;
constexpr qint64 kMinDecompressBound = 1 << 20;
constexpr qint64 kMaxDecompressed = qint64(2) << 30;
constexpr qint64 kShowLoadProgressFrom = 1 << 20;

QByteArray MakeHeader(std::int32_t optionsOffset, std::int32_t thumbnailOffset)
{
    QByteArray header(kHeaderSize, '\0');
    header[0] = 10;
    std::memcpy(header.data() + 1, "PLMPRJ 2.0", 10);
    ToLE32(header.data() + 12, optionsOffset);
    ToLE32(header.data() + 16, thumbnailOffset);
    header[20] = 0x21;
    return header;
}

// Compresses into a stream with libbz2, block size 6, handing the output on in
// pieces of up to 64 KiB.
class TBz2Writer final {
public:
    explicit TBz2Writer(QIODevice& out) : m_out(out)
    {
        std::memset(&m_stream, 0, sizeof m_stream);
        m_ok = BZ2_bzCompressInit(&m_stream, 6, 0, 0) == BZ_OK;
        m_buffer.resize(kOutputPiece);
    }
    ~TBz2Writer() { BZ2_bzCompressEnd(&m_stream); }

    bool Write(std::string_view data)
    {
        m_stream.next_in = const_cast<char*>(data.data());
        m_stream.avail_in = static_cast<unsigned>(data.size());
        while (m_ok && m_stream.avail_in > 0)
            m_ok = Step(BZ_RUN) == BZ_RUN_OK;
        return m_ok;
    }

    bool Finish()
    {
        while (m_ok) {
            const int rc = Step(BZ_FINISH);
            if (rc == BZ_STREAM_END)
                return true;
            m_ok = rc == BZ_FINISH_OK;
        }
        return false;
    }

    qint64 TotalIn() const { return (qint64(m_stream.total_in_hi32) << 32) | m_stream.total_in_lo32; }
    qint64 TotalOut() const { return (qint64(m_stream.total_out_hi32) << 32) | m_stream.total_out_lo32; }

private:
    int Step(int action)
    {
        m_stream.next_out = m_buffer.data();
        m_stream.avail_out = static_cast<unsigned>(m_buffer.size());
        const int rc = BZ2_bzCompress(&m_stream, action);
        const qint64 produced = m_buffer.size() - m_stream.avail_out;
        if (produced > 0 && m_out.write(m_buffer.constData(), produced) != produced)
            return BZ_IO_ERROR;
        return rc;
    }

    QIODevice& m_out;
    bz_stream m_stream;
    QByteArray m_buffer;
    bool m_ok = false;
};

// Reads the decompressed lists block, a length L and L bytes of sectioned text,
// straight into the lists as the pieces come out of the decompressor.
class TListsBlockParser final {
public:
    explicit TListsBlockParser(TMultiOptions& lists) : m_reader(lists) {}

    void Feed(const char* data, qint64 size)
    {
        while (size > 0 && m_lengthBytes < 4) {
            m_length[m_lengthBytes++] = *data++;
            --size;
            if (m_lengthBytes == 4)
                m_left = std::max<qint64>(0, FromLE32(m_length));
        }
        const qint64 take = std::min(size, m_left);
        if (take > 0) {
            m_reader.Feed(std::string_view(data, static_cast<std::size_t>(take)));
            m_left -= take;
        }
    }

    // true when the block was whole
    bool Finish()
    {
        if (m_lengthBytes < 4 || m_left > 0)
            return false;
        m_reader.Finish();
        return true;
    }

private:
    TSectionedReader m_reader;
    char m_length[4] = {};
    int m_lengthBytes = 0;
    qint64 m_left = 0;
};

bool ReadHeader(QIODevice& stream, QByteArray* header)
{
    if (!stream.seek(0))
        return false;
    *header = stream.read(kHeaderSize);
    return header->size() == kHeaderSize;
}

// Decompresses compressedSize bytes of the stream into the lists.
bool DecompressLists(QIODevice& stream, qint64 compressedSize, TMultiOptions& lists)
{
    if (compressedSize <= 0 || compressedSize > stream.size() - stream.pos())
        return false;
    const qint64 bound = std::min(kMaxDecompressed, std::max(kMinDecompressBound, compressedSize * kMaxExpansion));
    bz_stream bz;
    std::memset(&bz, 0, sizeof bz);
    if (BZ2_bzDecompressInit(&bz, 0, 0) != BZ_OK)
        return false;
    struct TEnd {
        bz_stream* s;
        ~TEnd() { BZ2_bzDecompressEnd(s); }
    } end{&bz};

    TListsBlockParser parser(lists);
    QByteArray input;
    QByteArray output(kInputPiece, '\0');
    qint64 left = compressedSize;
    qint64 produced = 0;
    bool streamEnd = false;
    // a big project takes seconds to read: its progress is shown by the compressed bytes read
    struct TLoadProgress {
        bool shown = false;
        ~TLoadProgress()
        {
            if (shown) {
                AppBusy().Hide();
                AppBusy().SetMaximum(100);
            }
        }
    } busy;
    if (compressedSize > kShowLoadProgressFrom) {
        busy.shown = true;
        AppBusy().SetCaption(QStringLiteral("Loading project"));
        AppBusy().SetMaximum(compressedSize);
        AppBusy().Show();
    }
    while (!streamEnd) {
        if (bz.avail_in == 0) {
            if (left == 0)
                return false;  // the compressed data ended before the stream did
            input = stream.read(std::min(left, kInputPiece));
            if (input.isEmpty())
                return false;
            left -= input.size();
            if (busy.shown) {
                AppBusy().SetPosition(compressedSize - left);
                AppBusy().ProcessEvents();
            }
            bz.next_in = input.data();
            bz.avail_in = static_cast<unsigned>(input.size());
        }
        bz.next_out = output.data();
        bz.avail_out = static_cast<unsigned>(output.size());
        const int rc = BZ2_bzDecompress(&bz);
        if (rc != BZ_OK && rc != BZ_STREAM_END)
            return false;
        const qint64 n = output.size() - bz.avail_out;
        produced += n;
        if (produced > bound)
            return false;
        parser.Feed(output.constData(), n);
        // read on to the end of the stream, so that its checksums are tested
        streamEnd = rc == BZ_STREAM_END;
    }
    // skip what is left of the block so that the next block follows
    if (left > 0 && !stream.seek(stream.pos() + left))
        return false;
    return parser.Finish();
}

} // namespace

bool TProject::SaveToStream(QIODevice& stream)
{
    if (!stream.seek(0) || stream.write(MakeHeader(0, 0)) != kHeaderSize)
        return false;

    // lists block: its length is known only when the compressor has finished
    const qint64 listsStart = stream.pos();
    if (!WriteLE32(stream, 0))
        return false;
    const qint64 textSize = m_lists.SectionedSize();
    if (textSize > INT32_MAX)
        return false;
    bool ok = true;
    {
        TBz2Writer writer(stream);
        TBusyProgress& busy = AppBusy();
        busy.SetCaption(QStringLiteral("Compressing data..."));
        busy.SetMaximum(textSize);
        busy.Show();
        // the busy progress is hidden and reset also when compressing fails
        struct THide {
            TBusyProgress& busy;
            bool done = false;
            void Now()
            {
                if (done)
                    return;
                done = true;
                busy.Hide();
                busy.SetMaximum(100);
            }
            ~THide() { Now(); }
        } hide{busy};
        char length[4];
        ToLE32(length, static_cast<std::int32_t>(textSize));
        ok = writer.Write(std::string_view(length, 4));
        if (ok)
            // pieces small enough that the progress moves every few tens of milliseconds
            ok = m_lists.WriteSectioned(
                [&](std::string_view piece) {
                    if (!writer.Write(piece))
                        return false;
                    CompressProgress(writer.TotalIn());
                    return true;
                },
                256 * 1024);
        hide.Now();
        ok = writer.Finish() && ok;
        if (ok) {
            const qint64 compressed = writer.TotalOut();
            ok = compressed <= INT32_MAX && stream.seek(listsStart) && WriteLE32(stream, static_cast<std::int32_t>(compressed))
                && stream.seek(listsStart + 4 + compressed);
        }
    }
    if (!ok)
        return false;

    const qint64 thumbnailOffset = stream.pos();
    QByteArray thumbnail = m_thumbnail;
    if (!WriteBlock(stream, thumbnail))
        return false;
    const qint64 optionsOffset = stream.pos();
    QByteArray options = QByteArray::fromStdString(m_options.Text());
    if (!WriteBlock(stream, options))
        return false;
    if (optionsOffset > INT32_MAX)
        return false;
    const qint64 end = stream.pos();
    return stream.seek(0)
        && stream.write(MakeHeader(static_cast<std::int32_t>(optionsOffset), static_cast<std::int32_t>(thumbnailOffset))) == kHeaderSize
        && stream.seek(end);
}

void TProject::CompressProgress(qint64 bytesTakenIn)
{
    TBusyProgress& busy = AppBusy();
    busy.SetPosition(bytesTakenIn);
    busy.ProcessEvents();
}

bool TProject::LoadFromStream(QIODevice& stream)
{
    QByteArray header;
    if (!ReadHeader(stream, &header))
        return false;
    std::int32_t compressedSize = 0;
    if (!ReadLE32(stream, &compressedSize))
        return false;
    TMultiOptions lists;
    if (!DecompressLists(stream, compressedSize, lists))
        return false;
    if (TOptionsList* links = lists.FindList("Links")) {
        links->SetCaseSensitive(true);
        links->SetSorted(true);
    }
    QByteArray thumbnail;
    QByteArray optionsText;
    if (!ReadBlock(stream, thumbnail) || !ReadBlock(stream, optionsText))
        return false;
    m_lists.SwapLists(lists);
    m_thumbnail = thumbnail;
    m_options.SetText(ToView(optionsText));
    ReleaseThumbnail();
    return true;
}

bool TProject::LoadSummary(QIODevice& stream)
{
    QByteArray header;
    if (!ReadHeader(stream, &header))
        return false;
    const qint64 thumbnailOffset = FromLE32(header.constData() + 16);
    if (thumbnailOffset < kHeaderSize + 4 || thumbnailOffset > stream.size() - 4 || !stream.seek(thumbnailOffset))
        return false;
    QByteArray thumbnail;
    QByteArray optionsText;
    if (!ReadBlock(stream, thumbnail) || !ReadBlock(stream, optionsText))
        return false;
    m_thumbnail = thumbnail;
    m_options.SetText(ToView(optionsText));
    ReleaseThumbnail();
    return true;
}

namespace {

QString ProjectFilePath(const std::string& name)
{
    return ProjectsFolder() + ToQString(name) + QStringLiteral("/Info/project.dat");
}

} // namespace

bool TProject::LoadInfo(const std::string& name)
{
    if (!IsSafeDiskName(name))
        return false;
    QFile file(ProjectFilePath(name));
    // unbuffered: a summary reads the header, thumbnail and options and not one
    // byte of the compressed lists between them
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !LoadSummary(file))
        return false;
    SetDiskName(name);
    return true;
}

bool TProject::Load(const std::string& name)
{
    if (!IsSafeDiskName(name))
        return false;
    if (!LoadObjectFromFile(*this, ProjectFilePath(name)))
        return false;
    SetDiskName(name);
    return true;
}

bool TProject::Save(QString* error)
{
    if (!GetBoolean(m_options, "WasSaved")) {
        const std::string base = GetDiskName();
        std::string candidate = base;
        for (int n = 1; QFileInfo::exists(ProjectsFolder() + ToQString(candidate)); ++n)
            candidate = base + "(" + std::to_string(n) + ")";
        SetString(m_options, "DiskName", candidate);
    }
    SetBoolean(m_options, "WasSaved", true);
    const QString folder = Folder();
    if (!QDir().mkpath(folder + QStringLiteral("Info"))) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(folder + QStringLiteral("Info"));
        return false;
    }
    const QString path = folder + QStringLiteral("Info/project.dat");
    if (!SaveObjectToFile(*this, path)) {
        if (error)
            *error = QStringLiteral("Cannot write %1; the project file there was left as it was").arg(path);
        return false;
    }
    return true;
}

void TProject::DeleteFiles()
{
    const QString folder = Folder();
    QStringList files;
    ListFiles(folder + QStringLiteral("*.jpg"), files, false, false, false);
    DeleteListedFiles(files);
    ListFiles(folder + QStringLiteral("Info/*.dat"), files, false, false, false);
    DeleteListedFiles(files);
    QDir().rmdir(folder + QStringLiteral("Info"));
    QDir().rmdir(folder);
}

void ListFiles(const QString& mask, QStringList& names, bool withFolders, bool namesOnly, bool foldersOnly)
{
    names.clear();
    const QFileInfo maskInfo(mask);
    const QString folderPath = maskInfo.path();
    QString prefix = folderPath;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    const QDir folder(folderPath);
    if (withFolders) {
        if (!folder.exists() || !folder.isReadable())
            return;
        const QStringList subFolders = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
        for (const QString& name : subFolders)
            names.append(namesOnly ? name : prefix + name);
    }
    if (foldersOnly)
        return;
    const QStringList files = folder.entryList({maskInfo.fileName()}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString& name : files)
        names.append(namesOnly ? name : prefix + name);
}

void DeleteListedFiles(const QStringList& names)
{
    for (const QString& name : names)
        QFile::remove(name);
}
