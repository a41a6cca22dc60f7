#pragma once

#include "settings/multi_options.h"
#include "settings/options_list.h"
#include "settings/persist.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

class TListRowModel;
class TFileRecord;
class TBusyProgress;

// One crawl project: its starting address and filters, counters, the lists of
// documents, pictures and every queued address, a thumbnail and the name of the
// folder that holds its pictures.
class TProject final : public TPersistObj {
public:
    TProject();
    ~TProject() override;
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    TMultiOptions& Lists() { return m_lists; }
    const TMultiOptions& Lists() const { return m_lists; }
    TOptionsList& Options() { return m_options; }
    const TOptionsList& Options() const { return m_options; }
    TOptionsList* Documents() const { return m_lists.FindList("Documents"); }
    TOptionsList* Pictures() const { return m_lists.FindList("Pictures"); }
    TOptionsList* Links() const { return m_lists.FindList("Links"); }

    TListRowModel* DocsView() const { return m_docsView; }
    TListRowModel* PicsView() const { return m_picsView; }
    bool Running() const { return m_running; }
    void SetRunning(bool running) { m_running = running; }

    QStringList GetInfo() const;
    // The folder name; made from the title (or the UIN) and stored when empty.
    std::string GetDiskName();
    void SetDiskName(std::string_view name);
    // The project's folder: ProjectsFolder + disk name + "/".
    QString Folder();

    // The thumbnail's JPEG bytes.
    QByteArray& ThumbnailStream() { return m_thumbnail; }
    const QByteArray& ThumbnailStream() const { return m_thumbnail; }
    // Decodes the thumbnail; a null image when its bytes are not a picture.
    const QImage& GetThumbnail();
    void ReleaseThumbnail();

    // Queues the starting address as the first document.
    void AddEntryPoint();
    // Fill the list views from the lists; records left processing become deferred.
    void LoadDocumentsView(TListRowModel* view);
    void LoadPicturesView(TListRowModel* view);

    // The project file. Loading reads into fresh lists and takes them over only
    // when the whole file has been read.
    bool SaveToStream(QIODevice& stream) override;
    bool LoadFromStream(QIODevice& stream) override;
    bool LoadSummary(QIODevice& stream);
    bool LoadInfo(const std::string& name);
    bool Load(const std::string& name);
    // Gives the project its folder on the first save and writes the project file
    // beside the old one, renaming it over the old one only when complete.
    bool Save(QString* error = nullptr);
    void DeleteFiles();
    void CompressProgress(qint64 bytesTakenIn);

    // The crawl queue: the Documents and Pictures lists are the queue, a record's
    // state says whether it still waits.
    bool AcceptLink(std::string_view address) const;
    // Keeps, in their order, the addresses AcceptLink admits.
    void FilterLinks(std::vector<std::string>& links) const;
    // Queues every address not queued before as a document; gallery-like ones go
    // to the front, each after the one queued early before it.
    void AddLinks(const std::vector<std::string>& links, std::string_view referer);
    int GetInsertIndex() const;
    void SetInsertIndex(int index);
    // Fill record with the next waiting document or picture; its Link is "NO MORE
    // DOCUMENTS" or "NO MORE PICTURES" when there is none.
    void NextDocument(TFileRecord& record);
    void NextPicture(TFileRecord& record);
    // Writes a record back under its FileID, in Pictures or in Documents.
    void StoreRecord(TFileRecord& record);
    // The next (or previous) downloaded picture after current.
    void StepPicture(const TFileRecord& current, TFileRecord& found, bool backward);
    // A downloaded picture drawn at random (up to 200 draws); record.Status is
    // "flsSucceed" when one was found.
    void RandomPicture(TFileRecord& record);

    // The placeholder thumbnail of a new project: a 160 x 120 JPEG.
    static QByteArray PlaceholderThumbnail();

private:
    // Documents or Pictures, made when missing, with their lines tagged by state.
    TOptionsList& QueueList(bool pictures);
    void LoadView(TOptionsList& list, TListRowModel* view, const QString& caption, bool byName);

    QByteArray m_thumbnail;
    TMultiOptions m_lists;
    QImage m_thumbnailImage;
    TOptionsList m_options;
    TListRowModel* m_docsView = nullptr;
    TListRowModel* m_picsView = nullptr;
    bool m_running = false;
};

// The folder name that a title gives: letters, digits and "-_=!" kept, Cyrillic
// letters transliterated, everything else "_", cut to 11 characters.
std::string DiskNameFromTitle(std::string_view title);
// A folder name that cannot leave the projects folder.
bool IsSafeDiskName(std::string_view name);
std::string SanitizeDiskName(std::string_view name);

// Addresses holding any of these are never admitted (letter case matters).
inline constexpr std::string_view ExcludedExtensions[] = {
    ".gif", ".png", ".zip", ".gz",  ".bin", ".rar", ".ace", ".bmp", ".tiff", ".tif", ".pdf", ".doc",
    ".txt", ".rtf", ".mp",  ".avi", ".mov", ".ra",  ".plm", ".tar", ".wri",  ".ico", ".css"};
inline constexpr std::string_view NoMoreDocuments = "NO MORE DOCUMENTS";
inline constexpr std::string_view NoMorePictures = "NO MORE PICTURES";

// The address sent as the referrer of a project's starting document.
inline constexpr std::string_view EntryPointReferer = "http://www.fotoloom.org/";

// Disk helpers. ListFiles fills names with the entries of mask's folder: with
// withFolders its sub-folders, unless foldersOnly the files matching the mask;
// bare names or the folder + the name.
void ListFiles(const QString& mask, QStringList& names, bool withFolders, bool namesOnly, bool foldersOnly);
void DeleteListedFiles(const QStringList& names);
