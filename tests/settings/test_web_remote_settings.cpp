// Protects the web remote's stored access settings: the password and tokens are never kept in
// the clear and survive a restart, and library roots never open the whole disk or the system.
#include "platform/Secrets.h"
#include "settings/LibraryRoots.h"
#include "settings/WebRemoteSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

using namespace orvelo;

TEST(WebRemoteSettings, SecretsAreStoredOnlyAsHashesAndSurviveARestart)
{
    QString storeFile;
    QString secret;
    {
        WebRemoteSettings settings;
        EXPECT_FALSE(settings.passwordSet());
        EXPECT_EQ(settings.setPassword("stage door 7"), std::nullopt);
        secret = *settings.createToken("Show control", AccessRole::operate).secret;
        EXPECT_FALSE(settings.createToken("Show control", AccessRole::view).secret);
        EXPECT_FALSE(settings.createToken("", AccessRole::view).secret);
        EXPECT_EQ(settings.setSessionIdleHours(0), QString("sessionIdleHours must be above 0 and at most 2160"));
        EXPECT_EQ(settings.setSessionIdleHours(2), std::nullopt);
        EXPECT_NE(settings.setHostNames({"show.local", "not a name"}), std::nullopt);
        EXPECT_EQ(settings.setHostNames({"Show.Local.", "show.local"}), std::nullopt);
        settings.setInterfaceName("eth1");
        storeFile = QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orvelo", "Orvelo").fileName();
    }
    QFile file(storeFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    EXPECT_FALSE(stored.contains("stage door 7"));
    EXPECT_FALSE(stored.contains(secret.toUtf8()));
    EXPECT_TRUE(stored.contains("$argon2id$"));

    WebRemoteSettings restarted;
    EXPECT_TRUE(secrets::verifyPassword(restarted.passwordHash().toStdString(), "stage door 7"));
    EXPECT_FALSE(secrets::verifyPassword(restarted.passwordHash().toStdString(), "stage door"));
    ASSERT_EQ(restarted.tokens().size(), 1);
    EXPECT_EQ(restarted.tokens()[0].digest.toStdString(), secrets::digest(secret.toStdString()));
    EXPECT_EQ(restarted.sessionIdleHours(), 2);
    EXPECT_EQ(restarted.hostNames(), QStringList{"show.local"});
    EXPECT_EQ(restarted.interfaceName(), "eth1");
    EXPECT_TRUE(restarted.revokeToken("Show control"));
    EXPECT_FALSE(restarted.revokeToken("Show control"));
    EXPECT_EQ(restarted.setPassword(""), std::nullopt);
    EXPECT_FALSE(WebRemoteSettings().passwordSet());
}

TEST(LibraryRoots, NeverTheWholeDiskTheHomeFolderOrTheSystem)
{
    const QString home = QDir::homePath();
    for (const QString& refused :
         {QString("relative/media"), home + "/", QString("/usr/share/videos"), QString("/media")})
        EXPECT_TRUE(LibraryRoots::refusal(refused, home)) << refused.toStdString();
    for (const QString& accepted : {home + "/Videos", QString("/media/usb0")})
        EXPECT_EQ(LibraryRoots::refusal(accepted, home), std::nullopt) << accepted.toStdString();
    WebRemoteSettings settings;
    EXPECT_TRUE(settings.addLibraryRoot("/"));
    EXPECT_EQ(settings.addLibraryRoot("/srv/show/"), std::nullopt);
    EXPECT_EQ(settings.addLibraryRoot("/srv/show"), std::nullopt);
    EXPECT_EQ(WebRemoteSettings().libraryRoots(), QStringList{"/srv/show"});
    EXPECT_TRUE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/show/Act 1"));
    EXPECT_FALSE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/showtime"));
    EXPECT_FALSE(LibraryRoots::contains(settings.allLibraryRoots(), "/srv/show/../other"));
}
