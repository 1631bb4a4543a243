#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart, kSession and kReplies.
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
.track.missing { border-color: var(--danger); background: rgba(255, 23, 68, .1); box-shadow: inset 4px 0 0 var(--danger); }
.track.missing .number { background: var(--danger); color: #fff; }
.problem { color: var(--danger); font-size: 13px; font-weight: 600; margin-top: 2px; overflow-wrap: anywhere; }
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
.upload.failed .fill, .upload.unplayable .fill { background: var(--danger); }
.upload.unplayable .label, .upload.failed .label { color: var(--danger); }
.library { display: flex; flex-direction: column; gap: 8px; }
.media { display: flex; align-items: center; gap: 10px; background: var(--card); border: 1px solid var(--border); border-radius: 12px; padding: 8px; }
.media img { width: 80px; height: 45px; object-fit: cover; border-radius: 6px; background: var(--raised); flex: none; }
.media .info { flex: 1; min-width: 0; }
.media .title { font-size: 15px; overflow-wrap: anywhere; }
.media .meta { font-size: 12px; color: var(--muted); margin-top: 2px; }
.media .action { padding: 0 14px; }
.media .thumb { width: 80px; height: 45px; border-radius: 6px; background: var(--raised); flex: none; display: flex; align-items: center; justify-content: center; font-size: 20px; }
.media.unplayable { border-color: var(--danger); }
.media.unplayable .meta { color: var(--danger); }
.media .action:disabled { opacity: .35; cursor: default; }
.media .delete { width: 44px; min-height: 44px; padding: 0; border-radius: 10px; border: 1px solid var(--border); background: var(--raised); color: var(--danger); font-size: 18px; cursor: pointer; flex: none; }
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
    <div class="note" id="listNote" role="status"></div>
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
    <div class="note" id="libraryNote" role="status"></div>
    <div class="library" id="library"><div class="message">Loading...</div></div>
  </section>
</div>
<script>
const byId = (id) => document.getElementById(id);
let ignoreDMX = false;
// The playlist revision whose rows are on screen goes with every edit: the player refuses an edit
// made on a list that has changed since (another phone, the console) rather than act on a track
// the operator did not mean. What was last loaded tells the status poll when to fetch again: the
// playlist also when another track becomes current, which changes no revision.
let shownRevision;
let loadedPlaylist = null;
let loadedLibrary = null;
// Rows that arrived while a repeat menu was open, shown once it closes.
let pending = null;
let shown = { tracks: [], revision: undefined };
// From an edit until the list it leads to is shown, the rows take no second edit: it would be
// made on a list that no longer holds.
let editing = false;

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

function note(id, text, kind) {
  const line = byId(id);
  line.textContent = text;
  line.className = 'note' + (kind ? ' ' + kind : '');
}

function repeatOptions(count) {
  const values = [0, 1, 2, 3, 4, 5, 10];
  if (!values.includes(count)) values.push(count);
  return values.sort((a, b) => a - b).map((n) =>
    '<option value="' + n + '"' + (n === count ? ' selected' : '') + '>' + (n === 0 ? 'Infinite' : n + '×') + '</option>').join('');
}

function render(tracks, revision) {
  const list = byId('list');
  // Rebuilding the rows would close a repeat menu the operator has open.
  if (list.contains(document.activeElement) && document.activeElement.tagName === 'SELECT') {
    pending = { tracks, revision };
    return;
  }
  pending = null;
  shownRevision = revision;
  shown = { tracks, revision };
  if (tracks.length === 0) {
    list.innerHTML = '<div class="message">No tracks in playlist</div>';
    return;
  }
  // A missing file keeps its place: its cue stops playback, so the operator must see it.
  list.innerHTML = tracks.map((track, i) =>
    '<div class="track' + (track.isCurrent ? ' current' : '') + (track.missing ? ' missing' : '') +
        '" data-id="' + escapeHtml(track.id) + '">' +
      '<div class="number">' + (track.index + 1) + '</div>' +
      '<div class="main">' +
        '<div class="name">' + escapeHtml(track.name) + '</div>' +
        (track.missing || track.problem ? '<div class="problem">' + escapeHtml(track.problem || 'File missing') + '</div>' : '') +
        '<div class="details">Repeat <select class="repeat" aria-label="Repeat count">' +
          repeatOptions(track.repeatCount === undefined ? 1 : track.repeatCount) + '</select></div>' +
      '</div>' +
      '<div class="buttons">' +
        '<button data-action="up"' + (i === 0 ? ' disabled' : '') + ' aria-label="Move up">↑</button>' +
        '<button data-action="down"' + (i === tracks.length - 1 ? ' disabled' : '') + ' aria-label="Move down">↓</button>' +
        '<button data-action="play" class="play" aria-label="Play">▶</button>' +
        '<button data-action="remove" class="remove" aria-label="Remove">✕</button>' +
      '</div>' +
    '</div>').join('');
  if (editing) list.querySelectorAll('button, select').forEach((control) => { control.disabled = true; });
}

byId('list').addEventListener('focusout', () => setTimeout(() => { if (pending) render(pending.tracks, pending.revision); }));

async function loadPlaylist(revision, key) {
  loadedPlaylist = key;
  try {
    const response = await fetch('/api/playlist', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    render(await response.json(), revision);
  } catch (e) {
    loadedPlaylist = null;
    byId('list').innerHTML = '<div class="message error">Error loading playlist</div>';
  }
}

// One status request at a time, about twice a second: the revisions in it say when the playlist
// or the library changed, so both are fetched only then. A hidden page does not ask.
let checking = null;
function check() {
  checking = checking || (async () => {
    try {
      const response = await fetch('/api/status', { cache: 'no-store' });
      if (!response.ok) return;
      const s = await response.json();
      ignoreDMX = !!s.ignoreDMX;
      showIgnore();
      const playlistKey = s.playlistRevision + '\n' + s.trackName;
      if (playlistKey !== loadedPlaylist) await loadPlaylist(s.playlistRevision, playlistKey);
      if (s.libraryRevision !== loadedLibrary) await loadLibrary(s.libraryRevision);
    } catch (e) {
    } finally {
      checking = null;
    }
  })();
  return checking;
}

// After this page's own change: a check that starts after it, not one already under way.
async function checkNow() {
  await checking;
  await check();
}

async function watch() {
  if (!document.hidden) await check();
  setTimeout(watch, 500);
}
document.addEventListener('visibilitychange', () => { if (!document.hidden) check(); });

async function edit(path, body) {
  if (editing) return;
  editing = true;
  byId('list').querySelectorAll('button, select').forEach((control) => { control.disabled = true; });
  try {
    const reply = await replyOf(await post(path, { ...body, revision: shownRevision }));
    if (reply.httpStatus === 409 && Array.isArray(reply.playlist)) {
      pending = null;
      render(reply.playlist, reply.revision);
      note('listNote', 'The playlist changed on another device: nothing was done. Check the list and try again.', 'error');
    } else {
      note('listNote', reply.ok ? '' : reply.error || 'The player refused (' + reply.httpStatus + ')', reply.ok ? '' : 'error');
    }
  } catch (e) {
    note('listNote', 'The player cannot be reached', 'error');
  }
  await checkNow();
  editing = false;
  if (pending) render(pending.tracks, pending.revision);
  else render(shown.tracks, shown.revision);
}

byId('list').addEventListener('click', (event) => {
  const button = event.target.closest('button');
  if (!button || button.disabled) return;
  const id = button.closest('.track').dataset.id;
  const action = button.dataset.action;
  if (action === 'play' || action === 'remove') edit('/api/playlist/' + action, { id: id });
  else edit('/api/playlist/reorder', { id: id, direction: action });
});

byId('list').addEventListener('change', (event) => {
  const select = event.target.closest('select.repeat');
  if (!select) return;
  const id = select.closest('.track').dataset.id;
  select.blur();
  edit('/api/playlist/repeat', { id: id, count: Number(select.value) });
});

byId('ignoreButton').addEventListener('click', () => {
  ignoreDMX = !ignoreDMX;
  showIgnore();
  post('/api/settings', { playback: { ignoreDMX: ignoreDMX } }).catch(() => {});
});

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
  if (!name) { note('playlistNote', 'Enter a name for the playlist', 'error'); return; }
  try {
    const reply = await replyOf(await post('/api/playlist/save', { name: name }));
    if (!reply.ok) throw new Error(reply.error);
    note('playlistNote', 'Saved as ' + reply.name, 'ok');
    loadSaved(reply.name);
  } catch (e) {
    note('playlistNote', 'Error saving playlist: ' + e.message, 'error');
  }
});

