#pragma once

#include <QString>

#include <memory>
#include <optional>

class TProject;

// What the new-project wizard asks, as options of the command line.
struct TNewRequest {
    QString url;
    std::optional<QString> title;
    std::optional<QString> category;
    std::optional<QString> path;
    bool catalog = false;
    std::optional<int> minWidth;
    std::optional<int> minHeight;
    std::optional<int> minSizeKb;
    std::optional<int> maxSizeKb;
    std::optional<int> maxDocKb;
};

// Makes a project as the wizard would (Domain the host in lower case, the sizes
// times 1024, SearchPath only when given), queues its starting address and saves
// it. Null with a message when it cannot be saved.
std::unique_ptr<TProject> MakeNewProject(const TNewRequest& request, QString* error);

// The starting address as the wizard takes it ("www." gets "http://" in front);
// an error message when it is not an http:// address with a host.
QString CheckStartingAddress(QString& url);
