#include "support/temp_home.h"

#include "settings/app_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TTempHome::TTempHome(bool start)
{
    if (start)
        Start();
}

TTempHome::~TTempHome()
{
    Stop();
}

QString TTempHome::InstallFolder()
{
    return QStringLiteral(FOTOLOOM_SHARE_DIR);
}

bool TTempHome::Start(QString* error)
{
    QString message;
    m_started = AppStartup(TAppFolders{Path(), InstallFolder()}, &message);
    if (error)
        *error = message;
    return m_started;
}

bool TTempHome::StartIn(const QString& home)
{
    QString error;
    return AppStartup(TAppFolders{home, InstallFolder()}, &error);
}

void TTempHome::Stop()
{
    if (m_started)
        AppShutdown();
    m_started = false;
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
