// A downloaded document cannot turn the editor against its reader: links that
// would run a program are refused without starting anything, a link to another
// machine asks first and a refusal touches nothing, and the page cannot be
// navigated away or open windows.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { requireBuild, waitFor, winPath, withWorld } from './harness.mjs';

const kTimeout = { timeout: 240000 };

before(() => requireBuild());

// A page script (for VESK_EVAL) that follows each link in turn, the way a
// Ctrl+click does, and reports the status line each one leaves.
function followInTurn(links) {
  return `(function(){
    var links = ${JSON.stringify(links)};
    var post = function (m) { window.chrome.webview.postMessage(m); };
    var status = function () { return document.getElementById('status-text').textContent; };
    var next = function (i) {
      if (i >= links.length) return;
      var before = status();
      post({ type: 'openLink', href: links[i] });
      var poll = setInterval(function () {
        if (status() === before) return;
        clearInterval(poll);
        post({ type: 'log', message: 'STATUS ' + status() });
        next(i + 1);
      }, 50);
    };
    next(0);
    return 'started';
  })()`;
}

// Follows all links at once; the native side takes them in order. Reports
// the status line once it names the last one.
function followAll(links) {
  return `(function(){
    var links = ${JSON.stringify(links)};
    links.forEach(function (href) { window.chrome.webview.postMessage({ type: 'openLink', href: href }); });
    var poll = setInterval(function () {
      var text = document.getElementById('status-text').textContent;
      if (text.indexOf(links[links.length - 1]) < 0) return;
      clearInterval(poll);
      window.chrome.webview.postMessage({ type: 'log', message: 'STATUS ' + text });
    }, 50);
    return 'started';
  })()`;
}

test('links that would run a program are refused and start nothing', kTimeout, () => withWorld(async (world) => {
  const docs = path.join(world.dir, 'docs');
  fs.mkdirSync(docs);
  const marker = path.join(docs, 'ran.txt');
  fs.writeFileSync(path.join(docs, 'run.cmd'), `@echo ran> "${winPath(marker)}"\r\n`);
  fs.writeFileSync(path.join(docs, 'notes.txt'), 'notes');
  const doc = path.join(docs, 'doc.md');
  fs.writeFileSync(doc, '# links\n');
  const runUrl = `file:///${winPath(path.join(docs, 'run.cmd')).replace(/\\/g, '/')}%00`;
  const links = ['run.cmd%00.png', runUrl, './notes.txt:run.cmd'];
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_KEYLOG: '1', VESK_EVAL: followInTurn(links) } });
  // The links are followed one after the other: the last status ends the run.
  await vesk.waitForLine('JSLOG STATUS 出于安全考虑，不直接打开可执行文件：');
  const statuses = vesk.lines().filter((l) => l.startsWith('JSLOG STATUS '));
  assert.deepEqual(statuses, [
    'JSLOG STATUS 出于安全考虑，不直接打开此链接：run.cmd%00.png',
    `JSLOG STATUS 出于安全考虑，不直接打开此链接：${runUrl}`,
    'JSLOG STATUS 出于安全考虑，不直接打开可执行文件：./notes.txt:run.cmd',
  ]);
  assert.ok(!fs.existsSync(marker), 'run.cmd was started');
}));

test('a link to another machine asks first; cancelled, it touches nothing', kTimeout, () => withWorld(async (world) => {
  const doc = path.join(world.dir, 'doc.md');
  fs.writeFileSync(doc, '# share\n');
  // After the question the editor must still answer: the refused scheme's
  // status shows only if no box is waiting for the reader.
  const links = ['\\\\host\\share\\secret.md', 'file://host/share/x.png', 'ftp://after'];
  const vesk = world.vesk({
    args: [winPath(doc)], env: { VESK_KEYLOG: '1', VESK_ANSWER: 'cancel', VESK_EVAL: followAll(links) },
  });
  await vesk.waitForLine('JSLOG STATUS 不支持打开的链接类型：ftp://after');
  const lines = vesk.lines();
  assert.equal(lines.filter((l) => l === 'NATIVE link network host=host cancel').length, 2, lines.join('\n'));
  assert.ok(!lines.some((l) => l.startsWith('NATIVE open ') && l.includes('host')), 'a network document was opened');
}));

test('a navigation forced from the page is cancelled and the page stays ready', kTimeout, () => withWorld(async (world) => {
  const doc = path.join(world.dir, 'doc.md');
  fs.writeFileSync(doc, '# stay\n');
  fs.writeFileSync(path.join(world.dir, 'other.html'), '<p>elsewhere</p>');
  // The page counts on after it tried to leave; a page that left counts no more.
  const script = `(function(){
    var n = 0;
    setInterval(function () {
      n++;
      window.chrome.webview.postMessage({ type: 'log', message: 'ALIVE ' + n + ' ' + typeof window.vesk });
    }, 200);
    window.open('other.html');
    location.href = 'other.html';
    return 'left';
  })()`;
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_KEYLOG: '1', VESK_EVAL: script } });
  await vesk.waitForLine(/^navigation cancelled .*other\.html$/);
  await vesk.waitForLine(/^new window refused .*other\.html$/);
  const alive = () => vesk.lines().filter((l) => l.startsWith('JSLOG ALIVE ')).length;
  const seen = alive();
  await waitFor(() => alive() > seen + 2, 30000, () => 'the page to keep running');
  assert.ok(vesk.lines().filter((l) => l.startsWith('JSLOG ALIVE ')).every((l) => l.endsWith(' object')));
  assert.ok(!vesk.lines().includes('编辑器页面加载失败。'));
}));
