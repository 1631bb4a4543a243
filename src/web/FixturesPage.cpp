#include "web/UrlText.h"
#include "web/WebPages.h"
#include "web/WebResources.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart and kSession.
constexpr std::string_view kHead = R"HTML(<title>Fixture Profiles - Orvelo</title>
<style>
.app {
  max-width: 640px; margin: 0 auto; display: flex; flex-direction: column; gap: 12px;
  padding: calc(12px + env(safe-area-inset-top)) 14px calc(24px + env(safe-area-inset-bottom));
}
header { display: flex; align-items: center; justify-content: space-between; }
.brand { font-size: 22px; font-weight: 800; }
.brand span { color: var(--accent); }
.back { color: var(--accent); text-decoration: none; font-weight: 600; padding: 8px 0; }
h1 { font-size: 22px; margin: 6px 0 0; }
.intro { color: var(--muted); line-height: 1.5; margin: 0; font-size: 15px; }
.card { background: var(--card); border: 1px solid var(--border); border-radius: 14px; padding: 14px; display: flex; flex-direction: column; gap: 8px; }
.card-title { font-weight: 700; font-size: 16px; overflow-wrap: anywhere; }
.console { display: inline-block; align-self: flex-start; font-size: 12px; font-weight: 700; color: #000; background: var(--accent); border-radius: 999px; padding: 3px 10px; }
.footprint { display: flex; flex-wrap: wrap; gap: 14px; color: var(--muted); font-size: 14px; }
.download {
  display: flex; align-items: center; justify-content: center; min-height: 46px; border-radius: 10px;
  background: var(--success); color: #000; font-weight: 700; text-decoration: none;
}
.empty { background: var(--card); border: 1px dashed var(--border); border-radius: 14px; padding: 32px 16px; text-align: center; color: var(--muted); }
.empty-icon { font-size: 40px; margin-bottom: 8px; }
.soon { background: var(--card); border: 1px solid var(--border); border-radius: 14px; padding: 14px; }
.soon h2 { font-size: 16px; margin: 0 0 8px; }
.soon ul { margin: 0; padding-left: 20px; color: var(--muted); line-height: 1.7; }
</style>
</head>
<body>
<div class="app">
  <header>
    <div class="brand">Orvelo<span>node</span></div>
    <a class="back" href="/">← Back</a>
  </header>
  <h1>🎭 Fixture Profiles</h1>
  <p class="intro">Patch the player in your lighting console like any other fixture: download the profile for your console, patch it at the player's DMX address, and its channels select, run and loop the tracks and drive the live video effects.</p>
)HTML";

constexpr std::string_view kTail = R"HTML(
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
    QString cards;
    if (fixtureFileNames.isEmpty()) {
        cards = QStringLiteral("  <div class=\"empty\"><div class=\"empty-icon\">📁</div>"
                               "<div>No fixture files available yet</div></div>");
    } else {
        QStringList each;
        for (const QString& name : fixtureFileNames)
            each.append(card(name));
        cards = each.join(QLatin1Char('\n'));
    }
    std::string page(kPageStart);
    page += kSession;
    page += kHead;
    page += cards.toStdString();
    page += kTail;
    return page;
}

} // namespace orvelo::WebPages
