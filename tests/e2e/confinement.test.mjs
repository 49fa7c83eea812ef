// A document someone sends cannot reach the reader's files through Vesk: an
// export embeds only the images the reader saw, and only files that are
// images; the editor page is never written into (or loaded from) the
// document's folder, so a read-only folder opens and keeps no stray file.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import { post, requireBuild, root, windowsPidFrom, winPath, withWorld, writeSolidPng } from './harness.mjs';

const kTimeout = { timeout: 240000 };
const prefix = process.env.WINEPREFIX || path.join(root, '.cache/wine');
const pages = path.join(prefix, 'drive_c/users', os.userInfo().username, 'AppData/Local/Vesk/Pages');

before(() => requireBuild());

test('an export carries no file the reader did not see as an image', kTimeout, () => withWorld(async (world) => {
  const secret = 'password=hunter2 — 机密';
  fs.writeFileSync(path.join(world.dir, 'secret.txt'), secret);
  const docs = path.join(world.dir, 'docs');
  fs.mkdirSync(docs);
  writeSolidPng(path.join(docs, 'seen.png'), 20, 20, [230, 20, 20]);
  fs.copyFileSync(path.join(world.dir, 'secret.txt'), path.join(docs, 'renamed.png'));
  const doc = path.join(docs, 'notes.md');
  fs.writeFileSync(doc, [
    '# 报告', '',
    '<img hidden src="../secret.txt">', '',
    '<img data-src="../secret.txt" src="https://example.com/logo.png">', '',
    '<p data-x="&lt;img src=&quot;../secret.txt&quot;&gt;">x</p>', '',
    '![看得见](seen.png) ![改名](renamed.png)', '',
  ].join('\n'));
  const target = path.join(world.dir, 'report.html');
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'exporthtml', VESK_EXPORT_AS: winPath(target) } });
  // The hidden image and the text file named like an image are left out and counted.
  await vesk.waitForLine(`NATIVE export path=${winPath(target)} missing=2`);

  const html = fs.readFileSync(target, 'utf8');
  const encoded = Buffer.from(secret).toString('base64');
  assert.ok(!html.includes(encoded.slice(0, 12)), 'the secret is not in the export');
  assert.ok(!html.includes('application/octet-stream'));
  assert.equal(html.match(/src="data:image\/png;base64,/g)?.length, 1, 'the picture the reader saw is inside');
  assert.ok(html.includes('[图片缺失] ../secret.txt</span>'), 'the unseen image is a visible placeholder now');
  assert.ok(html.includes('[图片缺失] renamed.png</span>'));
  assert.ok(html.includes('src="https://example.com/logo.png"'), 'a web image stays');
  assert.ok(!/\shidden[\s=>]/.test(html), 'nothing is hidden in the export');
}));

test('a document in a read-only folder opens, and its folder gets no file', kTimeout, () => withWorld(async (world) => {
  const docs = path.join(world.dir, '只读 docs');
  fs.mkdirSync(docs);
  writeSolidPng(path.join(docs, 'red.png'), 40, 30, [230, 20, 20]);
  const doc = path.join(docs, 'notes.md');
  fs.writeFileSync(doc, '# 只读\n\n![红](red.png)\n');
  const before = fs.readdirSync(docs).sort();
  // What a process that is gone left behind goes at the next start; anything
  // else in Vesk's folder stays.
  const stale = path.join(pages, '999999-0123456789abcdef');
  const other = path.join(pages, 'notes');
  for (const folder of [stale, other]) {
    fs.mkdirSync(folder, { recursive: true });
    fs.writeFileSync(path.join(folder, 'page.html'), 'old');
  }
  fs.chmodSync(docs, 0o555);
  try {
    // One expression, as VESK_EVAL takes it.
    const report = "(function(){var say=function(m){window.webkit.messageHandlers.vesk.postMessage({type:'log',message:m})};" +
      "say('HREF '+location.href.split('?')[0]);" +
      "var t=setInterval(function(){var i=document.querySelector('.cm-md-image img');" +
      "if(i&&i.complete&&i.naturalWidth){clearInterval(t);say('IMAGE '+i.naturalWidth)}},50);return 'watching'})()";
    const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_EVAL: report, VESK_KEYLOG: '1' } });
    const href = (await vesk.waitForLine('JSLOG HREF ')).slice('JSLOG HREF '.length);
    // Relative images still come from the document's folder, through <base>.
    await vesk.waitForLine('JSLOG IMAGE 40');
    assert.ok(!decodeURIComponent(href).includes('只读 docs'), `the page is loaded from ${href}`);
    const folderLine = await vesk.waitForLine('NATIVE page folder ');
    assert.match(folderLine, /\\AppData\\Local\\Vesk\\Pages\\\d+-[0-9a-f]{16}$/);
    const own = path.join(pages, folderLine.split('\\').pop());
    assert.equal(pathToFileURL(path.join(own, 'page.html')).pathname.split('/').pop(), href.split('/').pop());
    assert.ok(fs.existsSync(path.join(own, 'page.html')));
    assert.ok(!fs.existsSync(stale), 'the page folder of a process that is gone is removed');
    assert.ok(fs.existsSync(path.join(other, 'page.html')), 'a folder that is not a page folder stays');
    assert.deepEqual(fs.readdirSync(docs).sort(), before, 'nothing is written beside the document');
    assert.ok(!vesk.lines().some((l) => l.includes('无法准备编辑器页面')), vesk.log());

    post(windowsPidFrom(vesk), 0x0010);  // WM_CLOSE
    assert.equal(await vesk.exit(60000), 0);
    assert.ok(!fs.existsSync(own), 'the page folder goes at exit');
  } finally {
    fs.chmodSync(docs, 0o755);
    fs.rmSync(other, { recursive: true, force: true });
  }
}));
