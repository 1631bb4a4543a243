// Protects what a technician trusts on show day: a failed load never reads as playing, a missing
// file keeps its place in red, an impossible setting is refused beside its field, two phones see
// each other's edits within a second and an edit on an old list is refused. Then who may drive
// the player (another origin's requests are the socket tests'): a password set from a phone
// locks out other phones until they log in, viewers watch but cannot change the show, sessions
// end on logout and when idle, tokens end when revoked, and Stop needs a deliberate hold.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, apiPost, check, checkEq, fakeStatus, hold, makeMedia, media, origin, playlistNames as order, rows, run, setup,
  sleep, step, storePlaylist, textOf, waitEq, waitFor, waitText,
} from './browser_support.mjs';

const { folders, mediaFolder } = setup(['laptop']);
// Bytes no decoder takes for media, under a media file's name.
function junk(folder, name) {
  fs.writeFileSync(path.join(folder, name), 'not a video\n'.repeat(4000));
  return path.join(folder, name);
}
const names = storePlaylist([
  path.join(mediaFolder, 'Missing Opener.wav'),
  makeMedia(mediaFolder, media.tone(440, 2000), 'Tone A.wav'),
  makeMedia(mediaFolder, media.tone(660, 2000), 'Tone B.wav'),
  junk(mediaFolder, 'Junk.mp4'),
]);
const row = (page, name) => page.locator('.track', { has: page.locator('.name', { hasText: name }) });
const password = 'stage-door-42';

// Once a password is set, this script reaches the API with a token made on the settings page.
let auth = {};
const get = (route) => api(route, { headers: auth });
const isPlaying = async () => (await get('/api/status')).isPlaying;
const status = async (route, headers = {}) => (await fetch(origin + route, { headers })).status;

