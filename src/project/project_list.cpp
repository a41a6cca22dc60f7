#include "project/project_list.h"

#include "settings/app_settings.h"
#include "settings/busy_progress.h"
#include "settings/text_convert.h"

void TProjectList::LoadProjects()
{
    Clear();
    QStringList folders;
    ListFiles(ProjectsFolder() + QStringLiteral("*"), folders, true, true, true);
    TBusyProgress& busy = AppBusy();
    busy.SetCaption(QStringLiteral("Loading projects"));
    busy.SetMaximum(folders.size());
    busy.Show();
    struct TRestore {
        TBusyProgress& busy;
        ~TRestore()
        {
            busy.SetMaximum(100);
            busy.Hide();
        }
    } restore{busy};
    for (int i = 0; i < folders.size(); ++i) {
        busy.SetPosition(i);
        busy.ProcessEvents();
        auto project = std::make_unique<TProject>();
        if (!project->LoadInfo(ToStdString(folders.at(i))))
            continue;
        if (IndexOfUIN(GetString(project->Options(), "UIN")) >= 0)
            continue;
        Append(std::move(project));
    }
}

int TProjectList::IndexOfUIN(const std::string& uin) const
{
    for (int i = 0; i < Count(); ++i)
        if (GetString(ProjectAt(i)->Options(), "UIN") == uin)
            return i;
    return -1;
}

void TProjectList::DeleteProject(const std::string& uin)
{
    const int i = IndexOfUIN(uin);
    if (i < 0)
        return;
    ProjectAt(i)->DeleteFiles();
    Remove(i);
    LoadProjects();
}
