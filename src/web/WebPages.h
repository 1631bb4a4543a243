#pragma once

#include <QStringList>

#include <string>
#include <string_view>

namespace orvelo::WebPages {

// The remote's pages, each one self-contained document (inline style and script) that talks
// only to the JSON API. The four fixed pages are constants held in the program.

// What every page opens with, up to its title: the phone viewport, the dark palette and the
// base styles. Each page continues with its <title>, its own styles and its body.
inline constexpr std::string_view kPageStart = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, viewport-fit=cover">
<meta name="theme-color" content="#0a0a0a">
<style>
:root {
  --bg: #0a0a0a; --card: #1a1a1a; --raised: #262626; --text: #f5f5f5; --muted: #9a9a9a;
  --border: #2e2e2e; --accent: #ff6b00; --success: #00c853; --danger: #ff1744;
}
* { box-sizing: border-box; -webkit-tap-highlight-color: transparent; }
html, body { margin: 0; }
body { background: var(--bg); color: var(--text); font-family: system-ui, -apple-system, 'Segoe UI', Roboto, sans-serif; }
</style>
)HTML";

// "/": transport, timecode and DMX input at a glance; polls the status ten times a second.
std::string_view remote();
// "/playlist.html": the track list (reorder, play, remove, repeat counts), saved playlists, uploads
// and the media library.
std::string_view playlist();
// "/settings.html": DMX address and mode, playback, protocols, theme, network, NDI, media library.
std::string_view settings();
// "/effects.html": the audio-only pattern and the live video effects.
std::string_view effects();
// "/login.html": the password form; a viewer link logs in by itself.
std::string_view login();
// "/fixtures.html": one download card per fixture file, built on every request.
std::string fixtures(const QStringList& fixtureFileNames);

} // namespace orvelo::WebPages
