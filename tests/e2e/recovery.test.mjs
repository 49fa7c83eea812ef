// Unsaved text through crashes and other programs' changes, in the real
// program: Vesk killed at random moments while typing brings back its last
// backup byte for byte; two starts never both take one entry; a file
// replaced by another program is reloaded, or asked about when it has
// unsaved edits.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { answerDialogs, post, requireBuild, sleep, waitFor, winPath, withWorld } from './harness.mjs';

before(() => requireBuild());

const kRunCommandMessage = 0x8007;
const kSaveCommand = 3;

// The page's text as one JSON log line, then typing: one character every
// 40 ms at the caret, with a log line every 5 characters.
const startTyping =
  "(function(){var c=document.querySelector('.cm-content');" +
  "var v=(c.cmTile&&c.cmTile.root&&c.cmTile.root.view)||(c.cmView&&c.cmView.view);" +
  "var say=function(m){window.webkit.messageHandlers.vesk.postMessage({type:'log',message:m})};" +
  "say('START '+JSON.stringify(v.state.doc.toString()));" +
  "var n=0;setInterval(function(){window.vesk.clipboardPaste(String(n%10));n++;if(n%5===0)say('TYPED '+n);},40);" +
  "return 'typing'})()";
const watchStatus =
  "(function(){var e=document.getElementById('status-text');" +
  "var say=function(){window.webkit.messageHandlers.vesk.postMessage({type:'log',message:'STATUS '+e.textContent})};" +
  "say();new MutationObserver(say).observe(e,{childList:true,characterData:true,subtree:true})})()";

// The text of the one backup entry in `folder`, read as the program reads it.
function backupEntries(folder) {
  if (!fs.existsSync(folder)) return [];
  return fs.readdirSync(folder).filter((name) => /^\d+-\d+\.vesk-backup$/.test(name)).map((name) => {
    const bytes = fs.readFileSync(path.join(folder, name));
    const end = bytes.indexOf('\n\n');
    const header = bytes.subarray(0, end).toString('utf8');
    const size = Number(/\ntext-bytes (\d+)/.exec(header)[1]);
    const text = bytes.subarray(end + 2);
    assert.equal(text.length, size, `${name} holds the whole text`);
    return { name, text: text.toString('utf8') };
  });
}

test('killed at random moments while typing, each restart brings back the last backup', { timeout: 1800000 }, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  fs.mkdirSync(folder, { recursive: true });
  const doc = path.join(folder, '笔记.md');
  const base = '# 笔记\n\n正文。\n';
  fs.writeFileSync(doc, base);
  const data = path.join(world.dir, 'data');
  const backups = path.join(data, 'Backups');
  const env = { VESK_DATA_DIR: winPath(data), VESK_KEYLOG: '1', VESK_EVAL: startTyping };
  // Typing goes in at the start: every text the page ever has is a prefix
  // of the typed digits followed by the file's text.
  const typed = (text) => {
    assert.ok(text.endsWith(base), `not the document: ${JSON.stringify(text.slice(-80))}`);
    return text.slice(0, text.length - base.length);
  };
  const runDir = (i) => {
    const dir = path.join(world.dir, `run-${i}`);
    fs.mkdirSync(dir, { recursive: true });
    return dir;
  };
  const kills = 20;
  let lostMax = 0;
  let lostSum = 0;
  let expectedStart = base;
  for (let i = 0; i <= kills; i++) {
    const first = i === 0;
    const vesk = world.vesk({
      dir: runDir(i),
      args: first ? [winPath(doc)] : [],
      env: first ? env : { ...env, VESK_RECOVER: 'restore' },
    });
    const start = JSON.parse((await vesk.waitForLine('JSLOG START ', 120000)).slice('JSLOG START '.length));
    if (!first) {
      await vesk.waitForLine(`NATIVE recovered ${winPath(doc)}`);
      // The text of the last completed backup, byte for byte, never a mix.
      assert.equal(start, expectedStart, `restart ${i}`);
    }
    if (i === kills) {
      await vesk.stop();
      break;
    }
    // Typing goes on for a random while, with at least one backup taken.
    await vesk.waitForLine(/^NATIVE backup \d+-\d+ bytes=/, 120000);
    await sleep(Math.floor(Math.random() * 4000));
    await vesk.stop();
    const lines = vesk.lines();
    const typedLines = lines.filter((line) => line.startsWith('JSLOG TYPED ')).map((line) => Number(line.slice(12)));
    const entries = backupEntries(backups);
    assert.equal(entries.length, 1, `one entry after kill ${i}: ${entries.map((e) => e.name)}`);
    const kept = entries[0].text;
    const keptDigits = typed(kept).length;
    // At least the last backup the program reported finished is on disk.
    const reported = lines.filter((line) => /^NATIVE backup \d+-\d+ bytes=/.test(line)).map((line) => Number(/bytes=(\d+)/.exec(line)[1]));
    assert.ok(Buffer.byteLength(kept) >= reported.at(-1), `backup ${Buffer.byteLength(kept)} older than reported ${reported.at(-1)}`);
    const typedHere = Math.max(0, ...typedLines) + typed(start).length;
    const lost = Math.max(0, typedHere - keptDigits);
    lostMax = Math.max(lostMax, lost);
    lostSum += lost;
    expectedStart = kept;
  }
  console.log(`kill test: ${kills} kills; typing lost at most ${lostMax} characters (${lostMax * 40} ms of typing at 25 keys/s), ` +
    `on average ${(lostSum / kills).toFixed(1)}`);
  assert.ok(lostMax * 40 <= 11000 + 1000, `lost ${lostMax} characters`);
}));

