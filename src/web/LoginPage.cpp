#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart (not kSession: this is where a 401 leads).
constexpr std::string_view kLoginPage = R"HTML(<title>Login - Orvelo</title>
<style>
body.light { --bg: #f0f0f0; --card: #ffffff; --raised: #e6e6e6; --text: #141414; --muted: #5c5c5c; --border: #d6d6d6; }
.app {
  max-width: 420px; min-height: 100vh; min-height: 100dvh; margin: 0 auto;
  display: flex; flex-direction: column; justify-content: center; gap: 18px;
  padding: calc(20px + env(safe-area-inset-top)) 16px calc(28px + env(safe-area-inset-bottom));
}
.brand { font-size: 28px; font-weight: 800; letter-spacing: .3px; text-align: center; }
.brand span { color: var(--accent); }
form {
  background: var(--card); border: 1px solid var(--border); border-radius: 16px;
  padding: 18px; display: flex; flex-direction: column; gap: 14px;
}
h1 { font-size: 20px; margin: 0; }
label { display: flex; flex-direction: column; gap: 6px; font-size: 13px; color: var(--muted); }
input {
  min-height: 50px; padding: 8px 12px; border-radius: 10px; border: 1px solid var(--border);
  background: var(--raised); color: var(--text); font-size: 17px;
}
input:focus { outline: 2px solid var(--accent); outline-offset: 1px; }
button {
  min-height: 52px; border-radius: 12px; border: none; background: var(--accent); color: #000;
  font-size: 17px; font-weight: 800; cursor: pointer; touch-action: manipulation;
}
button:disabled { opacity: .5; cursor: default; }
#error { min-height: 1.3em; color: var(--danger); font-size: 15px; font-weight: 600; line-height: 1.3; }
#error:empty { display: none; }
.note { color: var(--muted); font-size: 14px; line-height: 1.5; text-align: center; margin: 0; }
</style>
</head>
<body>
<div class="app">
  <div class="brand">Orvelo<span>node</span></div>
  <form id="loginForm">
    <h1 id="heading">🔒 Log in</h1>
    <label>Password<input type="password" id="password" autocomplete="current-password" autocapitalize="off" spellcheck="false"></label>
    <button type="submit" id="loginButton">Log in</button>
    <div id="error" role="alert"></div>
  </form>
  <p class="note">This player's remote is protected by a password. With a viewer link or its QR code you can watch the show without one.</p>
</div>
<script>
const byId = (id) => document.getElementById(id);
const button = byId('loginButton');
let waitTimer = null;

if (localStorage.getItem('theme') === 'light') document.body.classList.add('light');

function showError(text) {
  byId('error').textContent = text;
}

// After too many failures the player refuses for a while: keep the button off until then.
function holdOff(seconds) {
  clearInterval(waitTimer);
  let left = Math.ceil(seconds);
  const tick = () => {
    if (left <= 0) {
      clearInterval(waitTimer);
      waitTimer = null;
      button.disabled = false;
      button.textContent = 'Log in';
      return;
    }
    button.disabled = true;
    button.textContent = 'Wait ' + left-- + ' s';
  };
  tick();
  waitTimer = setInterval(tick, 1000);
}

async function login(body) {
  let response;
  let reply = {};
  try {
    response = await fetch('/api/login', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
    reply = await response.json().catch(() => ({}));
  } catch (e) {
    showError('The player cannot be reached');
    return false;
  }
  if (response.ok && reply.status === 'ok') {
    location.replace('/');
    return true;
  }
  showError(reply.error || 'Login failed (' + response.status + ')');
  if (response.status === 429 && reply.retryAfter > 0) holdOff(reply.retryAfter);
  return false;
}

byId('loginForm').addEventListener('submit', async (event) => {
  event.preventDefault();
  const password = byId('password').value;
  if (!password) {
    showError('Enter the password');
    return;
  }
  button.disabled = true;
  await login({ password: password });
  if (!waitTimer) button.disabled = false;
  byId('password').select();
});

// A viewer link carries its key after "#", which never reaches the player's log or a proxy.
const viewerKey = new URLSearchParams(location.hash.slice(1)).get('viewer');
if (viewerKey) {
  byId('heading').textContent = '👁 Opening the viewer link…';
  login({ viewerKey: viewerKey }).then((done) => { if (!done) byId('heading').textContent = '🔒 Log in'; });
} else {
  // Nothing to do here for a browser that already has a session, or while no password is set.
  fetch('/api/session', { cache: 'no-store' })
    .then((response) => (response.ok ? response.json() : null))
    .then((s) => { if (s && s.role !== 'none') location.replace('/'); })
    .catch(() => {});
  byId('password').focus();
}
</script>
</body>
</html>
)HTML";

} // namespace

std::string_view login()
{
    static const std::string page = std::string(kPageStart).append(kLoginPage);
    return page;
}

} // namespace orvelo::WebPages
