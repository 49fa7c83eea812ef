// What `scripts/run` shows with a display: Chromium as a frameless app
// window held inside Vesk's window, exactly over its client area, following
// it when it moves or changes size, and gone when Vesk closes. Read through
// X (xdotool, xwininfo) and from the Windows side (the client rectangle).
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { countPixels, readPng, requireBuild, root, waitFor, wineEnv, windowsPidFrom, winPath,
  withWorld } from './harness.mjs';

const WM_CLOSE = 0x0010;
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
