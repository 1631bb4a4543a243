// Protects the web remote as a person uses it: the five pages in a real browser (Debian's
// Chromium, headless) against the real player, checked through the JSON API, with screenshots
// at phone and desktop size left in the output folder.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, check, fakeStatus, hold, makeMedia, media, origin, playlistNames, rows, run, sleep, step, storePlaylist,
  testSetup, textOf, waitApi, waitCount, waitFor, waitText, withPlayer,
} from './browser_support.mjs';

const setup = testSetup(['media']);
const { folders, shoot: screenshots } = setup;

function timecode(seconds, fps) {
  const two = (n) => String(n).padStart(2, '0');
  const t = Math.floor(seconds);
  return `${two(Math.floor(t / 3600))}:${two(Math.floor((t % 3600) / 60))}:${two(t % 60)}:${two(Math.floor((seconds - t) * fps))}`;
}

// ---- the player's world: its fixture files, media, stored playlist ----

function writeFixtures() {
  const fixtures = {
    'Orvelo V2.Fixture': '<Fixture channels="1"/>',
    'Orvelo V3.1.Fixture': '<Fixture channels="2"/>',
    'Orvelo V4.1.Fixture': '<Fixture channels="18"/>',
    'Orvelo Profile.xml': '<FixtureType name="Orvelo"/>',
    'Orvelo.cha': 'personality',
    'Ignored Upper.XML': 'not listed',
  };
  for (const [name, text] of Object.entries(fixtures)) fs.writeFileSync(path.join(setup.resources, 'Fixtures', name), text);
}

function generateMedia() {
  return [
    makeMedia(folders.media, media.video(300), 'Opening Video.mp4'),
    makeMedia(folders.media, media.tone(440), 'Tone A.wav'),
    makeMedia(folders.media, media.tone(660), 'Tone B.wav'),
    makeMedia(folders.media, media.tone(880), 'Café ☕ Finale.wav'),
  ];
}

