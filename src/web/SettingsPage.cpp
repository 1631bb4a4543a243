#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart().
constexpr std::string_view settingsPage = R"HTML(<title>Settings - Orvelo</title>
</head>
<body class="settings-page">
<div class="app">
  <a class="back" href="/">← Back to Remote</a>
  <h1>⚙️ Settings</h1>

  <section>
    <h2>🎛️ DMX Configuration</h2>
    <div class="grid">
      <label class="field">Universe (0-15)<input type="number" id="universe" min="0" max="15" inputmode="numeric"></label>
      <label class="field">Subnet (0-15)<input type="number" id="subnet" min="0" max="15" inputmode="numeric"></label>
      <label class="field">Net (0-127)<input type="number" id="net" min="0" max="127" inputmode="numeric"></label>
      <label class="field">Start Channel (1-512)<input type="number" id="startChannel" min="1" max="512" inputmode="numeric"></label>
      <label class="field wide">Mode
        <select id="mode">
          <option value="Standard (1 Ch)">Standard (1 Ch)</option>
          <option value="Loop (2 Ch)">Loop (2 Ch)</option>
          <option value="Extended (18 Ch)">Extended (18 Ch)</option>
        </select>
      </label>
    </div>
    <div class="range" id="channelRange">Channels: 1-1</div>
  </section>

  <section>
    <h2>▶️ Playback</h2>
    <label class="switch">Ignore DMX (Manual Mode)<input type="checkbox" id="ignoreDMX"></label>
    <label class="switch">Auto-Play Next Track<input type="checkbox" id="autoPlayNext"></label>
    <label class="field">Tracks Kept Ready<input type="number" id="preloadCount" min="0" max="8" step="1" inputmode="numeric"></label>
    <label class="field">Memory for Ready Tracks (MB)<input type="number" id="preloadBudgetMB" min="64" max="16384" step="1" inputmode="numeric"></label>
    <label class="field">Timecode Frame Rate
      <select id="frameRate">
        <option value="24">24 fps</option>
        <option value="25">25 fps</option>
        <option value="30">30 fps</option>
      </select>
    </label>
  </section>

  <section>
    <h2>📡 Protocol</h2>
    <div class="grid">
      <label class="field">Input Protocol
        <select id="inputProtocol"><option value="Art-Net">Art-Net</option><option value="sACN">sACN</option></select>
      </label>
      <label class="field">Output Protocol
        <select id="outputProtocol"><option value="Art-Net">Art-Net</option><option value="sACN">sACN</option></select>
      </label>
    </div>
    <label class="switch">Enable CITP (MSEX)<input type="checkbox" id="citpEnabled"></label>
  </section>

  <section>
    <h2>🎨 Appearance</h2>
    <label class="field">Theme<select id="theme"></select></label>
  </section>

  <section>
    <h2>📺 Default Video</h2>
    <div class="row">
      <label class="field">Current<input type="text" id="defaultVideo" readonly value="None"></label>
      <button class="secondary" id="clearButton">Clear</button>
    </div>
    <p class="note">A new default video is set in the application window.</p>
  </section>

  <section>
    <h2>🌐 Network Interface</h2>
    <div class="grid">
      <label class="field wide">Interface IP (Leave empty for auto)<input type="text" id="interfaceIP" inputmode="decimal" autocomplete="off"></label>
      <label class="field wide">Broadcast IP (Leave empty for auto)<input type="text" id="interfaceBroadcast" inputmode="decimal" autocomplete="off"></label>
    </div>
  </section>

  <section>
    <h2>⏱ Timecode Source</h2>
    <div class="grid">
      <label class="field wide">Transport follows<select id="timecodeSource">
        <option value="console">Console (DMX)</option>
        <option value="artnet">Art-Net timecode</option>
        <option value="ltc">LTC (audio input)</option>
      </select></label>
      <label class="field">Offset (hh:mm:ss:ff)<input type="text" id="timecodeOffset" autocomplete="off"></label>
      <label class="field">Freewheel Frames<input type="number" id="freewheelFrames" min="0" max="250" step="1"></label>
      <label class="field">LTC Device (empty: default)<input type="text" id="ltcInDevice" autocomplete="off"></label>
      <label class="field">LTC Channel<input type="number" id="ltcInChannel" min="1" max="64" step="1"></label>
    </div>
    <label class="switch">Selected track follows (hour ignored)<input type="checkbox" id="followSelectedTrack"></label>
    <label class="switch">Send LTC (audio output)<input type="checkbox" id="ltcOutEnabled"></label>
    <div class="grid">
      <label class="field">LTC Out Device (empty: default)<input type="text" id="ltcOutDevice" autocomplete="off"></label>
      <label class="field">LTC Out Channel<input type="number" id="ltcOutChannel" min="1" max="64" step="1"></label>
    </div>
  </section>

  <section id="access" hidden>
    <h2>🔒 Access</h2>
    <p class="lead" id="passwordState"></p>
    <div class="grid">
      <label class="field wide" id="currentField">Current Password<input type="password" id="currentPassword" autocomplete="current-password"></label>
      <label class="field">New Password<input type="password" id="newPassword" autocomplete="new-password"></label>
      <label class="field">Confirm New Password<input type="password" id="confirmPassword" autocomplete="new-password"></label>
    </div>
    <div class="buttons">
      <button class="primary" id="passwordButton">Set Password</button>
      <button class="secondary" id="removePasswordButton">Remove Password</button>
    </div>
    <p class="note">Changing the password logs out every other phone and browser.</p>

    <h3>👁 Viewer Link</h3>
    <div class="viewer">
      <img id="viewerQr" alt="QR code of the viewer link">
      <div class="text">
        <input type="text" id="viewerLink" readonly aria-label="Viewer link">
        <p class="note">Anyone with this link or code can watch the show from a phone but not change it.</p>
        <button class="secondary" id="renewViewerButton">Renew Link</button>
      </div>
    </div>

    <h3>🔑 Tokens for Scripts</h3>
    <div class="tokens" id="tokenList"></div>
    <div class="row">
      <label class="field">Name<input type="text" id="tokenName" autocomplete="off" autocapitalize="off" spellcheck="false"></label>
      <label class="field narrow">Role<select id="tokenRole"><option value="operator">Operator</option><option value="viewer">Viewer</option></select></label>
      <button class="primary" id="createTokenButton">Create</button>
    </div>
    <div class="new-token" id="newTokenBox" hidden>
      <div class="row">
        <label class="field">New Token<input type="text" id="newToken" readonly></label>
        <button class="secondary neutral" id="copyTokenButton">Copy</button>
      </div>
      <p class="note">Copy it now: it is not shown again. A script sends it as <code>Authorization: Bearer TOKEN</code>.</p>
    </div>
  </section>

  <section id="webSection" hidden>
    <h2>🌍 Web Remote</h2>
    <div class="grid">
      <label class="field wide">Listen On<select id="webInterface"></select></label>
      <label class="field wide">Host Names (comma separated)<input type="text" id="hostNames" autocomplete="off" autocapitalize="off" spellcheck="false" placeholder="orvelo.local"></label>
      <label class="field">Idle Logout (hours)<input type="number" id="sessionIdleHours" min="0" step="any" inputmode="decimal"></label>
      <label class="field">Transport Gap (s)<input type="number" id="transportMinInterval" min="0" step="0.1" inputmode="decimal"></label>
    </div>
    <p class="note">Host names are the names besides its addresses under which phones reach this player. The player ignores a transport command that follows another within the gap.</p>
  </section>

  <section>
    <h2>📺 NDI Output</h2>
    <label class="switch">Enable NDI Broadcast<input type="checkbox" id="ndiEnabled"></label>
    <div class="grid">
      <label class="field">Frame Rate
        <select id="ndiFps">
          <option value="12">12 fps</option><option value="24">24 fps</option><option value="25">25 fps</option>
          <option value="30">30 fps</option><option value="50">50 fps</option><option value="60">60 fps</option>
        </select>
      </label>
      <label class="field">Resolution Scale
        <select id="ndiScale">
          <option value="1">Original</option><option value="2">1/2</option><option value="3">1/3</option><option value="4">1/4</option>
        </select>
      </label>
    </div>
  </section>

  <section>
    <h2>🎞️ Media Library</h2>
    <div class="grid">
      <label class="field wide">Media Folder (Leave empty for default)<input type="text" id="mediaFolder" autocomplete="off" autocapitalize="off" spellcheck="false"></label>
      <label class="field">Upload Size Limit (GiB)<input type="number" id="uploadSizeLimit" min="0.1" step="0.1" inputmode="decimal"></label>
    </div>
    <p class="note">Files uploaded from the playlist page are stored in this folder on the player.</p>
    <div id="rootsBlock" hidden>
      <ul class="roots" id="roots"></ul>
      <p class="note">The media folder must be inside one of these; more are added on the player itself.</p>
    </div>
  </section>

  <div class="actions">
    <div id="status"></div>
    <button id="saveButton">💾 Save All Settings</button>
  </div>
