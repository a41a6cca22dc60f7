#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh home folder for one test: the program starts up in it with the
// installed keyword files and shuts down (writing config.dat) when it goes.
class TTempHome final {
public:
    // start: run start-up now; withCategories: seed data/categories.dat from the installation
    explicit TTempHome(bool start = true);
    ~TTempHome();
    TTempHome(const TTempHome&) = delete;
    TTempHome& operator=(const TTempHome&) = delete;

    QString Path() const { return m_dir.path() + QLatin1Char('/'); }
    // The installation folder of the build (data/ and images/).
    static QString InstallFolder();
    bool Start(QString* error = nullptr);
    // Starts the program's settings in a home that is not a temporary one of its own.
    static bool StartIn(const QString& home);
    void Stop();

private:
    QTemporaryDir m_dir;
    bool m_started = false;
};

QByteArray ReadFileBytes(const QString& path);
bool WriteFileBytes(const QString& path, const QByteArray& bytes);