test('two starts at once take a left entry once; foreign files are left alone', { timeout: 600000 }, () => withWorld(async (world) => {
  const data = path.join(world.dir, 'data');
  const backups = path.join(data, 'Backups');
  const env = { VESK_DATA_DIR: winPath(data), VESK_KEYLOG: '1' };
  // An untitled text, left by a Vesk that was killed.
  for (const name of ['killed', 'a', 'b']) fs.mkdirSync(path.join(world.dir, name));
  const first = world.vesk({ dir: path.join(world.dir, 'killed'), env: { ...env, VESK_EVAL: "window.vesk.newDocument(), window.vesk.clipboardPaste('留下的文字')" } });
  await first.waitForLine(/^NATIVE backup \d+-\d+ bytes=15$/, 120000);
  await first.stop();
  fs.writeFileSync(path.join(backups, 'notes.txt'), 'not ours');
  fs.writeFileSync(path.join(backups, '1-2.vesk-backup'), 'VESK-BACKUP 1\npath \ncut short');

  const starts = ['a', 'b'].map((name) => world.vesk({ dir: path.join(world.dir, name), env: { ...env, VESK_RECOVER: 'restore', VESK_EVAL: watchStatus } }));
  await Promise.all(starts.map((vesk) => vesk.waitForLine('NATIVE navigation completed', 120000)));
  const recovered = await waitFor(() => {
    const found = starts.filter((vesk) => vesk.lines().includes('NATIVE recovered untitled'));
    return found.length ? found : null;
  }, 120000, 'a recovery');
  await recovered[0].waitForLine('JSLOG STATUS 已恢复未保存的内容');
  for (const vesk of starts) {
    assert.ok(vesk.lines().includes('NATIVE backup foreign notes.txt'));
    assert.ok(vesk.lines().includes('NATIVE backup damaged 1-2.vesk-backup'));
  }
  assert.equal(starts.filter((vesk) => vesk.lines().includes('NATIVE recovered untitled')).length, 1);
  assert.equal(fs.readFileSync(path.join(backups, 'notes.txt'), 'utf8'), 'not ours');
}));

test('a file replaced by another program: reloaded when clean, asked about when edited', { timeout: 600000 }, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  fs.mkdirSync(folder, { recursive: true });
  const doc = path.join(folder, 'a.md');
  fs.writeFileSync(doc, 'first\n');
  // A sync client: the new text goes to a temporary, renamed over the file.
  const replace = (text) => {
    const temp = path.join(folder, '.a.md.sync-tmp');
    fs.writeFileSync(temp, text);
    fs.renameSync(temp, doc);
  };
  // Once the reload is shown, the user types: the text has unsaved edits.
  const editAfterReload = watchStatus.replace("say();new", "say();var done=false;new").replace(
    "var say=function(){", "var say=function(){if(!done&&e.textContent.indexOf('已重新载入')===0){done=true;window.vesk.clipboardPaste('MINE ');}");
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_DATA_DIR: winPath(path.join(world.dir, 'data')), VESK_KEYLOG: '1', VESK_EVAL: editAfterReload } });
  const dialogs = answerDialogs(world.dir, { 文件已被其他程序修改: 1001 }, 300);
  await vesk.waitForLine('JSLOG STATUS ');
  // A touch alone is no change.
  const later = new Date(Date.now() + 5000);
  fs.utimesSync(doc, later, later);
  replace('second\n');
  await vesk.waitForLine('JSLOG STATUS 已重新载入（文件在外部被修改）');
  assert.equal(vesk.lines().filter((line) => line.startsWith('NATIVE reloaded')).length, 1);
  await vesk.waitForLine('NATIVE backup ');

  // Unsaved edits: asked and kept; the save over the file asks again first.
  replace('third\n');
  await vesk.waitForLine('NATIVE file changed');
  await waitFor(() => (dialogs.record()?.answered || []).length >= 1 || null, 120000, 'the question answered');
  post(0, kRunCommandMessage, kSaveCommand);
  await vesk.waitForLine('NATIVE save ');
  assert.equal(vesk.lines().filter((line) => line.startsWith('NATIVE file changed')).length, 2);
  assert.equal(fs.readFileSync(doc, 'utf8'), 'MINE second\n');
  await vesk.stop();
}));
