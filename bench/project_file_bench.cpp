// Measures saving and loading a large project against the bzip2 tool on the
// same text, in the same run, and the memory a loaded project takes.
//
//   project_file_bench [--docs N] [--pics N] [--runs R]
//
// Steps, each repeated R times and interleaved so that the machine's noise
// falls on both sides alike:
//   Save            TProject::Save of the project
//   bzip2 -6        the stock tool compressing the same sectioned text
//   Load            TProject::Load of the saved file
//   bzip2 -d        the stock tool decompressing its own output
//   LoadInfo        header, thumbnail and options only (bytes of the lists read: must be 0)
//   memory          peak RSS of a child that loads the project, minus the same child's
//                   baseline without loading, against the size of the list text
#include "bench/project_fixture.h"

#include "project/project.h"
#include "settings/app_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long PeakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

double RunTool(const QString& command)
{
    QElapsedTimer timer;
    timer.start();
    const int rc = std::system(command.toLocal8Bit().constData());
    if (rc != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(command));
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}

// Counts the bytes read from inside [from, to) of a file.
class TCountingFile final : public QFile {
public:
    TCountingFile(const QString& path, qint64 from, qint64 to) : QFile(path), m_from(from), m_to(to) {}
    qint64 bytesInRange = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 start = pos();
        const qint64 n = QFile::readData(data, maxSize);
        if (n > 0)
            bytesInRange += std::max<qint64>(0, std::min(start + n, m_to) - std::max(start, m_from));
        return n;
    }

private:
    qint64 m_from;
    qint64 m_to;
};

int ChildMain(const QString& home, const QString& mode)
{
    QString error;
    if (!AppStartup(TAppFolders{home, home}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TProject project;
    long rss = PeakRssKb();
    if (mode == QLatin1String("load")) {
        if (!project.Load("Big"))
            return 1;
        // a crawl looks records up by name at once: count the name index too
        GetString(*project.Documents(), "FILE-none");
        GetString(*project.Pictures(), "FILE-none");
        rss = PeakRssKb();
    }
    std::printf("%ld\n", rss);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--child"))
        return ChildMain(args[2], args[3]);
    int documents = 200000;
    int pictures = 200000;
    int runs = 3;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--docs"))
            documents = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--pics"))
            pictures = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
    }

    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("data"));
    QFile::copy(QStringLiteral(FOTOLOOM_SOURCE_DIR "/data/categories.dat"), home.filePath(QStringLiteral("data/categories.dat")));
    QString error;
    if (!AppStartup(TAppFolders{home.path(), home.path()}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    TProject project;
    SetString(project.Options(), "Title", "Big");
    FillCrawledProject(project, documents, pictures);
    const std::string text = project.Lists().SectionedText();
    const QString textPath = home.filePath(QStringLiteral("lists.txt"));
    {
        QFile out(textPath);
        out.open(QIODevice::WriteOnly);
        out.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::printf("project: %d documents, %d pictures, %d links; list text %.1f MB\n", documents, pictures,
                project.Links()->Count(), text.size() / 1e6);

    std::vector<double> save, tool6, load, toolD, info;
    const QString file = ProjectsFolder() + QStringLiteral("Big/Info/project.dat");
    const QString compressed = home.filePath(QStringLiteral("lists.txt.bz2"));
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!project.Save()) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        save.push_back(timer.nsecsElapsed() / 1e6);
        tool6.push_back(RunTool(QStringLiteral("bzip2 -6 -c '%1' > '%2'").arg(textPath, compressed)));

        timer.restart();
        TProject loaded;
        if (!loaded.Load("Big")) {
            std::fprintf(stderr, "load failed\n");
            return 1;
        }
        load.push_back(timer.nsecsElapsed() / 1e6);
        toolD.push_back(RunTool(QStringLiteral("bzip2 -d -c '%1' > /dev/null").arg(compressed)));
    }

    // LoadInfo: only the header, thumbnail and options are read
    QFile raw(file);
    raw.open(QIODevice::ReadOnly);
    const QByteArray head = raw.read(224);
    const qint64 listsEnd = 224 + FromLE32(head.constData() + 220);
    raw.close();
    qint64 compressedBytesRead = 0;
    for (int i = 0; i < 200; ++i) {
        TProject summary;
        TCountingFile counted(file, 224, listsEnd);
        counted.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QElapsedTimer timer;
        timer.start();
        const bool ok = summary.LoadSummary(counted);
        info.push_back(timer.nsecsElapsed() / 1e6);
        compressedBytesRead += counted.bytesInRange;
        if (!ok || GetString(summary.Options(), "Title") != "Big") {
            std::fprintf(stderr, "summary failed\n");
            return 1;
        }
    }
    std::vector<double> infoByName;
    for (int i = 0; i < 200; ++i) {
        TProject summary;
        QElapsedTimer timer;
        timer.start();
        summary.LoadInfo("Big");
        infoByName.push_back(timer.nsecsElapsed() / 1e6);
    }

    auto child = [&](const char* mode) {
        QProcess process;
        process.start(app.applicationFilePath(), {QStringLiteral("--child"), home.path(), QLatin1String(mode)});
        process.waitForFinished(-1);
        return process.readAllStandardOutput().trimmed().toLong();
    };
    const long baseline = child("baseline");
    const long loadedRss = child("load");

    std::printf("\n%-28s %10s %10s %8s\n", "step", "ours ms", "bzip2 ms", "ratio");
    std::printf("%-28s %10.0f %10.0f %8.2f\n", "Save vs bzip2 -6", Median(save), Median(tool6), Median(save) / Median(tool6));
    std::printf("%-28s %10.0f %10.0f %8.2f\n", "Load vs bzip2 -d", Median(load), Median(toolD), Median(load) / Median(toolD));
    std::printf("%-28s %10.3f\n", "LoadSummary (median ms)", Median(info));
    std::printf("%-28s %10.3f\n", "LoadInfo by name (median)", Median(infoByName));
    std::printf("%-28s %10lld\n", "list bytes read by summary", static_cast<long long>(compressedBytesRead));
    std::printf("%-28s %10.1f MB (peak RSS %ld kB - baseline %ld kB)\n", "loaded project memory",
                (loadedRss - baseline) / 1024.0, loadedRss, baseline);
    std::printf("%-28s %10.2f x the list text (%.1f MB)\n", "memory ratio", (loadedRss - baseline) * 1024.0 / text.size(),
                text.size() / 1e6);
    AppShutdown();
    return 0;
}
