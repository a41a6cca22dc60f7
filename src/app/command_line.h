#pragma once

#include <QStringList>

// The command line of fotoloom: new, list, show, --version, --help. Returns the
// exit status: 0 done, 1 the program cannot run or could not write, 2 a usage
// error or a missing project (nothing written then).
int RunCommandLine(const QStringList& arguments);
