#pragma once

// The launcher's command line: --help and --version, and any number of level archives (paths
// or file: URLs), http or https addresses of archives, and level links. Read before any window
// exists, so that asking for help or giving a wrong argument needs no display and starts
// nothing. Level links pass as they are: what a link asks for is read, and refused, in the
// window, where a player who clicked it on a web page sees why.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

struct CommandLine
{
    enum Action
    {
        Run,         // start, or hand urls to the launcher already running
        ShowHelp,    // print text and end with status 0
        ShowVersion, // likewise
        Refuse,      // print text on standard error and end with status 2
    };
    Action action = Run;
    QList<QUrl> urls; // paths made absolute file: URLs
    QString text;

    // `arguments` as the program got them, the program's name first; relative paths are taken
    // from `workingDir`.
    static CommandLine parse(const QStringList& arguments, const QString& workingDir);
    int exitCode() const { return action == Refuse ? 2 : 0; }
};
