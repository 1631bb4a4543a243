#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart().
constexpr std::string_view effectsPage = R"HTML(<title>Effects - Orvelo</title>
</head>
<body class="effects-page">
<div class="app">
  <header>
    <h1>🎨 Video Effects</h1>
    <a class="back" href="/">← Back</a>
  </header>

  <section>
    <h2>🎭 Pattern (Audio-Only)</h2>
    <div class="patterns" id="patterns"></div>
    <div class="slider">
      <div class="label"><span>Speed</span><span class="value" id="speedValue">1.0</span></div>
      <input type="range" id="speed" min="0.1" max="3" step="0.1" value="1">
    </div>
    <div class="slider">
      <div class="label"><span>Size</span><span class="value" id="sizeValue">20</span></div>
      <input type="range" id="size" min="5" max="100" step="1" value="20">
    </div>
    <div class="slider">
      <div class="label"><span>Gap</span><span class="value" id="gapValue">0</span></div>
      <input type="range" id="gap" min="0" max="20" step="1" value="0">
    </div>
    <button class="toggle" id="autoRotate">Auto-Rotate: Off</button>
  </section>

  <section>
    <h2>📺 Video Effects</h2>
    <div class="slider">
      <div class="label"><span>Playback Speed</span><span class="value" id="playbackSpeedValue">1.0x</span></div>
      <input type="range" id="playbackSpeed" min="0.5" max="2" step="0.1" value="1">
    </div>
    <div class="slider">
      <div class="label"><span>Brightness</span><span class="value" id="brightnessValue">0.0</span></div>
      <input type="range" id="brightness" min="-1" max="1" step="0.1" value="0">
    </div>
    <div class="slider">
      <div class="label"><span>Saturation</span><span class="value" id="saturationValue">1.0</span></div>
      <input type="range" id="saturation" min="0" max="2" step="0.1" value="1">
    </div>
    <div class="slider">
      <div class="label"><span>Alpha</span><span class="value" id="alphaValue">1.0</span></div>
      <input type="range" id="alpha" min="0" max="1" step="0.1" value="1">
    </div>
    <button class="toggle" id="inverted">Inverted: Off</button>
  </section>

  <section>
    <h2>🌈 RGB Channels</h2>
    <div class="channels">
      <button class="channel red on" id="redEnabled">R</button>
      <button class="channel green on" id="greenEnabled">G</button>
      <button class="channel blue on" id="blueEnabled">B</button>
    </div>
  </section>

  <button id="resetButton">🔄 Reset All Effects</button>
</div>
<script>
const patternNames = ['Black Screen', 'Abstract Colors', 'Vertical Stripes', 'Horizontal Stripes', 'Oscilloscope',
  'Spectrum Bars', 'Circular Wave', 'Waveform Mirror', 'Beat Strobe', 'Pulsing Ring'];
const sliders = {
  speed: (v) => v.toFixed(1), size: (v) => String(Math.round(v)), gap: (v) => String(Math.round(v)),
  playbackSpeed: (v) => v.toFixed(1) + 'x', brightness: (v) => v.toFixed(1),
  saturation: (v) => v.toFixed(1), alpha: (v) => v.toFixed(1)
};
const state = { selected: 'Black Screen', autoRotate: false, inverted: false,
  redEnabled: true, greenEnabled: true, blueEnabled: true };

function number(id) { return Number(byId(id).value); }

function showSlider(id) { byId(id + 'Value').textContent = sliders[id](number(id)); }

function showState() {
  document.querySelectorAll('#patterns button').forEach((button) => {
    button.classList.toggle('selected', button.dataset.name === state.selected);
  });
  byId('autoRotate').classList.toggle('on', state.autoRotate);
  byId('autoRotate').textContent = 'Auto-Rotate: ' + (state.autoRotate ? 'On' : 'Off');
  byId('inverted').classList.toggle('on', state.inverted);
  byId('inverted').textContent = 'Inverted: ' + (state.inverted ? 'On' : 'Off');
  for (const id of ['redEnabled', 'greenEnabled', 'blueEnabled']) byId(id).classList.toggle('on', state[id]);
  for (const id of Object.keys(sliders)) showSlider(id);
}

function send() {
  const body = {
    pattern: { selected: state.selected || 'Black Screen', speed: number('speed'), size: number('size'),
      gap: number('gap'), autoRotate: state.autoRotate },
    video: { playbackSpeed: number('playbackSpeed'), brightness: number('brightness'),
      saturation: number('saturation'), alpha: number('alpha'), inverted: state.inverted },
    rgb: { redEnabled: state.redEnabled, greenEnabled: state.greenEnabled, blueEnabled: state.blueEnabled }
  };
  // A refused change must not stay on screen as if the player had taken it.
  return postJson('/api/effects', body, (reply) => {
    showRefusal(reply);
    load();
  });
}

function fill(e) {
  state.selected = e.pattern.selected;
  state.autoRotate = e.pattern.autoRotate;
  state.inverted = e.video.inverted;
  state.redEnabled = e.rgb.redEnabled;
  state.greenEnabled = e.rgb.greenEnabled;
  state.blueEnabled = e.rgb.blueEnabled;
  byId('speed').value = e.pattern.speed;
  byId('size').value = e.pattern.size;
  byId('gap').value = e.pattern.gap;
  byId('playbackSpeed').value = e.video.playbackSpeed;
  byId('brightness').value = e.video.brightness;
  byId('saturation').value = e.video.saturation;
  byId('alpha').value = e.video.alpha;
  showState();
}

async function load() {
  try {
    const response = await fetch('/api/effects', { cache: 'no-store' });
    if (response.ok) fill(await response.json());
  } catch (e) {}
}

byId('patterns').innerHTML = patternNames.map((name) =>
  '<button data-name="' + name + '">' + name + '</button>').join('');
byId('patterns').addEventListener('click', (event) => {
  const button = event.target.closest('button');
  if (!button) return;
  state.selected = button.dataset.name;
  showState();
  send();
});

for (const id of Object.keys(sliders)) {
  byId(id).addEventListener('input', () => showSlider(id));
  byId(id).addEventListener('change', send);
}

for (const id of ['autoRotate', 'inverted', 'redEnabled', 'greenEnabled', 'blueEnabled']) {
  byId(id).addEventListener('click', () => {
    state[id] = !state[id];
    showState();
    send();
  });
}

byId('resetButton').addEventListener('click', () => {
  postJson('/api/effects', { reset: true }).then(load);
});

showState();
load();
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view effects()
{
    static const std::string page = pageStart() + std::string(effectsPage);
    return page;
}

} // namespace orvelo::WebPages
