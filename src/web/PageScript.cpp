#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Loaded in every page's head, before the page's own script, which finds here: byId; postJson,
// the one way the pages change the player, and how its refusals are shown; pollStatus; the
// Ignore DMX button; and, on every page but the login page, the session.
constexpr std::string_view scriptText = R"JS(const byId = (id) => document.getElementById(id);

// One reading of every answer, so that no page takes a refusal for success: the answer's JSON
// object with ok and httpStatus added; a refusal in plain text becomes its error.
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

function refusalText(reply) {
  return reply.error || 'The player refused (' + reply.httpStatus + ')';
}

// A refusal the page has no place of its own for: a line at the foot of the screen until it is
// tapped or a few seconds have passed.
let refusalTimer = null;
function showRefusal(reply) {
  let line = document.querySelector('.refusal');
  if (!line) {
    line = Object.assign(document.createElement('div'), { className: 'refusal', hidden: true });
    line.setAttribute('role', 'alert');
    line.addEventListener('click', () => { line.hidden = true; });
    document.body.appendChild(line);
  }
  line.textContent = refusalText(reply);
  line.hidden = false;
  clearTimeout(refusalTimer);
  refusalTimer = setTimeout(() => { line.hidden = true; }, 6000);
}

// Sends body as JSON and resolves to the reply (see replyFrom); never rejects, an unreachable
// player being a refusal too. Every refusal is shown: by onRefusal(reply) where the page shows it
// in place, otherwise by showRefusal.
async function postJson(path, body, onRefusal = showRefusal) {
  let reply;
  try {
    reply = await replyOf(await fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) }));
  } catch (e) {
    reply = { ok: false, httpStatus: 0, error: 'The player cannot be reached' };
  }
  if (!reply.ok) onRefusal(reply);
  return reply;
}

// Asks for the player's status now and then every `interval` ms after the last answer, one
// request at a time, handing each to onStatus (awaited, so that what it fetches on a change is
// in before the next ask). onFailure hears of a player that cannot be reached; with whileHidden
// false a hidden page does not ask. Returns checkNow: an ask that starts after any under way,
// for after the page's own change.
function pollStatus(interval, onStatus, { onFailure = () => {}, whileHidden = true } = {}) {
  let asking = null;
  const ask = () => {
    asking = asking || (async () => {
      try {
        const response = await fetch('/api/status', { cache: 'no-store' });
        if (response.ok) await onStatus(await response.json());
      } catch (e) {
        onFailure(e);
      } finally {
        asking = null;
      }
    })();
    return asking;
  };
  const tick = async () => {
    if (whileHidden || !document.hidden) await ask();
    setTimeout(tick, interval);
  };
  if (!whileHidden) document.addEventListener('visibilitychange', () => { if (!document.hidden) ask(); });
  tick();
  return async () => {
    await asking;
    await ask();
  };
}

// The Ignore DMX button: switched on screen at once; the status, handed to the function this
// returns, then shows what the player made of it.
function ignoreDmxButton(button) {
  let on = false;
  const show = (value) => {
    on = value;
    button.classList.toggle('active', on);
    button.textContent = on ? 'Ignore DMX: On (Manual)' : 'Ignore DMX';
  };
  button.addEventListener('click', () => {
    show(!on);
    postJson('/api/settings', { playback: { ignoreDMX: on } });
  });
  return (status) => show(!!status.ignoreDMX);
}

// Who this browser is to the player, on every page but the login page (where a 401 leads). It
// sends the browser to the login page whenever the API answers 401 (logged out elsewhere, the
// password changed, the session went idle), shows the open-door notice while no password is set
// and Log out once one is, and for a viewer marks the page "View only" and disables every
// control that would change the show (a control that only changes this browser is marked
// data-viewer-ok). The page's own script finds the session as session.ready (resolves to the
// server's {role, passwordSet}, or null when it cannot be asked) and session.refresh().
(() => {
  const loginPage = '/login.html';
  if (location.pathname === loginPage) return;
  let leaving = false;
  const toLogin = () => {
    if (leaving) return;
    leaving = true;
    location.replace(loginPage);
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
      await postJson('/api/logout', {});
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
)JS";

} // namespace

const WebAsset& script()
{
    static const WebAsset asset =
        WebAsset::versioned("pages", "js", "text/javascript; charset=utf-8", std::string(scriptText));
    return asset;
}

} // namespace orvelo::WebPages
