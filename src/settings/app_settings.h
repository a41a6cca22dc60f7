#pragma once

#include "settings/options_list.h"

#include <QString>

#include <string>
#include <vector>

// Where the program keeps its data: the home folder holds data/ and Projects/;
// the installation folder holds the installed defaults (data/) and images/.
struct TAppFolders {
    QString home;
    QString install;
};

// The home: the --home folder, else $FOTOLOOM_HOME, else the executable's folder
// when it holds a file named "portable", else $XDG_DATA_HOME/fotoloom.
QString ResolveHomeFolder(const QString& commandLineHome, const QString& exeFolder);
// The installation: the executable's folder when it holds data/categories.dat,
// else ../share/fotoloom beside it.
QString ResolveInstallFolder(const QString& exeFolder);

// Start-up: folders, config.dat with its defaults, the adult keywords. False with
// a message when the program cannot run (no categories.dat anywhere).
bool AppStartup(const TAppFolders& folders, QString* error);
// Shut-down: writes config.dat (whole or not at all). False with a message when
// it cannot be written.
bool AppShutdown(QString* error = nullptr);
bool AppStarted();

TOptionsList& Settings();
// Folders end with "/".
const QString& HomeFolder();
const QString& DataFolder();
const QString& ProjectsFolder();
const QString& InstallFolder();
QString ImagesFolder();
const QString& AppVersion();
const std::vector<std::string>& AdultWords();
// Replaces the adult keywords (for callers that read another keyword file).
void SetAdultWords(std::vector<std::string> words);

// A fresh identifier of 12 or 13 upper-case hexadecimal digits: year mod 1000,
// month, day, second of the minute, and a random part.
std::string NewFileID();
// Test seam: makes NewFileID return what source gives (null restores the clock
// and the random part).
void SetFileIDSource(std::string (*source)());
// The same from given date parts and random number (the random part below 0xFFFFF).
std::string FormatFileID(int year, int month, int day, int second, unsigned random);