</div>

<script>
const modeChannels = { 'Standard (1 Ch)': 1, 'Loop (2 Ch)': 2, 'Extended (18 Ch)': 18 };
let statusTimer = null;
// Only a player that reports the web group is sent one back.
let webKnown = false;

function showStatus(text, kind) {
  const status = byId('status');
  status.textContent = text;
  status.className = kind;
  clearTimeout(statusTimer);
  statusTimer = setTimeout(() => { status.className = ''; }, 3000);
}

function updateRange() {
  const start = parseInt(byId('startChannel').value, 10) || 1;
  const count = modeChannels[byId('mode').value] || 1;
  byId('channelRange').textContent = 'Channels: ' + start + '-' + (start + count - 1);
}

const GiB = 1073741824;

function refusal(text, reply) {
  return reply && reply.error ? text + ': ' + reply.error : text;
}

// A refusal names the setting as "group.key"; most keys are the id of the control that edits them.
const controlIds = { 'protocol.input': 'inputProtocol', 'protocol.output': 'outputProtocol', 'ndi.enabled': 'ndiEnabled',
  'ndi.fps': 'ndiFps', 'ndi.scale': 'ndiScale', 'theme.current': 'theme', 'web.interface': 'webInterface',
  'timecode.source': 'timecodeSource', 'timecode.offset': 'timecodeOffset' };

