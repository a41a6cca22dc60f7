#include "settings/app_settings.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const char* const kDefaults[] = {
    "MaxAttempts=3",
    "SlideShow_Interval=4000",
    "SlideShow_Direction=0",
    "RepositoryURL=http://repository.fotoloom.org/plm/catalog/",
    "Selectedcategory=Other",
    "MaxTimeOut=180000",
    "SelectNewPic=TRUE",
    "OpenNewPic=TRUE",
};

TEST(AppSettings, FirstRunMakesTheFoldersAndWritesEightDefaultsInOrder)
{
    TTempHome home(false);
    ASSERT_TRUE(home.Start());
    EXPECT_TRUE(QFileInfo(home.Path() + "data").isDir());
    EXPECT_TRUE(QFileInfo(home.Path() + "Projects").isDir());
    EXPECT_EQ(QFileInfo(home.Path() + "data/config.dat").size(), 0);  // created empty, filled at shut-down
    EXPECT_TRUE(QFileInfo::exists(home.Path() + "data/catnames.dat"));
    ASSERT_EQ(Settings().Count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Settings().Get(i), kDefaults[i]);
    EXPECT_EQ(DataFolder(), home.Path() + "data/");
    EXPECT_EQ(ProjectsFolder(), home.Path() + "Projects/");
    EXPECT_EQ(AppVersion().count(QLatin1Char('.')), 3);
    home.Stop();
    QByteArray expected;
    for (const char* line : kDefaults)
        expected += QByteArray(line) + "\r\n";
    EXPECT_EQ(ReadFileBytes(home.Path() + "data/config.dat"), expected);
}

struct TConfigCase {
    const char* stored;
    const char* key;
    const char* expected;
};

class StoredConfig : public ::testing::TestWithParam<TConfigCase> {};

TEST_P(StoredConfig, DefaultsReplaceOnlyWhatIsNotSet)
{
    TTempHome home(false);
    ASSERT_TRUE(WriteFileBytes(home.Path() + "data/config.dat", QByteArray(GetParam().stored) + "\r\n"));
    ASSERT_TRUE(home.Start());
    EXPECT_EQ(GetString(Settings(), GetParam().key), GetParam().expected);
    EXPECT_EQ(Settings().Count(), 8);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredConfig,
    ::testing::Values(TConfigCase{"MaxAttempts=-1", "MaxAttempts", "3"}, TConfigCase{"MaxAttempts=5", "MaxAttempts", "5"},
                      TConfigCase{"SlideShow_Direction=-1", "SlideShow_Direction", "-1"},
                      TConfigCase{"OpenNewPic=FALSE", "OpenNewPic", "FALSE"}, TConfigCase{"OpenNewPic=", "OpenNewPic", "TRUE"},
                      // a value that must be a number but is not counts as not set
                      TConfigCase{"MaxAttempts=lots", "MaxAttempts", "3"},
                      TConfigCase{"MaxTimeOut=3 minutes", "MaxTimeOut", "180000"},
                      TConfigCase{"SlideShow_Interval=fast", "SlideShow_Interval", "4000"},
                      TConfigCase{"MaxTimeOut=-1", "MaxTimeOut", "180000"}));

TEST(AppSettings, AdultWordsComeFromTheEroticLine)
{
    TTempHome home(false);
    ASSERT_TRUE(WriteFileBytes(home.Path() + "data/categories.dat",
                               "Nature=forest,lake\r\nErotic=alpha,\"beta gamma\",delta\r\n"));
    ASSERT_TRUE(home.Start());
    EXPECT_EQ(AdultWords(), (std::vector<std::string>{"alpha", "beta gamma", "delta"}));
    home.Stop();

    TTempHome other(false);
    ASSERT_TRUE(WriteFileBytes(other.Path() + "data/categories.dat", "Nature=forest\r\n"));
    ASSERT_TRUE(other.Start());
    EXPECT_TRUE(AdultWords().empty());
}

TEST(AppSettings, InstalledKeywordFilesHoldTheElevenCategories)
{
    TTempHome home;
    TOptionsList categories;
    ASSERT_TRUE(categories.LoadFromFile(DataFolder() + "categories.dat"));
    TOptionsList names;
    ASSERT_TRUE(names.LoadFromFile(DataFolder() + "catnames.dat"));
    const char* const expected[] = {"Clipart", "Erotic", "Fine Arts", "Humor", "Memorabilia", "Miscellaneous",
                                    "Motors", "Nature", "Other", "Photo Art", "Travels"};
    ASSERT_EQ(categories.Count(), 11);
    ASSERT_EQ(names.Count(), 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(categories.GetName(i), expected[i]);
        EXPECT_EQ(names.Get(i), expected[i]);
        const std::string_view keywords = LineValue(categories.Get(i));
        EXPECT_FALSE(keywords.empty()) << expected[i];
        for (char c : keywords)
            EXPECT_FALSE(c >= 'A' && c <= 'Z') << expected[i] << " keywords are lower case";
    }
    EXPECT_FALSE(AdultWords().empty());
}

TEST(AppSettings, MissingKeywordFileEndsStartUpWithAMessage)
{
    QTemporaryDir home;
    QTemporaryDir emptyInstall;
    QString error;
    EXPECT_FALSE(AppStartup(TAppFolders{home.path(), emptyInstall.path()}, &error));
    EXPECT_TRUE(error.contains("categories.dat")) << error.toStdString();
    EXPECT_FALSE(AppStarted());
}

TEST(AppSettings, HomeFolderPrecedence)
{
    QTemporaryDir exe;
    qputenv("FOTOLOOM_HOME", "/tmp/from-env");
    EXPECT_EQ(ResolveHomeFolder("/tmp/from-option", exe.path()), "/tmp/from-option/");
    EXPECT_EQ(ResolveHomeFolder("", exe.path()), "/tmp/from-env/");
    qunsetenv("FOTOLOOM_HOME");
    ASSERT_TRUE(WriteFileBytes(exe.filePath("portable"), ""));
    EXPECT_EQ(ResolveHomeFolder("", exe.path()), exe.path() + "/");
    QFile::remove(exe.filePath("portable"));
    qputenv("XDG_DATA_HOME", "/tmp/xdg");
    EXPECT_EQ(ResolveHomeFolder("", exe.path()), "/tmp/xdg/fotoloom/");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(ResolveHomeFolder("", exe.path()), QDir::homePath() + "/.local/share/fotoloom/");
}

TEST(NewFileID, FormatAndSameSecondPrefix)
{
    EXPECT_EQ(FormatFileID(2004, 10, 15, 59, 0x2C5), "004A0F3B02C5");
    EXPECT_EQ(FormatFileID(2026, 12, 31, 0, 0xFFFFE), "01AC1F00FFFFE");
    const std::string a = NewFileID();
    const std::string b = NewFileID();
    EXPECT_GE(a.size(), 12u);
    EXPECT_LE(a.size(), 13u);
    for (char c : a)
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << a;
    // made in the same second unless the second just turned
    if (a.substr(6, 2) == b.substr(6, 2)) {
        EXPECT_EQ(a.substr(0, 8), b.substr(0, 8));
    }
}

} // namespace