byId('loadButton').addEventListener('click', async () => {
  const name = byId('savedList').value;
  if (!name) return;
  try {
    const reply = await replyOf(await post('/api/playlist/load', { name: name }));
    if (!reply.ok) throw new Error(reply.error);
    const missing = reply.missing || [];
    note('playlistNote', 'Loaded ' + reply.tracks + ' tracks' + (missing.length ? '; missing: ' + missing.join(', ') : ''),
         missing.length ? 'error' : 'ok');
  } catch (e) {
    note('playlistNote', 'Error loading playlist: ' + e.message, 'error');
  }
  checkNow();
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

// A file the player cannot play is listed, flagged with the reason and can be deleted, but not
// put on the playlist.
function mediaRow(file) {
  const unplayable = file.playable === false;
  const name = escapeHtml(file.name);
  return '<div class="media' + (unplayable ? ' unplayable' : '') + '">' +
    (unplayable ? '<div class="thumb" aria-hidden="true">⚠️</div>' : '<img loading="lazy" alt="" src="' + escapeHtml(file.thumbnail) + '">') +
    '<div class="info"><div class="title">' + name + '</div>' +
      '<div class="meta">' + (unplayable ? 'Not playable: ' + escapeHtml(file.reason || 'unknown format')
        : duration(file.duration) + ' · ' + size(file.size) + (file.hasVideo ? ' · video' : ' · audio')) + '</div></div>' +
    '<button class="action add" data-name="' + name + '"' + (unplayable ? ' disabled' : '') + '>Add</button>' +
    '<button class="delete" data-name="' + name + '" aria-label="Delete" title="Delete from the player">🗑</button>' +
  '</div>';
}

async function loadLibrary(revision) {
  loadedLibrary = revision;
  const library = byId('library');
  try {
    const response = await fetch('/api/media', { cache: 'no-store' });
    if (!response.ok) throw new Error(response.status);
    const files = await response.json();
    library.innerHTML = files.length === 0 ? '<div class="message">No media yet: upload some above</div>' : files.map(mediaRow).join('');
  } catch (e) {
    loadedLibrary = null;
    library.innerHTML = '<div class="message error">Error loading media</div>';
  }
}

function encodeName(name) {
  return name.split('/').map(encodeURIComponent).join('/');
}

async function deleteMedia(name) {
  if (!confirm('Delete ' + name + ' from the player?')) return;
  const target = '/api/media/' + encodeName(name);
  try {
    let reply = await replyOf(await fetch(target, { method: 'DELETE' }));
    if (reply.httpStatus === 409) {
      if (!confirm((reply.error || name + ' is on the playlist') + '. Delete it anyway? Its playlist entries stay, marked missing.')) return;
      reply = await replyOf(await fetch(target + '?force=1', { method: 'DELETE' }));
    }
    if (reply.ok || reply.httpStatus === 404) note('libraryNote', reply.ok ? 'Deleted ' + name : name + ' was already gone', 'ok');
    else note('libraryNote', 'Error deleting ' + name + ': ' + (reply.error || reply.httpStatus), 'error');
  } catch (e) {
    note('libraryNote', 'The player cannot be reached', 'error');
  }
  changedLibrary();
}

// This page's own change to the library is shown at once, whether or not the revision moved.
async function changedLibrary() {
  await checkNow();
  await loadLibrary(loadedLibrary);
}

byId('library').addEventListener('click', async (event) => {
  const button = event.target.closest('button');
  if (!button || button.disabled) return;
  if (button.classList.contains('delete')) {
    deleteMedia(button.dataset.name);
    return;
  }
  button.disabled = true;
  try {
    const reply = await replyOf(await post('/api/playlist/add', { names: [button.dataset.name] }));
    note('libraryNote', reply.ok ? '' : 'Error adding ' + button.dataset.name + ': ' + reply.error, reply.ok ? '' : 'error');
  } catch (e) {}
  button.disabled = false;
  checkNow();
});

// XMLHttpRequest, not fetch: only it reports upload progress.
function send(file, row, overwrite) {
  return new Promise((resolve) => {
    const request = new XMLHttpRequest();
    request.open('PUT', '/api/media/' + encodeName(file.name));
    if (overwrite) request.setRequestHeader('Overwrite', 'T');
    request.upload.onprogress = (e) => {
      if (e.lengthComputable) row.querySelector('.fill').style.width = (100 * e.loaded / e.total) + '%';
    };
    request.onload = () => resolve(replyFrom(request.status, request.responseText));
    request.onerror = () => resolve(replyFrom(0, 'connection lost'));
    request.send(file);
  });
}

// Arriving whole is not enough: the row says whether the player can play the file.
async function upload(file) {
  const row = document.createElement('div');
  row.className = 'upload';
  row.innerHTML = '<div class="label"></div><div class="bar"><div class="fill"></div></div>';
  const label = row.querySelector('.label');
  label.textContent = file.name + ' · ' + size(file.size);
  byId('uploads').appendChild(row);
  let reply = await send(file, row, false);
  if (reply.httpStatus === 409 && confirm(file.name + ' is already in the library. Replace it?')) {
    row.querySelector('.fill').style.width = '0';
    reply = await send(file, row, true);
  }
  const unplayable = reply.ok && reply.playable === false;
  row.classList.add(!reply.ok ? 'failed' : unplayable ? 'unplayable' : 'done');
  row.querySelector('.fill').style.width = '100%';
  label.textContent = file.name + ' · ' + (!reply.ok ? reply.error || 'failed'
    : unplayable ? 'not playable: ' + (reply.reason || 'unknown format')
    : reply.playable ? 'playable · ' + duration(reply.duration) : 'uploaded');
  changedLibrary();
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

loadSaved();
watch();
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view playlist()
{
    static const std::string page = std::string(kPageStart).append(kSession).append(kReplies).append(kPlaylistPage);
    return page;
}

} // namespace orvelo::WebPages
