#include "app/new_project.h"

#include "crawl/address.h"
#include "project/category_guess.h"
#include "project/project.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

QString CheckStartingAddress(QString& url)
{
    if (url.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        url.prepend(QLatin1String("http://"));
    if (!url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return QStringLiteral("the starting address must begin with http:// ('%1')").arg(url);
    if (HostOf(ToStdString(url)).empty())
        return QStringLiteral("the starting address has no host ('%1')").arg(url);
    return {};
}

std::unique_ptr<TProject> MakeNewProject(const TNewRequest& request, QString* error)
{
    auto project = std::make_unique<TProject>();
    TOptionsList& o = project->Options();
    const std::string url = ToStdString(request.url);
    const std::string host = HostOf(url);
    SetString(o, "URL", url);
    SetString(o, "Domain", AsciiLower(host));
    // the wizard's title is the page's; without a page the host stands for it
    SetString(o, "Title", ToStdString(request.title.value_or(ToQString(host)).left(150)));
    SetInteger(o, "URLKind", request.catalog ? 1 : 0);
    if (request.minWidth)
        SetInteger(o, "MinWidth", *request.minWidth);
    if (request.minHeight)
        SetInteger(o, "MinHeight", *request.minHeight);
    std::string category;
    if (request.category) {
        category = ToStdString(*request.category);
    } else {
        TOptionsList categories;
        categories.LoadFromFile(DataFolder() + QStringLiteral("categories.dat"));
        category = GuessCategory(categories, {}, url);
    }
    SetString(o, "Category", category);
    if (request.minSizeKb)
        SetInteger(o, "MinPicSize", *request.minSizeKb * 1024);
    if (request.maxDocKb)
        SetInteger(o, "MaxDocSize", *request.maxDocKb * 1024);
    if (request.maxSizeKb)
        SetInteger(o, "MaxPicSize", *request.maxSizeKb * 1024);
    SetString(o, "SearchPath", request.path ? ToStdString(*request.path) : std::string());
    project->AddEntryPoint();
    if (!project->Save(error))
        return nullptr;
    return project;
}
