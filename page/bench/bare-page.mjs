// The bare peer editor of the benchmarks, bundled from bench/bare.js into a
// page of its own.
import * as esbuild from 'esbuild';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));

export async function openBare(browser) {
  const out = await esbuild.build({
    entryPoints: [join(here, 'bare.js')], bundle: true, format: 'iife', minify: true, target: ['chrome109'], write: false,
  });
  const dir = mkdtempSync(join(tmpdir(), 'vesk-bare-'));
  const file = join(dir, 'bare.html');
  writeFileSync(file, `<!DOCTYPE html><html><head><meta charset="utf-8"><style>html,body{margin:0;height:100%}#editor{height:100vh}</style></head>
<body><div id="editor"></div><script>${out.outputFiles[0].text.replace(/<\/script/gi, '<\\/script')}</script></body></html>`);
  const page = await browser.context.newPage();
  await page.setViewportSize({ width: 1200, height: 800 });
  await page.goto(pathToFileURL(file).href);
  const ed = {
    page,
    cdp: await browser.context.newCDPSession(page),
    frame: () => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))),
  };
  return ed;
}

