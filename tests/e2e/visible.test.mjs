// What `scripts/run` shows with a display: Chromium as a frameless app
// window held inside Vesk's window, exactly over its client area, following
// it when it moves or changes size, and gone when Vesk closes. Read through
// X (xdotool, xwininfo) and from the Windows side (the client rectangle).
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

import { countPixels, readPng, requireBuild, root, waitFor, wineEnv, windowsPidFrom, winPath,
  withWorld } from './harness.mjs';

const WM_CLOSE = 0x0010;
const WM_COMMAND = 0x0111;
const WM_SYSCOMMAND = 0x0112;
const SC_MINIMIZE = 0xf020;
const SC_RESTORE = 0xf120;
const helper = path.join(root, 'build/mingw/tests/win/webhost_e2e_post.exe');

before(() => requireBuild());

function x11(command, args) {
  const result = spawnSync(command, args, { encoding: 'utf8', timeout: 30000 });
  return result.status === 0 ? result.stdout : '';
}

// Absolute position and size of an X window, or null when it is not there.
function xGeometry(id) {
  const text = x11('xwininfo', ['-id', String(id)]);
  const field = (name) => Number(new RegExp(`${name}:\\s+(-?\\d+)`).exec(text)?.[1]);
  const geometry = { x: field('Absolute upper-left X'), y: field('Absolute upper-left Y'),
                     width: field('Width'), height: field('Height') };
  return Number.isFinite(geometry.width) ? geometry : null;
}

// The X windows directly inside `id`.
function xChildren(id) {
  return [...x11('xwininfo', ['-children', '-id', String(id)]).matchAll(/^\s+(0x[0-9a-f]+) /gm)]
    .map((match) => Number(match[1]));
}

// Vesk's client area on the screen, as Windows sees it.
function clientArea(pid) {
  const result = spawnSync('wine', [helper, String(pid), 'client'], { env: wineEnv(), encoding: 'utf8', timeout: 30000 });
  const [x, y, width, height] = result.stdout.trim().split(/\s+/).map(Number);
  return result.status === 0 ? { x, y, width, height } : null;
}

function post(pid, message, wparam) {
  const result = spawnSync('wine', [helper, String(pid), String(message), String(wparam)],
                           { env: wineEnv(), stdio: 'ignore', timeout: 30000 });
  assert.equal(result.status, 0, `posting ${message} to Vesk.exe`);
}

const covers = (editor, client) => editor && client && client.width > 0 &&
  ['x', 'y', 'width', 'height'].every((key) => Math.abs(editor[key] - client[key]) <= 2);

test('with a display the editor window sits over the client area of Vesk\'s window and follows it',
     { timeout: 240000 }, () => withWorld(async (world) => {
  // The welcome document, from a folder of the test's own.
  const folder = path.join(world.dir, 'doc');
  fs.mkdirSync(folder);
  const doc = path.join(folder, 'welcome.md');
  fs.copyFileSync(path.join(root, 'samples/welcome.md'), doc);
  const vesk = world.vesk({ args: [winPath(doc)] });
  await vesk.waitForLine('NATIVE navigation completed');
  const pid = windowsPidFrom(vesk);
  const host = await waitFor(() => Number(x11('xdotool', ['search', '--name', ' - Vesk$']).split('\n')[0]), 30000,
                             'Vesk\'s X window');
  const editor = await waitFor(() => xChildren(host)[0], 30000, 'the editor window inside Vesk\'s');
  assert.match(x11('xprop', ['-id', String(editor), 'WM_NAME']), /Vesk/, 'the editor window is the page');

  const check = async (what) => {
    let last = {};
    await waitFor(() => {
      last = { editor: xGeometry(editor), client: clientArea(pid) };
      return covers(last.editor, last.client);
    }, 30000, () => `${what}: editor ${JSON.stringify(last.editor)} over client ${JSON.stringify(last.client)}`);
  };
  await check('at start');

  x11('xdotool', ['windowmove', String(host), '120', '90', 'windowsize', String(host), '900', '640']);
  await waitFor(() => xGeometry(host)?.width === 900, 30000, 'the host at its new size');
  await check('moved and resized');
  const placed = xGeometry(editor);
  assert.ok(placed.width <= 900 && placed.height < 640, 'the editor follows the smaller window');

  // Above Vesk's window, under its menu bar: the band between the top of
  // Vesk's X window and the editor holds the menu's text.
  const hostAt = xGeometry(host);
  const editorAt = xGeometry(editor);
  assert.ok(editorAt.y - hostAt.y >= 10, 'room for the menu bar above the editor');
  const shot = path.join(root, 'build/e2e/run-visible.png');
  fs.mkdirSync(path.dirname(shot), { recursive: true });
  const dark = (r, g, b) => r + g + b < 300;
  const drawn = async (what, file) => {
    let ink = {};
    await waitFor(() => {
      assert.equal(spawnSync('import', ['-window', 'root', `PNG24:${file}`], { timeout: 60000 }).status, 0, 'screenshot');
      const png = readPng(file);
      ink = {
        menu: countPixels(png, dark, { x0: hostAt.x, y0: hostAt.y, x1: hostAt.x + 200, y1: editorAt.y }),
        page: countPixels(png, dark, { x0: editorAt.x, y0: editorAt.y, x1: editorAt.x + editorAt.width,
                                       y1: editorAt.y + editorAt.height }),
      };
      return ink.menu > 20 && ink.page > 500;
    }, 30000, () => `${what}: menu text above the editor and the document in it (dark pixels ${JSON.stringify(ink)})`);
  };
  await drawn('shown', shot);

  // At a person's pace, restored once it is down, five times: the editor
  // must draw its page again each time, not stay blank.
  for (let round = 1; round <= 5; round++) {
    post(pid, WM_SYSCOMMAND, SC_MINIMIZE);
    await waitFor(() => clientArea(pid)?.width === 0, 30000, 'Vesk minimised');
    post(pid, WM_SYSCOMMAND, SC_RESTORE);
    await check(`minimised and restored (${round})`);
    await drawn(`restored (${round})`, path.join(world.dir, `restored-${round}.png`));
  }

  // Closing Vesk takes the editor window and the browser's page with it.
  post(pid, WM_CLOSE, 0);
  assert.equal(await vesk.exit(), 0);
  await waitFor(() => !xGeometry(editor), 30000, 'the editor window to go');
}, { visible: true }));

