// The failure paths of the real program: what the user is told, and what is
// left on disk, when saving or opening does not go the ordinary way.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';

import { requireBuild, winPath, withWorld } from './harness.mjs';

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
