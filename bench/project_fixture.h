#pragma once

#include "project/file_record.h"
#include "project/project.h"

#include <random>
#include <string>

// Fills a project with documents and pictures whose lines look like a real
// crawl's: many hosts, nested gallery paths, every state, all 23 items, and a
// Links list holding every address ever queued.
inline void FillCrawledProject(TProject& project, int documents, int pictures, unsigned seed = 1)
{
    std::mt19937 random(seed);
    static const char* const kWords[] = {"gallery", "photos", "albums", "summer", "travel", "2004", "nature", "pics",
                                         "archive", "best", "city", "people", "night", "beach", "old", "new"};
    auto word = [&] { return std::string(kWords[random() % 16]); };
    auto host = [&] { return "www." + word() + std::to_string(random() % 500) + ".com"; };
    auto id = [&] {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0%02X%X%02X%02X%05X", 26u, static_cast<unsigned>(1 + random() % 12),
                      static_cast<unsigned>(1 + random() % 28), static_cast<unsigned>(random() % 60),
                      static_cast<unsigned>(random() % 0xFFFFF));
        return std::string(buffer);
    };
    TOptionsList& docs = *project.Documents();
    TOptionsList& pics = *project.Pictures();
    TOptionsList& links = *project.Links();
    for (int i = 0; i < documents; ++i) {
        TFileRecord r;
        r.FileID = "FILE-" + id();
        const std::string h = host();
        r.Link = "http://" + h + "/" + word() + "/" + word() + "/page" + std::to_string(i) + ".html";
        r.URL = r.Link;
        r.Referer = "http://" + h + "/" + word() + "/index.html";
        r.Origin = "None";
        const unsigned roll = random() % 10;
        r.Status = roll < 7 ? "flsSucceed" : roll < 8 ? "flsFailed" : roll < 9 ? "flsDeferred" : "flsInitial";
        r.Attempts = r.Status == "flsInitial" ? 0 : 1 + random() % 3;
        r.ContentSize = static_cast<int>(2000 + random() % 60000);
        r.ResultText = r.Status == "flsFailed" ? "HTTP Error: 404" : r.Status == "flsSucceed" ? "OK" : "";
        r.HTTPCode = r.Status == "flsFailed" ? 404 : 0;
        r.ListItem = 0x4000000000LL + i;
        docs.Add(r.ToLine());
        links.Add(r.Link);
    }
    for (int i = 0; i < pictures; ++i) {
        TFileRecord r;
        r.FileID = "FILE-" + id();
        const std::string h = host();
        r.Link = "http://" + h + "/" + word() + "/" + word() + "/images/img" + std::to_string(i) + ".jpg";
        r.URL = r.Link;
        r.Referer = "http://" + h + "/" + word() + "/page" + std::to_string(i / 20) + ".html";
        r.Origin = "None";
        r.IsPicture = true;
        const unsigned roll = random() % 10;
        r.Status = roll < 8 ? "flsSucceed" : roll < 9 ? "flsFailed" : "flsInitial";
        r.Attempts = r.Status == "flsInitial" ? 0 : 1;
        r.ContentSize = static_cast<int>(20480 + random() % 400000);
        if (r.Status == "flsSucceed") {
            r.FileName = r.FileID.substr(5) + ".jpg";
            r.ResultText = "OK";
            r.PicWidth = 640 + static_cast<int>(random() % 1000);
            r.PicHeight = 480 + static_cast<int>(random() % 700);
        } else if (r.Status == "flsFailed") {
            r.ResultText = "Dimensions are out of bounds ( 200x150  320x200 )";
            r.PicWidth = 200;
            r.PicHeight = 150;
        }
        r.ListItem = 0x5000000000LL + i;
        pics.Add(r.ToLine());
        links.Add(r.Link);
    }
}
