#pragma once

#include "project/project.h"
#include "settings/persist.h"

#include <string>

// Every project found in the projects folder, each read only as far as its
// options and thumbnail.
class TProjectList final : public TPersistObjList<TProject> {
public:
    TProject* ProjectAt(int index) const { return At(index); }
    // Reads every project folder anew; a folder without a readable project file is
    // passed over, and of two folders with the same UIN the first listed wins.
    void LoadProjects();
    int IndexOfUIN(const std::string& uin) const;
    // Deletes that project's files and reads the list anew.
    void DeleteProject(const std::string& uin);

protected:
    TProject* CreateItem() override { return new TProject; }
};
