// Protects building a show from a phone with only a browser: upload through the file picker,
// the media library, playlist editing, saved playlists and the media folder setting, against
// the real player in headless Chromium, each step checked through the JSON API.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, check, makeMedia, media, origin, rows, run, step, testSetup, textOf, waitCount, waitFor, waitText, withPlayer,
} from './browser_support.mjs';

const setup = testSetup(['laptop']);
const { folders, shoot: screenshots } = setup;
const mediaFolder = path.join(folders.data, 'Orvelo', 'Media');
const playlistsFolder = path.join(folders.data, 'Orvelo', 'Playlists');

const video = 'Opening Video.mp4';
const tone = 'Tones/Café Tone.wav';
const longName = 'Encore-Extended-Mix-With-A-Rather-Long-Name-Final-v3.wav';

// What the player reports as its playlist, reduced to what the page edits.
async function playlist() {
  return (await api('/api/playlist')).map((t) => `${t.name}×${t.repeatCount}`).join('|');
}

function filesIn(folder) {
  return fs.readdirSync(folder, { recursive: true }).map(String).sort();
}

async function main() {
  // The file a person picks on their device, and two already in the player's library.
  const upload = makeMedia(folders.laptop, media.video(50), video);
  makeMedia(mediaFolder, media.tone(550, 100), tone);
  makeMedia(mediaFolder, media.tone(770, 100), longName);

  // The browser logs the refused second upload and the staged refusal of the settings as failed
  // resources: those are expected.
  await withPlayer(setup, { expectedRefusals: /status of (409|400)/ }, async ({ pages: [page] }) => {
    await step('playlist page opens on an empty playlist with the library listed', async () => {
      await page.goto(origin + '/playlist.html');
      check((await page.title()) === 'Playlist - Orvelo', 'title');
      await waitText(page, '#list .message', 'No tracks in playlist');
      await waitCount(page, '.media', 2);
      check((await textOf(page, '#savedList option')) === 'No saved playlists', 'no saved playlists yet');
    });

    await step('a file chosen with the picker uploads with a progress bar', async () => {
      await page.setInputFiles('#fileInput', upload);
      await waitCount(page, '.upload.done', 1, 15000);
      check((await textOf(page, '.upload .label')) === `${video} · playable · 00:02`, `upload label ${await textOf(page, '.upload .label')}`);
      const width = await page.locator('.upload .fill').evaluate((fill) => fill.style.width);
      check(width === '100%', `bar at ${width}`);
      check(fs.statSync(path.join(mediaFolder, video)).size === fs.statSync(upload).size, 'the whole file arrived');
      check(JSON.stringify(filesIn(mediaFolder)) === JSON.stringify([longName, video, 'Tones', tone].sort()),
            `nothing else left behind: ${filesIn(mediaFolder)}`);
      await waitCount(page, '.media', 3);
    });

    await step('uploading the same name again asks first and keeps the file', async () => {
      const before = fs.statSync(path.join(mediaFolder, video)).mtimeMs;
      let question = '';
      page.once('dialog', (dialog) => {
        question = dialog.message();
        dialog.dismiss();
      });
      await page.setInputFiles('#fileInput', upload);
      await waitCount(page, '.upload.failed', 1, 15000);
      check(question === `${video} is already in the library. Replace it?`, `asked "${question}"`);
      check((await page.locator('.upload.failed .label').textContent()).includes('File exists'), 'reason shown');
      check(fs.statSync(path.join(mediaFolder, video)).mtimeMs === before, 'the file was not replaced');
    });

    await step('the library shows names, durations, kinds and thumbnails', async () => {
      const titles = await page.locator('.media .title').allTextContents();
      check(JSON.stringify([...titles].sort()) === JSON.stringify([longName, video, tone].sort()), `titles ${titles}`);
      const meta = async (name) => page.locator('.media', { hasText: name }).locator('.meta').textContent();
      await waitFor('durations', async () => (await meta(video)).startsWith('00:02') && (await meta(tone)).startsWith('00:02'))
        .catch(async (e) => { throw new Error(`${e.message}: "${await meta(video)}", "${await meta(tone)}"`); });
      check((await meta(video)).endsWith('· video') && (await meta(tone)).endsWith('· audio'), 'kinds');
      await waitFor('every thumbnail to load', async () =>
        (await page.locator('.media img').evaluateAll((images) => images.every((i) => i.complete && i.naturalWidth > 0))));
    });

    await step('Add puts library files on the playlist', async () => {
      await page.locator('.media', { hasText: video }).locator('button.add').click();
      await waitFor('the video on the playlist', async () => (await playlist()) === 'Opening Video.mp4×1');
      await page.locator('.media', { hasText: tone }).locator('button.add').click();
      await waitFor('the tone after it', async () => (await playlist()) === 'Opening Video.mp4×1|Café Tone.wav×1');
      await waitFor('both rows on the page', async () => (await rows(page)) === 'Opening Video.mp4|Café Tone.wav');
    });

    await step('↓ and ↑ reorder the rows', async () => {
      await page.locator('.track').first().locator('button[data-action=down]').click();
      await waitFor('the API order', async () => (await playlist()) === 'Café Tone.wav×1|Opening Video.mp4×1');
      await waitFor('the page order', async () => (await rows(page)) === 'Café Tone.wav|Opening Video.mp4');
      check(await page.locator('.track').first().locator('button[data-action=up]').isDisabled(), 'first ↑ disabled');
      check(await page.locator('.track').last().locator('button[data-action=down]').isDisabled(), 'last ↓ disabled');
      await page.locator('.track').last().locator('button[data-action=up]').click();
      await waitFor('the order back', async () => (await playlist()) === 'Opening Video.mp4×1|Café Tone.wav×1');
      await waitFor('the page back', async () => (await rows(page)) === 'Opening Video.mp4|Café Tone.wav');
    });

    await step('the repeat menu sets a count and endless play', async () => {
      await page.locator('.track').nth(1).locator('select.repeat').selectOption('3');
      await waitFor('three repeats', async () => (await playlist()) === 'Opening Video.mp4×1|Café Tone.wav×3');
      await page.locator('.track').nth(0).locator('select.repeat').selectOption({ label: 'Infinite' });
      await waitFor('endless', async () => (await playlist()) === 'Opening Video.mp4×0|Café Tone.wav×3');
      await waitFor('the menus show it', async () =>
        JSON.stringify(await page.locator('select.repeat').evaluateAll((s) => s.map((e) => e.value))) === '["0","3"]');
    });
    await screenshots(page, 'library');

    const saved = await playlist();
    await step('Save stores the playlist under a name', async () => {
      await page.fill('#saveName', 'Evening Show');
      await page.click('#saveButton');
      await waitText(page, '#playlistNote', 'Saved as Evening Show.json');
      check((await api('/api/playlists')).some((p) => p.name === 'Evening Show.json'), 'listed by the API');
      check(fs.existsSync(path.join(playlistsFolder, 'Evening Show.json')), 'written to the playlists folder');
      await waitFor('offered for loading', async () => (await page.locator('#savedList').inputValue()) === 'Evening Show.json');
    });

    await step('after changing the playlist, Load brings the saved one back', async () => {
      await page.locator('.track').first().locator('button[data-action=remove]').click();
      await waitFor('the video removed', async () => (await playlist()) === 'Café Tone.wav×3');
      await page.locator('.media', { hasText: longName }).locator('button.add').click();
      await waitFor('another track added', async () => (await playlist()) === `Café Tone.wav×3|${longName}×1`);
      await waitFor('the page follows', async () => (await rows(page)) === `Café Tone.wav|${longName}`);
      await page.selectOption('#savedList', 'Evening Show.json');
      await page.click('#loadButton');
      await waitText(page, '#playlistNote', 'Loaded 2 tracks');
      await waitFor('the saved playlist', async () => (await playlist()) === saved);
      await waitFor('the page shows it', async () => (await rows(page)) === 'Opening Video.mp4|Café Tone.wav');
    });
    await screenshots(page, 'library-loaded');

    // Inside the library root, the default media folder's parent.
    const showFolder = path.join(folders.data, 'Orvelo', 'Show Media');
    await step('settings page changes the media folder and it persists', async () => {
      await page.goto(origin + '/settings.html');
      await waitFor('the library settings', async () => (await page.locator('#mediaFolder').inputValue()) === mediaFolder);
      check((await page.locator('#uploadSizeLimit').inputValue()) === '20', 'default limit in GiB');
      check((await page.locator('#roots li').allTextContents()).join() === path.join(folders.data, 'Orvelo'), 'the roots listed');

      await page.fill('#mediaFolder', 'Show Media');
      await page.click('#saveButton');
      await waitText(page, '#status', 'The media folder must be a full path starting with /');
      check((await api('/api/settings')).library.mediaFolder === mediaFolder, 'a relative folder is not sent');

      await page.fill('#mediaFolder', showFolder);
      await page.fill('#uploadSizeLimit', '0.5');
      await page.click('#saveButton');
      await waitText(page, '#status', 'Settings saved successfully!');
      const library = (await api('/api/settings')).library;
      check(library.mediaFolder === showFolder && library.uploadSizeLimit === 512 * 1024 * 1024,
            `API shows ${JSON.stringify(library)}`);

      await page.reload();
      await waitFor('the folder after a reload', async () => (await page.locator('#mediaFolder').inputValue()) === showFolder);
      check((await page.locator('#uploadSizeLimit').inputValue()) === '0.5', 'limit after a reload');
    });

    await step('settings page shows the reason when the player refuses', async () => {
      await page.route('**/api/settings', (route) => route.request().method() === 'POST'
        ? route.fulfill({ status: 400, contentType: 'text/plain', body: 'Invalid JSON' })
        : route.continue());
      await page.click('#saveButton');
      await waitText(page, '#status', 'Error saving settings: Invalid JSON');
      await page.unroute('**/api/settings');
    });
    await screenshots(page, 'settings-library', { pinnedBar: true });

    await step('uploads go to the new media folder', async () => {
      await page.goto(origin + '/playlist.html');
      await waitText(page, '#library .message', 'No media yet: upload some above');
      await page.setInputFiles('#fileInput', upload);
      await waitCount(page, '.upload.done', 1, 15000);
      check(fs.existsSync(path.join(showFolder, video)), 'stored in the new folder');
      await waitFor('listed', async () => (await page.locator('.media .title').allTextContents()).join() === video);
    });
  });
}

await run(setup, main);
