// What the web remote's browser tests share: a player of their own (program folder, private XDG
// folders, its log), headless Chromium, generated media and step bookkeeping.
// Each test runs as `node TEST.mjs PATH/TO/orvelo OUTPUT_FOLDER`, only inside a private network
// namespace (see run_browser_test.sh).
import { chromium } from 'playwright-core';
import { execFileSync, spawn } from 'node:child_process';
import { randomUUID } from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

export const origin = 'http://127.0.0.1:8080';
const phone = { width: 390, height: 844 };
const [orveloBinary, outputDir] = process.argv.slice(2);
let folders;
let passed = 0;
let failed = 0;

export async function step(name, body) {
  await body().then(() => { passed++; console.log(`ok   ${name}`); },
    (error) => { failed++; console.log(`FAIL ${name}: ${error?.message ?? error}`); });
}

export const check = (condition, message) => { if (!condition) throw new Error(message); };

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// Waits until predicate() gives something true and returns it.
export async function waitFor(what, predicate, timeout = 5000) {
  const end = Date.now() + timeout;
  let last;
  while (Date.now() < end) {
    try {
      if ((last = await predicate())) return last;
    } catch (error) {
      last = error;
    }
    await sleep(50);
  }
  throw new Error(`timed out waiting for ${what}` + (last instanceof Error ? ` (${last.message})` : ''));
}

// Waits until read() gives `expected` (compared as JSON); the failure names what it last read.
export async function waitEq(what, read, expected, timeout = 5000) {
  let last;
  await waitFor(what, async () => same((last = await read()), expected), timeout).catch((error) => {
    throw new Error(`${error.message}: last ${JSON.stringify(last)}`);
  });
}

export async function checkEq(what, read, expected) {
  const value = await read();
  check(same(value, expected), `${what}: ${JSON.stringify(value)}, not ${JSON.stringify(expected)}`);
}

export async function api(route, init = {}) {
  const response = await fetch(origin + route, { cache: 'no-store', ...init });
  check(response.ok, `${route} answered ${response.status}`);
  return response.json();
}

export const apiPost = (route, body, headers = {}) =>
  api(route, { method: 'POST', headers: { 'Content-Type': 'application/json', ...headers }, body: JSON.stringify(body) });
export const waitApi = (what, route, predicate, timeout = 5000, headers = {}) =>
  waitFor(what, async () => predicate(await api(route, { headers })), timeout);
export const playlistNames = async () => (await api('/api/playlist')).map((t) => t.name).join('|');

// Fresh folders (`names` besides the usual ones) in the output folder, and the player's own
// copy of the program with its resources folder beside it (it finds them beside itself).
export function setup(names = []) {
  folders = {};
  for (const name of ['program', 'config', 'data', 'runtime', 'profile', 'home', ...names]) {
    folders[name] = path.join(outputDir, name);
  }
  fs.rmSync(outputDir, { recursive: true, force: true });
  for (const folder of Object.values(folders)) fs.mkdirSync(folder, { recursive: true });
  fs.chmodSync(folders.runtime, 0o700);
  const program = path.join(folders.program, 'orvelo');
  fs.copyFileSync(orveloBinary, program);
  fs.chmodSync(program, 0o755);
  const resources = path.join(folders.program, 'resources');
  fs.mkdirSync(path.join(resources, 'Fixtures'), { recursive: true });
  const font = path.join(path.dirname(orveloBinary), 'resources', 'digital-7.ttf');
  if (fs.existsSync(font)) fs.copyFileSync(font, path.join(resources, 'digital-7.ttf'));
  return { folders, program, resources, mediaFolder: path.join(folders.data, 'Orvelo', 'Media') };
}

