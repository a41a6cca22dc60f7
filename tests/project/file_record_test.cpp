#include "project/file_record.h"
#include "project/row_model.h"
#include "settings/comma_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TFileRecord FoundLink()
{
    TFileRecord r;
    r.Link = "http://www.h.com/gallery/a.html";
    r.Referer = "http://www.h.com/";
    r.Origin = "None";
    return r;
}

TEST(FileRecord, TextFormHas23ItemsAndFillsURLFromLink)
{
    TFileRecord r = FoundLink();
    const std::string text = r.ToText();
    EXPECT_EQ(r.URL, r.Link);
    std::vector<std::string> items;
    ReadCommaList(text, items);
    ASSERT_EQ(items.size(), 23u);
    EXPECT_EQ(items[0], r.Link);
    EXPECT_EQ(items[1], r.FileID);
    EXPECT_EQ(items[4], "flsInitial");
    EXPECT_EQ(items[13], "DOC");
    EXPECT_EQ(text.substr(text.size() - 7), ",,,,,,,");
    EXPECT_EQ(text, r.Link + "," + r.FileID + ",," + r.Referer + ",flsInitial,0,None,0,,0," + r.Link + ",,,DOC,0,0,,,,,,,");
}

TEST(FileRecord, ReadsBackEveryStoredField)
{
    TFileRecord r = FoundLink();
    r.URL = "http://www.h.com/a b,\"c\".jpg";
    r.FileName = "004A0F3B02C5.jpg";
    r.Status = "flsSucceed";
    r.Attempts = 2;
    r.ContentSize = 52224;
    r.HTTPCode = 503;
    r.ResultText = "HTTP Error: 503";
    r.ListItem = 0x1234500000007LL;
    r.IsPicture = true;
    r.PicWidth = 1536;
    r.PicHeight = 1024;
    r.HeaderRetry = true;
    const std::string line = r.ToLine();
    EXPECT_NE(line.find("\"HTTP Error: 503\""), std::string::npos);
    for (const std::string& text : {line, r.ToText()}) {
        TFileRecord back;
        ASSERT_TRUE(back.FromText(text));
        EXPECT_EQ(back.URL, r.URL);
        EXPECT_EQ(back.FileID, r.FileID);
        EXPECT_EQ(back.FileName, r.FileName);
        EXPECT_EQ(back.Referer, r.Referer);
        EXPECT_EQ(back.Status, r.Status);
        EXPECT_EQ(back.Attempts, 2);
        EXPECT_EQ(back.Origin, "None");
        EXPECT_EQ(back.ContentSize, 52224);
        EXPECT_EQ(back.HTTPCode, 503);
        EXPECT_EQ(back.Link, r.Link);
        EXPECT_EQ(back.ResultText, r.ResultText);
        EXPECT_EQ(back.ListItem, r.ListItem);
        EXPECT_TRUE(back.IsPicture);
        EXPECT_EQ(back.PicWidth, 1536);
        EXPECT_EQ(back.PicHeight, 1024);
        EXPECT_FALSE(back.HeaderRetry);
    }
    TFileRecord copy;
    copy.Assign(r);
    EXPECT_EQ(copy.ToLine(), r.ToLine());
}

TEST(FileRecord, ControlCharactersAndNulInFieldsSurvive)
{
    TFileRecord r = FoundLink();
    r.ResultText = std::string("line\r\nbreak\0end", 15);
    TFileRecord back;
    ASSERT_TRUE(back.FromText(r.ToText()));
    EXPECT_EQ(back.ResultText, r.ResultText);
}

TEST(FileRecord, MalformedTextsAreRefusedKeepingWhatWasReadBefore)
{
    TFileRecord r = FoundLink();
    std::vector<std::string> items;
    ReadCommaList(r.ToText(), items);
    items.resize(15);
    TFileRecord partial;
    partial.PicHeight = 77;
    partial.PicWidth = 77;
    EXPECT_FALSE(partial.FromText(WriteCommaList(items)));
    EXPECT_EQ(partial.URL, r.Link);       // read before the missing item
    EXPECT_EQ(partial.PicWidth, 0);       // item 15 was there
    EXPECT_EQ(partial.PicHeight, 77);     // item 16 was not

    ReadCommaList(r.ToText(), items);
    items[5] = "two";
    TFileRecord badNumber;
    badNumber.Status = "before";
    badNumber.Origin = "before";
    EXPECT_FALSE(badNumber.FromText(WriteCommaList(items)));
    EXPECT_EQ(badNumber.Status, "flsInitial");
    EXPECT_EQ(badNumber.Origin, "before");
    EXPECT_FALSE(TFileRecord().FromText(""));
}

