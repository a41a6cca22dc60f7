#pragma once

#include "crawl/crawl_scheduler.h"
#include "project/file_record.h"
#include "project/project.h"
#include "project/row_model.h"
#include "settings/app_settings.h"

#include "support/http_test_server.h"
#include "support/temp_home.h"

#include <QBuffer>
#include <QEventLoop>
#include <QImage>
#include <QImageWriter>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A JPEG of the given size in pixels, padded with comment segments to at least
// padTo bytes: before its frame header, or at its end.
inline QByteArray MakeJpeg(int width, int height, int padTo = 0, bool padBeforeFrame = true)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    writer.write(image);
    QByteArray comments;
    while (bytes.size() + comments.size() < padTo) {
        const int length = std::min(60000, static_cast<int>(padTo - bytes.size() - comments.size()) + 4);
        comments += "\xFF\xFE";
        comments += static_cast<char>((length >> 8) & 0xFF);
        comments += static_cast<char>(length & 0xFF);
        comments += QByteArray(length - 2, 'c');
    }
    if (!padBeforeFrame)
        return bytes.left(bytes.size() - 2) + comments + bytes.right(2);
    return bytes.left(2) + comments + bytes.mid(2);
}

// A project on a test server's site, its list views, and a scheduler to crawl it.
class TCrawlFixture {
public:
    TTempHome home;
    THttpTestServer server;
    std::unique_ptr<TProject> project;
    TListRowModel docsView{{"URL", "Attempt", "Result", "Referer"}};
    TListRowModel picsView{{"Path", "Attempt", "Result", "Info", "File Size", "Referer"}};
    TCrawlScheduler scheduler;
    bool finished = false;

    TCrawlFixture()
    {
        QObject::connect(&scheduler, &TCrawlScheduler::CrawlFinished, [this] { finished = true; });
        scheduler.SetTickInterval(15);
    }

    // A saved project whose starting document is path on the server.
    void MakeProject(const QByteArray& path = "/")
    {
        project = std::make_unique<TProject>();
        TOptionsList& o = project->Options();
        SetString(o, "Title", "Crawl test");
        SetString(o, "URL", server.Url(path).toStdString());
        SetString(o, "Domain", "127.0.0.1");
        project->AddEntryPoint();
        ASSERT_TRUE(project->Save());
        ShowLists();
    }

    void ShowLists()
    {
        project->LoadDocumentsView(&docsView);
        project->LoadPicturesView(&picsView);
        scheduler.SetProject(project.get());
    }

    // Runs the crawl to its end; false when it did not end in time.
    bool Crawl(int timeoutMs = 30000)
    {
        finished = false;
        if (!scheduler.StartCrawl())
            return false;
        return WaitUntil([this] { return finished; }, timeoutMs);
    }

    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
    {
        return THttpTestServer::WaitUntil(condition, timeoutMs);
    }

    // The record of the line whose Link is link, in Documents or Pictures.
    TFileRecord Find(const std::string& link, bool picture) const
    {
        const TOptionsList& list = picture ? *project->Pictures() : *project->Documents();
        for (int i = 0; i < list.Count(); ++i) {
            TFileRecord r;
            if (r.FromText(list.Get(i)) && r.Link == link)
                return r;
        }
        ADD_FAILURE() << "no " << (picture ? "picture" : "document") << " record for " << link;
        return TFileRecord();
    }
    TFileRecord Doc(const QByteArray& path) const { return Find(server.Url(path).toStdString(), false); }
    TFileRecord Pic(const QByteArray& path) const { return Find(server.Url(path).toStdString(), true); }
    QString PictureFile(const TFileRecord& r) const { return project->Folder() + QString::fromStdString(r.FileName); }
};