function clearFieldErrors() {
  document.querySelectorAll('.field-error').forEach((line) => line.remove());
  document.querySelectorAll('[aria-invalid]').forEach((control) => control.removeAttribute('aria-invalid'));
}

// The reason goes beside the control it concerns, scrolled into view: the status line alone
// does not say which of twenty fields to fix.
function showFieldError(field, text) {
  const control = field ? byId(controlIds[field] || field.split('.').pop()) : null;
  if (!control || !control.matches('input, select')) return;
  const line = Object.assign(document.createElement('span'), { className: 'field-error', textContent: text });
  line.setAttribute('role', 'alert');
  line.dataset.for = control.id;
  const label = control.closest('label');
  if (label && label.classList.contains('field')) label.appendChild(line);
  else (label || control).after(line);
  control.setAttribute('aria-invalid', 'true');
  control.scrollIntoView({ block: 'center' });
}

document.querySelector('.app').addEventListener('input', (event) => {
  if (!event.target.hasAttribute('aria-invalid')) return;
  event.target.removeAttribute('aria-invalid');
  document.querySelector('.field-error[data-for="' + event.target.id + '"]')?.remove();
});

// The server falls back to its default folder for anything but a full path: say so before
// sending rather than save a different folder than the one typed.
function libraryProblem() {
  const folder = byId('mediaFolder').value.trim();
  if (folder && !folder.startsWith('/')) return { error: 'The media folder must be a full path starting with /', field: 'library.mediaFolder' };
  const limit = Number(byId('uploadSizeLimit').value);
  if (!(limit > 0) || Math.round(limit * GiB) < 1) return { error: 'The upload size limit must be more than 0 GiB', field: 'library.uploadSizeLimit' };
  return null;
}

