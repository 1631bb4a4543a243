#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace orvelo {

namespace {

// One list for parsing and for the usage text, so that the two never disagree.
struct Option {
    const char* name;
    const char* value; // nullptr for a switch
    const char* description;
};

constexpr Option options[] = {
    {"help", nullptr, "Print this help and exit."},
    {"version", nullptr, "Print the version and exit."},
    {"headless", nullptr, "Run without a window, even where there is a display; the web remote is the player's face."},
    {"media-folder", "DIR", "Play and upload media in DIR for this run."},
    {"web-port", "N", "Serve the web remote on TCP port N for this run (default 8080)."},
    {"lighting-interface", "NAME|ADDRESS", "Speak Art-Net, sACN, RDM and CITP on this network interface for this run."},
    {"config-dir", "DIR",
     "Keep the settings and playlist in DIR instead of the user's store (several players on one machine, tests)."},
    {"set-password", nullptr,
     "Read the web remote's new password from standard input (an empty line removes it) and exit."},
    {"add-library-root", "DIR", "Let the web remote move the media folder inside DIR, and exit."},
    {"remove-library-root", "DIR", "Take DIR back from the web remote, and exit."},
};

} // namespace

QString CommandLine::usage()
{
    QString text = QStringLiteral("usage: orvelo [options]\n\nStarts the player; with one of the commands, does "
                                  "that and exits. Options given here override the stored settings for this run "
                                  "only.\n\n");
    for (const Option& option : options) {
        QString left = QStringLiteral("  --") + QLatin1String(option.name);
        if (option.value)
            left += QLatin1Char(' ') + QLatin1String(option.value);
        text += left.leftJustified(34) + QLatin1String(option.description) + QLatin1Char('\n');
    }
    return text;
}

QString CommandLine::manual()
{
    // Hyphens in options are escaped so that man prints them as typed.
    const auto roff = [](QString text) { return text.replace(QLatin1Char('-'), QStringLiteral("\\-")); };
    QString page = QStringLiteral(".TH ORVELO 1\n.SH NAME\norvelo \\- show-control media player\n.SH SYNOPSIS\n"
                                  ".B orvelo\n[\\fIoptions\\fR]\n.SH DESCRIPTION\n"
                                  "Plays tracks for a show, driven by a lighting console over Art\\-Net or sACN, "
                                  "and by its web remote (http://localhost:8080 by default). With a command it does "
                                  "that and exits. Options override the stored settings for this run only.\n"
                                  ".SH OPTIONS\n");
    for (const Option& option : options) {
        page += QStringLiteral(".TP\n.B \\-\\-") + roff(QLatin1String(option.name));
        if (option.value)
            page += QStringLiteral(" \\fI") + roff(QLatin1String(option.value)) + QStringLiteral("\\fR");
        page += QLatin1Char('\n') + roff(QLatin1String(option.description)) + QLatin1Char('\n');
    }
    page += QStringLiteral(".SH EXIT STATUS\n0 when done, 1 when a command could not do its work, 2 for a mistake on "
                           "the command line.\n");
    return page;
}

std::variant<CommandLine, QString> CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& option : options)
        parser.addOption(option.value
                             ? QCommandLineOption(QLatin1String(option.name), QString(), QLatin1String(option.value))
                             : QCommandLineOption(QLatin1String(option.name)));
    if (!parser.parse(arguments))
        return parser.errorText();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument '%1'").arg(parser.positionalArguments().first());
    for (const Option& option : options)
        if (option.value && parser.values(QLatin1String(option.name)).size() > 1)
            return QStringLiteral("--%1 is given more than once").arg(QLatin1String(option.name));

    CommandLine line;
    const std::pair<const char*, Command> commands[] = {{"help", Command::help},
                                                        {"version", Command::version},
                                                        {"set-password", Command::setPassword},
                                                        {"add-library-root", Command::addLibraryRoot},
                                                        {"remove-library-root", Command::removeLibraryRoot}};
    for (const auto& [name, command] : commands) {
        if (!parser.isSet(QLatin1String(name)))
            continue;
        if (line.command != Command::play)
            return QStringLiteral("Only one of --help, --version, --set-password, --add-library-root and "
                                  "--remove-library-root at a time");
        line.command = command;
    }
    if (line.command == Command::addLibraryRoot)
        line.libraryRoot = parser.value(QStringLiteral("add-library-root"));
    if (line.command == Command::removeLibraryRoot)
        line.libraryRoot = parser.value(QStringLiteral("remove-library-root"));

    line.overrides.headless = parser.isSet(QStringLiteral("headless"));
    if (parser.isSet(QStringLiteral("media-folder"))) {
        const QFileInfo folder(parser.value(QStringLiteral("media-folder")));
        if (!folder.isDir())
            return QStringLiteral("--media-folder: no folder '%1'").arg(folder.filePath());
        line.overrides.mediaFolder = folder.absoluteFilePath();
    }
    if (parser.isSet(QStringLiteral("web-port"))) {
        bool number = false;
        const uint port = parser.value(QStringLiteral("web-port")).toUInt(&number);
        if (!number || port < 1 || port > 65535)
            return QStringLiteral("--web-port: '%1' is not a port from 1 to 65535")
                .arg(parser.value(QStringLiteral("web-port")));
        line.overrides.webPort = static_cast<std::uint16_t>(port);
    }
    if (parser.isSet(QStringLiteral("lighting-interface"))) {
        const QString name = parser.value(QStringLiteral("lighting-interface")).trimmed();
        if (name.isEmpty())
            return QStringLiteral("--lighting-interface: give an interface's name or an IPv4 address");
        line.overrides.lightingInterface = name;
    }
    if (parser.isSet(QStringLiteral("config-dir"))) {
        const QString dir = parser.value(QStringLiteral("config-dir"));
        if (dir.isEmpty() || !QDir().mkpath(dir))
            return QStringLiteral("--config-dir: cannot use '%1' as a folder").arg(dir);
        line.configDir = QFileInfo(dir).absoluteFilePath();
    }
    return line;
}

} // namespace orvelo
