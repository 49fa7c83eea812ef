// What every end-to-end run needs: an X display, a headless Chromium with a
// DevTools port, Vesk.exe under Wine pointed at that port through the
// Chromium-backed WebView2Loader.dll, its VESK_LOG, and PNG pixels. Node's
// standard library only. Every process started here is killed by its group
// when the run ends, whatever happens.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const binDir = process.env.VESK_BIN_DIR || path.join(root, 'build/mingw/bin');
export const veskExe = path.join(binDir, 'Vesk.exe');
// Where the Windows build keeps its helper programs (tests/win/...).
export const buildDir = path.dirname(binDir);

const started = new Set();

function killGroup(child, signal = 'SIGKILL') {
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  try {
    process.kill(-child.pid, signal);
  } catch {
    try { child.kill(signal); } catch { /* already gone */ }
  }
}

process.on('exit', () => { for (const child of started) killGroup(child); });
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => { for (const child of started) killGroup(child); process.exit(130); });
}

// A child in its own process group, remembered until it exits.
function launch(command, args, options = {}) {
  const child = spawn(command, args, { detached: true, stdio: ['ignore', 'pipe', 'pipe'], ...options });
  started.add(child);
  child.output = '';
  const keep = (chunk) => {
    child.output += chunk;
    if (child.output.length > 200000) child.output = child.output.slice(-100000);
  };
  child.stdout?.on('data', keep);
  child.stderr?.on('data', keep);
  child.exited = new Promise((resolve) => child.on('exit', (code, signal) => {
    started.delete(child);
    resolve({ code, signal });
  }));
  return child;
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls until `check` gives a truthy value; throws with `what` after `ms`.
// `what` may be a function, so a message can show the state at the end.
export async function waitFor(check, ms, what) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) {
      throw new Error(`timed out after ${ms} ms waiting for ${typeof what === 'function' ? what() : what}`);
    }
    await sleep(100);
  }
}

