// Protects building a show from a phone with only a browser: upload through the file picker,
// the media library, playlist editing, saved playlists and the media folder setting, against
// the real player in headless Chromium, each step checked through the JSON API.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, check, checkEq, checkText, makeMedia, media, origin, refusePosts, rows, run, setup, step, waitCount, waitEq,
  waitFor, waitText,
} from './browser_support.mjs';

const { folders, mediaFolder } = setup(['laptop']);
const video = 'Opening Video.mp4';
const tone = 'Tones/Café Tone.wav';
const longName = 'Encore-Extended-Mix-With-A-Rather-Long-Name-Final-v3.wav';
// The file a person picks on their device, and two already in the player's library.
const upload = makeMedia(folders.laptop, media.video(50), video);
makeMedia(mediaFolder, media.tone(550, 100), tone);
makeMedia(mediaFolder, media.tone(770, 100), longName);

// What the player reports as its playlist, reduced to what the page edits.
const playlist = async () => (await api('/api/playlist')).map((t) => `${t.name}×${t.repeatCount}`).join('|');
const filesIn = (folder) => fs.readdirSync(folder, { recursive: true }).map(String).sort();

// The refused second upload and the staged refusal of the settings show up as failed resources.
await run({ expectedRefusals: /status of (409|400)/ }, async ({ pages: [page] }) => {
  const track = (i) => page.locator('.track').nth(i);
  const libraryItem = (name) => page.locator('.media', { hasText: name });
  const button = (i, action) => track(i).locator(`button[data-action=${action}]`);
  // Waits until both the player and the page show the playlist.
  const shown = async (list) => {
    await waitEq('the playlist', playlist, list.map(([name, times]) => `${name}×${times}`).join('|'));
    await waitEq('the page rows', () => rows(page), list.map(([name]) => name).join('|'));
  };

  await step('a file chosen with the picker uploads with a progress bar, once', async () => {
    await page.goto(origin + '/playlist.html');
    await waitText(page, '#list .message', 'No tracks in playlist');
    await waitCount(page, '.media', 2);

    await page.setInputFiles('#fileInput', upload);
    await waitCount(page, '.upload.done', 1, 15000);
    await checkText(page, '.upload .label', `${video} · playable · 00:02`);
    check(fs.statSync(path.join(mediaFolder, video)).size === fs.statSync(upload).size, 'the file arrived cut short');
    await checkEq('the library files', () => filesIn(mediaFolder), [longName, video, 'Tones', tone].sort());

    // The same name again asks first and keeps the file.
    const before = fs.statSync(path.join(mediaFolder, video)).mtimeMs;
    let question = '';
    page.once('dialog', (dialog) => {
      question = dialog.message();
      dialog.dismiss();
    });
    await page.setInputFiles('#fileInput', upload);
    await waitCount(page, '.upload.failed', 1, 15000);
    check(question === `${video} is already in the library. Replace it?`, `asked "${question}"`);
    check((await page.locator('.upload.failed .label').textContent()).includes('File exists'), 'no reason shown');
    check(fs.statSync(path.join(mediaFolder, video)).mtimeMs === before, 'the file was replaced');
  });

  await step('the library shows names, durations, kinds and thumbnails', async () => {
    await waitEq('titles', async () => (await page.locator('.media .title').allTextContents()).sort(), [longName, video, tone].sort());
    const meta = async (name) => libraryItem(name).locator('.meta').textContent();
    await waitEq('durations', async () => [(await meta(video)).slice(0, 5), (await meta(tone)).slice(0, 5)], ['00:02', '00:02']);
    check((await meta(video)).endsWith('· video') && (await meta(tone)).endsWith('· audio'), 'kinds');
    await waitFor('every thumbnail to load', async () =>
      (await page.locator('.media img').evaluateAll((images) => images.every((i) => i.complete && i.naturalWidth > 0))));
  });

  await step('Add, ↓ and ↑ and the repeat menu edit the playlist', async () => {
    await libraryItem(video).locator('button.add').click();
    await waitEq('the video on the playlist', playlist, 'Opening Video.mp4×1'); // before the next Add
    await libraryItem(tone).locator('button.add').click();
    await shown([['Opening Video.mp4', 1], ['Café Tone.wav', 1]]);
    check(await button(0, 'up').isDisabled() && await button(1, 'down').isDisabled(), 'first ↑ or last ↓ enabled');
    await button(0, 'down').click();
    await shown([['Café Tone.wav', 1], ['Opening Video.mp4', 1]]);
    await button(1, 'up').click();
    await shown([['Opening Video.mp4', 1], ['Café Tone.wav', 1]]);
    await track(1).locator('select.repeat').selectOption('3');
    await track(0).locator('select.repeat').selectOption({ label: 'Infinite' });
    await waitEq('endless and three repeats', playlist, 'Opening Video.mp4×0|Café Tone.wav×3');
  });

  await step('Save stores the playlist under a name; after changes, Load brings it back', async () => {
    const saved = await playlist();
    await page.fill('#saveName', 'Evening Show');
    await page.click('#saveButton');
    await waitText(page, '#playlistNote', 'Saved as Evening Show.json');
    check(fs.existsSync(path.join(folders.data, 'Orvelo', 'Playlists', 'Evening Show.json')), 'not in the playlists folder');
    await waitEq('offered for loading', () => page.locator('#savedList').inputValue(), 'Evening Show.json');

    await button(0, 'remove').click();
    await waitEq('the video removed', playlist, 'Café Tone.wav×3');
    await libraryItem(longName).locator('button.add').click();
    await shown([['Café Tone.wav', 3], [longName, 1]]);
    await page.selectOption('#savedList', 'Evening Show.json');
    await page.click('#loadButton');
    await waitText(page, '#playlistNote', 'Loaded 2 tracks');
    await waitEq('the saved playlist', playlist, saved);
    await waitEq('the page shows it', () => rows(page), 'Opening Video.mp4|Café Tone.wav');
  });

  // Inside the library root, the default media folder's parent.
  const showFolder = path.join(folders.data, 'Orvelo', 'Show Media');
  await step('settings page changes the media folder, it persists, and refusals show their reason', async () => {
    const shownFolderAndLimit = async () => [await page.inputValue('#mediaFolder'), await page.inputValue('#uploadSizeLimit')];
    await page.goto(origin + '/settings.html');
    await waitEq('the library settings in GiB', shownFolderAndLimit, [mediaFolder, '20']);
    await checkEq('the roots', () => page.locator('#roots li').allTextContents(), [path.join(folders.data, 'Orvelo')]);

    await page.fill('#mediaFolder', 'Show Media');
    await page.click('#saveButton');
    await waitText(page, '#status', 'The media folder must be a full path starting with /');
    await checkEq('the folder after a relative one', async () => (await api('/api/settings')).library.mediaFolder, mediaFolder);

    await page.fill('#mediaFolder', showFolder);
    await page.fill('#uploadSizeLimit', '0.5');
    await page.click('#saveButton');
    await waitText(page, '#status', 'Settings saved successfully!');
    await checkEq('the library settings', async () => {
      const { mediaFolder: folder, uploadSizeLimit } = (await api('/api/settings')).library;
      return [folder, uploadSizeLimit];
    }, [showFolder, 512 * 1024 * 1024]);
    await page.reload();
    await waitEq('the settings after a reload', shownFolderAndLimit, [showFolder, '0.5']);

    await refusePosts(page, '**/api/settings', 400, 'Invalid JSON');
    await page.click('#saveButton');
    await waitText(page, '#status', 'Error saving settings: Invalid JSON');
    await page.unroute('**/api/settings');
  });

  await step('uploads go to the new media folder', async () => {
    await page.goto(origin + '/playlist.html');
    await waitText(page, '#library .message', 'No media yet: upload some above');
    await page.setInputFiles('#fileInput', upload);
    await waitCount(page, '.upload.done', 1, 15000);
    check(fs.existsSync(path.join(showFolder, video)), 'not stored in the new folder');
    await waitEq('listed', () => page.locator('.media .title').allTextContents(), [video]);
  });
});