// Runs body({ player, pages }) against a player of its own, with one page in each of `phones`
// (one or two) browser profiles, then reports the tally and exits with its verdict.
// `noTransportGap` lets transport commands follow each other at any pace. A last step fails on
// any script error but refusals matching expectedRefusals.
export async function run({ phones = 1, noTransportGap = false, expectedRefusals = null }, body) {
  const player = startPlayer(path.join(folders.program, 'orvelo'));
  const contexts = [];
  try {
    await waitFor('the player to listen on 8080', () => player.lines.includes('WebServer: Listening on port 8080'), 30000);
    if (noTransportGap) await apiPost('/api/settings', { web: { transportMinInterval: 0 } });
    const errors = [];
    const pages = [];
    for (const profile of [folders.profile, path.join(outputDir, 'second-phone')].slice(0, phones)) {
      const context = await launchBrowser(profile);
      contexts.push(context);
      const page = context.pages()[0] ?? (await context.newPage());
      page.on('pageerror', (error) => errors.push(`page error: ${error.message}`));
      page.on('console', (message) => {
        const url = message.location().url || '';
        if (message.type() === 'error' && !url.endsWith('/favicon.ico')) errors.push(`console: ${message.text()} (${url})`);
      });
      pages.push(page);
    }
    await body({ player, pages });
    await step('no script errors on any page', async () => {
      const unexpected = errors.filter((e) => !(expectedRefusals && expectedRefusals.test(e)));
      check(unexpected.length === 0, unexpected.join('; '));
    });
  } catch (error) {
    failed++;
    console.log(`FAIL setup: ${error?.stack ?? error}`);
  } finally {
    for (const context of contexts) await context.close();
    await stopPlayer(player);
  }
  console.log(`browser: ${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

// Writes a media file with gst-launch-1.0 under a scratch name first, so that nothing watching
// the folder sees it half-written.
export function makeMedia(folder, description, finalName) {
  const file = path.join(folder, finalName);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  const scratch = path.join(folder, `scratch-${randomUUID()}`);
  execFileSync('gst-launch-1.0', ['-q', ...description.split(' '), `location=${scratch}`], { stdio: 'inherit' });
  fs.renameSync(scratch, file);
  return file;
}

export const media = {
  video: (frames) => `videotestsrc num-buffers=${frames} pattern=smpte ! video/x-raw,width=320,height=180,framerate=25/1 ` +
    '! x264enc ! mp4mux ! filesink',
  tone: (freq, buffers = 430) =>
    `audiotestsrc num-buffers=${buffers} freq=${freq} ! audio/x-raw,rate=44100,channels=2 ! wavenc ! filesink`,
};

// The playlist the player restores at start, written as its settings store keeps it.
export function storePlaylist(files) {
  const tracks = files.map((file, index) => ({
    id: randomUUID().toUpperCase(),
    url: pathToFileURL(file).href,
    name: path.basename(file, path.extname(file)),
    timecodeOffset: index * 3600,
    repeatCount: 1,
  }));
  // Byte arrays pass through Latin-1 in the store: keep the JSON text ASCII.
  const json = JSON.stringify(tracks).replace(/[\u007f-\uffff]/g, (c) => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));
  const value = '"@ByteArray(' + json.replace(/\\/g, '\\\\').replace(/"/g, '\\"') + ')"';
  fs.mkdirSync(path.join(folders.config, 'Orvelo'), { recursive: true });
  fs.writeFileSync(path.join(folders.config, 'Orvelo', 'Orvelo.conf'), `[General]\nlastPlaylistData=${value}\n`);
  return tracks.map((t) => t.name);
}

function startPlayer(program) {
  const env = { ...process.env, XDG_CONFIG_HOME: folders.config, XDG_DATA_HOME: folders.data,
    XDG_RUNTIME_DIR: folders.runtime, QT_QPA_PLATFORM: 'offscreen', GST_AUDIO_SINK: 'fakesink' };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const player = spawn(program, [], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  const logFile = fs.createWriteStream(path.join(outputDir, 'player.log'));
  const lines = [];
  let pending = '';
  player.stdout.on('data', (chunk) => {
    logFile.write(chunk);
    const parts = (pending + chunk.toString('utf8')).split('\n');
    pending = parts.pop();
    lines.push(...parts);
  });
  player.stderr.on('data', (chunk) => logFile.write(chunk));
  const exited = new Promise((resolve) => player.on('exit', (code, signal) => resolve({ code, signal })));
  return { player, lines, exited, logFile };
}

async function stopPlayer({ player, exited, logFile }) {
  if (player.exitCode === null && player.signalCode === null) {
    player.kill('SIGTERM');
    if (!(await Promise.race([exited, sleep(10000).then(() => null)]))) player.kill('SIGKILL');
  }
  logFile.end();
}

// One browser profile is one phone: a second profile has cookies and storage of its own.
function launchBrowser(profile) {
  fs.mkdirSync(profile, { recursive: true });
  return chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: phone,
    env: { ...process.env, HOME: folders.home, XDG_CONFIG_HOME: path.join(folders.home, '.config'),
           XDG_CACHE_HOME: path.join(folders.home, '.cache') },
  });
}

// Presses the mouse on the element for ms.
export async function hold(page, locator, ms) {
  const box = await locator.boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await sleep(ms);
  await page.mouse.up();
}

export const textOf = async (page, selector) => (await page.locator(selector).first().textContent()) ?? '';
export const waitText = (page, selector, expected, timeout = 5000) =>
  waitEq(`${selector} to read "${expected}"`, () => textOf(page, selector), expected, timeout);
export const checkText = (page, selector, expected) => checkEq(selector, () => textOf(page, selector), expected);
export const waitCount = (page, selector, count, timeout = 5000) =>
  waitEq(`${count} × ${selector}`, () => page.locator(selector).count(), count, timeout);
export const checkCount = (page, selector, count) => checkEq(`${selector} count`, () => page.locator(selector).count(), count);

// The playlist page's rows as their names, in order.
export const rows = async (page) => (await page.locator('.track .name').allTextContents()).join('|');

// Answers the page's status requests with document() instead of asking the player, until
// page.unroute('**/api/status').
export function fakeStatus(page, document) {
  return page.route('**/api/status', (route) =>
    route.fulfill({ status: 200, contentType: 'application/json', body: JSON.stringify(document()) }));
}

// Answers the page's POSTs to route with `status` and `body` (an object is sent as JSON);
// other methods reach the player. Undone with page.unroute(route).
export function refusePosts(page, route, status, body) {
  const [contentType, text] = typeof body === 'string' ? ['text/plain', body] : ['application/json', JSON.stringify(body)];
  return page.route(route, (r) => (r.request().method() === 'POST' ? r.fulfill({ status, contentType, body: text }) : r.continue()));
}
