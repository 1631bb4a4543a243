#pragma once

#include "web/WebAsset.h"

#include <QStringList>

#include <string>
#include <string_view>

namespace orvelo::WebPages {

// The remote's pages, each a document of its own markup and script that talks only to the JSON
// API. They share one stylesheet and one script, served once each beside them, so that what
// they have in common is written once and a phone loads it once. The fixed pages are built
// once; the fixtures page on every request.

// Every page's styles, each page's own scoped by the class on its body.
const WebAsset& styleSheet();
// What every page's own script builds on: byId, postJson and its refusals, pollStatus, the
// Ignore DMX button and the session.
const WebAsset& script();

// What every page opens with, up to its title: the phone viewport, the stylesheet and the script.
// Each page continues with its <title> and its body.
const std::string& pageStart();

// "/login.html": the password form, or a viewer link's key taken from the address fragment.
std::string_view login();
// "/": transport, timecode and DMX input at a glance; polls the status ten times a second.
std::string_view remote();
// "/playlist.html": the track list (reorder, play, remove, repeat counts), saved playlists, uploads
// and the media library.
std::string_view playlist();
// "/settings.html": DMX address and mode, playback, protocols, theme, network, NDI, media library.
std::string_view settings();
// "/effects.html": the audio-only pattern and the live video effects.
std::string_view effects();
// "/fixtures.html": the Open Fixture Library profile, one download card per fixture file and
// the channel chart, built on every request.
std::string fixtures(const QStringList& fixtureFileNames);

} // namespace orvelo::WebPages
