#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows pageStart(); the shared script watches no session here, this being where a 401 leads.
constexpr std::string_view loginPage = R"HTML(<title>Login - Orvelo</title>
</head>
<body class="login-page">
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
  const reply = await postJson('/api/login', body, (refused) => {
    showError(refused.error || 'Login failed (' + refused.httpStatus + ')');
    if (refused.httpStatus === 429 && refused.retryAfter > 0) holdOff(refused.retryAfter);
  });
  if (reply.ok) location.replace('/');
  return reply.ok;
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
    static const std::string page = pageStart() + std::string(loginPage);
    return page;
}

} // namespace orvelo::WebPages
