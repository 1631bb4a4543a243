#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

namespace orvelo {

// What the program was asked on its command line: a command that does its work and exits, or
// the player, with settings given there overriding the stored ones for this run only. Read
// before anything opens a socket, so `--help` and a mistyped option never put a player on the
// network.
struct CommandLine {
    enum class Command { play, help, version, setPassword, addLibraryRoot, removeLibraryRoot };

    // Given on the command line; absent ones come from the stored settings.
    struct Overrides {
        bool headless = false;
        std::optional<QString> mediaFolder;
        std::optional<std::uint16_t> webPort;
        std::optional<QString> lightingInterface; // an interface's name or an IPv4 address
    };

    Command command = Command::play;
    Overrides overrides;
    std::optional<QString> configDir;
    QString libraryRoot; // for the library root commands

    // The reason when the arguments (the program's name first) ask for nothing it can do.
    static std::variant<CommandLine, QString> parse(const QStringList& arguments);
    static QString usage();
    // The same, as a manual page (troff), for the installed program.
    static QString manual();
};

} // namespace orvelo
