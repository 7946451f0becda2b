#include "launcher/CommandLine.h"

#include "launcher/OpenTarget.h"
#include "platform/Localization.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// One argument as the URL to open; an empty problem when it can be opened.
struct Argument
{
    QUrl url;
    QString problem;
};

Argument readArgument(const QString& text, const QString& workingDir)
{
    // Something on disk by that name is meant, whatever colons its name holds.
    const QFileInfo local(QDir(workingDir), text);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QUrl url = (text.isEmpty() || !local.exists()) && scheme.match(text).hasMatch()
                         ? QUrl(text, QUrl::StrictMode)
                         : QUrl::fromLocalFile(local.absoluteFilePath());
    if (url.scheme() == kLevelLinkScheme)
        return {url, {}};
    return {url, readOpenTarget(url).problem};
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments, const QString& workingDir)
{
    QCommandLineParser parser;
    // "-platform" is one unknown option, not seven letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(localizedString(QT_TRANSLATE_NOOP(
        "Quillmor", "Plays, installs and updates levels for Quillmor. Archives and links given "
                    "while the launcher runs are handed to its window.")));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")},
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Show this help.")));
    const QCommandLineOption version(
        {QStringLiteral("v"), QStringLiteral("version")},
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Show the launcher's version.")));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(
        QStringLiteral("levels"),
        localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                          "Level archives to install: zip files, http or https "
                                          "addresses of zip files, or quillmor links.")),
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "[archive or link…]")));

    const QString program = QFileInfo(arguments.value(0)).fileName();
    const auto refuse = [&program](const QString& problem) {
        return CommandLine{
            Refuse,
            {},
            program + QStringLiteral(": ") + problem + u'\n' +
                localizedString(
                    QT_TRANSLATE_NOOP("Quillmor", "See \"%1 --help\" for what it takes."))
                    .arg(program) +
                u'\n'};
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(help))
        return {ShowHelp, {}, parser.helpText()};
    if (parser.isSet(version))
        return {ShowVersion,
                {},
                QCoreApplication::applicationName() + u' ' +
                    QCoreApplication::applicationVersion() + u'\n'};
    CommandLine line;
    for (const QString& argument : parser.positionalArguments()) {
        const Argument read = readArgument(argument, workingDir);
        if (!read.problem.isEmpty())
            return refuse(read.problem);
        line.urls.append(read.url);
    }
    return line;
}
