#!/usr/bin/env node
// The timed mode of the end-to-end tier (a script, not a test): how long a
// 1, 10 and 30 MB document takes to reach the real editor page by each route
// (one page call, one web message, scripts carrying pieces), from the start
// of its JSON encoding until the page reports that setMarkdown has returned.
// Under Wine with the Chromium-backed control, so the figures include the
// DevTools socket; real WebView2 refuses page calls over its script budget,
// which is why larger documents take the other routes.
//
//   node tests/e2e/bench-delivery.mjs [megabytes,...]     (default 1,10,30)
import { spawn } from 'node:child_process';
import path from 'node:path';

import { binDir, ensureDisplay, requireBuild, root, startChromium, wineEnv, winPath } from './harness.mjs';

requireBuild();
const sizes = process.argv[2] || '1,10,30';
const program = path.join(root, 'build/mingw/tests/win/webhost_delivery_bench.exe');

const display = await ensureDisplay();
const browser = await startChromium();
const rows = [];
try {
  const child = spawn('wine', [program], {
    env: wineEnv({
      VESK_CDP_PORT: String(browser.port),
      VESK_LOADER: winPath(path.join(binDir, 'WebView2Loader.dll')),
      VESK_WEB_DIR: winPath(path.join(binDir, 'web')),
      VESK_BENCH_SIZES: sizes,
    }),
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  let pending = '';
  child.stdout.on('data', (chunk) => {
    pending += chunk;
    let line;
    while ((line = pending.indexOf('\n')) >= 0) {
      const text = pending.slice(0, line).trim();
      pending = pending.slice(line + 1);
      if (!text.startsWith('{')) continue;
      const row = JSON.parse(text);
      rows.push(row);
      const mark = row.chosen ? ' (the route set_markdown takes)' : '';
      console.log(`${String(row.megabytes).padStart(3)} MB  ${row.route.padEnd(8)} ${String(row.ms).padStart(7)} ms` +
                  `${row.intact ? '' : '  TEXT NOT INTACT'}${mark}`);
    }
  });
  const code = await new Promise((resolve) => child.on('exit', resolve));
  if (code !== 0) console.error(`benchmark program exited with ${code}`);
} finally {
  await browser.stop();
  await display.stop();
}
const goal = rows.find((r) => r.megabytes === 30 && r.chosen);
if (goal) console.log(`30 MB by its own route: ${goal.ms} ms (goal: under 2000 ms)`);
process.exitCode = rows.length && rows.every((r) => r.intact) ? 0 : 1;
