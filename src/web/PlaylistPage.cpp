#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart().
constexpr std::string_view playlistPage = R"HTML(<title>Playlist - Orvelo</title>
</head>
<body class="playlist-page">
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
const showIgnore = ignoreDmxButton(byId('ignoreButton'));
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

async function edit(path, body) {
  if (editing) return;
  editing = true;
  byId('list').querySelectorAll('button, select').forEach((control) => { control.disabled = true; });
  const reply = await postJson(path, { ...body, revision: shownRevision }, (refused) => {
    if (refused.httpStatus === 409 && Array.isArray(refused.playlist)) {
      pending = null;
      render(refused.playlist, refused.revision);
      note('listNote', 'The playlist changed on another device: nothing was done. Check the list and try again.', 'error');
    } else {
      note('listNote', refusalText(refused), 'error');
    }
  });
  if (reply.ok) note('listNote', '');
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
  const reply = await postJson('/api/playlist/save', { name: name },
    (refused) => note('playlistNote', 'Error saving playlist: ' + refused.error, 'error'));
  if (!reply.ok) return;
  note('playlistNote', 'Saved as ' + reply.name, 'ok');
  loadSaved(reply.name);
});

byId('loadButton').addEventListener('click', async () => {
  const name = byId('savedList').value;
  if (!name) return;
  const reply = await postJson('/api/playlist/load', { name: name },
    (refused) => note('playlistNote', 'Error loading playlist: ' + refused.error, 'error'));
  if (reply.ok) {
    const missing = reply.missing || [];
    note('playlistNote', 'Loaded ' + reply.tracks + ' tracks' + (missing.length ? '; missing: ' + missing.join(', ') : ''),
         missing.length ? 'error' : 'ok');
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
  const reply = await postJson('/api/playlist/add', { names: [button.dataset.name] },
    (refused) => note('libraryNote', 'Error adding ' + button.dataset.name + ': ' + refused.error, 'error'));
  if (reply.ok) note('libraryNote', '');
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

// About twice a second: the revisions in the status say when the playlist or the library
// changed, so both are fetched only then. A hidden page does not ask.
const checkNow = pollStatus(500, async (s) => {
  showIgnore(s);
  const playlistKey = s.playlistRevision + '\n' + s.trackName;
  if (playlistKey !== loadedPlaylist) await loadPlaylist(s.playlistRevision, playlistKey);
  if (s.libraryRevision !== loadedLibrary) await loadLibrary(s.libraryRevision);
}, { whileHidden: false });
loadSaved();
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view playlist()
{
    static const std::string page = pageStart() + std::string(playlistPage);
    return page;
}

} // namespace orvelo::WebPages
