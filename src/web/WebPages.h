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

// Follows kPageStart on every page but the login page: who this browser is to the player. It
// sends the browser to the login page whenever the API answers 401 (logged out elsewhere, the
// password changed, the session went idle), shows the open-door notice while no password is set
// and Log out once one is, and for a viewer marks the page "View only" and disables every
// control that would change the show (a control that only changes this browser is marked
// data-viewer-ok). The page's own script finds the session as session.ready (resolves to the
// server's {role, passwordSet}, or null when it cannot be asked) and session.refresh().
inline constexpr std::string_view kSession = R"HTML(<style>
.session-bar { display: flex; align-items: center; gap: 8px; max-width: var(--page-width, 640px); margin: 0 auto; padding: 8px 14px 0; font-size: 13px; color: var(--muted); }
.session-bar:empty { display: none; }
.session-bar .open-door { flex: 1; display: flex; align-items: center; gap: 8px; padding: 4px 4px 4px 12px; border-radius: 10px;
  border: 1px solid var(--accent); background: rgba(255, 107, 0, .12); color: var(--text); line-height: 1.35; }
.session-bar .open-door span { flex: 1; }
.session-bar a { color: var(--text); font-weight: 700; white-space: nowrap; text-decoration-color: var(--accent); text-decoration-thickness: 2px; }
.session-bar .view-only { padding: 5px 12px; border-radius: 999px; background: var(--accent); color: #000; font-weight: 800; }
.session-bar button { min-width: 36px; min-height: 36px; padding: 0 12px; border-radius: 8px; border: 1px solid var(--border);
  background: var(--card); color: var(--text); font-size: 13px; font-weight: 600; cursor: pointer; }
.session-bar .open-door button { border: none; background: transparent; padding: 0 8px; }
.session-bar .logout { margin-left: auto; }
body.view-only :is(button, input, select, textarea):disabled { opacity: .4; cursor: not-allowed; }
</style>
<script>
(() => {
  let leaving = false;
  const toLogin = () => {
    if (leaving) return;
    leaving = true;
    location.replace('/login.html');
  };
  const plainFetch = window.fetch.bind(window);
  window.fetch = async (...args) => {
    const response = await plainFetch(...args);
    if (response.status === 401) toLogin();
    return response;
  };
  const plainSend = XMLHttpRequest.prototype.send;
  XMLHttpRequest.prototype.send = function (...args) {
    this.addEventListener('load', () => { if (this.status === 401) toLogin(); });
    return plainSend.apply(this, args);
  };

  const controls = 'button, input, select, textarea';
  function lock(node) {
    for (const control of [node, ...node.querySelectorAll(controls)]) {
      if (control.matches(controls) && !control.closest('[data-viewer-ok]')) control.disabled = true;
    }
  }

  function show(s) {
    let bar = document.querySelector('.session-bar');
    if (!bar) {
      bar = document.createElement('div');
      bar.className = 'session-bar';
      document.body.prepend(bar);
    }
    bar.innerHTML = '';
    if (!s.passwordSet) {
      if (localStorage.getItem('openDoorDismissed') === '1') return;
      bar.innerHTML = '<div class="open-door" role="note"><span>⚠️ Anyone on this network can control this player. ' +
        '<a href="/settings.html#access">Set a password</a></span>' +
        '<button type="button" class="dismiss" aria-label="Dismiss" data-viewer-ok>✕</button></div>';
      bar.querySelector('.dismiss').addEventListener('click', () => {
        localStorage.setItem('openDoorDismissed', '1');
        bar.innerHTML = '';
      });
      return;
    }
    // Once the door is shut, a later removal of the password warns again.
    localStorage.removeItem('openDoorDismissed');
    bar.innerHTML = (s.role === 'viewer' ? '<span class="view-only">👁 View only</span>' : '') +
      '<button type="button" class="logout" data-viewer-ok>Log out</button>';
    bar.querySelector('.logout').addEventListener('click', async () => {
      try {
        await plainFetch('/api/logout', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
      } catch (e) {}
      toLogin();
    });
    if (s.role === 'viewer' && !document.body.classList.contains('view-only')) {
      document.body.classList.add('view-only');
      lock(document.body);
      new MutationObserver((changes) => {
        for (const change of changes) {
          for (const node of change.addedNodes) if (node.nodeType === Node.ELEMENT_NODE) lock(node);
        }
      }).observe(document.body, { childList: true, subtree: true });
    }
  }

  function whenBody(then) {
    if (document.body && document.readyState !== 'loading') then();
    else document.addEventListener('DOMContentLoaded', then, { once: true });
  }

  function refresh() {
    session.ready = plainFetch('/api/session', { cache: 'no-store' })
      .then((response) => (response.ok ? response.json() : null))
      .catch(() => null)
      .then((s) => {
        if (s && s.role === 'none') toLogin();
        else if (s) whenBody(() => show(s));
        return s;
      });
    return session.ready;
  }

  const session = { ready: null, refresh };
  window.session = session;
  refresh();
})();
</script>
)HTML";

// Follows kSession on pages that change the player: one reading of every answer, so that no page
// takes a refusal for success. replyFrom(httpStatus, text) and replyOf(response) give the
// answer's JSON object with ok and httpStatus added; a refusal in plain text becomes its error.
inline constexpr std::string_view kReplies = R"HTML(<script>
function replyFrom(httpStatus, text) {
  let body = null;
  try { body = JSON.parse(text); } catch (e) {}
  const ok = httpStatus >= 200 && httpStatus < 300;
  if (!body || typeof body !== 'object' || Array.isArray(body)) body = ok ? {} : { error: String(text || '').trim() };
  return { ...body, ok: ok, httpStatus: httpStatus };
}
async function replyOf(response) {
  return replyFrom(response.status, await response.text());
}
</script>
)HTML";

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
