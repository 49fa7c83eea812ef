// The folder panel in the real program: a nested folder of 2,000 Markdown
// files is indexed with the right count, a rename by another program shows in
// the tree, and quick open finds and opens a deep file.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { requireBuild, wineEnv, winPath, withWorld } from './harness.mjs';

const kTimeout = { timeout: 300000 };

before(() => requireBuild());

// 20 folders × 10 subfolders × 10 files, the document itself at the top, and
// what the panel leaves out: other files, .git and node_modules.
function writeTree(root) {
  for (let a = 1; a <= 20; a++) {
    for (let b = 1; b <= 10; b++) {
      const dir = path.join(root, `部分${a}`, `节${b}`);
      fs.mkdirSync(dir, { recursive: true });
      for (let c = 1; c <= 10; c++) fs.writeFileSync(path.join(dir, `笔记${c}.md`), `# ${a}.${b}.${c}\n`);
    }
  }
  const deep = path.join(root, '部分7', '节3', 'deeper', 'deepest');
  fs.mkdirSync(deep, { recursive: true });
  fs.writeFileSync(path.join(deep, 'target-file.md'), '# the deep one\n');
  fs.renameSync(path.join(root, '部分1', '节1', '笔记1.md'), path.join(root, '部分1', '节1', 'keep.md'));
  fs.rmSync(path.join(root, '部分1', '节1', '笔记2.md'));
  fs.writeFileSync(path.join(root, 'image.png'), 'not markdown');
  for (const skipped of ['.git', 'node_modules']) {
    fs.mkdirSync(path.join(root, skipped));
    fs.writeFileSync(path.join(root, skipped, 'x.md'), 'skipped');
  }
  fs.writeFileSync(path.join(root, 'start.md'), '# start\n');
  fs.writeFileSync(path.join(root, 'zz-old-name.md'), 'renamed by another program\n');
}

// Waits in the page for the renamed entry, then opens the deep file through
// quick open; each step is reported as a log line.
const kScript = `(function(){
  var send = function (m) { window.webkit.messageHandlers.vesk.postMessage({ type: 'log', message: m }); };
  var names = function () { return Array.prototype.map.call(document.querySelectorAll('[role=treeitem]'), function (e) { return e.textContent; }); };
  var stage = 0;
  var tick = function () {
    if (stage === 0 && names().indexOf('zz-old-name.md') >= 0) { send('TREE listed ' + names().length); stage = 1; }
    if (stage === 1 && names().indexOf('zz-new-name.md') >= 0 && names().indexOf('zz-old-name.md') < 0) {
      send('TREE renamed');
      stage = 2;
      window.vesk.quickOpen();
      var input = document.querySelector('[role=combobox]');
      input.value = 'targetfile';
      input.dispatchEvent(new Event('input'));
      var option = document.querySelector('[role=option]');
      send('QUICK ' + (option ? option.textContent : 'none'));
      input.dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter', bubbles: true }));
      return;
    }
    setTimeout(tick, 20);
  };
  tick();
  return 'watching';
})()`;

test('a folder of 2,000 files: listed, kept true, and quick open reaches a deep file', kTimeout, () => withWorld(async (world) => {
  const root = path.join(world.dir, 'book');
  writeTree(root);
  // The panel's visibility survives restarts: start from hidden.
  spawnSync('wine', ['reg', 'delete', 'HKCU\\Software\\Vesk', '/v', 'FilesPanelVisible', '/f'], { env: wineEnv(), stdio: 'ignore' });
  const vesk = world.vesk({
    args: [winPath(path.join(root, 'start.md'))],
    env: { VESK_COMMAND: 'togglefiles', VESK_EVAL: kScript, VESK_KEYLOG: '1' },
  });
  const line = await vesk.waitForLine(/^NATIVE folder .* files=\d+ ms=\d+$/, 180000);
  // 2,000 made, one renamed within its folder, one removed; the deep file, start.md, zz-old-name.md.
  assert.match(line, /files=2002 ms=/);
  assert.ok(line.includes(winPath(root)), line);
  await vesk.waitForLine(/^JSLOG TREE listed 22$/); // 20 folders, start.md and zz-old-name.md; the rest is left out
  fs.renameSync(path.join(root, 'zz-old-name.md'), path.join(root, 'zz-new-name.md'));
  await vesk.waitForLine('JSLOG TREE renamed');
  assert.equal(await vesk.waitForLine('JSLOG QUICK '), 'JSLOG QUICK target-file.md部分7/节3/deeper/deepest');
  const opened = await vesk.waitForLine(/^NATIVE open .*target-file\.md$/);
  assert.ok(opened.endsWith('\\部分7\\节3\\deeper\\deepest\\target-file.md'), opened);
}));
