// Protects the web remote as a person uses it: the remote, playlist, settings and effects pages
// in a real browser (Debian's Chromium, headless) against the real player, checked through the
// JSON API. The fixtures page is plain HTML from the server, checked by the socket tests.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, check, checkCount, checkEq, checkText, fakeStatus, hold, makeMedia, media, origin, rows, run, setup,
  step, storePlaylist, waitApi, waitCount, waitEq, waitText,
} from './browser_support.mjs';

const { folders, resources } = setup(['media']);
const names = storePlaylist([
  makeMedia(folders.media, media.video(300), 'Opening Video.mp4'),
  makeMedia(folders.media, media.tone(440), 'Tone A.wav'),
  makeMedia(folders.media, media.tone(660), 'Tone B.wav'),
  makeMedia(folders.media, media.tone(880), 'Café ☕ Finale.wav'),
]);

function timecode(seconds, fps) {
  const two = (n) => String(n).padStart(2, '0');
  const t = Math.floor(seconds);
  return `${two(Math.floor(t / 3600))}:${two(Math.floor((t % 3600) / 60))}:${two(t % 60)}:${two(Math.floor((seconds - t) * fps))}`;
}
const status = (what, predicate, timeout) => waitApi(what, '/api/status', predicate, timeout);
const effects = (what, predicate) => waitApi(what, '/api/effects', predicate);

// The transport steps press buttons faster than the player's guard against bouncing allows.
await run({ noTransportGap: true }, async ({ player, pages: [page] }) => {
  const row = (i) => page.locator('.track').nth(i);
  check(player.lines.includes(`DMXController: Loaded ${names.length} tracks from last session`), 'the stored playlist was not restored');

  await step('remote page loads, polls the status and shows a known position as 00:00:01:12 at 25 fps', async () => {
    await page.goto(origin + '/');
    await waitText(page, '#trackName', 'No Track');
    await waitText(page, '#badge', 'Stopped');

    const fixed = { isPlaying: true, trackName: 'Known', currentTime: 1.5, duration: 16.5, remainingTime: 15, ignoreDMX: false,
      isListening: true, frameRate: 25, dmxValue: 21, dmxChannel: 7, artNetReceiving: true, sacnReceiving: false };
    let document = fixed;
    await fakeStatus(page, () => document);
    await waitText(page, '#timecode', '00:00:01:12');
    await checkText(page, '#dmx', 'CH7: 21');
    // The signal lamps, and the warning with 15 s left while playing.
    for (const [selector, count] of [['#artNet.on', 1], ['#sacn.on', 0], ['#remaining.warning', 1]]) await checkCount(page, selector, count);
    document = { ...fixed, currentTime: 3725.96, frameRate: 30 };
    await waitText(page, '#timecode', '01:02:05:28');
    await page.unroute('**/api/status');
  });

  await step('playlist page lists the restored tracks and plays one', async () => {
    await page.goto(origin + '/playlist.html');
    await waitEq('rows', () => rows(page), names.join('|'));
    await row(1).locator('button[data-action=play]').click();
    await status('Tone A to play', (s) => s.isPlaying && s.trackName === 'Tone A', 10000);
    await waitEq('the current row highlighted', () => page.locator('.track.current .name').allTextContents(), ['Tone A']);
  });

  await step('transport buttons drive the player, Ignore DMX toggles manual mode', async () => {
    const press = (command) => page.click(`button[data-command=${command}]`);
    await page.goto(origin + '/');
    await waitText(page, '#trackName', 'Tone A');
    await waitText(page, '#badge', 'Playing');
    await press('pause');
    await status('paused', (s) => !s.isPlaying);
    await waitText(page, '#badge', 'Paused');
    const paused = await api('/api/status');
    await waitText(page, '#timecode', timecode(paused.currentTime, paused.frameRate));
    check(paused.currentTime > 0, 'paused before any time passed');
    await press('play');
    await status('playing again', (s) => s.isPlaying);
    await press('next');
    await status('the next track', (s) => s.trackName === 'Tone B' && s.isPlaying, 10000);
    await waitText(page, '#trackName', 'Tone B');
    await hold(page, page.locator('button[data-command=stop]'), 900);
    await status('stopped at zero', (s) => !s.isPlaying && s.currentTime === 0);
    await waitText(page, '#timecode', '00:00:00:00');
    await press('play');
    await status('playing from the start', (s) => s.isPlaying);
    await press('prev');
    await status('prev stops', (s) => !s.isPlaying);

    await page.click('#ignoreButton');
    await waitApi('ignoreDMX on', '/api/settings', (s) => s.playback.ignoreDMX === true);
    await waitCount(page, '#ignoreButton.active', 1);
    await page.click('#ignoreButton');
    await waitApi('ignoreDMX off', '/api/settings', (s) => s.playback.ignoreDMX === false);
  });

  await step('the timecode font is served', async () => {
    const loaded = await page.evaluate(async () => (await document.fonts.ready) && document.fonts.check('20px Digital7'));
    const fontShipped = fs.existsSync(path.join(resources, 'digital-7.ttf'));
    check(loaded === fontShipped, `font loaded ${loaded}, shipped ${fontShipped}`);
  });

  await step('settings page saves the DMX address, mode, theme and timecode offset', async () => {
    await page.goto(origin + '/settings.html');
    await page.locator('#theme option[value=midnight]').waitFor({ state: 'attached' });
    await page.fill('#startChannel', '500');
    await page.selectOption('#mode', 'Extended (18 Ch)');
    await waitText(page, '#channelRange', 'Channels: 500-517');
    await page.selectOption('#theme', 'midnight');
    await page.fill('#timecodeOffset', '-01:00:00:00');
    await page.click('#saveButton');
    await waitText(page, '#status', 'Settings saved successfully!');
    await waitApi('the API to show the change', '/api/settings', (s) =>
      s.dmx.startChannel === 500 && s.dmx.mode === 'Extended (18 Ch)' && s.theme.current === 'midnight' &&
      s.timecode.offset === '-01:00:00:00' && s.timecode.source === 'console');
    await checkEq('the status channel', async () => (await api('/api/status')).dmxChannel, 500);
  });

  await step('effects page picks a pattern, moves a slider, toggles a channel and resets', async () => {
    await page.goto(origin + '/effects.html');
    await waitCount(page, '#patterns button.selected', 1);
    await page.click('#patterns button[data-name="Spectrum Bars"]');
    await effects('the pattern', (e) => e.pattern.selected === 'Spectrum Bars');
    const slider = page.locator('#brightness');
    const box = await slider.boundingBox();
    await slider.click({ position: { x: box.width * 0.75, y: box.height / 2 } });
    const chosen = Number(await slider.inputValue());
    check(chosen > 0.2 && chosen < 0.8, `slider at ${chosen}`);
    await effects('the brightness', (e) => Math.abs(e.video.brightness - chosen) < 1e-6);
    await checkText(page, '#brightnessValue', chosen.toFixed(1));
    await page.click('#redEnabled');
    await effects('red off', (e) => e.rgb.redEnabled === false);
    await page.click('#resetButton');
    await effects('the defaults', (e) => e.video.brightness === 0 && e.rgb.redEnabled === true);
    await waitCount(page, '#redEnabled.on', 1);
  });
});
