// What the views show and do: the player panel, CITP packets and patches, web access and QR code,
// themes, playlist rows and failures, and the sync group's settings.
#include "core/ConsoleTestSupport.h"

#include "citp/CITPPacket.h"
#include "core/SyncGroup.h"
#include "platform/Secrets.h"
#include "settings/SyncSettings.h"
#include "settings/ThemeManager.h"
#include "settings/WebRemoteSettings.h"
#include "ui/CITPTexts.h"
#include "ui/PlayerRules.h"
#include "ui/PlaylistModel.h"
#include "ui/QrCodeImage.h"
#include "ui/SyncViewModel.h"
#include "ui/ThemePalette.h"
#include "ui/WebAccessViewModel.h"
#include "ui/WebRemoteAddresses.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <limits>

using namespace orvelo;
using namespace orvelo::test;

TEST(PlayerRules, TimesBadgesLampsAndModeButtons)
{
    EXPECT_EQ(ui::timecodeText(3723.5, 30.0), "01:02:03:15");
    EXPECT_EQ(ui::timecodeText(90000.0, 25.0), "25:00:00:00"); // hours are not wrapped
    EXPECT_EQ(ui::timecodeText(std::numeric_limits<double>::quiet_NaN(), 25.0), "00:00:00:00");
    EXPECT_EQ(ui::remainingText(75.4), "-01:15");
    EXPECT_EQ(ui::remainingText(3675.0), "-1:01:15");
    EXPECT_EQ(ui::loopBadge(0), "[Loop: ∞]");
    EXPECT_EQ(ui::loopBadge(3), "[Loop: 3]");

    // Lamps light for a second; DMX input locks the mode buttons (their words are the window test's).
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_FALSE(ui::signalIsLit(QDateTime(), now)); // never a packet
    EXPECT_TRUE(ui::signalIsLit(now.addMSecs(-999), now));
    EXPECT_FALSE(ui::signalIsLit(now.addMSecs(-1000), now));
    EXPECT_EQ(std::pair(ui::loopAllButton(false).enabled, ui::autoPlayButton(false).enabled), std::pair(false, false));
    EXPECT_EQ(std::pair(ui::loopAllButton(true).enabled, ui::autoPlayButton(true).enabled), std::pair(true, true));
}

TEST(PlayerRules, NextLine)
{
    QList<MediaTrack> list;
    for (const char* name : {"a.mov", "b.mov", "c.wav"})
        list.append(MediaTrack{QUuid::createUuid(), {}, name, 0, 1});
    EXPECT_EQ(ui::nextLine(list, list[0].id, 1, false), (ui::NextLine{"b.mov", "forward"}));
    EXPECT_EQ(ui::nextLine(list, list[1].id, 0, false), (ui::NextLine{"b.mov", "repeat"}));
    EXPECT_EQ(ui::nextLine(list, list[2].id, 1, false), (ui::NextLine{"End of Playlist", "stop"}));
    EXPECT_EQ(ui::nextLine(list, list[2].id, 2, true), (ui::NextLine{"a.mov (loop)", "forward"}));
    // A current track that is unknown or absent.
    const ui::NextLine unknown{"Unknown", "questionmark"};
    EXPECT_EQ(ui::nextLine(list, QUuid::createUuid(), 1, true), unknown);
    EXPECT_EQ(ui::nextLine(list, std::nullopt, 1, true), unknown);
}

TEST(CITPTexts, PeerSymbolsPacketTypesAndPatchMarkers)
{
    EXPECT_EQ(ui::peerSymbol("LightingConsole"), "slider.horizontal.3");
    EXPECT_EQ(ui::peerSymbol("Dimmer Rack"), "questionmark.circle");
    const auto ploc = citp::buildPeerLocation(CITPHeaderType::standard, 4809);
    EXPECT_EQ(ui::packetTypeText(ploc), "PINF/PLoc");
    EXPECT_EQ(ui::packetTypeText({1, 2, 3}), "Unknown");
    EXPECT_EQ(ui::patchMarker(ploc), "");
    EXPECT_EQ(ui::patchMarker(citp::buildPatch()), "Contains 'Ptch' (Fixture Patch)");
    EXPECT_EQ(ui::patchMarker({'S', 'n', 'd', 'P'}), "Contains 'SndP' (Send Patch)");
}

TEST(WebRemote, AccessIsEditedFromTheWindowWithoutBlockingIt)
{
    WebRemoteSettings settings;
    WebAccessViewModel model(settings, "http://10.0.0.5:8080");
    EXPECT_EQ(model.viewerLink(), "http://10.0.0.5:8080/login.html#viewer=" + settings.viewerKey());

    model.setPassword("stage door", "stage dor");
    EXPECT_EQ(model.message(), "The two passwords differ");
    model.setPassword("stage door", "stage door");
    EXPECT_TRUE(model.busy());
    ASSERT_TRUE(waitUntil([&] { return !model.busy(); }));
    EXPECT_TRUE(settings.passwordSet());

    model.createToken("  Console  ", true);
    EXPECT_EQ(model.tokens(), QStringList{"Console (viewer)"});
    EXPECT_EQ(settings.tokens()[0].digest.toStdString(), secrets::digest(model.newToken().toStdString()));
    model.removePassword();
    EXPECT_EQ(model.message(), WebAccessViewModel::openDoorText);

    model.addLibraryRoot(QUrl::fromLocalFile("/"));
    EXPECT_EQ(model.message(), "The whole disk cannot be a library root");
    model.addLibraryRoot(QUrl::fromLocalFile("/srv/show"));
    model.removeLibraryRoot(0);
    EXPECT_EQ(model.libraryRoots().size(), 2); // the default root stays
    model.removeLibraryRoot(1);
    EXPECT_EQ(model.libraryRoots().size(), 1);
}