function fill(s) {
  byId('universe').value = s.dmx.universe;
  byId('subnet').value = s.dmx.subnet;
  byId('net').value = s.dmx.net;
  byId('startChannel').value = s.dmx.startChannel;
  byId('mode').value = s.dmx.mode;
  byId('ignoreDMX').checked = s.playback.ignoreDMX;
  byId('autoPlayNext').checked = s.playback.autoPlayNext;
  byId('frameRate').value = String(s.playback.frameRate);
  byId('preloadCount').value = s.playback.preloadCount;
  byId('preloadBudgetMB').value = s.playback.preloadBudgetMB;
  byId('inputProtocol').value = s.protocol.input;
  byId('outputProtocol').value = s.protocol.output;
  byId('citpEnabled').checked = s.protocol.citpEnabled;
  const theme = byId('theme');
  theme.innerHTML = '';
  for (const t of s.theme.available) {
    const option = document.createElement('option');
    option.value = t.id;
    option.textContent = t.name;
    option.selected = t.id === s.theme.current;
    theme.appendChild(option);
  }
  byId('defaultVideo').value = s.defaultVideo.url;
  byId('interfaceIP').value = s.network.interfaceIP;
  if (s.timecode) {
    byId('timecodeSource').value = s.timecode.source;
    byId('timecodeOffset').value = s.timecode.offset;
    byId('freewheelFrames').value = s.timecode.freewheelFrames;
    byId('followSelectedTrack').checked = s.timecode.followSelectedTrack;
    byId('ltcInDevice').value = s.timecode.ltcIn.device;
    byId('ltcInChannel').value = s.timecode.ltcIn.channel;
    byId('ltcOutEnabled').checked = s.timecode.ltcOut.enabled;
    byId('ltcOutDevice').value = s.timecode.ltcOut.device;
    byId('ltcOutChannel').value = s.timecode.ltcOut.channel;
  }
  byId('interfaceBroadcast').value = s.network.interfaceBroadcast;
  byId('ndiEnabled').checked = s.ndi.enabled;
  byId('ndiFps').value = String(s.ndi.fps);
  byId('ndiScale').value = String(s.ndi.scale);
  if (s.library) {
    byId('mediaFolder').value = s.library.mediaFolder;
    byId('uploadSizeLimit').value = String(Math.round(s.library.uploadSizeLimit / GiB * 100) / 100);
    const roots = Array.isArray(s.library.roots) ? s.library.roots : [];
    byId('roots').replaceChildren(...roots.map((root) => Object.assign(document.createElement('li'), { textContent: root })));
    byId('rootsBlock').hidden = roots.length === 0;
  }
  if (s.web) fillWeb(s.web);
  updateRange();
}

function fillWeb(web) {
  webKnown = true;
  byId('webSection').hidden = false;
  const select = byId('webInterface');
  const choices = [{ value: '', label: 'All interfaces' }].concat((web.interfaces || []).map((i) =>
    ({ value: i.name, label: i.name + (i.address ? ' (' + i.address + ')' : '') })));
  // An interface that is configured but absent right now stays chosen rather than silently change.
  if (web.interface && !choices.some((c) => c.value === web.interface)) {
    choices.push({ value: web.interface, label: web.interface + ' (not present)' });
  }
  select.replaceChildren(...choices.map((c) => new Option(c.label, c.value, false, c.value === web.interface)));
  byId('hostNames').value = (web.hostNames || []).join(', ');
  byId('sessionIdleHours').value = web.sessionIdleHours;
  byId('transportMinInterval').value = web.transportMinInterval;
}

