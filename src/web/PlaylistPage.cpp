#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart and kSession.
constexpr std::string_view kPlaylistPage = R"HTML(<title>Playlist - Orvelo</title>
<style>
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
.details { display: flex; align-items: center; gap: 8px; margin-top: 6px; color: var(--muted); font-size: 13px; }
.details select { background: var(--raised); color: var(--text); border: 1px solid var(--border); border-radius: 8px; padding: 4px; font-size: 14px; max-width: 84px; }
.main { flex: 1; min-width: 0; }
@media (max-width: 420px) { .buttons { gap: 4px; } .buttons button { width: 36px; } .details { gap: 4px; } }
.buttons button.remove { color: var(--danger); }
h2 { font-size: 18px; margin: 14px 0 2px; }
.panel { background: var(--card); border: 1px solid var(--border); border-radius: 12px; padding: 12px; display: flex; flex-direction: column; gap: 10px; }
.row { display: flex; gap: 8px; }
.row input, .row select { flex: 1; min-width: 0; min-height: 44px; background: var(--raised); color: var(--text); border: 1px solid var(--border); border-radius: 10px; padding: 0 10px; font-size: 16px; }
.action { min-height: 44px; padding: 0 16px; border-radius: 10px; border: none; background: var(--accent); color: #000; font-weight: 700; font-size: 15px; cursor: pointer; touch-action: manipulation; }
.action.secondary { background: var(--raised); color: var(--text); border: 1px solid var(--border); }
.note { font-size: 14px; color: var(--muted); }
.note.ok { color: var(--success); }
.note.error { color: var(--danger); }
.note:empty { display: none; }
.drop { border: 2px dashed var(--border); border-radius: 12px; padding: 18px 12px; text-align: center; color: var(--muted); cursor: pointer; }
.drop.over { border-color: var(--accent); color: var(--text); }
.drop input { display: none; }
.uploads { display: flex; flex-direction: column; gap: 6px; }
.upload { font-size: 13px; }
.upload .bar { height: 8px; border-radius: 4px; background: var(--raised); overflow: hidden; margin-top: 4px; }
.upload .fill { height: 100%; width: 0; background: var(--accent); transition: width .2s; }
.upload.done .fill { background: var(--success); }
.upload.failed .fill { background: var(--danger); }
.library { display: flex; flex-direction: column; gap: 8px; }
.media { display: flex; align-items: center; gap: 10px; background: var(--card); border: 1px solid var(--border); border-radius: 12px; padding: 8px; }
.media img { width: 80px; height: 45px; object-fit: cover; border-radius: 6px; background: var(--raised); flex: none; }
.media .info { flex: 1; min-width: 0; }
.media .title { font-size: 15px; overflow-wrap: anywhere; }
.media .meta { font-size: 12px; color: var(--muted); margin-top: 2px; }
.media .action { padding: 0 14px; }
@media (min-width: 900px) { :root { --page-width: 1100px; } .app { max-width: 1100px; display: grid; grid-template-columns: 1fr 1fr; column-gap: 24px; align-items: start; } .app > .full { grid-column: 1 / -1; } }
</style>
</head>
<body>
<div class="app">
  <div class="full">
    <a class="back" href="/">← Back to Remote</a>
    <h1>📋 Playlist</h1>
    <button class="ignore" id="ignoreButton">Ignore DMX</button>
  </div>
  <section>
    <div class="list" id="list"><div class="message">Loading...</div></div>
    <h2>💾 Saved Playlists</h2>
    <div class="panel">
      <div class="row"><input type="text" id="saveName" placeholder="Playlist name" autocomplete="off"><button class="action" id="saveButton">Save</button></div>
      <div class="row"><select id="savedList"></select><button class="action secondary" id="loadButton">Load</button></div>
      <div class="note" id="playlistNote"></div>
    </div>
  </section>
  <section>
    <h2>⬆️ Upload Media</h2>
    <div class="panel">
      <label class="drop" id="drop">Drop video or audio files here, or tap to choose<input type="file" id="fileInput" multiple accept="video/*,audio/*"></label>
      <div class="uploads" id="uploads"></div>
    </div>
    <h2>🎞️ Media Library</h2>
    <div class="library" id="library"><div class="message">Loading...</div></div>
  </section>
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

function repeatOptions(count) {
  const values = [0, 1, 2, 3, 4, 5, 10];
  if (!values.includes(count)) values.push(count);
  return values.sort((a, b) => a - b).map((n) =>
    '<option value="' + n + '"' + (n === count ? ' selected' : '') + '>' + (n === 0 ? 'Infinite' : n + '×') + '</option>').join('');
}

function render(tracks) {
  const list = byId('list');
  // Rebuilding the rows would close a repeat menu the operator has open.
  if (list.contains(document.activeElement) && document.activeElement.tagName === 'SELECT') return;
  if (tracks.length === 0) {
    list.innerHTML = '<div class="message">No tracks in playlist</div>';
    return;
  }
  list.innerHTML = tracks.map((track, i) =>
    '<div class="track' + (track.isCurrent ? ' current' : '') + '">' +
      '<div class="number">' + (track.index + 1) + '</div>' +
      '<div class="main">' +
        '<div class="name">' + escapeHtml(track.name) + '</div>' +
        '<div class="details">Repeat <select class="repeat" data-index="' + track.index + '" aria-label="Repeat count">' +
          repeatOptions(track.repeatCount === undefined ? 1 : track.repeatCount) + '</select></div>' +
      '</div>' +
      '<div class="buttons">' +
        '<button data-action="up" data-index="' + track.index + '"' + (i === 0 ? ' disabled' : '') + ' aria-label="Move up">↑</button>' +
        '<button data-action="down" data-index="' + track.index + '"' + (i === tracks.length - 1 ? ' disabled' : '') + ' aria-label="Move down">↓</button>' +
        '<button data-action="play" class="play" data-index="' + track.index + '" aria-label="Play">▶</button>' +
        '<button data-action="remove" class="remove" data-index="' + track.index + '" aria-label="Remove">✕</button>' +
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
  const request = action === 'play' ? post('/api/playlist/play', { index: index })
    : action === 'remove' ? post('/api/playlist/remove', { index: index })
    : post('/api/playlist/reorder', { index: index, direction: action });
  request.catch(() => {}).finally(() => setTimeout(loadPlaylist, 100));
});

byId('ignoreButton').addEventListener('click', () => {
  ignoreDMX = !ignoreDMX;
  showIgnore();
  post('/api/settings', { playback: { ignoreDMX: ignoreDMX } }).catch(() => {});
});

byId('list').addEventListener('change', (event) => {
  const select = event.target.closest('select.repeat');
  if (!select) return;
  post('/api/playlist/repeat', { index: Number(select.dataset.index), count: Number(select.value) })
    .catch(() => {}).finally(() => { select.blur(); setTimeout(loadPlaylist, 100); });
});

function note(text, kind) {
  const line = byId('playlistNote');
  line.textContent = text;
  line.className = 'note' + (kind ? ' ' + kind : '');
}

async function loadSaved(selected) {
  try {
    const response = await fetch('/api/playlists', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    const lists = await response.json();
    byId('savedList').innerHTML = lists.length === 0 ? '<option value="">No saved playlists</option>'
      : lists.map((l) => '<option' + (l.name === selected ? ' selected' : '') + ' value="' + escapeHtml(l.name) + '">' +
          escapeHtml(l.name) + '</option>').join('');
  } catch (e) {
    byId('savedList').innerHTML = '<option value="">Error loading playlists</option>';
  }
}

byId('saveButton').addEventListener('click', async () => {
  const name = byId('saveName').value.trim();
  if (!name) { note('Enter a name for the playlist', 'error'); return; }
  try {
    const response = await post('/api/playlist/save', { name: name });
    if (!response.ok) throw new Error(await response.text());
    const reply = await response.json();
    note('Saved as ' + reply.name, 'ok');
    loadSaved(reply.name);
  } catch (e) {
    note('Error saving playlist: ' + e.message, 'error');
  }
});

byId('loadButton').addEventListener('click', async () => {
  const name = byId('savedList').value;
  if (!name) return;
  try {
    const response = await post('/api/playlist/load', { name: name });
    if (!response.ok) throw new Error(await response.text());
    const reply = await response.json();
    note('Loaded ' + reply.tracks + ' tracks' + (reply.missing.length ? '; missing: ' + reply.missing.join(', ') : ''),
         reply.missing.length ? 'error' : 'ok');
  } catch (e) {
    note('Error loading playlist: ' + e.message, 'error');
  }
  loadPlaylist();
});

function duration(seconds) {
  if (seconds === undefined) return '--:--';
  const s = Math.floor(seconds);
  return String(Math.floor(s / 60)).padStart(2, '0') + ':' + String(s % 60).padStart(2, '0');
}

function size(bytes) {
  return bytes >= 1073741824 ? (bytes / 1073741824).toFixed(1) + ' GB'
    : bytes >= 1048576 ? (bytes / 1048576).toFixed(1) + ' MB' : Math.max(1, Math.round(bytes / 1024)) + ' KB';
}

async function loadLibrary() {
  const library = byId('library');
  try {
    const response = await fetch('/api/media', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    const files = await response.json();
    if (files.length === 0) {
      library.innerHTML = '<div class="message">No media yet: upload some above</div>';
      return;
    }
    library.innerHTML = files.map((file) =>
      '<div class="media">' +
        '<img loading="lazy" alt="" src="' + escapeHtml(file.thumbnail) + '">' +
        '<div class="info"><div class="title">' + escapeHtml(file.name) + '</div>' +
          '<div class="meta">' + duration(file.duration) + ' · ' + size(file.size) +
          (file.hasVideo ? ' · video' : ' · audio') + '</div></div>' +
        '<button class="action add" data-name="' + escapeHtml(file.name) + '">Add</button>' +
      '</div>').join('');
  } catch (e) {
    library.innerHTML = '<div class="message error">Error loading media</div>';
  }
}

byId('library').addEventListener('click', async (event) => {
  const button = event.target.closest('button.add');
  if (!button) return;
  button.disabled = true;
  try {
    await post('/api/playlist/add', { names: [button.dataset.name] });
  } catch (e) {}
  button.disabled = false;
  loadPlaylist();
});

function encodeName(name) {
  return name.split('/').map(encodeURIComponent).join('/');
}

// XMLHttpRequest, not fetch: only it reports upload progress.
function send(file, row, overwrite) {
  return new Promise((resolve) => {
    const request = new XMLHttpRequest();
    request.open('PUT', '/api/media/' + encodeName(file.name));
    if (overwrite) request.setRequestHeader('Overwrite', 'T');
    request.upload.onprogress = (e) => {
      if (e.lengthComputable) row.querySelector('.fill').style.width = (100 * e.loaded / e.total) + '%';
    };
    request.onload = () => resolve({ status: request.status, text: request.responseText });
    request.onerror = () => resolve({ status: 0, text: 'connection lost' });
    request.send(file);
  });
}

async function upload(file) {
  const row = document.createElement('div');
  row.className = 'upload';
  row.innerHTML = '<div class="label"></div><div class="bar"><div class="fill"></div></div>';
  const label = row.querySelector('.label');
  label.textContent = file.name + ' · ' + size(file.size);
  byId('uploads').appendChild(row);
  let result = await send(file, row, false);
  if (result.status === 409 && confirm(file.name + ' is already in the library. Replace it?')) {
    row.querySelector('.fill').style.width = '0';
    result = await send(file, row, true);
  }
  const ok = result.status === 200;
  row.classList.add(ok ? 'done' : 'failed');
  row.querySelector('.fill').style.width = '100%';
  label.textContent = file.name + (ok ? ' · uploaded' : ' · ' + (result.text || 'failed'));
  loadLibrary();
}

async function uploadAll(files) {
  for (const file of files) await upload(file);
}

const drop = byId('drop');
byId('fileInput').addEventListener('change', (e) => { uploadAll([...e.target.files]); e.target.value = ''; });
drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (e) => {
  e.preventDefault();
  drop.classList.remove('over');
  // A viewer's page has the picker disabled; a drop would only meet the player's refusal.
  if (byId('fileInput').disabled) return;
  uploadAll([...e.dataTransfer.files]);
});

loadPlaylist();
loadStatus();
loadSaved();
loadLibrary();
setInterval(loadPlaylist, 3000);
setInterval(loadStatus, 3000);
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view playlist()
{
    static const std::string page = std::string(kPageStart).append(kSession).append(kPlaylistPage);
    return page;
}

} // namespace orvelo::WebPages
