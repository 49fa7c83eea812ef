// Vesk.exe under Wine with its web control backed by headless Chromium, the
// real editor page, driven by VESK_* variables and observed through VESK_LOG,
// the files it writes and its snapshots.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

import {
  answerDialogs, countPixels, post, readPng, requireBuild, root, snapshotUntil, waitFor, wineEnv, winPath,
  windowsPidFrom, withWorld, writeSolidPng,
} from './harness.mjs';

const kTimeout = { timeout: 240000 };
const WM_CLOSE = 0x0010;
const WM_COMMAND = 0x0111;
const kRunCommandMessage = 0x8007;
const kToggleTocCommand = 27;
const kSaveCommand = 3;

before(() => requireBuild());

function writeDoc(dir, name, bytes) {
  fs.mkdirSync(dir, { recursive: true });
  const file = path.join(dir, name);
  fs.writeFileSync(file, bytes);
  return file;
}

// Markdown whose JSON form is about `bytes` long, with what quoting and
// splitting get wrong: quotes, backslashes, control bytes, CJK and emoji.
function documentOfJsonSize(bytes) {
  const line = (i) => `${i} 第${i}行 "引号" back\\slash\ttab 😀 <b>&amp;</b> **粗体** \`code\`\n`;
  const lines = [];
  let size = 2;
  for (let i = 0; size < bytes; i++) {
    const next = line(i);
    lines.push(next);
    size += Buffer.byteLength(JSON.stringify(next)) - 2;
  }
  return '# 大文档\n\n' + lines.join('');
}

// The ink a rendered document leaves: clearly darker than the light page.
const ink = (r, g, b) => r + g + b < 300;

test('the welcome document reaches the page', kTimeout, () => withWorld(async (world) => {
  const vesk = world.vesk({});
  await vesk.waitForLine('NATIVE ready gen=1');
  await vesk.waitForLine('NATIVE navigation completed');
  const lines = vesk.lines();
  for (const expected of ['WebView2Loader.dll loaded', 'env callback fired', 'controller callback fired',
                          'navigate editor page', 'page loaded']) {
    assert.ok(lines.includes(expected), `"${expected}" in\n${lines.join('\n')}`);
  }
  assert.ok(lines.indexOf('controller callback fired') < lines.indexOf('navigate editor page'));
}));

test('a document named on the command line is shown', kTimeout, () => withWorld(async (world) => {
  const doc = writeDoc(path.join(world.dir, 'docs'), '显示.md',
                       '# 一个很大的标题 Heading\n\n' + '这是正文，段落中有足够多的文字来留下墨迹。Plain words too.\n\n'.repeat(12));
  const shot = path.join(world.dir, 'shot.png');
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_SNAPSHOT: winPath(shot), VESK_SNAPSHOT_DELAY: '0' } });
  // Text in the editor area, above the status bar.
  const dark = (png) => countPixels(png, ink, { y1: png.height - 40 });
  const png = await snapshotUntil(vesk, shot, (p) => dark(p) > 3000);
  assert.ok(vesk.lines().includes(`NATIVE open ${winPath(doc)}`));
  assert.ok(png.width >= 600 && png.height >= 400, `snapshot is ${png.width}x${png.height}`);
  assert.ok(dark(png) > 3000, `only ${dark(png)} dark pixels: the document was not rendered`);
}));

test('VESK_EVAL reports its value through the page log', kTimeout, () => withWorld(async (world) => {
  const vesk = world.vesk({ env: { VESK_EVAL: "document.title + ':' + (6 * 7)", VESK_KEYLOG: '1' } });
  const line = await vesk.waitForLine(/^JSLOG EVAL /);
  assert.equal(line, 'JSLOG EVAL Vesk:42');
}));

test('saving writes the text byte for byte (LF, CR LF, byte order mark)', kTimeout, () => withWorld(async (world) => {
  const cases = {
    'lf.md': '# 标题\n\n正文 "quoted" \\ back\n- 列表\n',
    'crlf.md': '# 标题\r\n\r\n正文\r\n- 列表\r\n',
    'bom.md': '\ufeff# 标题\n\n带字节序标记的文档\n',
  };
  for (const [name, text] of Object.entries(cases)) {
    const doc = writeDoc(path.join(world.dir, 'in'), name, text);
    const out = path.join(world.dir, 'out', name);
    fs.mkdirSync(path.dirname(out), { recursive: true });
    const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'saveas', VESK_SAVE_AS: winPath(out) } });
    await vesk.waitForLine(`NATIVE save ${winPath(out)}`);
    // A byte order mark is dropped on reading and never written back.
    assert.deepEqual(fs.readFileSync(out), Buffer.from(text.replace(/^\ufeff/, '')), name);
    await vesk.stop();
  }
}));

