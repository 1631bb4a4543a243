// Protects who may drive the player from a browser: pages of another origin are refused, a
// password set from a phone locks out other phones until they log in, viewers watch but cannot
// change the show, sessions end on logout and when idle, and Stop needs a deliberate hold.
import http from 'node:http';
import {
  api, apiPost, check, checkCount, checkEq, hold, makeMedia, media, origin, run, setup, shoot, sleep, snap, step, waitApi,
  waitEq, waitFor, waitText,
} from './browser_support.mjs';

const { mediaFolder } = setup();
const password = 'stage-door-42';

// Once a password is set, this script reaches the API with a token made on the settings page.
let auth = {};
const get = (route) => api(route, { headers: auth });
const post = (route, body) => apiPost(route, body, auth);
const isPlaying = async () => (await get('/api/status')).isPlaying;

// A page of another origin (same machine, another port) that tries to play and to switch DMX
// off: fetch as a simple text/plain request, fetch with JSON, and a form whose text/plain body
// reads as JSON. It sends the browser's cookies along and records what it saw in window.done.
const elsewhere = 'http://127.0.0.1:8091';
const attackPage = `<!DOCTYPE html><title>Elsewhere</title><iframe name="sink"></iframe><script>
const attempts = [];
async function viaFetch(route, body, type) {
  try {
    const response = await fetch('${origin}' + route, { method: 'POST', body, credentials: 'include',
      mode: type === 'text/plain' ? 'no-cors' : 'cors', headers: { 'Content-Type': type } });
    attempts.push(route + ' ' + type + ' ' + response.status);
  } catch (e) {
    attempts.push(route + ' ' + type + ' blocked');
  }
}
function viaForm(route, body) {
  return new Promise((resolve) => {
    const form = Object.assign(document.createElement('form'),
      { method: 'POST', action: '${origin}' + route, enctype: 'text/plain', target: 'sink' });
    form.appendChild(Object.assign(document.createElement('input'), { type: 'hidden', name: body.slice(0, -1) + ',"x":"', value: '"}' }));
    document.body.appendChild(form);
    document.querySelector('iframe').onload = () => { attempts.push(route + ' form'); resolve(); };
    form.submit();
  });
}
(async () => {
  for (const [route, body] of [['/api/control', '{"command":"play"}'], ['/api/settings', '{"playback":{"ignoreDMX":true}}']]) {
    await viaFetch(route, body, 'text/plain');
    await viaFetch(route, body, 'application/json');
    await viaForm(route, body);
  }
  window.done = attempts;
})();
</script>`;

async function attack(context) {
  const page = await context.newPage();
  try {
    await page.goto(elsewhere + '/');
    const attempts = await (await page.waitForFunction(() => window.done, null, { timeout: 15000 })).jsonValue();
    check(attempts.length === 6, `attempts: ${attempts}`);
    await sleep(1000); // long enough for a command that got through to show
    const [status, settings] = [await get('/api/status'), await get('/api/settings')];
    check(!status.isPlaying && !settings.playback.ignoreDMX, `the player obeyed another origin: ${attempts.join(', ')}`);
  } finally {
    await page.close();
  }
}

