#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart().
constexpr std::string_view remotePage = R"HTML(<title>Orvelo Remote</title>
</head>
<body class="remote-page">
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
const showIgnore = ignoreDmxButton(byId('ignoreButton'));

function two(n) { return String(n).padStart(2, '0'); }

function timecode(seconds, fps) {
  const t = Math.floor(seconds);
  const frames = Math.floor((seconds - t) * fps);
  return two(Math.floor(t / 3600)) + ':' + two(Math.floor((t % 3600) / 60)) + ':' + two(t % 60) + ':' + two(frames);
}

function clock(seconds) {
  return two(Math.floor(seconds / 60)) + ':' + two(Math.floor(seconds % 60));
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
  showIgnore(s);
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
  document.body.classList.remove('offline');
}

let hintTimer = null;
function hint(text) {
  byId('hint').textContent = text;
  byId('hint').classList.add('shown');
  clearTimeout(hintTimer);
  hintTimer = setTimeout(() => byId('hint').classList.remove('shown'), 2000);
}

// The player drops a command that follows another too closely: say so rather than look broken.
async function command(name) {
  const reply = await postJson('/api/control', { command: name });
  if (reply.status === 'ignored') hint(reply.reason || 'Too fast: try again');
  checkNow();
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

const checkNow = pollStatus(100, render, { onFailure: () => document.body.classList.add('offline') });
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view remote()
{
    static const std::string page = pageStart() + std::string(remotePage);
    return page;
}

} // namespace orvelo::WebPages