// The real control does not order web messages against scripts: each of
// these runs again with the stand-in delivering web messages late.
for (const late of [false, true]) {
const mode = late ? ' (web messages late)' : '';
const lateEnv = late ? { VESK_CDP_LATE_MESSAGES: '1' } : {};

test(`large documents travel each delivery route intact${mode}`, kTimeout, () => withWorld(async (world) => {
  // Page call up to 512 KiB of JSON, web message up to 1.5 MiB, pieces above.
  const routes = [['route-call.md', 300000], ['route-message.md', 1200000], ['route-pieces.md', 3000000]];
  for (const [name, size] of late ? routes.slice(1, 2) : routes) {
    const doc = writeDoc(path.join(world.dir, 'in'), name, documentOfJsonSize(size));
    const out = path.join(world.dir, 'out', name);
    fs.mkdirSync(path.dirname(out), { recursive: true });
    const vesk = world.vesk({ args: [winPath(doc)], env: { ...lateEnv, VESK_COMMAND: 'saveas', VESK_SAVE_AS: winPath(out) } });
    await vesk.waitForLine(`NATIVE save ${winPath(out)}`, 120000);
    const sent = fs.readFileSync(doc);
    const back = fs.readFileSync(out);
    assert.equal(back.length, sent.length, `${name}: size`);
    assert.ok(back.equals(sent), `${name}: bytes differ`);
    await vesk.stop();
  }
}));

test(`a document from another folder reloads the page and old messages are dropped${mode}`, kTimeout, () => withWorld(async (world) => {
  const first = writeDoc(path.join(world.dir, 'a'), 'first.md', '# 第一\n');
  const second = writeDoc(path.join(world.dir, 'b'), 'second.md', '# 第二\n');
  // The first page keeps talking until it is gone.
  const ticker = "setInterval(function(){window.webkit.messageHandlers.vesk.postMessage({type:'log',message:'tick '+location.hash})},15)";
  const vesk = world.vesk({
    args: [winPath(first)],
    env: { ...lateEnv, VESK_EVAL: ticker, VESK_KEYLOG: '1', VESK_DROP: winPath(second) },
  });
  // Loads: the welcome document, the first, the second.
  await vesk.waitForLine('NATIVE ready gen=3');
  // A round trip through the new page: whatever the first page still had on
  // its way came in before the answer.
  const views = () => vesk.lines().filter((l) => l.startsWith('NATIVE view ')).length;
  const seen = views();
  post(windowsPidFrom(path.join(world.dir, 'b')), WM_COMMAND, kToggleTocCommand);
  await waitFor(() => views() > seen, 30000, 'the page\'s answer');
  const lines = vesk.lines();
  const reload = lines.indexOf('navigate editor page', lines.indexOf('navigate editor page') + 1);
  assert.ok(reload > 0, 'a second page load');
  assert.ok(lines.slice(0, reload).some((l) => l === 'JSLOG tick #g1'), 'the first page was heard');
  assert.ok(!lines.slice(reload).some((l) => l.startsWith('JSLOG tick #g1')), 'nothing of the first page after the reload');
  assert.ok(lines.includes(`NATIVE open ${winPath(second)}`));
  // Drops go to the control's own window, the browser's (another process)
  // having refused; the window that takes them stayed the same: registered once.
  const drops = lines.filter((l) => l.startsWith('NATIVE drop target '));
  assert.deepEqual(drops.map((l) => l.replace(/ \d+$/, '').replace(/: .*/, '')), [
    'NATIVE drop target refused on Chrome_RenderWidgetHostHWND', 'NATIVE drop target refused on Chrome_WidgetWin_1',
    'NATIVE drop target on Chrome_WidgetWin_0'], lines.join('\n'));
  assert.ok(drops[0].endsWith('0x80040102'), drops[0]);  // DRAGDROP_E_INVALIDHWND
  // One page file per process, in the current folder only.
  assert.equal(windowsPidFrom(path.join(world.dir, 'a')), 0);
  assert.ok(windowsPidFrom(path.join(world.dir, 'b')) > 0);
}));
}

