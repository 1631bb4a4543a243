#include "core/DMXReference.h"
#include "web/FixtureProfile.h"
#include "web/UrlText.h"
#include "web/WebPages.h"
#include "web/WebResources.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart().
constexpr std::string_view headHtml = R"HTML(<title>Fixture Profiles - Orvelo</title>
</head>
<body class="fixtures-page">
<div class="app">
  <header>
    <div class="brand">Orvelo<span>node</span></div>
    <a class="back" href="/">← Back</a>
  </header>
  <h1>🎭 Fixture Profiles</h1>
  <p class="intro">Patch the player in your lighting console like any other fixture: download the profile for your console, patch it at the player's DMX address, and its channels select, run and loop the tracks and drive the live video effects.</p>
)HTML";

// Ahead of the console files: the profile every console can import, built by the player.
// Split around its download path.
constexpr std::string_view profileStart = R"HTML(
  <div class="profile">
    <div class="profile-title">Open Fixture Library profile</div>
    <p>All three modes in one file: Standard (1 channel), Loop (2 channels) and Extended (18 channels). Import it into the Open Fixture Library editor or any console and visualiser that reads its format.</p>
    <a class="download" href=")HTML";
constexpr std::string_view profileEnd = R"HTML(" download="orvelo.json">⬇️ Download orvelo.json</a>
  </div>
)HTML";

constexpr std::string_view tail = R"HTML(
  <div class="soon">
    <h2>Coming Soon</h2>
    <ul>
      <li>grandMA2</li>
      <li>grandMA3</li>
      <li>Avolites Titan</li>
      <li>ChamSys MagicQ</li>
      <li>ETC Eos</li>
      <li>Hog 4</li>
    </ul>
  </div>
</div>
</body>
</html>
)HTML";

struct Footprint {
    const char* channels;
    const char* mode;
};

// The profiles are named for the player's channel modes.
Footprint footprintOf(const QString& fileName)
{
    if (fileName.contains(QLatin1String("V2.Fixture")))
        return {"1 Channel", "Standard Mode"};
    if (fileName.contains(QLatin1String("V3.1.Fixture")))
        return {"2 Channels", "Loop Mode"};
    if (fileName.contains(QLatin1String("V4.1.Fixture")))
        return {"18 Channels", "Extended Mode"};
    return {"DMX Fixture", "See documentation"};
}

QString cell(const QString& text)
{
    return QStringLiteral("<td>") + UrlText::htmlEscaped(text) + QStringLiteral("</td>");
}

QString bandTable(const QString& caption, const QVector<DMXReferenceRow>& bands)
{
    QString table = QStringLiteral("    <table>\n      <caption>") + UrlText::htmlEscaped(caption) +
                    QStringLiteral("</caption>\n      <tr><th>Value</th><th>Action</th><th>Meaning</th></tr>\n");
    for (const DMXReferenceRow& band : bands)
        table += QStringLiteral("      <tr>") + cell(band.range) + cell(band.action) + cell(band.description) +
                 QStringLiteral("</tr>\n");
    return table + QStringLiteral("    </table>\n");
}

// The chart of the Extended footprint, from the reference the window shows, so from the
// controller's own decoding; the smaller modes are its first channel or two.
QString chart()
{
    DMXConfig extended;
    extended.mode = DMXMode::extended;
    const DMXReference reference = makeDMXReference(extended);
    QString html = QStringLiteral(
        "  <div class=\"chart\" id=\"chart\">\n    <h2>Channel chart</h2>\n"
        "    <p>Channels count from the player's start channel (Settings, DMX). Standard uses channel 1, Loop "
        "channels 1-2, Extended channels 1-18.</p>\n");
    html += bandTable(QStringLiteral("Channel 1: Track Control (every mode)"), controlRowsByTrack(reference));
    html += bandTable(QStringLiteral("Channel 2: Loop Count (Loop and Extended)"), reference.loopRows);
    for (const DMXEffectRow& row : reference.effectRows)
        html += bandTable(QStringLiteral("Channel %1: %2 (Extended)").arg(row.relativeChannel).arg(row.parameter),
                          row.bands);
    return html + QStringLiteral("  </div>");
}

QString card(const QString& fileName)
{
    const Footprint footprint = footprintOf(fileName);
    const QString link = UrlText::htmlEscaped(QStringLiteral("/fixtures/") + UrlText::percentEncodedPath(fileName));
    return QStringLiteral("  <div class=\"card\">\n"
                          "    <div class=\"card-title\">%1</div>\n"
                          "    <div class=\"console\">%2</div>\n"
                          "    <div class=\"footprint\"><span>📺 %3</span><span>🎬 %4</span></div>\n"
                          "    <a class=\"download\" href=\"%5\" download>⬇️ Download</a>\n"
                          "  </div>")
        .arg(UrlText::htmlEscaped(fileName), WebResources::consoleLabel(fileName),
             QString::fromUtf8(footprint.channels), QString::fromUtf8(footprint.mode), link);
}

} // namespace

std::string fixtures(const QStringList& fixtureFileNames)
{
    QStringList each;
    for (const QString& name : fixtureFileNames)
        each.append(card(name));
    each.append(chart());
    std::string page = pageStart();
    page += headHtml;
    page += profileStart;
    page += FixtureProfile::downloadPath;
    page += profileEnd;
    page += each.join(QLatin1Char('\n')).toStdString();
    page += tail;
    return page;
}

} // namespace orvelo::WebPages
