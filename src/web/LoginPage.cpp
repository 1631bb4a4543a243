#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Follows kPageStart.
constexpr std::string_view kLoginPage = R"HTML(<title>Login - Orvelo</title>
</head>
<body>
<form id="login"><input type="password" id="password" autocomplete="current-password"><button>Login</button></form>
<p id="error"></p>
<script>
async function login(body) {
  const response = await fetch('/api/login', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) });
  if (response.ok) { location.href = '/'; return; }
  document.getElementById('error').textContent = (await response.json()).error || 'Login failed';
}
const viewer = new URLSearchParams(location.hash.slice(1)).get('viewer');
if (viewer) login({ viewerKey: viewer });
document.getElementById('login').addEventListener('submit', (e) => { e.preventDefault(); login({ password: document.getElementById('password').value }); });
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
