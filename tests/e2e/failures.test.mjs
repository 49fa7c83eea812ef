// The failure paths of the real program: what the user is told, and what is
// left on disk, when saving or opening does not go the ordinary way.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { requireBuild, seededRandom, sleep, winPath, withWorld } from './harness.mjs';

const kTimeout = { timeout: 240000 };

before(() => requireBuild());

// Reports the status text the page shows now and every later one, each as a
// "JSLOG STATUS …" line.
const watchStatus =
  "(function(){var e=document.getElementById('status-text');" +
  "var say=function(){window.webkit.messageHandlers.vesk.postMessage({type:'log',message:'STATUS '+e.textContent})};" +
  "say();new MutationObserver(say).observe(e,{childList:true,characterData:true,subtree:true})})()";

function writeDoc(dir, name, bytes) {
  fs.mkdirSync(dir, { recursive: true });
  const file = path.join(dir, name);
  fs.writeFileSync(file, bytes);
  return file;
}

test('a status text held until the page is ready reaches the page', kTimeout, () => withWorld(async (world) => {
  // Opened before the page exists: the text waits for the page's ready.
  const doc = writeDoc(path.join(world.dir, '另一个'), '状态.md', '# 状态\n');
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_EVAL: watchStatus, VESK_KEYLOG: '1' } });
  await vesk.waitForLine(`JSLOG STATUS 已打开：${winPath(doc)}`);
}));

// A save killed at random moments: 30 kills spread over the whole save, from
// the page handing over its text to the replace, each checked on disk.
test('a save killed at any moment leaves the old or the new text', { timeout: 1800000 }, () => withWorld(async (world) => {
  const random = seededRandom('save kills');
  const folder = path.join(world.dir, 'doc');
  const line = (i) => `${i} 第${i}行 plain words, **bold**, \`code\` and a [link](#x)\n`;
  const lines = [];
  for (let i = 0, size = 0; size < 20 << 20; i++) {
    lines.push(line(i));
    size += Buffer.byteLength(lines[i]);
  }
  const doc = writeDoc(folder, 'big.md', '# 大文档\n\n' + lines.join(''));
  const temporaries = () => fs.readdirSync(folder).filter((name) => name.startsWith('big.md.tmp-'));
  // The Windows process number of the newest Vesk.exe, from its page file.
  const newestPid = () => {
    const pages = fs.readdirSync(folder).filter((name) => /^\.vesk-preview-\d+\.html$/.test(name))
      .map((name) => ({ name, time: fs.statSync(path.join(folder, name)).mtimeMs }))
      .sort((a, b) => b.time - a.time);
    return pages.length ? Number(/\d+/.exec(pages[0].name)[0]) : 0;
  };
  // Each process logs to a file of its own, so no line of an earlier one is
  // taken for its own.
  const runFolder = (name) => {
    const dir = path.join(world.dir, `run-${name}`);
    fs.mkdirSync(dir, { recursive: true });
    return dir;
  };
  const pollUntil = async (check, ms) => {
    const end = Date.now() + ms;
    while (!check() && Date.now() < end) await sleep(1);
    return check();
  };

  // "In the write": the temporary is shorter than the text; "written": it is
  // whole, and the flush or the replace had not finished.
  const phases = {
    'before the write': 0, 'in the write': 0, 'written, before the replace': 0,
    'after the replace': 0,
  };
  let saveMs = 0;
  let writeMs = 0;
  const kills = 30;
  for (let i = 0; i <= kills; i++) {
    const old = fs.readFileSync(doc);
    const marker = Buffer.from(`![](m${i})`);
    // Temporaries of earlier kills are kept aside: a new process may get the
    // number, and so the name, of a killed one.
    for (const name of temporaries()) fs.renameSync(path.join(folder, name), path.join(world.dir, `kept-${i}-${name}`));
    // The page changes the text, then the save command runs.
    const vesk = world.vesk({
      dir: runFolder(i),
      args: [winPath(doc)],
      env: { VESK_EVAL: `window.vesk.insertImage('m${i}')`, VESK_COMMAND: 'save' },
    });
    await vesk.waitForLine('NATIVE startup command save', 180000);
    const started = Date.now();
    const pid = newestPid();
    const ownTemporary = `big.md.tmp-${pid}`;
    if (i === 0) {
      // Not killed: how long a save and its write take here.
      assert.ok(await pollUntil(() => fs.existsSync(path.join(folder, ownTemporary)), 180000), 'the write starts');
      const writing = Date.now();
      await vesk.waitForLine(`NATIVE save ${winPath(doc)}`, 180000);
      saveMs = Date.now() - started;
      writeMs = Math.max(Date.now() - writing, 20);
      assert.ok(!fs.existsSync(path.join(folder, ownTemporary)), 'a successful save leaves no temporary');
    } else if (i % 2) {
      // Anywhere in the save, the transfer from the page included.
      await sleep(random() * saveMs * 1.1);
    } else {
      // Aimed at the write and the replace: after the temporary appears,
      // most often soon after (the measured time is an upper bound).
      await pollUntil(() => fs.existsSync(path.join(folder, ownTemporary)), saveMs * 3);
      await sleep(random() ** 2 * writeMs);
    }
    await vesk.stop();  // SIGKILL, as a crash or power cut would

    const isNewText = (bytes) => {
      const at = bytes.indexOf(marker);
      return at >= 0 && bytes.length === old.length + marker.length &&
        Buffer.concat([bytes.subarray(0, at), bytes.subarray(at + marker.length)]).equals(old);
    };
    assert.ok(fs.existsSync(doc), `kill ${i}: no file under the document's name`);
    const now = fs.readFileSync(doc);
    const isNew = isNewText(now);
    assert.ok(now.equals(old) || isNew, `kill ${i}: the document is neither the old nor the new text (${now.length} bytes)`);
    if (i === 0) continue;
    const left = fs.existsSync(path.join(folder, ownTemporary));
    if (isNew) phases['after the replace']++;
    else if (!left) phases['before the write']++;
    else if (fs.statSync(path.join(folder, ownTemporary)).size < old.length + marker.length) phases['in the write']++;
    else phases['written, before the replace']++;
  }
  console.log(`kills by phase (save ${saveMs} ms, write and replace ${writeMs} ms): ${JSON.stringify(phases)}`);

  // A save after all those kills works and leaves no temporary of its own.
  const vesk = world.vesk({
    dir: runFolder('last'),
    args: [winPath(doc)],
    env: { VESK_EVAL: "window.vesk.insertImage('last')", VESK_COMMAND: 'save' },
  });
  await vesk.waitForLine(`NATIVE save ${winPath(doc)}`, 180000);
  assert.ok(!temporaries().includes(`big.md.tmp-${newestPid()}`));
  assert.ok(fs.readFileSync(doc).includes('![](last)'));
}));
