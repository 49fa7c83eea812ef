// The Chromium-backed WebView2Loader.dll on its own: what the web host relies
// on (tests/win/webhost_cdp_conformance.cpp checks it from inside Wine), and
// the PDFs that program prints, measured here: page size, margins, scale and
// backgrounds.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import {
  binDir, ensureDisplay, readPng, removeDir, requireBuild, root, startChromium, tempDir, wineEnv, winPath,
} from './harness.mjs';

before(() => requireBuild());

const program = path.join(root, 'build/mingw/tests/win/webhost_cdp_conformance.exe');

function run(command, args, env, ms) {
  return new Promise((resolve) => {
    const child = spawn(command, args, { env, detached: true, stdio: ['ignore', 'pipe', 'pipe'] });
    let output = '';
    child.stdout.on('data', (chunk) => { output += chunk; });
    child.stderr.on('data', (chunk) => { output += chunk; });
    const timer = setTimeout(() => { try { process.kill(-child.pid, 'SIGKILL'); } catch { /* gone */ } }, ms);
    child.on('exit', (code) => { clearTimeout(timer); resolve({ code, output }); });
  });
}

// The page at 50 dots per inch.
function render(pdf) {
  const prefix = pdf.replace(/\.pdf$/, '');
  const result = spawnSync('pdftoppm', ['-r', '50', '-png', '-singlefile', pdf, prefix]);
  assert.equal(result.status, 0, `pdftoppm ${pdf}`);
  return readPng(`${prefix}.png`);
}

function pageSize(pdf) {
  const info = spawnSync('pdfinfo', [pdf], { encoding: 'utf8' }).stdout;
  const match = /Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(info);
  assert.ok(match, info);
  return [Number(match[1]), Number(match[2])];
}

const pixel = (png, x, y) => Array.from(png.pixels.subarray((y * png.width + x) * 4, (y * png.width + x) * 4 + 3));
const isBlue = ([r, g, b]) => b > 180 && r < 90 && g < 110;
const isWhite = ([r, g, b]) => r > 240 && g > 240 && b > 240;
const isBlack = ([r, g, b]) => r < 40 && g < 40 && b < 40;

// Longest run of black pixels in any row: the 600 CSS px bar of the page.
function barWidth(png) {
  let best = 0;
  for (let y = 0; y < png.height; y++) {
    let run = 0;
    for (let x = 0; x < png.width; x++) {
      run = isBlack(pixel(png, x, y)) ? run + 1 : 0;
      best = Math.max(best, run);
    }
  }
  return best;
}

test('the Chromium-backed control does what the web host relies on', { timeout: 180000 }, async () => {
  assert.ok(fs.existsSync(program), `${program} (cmake --build --preset mingw)`);
  const display = await ensureDisplay();
  const browser = await startChromium();
  const out = tempDir('vesk-control-');
  try {
    const result = await run('wine', [program, '--gtest_brief=1'], wineEnv({
      VESK_CDP_PORT: String(browser.port),
      VESK_LOADER: winPath(path.join(binDir, 'WebView2Loader.dll')),
      VESK_CONFORMANCE_OUT: winPath(out),
    }), 150000);
    assert.equal(result.code, 0, result.output);

    // A4 with our margins; the control's own default is Letter.
    for (const name of ['a4-half.pdf', 'a4-full.pdf']) {
      const [w, h] = pageSize(path.join(out, name));
      assert.ok(Math.abs(w - 595.3) < 2 && Math.abs(h - 841.9) < 2, `${name}: ${w} x ${h}`);
    }
    assert.deepEqual(pageSize(path.join(out, 'defaults.pdf')), [612, 792]);

    const half = render(path.join(out, 'a4-half.pdf'));
    const full = render(path.join(out, 'a4-full.pdf'));
    const plain = render(path.join(out, 'defaults.pdf'));
    const middle = Math.floor(half.height / 2);
    // Backgrounds printed inside the margins only: 0.708 in left, 0.7875 in top.
    assert.ok(isBlue(pixel(half, Math.floor(half.width / 2), middle)), 'background printed');
    assert.ok(isWhite(pixel(half, 5, 5)), 'margin stays white');
    const left = Array.from({ length: half.width }, (_, x) => x).find((x) => isBlue(pixel(half, x, middle)));
    assert.ok(Math.abs(left - 0.7083 * 50) <= 2, `left margin ${left} px at 50 dpi`);
    const top = Array.from({ length: half.height }, (_, y) => y)
      .find((y) => !isWhite(pixel(half, Math.floor(half.width / 2), y)));
    assert.ok(Math.abs(top - 0.7875 * 50) <= 2, `top margin ${top} px at 50 dpi`);
    assert.ok(isWhite(pixel(plain, Math.floor(plain.width / 2), Math.floor(plain.height / 2))), 'no backgrounds by default');

    // 600 CSS px = 6.25 in at scale 1, half that at scale 0.5.
    const widthFull = barWidth(full);
    const widthHalf = barWidth(half);
    assert.ok(Math.abs(widthFull - 312) <= 6, `bar at scale 1: ${widthFull} px`);
    assert.ok(Math.abs(widthHalf / widthFull - 0.5) < 0.03, `bar at scale 0.5: ${widthHalf} px`);
  } finally {
    await browser.stop();
    await display.stop();
    removeDir(out);
  }
});
