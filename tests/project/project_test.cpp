#include "project/file_record.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"

#include "support/busy_recorder.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TEST(Project, NewProjectHasItsDefaultOptionsInOrder)
{
    TTempHome home;
    TProject project;
    const TOptionsList& o = project.Options();
    const char* const keys[] = {"UIN", "Title", "CreationDate", "URLKind", "MinWidth", "MinHeight", "MaxWidth",
                                "MaxHeight", "MinPicSize", "MaxPicSize", "MaxDocSize", "SkipByAspect", "SkipGIF",
                                "WasSaved", "Category", "Complete", "PicsFinished", "LinksFinished"};
    const char* const values[] = {nullptr, "No Title", nullptr, "0", "320", "200", "1024", "768", "20480", "512000",
                                  "204800", "TRUE", "TRUE", "FALSE", "Other", "FALSE", "0", "0"};
    ASSERT_EQ(o.Count(), 18);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(o.GetName(i), keys[i]);
        if (values[i]) {
            EXPECT_EQ(GetString(o, keys[i]), values[i]) << keys[i];
        }
    }
    EXPECT_EQ(GetString(o, "UIN").substr(0, 4), "PRJ-");
    const std::string created = GetString(o, "CreationDate");
    ASSERT_EQ(created.size(), 16u);
    EXPECT_EQ(created[4], '-');
    EXPECT_EQ(created[10], ' ');
    EXPECT_EQ(created[13], ':');
    EXPECT_FALSE(project.Running());

    ASSERT_NE(project.Documents(), nullptr);
    ASSERT_NE(project.Pictures(), nullptr);
    ASSERT_NE(project.Links(), nullptr);
    EXPECT_TRUE(project.Links()->Sorted());
    EXPECT_TRUE(project.Links()->CaseSensitive());
    EXPECT_EQ(project.Lists().SectionedText(), "[Documents]\r\n\r\n[Pictures]\r\n\r\n[Links]\r\n\r\n");
}

TEST(Project, PlaceholderThumbnailIsA160By120Jpeg)
{
    TProject project;
    ASSERT_TRUE(project.ThumbnailStream().startsWith("\xFF\xD8\xFF"));
    const QImage& image = project.GetThumbnail();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(160, 120));
    project.ReleaseThumbnail();
    project.ThumbnailStream() = "not a picture";
    EXPECT_TRUE(project.GetThumbnail().isNull());
}

struct TDiskNameCase {
    const char* title;
    const char* name;
};

class DiskNameFromTitles : public ::testing::TestWithParam<TDiskNameCase> {};

