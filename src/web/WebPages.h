#pragma once

#include <QStringList>

#include <string>
#include <string_view>

namespace orvelo::WebPages {

// The remote's pages, each one self-contained document (inline style and script) that talks
// only to the JSON API. The four fixed pages are constants held in the program.

// "/": transport, timecode and DMX input at a glance; polls the status ten times a second.
std::string_view remote();
// "/playlist.html": the track list, reordering and direct play.
std::string_view playlist();
// "/settings.html": DMX address and mode, playback, protocols, theme, network, NDI.
std::string_view settings();
// "/effects.html": the audio-only pattern and the live video effects.
std::string_view effects();
// "/fixtures.html": one download card per fixture file, built on every request.
std::string fixtures(const QStringList& fixtureFileNames);

} // namespace orvelo::WebPages