test('the folder of the page on screen can be loaded again', kTimeout, () => withWorld(async (world) => {
  // A new document keeps the page of folder a; opening another file there
  // must load that page again, not just change its fragment.
  const folder = path.join(world.dir, 'a');
  const first = writeDoc(folder, 'first.md', '# 一\n');
  const again = writeDoc(folder, 'again.md', '# 二\n');
  const vesk = world.vesk({ args: [winPath(first)], env: { VESK_COMMAND: 'new', VESK_DROP: winPath(again) } });
  await vesk.waitForLine(`NATIVE open ${winPath(again)}`);
  await vesk.waitForLine('NATIVE ready gen=3');
  // The load's completion and the page's "ready" come in either order.
  await waitFor(() => vesk.lines().filter((l) => l === 'page loaded').length === 2, 30000, 'the second page load');
}));

test('a dropped image lands in assets/ and shows in the page', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  const doc = writeDoc(folder, 'pictures.md', '# 图片\n\n下面是拖入的图片：\n\n');
  const image = path.join(world.dir, 'red.png');
  writeSolidPng(image, 240, 160, [230, 20, 20]);
  const shot = path.join(world.dir, 'shot.png');
  const vesk = world.vesk({
    args: [winPath(doc)],
    env: { VESK_DROP: winPath(image), VESK_SNAPSHOT: winPath(shot), VESK_SNAPSHOT_DELAY: '0' },
  });
  await vesk.waitForLine('NATIVE drop probe paths=1');
  const red = (png) => countPixels(png, (r, g, b) => r > 200 && g < 60 && b < 60);
  const png = await snapshotUntil(vesk, shot, (p) => red(p) > 5000);
  const assets = path.join(folder, 'assets');
  const stored = fs.existsSync(assets) ? fs.readdirSync(assets) : [];
  assert.equal(stored.length, 1, `assets/ holds ${stored.join(', ')}`);
  assert.ok(fs.readFileSync(path.join(assets, stored[0])).equals(fs.readFileSync(image)));
  assert.ok(red(png) > 5000, `only ${red(png)} red pixels: the image is not shown`);
}));

test('a dropped Markdown file is opened', kTimeout, () => withWorld(async (world) => {
  const dropped = writeDoc(path.join(world.dir, 'dropped'), '拖入.md', '# 拖入的文档\n');
  const vesk = world.vesk({ env: { VESK_DROP: winPath(dropped) } });
  await vesk.waitForLine(`NATIVE open ${winPath(dropped)}`);
  await vesk.waitForLine('NATIVE ready gen=2');
  await waitFor(async () => (await world.editorText())?.includes('拖入的文档'), 30000, 'the dropped text in the page');
}));

test('a text dropped onto the page becomes a document without a path', kTimeout, () => withWorld(async (world) => {
  const drop = "window.webkit.messageHandlers.vesk.postMessage({type: 'drop', name: 'x.md', text: '# 拖入的文字\\n\\n正文\\n'})";
  const out = path.join(world.dir, 'saved.md');
  // Without a path, saving asks where: VESK_SAVE_AS answers.
  const vesk = world.vesk({ env: { VESK_EVAL: drop, VESK_COMMAND: 'save', VESK_SAVE_AS: winPath(out) } });
  await vesk.waitForLine(`NATIVE save ${winPath(out)}`);
  assert.equal(fs.readFileSync(out, 'utf8'), '# 拖入的文字\n\n正文\n');
}));

test('a command and a menu item reach the page, which reports back', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  const doc = writeDoc(folder, 'view.md', '# 视图\n\n## 小节\n');
  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'togglesource', VESK_KEYLOG: '1' } });
  await vesk.waitForLine('NATIVE view toc=0 source=1');
  post(windowsPidFrom(folder), WM_COMMAND, kToggleTocCommand);
  await vesk.waitForLine('NATIVE view toc=1 source=1');
}));

