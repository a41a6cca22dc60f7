#include "project/file_record.h"
#include "project/project.h"
#include "project/project_list.h"
#include "settings/app_settings.h"
#include "settings/persist.h"

#include "support/busy_recorder.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>

#include <bzlib.h>

#include <random>
#include <stdexcept>

namespace {

void AddDocuments(TProject& project, int count, const std::string& prefix = "page")
{
    for (int i = 0; i < count; ++i) {
        TFileRecord r;
        r.Link = "http://www.h.com/gallery/" + prefix + std::to_string(i) + ".html";
        r.Referer = "http://www.h.com/";
        r.Origin = "None";
        project.Documents()->Add(r.ToLine());
        project.Links()->Add(r.Link);
    }
}

QByteArray Saved(TProject& project)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::ReadWrite);
    EXPECT_TRUE(project.SaveToStream(out));
    return bytes;
}

QByteArray Bunzip(const QByteArray& compressed)
{
    QByteArray out(64 << 20, '\0');
    unsigned int size = static_cast<unsigned>(out.size());
    if (BZ2_bzBuffToBuffDecompress(out.data(), &size, const_cast<char*>(compressed.constData()),
                                   static_cast<unsigned>(compressed.size()), 0, 0) != BZ_OK)
        return {};
    out.resize(size);
    return out;
}

