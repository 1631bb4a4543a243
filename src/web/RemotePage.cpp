#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart and kSession.
constexpr std::string_view kRemotePage = R"HTML(<title>Orvelo Remote</title>
<style>
@font-face { font-family: 'Digital7'; src: url('/font/digital-7.ttf') format('truetype'); font-display: swap; }
:root { --page-width: 540px; }
body.light { --bg: #f0f0f0; --card: #ffffff; --raised: #e6e6e6; --text: #141414; --muted: #5c5c5c; --border: #d6d6d6; }
body {
  background: var(--bg); color: var(--text);
  font-family: system-ui, -apple-system, 'Segoe UI', Roboto, 'Helvetica Neue', sans-serif;
  transition: background .2s;
}
.app {
  max-width: 540px; margin: 0 auto; display: flex; flex-direction: column; gap: 12px;
  padding: calc(12px + env(safe-area-inset-top)) 14px calc(20px + env(safe-area-inset-bottom));
}
header { display: flex; align-items: center; justify-content: space-between; }
.brand { font-size: 24px; font-weight: 800; letter-spacing: .3px; }
.brand span { color: var(--accent); }
.icon-button {
  width: 44px; height: 44px; border-radius: 50%; border: 1px solid var(--border);
  background: var(--card); color: var(--text); font-size: 20px; cursor: pointer;
}
.signal {
  display: flex; align-items: center; gap: 14px; background: var(--card);
  border: 1px solid var(--border); border-radius: 12px; padding: 10px 14px;
}
.indicator { display: flex; align-items: center; gap: 7px; font-size: 14px; color: var(--muted); }
.indicator .dot { width: 11px; height: 11px; border-radius: 50%; background: var(--raised); border: 1px solid var(--border); }
.indicator.on { color: var(--text); }
.indicator.on .dot { background: var(--success); border-color: var(--success); box-shadow: 0 0 8px var(--success); }
.dmx { margin-left: auto; font-family: ui-monospace, 'DejaVu Sans Mono', Menlo, monospace; font-size: 15px; font-weight: 700; color: var(--accent); }
.ignore {
  width: 100%; min-height: 50px; border-radius: 12px; border: 2px solid var(--border);
  background: var(--card); color: var(--text); font-size: 16px; font-weight: 700; cursor: pointer;
}
.ignore.active { background: var(--accent); border-color: var(--accent); color: #000; }
.track {
  background: var(--card); border: 1px solid var(--border); border-radius: 16px;
  padding: 16px 18px; display: flex; flex-direction: column; gap: 8px;
}
.track-name { font-size: 20px; font-weight: 700; overflow-wrap: anywhere; min-height: 1.2em; }
.timecode {
  font-family: 'Digital7', ui-monospace, monospace; font-size: clamp(30px, 10.5vw, 54px);
  color: var(--accent); text-align: center; padding: 10px 0 0; white-space: nowrap;
  text-shadow: 0 0 14px rgba(255, 107, 0, .35);
}
body.light .timecode { text-shadow: none; }
.rate { text-align: center; color: var(--muted); font-size: 12px; letter-spacing: 1px; }
.times { display: flex; align-items: center; justify-content: space-between; margin-top: 6px; }
.clock { font-family: 'Digital7', ui-monospace, monospace; font-size: 24px; min-width: 96px; }
.remaining { text-align: right; }
.remaining.warning { color: var(--danger); animation: blink 1s steps(2, start) infinite; }
@keyframes blink { to { opacity: .35; } }
.badge {
  padding: 5px 14px; border-radius: 999px; font-size: 13px; font-weight: 800;
  background: var(--raised); color: var(--muted); text-transform: uppercase; letter-spacing: .5px;
}
.badge.playing { background: var(--success); color: #000; }
.badge.paused { background: var(--accent); color: #000; }
.badge.loading { background: var(--text); color: var(--bg); }
.badge.failed { background: var(--danger); color: #fff; }
.track.failed { border-color: var(--danger); }
.track.failed .timecode { color: var(--muted); text-shadow: none; }
.track-error { color: var(--danger); font-size: 15px; font-weight: 600; overflow-wrap: anywhere; }
.input-note { margin-top: -4px; padding: 6px 12px; border-radius: 10px; border: 1px solid var(--accent);
  background: rgba(255, 107, 0, .12); font-size: 13px; line-height: 1.35; overflow-wrap: anywhere; }
.transport { display: grid; grid-template-columns: repeat(5, 1fr); gap: 8px; }
.transport button {
  height: 64px; border-radius: 14px; border: 1px solid var(--border); background: var(--card);
  color: var(--text); font-size: 26px; cursor: pointer; touch-action: manipulation;
}
.transport button:active, nav a:active, .ignore:active { transform: scale(.95); }
.transport .play { background: var(--success); border-color: var(--success); color: #000; }
.transport .stop { background: var(--danger); border-color: var(--danger); color: #fff; }
.transport { position: relative; }
.transport .stop {
  position: relative; overflow: hidden; touch-action: none;
  user-select: none; -webkit-user-select: none; -webkit-touch-callout: none;
}
.transport .stop .fill {
  position: absolute; inset: 0; background: rgba(255, 255, 255, .5);
  transform: scaleX(0); transform-origin: left; transition: transform .15s; pointer-events: none;
}
.transport .stop.holding .fill { transform: scaleX(1); transition: transform .6s linear; }
.transport .stop .icon { position: relative; pointer-events: none; }
.hold-hint {
  position: absolute; left: 50%; bottom: calc(100% + 8px); transform: translateX(-50%);
  padding: 6px 14px; border-radius: 999px; background: var(--text); color: var(--bg);
  font-size: 14px; font-weight: 700; white-space: nowrap; pointer-events: none; opacity: 0; transition: opacity .2s;
}
.hold-hint.shown { opacity: 1; }
nav { display: grid; grid-template-columns: 1fr 1fr; gap: 8px; }
nav a {
  display: flex; align-items: center; justify-content: center; min-height: 52px; border-radius: 12px;
  background: var(--card); border: 1px solid var(--border); color: var(--text);
  text-decoration: none; font-weight: 600;
}
body.offline .track, body.offline .signal { opacity: .5; }
@media (min-width: 700px) {
  .app { padding-top: 32px; }
  .transport button { height: 76px; }
}
</style>
</head>
<body>
<div class="app">
  <header>
    <div class="brand">Orvelo<span>node</span></div>
    <button class="icon-button" id="themeButton" title="Light or dark" aria-label="Light or dark" data-viewer-ok>🌓</button>
  </header>

  <div class="signal">
    <div class="indicator" id="artNet"><span class="dot"></span>Art-Net</div>
    <div class="indicator" id="sacn"><span class="dot"></span>sACN</div>
    <div class="dmx" id="dmx">CH1: 0</div>
  </div>
  <div class="input-note" id="inputNote" role="status" hidden></div>

  <button class="ignore" id="ignoreButton">Ignore DMX</button>

  <section class="track">
    <div class="track-name" id="trackName">No Track</div>
    <div class="track-error" id="trackError" role="alert" hidden></div>
    <div class="timecode" id="timecode">00:00:00:00</div>
    <div class="rate" id="rate">SMPTE @ 25 fps</div>
    <div class="times">
      <div class="clock" id="elapsed">00:00</div>
      <div class="badge" id="badge">Stopped</div>
      <div class="clock remaining" id="remaining">-00:00</div>
    </div>
  </section>

  <div class="transport">
    <button data-command="prev" aria-label="Previous">⏮</button>
    <button data-command="play" class="play" aria-label="Play">▶</button>
    <button data-command="pause" aria-label="Pause">⏸</button>
    <button data-command="stop" class="stop" aria-label="Stop (hold)" title="Hold to stop"><span class="fill"></span><span class="icon">⏹</span></button>
    <button data-command="next" aria-label="Next">⏭</button>
    <div class="hold-hint" id="hint" role="status"></div>
  </div>

  <nav>
    <a href="/playlist.html">📋 Playlist</a>
    <a href="/effects.html">🎨 Effects</a>
    <a href="/settings.html">⚙️ Settings</a>
    <a href="/fixtures.html">🎭 Fixtures</a>
  </nav>
</div>
<script>
const byId = (id) => document.getElementById(id);
let ignoreDMX = false;
let polling = false;

function two(n) { return String(n).padStart(2, '0'); }

function timecode(seconds, fps) {
  const t = Math.floor(seconds);
  const frames = Math.floor((seconds - t) * fps);
  return two(Math.floor(t / 3600)) + ':' + two(Math.floor((t % 3600) / 60)) + ':' + two(t % 60) + ':' + two(frames);
}

function clock(seconds) {
  return two(Math.floor(seconds / 60)) + ':' + two(Math.floor(seconds % 60));
}

function post(path, body) {
  return fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
}

function showIgnore() {
  byId('ignoreButton').classList.toggle('active', ignoreDMX);
  byId('ignoreButton').textContent = ignoreDMX ? 'Ignore DMX: On (Manual)' : 'Ignore DMX';
}

// A player that does not report its state says only whether it plays.
const stateNames = { playing: 'Playing', paused: 'Paused', stopped: 'Stopped', loading: 'Loading', failed: 'Failed' };

function render(s) {
  const fps = s.frameRate || 25;
  const current = Number(s.currentTime) || 0;
  const remaining = Number(s.remainingTime) || 0;
  byId('artNet').classList.toggle('on', !!s.artNetReceiving);
  byId('sacn').classList.toggle('on', !!s.sacnReceiving);
  byId('dmx').textContent = 'CH' + (s.dmxChannel ?? 1) + ': ' + (s.dmxValue ?? 0);
  ignoreDMX = !!s.ignoreDMX;
  showIgnore();
  byId('trackName').textContent = s.trackName;
  byId('timecode').textContent = timecode(current, fps);
  byId('rate').textContent = 'SMPTE @ ' + fps + ' fps';
  byId('elapsed').textContent = clock(current);
  const state = stateNames[s.state] ? s.state : s.isPlaying ? 'playing' : 'stopped';
  byId('badge').textContent = stateNames[state];
  byId('badge').className = 'badge ' + state;
  document.querySelector('.track').classList.toggle('failed', state === 'failed');
  byId('trackError').textContent = s.error || '';
  byId('trackError').hidden = !s.error;
  byId('inputNote').textContent = s.inputNote ? '⚠️ ' + s.inputNote : '';
  byId('inputNote').hidden = !s.inputNote;
  byId('remaining').textContent = '-' + clock(remaining);
  byId('remaining').classList.toggle('warning', state === 'playing' && remaining <= 20);
}

async function poll() {
  if (polling) return;
  polling = true;
  try {
    const response = await fetch('/api/status', { cache: 'no-store' });
    if (response.ok) {
      render(await response.json());
      document.body.classList.remove('offline');
    }
  } catch (e) {
    document.body.classList.add('offline');
  } finally {
    polling = false;
  }
}

byId('ignoreButton').addEventListener('click', () => {
  ignoreDMX = !ignoreDMX;
  showIgnore();
  post('/api/settings', { playback: { ignoreDMX: ignoreDMX } }).catch(() => {});
});

let hintTimer = null;
function hint(text) {
  byId('hint').textContent = text;
  byId('hint').classList.add('shown');
  clearTimeout(hintTimer);
  hintTimer = setTimeout(() => byId('hint').classList.remove('shown'), 2000);
}

// The player drops a command that follows another too closely: say so rather than look broken.
function command(name) {
  post('/api/control', { command: name })
    .then((response) => response.json())
    .then((reply) => { if (reply.status === 'ignored') hint(reply.reason || 'Too fast: try again'); })
    .catch(() => {})
    .finally(poll);
}

document.querySelectorAll('.transport button:not(.stop)').forEach((button) => {
  button.addEventListener('click', () => command(button.dataset.command));
});

// Stop ends the show, so a stray tap must not do it: it needs a hold, shown filling the button,
// and letting go (or sliding off) early sends nothing.
const stopButton = document.querySelector('.transport .stop');
let holdTimer = null;
function beginHold() {
  if (stopButton.disabled || holdTimer) return;
  stopButton.classList.add('holding');
  holdTimer = setTimeout(() => {
    holdTimer = null;
    stopButton.classList.remove('holding');
    command('stop');
  }, 600);
}
function cancelHold() {
  if (!holdTimer) return;
  clearTimeout(holdTimer);
  holdTimer = null;
  stopButton.classList.remove('holding');
  hint('Hold ⏹ to stop');
}
stopButton.addEventListener('pointerdown', (e) => {
  if (e.button !== 0) return;
  // A touch is captured by the button it started on; let go of it so sliding off cancels.
  if (stopButton.hasPointerCapture(e.pointerId)) stopButton.releasePointerCapture(e.pointerId);
  beginHold();
});
for (const type of ['pointerup', 'pointerleave', 'pointercancel']) stopButton.addEventListener(type, cancelHold);
stopButton.addEventListener('keydown', (e) => {
  if ((e.key === ' ' || e.key === 'Enter') && !e.repeat) { e.preventDefault(); beginHold(); }
});
stopButton.addEventListener('keyup', cancelHold);
stopButton.addEventListener('blur', cancelHold);
stopButton.addEventListener('contextmenu', (e) => e.preventDefault());

if (localStorage.getItem('theme') === 'light') document.body.classList.add('light');
byId('themeButton').addEventListener('click', () => {
  const light = document.body.classList.toggle('light');
  localStorage.setItem('theme', light ? 'light' : 'dark');
});

poll();
setInterval(poll, 100);
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view remote()
{
    static const std::string page = std::string(kPageStart).append(kSession).append(kRemotePage);
    return page;
}

} // namespace orvelo::WebPages
