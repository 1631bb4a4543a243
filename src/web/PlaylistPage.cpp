#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

constexpr std::string_view kPlaylistPage = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, viewport-fit=cover">
<meta name="theme-color" content="#0a0a0a">
<title>Playlist - Orvelo</title>
<style>
:root {
  --bg: #0a0a0a; --card: #1a1a1a; --raised: #262626; --text: #f5f5f5; --muted: #9a9a9a;
  --border: #2e2e2e; --accent: #ff6b00; --success: #00c853; --danger: #ff1744;
}
* { box-sizing: border-box; -webkit-tap-highlight-color: transparent; }
html, body { margin: 0; }
body { background: var(--bg); color: var(--text); font-family: system-ui, -apple-system, 'Segoe UI', Roboto, sans-serif; }
.app {
  max-width: 640px; margin: 0 auto; display: flex; flex-direction: column; gap: 12px;
  padding: calc(12px + env(safe-area-inset-top)) 14px calc(20px + env(safe-area-inset-bottom));
}
h1 { font-size: 24px; margin: 4px 0; }
.back { color: var(--accent); text-decoration: none; font-weight: 600; padding: 8px 0; display: inline-block; }
.ignore {
  width: 100%; min-height: 50px; border-radius: 12px; border: 2px solid var(--border);
  background: var(--card); color: var(--text); font-size: 16px; font-weight: 700; cursor: pointer;
}
.ignore.active { background: var(--accent); border-color: var(--accent); color: #000; }
.list { display: flex; flex-direction: column; gap: 8px; }
.track {
  display: flex; align-items: center; gap: 10px; background: var(--card);
  border: 1px solid var(--border); border-radius: 12px; padding: 10px 10px 10px 12px;
}
.track.current { border-color: var(--accent); box-shadow: inset 4px 0 0 var(--accent); background: #231508; }
.number {
  min-width: 30px; height: 30px; border-radius: 8px; background: var(--raised); color: var(--muted);
  display: flex; align-items: center; justify-content: center; font-weight: 700; font-size: 14px;
}
.track.current .number { background: var(--accent); color: #000; }
.name { flex: 1; min-width: 0; overflow-wrap: anywhere; font-size: 15px; }
.buttons { display: flex; gap: 6px; }
.buttons button {
  width: 42px; height: 42px; border-radius: 10px; border: 1px solid var(--border);
  background: var(--raised); color: var(--text); font-size: 18px; cursor: pointer; touch-action: manipulation;
}
.buttons button.play { background: var(--success); border-color: var(--success); color: #000; }
.buttons button:disabled { opacity: .3; cursor: default; }
.message { text-align: center; color: var(--muted); padding: 32px 12px; background: var(--card); border-radius: 12px; }
.message.error { color: var(--danger); }
</style>
</head>
<body>
<div class="app">
  <a class="back" href="/">← Back to Remote</a>
  <h1>📋 Playlist</h1>
  <button class="ignore" id="ignoreButton">Ignore DMX</button>
  <div class="list" id="list"><div class="message">Loading...</div></div>
</div>
<script>
const byId = (id) => document.getElementById(id);
let ignoreDMX = false;

function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' }[c]));
}

function post(path, body) {
  return fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
}

function showIgnore() {
  byId('ignoreButton').classList.toggle('active', ignoreDMX);
  byId('ignoreButton').textContent = ignoreDMX ? 'Ignore DMX: On (Manual)' : 'Ignore DMX';
}

function render(tracks) {
  const list = byId('list');
  if (tracks.length === 0) {
    list.innerHTML = '<div class="message">No tracks in playlist</div>';
    return;
  }
  list.innerHTML = tracks.map((track, i) =>
    '<div class="track' + (track.isCurrent ? ' current' : '') + '">' +
      '<div class="number">' + (track.index + 1) + '</div>' +
      '<div class="name">' + escapeHtml(track.name) + '</div>' +
      '<div class="buttons">' +
        '<button data-action="up" data-index="' + track.index + '"' + (i === 0 ? ' disabled' : '') + ' aria-label="Move up">↑</button>' +
        '<button data-action="down" data-index="' + track.index + '"' + (i === tracks.length - 1 ? ' disabled' : '') + ' aria-label="Move down">↓</button>' +
        '<button data-action="play" class="play" data-index="' + track.index + '" aria-label="Play">▶</button>' +
      '</div>' +
    '</div>').join('');
}

async function loadPlaylist() {
  try {
    const response = await fetch('/api/playlist', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    render(await response.json());
  } catch (e) {
    byId('list').innerHTML = '<div class="message error">Error loading playlist</div>';
  }
}

async function loadStatus() {
  try {
    const response = await fetch('/api/status', { cache: 'no-store' });
    if (!response.ok) return;
    ignoreDMX = !!(await response.json()).ignoreDMX;
    showIgnore();
  } catch (e) {}
}

byId('list').addEventListener('click', (event) => {
  const button = event.target.closest('button');
  if (!button || button.disabled) return;
  const index = Number(button.dataset.index);
  const action = button.dataset.action;
  const request = action === 'play'
    ? post('/api/playlist/play', { index: index })
    : post('/api/playlist/reorder', { index: index, direction: action });
  request.catch(() => {}).finally(() => setTimeout(loadPlaylist, 100));
});

byId('ignoreButton').addEventListener('click', () => {
  ignoreDMX = !ignoreDMX;
  showIgnore();
  post('/api/settings', { playback: { ignoreDMX: ignoreDMX } }).catch(() => {});
});

loadPlaylist();
loadStatus();
setInterval(loadPlaylist, 3000);
setInterval(loadStatus, 3000);
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view playlist()
{
    return kPlaylistPage;
}

} // namespace orvelo::WebPages
