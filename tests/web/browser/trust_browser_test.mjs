// Protects what a technician trusts on show day: a failed load never reads as playing, a missing
// file keeps its place in red, an impossible setting is refused beside its field, two phones see
// each other's edits within a second and an edit on an old list is refused, not applied elsewhere.
import fs from 'node:fs';
import path from 'node:path';
import {
  api, apiPost, check, checkEq, fakeStatus, makeMedia, media, origin, playlistNames as order, refusePosts, rows, run, setup,
  shoot, step, storePlaylist, textOf, waitCount, waitEq, waitFor, waitText,
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

// The refusals the steps provoke show up as failed resources.
await run({ phones: 2, noTransportGap: true, expectedRefusals: /status of (400|409)/ }, async ({ pages: [page, other] }) => {
  const tracks = await api('/api/playlist');
  const missingRows = (p) => p.locator('.track.missing .name').allTextContents();
  const both = [page, other];

  await step('a track whose file is missing keeps its place, shown in red with the reason', async () => {
    await checkEq('the playlist', () => tracks.map((t) => t.name), names);
    check(tracks[0].missing && tracks[0].problem && !tracks[1].missing, `rows ${JSON.stringify(tracks)}`);
    await page.goto(origin + '/playlist.html');
    await waitEq('four rows', () => rows(page), names.join('|'));
    await checkEq('the red rows', () => missingRows(page), ['Missing Opener']);
    await checkEq('the reason shown', () => textOf(page, '.track.missing .problem'), tracks[0].problem);
    await shoot(page, 'playlist-missing');
  });

  await step('the badge tells playing, paused and failed; a failed load never reads Playing', async () => {
    await page.goto(origin + '/');
    await page.evaluate(() => {
      window.badges = [];
      const badge = document.getElementById('badge');
      new MutationObserver(() => window.badges.push(badge.textContent)).observe(badge, { childList: true });
    });
    const play = (i) => () => apiPost('/api/playlist/play', { id: tracks[i].id });
    const cases = [
      [play(1), 'Playing', ''],
      [() => apiPost('/api/control', { command: 'pause' }), 'Paused', ''],
      [play(0), 'Failed', 'Missing Opener'],
      [play(3), 'Failed', ''],
    ];
    for (const [act, badge, reasonHas] of cases) {
      await page.evaluate(() => { window.badges = []; });
      await act();
      await waitText(page, '#badge', badge, 10000);
      const s = await api('/api/status');
      check(s.state === badge.toLowerCase(), `${badge}: state ${s.state}`);
      if (badge === 'Failed') {
        check(!s.isPlaying && !(await page.evaluate(() => window.badges)).includes('Playing'), 'a failed load read Playing');
        await waitFor('the reason on the track card', async () =>
          (await page.locator('#trackError').isVisible()) && (await textOf(page, '#trackError')) === s.error);
        check(s.error.includes(reasonHas), `reason "${s.error}"`);
      } else {
        check(await page.locator('#trackError').isHidden(), `${badge} with an error line`);
      }
    }
    await shoot(page, 'remote-failed');
  });

  await step('loading, a player without a state, and a note about the console\'s universe', async () => {
    const note = 'Art-Net seen on 0:0:1, listening on 0:0:0';
    let document;
    await fakeStatus(page, () => document);
    for (const [fields, badge] of [[{ state: 'loading', inputNote: note }, 'Loading'], [{ isPlaying: true }, 'Playing'], [{}, 'Stopped']]) {
      document = { trackName: 'Known', currentTime: 1, remainingTime: 9, frameRate: 25, ...fields };
      await waitText(page, '#badge', badge);
      check((await page.locator('#inputNote').isVisible() ? await textOf(page, '#inputNote') : '') === (fields.inputNote ? '⚠️ ' + note : ''),
            `${badge}: input note`);
      if (fields.inputNote) await shoot(page, 'remote-loading-note');
    }
    await page.unroute('**/api/status');
  });

  await step('an impossible setting is refused beside its field and nothing changes', async () => {
    const before = JSON.stringify((await api('/api/settings')).dmx);
    for (const [id, value] of [['startChannel', '600'], ['universe', '-3']]) {
      await page.goto(origin + '/settings.html');
      await page.locator('#theme option').first().waitFor({ state: 'attached' });
      await page.fill(`#${id}`, value);
      await page.click('#saveButton');
      const line = page.locator(`label:has(#${id}) .field-error`);
      await line.waitFor({ timeout: 5000 });
      check((await line.textContent()).length > 0, `${id}: empty refusal`);
      check((await textOf(page, '#status')).startsWith('Error saving settings: '), `${id}: status ${await textOf(page, '#status')}`);
      await checkEq(`${id}: the DMX settings`, async () => JSON.stringify((await api('/api/settings')).dmx), before);
      if (id === 'startChannel') await shoot(page, 'settings-refused', { pinnedBar: true });
    }
  });

  await step('two phones see each other\'s edits within a second and never act on an old list', async () => {
    const shownOn = (phones) => Promise.all(phones.map(rows));
    for (const p of both) await p.goto(origin + '/playlist.html');
    await waitEq('both lists', () => shownOn(both), [names.join('|'), names.join('|')]);
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
    await shoot(other, 'playlist-changed');
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
    const playlist = await api('/api/playlist');
    check(playlist.at(-1).name === 'Junk' && playlist.at(-1).missing, 'the entry stays, marked missing');
    await waitEq('the first phone shows it red', () => missingRows(page), ['Missing Opener', 'Junk'], 1500);
    await waitEq('and drops it from its library', sorted(page.locator('.media .title')),
      ['Broken.mp4', 'Tone A.wav', 'Tone B.wav'], 2000);
    await shoot(page, 'playlist-deleted');
  });

  await step('a refused change on the effects page is shown and taken back', async () => {
    await page.goto(origin + '/effects.html');
    await waitCount(page, '#patterns button.selected', 1);
    const before = (await api('/api/effects')).pattern.selected;
    const refusal = { error: 'The pattern cannot be changed now', field: 'pattern.selected' };
    await refusePosts(page, '**/api/effects', 400, refusal);
    await page.click('#patterns button[data-name="Oscilloscope"]');
    await waitText(page, '.refusal', refusal.error);
    check(await page.locator('.refusal').isVisible(), 'the refusal is hidden');
    await waitText(page, '#patterns button.selected', before);
    await shoot(page, 'effects-refused');
    await page.unroute('**/api/effects');
  });
});