async function main() {
  writeFixtures();
  const names = storePlaylist(folders, generateMedia());
  // The transport steps press buttons faster than the player's guard against bouncing allows.
  await withPlayer(setup, { noTransportGap: true }, async ({ player, pages: [page] }) => {
    check(player.lines.includes(`DMXController: Loaded ${names.length} tracks from last session`),
          'the stored playlist was not restored');

    await step('remote page loads and polls the status', async () => {
      await page.goto(origin + '/');
      check((await page.title()) === 'Orvelo Remote', `title is ${await page.title()}`);
      check((await textOf(page, '.brand')) === 'Orvelonode', 'header text');
      await waitText(page, '#trackName', 'No Track');
      await waitText(page, '#badge', 'Stopped');
      check((await page.locator('nav a').count()) === 4, 'four navigation links');
      check((await page.locator('.transport button').count()) === 5, 'five transport buttons');
    });

    await step('remote shows a known position as 00:00:01:12 at 25 fps', async () => {
      const fixed = { isPlaying: true, trackName: 'Known', currentTime: 1.5, duration: 16.5, remainingTime: 15,
        ignoreDMX: false, isListening: true, frameRate: 25, dmxValue: 21, dmxChannel: 7,
        artNetReceiving: true, sacnReceiving: false };
      let document = fixed;
      await fakeStatus(page, () => document);
      await waitText(page, '#timecode', '00:00:01:12');
      check((await textOf(page, '#rate')) === 'SMPTE @ 25 fps', 'frame-rate line');
      check((await textOf(page, '#elapsed')) === '00:01', 'elapsed');
      check((await textOf(page, '#remaining')) === '-00:15', 'remaining');
      check((await textOf(page, '#dmx')) === 'CH7: 21', 'DMX readout');
      check(await page.locator('#artNet.on').count() === 1 && await page.locator('#sacn.on').count() === 0, 'signal lights');
      check(await page.locator('#remaining.warning').count() === 1, 'warning with 15 s left while playing');
      await page.screenshot({ path: path.join(folders.screenshots, 'remote-known-position-phone.png') });
      document = { ...fixed, isPlaying: false };
      await waitText(page, '#badge', 'Stopped');
      check(await page.locator('#remaining.warning').count() === 0, 'no warning while paused');
      document = { ...fixed, currentTime: 3725.96, frameRate: 30 };
      await waitText(page, '#timecode', '01:02:05:28');
      await page.unroute('**/api/status');
    });

    await step('playlist page lists the restored tracks and plays one', async () => {
      await page.goto(origin + '/playlist.html');
      await waitCount(page, '.track', 4);
      check((await rows(page)) === names.join('|'), `rows ${await rows(page)}`);
      check(await page.locator('.track').first().locator('button[data-action=up]').isDisabled(), 'first ↑ disabled');
      check(await page.locator('.track').last().locator('button[data-action=down]').isDisabled(), 'last ↓ disabled');
      await page.locator('.track').nth(1).locator('button[data-action=play]').click();
      await waitApi('Tone A to play', '/api/status', (s) => s.isPlaying && s.trackName === 'Tone A', 10000);
      await waitFor('the current row highlighted', async () =>
        (await page.locator('.track.current .name').allTextContents()).join() === 'Tone A');
    });

    await step('playlist reorder moves a track down', async () => {
      await page.locator('.track').first().locator('button[data-action=down]').click();
      const moved = [names[1], names[0], names[2], names[3]].join('|');
      await waitFor('the API order', async () => (await playlistNames()) === moved);
      await waitFor('the page order', async () => (await rows(page)) === moved);
      await page.locator('.track').nth(1).locator('button[data-action=up]').click();
      await waitFor('the order restored', async () => (await playlistNames()) === names.join('|'));
    });
    await screenshots(page, 'playlist');

    await step('transport buttons drive the player', async () => {
      await page.goto(origin + '/');
      await waitText(page, '#trackName', 'Tone A');
      await waitText(page, '#badge', 'Playing');
      await page.click('button[data-command=pause]');
      await waitApi('paused', '/api/status', (s) => !s.isPlaying);
      await waitText(page, '#badge', 'Paused');
      const paused = await api('/api/status');
      await waitText(page, '#timecode', timecode(paused.currentTime, paused.frameRate));
      check(paused.currentTime > 0, 'paused after some time');
      await page.click('button[data-command=play]');
      await waitApi('playing again', '/api/status', (s) => s.isPlaying);
      await page.click('button[data-command=next]');
      await waitApi('the next track', '/api/status', (s) => s.trackName === 'Tone B' && s.isPlaying, 10000);
      await waitText(page, '#trackName', 'Tone B');
      await hold(page, page.locator('button[data-command=stop]'), 900);
      await waitApi('stopped at zero', '/api/status', (s) => !s.isPlaying && s.currentTime === 0);
      await waitText(page, '#timecode', '00:00:00:00');
      await page.click('button[data-command=play]');
      await waitApi('playing from the start', '/api/status', (s) => s.isPlaying);
      await page.click('button[data-command=prev]');
      await waitApi('prev stops', '/api/status', (s) => !s.isPlaying);
    });

    await step('Ignore DMX toggles manual mode', async () => {
      await page.click('#ignoreButton');
      await waitApi('ignoreDMX on', '/api/settings', (s) => s.playback.ignoreDMX === true);
      await sleep(300);
      check(await page.locator('#ignoreButton.active').count() === 1, 'shown as active');
      await page.click('#ignoreButton');
      await waitApi('ignoreDMX off', '/api/settings', (s) => s.playback.ignoreDMX === false);
    });
    await screenshots(page, 'remote');

    await step('theme button switches to light and remembers it', async () => {
      await page.click('#themeButton');
      check(await page.evaluate(() => document.body.classList.contains('light')), 'light applied');
      await page.reload();
      check(await page.evaluate(() => localStorage.getItem('theme')) === 'light', 'stored');
      check(await page.evaluate(() => document.body.classList.contains('light')), 'light after reload');
      await page.screenshot({ path: path.join(folders.screenshots, 'remote-light-phone.png'), fullPage: true });
      await page.click('#themeButton');
      check(await page.evaluate(() => localStorage.getItem('theme')) === 'dark', 'dark stored');
    });

    await step('settings page saves the DMX address, mode and theme', async () => {
      await page.goto(origin + '/settings.html');
      await waitCount(page, '#theme option', 4);
      await page.fill('#startChannel', '500');
      await page.selectOption('#mode', 'Extended (18 Ch)');
      await waitText(page, '#channelRange', 'Channels: 500-517');
      await page.selectOption('#theme', 'midnight');
      await page.click('#saveButton');
      await waitText(page, '#status', 'Settings saved successfully!');
      await waitApi('the API to show the change', '/api/settings', (s) =>
        s.dmx.startChannel === 500 && s.dmx.mode === 'Extended (18 Ch)' && s.theme.current === 'midnight');
      const status = await api('/api/status');
      check(status.dmxChannel === 500, 'status follows the start channel');
    });
    await screenshots(page, 'settings', { pinnedBar: true });

    await step('effects page picks a pattern, moves a slider, toggles a channel and resets', async () => {
      await page.goto(origin + '/effects.html');
      await waitCount(page, '#patterns button.selected', 1);
      check((await page.locator('#patterns button').allTextContents()).length === 10, 'ten patterns');
      await page.click('#patterns button[data-name="Spectrum Bars"]');
      await waitApi('the pattern', '/api/effects', (e) => e.pattern.selected === 'Spectrum Bars');
      const slider = page.locator('#brightness');
      const box = await slider.boundingBox();
      await slider.click({ position: { x: box.width * 0.75, y: box.height / 2 } });
      const chosen = Number(await slider.inputValue());
      check(chosen > 0.2 && chosen < 0.8, `slider at ${chosen}`);
      await waitApi('the brightness', '/api/effects', (e) => Math.abs(e.video.brightness - chosen) < 1e-6);
      check((await textOf(page, '#brightnessValue')) === chosen.toFixed(1), 'slider label');
      await page.click('#redEnabled');
      await waitApi('red off', '/api/effects', (e) => e.rgb.redEnabled === false);
      await screenshots(page, 'effects');
      await page.click('#resetButton');
      await waitApi('the defaults', '/api/effects', (e) => e.video.brightness === 0 && e.rgb.redEnabled === true);
      await waitText(page, '#brightnessValue', '0.0');
      check(await page.locator('#redEnabled.on').count() === 1, 'red shown on again');
    });

    await step('fixtures page offers the console files for download', async () => {
      await page.goto(origin + '/fixtures.html');
      check((await page.title()) === 'Fixture Profiles - Orvelo', 'title');
      const titles = await page.locator('.card-title').allTextContents();
      check(JSON.stringify(titles) === JSON.stringify(
        ['Orvelo Profile.xml', 'Orvelo V2.Fixture', 'Orvelo V3.1.Fixture', 'Orvelo V4.1.Fixture', 'Orvelo.cha']),
        `cards ${titles}`);
      const link = page.locator('.card', { hasText: 'Orvelo Profile.xml' }).locator('a.download');
      check((await link.getAttribute('href')) === '/fixtures/Orvelo%20Profile.xml', 'encoded link');
      check((await link.getAttribute('download')) !== null, 'marked as a download');
      const download = await page.request.get(origin + '/fixtures/Orvelo%20Profile.xml');
      check(download.status() === 200 && (await download.text()) === '<FixtureType name="Orvelo"/>', 'file served');
      check((await page.locator('.card', { hasText: 'V4.1' }).textContent()).includes('18 Channels'), 'extended card');
    });
    await screenshots(page, 'fixtures');

    await step('timecode font is served to the page', async () => {
      await page.goto(origin + '/');
      const loaded = await page.evaluate(async () => {
        await document.fonts.ready;
        return document.fonts.check('20px Digital7');
      });
      const fontShipped = fs.existsSync(path.join(folders.program, 'resources', 'digital-7.ttf'));
      check(loaded === fontShipped, `font loaded ${loaded}, shipped ${fontShipped}`);
    });
  });
}

await run(setup, main);
