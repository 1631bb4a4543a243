#include "web/FixtureProfile.h"

#include "core/DMXReference.h"

#include <QJsonArray>

namespace orvelo::FixtureProfile {

namespace {

// The day the channel layout was last changed; consoles compare it to know a newer profile.
constexpr const char* layoutDate = "2026-12-07";

QJsonObject capability(const DMXReferenceRow& band, const QString& type, const QString& comment)
{
    return {{"dmxRange", QJsonArray{band.low, band.high}}, {"type", type}, {"comment", comment}};
}

QJsonObject channel(const QVector<DMXReferenceRow>& bands, bool firstBandDoesNothing)
{
    QJsonArray capabilities;
    for (const DMXReferenceRow& band : bands) {
        const bool nothing = firstBandDoesNothing && capabilities.isEmpty();
        capabilities.append(
            capability(band, nothing ? "NoFunction" : "Generic", band.action + ": " + band.description));
    }
    return {{"capabilities", capabilities}};
}

} // namespace

QJsonObject openFixtureLibrary()
{
    DMXConfig extended;
    extended.mode = DMXMode::extended;
    const DMXReference reference = makeDMXReference(extended);

    const QString control = QStringLiteral("Track Control");
    const QString loop = QStringLiteral("Loop Count");
    QJsonObject channels{{control, channel(controlRowsByTrack(reference), false)},
                         {loop, channel(reference.loopRows, false)}};
    QJsonArray extendedChannels{control, loop};
    for (const DMXEffectRow& row : reference.effectRows) {
        channels[row.parameter] = channel(row.bands, true);
        extendedChannels.append(row.parameter);
    }

    QJsonArray modes;
    for (const DMXMode mode : allDMXModes) {
        const int count = channelCount(mode);
        QJsonArray used;
        for (int i = 0; i < count; ++i)
            used.append(extendedChannels[i]);
        modes.append(QJsonObject{{"name", QString::fromUtf8(rawValue(mode).data())},
                                 {"shortName", QString::number(count) + "ch"},
                                 {"channels", used}});
    }

    return {
        {"$schema",
         "https://raw.githubusercontent.com/OpenLightingProject/open-fixture-library/master/schemas/fixture.json"},
        {"name", "Orvelo Media Player"},
        {"shortName", "Orvelo"},
        {"categories", QJsonArray{"Other"}},
        {"meta",
         QJsonObject{{"authors", QJsonArray{"Orvelo"}}, {"createDate", layoutDate}, {"lastModifyDate", layoutDate}}},
        {"comment", "Show-control media player, driven over Art-Net or sACN. Patch it at the player's start channel: "
                    "the first channel selects, pauses and stops tracks, the second sets how often a track plays, the "
                    "other sixteen drive the live video effects."},
        {"availableChannels", channels},
        {"modes", modes},
    };
}

} // namespace orvelo::FixtureProfile