// A random number source for tests that act at random moments. The seed is
// VESK_E2E_SEED when set, otherwise a fresh one; either way it is printed, so
// a failing run can be replayed with VESK_E2E_SEED=<seed>.
export function seededRandom(what) {
  const given = Number.parseInt(process.env.VESK_E2E_SEED || '', 10);
  let state = (Number.isFinite(given) ? given : Math.floor(Math.random() * 2 ** 32)) >>> 0;
  console.log(`${what}: VESK_E2E_SEED=${state}`);
  return () => {  // mulberry32
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
}

// Helper processes of a killed browser may still be writing for a moment.
export function removeDir(dir) {
  try {
    fs.rmSync(dir, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
  } catch (error) {
    console.error(`could not remove ${dir}: ${error.message}`);
  }
}

export function tempDir(prefix = 'vesk-e2e-') {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}

// Wine shows the Unix root as drive Z:.
export function winPath(unixPath) {
  return 'Z:' + path.resolve(unixPath).replaceAll('/', '\\');
}

// --- display ------------------------------------------------------------------

// The caller's DISPLAY, or (always with `own`) an Xvfb of our own on a free
// display number.
export async function ensureDisplay({ own = false } = {}) {
  if (process.env.DISPLAY && !own) return { display: process.env.DISPLAY, stop: async () => {} };
  const callers = process.env.DISPLAY;
  for (let n = 150; n < 250; n++) {
    if (fs.existsSync(`/tmp/.X11-unix/X${n}`) || fs.existsSync(`/tmp/.X${n}-lock`)) continue;
    const xvfb = launch('Xvfb', [`:${n}`, '-screen', '0', '1280x1024x24', '-nolisten', 'tcp']);
    try {
      await waitFor(() => fs.existsSync(`/tmp/.X11-unix/X${n}`) || xvfb.exitCode !== null, 5000, 'Xvfb');
    } catch { /* checked below */ }
    if (xvfb.exitCode === null && fs.existsSync(`/tmp/.X11-unix/X${n}`)) {
      process.env.DISPLAY = `:${n}`;
      return {
        display: `:${n}`,
        stop: async () => {
          killGroup(xvfb, 'SIGTERM');
          await xvfb.exited;
          if (callers) process.env.DISPLAY = callers;
          else delete process.env.DISPLAY;
        },
      };
    }
    killGroup(xvfb);
  }
  throw new Error('no free X display for Xvfb');
}

// --- Chromium ---------------------------------------------------------------------

export const chromiumFlags = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

// What scripts/run adds with a display: one frameless app window, which the
// web control takes into Vesk's window (VESK_CDP_VISIBLE).
const appWindowDir = path.join(root, 'tools/cdp-webview');
export const appWindowFlags = fs.readFileSync(path.join(appWindowDir, 'app-window-flags.txt'), 'utf8')
  .split('\n').map((line) => line.trim()).filter((line) => line && !line.startsWith('#'));

// A fresh Chromium with its own profile; the DevTools port is the one it
// picked itself (port 0), read back from its profile. `visible` starts it
// as scripts/run does with a display.
export async function startChromium({ visible = false } = {}) {
  const profile = tempDir('vesk-chromium-');
  const args = [...chromiumFlags, '--remote-debugging-port=0', `--user-data-dir=${profile}`];
  if (visible) {
    fs.mkdirSync(path.join(profile, 'Default'));
    fs.copyFileSync(path.join(appWindowDir, 'app-window-preferences.json'), path.join(profile, 'Default/Preferences'));
    args.push(...appWindowFlags);
  } else {
    args.unshift('--headless=new');
    args.push('about:blank');
  }
  const browser = launch(process.env.VESK_CHROMIUM || 'chromium', args);
  const portFile = path.join(profile, 'DevToolsActivePort');
  let port;
  try {
    port = await waitFor(() => {
      if (browser.exitCode !== null) throw new Error(`chromium exited: ${browser.output.slice(-2000)}`);
      if (!fs.existsSync(portFile)) return 0;
      return Number(fs.readFileSync(portFile, 'utf8').split('\n')[0]) || 0;
    }, 20000, 'Chromium DevTools port');
  } catch (error) {
    killGroup(browser);
    await browser.exited;
    removeDir(profile);
    throw error;
  }
  return {
    port,
    process: browser,
    async stop() {
      killGroup(browser);
      await browser.exited;
      removeDir(profile);
    },
  };
}

// --- Vesk.exe under Wine -------------------------------------------------------------

export function wineEnv(extra = {}) {
  return {
    ...process.env,
    WINEPREFIX: process.env.WINEPREFIX || path.join(root, '.cache/wine'),
    WINEDEBUG: process.env.WINEDEBUG || '-all',
    // winemenubuilder turns every recent document (SHAddToRecentDocs) into a
    // menu entry and waits; started from Vesk it would keep the test
    // runner's output open after Vesk is gone.
    WINEDLLOVERRIDES: 'mscoree,mshtml=;winemenubuilder.exe=d',
    ...extra,
  };
}

// What Vesk.exe needs beside it to run, copied into `folder` (made if
// missing): a copy of the program that can be placed like an installed one.
export function copyRuntime(folder) {
  fs.mkdirSync(folder, { recursive: true });
  for (const name of ['Vesk.exe', 'WebView2Loader.dll', 'web', 'fonts', 'samples']) {
    fs.cpSync(path.join(binDir, name), path.join(folder, name), { recursive: true });
  }
  return path.join(folder, 'Vesk.exe');
}

// Starts a Windows program under Wine in its own process group, killed with
// the others when the run ends; `exited` resolves to { code, signal }.
export function startWine(exe, args = [], env = {}) {
  return launch('wine', [exe, ...args], { env: wineEnv(env) });
}

// Starts Vesk.exe (`exe`, the build's unless told) with `args` and the
// VESK_* values of `env` (paths there are already Windows paths). The log
// goes to `dir`/vesk.log. Its own data (crash backups, history) go to a new
// folder in `dir` unless `env` names one, so no start finds what another
// left behind.
export function startVesk({ dir, args = [], env = {}, port, exe = veskExe }) {
  const logFile = path.join(dir, 'vesk.log');
  const data = env.VESK_DATA_DIR ? {} : { VESK_DATA_DIR: winPath(fs.mkdtempSync(path.join(dir, 'vesk-data-'))) };
  const child = launch('wine', [exe, ...args], {
    env: wineEnv({ VESK_LOG: winPath(logFile), VESK_CDP_PORT: String(port), ...data, ...env }),
    cwd: dir,
  });
  const vesk = {
    process: child,
    logFile,
    log: () => (fs.existsSync(logFile) ? fs.readFileSync(logFile, 'utf8') : ''),
    lines: () => vesk.log().split('\n').filter(Boolean),
    async waitForLine(test, ms = 60000) {
      const match = typeof test === 'string' ? (line) => line.startsWith(test) : (line) => test.test(line);
      return waitFor(() => {
        const found = vesk.lines().find(match);
        if (found) return found;
        if (child.exitCode !== null || child.signalCode !== null) {
          throw new Error(`Vesk.exe exited (${child.exitCode}) before "${test}"\n${vesk.log()}\n${child.output.slice(-3000)}`);
        }
        return null;
      }, ms, () => `log line ${test}\n--- log so far ---\n${vesk.log()}`);
    },
    // WM_CLOSE to its windows, as a user closing it would send.
    requestClose(windowsPid) {
      spawnSync('wine', ['taskkill', '/PID', String(windowsPid)], { env: wineEnv(), stdio: 'ignore', timeout: 30000 });
    },
    async exit(ms = 30000) {
      const result = await Promise.race([child.exited, sleep(ms).then(() => null)]);
      if (!result) throw new Error(`Vesk.exe did not exit\n--- log ---\n${vesk.log().slice(-3000)}\n--- output ---\n${child.output.slice(-2000)}`);
      return result.code;
    },
    async stop() {
      killGroup(child);
      await child.exited;
    },
  };
  return vesk;
}

// The Windows process id of a running Vesk, read from the name of its page
// folder ("<pid>-<start time>") in the log line that names it.
export function windowsPidFrom(vesk) {
  const line = vesk.lines().find((l) => l.startsWith('NATIVE page folder '));
  const match = line && /[\\/](\d+)-[0-9a-f]{16}$/.exec(line);
  return match ? Number(match[1]) : 0;
}

// The user at the screen: presses `rules` ({ text: button }) in Vesk's
// dialogs until Vesk ends or `seconds` pass. record() is what it has seen so
// far (null before Vesk's window is found); done() waits for the final one.
// `name` tells apart the records of several users in one folder.
export function answerDialogs(dir, rules, seconds = 120, name = 'dialogs') {
  const file = path.join(dir, `${name}.json`);
  const args = [winPath(file), String(seconds), ...Object.entries(rules).map(([text, id]) => `${text}=${id}`)];
  const helper = startWine(path.join(buildDir, 'tests/win/update_e2e_dialogs.exe'), args);
  const record = () => {
    try {
      return JSON.parse(fs.readFileSync(file, 'utf8'));
    } catch {
      return null;  // not written yet
    }
  };
  return {
    record,
    async done() {
      const { code } = await helper.exited;
      return { code, ...record() };
    },
  };
}

// Snapshots of Vesk's page (VESK_SNAPSHOT) until `accept` holds for one: the
// first is taken once the page is ready, each next one is asked for with the
// window's snapshot message. Gives the last picture either way, for the
// caller's assertion to describe.
export async function snapshotUntil(vesk, file, accept, ms = 60000) {
  const kSnapshotMessage = 0x8009;
  const taken = () => vesk.lines().filter((line) => line.startsWith('SNAPSHOT OK')).length;
  const end = Date.now() + ms;
  for (let count = 1; ; count++) {
    await waitFor(() => taken() >= count, 60000, `snapshot ${count}`);
    const png = readPng(file);
    if (accept(png) || Date.now() > end) return png;
    post(0, kSnapshotMessage);
  }
}

// Clicks a menu item or the close button through a small Windows program.
// Pid 0: whichever Vesk window there is.
export function post(pid, message, wparam = 0, { times = 1, gap = 0 } = {}) {
  const helper = path.join(buildDir, 'tests/win/webhost_e2e_post.exe');
  const result = spawnSync('wine', [helper, String(pid), String(message), String(wparam), String(times), String(gap)],
                           { env: wineEnv(), stdio: 'ignore', timeout: 30000 });
  if (result.status !== 0) throw new Error(`posting ${message} to Vesk.exe (${pid}) failed`);
}

// One scenario's world: display, browser, folder; everything stopped after.
// `visible` runs the browser as scripts/run does with a display, on an Xvfb
// of the scenario's own, so nothing else is on its screen.
// playwright-core comes with the editor page's packages.
const playwrightChromium = () => createRequire(path.join(root, 'page/package.json'))('playwright-core').chromium;

export async function withWorld(body, { visible = false } = {}) {
  const display = await ensureDisplay({ own: visible });
  const browser = await startChromium({ visible });
  const dir = tempDir();
  const running = [];
  const world = {
    dir,
    display: display.display,
    port: browser.port,
    browser: browser.process,
    vesk(options) {
      const env = visible ? { VESK_CDP_VISIBLE: '1', ...options?.env } : options?.env;
      const vesk = startVesk({ dir, port: browser.port, ...options, env });
      running.push(vesk);
      return vesk;
    },
    killBrowser: () => browser.stop(),
    // The text the editor page shows now, read over the browser's DevTools
    // port as a second client beside the web control.
    async editorText() {
      const cdp = await playwrightChromium().connectOverCDP(`http://127.0.0.1:${browser.port}`);
      try {
        const pages = cdp.contexts().flatMap((context) => context.pages());
        for (const page of pages) {
          const text = await page.evaluate(() => document.querySelector('.cm-content')?.textContent ?? null);
          if (text !== null) return text;
        }
        return null;
      } finally {
        await cdp.close();
      }
    },
  };
  try {
    return await body(world);
  } finally {
    for (const vesk of running) await vesk.stop();
    await browser.stop();
    await display.stop();
    removeDir(dir);
  }
}

// --- PNG --------------------------------------------------------------------------------

// 8-bit RGB or RGBA, not interlaced: what Chromium's screenshots are.
export function readPng(file) {
  const bytes = fs.readFileSync(file);
  if (bytes.readUInt32BE(0) !== 0x89504e47) throw new Error(`${file} is not a PNG`);
  let offset = 8;
  let width = 0, height = 0, colorType = 0;
  const data = [];
  while (offset < bytes.length) {
    const length = bytes.readUInt32BE(offset);
    const type = bytes.toString('latin1', offset + 4, offset + 8);
    const body = bytes.subarray(offset + 8, offset + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0) throw new Error('unsupported PNG depth or interlace');
      colorType = body[9];
    } else if (type === 'IDAT') {
      data.push(body);
    }
    offset += 12 + length;
  }
  const channels = colorType === 6 ? 4 : colorType === 2 ? 3 : 0;
  if (!channels) throw new Error(`unsupported PNG colour type ${colorType}`);
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; x++) {
      const left = x >= channels ? line[x - channels] : 0;
      const up = previous[x];
      const upLeft = x >= channels ? previous[x - channels] : 0;
      let add = 0;
      if (filter === 1) add = left;
      else if (filter === 2) add = up;
      else if (filter === 3) add = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const pa = Math.abs(p - left), pb = Math.abs(p - up), pc = Math.abs(p - upLeft);
        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      line[x] = (line[x] + add) & 0xff;
    }
    for (let x = 0; x < width; x++) {
      const at = (y * width + x) * 4;
      pixels[at] = line[x * channels];
      pixels[at + 1] = line[x * channels + 1];
      pixels[at + 2] = line[x * channels + 2];
      pixels[at + 3] = channels === 4 ? line[x * channels + 3] : 255;
    }
    previous = line;
  }
  return { width, height, pixels };
}