// The refusals the steps provoke show up as failed resources.
await run({ phones: 2, noTransportGap: true, expectedRefusals: /status of (400|401|403|409|429)/ }, async ({ pages: [page, other] }) => {
  const tracks = await api('/api/playlist');
  const missingRows = (p) => p.locator('.track.missing .name').allTextContents();

  await step('a track whose file is missing keeps its place, shown in red with the reason', async () => {
    check(tracks[0].missing && tracks[0].problem && !tracks[1].missing, `rows ${JSON.stringify(tracks)}`);
    await page.goto(origin + '/playlist.html');
    await waitEq('four rows', () => rows(page), names.join('|'));
    await checkEq('the red rows', () => missingRows(page), ['Missing Opener']);
    await checkEq('the reason shown', () => textOf(page, '.track.missing .problem'), tracks[0].problem);
  });

  await step('the badge tells playing, paused and failed; a failed load never reads Playing', async () => {
    await page.goto(origin + '/');
    const play = (i) => () => apiPost('/api/playlist/play', { id: tracks[i].id });
    for (const [act, badge, reasonHas] of [[play(1), 'Playing', ''],
      [() => apiPost('/api/control', { command: 'pause' }), 'Paused', ''], [play(0), 'Failed', 'Missing Opener'], [play(3), 'Failed', '']]) {
      await page.evaluate(() => {
        window.badges = [];
        const badge = document.getElementById('badge');
        new MutationObserver(() => window.badges.push(badge.textContent)).observe(badge, { childList: true });
      });
      await act();
      await waitText(page, '#badge', badge, 10000);
      const s = await api('/api/status');
      check(s.state === badge.toLowerCase(), `${badge}: state ${s.state}`);
      if (badge !== 'Failed') {
        check(await page.locator('#trackError').isHidden(), `${badge} with an error line`);
        continue;
      }
      check(!s.isPlaying && !(await page.evaluate(() => window.badges)).includes('Playing'), 'a failed load read Playing');
      await waitFor('the reason on the track card', async () =>
        (await page.locator('#trackError').isVisible()) && (await textOf(page, '#trackError')) === s.error);
      check(s.error.includes(reasonHas), `reason "${s.error}"`);
    }
  });

  await step('an impossible setting is refused beside its field and nothing changes', async () => {
    const before = JSON.stringify((await api('/api/settings')).dmx);
    await page.goto(origin + '/settings.html');
    await page.locator('#theme option').first().waitFor({ state: 'attached' });
    await page.fill('#startChannel', '600');
    await page.click('#saveButton');
    await page.locator('label:has(#startChannel) .field-error').waitFor();
    check((await textOf(page, '#status')).startsWith('Error saving settings: '), `status ${await textOf(page, '#status')}`);
    await checkEq('the DMX settings', async () => JSON.stringify((await api('/api/settings')).dmx), before);
  });

  await step('two phones see each other\'s edits within a second and never act on an old list', async () => {
    for (const p of [page, other]) await p.goto(origin + '/playlist.html');
    await waitEq('both lists', () => Promise.all([page, other].map(rows)), [names.join('|'), names.join('|')]);
    const swapped = [names[0], names[2], names[1], names[3]].join('|');
    await row(page, 'Tone B').locator('button[data-action=up]').click();
    await waitEq('the move', order, swapped);
    await waitEq('the other phone to follow', () => rows(other), swapped, 1000);

    // The other phone misses the next change (as on a slow network) and removes what it shows.
    const stale = await api('/api/status');
    await fakeStatus(other, () => stale);
    await row(page, 'Tone B').locator('button[data-action=down]').click();
    await waitEq('the move back', order, names.join('|'));
    await row(other, 'Tone A').locator('button[data-action=remove]').click();
    await waitText(other, '#listNote', 'The playlist changed on another device: nothing was done. Check the list and try again.');
    await checkEq('the playlist after an edit on an old list', order, names.join('|'));
    await checkEq('the list shown with the refusal', () => rows(other), names.join('|'));
    await other.unroute('**/api/status');

    await row(other, 'Tone A').locator('button[data-action=remove]').click();
    const left = [names[0], names[2], names[3]].join('|');
    await waitEq('Tone A removed', order, left);
    await waitEq('the first phone to follow', () => rows(page), left, 1000);
    await row(page, 'Tone B').locator('select.repeat').selectOption('3');
    await waitEq('the repeat count on the other phone', () => row(other, 'Tone B').locator('select.repeat').inputValue(), '3', 1500);
  });

  await step('an unplayable upload says so, the other phone lists it flagged, and it deletes with a question', async () => {
    const asked = [];
    other.on('dialog', (dialog) => { asked.push(dialog.message()); dialog.accept(); });
    await page.setInputFiles('#fileInput', junk(folders.laptop, 'Broken.mp4'));
    const upload = page.locator('.upload', { hasText: 'Broken.mp4' });
    await waitFor('the upload answer', async () => (await upload.getAttribute('class')) !== 'upload', 15000);
    check((await upload.getAttribute('class')) === 'upload unplayable', `upload row ${await upload.getAttribute('class')}`);
    check((await upload.textContent()).startsWith('Broken.mp4 · not playable: '), `label ${await upload.textContent()}`);
    const sorted = (locator) => async () => (await locator.allTextContents()).sort();
    await waitEq('both junk files flagged on the other phone', sorted(other.locator('.media.unplayable .title')),
      ['Broken.mp4', 'Junk.mp4'], 2000);
    check(await other.locator('.media', { hasText: 'Broken.mp4' }).locator('button.add').isDisabled(), 'Add offered');

    await other.locator('.media', { hasText: 'Junk.mp4' }).locator('button.delete').click();
    await waitFor('Junk.mp4 deleted', async () => !fs.existsSync(path.join(mediaFolder, 'Junk.mp4')));
    check(asked.length === 2 && asked[1].includes('is on the playlist'), `asked ${JSON.stringify(asked)}`);
    check((await api('/api/playlist')).at(-1).missing, 'the entry stays, marked missing');
    await waitEq('the first phone shows it red', () => missingRows(page), ['Missing Opener', 'Junk'], 1500);
    await waitEq('and drops it from its library', sorted(page.locator('.media .title')),
      ['Broken.mp4', 'Tone A.wav', 'Tone B.wav'], 2000);
  });

  await step('a password set on the settings page locks out other browsers', async () => {
    await page.goto(origin + '/settings.html#access');
    await page.fill('#newPassword', password);
    await page.fill('#confirmPassword', password);
    await page.click('#passwordButton');
    await waitText(page, '#status', 'Password set: phones and browsers now log in');
    await checkEq('the API without a session', () => status('/api/status'), 401);
    await page.fill('#tokenName', 'show-script');
    await page.click('#createTokenButton');
    auth = { Authorization: `Bearer ${await waitFor('the new token', () => page.inputValue('#newToken'))}` };
    await checkEq('the API with the token', isPlaying, false);
    await waitFor('the QR code', () => page.locator('#viewerQr').evaluate((image) => image.complete && image.naturalWidth > 0));
    await waitEq('the token listed', () => page.locator('.token .name').allTextContents(), ['show-script']);
  });

  await step('a second phone is sent to the login page, refused a wrong password and held off', async () => {
    const logIn = async (words) => {
      await other.fill('#password', words);
      await other.click('#loginButton');
    };
    await other.goto(origin + '/');
    await checkEq('the page', () => other.url(), origin + '/login.html');
    await logIn('stage-door');
    await waitText(other, '#error', 'Wrong password');
    // A failure holds the address off for a second: even the right password waits.
    await logIn(password);
    await waitText(other, '#error', 'Too many failed logins: try again in 1 s');
    check(await other.locator('#loginButton').isDisabled(), 'the button stays usable while held off');
    await waitFor('the button back', () => other.locator('#loginButton').isEnabled(), 3000);
    await other.click('#loginButton');
    await other.waitForURL(origin + '/');
    await other.click('.session-bar .logout');
    await other.waitForURL(origin + '/login.html');
    await other.goto(origin + '/playlist.html');
    await checkEq('the page after logging out', () => other.url(), origin + '/login.html');
  });

  await step('the viewer link opens the remote view-only and its stop is refused', async () => {
    const link = await page.inputValue('#viewerLink');
    await apiPost('/api/playlist/play', { index: 1 }, auth);
    await waitFor('Tone B playing', async () => {
      const s = await get('/api/status');
      return s.trackName === 'Tone B' && s.isPlaying;
    }, 10000);
    await other.goto('about:blank');
    await other.goto(origin + '/login.html' + new URL(link).hash);
    await other.waitForURL(origin + '/');
    await waitText(other, '.session-bar .view-only', '👁 View only');
    await waitText(other, '#badge', 'Playing');
    for (const control of ['button[data-command=stop]', '#ignoreButton']) check(await other.locator(control).isDisabled(), `${control} usable`);
    check(!(await other.locator('#themeButton').isDisabled()), 'the theme is this phone\'s own');
    const refused = await other.evaluate(() => fetch('/api/control', { method: 'POST',
      headers: { 'Content-Type': 'application/json' }, body: '{"command":"stop"}' }).then((r) => r.status));
    check(refused === 403, `stop answered ${refused}`);
  });

  await step('Stop needs a hold: a tap does nothing, a hold stops', async () => {
    await page.goto(origin + '/');
    const stop = page.locator('button[data-command=stop]');
    await waitText(page, '#badge', 'Playing');
    await hold(page, stop, 150);
    await waitText(page, '#hint', 'Hold ⏹ to stop');
    await sleep(500); // long enough for a stop that got through to show
    check(await isPlaying(), 'a tap or the viewer stopped the show');
    await hold(page, stop, 900);
    await waitFor('stopped', async () => !(await isPlaying()));
  });

  await step('an idle session ends, and a revoked token no longer opens the API', async () => {
    // The settings page does not poll; the operator's remote page does, and stays logged in.
    await other.goto(origin + '/settings.html');
    await apiPost('/api/settings', { web: { sessionIdleHours: 0.0005 } }, auth);
    try {
      await sleep(2500); // past the 1.8 s the session may stay idle
      await other.evaluate(() => { fetch('/api/status').catch(() => {}); });
      await other.waitForURL(origin + '/login.html', { timeout: 15000 });
    } finally {
      await apiPost('/api/settings', { web: { sessionIdleHours: 12 } }, auth);
    }
    await page.goto(origin + '/settings.html');
    const token = page.locator('.token', { hasText: 'show-script' });
    page.once('dialog', (dialog) => dialog.accept());
    await token.locator('button.revoke').click();
    await waitText(page, '#status', 'Token show-script revoked');
    await checkEq('the API with the revoked token', () => status('/api/status', auth), 401);
  });
});
