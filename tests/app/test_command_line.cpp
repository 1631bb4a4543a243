// Protects the command line: every option read, and every mistake refused with its reason
// before anything starts.
#include "app/CommandLine.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvelo;

namespace {

std::variant<CommandLine, QString> parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("orvelo"));
    return CommandLine::parse(arguments);
}

} // namespace

TEST(CommandLine, ReadsEveryOptionAndCommand)
{
    QTemporaryDir media;
    const QString config = media.path() + "/store/of/its/own";
    const auto line = std::get<CommandLine>(parse({"--headless", "--media-folder", media.path(), "--web-port", "9090",
                                                   "--lighting-interface", "10.0.0.5", "--config-dir", config}));
    EXPECT_EQ(line.command, CommandLine::Command::play);
    EXPECT_TRUE(line.overrides.headless);
    EXPECT_EQ(line.overrides.mediaFolder, QDir(media.path()).absolutePath());
    EXPECT_EQ(line.overrides.webPort, 9090);
    EXPECT_EQ(line.overrides.lightingInterface, "10.0.0.5");
    EXPECT_EQ(line.configDir, config);
    EXPECT_TRUE(QDir(config).exists());

    EXPECT_EQ(std::get<CommandLine>(parse({})).overrides.webPort, std::nullopt);
    EXPECT_EQ(std::get<CommandLine>(parse({"--help"})).command, CommandLine::Command::help);
    EXPECT_EQ(std::get<CommandLine>(parse({"--version"})).command, CommandLine::Command::version);
    EXPECT_EQ(std::get<CommandLine>(parse({"--set-password"})).command, CommandLine::Command::setPassword);
    const auto root = std::get<CommandLine>(parse({"--add-library-root", "/srv/media"}));
    EXPECT_EQ(root.command, CommandLine::Command::addLibraryRoot);
    EXPECT_EQ(root.libraryRoot, "/srv/media");
    EXPECT_EQ(std::get<CommandLine>(parse({"--web-port=1"})).overrides.webPort, 1);
    for (const char* option : {"--help", "--version", "--headless", "--media-folder", "--web-port",
                               "--lighting-interface", "--config-dir", "--set-password", "--add-library-root"})
        EXPECT_TRUE(CommandLine::usage().contains(option)) << option;
}

TEST(CommandLine, RefusesMistakesWithTheirReason)
{
    const struct {
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {{"--bogus"}, "Unknown option 'bogus'"},
        {{"play"}, "Unexpected argument 'play'"},
        {{"--web-port"}, "Missing value after '--web-port'"},
        {{"--web-port", "0"}, "--web-port: '0' is not a port from 1 to 65535"},
        {{"--web-port", "65536"}, "--web-port: '65536' is not a port from 1 to 65535"},
        {{"--web-port", "80a"}, "--web-port: '80a' is not a port from 1 to 65535"},
        {{"--web-port", "1", "--web-port", "2"}, "--web-port is given more than once"},
        {{"--media-folder", "/no/such/folder"}, "--media-folder: no folder '/no/such/folder'"},
        {{"--lighting-interface", " "}, "--lighting-interface: give an interface's name or an IPv4 address"},
        {{"--config-dir", "/proc/no-store-here"}, "--config-dir: cannot use '/proc/no-store-here' as a folder"},
        {{"--help", "--version"}, "Only one of"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(c.arguments);
        const auto* reason = std::get_if<QString>(&parsed);
        ASSERT_TRUE(reason) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(reason->startsWith(c.reason)) << reason->toStdString();
    }
}