// Keys pressed in the page as a keyboard would (through the browser's input,
// not a script's event). A key the window takes never reaches the page; one
// it leaves, and a plain letter, do.
test('a shortcut pressed in the page runs the window\'s command, and only that key is kept from the page', kTimeout,
     () => withWorld(async (world) => {
  const vesk = world.vesk({ env: { VESK_KEYLOG: '1' } });
  await vesk.waitForLine('NATIVE ready gen=1');
  const { chromium } = createRequire(path.join(root, 'page/package.json'))('playwright-core');
  const browser = await chromium.connectOverCDP(`http://127.0.0.1:${world.port}`);
  try {
    const page = await waitFor(() => browser.contexts()[0]?.pages().find((p) => p.url().startsWith('file:')),
                               30000, 'the editor page');
    await page.evaluate(() => {
      window.seenKeys = [];
      document.addEventListener('keydown', (e) => {
        if (e.key !== 'Control') window.seenKeys.push((e.ctrlKey ? 'Ctrl+' : '') + e.key);
      });
    });
    await page.keyboard.press('Control+KeyJ');  // no binding
    await page.keyboard.press('KeyX');
    await page.keyboard.press('Control+KeyE');  // the source view
    await vesk.waitForLine('NATIVE key vk=69 mods=8 cmd=28');
    await vesk.waitForLine('NATIVE view toc=0 source=1');
    assert.deepEqual(await page.evaluate(() => window.seenKeys), ['Ctrl+j', 'x']);
    assert.ok(vesk.lines().includes('NATIVE key vk=74 mods=8'));
    assert.ok(!vesk.lines().some((line) => line.startsWith('NATIVE key vk=88')), 'a letter is no accelerator');
  } finally {
    await browser.close();
  }
}));

test('a second save inside the first one\'s dialog opens no second dialog', kTimeout, () => withWorld(async (world) => {
  // The welcome document is untitled: saving asks where, in a file dialog
  // whose own message loop delivers the second command.
  const vesk = world.vesk({});
  await vesk.waitForLine('NATIVE ready gen=1');
  const dialogs = answerDialogs(world.dir, {});  // looks, never presses
  post(0, kRunCommandMessage, kSaveCommand, { times: 2, gap: 100 });
  await vesk.waitForLine('NATIVE busy 保存');
  // The second command was turned away inside the first dialog ("busy"), so
  // once that dialog is seen there is nothing more to wait for.
  await waitFor(() => dialogs.record()?.seen?.length, 30000, 'the save dialog');
  const windows = new Set(dialogs.record().seen.map((dialog) => dialog.window));
  assert.equal(windows.size, 1, JSON.stringify(dialogs.record().seen));
}));

test('closing with unsaved changes and VESK_ANSWER=discard exits with 0', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  const text = '# 未保存\n';
  const doc = writeDoc(folder, 'unsaved.md', text);
  const image = path.join(world.dir, 'blue.png');
  writeSolidPng(image, 20, 20, [20, 20, 230]);
  // The page reports the reference after its dirty message, so once the
  // report is in the log the window knows the document is dirty.
  const watch = "(function(){var t=setInterval(function(){if(document.querySelector('.cm-md-image')||document.querySelector('.cm-content').textContent.indexOf('assets/')>=0){" +
    "clearInterval(t);window.webkit.messageHandlers.vesk.postMessage({type:'log',message:'IMAGE IN'})}},50)})()";
  const vesk = world.vesk({
    args: [winPath(doc)],
    env: { VESK_DROP: winPath(image), VESK_ANSWER: 'discard', VESK_EVAL: watch, VESK_KEYLOG: '1' },
  });
  await vesk.waitForLine('JSLOG IMAGE IN');
  assert.ok(fs.existsSync(path.join(folder, 'assets')), 'the stored image');
  post(windowsPidFrom(folder), WM_CLOSE);
  assert.equal(await vesk.exit(), 0);
  assert.equal(fs.readFileSync(doc, 'utf8'), text, 'discarded, not saved');
}));

test('a browser that goes away does not hang the window', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  const doc = writeDoc(folder, 'gone.md', '# 浏览器消失\n');
  const vesk = world.vesk({ args: [winPath(doc)] });
  await vesk.waitForLine('NATIVE navigation completed');
  await world.killBrowser();  // returns once the browser has exited
  post(windowsPidFrom(folder), WM_CLOSE);
  assert.equal(await vesk.exit(), 0);
}));

test('without a browser the runtime is reported missing', kTimeout, () => withWorld(async (world) => {
  // A port nothing listens on: the loader finds no runtime.
  const vesk = world.vesk({ port: 9, env: {} });
  await vesk.waitForLine('GetAvailableCoreWebView2BrowserVersionString failed', 30000);
  assert.ok(!vesk.lines().includes('env callback fired'));
}));