TEST(FileRecord, GalleryWordsAreLookedForInTheURLWithCase)
{
    struct TCase {
        const char* url;
        bool gallery;
    } cases[] = {{"http://h/photos/x.jpg", true}, {"http://h/img.jpeg", true}, {"http://h/image/1", true},
                 {"http://h/pics/", true},        {"http://h/Gallery/", false}, {"http://h/galleries", true},
                 {"http://h/PIC/", false},        {"http://h/about.html", false}};
    for (const TCase& c : cases) {
        TFileRecord r;
        r.URL = c.url;
        EXPECT_EQ(r.LooksLikeGallery(), c.gallery) << c.url;
    }
}

TEST(FileRecord, InfoLines)
{
    TFileRecord r = FoundLink();
    r.URL = "http://www.h.com/final.html";
    r.ResultText = "OK";
    EXPECT_EQ(r.GetInfo(), QStringList({"LINK INFO", "Link: http://www.h.com/gallery/a.html", "URL: http://www.h.com/final.html",
                                        "Referer: http://www.h.com/", "Result: OK"}));
}

TEST(FileRecord, RowShowsStateImageCaptionAndSubItems)
{
    TListRowModel pictures({"Path", "Attempt", "Result", "Info", "File Size", "Referer"});
    struct TCase {
        int bytes;
        const char* kb;
    } sizes[] = {{52224, "51"}, {52736, "52"}, {51712, "50"}, {0, "0"}, {1535, "1"}};
    for (const TCase& c : sizes) {
        TFileRecord r = FoundLink();
        r.URL = "http://www.h.com/pics/a.jpg";
        r.IsPicture = true;
        r.PicWidth = 1536;
        r.PicHeight = 1024;
        r.ContentSize = c.bytes;
        r.Status = "flsSucceed";
        r.ListItem = pictures.AddRow();
        const int row = r.UpdateListItem();
        ASSERT_GE(row, 0);
        EXPECT_EQ(pictures.ImageIndex(row), 1);
        EXPECT_EQ(pictures.Caption(row), "/pics/a.jpg");
        EXPECT_EQ(pictures.SubItems(row),
                  QStringList({"0", "", "1536 x 1024", c.kb, "http://www.h.com/", QString::fromStdString(r.FileID)}));
    }

    TListRowModel documents({"URL", "Attempt", "Result", "Referer"});
    TFileRecord d = FoundLink();
    d.URL = "http://host";
    d.Status = "flsWhatever";
    d.Attempts = 3;
    d.ResultText = "Stopped";
    d.ListItem = documents.AddRow();
    const int row = d.UpdateListItem();
    EXPECT_EQ(documents.ImageIndex(row), -1);
    EXPECT_EQ(documents.Caption(row), "http://host");  // no path: the whole address
    EXPECT_EQ(documents.SubItems(row), QStringList({"3", "Stopped", "http://www.h.com/", QString::fromStdString(d.FileID)}));
    EXPECT_EQ(documents.data(documents.index(row, 2)).toString(), "Stopped");

    const char* const states[] = {"flsInitial", "flsSucceed", "flsFailed", "flsProcessing", "flsDeferred"};
    for (int i = 0; i < 5; ++i) {
        d.Status = states[i];
        EXPECT_EQ(documents.ImageIndex(d.UpdateListItem()), i);
    }
}

TEST(FileRecord, RowReferencesNameNoRowOnceTheRowsAreCleared)
{
    TListRowModel view({"URL", "Attempt", "Result", "Referer"});
    TFileRecord r = FoundLink();
    EXPECT_EQ(r.UpdateListItem(), -1);  // no row
    r.ListItem = view.AddRow();
    EXPECT_EQ(r.UpdateListItem(), 0);
    view.ClearRows();
    view.AddRow();
    EXPECT_EQ(r.UpdateListItem(), -1);
    r.ListItem = 12345;  // a reference from another run
    EXPECT_EQ(r.UpdateListItem(), -1);
}

} // namespace