TEST(WebRemote, AddressesPerInterfaceAndTheirQrCode)
{
    EXPECT_EQ(accessibleURLs({}), QStringList{"http://localhost:8080"});
    NetworkInterface a;
    a.ipAddress = "10.254.0.2";
    EXPECT_EQ(accessibleURLs({a}), QStringList{"http://10.254.0.2:8080"});

    // Ten-pixel modules of a version 2 code after a quiet zone, then the finder pattern's corner.
    const QImage code = makeQrCodeImage("http://10.254.0.2:8080");
    EXPECT_EQ(code.size(), QSize(330, 330));
    EXPECT_EQ(code.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(code.pixelColor(45, 45), QColor(Qt::black));
    EXPECT_TRUE(makeQrCodeImage(QString(8000, 'x')).isNull());
}

TEST(ThemePalette, ColourSchemeIsLightForDaylightAndSoftThemes)
{
    ThemeManager themes;
    ThemePalette palette(themes);
    for (int i = 0; i < 4; ++i) {
        palette.setThemeIndex(i);
        EXPECT_EQ(palette.isLight(), i >= 2) << palette.themeId().toStdString();
    }
    palette.setThemeIndex(9);
    EXPECT_EQ(palette.themeId(), "soft_white") << "an index past the list changes nothing";
}

namespace {

struct PlaylistRig : ControllerRig {
    PlaylistModel model{controller, engine};
    QString folder = QString::fromStdString(tempDir());

    // The store is the process's: start from an empty playlist whatever an earlier test left.
    PlaylistRig() { controller.playlist().setPlaylist({}); }

    QString row(int index, PlaylistModel::Role role) const { return model.data(model.index(index), role).toString(); }

    QUrl file(const QString& name, const QByteArray& bytes = "not really media") const
    {
        QFile file(QDir(folder).filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return QUrl::fromLocalFile(file.fileName());
    }
};

} // namespace

TEST(PlaylistModel, RowsFollowThePlaylistAndEditsReachIt)
{
    PlaylistRig rig;
    rig.model.addFiles({rig.file("a.mov"), rig.file("b.wav"), rig.file("c.mp4")});
    ASSERT_EQ(rig.model.count(), 3);
    EXPECT_EQ(rig.row(2, PlaylistModel::numberRole), "3");
    EXPECT_EQ(rig.row(0, PlaylistModel::loopRole), "1x");
    // Reordering itself is the playlist's; each edit must reach it and the rows follow.
    rig.model.setRepeatCount(0, 0);
    rig.model.moveDown(0);
    EXPECT_EQ(rig.row(0, PlaylistModel::nameRole), "b.wav");
    EXPECT_EQ(rig.row(1, PlaylistModel::loopRole), "Infinite");
    rig.model.moveUp(2);
    EXPECT_EQ(rig.row(1, PlaylistModel::nameRole), "c.mp4");
    rig.model.remove(0);
    EXPECT_EQ(rig.model.count(), 2);
    rig.model.setRepeatCount(0, -4); // the view never offers it; nothing changes
    EXPECT_EQ(rig.row(0, PlaylistModel::loopRole), "1x");

    EXPECT_EQ(PlaylistModel::durationText(-1.0), "--:--");
    EXPECT_EQ(PlaylistModel::durationText(65.4), "1:05");
    EXPECT_EQ(PlaylistModel::durationText(3725.0), "1:02:05");
}

TEST(PlaylistModel, FailuresAndSavesAreReportedInTheViewsWords)
{
    PlaylistRig rig;
    rig.model.addFiles({QUrl::fromLocalFile(rig.folder + "/missing.mov")});
    EXPECT_TRUE(rig.model.status().startsWith("Import failed: "));

    rig.model.addFiles({rig.file("a.mov")});
    const QUrl saved = QUrl::fromLocalFile(rig.folder + "/playlist.json");
    rig.model.savePlaylist(saved);
    EXPECT_EQ(rig.model.status(), "Playlist saved to " + saved.toLocalFile());
    EXPECT_FALSE(rig.model.statusIsError());
    rig.model.savePlaylist(QUrl::fromLocalFile(rig.folder + "/no/such/folder/playlist.json"));
    EXPECT_TRUE(rig.model.status().startsWith("Save failed: "));

    rig.model.loadPlaylist(rig.file("junk.json", R"({"not": "a playlist"})"));
    EXPECT_TRUE(rig.model.status().startsWith("Playlist load failed: "));
    EXPECT_TRUE(rig.model.statusIsError());
    rig.model.remove(0);
    rig.model.loadPlaylist(saved);
    EXPECT_EQ(rig.model.count(), 1);
    EXPECT_EQ(rig.model.status(), "");
}

TEST(SyncViewModel, RefusesWhatCannotBeUsedAndSaysHowTheGroupStands)
{
    ControllerRig rig;
    SyncSettings settings;
    settings.setRole(SyncSettings::Role::off);
    SyncGroup group(rig.controller, rig.engine, settings);
    SyncViewModel model(settings, group);
    EXPECT_EQ(model.status(), "Plays alone");
    EXPECT_FALSE(model.setLeader("stage-leader"));
    EXPECT_TRUE(model.setLeader("10.0.0.5"));
    EXPECT_FALSE(model.setGroup(QString(65, 'g')));
    model.setKey("sesame");
    EXPECT_TRUE(model.keySet());
    settings.setLeader("");
    model.setRoleIndex(2); // a follower without a leader
    EXPECT_EQ(model.status(), "No leader set");
    EXPECT_TRUE(rig.controller.acceptsTransportFrom("the web"));
    model.setRoleIndex(0);
}