// How many pixels of a region satisfy `test(r, g, b)`.
export function countPixels(png, test, region = {}) {
  const { x0 = 0, y0 = 0, x1 = png.width, y1 = png.height } = region;
  let count = 0;
  for (let y = y0; y < y1; y++) {
    for (let x = x0; x < x1; x++) {
      const at = (y * png.width + x) * 4;
      if (test(png.pixels[at], png.pixels[at + 1], png.pixels[at + 2])) count++;
    }
  }
  return count;
}

// A PNG of one solid colour, for dropping into a document.
export function writeSolidPng(file, width, height, [r, g, b]) {
  const line = Buffer.alloc(1 + width * 3);
  for (let x = 0; x < width; x++) line.set([r, g, b], 1 + x * 3);
  const raw = Buffer.concat(Array.from({ length: height }, () => line));
  const chunk = (type, body) => {
    const out = Buffer.alloc(12 + body.length);
    out.writeUInt32BE(body.length, 0);
    out.write(type, 4, 'latin1');
    body.copy(out, 8);
    out.writeUInt32BE(crc32(out.subarray(4, 8 + body.length)), 8 + body.length);
    return out;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8);
  fs.writeFileSync(file, Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header), chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0)),
  ]));
}

function crc32(bytes) {
  let crc = ~0;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; k++) crc = (crc >>> 1) ^ (0xedb88320 & -(crc & 1));
  }
  return ~crc >>> 0;
}

// Refuses to run against a build that is not there, with the command that
// makes it.
export function requireBuild() {
  const needed = [veskExe, path.join(binDir, 'WebView2Loader.dll'), path.join(binDir, 'web/editor.js')];
  const missing = needed.filter((file) => !fs.existsSync(file));
  if (missing.length) {
    throw new Error(`missing ${missing.join(', ')}: run (cd page && npm run build) and ` +
                    'cmake --build --preset mingw first');
  }
}