async function loadSettings() {
  try {
    const response = await fetch('/api/settings', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    fill(await response.json());
  } catch (e) {
    showStatus('Error loading settings', 'error');
  }
}

function collect() {
  const integer = (id) => parseInt(byId(id).value, 10);
  return {
    dmx: {
      universe: integer('universe'), subnet: integer('subnet'), net: integer('net'),
      startChannel: integer('startChannel'), mode: byId('mode').value
    },
    playback: {
      ignoreDMX: byId('ignoreDMX').checked, autoPlayNext: byId('autoPlayNext').checked,
      frameRate: integer('frameRate'), preloadCount: integer('preloadCount'),
      preloadBudgetMB: integer('preloadBudgetMB')
    },
    protocol: {
      input: byId('inputProtocol').value, output: byId('outputProtocol').value,
      citpEnabled: byId('citpEnabled').checked
    },
    ndi: { enabled: byId('ndiEnabled').checked, fps: Number(byId('ndiFps').value), scale: integer('ndiScale') },
    theme: { current: byId('theme').value },
    network: { interfaceIP: byId('interfaceIP').value, interfaceBroadcast: byId('interfaceBroadcast').value },
    timecode: {
      source: byId('timecodeSource').value, offset: byId('timecodeOffset').value.trim(),
      freewheelFrames: integer('freewheelFrames'), followSelectedTrack: byId('followSelectedTrack').checked,
      ltcIn: { device: byId('ltcInDevice').value.trim(), channel: integer('ltcInChannel') },
      ltcOut: {
        enabled: byId('ltcOutEnabled').checked, device: byId('ltcOutDevice').value.trim(),
        channel: integer('ltcOutChannel')
      }
    },
    library: {
      mediaFolder: byId('mediaFolder').value.trim(),
      uploadSizeLimit: Math.round(Number(byId('uploadSizeLimit').value) * GiB)
    },
    ...(webKnown ? { web: {
      interface: byId('webInterface').value,
      hostNames: byId('hostNames').value.split(/[\s,]+/).filter(Boolean),
      sessionIdleHours: Number(byId('sessionIdleHours').value),
      transportMinInterval: Number(byId('transportMinInterval').value)
    } } : {})
  };
}

byId('startChannel').addEventListener('input', updateRange);
byId('mode').addEventListener('change', updateRange);

byId('saveButton').addEventListener('click', async () => {
  clearFieldErrors();
  const problem = libraryProblem();
  if (problem) {
    showFieldError(problem.field, problem.error);
    showStatus(problem.error, 'error');
    return;
  }
  // Nothing is saved on a refusal: the typed values stay for the operator to correct.
  const reply = await postJson('/api/settings', collect(), (refused) => {
    showFieldError(refused.field, refused.error);
    showStatus(refusal('Error saving settings', refused), 'error');
  });
  if (!reply.ok) return;
  showStatus('Settings saved successfully!', 'success');
  // Shows the folder the player now uses (the default one when the field was left empty).
  loadSettings();
});

byId('clearButton').addEventListener('click', async () => {
  if (!confirm('Are you sure you want to clear the default video?')) return;
  const reply = await postJson('/api/settings', { defaultVideo: { clear: true } },
    (refused) => showStatus(refusal('Error clearing video', refused), 'error'));
  if (!reply.ok) return;
  showStatus('Default video cleared!', 'success');
  loadSettings();
});

// ---- access: password, viewer link, tokens; each acts at once, not with Save ----

let passwordSet = false;

// The access routes answer {"status":"ok",...} or {"error":"..."}: the reply, or null once a
// refusal is shown.
async function accessPost(path, body) {
  const reply = await postJson(path, body, (refused) => showStatus(refusalText(refused), 'error'));
  return reply.ok ? reply : null;
}

// Fetched past the cache, so a renewed link never shows the old code.
async function showViewerLink(link) {
  byId('viewerLink').value = link || '';
  try {
    const response = await fetch('/api/access/viewer-qr.svg', { cache: 'no-store' });
    if (!response.ok) return;
    const image = byId('viewerQr');
    if (image.src.startsWith('blob:')) URL.revokeObjectURL(image.src);
    image.src = URL.createObjectURL(await response.blob());
  } catch (e) {}
}

function createdText(created) {
  const date = new Date(typeof created === 'number' && created < 1e12 ? created * 1000 : created);
  return isNaN(date) ? String(created ?? '') : date.toLocaleString();
}

function showAccess(a) {
  passwordSet = !!a.passwordSet;
  byId('passwordState').textContent = passwordSet
    ? 'A password protects this remote: phones and browsers log in first.'
    : 'No password is set: anyone on this network can control this player.';
  byId('currentField').hidden = !passwordSet;
  byId('removePasswordButton').hidden = !passwordSet;
  byId('passwordButton').textContent = passwordSet ? 'Change Password' : 'Set Password';
  showViewerLink(a.viewerLink);
  const tokens = a.tokens || [];
  byId('tokenList').replaceChildren(...(tokens.length === 0
    ? [Object.assign(document.createElement('p'), { className: 'note', textContent: 'No tokens yet.' })]
    : tokens.map((t) => {
      const row = document.createElement('div');
      row.className = 'token';
      row.innerHTML = '<div class="who"><span class="name"></span><span class="meta"></span></div>' +
        '<button class="secondary revoke">Revoke</button>';
      row.querySelector('.name').textContent = t.name;
      row.querySelector('.meta').textContent = t.role + ' · ' + createdText(t.created);
      row.querySelector('.revoke').dataset.name = t.name;
      return row;
    })));
  const section = byId('access');
  if (section.hidden) {
    section.hidden = false;
    if (location.hash === '#access') section.scrollIntoView();
  }
}

// Only an operator may see or change access; a player without access control has no such route.
async function loadAccess() {
  const s = await session.ready;
  if (!s || s.role !== 'operator') return;
  try {
    const response = await fetch('/api/access', { cache: 'no-store' });
    if (response.ok) showAccess(await response.json());
  } catch (e) {}
}

byId('passwordButton').addEventListener('click', async () => {
  const password = byId('newPassword').value;
  if (!password) return showStatus('Enter the new password', 'error');
  if (password !== byId('confirmPassword').value) return showStatus('The new passwords do not match', 'error');
  const body = passwordSet ? { password: password, current: byId('currentPassword').value } : { password: password };
  const wasSet = passwordSet;
  if (!(await accessPost('/api/access/password', body))) return;
  for (const id of ['currentPassword', 'newPassword', 'confirmPassword']) byId(id).value = '';
  showStatus(wasSet ? 'Password changed: other phones and browsers log in again' : 'Password set: phones and browsers now log in', 'success');
  session.refresh();
  loadAccess();
});

byId('removePasswordButton').addEventListener('click', async () => {
  if (!confirm('Remove the password? Anyone on this network can then control this player.')) return;
  if (!(await accessPost('/api/access/password', { password: '', current: byId('currentPassword').value }))) return;
  byId('currentPassword').value = '';
  showStatus('Password removed', 'success');
  session.refresh();
  loadAccess();
});

byId('renewViewerButton').addEventListener('click', async () => {
  if (!confirm('Renew the viewer link? The current link and its QR code stop working.')) return;
  const reply = await accessPost('/api/access/viewer', {});
  if (!reply) return;
  showViewerLink(reply.viewerLink);
  showStatus('Viewer link renewed', 'success');
});

byId('createTokenButton').addEventListener('click', async () => {
  const name = byId('tokenName').value.trim();
  if (!name) return showStatus('Enter a name for the token', 'error');
  const reply = await accessPost('/api/access/tokens', { name: name, role: byId('tokenRole').value });
  if (!reply) return;
  byId('tokenName').value = '';
  byId('newToken').value = reply.token;
  byId('newTokenBox').hidden = false;
  byId('newToken').select();
  showStatus('Token ' + reply.name + ' created', 'success');
  loadAccess();
});

byId('copyTokenButton').addEventListener('click', async () => {
  const field = byId('newToken');
  field.select();
  // The clipboard interface exists only on https and localhost pages.
  const copied = navigator.clipboard
    ? await navigator.clipboard.writeText(field.value).then(() => true, () => false)
    : document.execCommand('copy');
  showStatus(copied ? 'Token copied' : 'Select the token and copy it', copied ? 'success' : 'error');
});

byId('tokenList').addEventListener('click', async (event) => {
  const button = event.target.closest('button.revoke');
  if (!button) return;
  const name = button.dataset.name;
  if (!confirm('Revoke the token ' + name + '? Scripts using it stop working.')) return;
  if (!(await accessPost('/api/access/tokens/revoke', { name: name }))) return;
  showStatus('Token ' + name + ' revoked', 'success');
  loadAccess();
});

loadSettings();
loadAccess();
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view settings()
{
    static const std::string page = pageStart() + std::string(settingsPage);
    return page;
}

} // namespace orvelo::WebPages