TEST_P(DiskNameFromTitles, KeepsSafeCharactersTransliteratesAndCuts)
{
    TProject project;
    SetString(project.Options(), "Title", GetParam().title);
    EXPECT_EQ(project.GetDiskName(), GetParam().name);
    EXPECT_EQ(GetString(project.Options(), "DiskName"), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Titles, DiskNameFromTitles,
                         ::testing::Values(TDiskNameCase{"My Gallery 2004!", "My_Gallery_"}, TDiskNameCase{"Фото", "foto"},
                                           TDiskNameCase{"ЁжИК й", "ezik__"}, TDiskNameCase{"Щука-Ъ", "suka-j"},
                                           TDiskNameCase{"             ", "___________"},
                                           TDiskNameCase{"../../etc", "______etc"}, TDiskNameCase{"a=b!c", "a=b!c"},
                                           TDiskNameCase{"Ünïcode😀x", "_n_code_x"}));

TEST(Project, DiskNameFallsBackToTheUINAndNeverLeavesTheProjectsFolder)
{
    TProject project;
    SetString(project.Options(), "Title", "");
    EXPECT_EQ(project.GetDiskName(), GetString(project.Options(), "UIN"));

    struct TCase {
        const char* stored;
        const char* used;
    } cases[] = {{"..", "__"}, {".", "_"}, {"a/b", "a_b"}, {"..\\x", "___x"}, {"good(1)", "good(1)"}};
    for (const TCase& c : cases) {
        TProject p;
        SetString(p.Options(), "DiskName", c.stored);
        EXPECT_EQ(p.GetDiskName(), c.used) << c.stored;
    }
    TProject unnamed;
    SetString(unnamed.Options(), "Title", "");
    SetString(unnamed.Options(), "UIN", "../PRJ-1");
    EXPECT_EQ(unnamed.GetDiskName(), "___PRJ-1");
    TProject nameless;
    SetString(nameless.Options(), "Title", "");
    SetString(nameless.Options(), "UIN", "");
    EXPECT_EQ(nameless.GetDiskName(), "Project");
    nameless.SetDiskName(std::string_view("a\0b", 3));
    EXPECT_TRUE(IsSafeDiskName(nameless.GetDiskName()));
}

TEST(Project, InfoLinesShowTheCountsRightAligned)
{
    TProject project;
    SetString(project.Options(), "Title", "Cats");
    project.AddEntryPoint();
    SetInteger(project.Options(), "PicsFinished", 12345);
    const QStringList info = project.GetInfo();
    ASSERT_EQ(info.size(), 5);
    EXPECT_EQ(info[0], "PROJECT INFO");
    EXPECT_EQ(info[1], "Title: Cats");
    EXPECT_EQ(info[2], QString::fromStdString("Created: " + GetString(project.Options(), "CreationDate")));
    EXPECT_EQ(info[3], "Links found/processed :     1      0");
    EXPECT_EQ(info[4], "Images found/processed:     0   12345");
}

TEST(Project, EntryPointIsTheFirstDocumentAndTheFirstLink)
{
    TProject project;
    SetString(project.Options(), "URL", "http://www.h.com/index.html");
    project.AddEntryPoint();
    ASSERT_EQ(project.Documents()->Count(), 1);
    TFileRecord r;
    ASSERT_TRUE(r.FromText(project.Documents()->Get(0)));
    EXPECT_EQ(project.Documents()->GetName(0), r.FileID);
    EXPECT_EQ(r.Link, "http://www.h.com/index.html");
    EXPECT_EQ(r.URL, r.Link);
    EXPECT_EQ(r.Referer, std::string(EntryPointReferer));
    EXPECT_EQ(r.Status, "flsInitial");
    EXPECT_EQ(r.Origin, "Entry Point");
    EXPECT_FALSE(r.IsPicture);
    ASSERT_EQ(project.Links()->Count(), 1);
    EXPECT_EQ(project.Links()->Get(0), r.Link);
}

std::string Line(TFileRecord r)
{
    return r.ToLine();
}

TEST(Project, LoadingTheViewsTurnsProcessingIntoDeferredAndBindsEveryRow)
{
    TBusyRecorder busy;
    TProject project;
    TOptionsList& documents = *project.Documents();
    const char* const states[] = {"flsProcessing", "flsSucceed", "flsDeferred", "flsProcessing"};
    std::vector<std::string> ids;
    for (const char* state : states) {
        TFileRecord r;
        r.Link = "http://h/" + std::string(state);
        r.Status = state;
        r.ListItem = 987654321;  // stale, from another run
        ids.push_back(r.FileID);
        documents.Add(Line(r));
    }
    documents.Add("FILE-BROKEN=not,a,record");
    TFileRecord pic;
    pic.Link = "http://h/p.jpg";
    pic.IsPicture = true;
    pic.Status = "flsProcessing";
    project.Pictures()->Add(Line(pic));

    TListRowModel docsView({"URL", "Attempt", "Result", "Referer"});
    TListRowModel picsView({"Path", "Attempt", "Result", "Info", "File Size", "Referer"});
    docsView.AddRow();  // earlier rows are cleared
    project.LoadDocumentsView(&docsView);
    project.LoadPicturesView(&picsView);
    EXPECT_EQ(project.DocsView(), &docsView);
    EXPECT_EQ(project.PicsView(), &picsView);

    ASSERT_EQ(docsView.rowCount(), 5);
    const char* const after[] = {"flsDeferred", "flsSucceed", "flsDeferred", "flsDeferred"};
    for (int i = 0; i < 4; ++i) {
        TFileRecord r;
        ASSERT_TRUE(r.FromText(documents.Get(i)));
        EXPECT_EQ(r.Status, after[i]);
        EXPECT_EQ(r.FileID, ids[static_cast<std::size_t>(i)]);
        EXPECT_EQ(docsView.RowOf(r.ListItem), i);
        EXPECT_EQ(docsView.ImageIndex(i), i == 1 ? 1 : 4);
    }
    // a line that does not read keeps its text and shows its name
    EXPECT_EQ(documents.Get(4), "FILE-BROKEN=not,a,record");
    EXPECT_EQ(docsView.Caption(4), "FILE-BROKEN");
    TFileRecord p;
    ASSERT_TRUE(p.FromText(project.Pictures()->Get(0)));
    EXPECT_EQ(p.Status, "flsDeferred");
    EXPECT_EQ(picsView.RowOf(p.ListItem), 0);
    EXPECT_EQ(picsView.SubItems(0).size(), 6);
    EXPECT_EQ(busy.events, QStringList({"show Loading links", "hide Loading links", "show Loading images", "hide Loading images"}));
    EXPECT_FALSE(busy.IsVisible());
}

TEST(RowModel, HeldUpdatesReachTheViewsInOneBatch)
{
    TListRowModel view({"URL", "Attempt"});
    view.SetRow(view.RowOf(view.AddRow()), 0, "first", {});
    int inserts = 0;
    int changes = 0;
    QObject::connect(&view, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        ++inserts;
        EXPECT_EQ(first, 1);
        EXPECT_EQ(last, 3);
    });
    QObject::connect(&view, &QAbstractItemModel::dataChanged, [&] { ++changes; });
    view.BeginUpdate();
    for (int i = 0; i < 3; ++i)
        view.SetRow(view.RowOf(view.AddRow()), 1, QString::number(i), {"x"});
    view.SetRow(0, 2, "changed", {});
    EXPECT_EQ(view.rowCount(), 1);  // the views learn of the rows only at the end
    view.EndUpdate();
    EXPECT_EQ(view.rowCount(), 4);
    EXPECT_EQ(inserts, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view.data(view.index(3, 0)).toString(), "2");
    EXPECT_EQ(view.data(view.index(0, 0), TListRowModel::ImageIndexRole).toInt(), 2);
    EXPECT_EQ(view.headerData(1, Qt::Horizontal).toString(), "Attempt");
}

} // namespace