TEST(ProjectFile, LayoutHeaderBlocksAndOffsets)
{
    TTempHome home;
    TProject project;
    SetString(project.Options(), "Title", "Cats");
    AddDocuments(project, 3);
    const QByteArray file = Saved(project);
    ASSERT_GT(file.size(), 232);
    EXPECT_EQ(file.at(0), '\x0A');
    EXPECT_EQ(file.mid(1, 10), "PLMPRJ 2.0");
    EXPECT_EQ(file.at(20), '\x21');
    const std::int32_t l1 = FromLE32(file.constData() + 220);
    const std::int32_t thumbOffset = FromLE32(file.constData() + 16);
    const std::int32_t optionsOffset = FromLE32(file.constData() + 12);
    EXPECT_EQ(thumbOffset, 224 + l1);
    const std::int32_t l2 = FromLE32(file.constData() + thumbOffset);
    EXPECT_EQ(file.mid(thumbOffset + 4, l2), project.ThumbnailStream());
    EXPECT_EQ(optionsOffset, thumbOffset + 4 + l2);
    const std::int32_t l3 = FromLE32(file.constData() + optionsOffset);
    EXPECT_EQ(optionsOffset + 4 + l3, file.size());  // the options block ends the file
    EXPECT_EQ(file.mid(optionsOffset + 4), QByteArray::fromStdString(project.Options().Text()));

    // the lists block is a plain bzip2 stream (block size 6) of one block: L, then the sectioned text
    const QByteArray compressed = file.mid(224, l1);
    EXPECT_TRUE(compressed.startsWith("BZh6"));
    const QByteArray inner = Bunzip(compressed);
    ASSERT_GE(inner.size(), 4);
    const std::string text = project.Lists().SectionedText();
    EXPECT_EQ(FromLE32(inner.constData()), static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(inner.mid(4).toStdString(), text);
}

TEST(ProjectFile, LoadGivesBackListsThumbnailAndOptions)
{
    TTempHome home;
    TProject project;
    AddDocuments(project, 700);
    project.Links()->Add("http://A/");
    project.Links()->Add("http://a/");
    project.ThumbnailStream() = QByteArray("\xFF\xD8\xFF thumb", 10);
    SetString(project.Options(), "Comments", "two\r\nlines");
    const QByteArray file = Saved(project);

    TProject loaded;
    QByteArray bytes = file;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    ASSERT_TRUE(loaded.LoadFromStream(in));
    EXPECT_EQ(loaded.Lists().SectionedText(), project.Lists().SectionedText());
    EXPECT_EQ(loaded.ThumbnailStream(), project.ThumbnailStream());
    EXPECT_EQ(loaded.Options().Text(), project.Options().Text());
    ASSERT_NE(loaded.Links(), nullptr);
    EXPECT_TRUE(loaded.Links()->Sorted());
    EXPECT_TRUE(loaded.Links()->CaseSensitive());
    EXPECT_EQ(loaded.Links()->IndexOf("http://a/"), loaded.Links()->IndexOf("http://A/") + 1);
    EXPECT_EQ(GetString(*loaded.Documents(), project.Documents()->GetName(699)), GetString(*project.Documents(), project.Documents()->GetName(699)));
}

TEST(ProjectFile, SummaryReadsOnlyThumbnailAndOptions)
{
    TTempHome home;
    TProject project;
    AddDocuments(project, 5);
    QByteArray file = Saved(project);
    // spoil the compressed lists: a summary must not look at them
    for (int i = 230; i < 240; ++i)
        file[i] = 'x';
    TProject summary;
    AddDocuments(summary, 2, "mine");
    const std::string lists = summary.Lists().SectionedText();
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    ASSERT_TRUE(summary.LoadSummary(in));
    EXPECT_EQ(summary.Options().Text(), project.Options().Text());
    EXPECT_EQ(summary.ThumbnailStream(), project.ThumbnailStream());
    EXPECT_EQ(summary.Lists().SectionedText(), lists);
    TProject full;
    QBuffer again(&file);
    again.open(QIODevice::ReadOnly);
    EXPECT_FALSE(full.LoadFromStream(again));
}

TEST(ProjectFile, DamagedFilesAreRefusedAndLeaveTheProjectAsItWas)
{
    TTempHome home;
    TProject source;
    AddDocuments(source, 50);
    const QByteArray good = Saved(source);
    const std::int32_t l1 = FromLE32(good.constData() + 220);

    std::vector<std::pair<const char*, QByteArray>> damaged;
    for (int cut : {0, 100, 219, 223, 224 + l1 / 2, 224 + l1 + 2, static_cast<int>(good.size()) - 1})
        damaged.emplace_back("cut short", good.left(cut));
    QByteArray negative = good;
    ToLE32(negative.data() + 220, -5);
    damaged.emplace_back("negative lists length", negative);
    QByteArray huge = good;
    ToLE32(huge.data() + 220, 0x7FFFFFF0);
    damaged.emplace_back("lists length past the end", huge);
    QByteArray corrupt = good;
    corrupt[224 + l1 / 2] = static_cast<char>(corrupt[224 + l1 / 2] ^ 0x5A);
    damaged.emplace_back("corrupt bzip2", corrupt);
    QByteArray badThumb = good;
    ToLE32(badThumb.data() + FromLE32(good.constData() + 16), 1 << 30);
    damaged.emplace_back("thumbnail past the end", badThumb);
    QByteArray innerTooLong;
    {
        // a valid bzip2 stream whose inner length promises more than it holds
        QByteArray inner(4, '\0');
        ToLE32(inner.data(), 1000);
        inner += "[Documents]\r\n";
        QByteArray compressed(4096, '\0');
        unsigned size = 4096;
        BZ2_bzBuffToBuffCompress(compressed.data(), &size, inner.data(), static_cast<unsigned>(inner.size()), 6, 0, 0);
        compressed.resize(size);
        innerTooLong = good.left(220);
        QByteArray length(4, '\0');
        ToLE32(length.data(), static_cast<std::int32_t>(size));
        innerTooLong += length + compressed + good.mid(224 + l1);
    }
    damaged.emplace_back("inner block cut", innerTooLong);
    QByteArray bomb;
    {
        // 16 MB of one letter compresses to a few hundred bytes
        QByteArray inner(4, '\0');
        const int textSize = 16 << 20;
        ToLE32(inner.data(), textSize);
        inner += "[Documents]\r\n" + QByteArray(textSize - 13, 'A');
        QByteArray compressed(1 << 20, '\0');
        unsigned size = compressed.size();
        ASSERT_EQ(BZ2_bzBuffToBuffCompress(compressed.data(), &size, inner.data(), static_cast<unsigned>(inner.size()), 6, 0, 0), BZ_OK);
        compressed.resize(size);
        bomb = good.left(220);
        QByteArray length(4, '\0');
        ToLE32(length.data(), static_cast<std::int32_t>(size));
        bomb += length + compressed + good.mid(224 + l1);
    }
    damaged.emplace_back("decompression bomb", bomb);

    for (auto& [what, bytes] : damaged) {
        TProject project;
        AddDocuments(project, 3, "kept");
        SetString(project.Options(), "Title", "Kept");
        const std::string lists = project.Lists().SectionedText();
        const std::string options = project.Options().Text();
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        EXPECT_FALSE(project.LoadFromStream(in)) << what;
        EXPECT_EQ(project.Lists().SectionedText(), lists) << what;
        EXPECT_EQ(project.Options().Text(), options) << what;
    }
}

TEST(ProjectStorage, FirstSaveChoosesAFreeFolderAndLaterSavesKeepIt)
{
    TTempHome home;
    QDir().mkpath(ProjectsFolder() + "Cats");
    QDir().mkpath(ProjectsFolder() + "Cats(1)");
    TProject project;
    SetString(project.Options(), "Title", "Cats");
    ASSERT_TRUE(project.Save());
    EXPECT_EQ(project.GetDiskName(), "Cats(2)");
    EXPECT_TRUE(GetBoolean(project.Options(), "WasSaved"));
    EXPECT_TRUE(QFileInfo::exists(ProjectsFolder() + "Cats(2)/Info/project.dat"));
    SetString(project.Options(), "Title", "Dogs");
    ASSERT_TRUE(project.Save());
    EXPECT_EQ(project.GetDiskName(), "Cats(2)");
    EXPECT_FALSE(QFileInfo::exists(ProjectsFolder() + "Dogs"));

    TProject loaded;
    ASSERT_TRUE(loaded.Load("Cats(2)"));
    EXPECT_EQ(GetString(loaded.Options(), "Title"), "Dogs");
    TProject info;
    ASSERT_TRUE(info.LoadInfo("Cats(2)"));
    EXPECT_EQ(info.GetDiskName(), "Cats(2)");
    EXPECT_FALSE(info.LoadInfo("Cats"));      // a folder without a project file
    EXPECT_FALSE(info.Load("../Projects/Cats(2)"));  // never outside the projects folder
}

TEST(ProjectStorage, SaveShowsCompressionProgressAndHidesItAgain)
{
    TTempHome home;
    TBusyRecorder busy;
    TProject project;
    AddDocuments(project, 20000);
    ASSERT_TRUE(project.Save());
    EXPECT_EQ(busy.events, QStringList({"show Compressing data...", "hide Compressing data..."}));
    EXPECT_FALSE(busy.IsVisible());
    EXPECT_EQ(busy.Maximum(), 100);
    EXPECT_GT(busy.processEventsCalls, 1);
    // positions are the compressor's count of bytes taken in
    EXPECT_GT(busy.maxPositionSeen, project.Lists().SectionedSize() / 2);
    EXPECT_LE(busy.maxPositionSeen, project.Lists().SectionedSize() + 4);
}

// Throws from the middle of a save, as a crash or a full disk would cut it off.
class TCuttingBusy final : public TBusyProgress {
public:
    TCuttingBusy() { SetAppBusy(this); }
    ~TCuttingBusy() override { SetAppBusy(nullptr); }
    void ProcessEvents() override { throw std::runtime_error("cut off"); }
};

TEST(ProjectStorage, ASaveCutOffLeavesThePreviousFileWhole)
{
    TTempHome home;
    TProject project;
    SetString(project.Options(), "Title", "Safe");
    AddDocuments(project, 10);
    ASSERT_TRUE(project.Save());
    const QString path = ProjectsFolder() + "Safe/Info/project.dat";
    const QByteArray before = ReadFileBytes(path);
    AddDocuments(project, 5000, "more");
    {
        TCuttingBusy cutting;
        EXPECT_THROW(project.Save(), std::runtime_error);
        EXPECT_FALSE(cutting.IsVisible());
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(QDir(ProjectsFolder() + "Safe/Info").entryList(QDir::Files), QStringList({"project.dat"}));
    ASSERT_TRUE(project.Save());
    TProject loaded;
    ASSERT_TRUE(loaded.Load("Safe"));
    EXPECT_EQ(loaded.Documents()->Count(), 5010);
}

TEST(ProjectStorage, DeleteFilesRemovesPicturesAndProjectFileButNotForeignFiles)
{
    TTempHome home;
    TProject project;
    SetString(project.Options(), "Title", "Gone");
    ASSERT_TRUE(project.Save());
    const QString folder = ProjectsFolder() + "Gone/";
    WriteFileBytes(folder + "004A0F3B02C5.jpg", "jpeg");
    WriteFileBytes(folder + "notes.txt", "mine");
    project.DeleteFiles();
    EXPECT_FALSE(QFileInfo::exists(folder + "004A0F3B02C5.jpg"));
    EXPECT_FALSE(QFileInfo::exists(folder + "Info"));
    EXPECT_TRUE(QFileInfo::exists(folder + "notes.txt"));
    QFile::remove(folder + "notes.txt");
    project.DeleteFiles();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(DiskHelpers, ListFilesByMaskWithAndWithoutFolders)
{
    TTempHome home;
    const QString root = home.Path() + "list/";
    WriteFileBytes(root + "a.jpg", "");
    WriteFileBytes(root + "b.JPG", "");
    WriteFileBytes(root + "c.dat", "");
    QDir().mkpath(root + "sub");
    QStringList names;
    ListFiles(root + "*.jpg", names, false, true, false);
    names.sort();
    EXPECT_EQ(names, QStringList({"a.jpg", "b.JPG"}));
    ListFiles(root + "*", names, true, true, true);
    EXPECT_EQ(names, QStringList({"sub"}));
    ListFiles(root + "*.dat", names, true, false, false);
    names.sort();
    EXPECT_EQ(names, QStringList({root + "c.dat", root + "sub"}));
    ListFiles(home.Path() + "missing/*", names, true, true, false);
    EXPECT_TRUE(names.isEmpty());
    DeleteListedFiles({root + "a.jpg", root + "nothing-there.jpg"});
    EXPECT_FALSE(QFileInfo::exists(root + "a.jpg"));
}

TEST(ProjectList, ReadsEveryGoodFolderOnceByUIN)
{
    TTempHome home;
    TProject first;
    SetString(first.Options(), "Title", "First");
    ASSERT_TRUE(first.Save());
    TProject second;
    SetString(second.Options(), "Title", "Second");
    ASSERT_TRUE(second.Save());
    QDir().mkpath(ProjectsFolder() + "Empty");
    // a copy of the first project's folder under another name
    QDir().mkpath(ProjectsFolder() + "Copy/Info");
    QFile::copy(ProjectsFolder() + "First/Info/project.dat", ProjectsFolder() + "Copy/Info/project.dat");

    TBusyRecorder busy;
    TProjectList list;
    list.LoadProjects();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_GE(list.IndexOfUIN(GetString(first.Options(), "UIN")), 0);
    EXPECT_GE(list.IndexOfUIN(GetString(second.Options(), "UIN")), 0);
    EXPECT_EQ(list.IndexOfUIN("PRJ-NONE"), -1);
    EXPECT_EQ(busy.events, QStringList({"show Loading projects", "hide Loading projects"}));
    EXPECT_EQ(busy.Maximum(), 100);
    list.DeleteProject(GetString(second.Options(), "UIN"));
    EXPECT_EQ(list.IndexOfUIN(GetString(second.Options(), "UIN")), -1);
    EXPECT_FALSE(QFileInfo::exists(ProjectsFolder() + "Second"));
}

} // namespace