makeMedia(mediaFolder, media.tone(440, 2000), 'Tone.wav');
http.createServer((request, response) => response.end(attackPage)).listen(8091, '127.0.0.1');
// Refusals the steps provoke show up as failed resources.
await run({ phones: 2, noTransportGap: true, expectedRefusals: /status of (401|403|429)/ }, async ({ pages: [page, phone] }) => {
  await post('/api/playlist/add', { names: ['Tone.wav'] });
  const context = page.context();
  const status = async (route, headers = {}) => (await fetch(origin + route, { headers })).status;

  await step('a page of another origin cannot drive the player', () => attack(context));

  await step('the open-door line shows until dismissed', async () => {
    await page.goto(origin + '/');
    const line = page.locator('.session-bar .open-door');
    await line.waitFor();
    await checkEq('the line\'s link', () => line.locator('a').getAttribute('href'), '/settings.html#access');
    await checkCount(page, '.session-bar .logout', 0);
    await shoot(page, 'remote-open-door');
    await line.locator('button').click();
    await page.reload();
    await sleep(500); // the page has asked for its session by then
    await checkCount(page, '.session-bar .open-door', 0);
  });

  await step('a password set on the settings page locks out other browsers', async () => {
    await page.goto(origin + '/settings.html#access');
    await page.locator('#access').waitFor();
    await page.fill('#newPassword', password);
    await page.fill('#confirmPassword', password);
    await page.click('#passwordButton');
    await waitText(page, '#status', 'Password set: phones and browsers now log in');
    await checkEq('the API without a session', () => status('/api/status'), 401);
    await page.locator('.session-bar .logout').waitFor();
    await page.fill('#tokenName', 'show-script');
    await page.click('#createTokenButton');
    auth = { Authorization: `Bearer ${await waitFor('the new token', () => page.inputValue('#newToken'))}` };
    await checkEq('the API with the token', isPlaying, false);
    await waitFor('the QR code', () => page.locator('#viewerQr').evaluate((image) => image.complete && image.naturalWidth > 0));
    await waitEq('the token listed', () => page.locator('.token .name').allTextContents(), ['show-script']);
    await shoot(page, 'settings-access');
  });

  await step('another origin fails even beside the operator\'s session', () => attack(context));

  await step('a second phone is sent to the login page, refused a wrong password and held off', async () => {
    const logIn = async (words) => {
      await phone.fill('#password', words);
      await phone.click('#loginButton');
    };
    await phone.goto(origin + '/');
    await checkEq('the page', () => phone.url(), origin + '/login.html');
    await checkEq('title', () => phone.title(), 'Login - Orvelo');
    await logIn('stage-door');
    await waitText(phone, '#error', 'Wrong password');
    // A failure holds the address off for a second: even the right password waits.
    await logIn(password);
    await waitText(phone, '#error', 'Too many failed logins: try again in 1 s');
    check(await phone.locator('#loginButton').isDisabled(), 'the button stays usable while held off');
    await shoot(phone, 'login-held-off');
    await waitFor('the button back', () => phone.locator('#loginButton').isEnabled(), 3000);
    await phone.click('#loginButton');
    await phone.waitForURL(origin + '/');
    await waitText(phone, '#badge', 'Stopped');
  });

  await step('Log out returns to the login page', async () => {
    await phone.click('.session-bar .logout');
    await phone.waitForURL(origin + '/login.html');
    await phone.goto(origin + '/playlist.html');
    await checkEq('the page after logging out', () => phone.url(), origin + '/login.html');
  });

  await step('the viewer link opens the remote view-only and its stop is refused', async () => {
    const link = await page.inputValue('#viewerLink');
    check(/\/login\.html#viewer=./.test(link), `link ${link}`);
    await post('/api/playlist/play', { index: 0 });
    await waitApi('playing', '/api/status', (s) => s.isPlaying && s.trackName === 'Tone.wav', 10000, auth);
    await phone.goto('about:blank');
    await phone.goto(origin + '/login.html' + new URL(link).hash);
    await phone.waitForURL(origin + '/');
    await waitText(phone, '.session-bar .view-only', '👁 View only');
    await waitText(phone, '#badge', 'Playing');
    for (const control of ['button[data-command=stop]', 'button[data-command=play]', '#ignoreButton']) {
      check(await phone.locator(control).isDisabled(), `${control} usable`);
    }
    check(!(await phone.locator('#themeButton').isDisabled()), 'the theme is this phone\'s own');
    const refused = await phone.evaluate(() => fetch('/api/control', { method: 'POST',
      headers: { 'Content-Type': 'application/json' }, body: '{"command":"stop"}' }).then((r) => r.status));
    check(refused === 403, `stop answered ${refused}`);
    await sleep(300); // long enough for a stop that got through to show
    check(await isPlaying(), 'the viewer stopped the show');
    await shoot(phone, 'remote-viewer');
  });

  await step('Stop needs a hold: a tap does nothing, a hold stops', async () => {
    await page.goto(origin + '/');
    await waitText(page, '#badge', 'Playing');
    const stop = page.locator('button[data-command=stop]');
    await hold(page, stop, 150);
    await waitText(page, '#hint', 'Hold ⏹ to stop');
    await sleep(500); // long enough for a stop that got through to show
    check(await isPlaying(), 'a tap stopped the show');
    await hold(page, stop, 900, () => snap(page, 'remote-holding-stop'));
    await waitFor('stopped', async () => !(await isPlaying()));
  });

  await step('an idle session ends and the next request lands on the login page', async () => {
    // The settings page does not poll; the operator's remote page does, and stays logged in.
    await phone.goto(origin + '/settings.html');
    await post('/api/settings', { web: { sessionIdleHours: 0.0005 } });
    try {
      await sleep(2500); // past the 1.8 s the session may stay idle
      await phone.evaluate(() => { fetch('/api/status').catch(() => {}); });
      await phone.waitForURL(origin + '/login.html', { timeout: 15000 });
    } finally {
      await post('/api/settings', { web: { sessionIdleHours: 12 } });
    }
  });

  await step('a revoked token no longer opens the API', async () => {
    await page.goto(origin + '/settings.html');
    const token = page.locator('.token', { hasText: 'show-script' });
    await token.waitFor();
    page.once('dialog', (dialog) => dialog.accept());
    await token.locator('button.revoke').click();
    await waitText(page, '#status', 'Token show-script revoked');
    await checkEq('the API with the revoked token', () => status('/api/status', auth), 401);
  });
});