// With a display the keyboard is the X server's: keys go where a person's
// would. Ctrl+P in the page exports as the menu does; while one of Vesk's
// dialogs is up, typed keys go to the dialog, never into the document
// behind it; the question opens centred on the window; 编辑's find and
// replace open the page's search.
test('with a display Ctrl+P exports the PDF, dialogs take the keyboard, find and replace are in the menu',
     { timeout: 300000 }, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  fs.mkdirSync(folder);
  const doc = path.join(folder, 'welcome.md');
  fs.copyFileSync(path.join(root, 'samples/welcome.md'), doc);
  const pdf = path.join(world.dir, 'out.pdf');
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_PDF_AS: winPath(pdf) } });
  await vesk.waitForLine('NATIVE navigation completed');
  const pid = windowsPidFrom(vesk);
  const host = await waitFor(() => Number(x11('xdotool', ['search', '--name', ' - Vesk$']).split('\n')[0]), 30000,
                             'Vesk\'s X window');
  const editor = await waitFor(() => xChildren(host)[0], 30000, 'the editor window inside Vesk\'s');
  const { chromium } = createRequire(path.join(root, 'page/package.json'))('playwright-core');
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${world.port}`);
  try {
    const page = await waitFor(() => browser.contexts()[0]?.pages().find((p) => p.url().startsWith('file:')),
                               30000, 'the editor page');
    const text = () => page.evaluate(() => {
      const c = document.querySelector('.cm-content');
      return ((c.cmTile && c.cmTile.root && c.cmTile.root.view) || (c.cmView && c.cmView.view)).state.doc.toString();
    });
    const original = fs.readFileSync(doc, 'utf8').replace(/\r\n/g, '\n');
    await waitFor(async () => (await text()) === original, 30000, 'the document in the page');
    // A click in the text, as a person would, gives the page the keyboard.
    await waitFor(() => xGeometry(editor)?.width > 100, 30000, 'the editor on the screen');
    const at = xGeometry(editor);
    x11('xdotool', ['mousemove', String(at.x + 200), String(at.y + 120), 'click', '1']);
    await waitFor(() => page.evaluate(() => document.hasFocus() && !!document.activeElement.closest('.cm-content')),
                  30000, 'the editor focused');

    x11('xdotool', ['key', 'ctrl+p']);
    await vesk.waitForLine(/^NATIVE pdf (path=|failed)/, 120000);
    assert.ok(!vesk.lines().some((line) => line.startsWith('NATIVE pdf failed')), vesk.log());
    assert.equal(fs.readFileSync(pdf).subarray(0, 5).toString('latin1'), '%PDF-');

    // The unsaved-changes question, twice: keys typed while it is up reach
    // it (Escape cancels it), not the document; it is centred on the window.
    x11('xdotool', ['type', '--delay', '30', 'q']);
    await waitFor(async () => (await text()) !== original, 30000, 'the typed letter in the document');
    const typed = await text();
    const hostAt = xGeometry(host);
    for (let round = 1; round <= 2; round++) {
      post(pid, WM_COMMAND, 1);  // 新建
      const dialog = await waitFor(() => Number(x11('xdotool', ['search', '--name', '^未保存的修改$']).split('\n')[0]),
                                   30000, `the question (${round})`);
      // Laid out (the X window exists before its size and place are set) and
      // centred on Vesk's window.
      let box = null;
      const centred = () => box && box.width > 200 &&
        Math.abs(box.x + box.width / 2 - (hostAt.x + hostAt.width / 2)) < 60 &&
        Math.abs(box.y + box.height / 2 - (hostAt.y + hostAt.height / 2)) < 100;
      await waitFor(() => { box = xGeometry(dialog); return centred(); }, 30000,
                    () => `question ${round} centred: at ${JSON.stringify(box)}, window at ${JSON.stringify(hostAt)}`);
      // The control hands the keyboard to the question (X would otherwise
      // give it to the browser window under the pointer).
      x11('xdotool', ['mousemove', String(at.x + 40), String(at.y + 40)]);
      await waitFor(() => Number(x11('xdotool', ['getwindowfocus']).trim()) === dialog, 30000,
                    `the keyboard with the question (${round})`);
      x11('xdotool', ['type', '--delay', '30', 'zzz']);
      x11('xdotool', ['key', 'Escape']);
      await waitFor(() => !xGeometry(dialog), 30000, `Escape to close the question (${round})`);
      assert.equal(await text(), typed, `round ${round}`);
    }

    // 编辑 › 查找 and 替换: the page's search panel, its field focused.
    post(pid, WM_COMMAND, 39);
    await waitFor(() => page.evaluate(() => document.activeElement?.getAttribute('name') === 'search'), 30000,
                  'the search field');
    post(pid, WM_COMMAND, 40);
    await waitFor(() => page.evaluate(() => document.activeElement?.getAttribute('name') === 'replace'), 30000,
                  'the replace field');
  } finally {
    await browser.close();
  }
}, { visible: true }));
