#include "app/command_line.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Fotoloom"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FOTOLOOM_VERSION));
    return RunCommandLine(QCoreApplication::arguments().mid(1));
}
