// The page end to end through the calls and messages the native side uses.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { pathToFileURL } from 'node:url';
import { EditorPage, documentFolder, launch, quote } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kPng = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAFElEQVR4nGP8z8Dwn4GBgYGJAQoAJAQB/0pU2W0AAAAASUVORK5CYII=', 'base64');

async function open(options) {
  const ed = await EditorPage.open(browser, options);
  return ed;
}

const docText = (ed) => ed.page.evaluate(() => window.__view().state.doc.toString());

test('ready and view after load; calls before the page exists are harmless', async () => {
  const page = await browser.context.newPage();
  // A page call run before the page's own script defined window.vesk.
  await page.addInitScript(() => { window.vesk && window.vesk.setMarkdown('early'); });
  await page.close();
  const ed = await open();
  const all = await ed.messages();
  assert.deepEqual(all.slice(0, 2), [{ type: 'ready' }, { type: 'view', toc: false, source: false, zoom: 1 }]);
  assert.equal(typeof (await ed.run('typeof window.vesk.setMarkdown')), 'string');
  for (const name of ['setMarkdown', 'newDocument', 'requestSnapshot', 'markSaved', 'undo', 'redo', 'clipboardCopy',
    'clipboardPaste', 'toggleToc', 'toggleSource', 'zoomBy', 'resetZoom', 'setTheme', 'format', 'exportHtml',
    'insertImage', 'setStatus', 'pdfBegin', 'pdfEnd']) {
    assert.equal(await ed.run(`typeof window.vesk.${name}`), 'function', name);
  }
  // Malformed calls neither throw into the native script nor touch the document.
  await ed.load('keep me');
  await ed.call('setMarkdown');
  await ed.call('setMarkdown', '-1');
  await ed.run('window.chrome.webview.__deliver(\'{"__vesk":"setMarkdown"}\')', true);
  await ed.call('markSaved', 'true');
  await ed.call('format', quote('nonsense'));
  assert.equal(await ed.snapshot(), 'keep me');
  assert.deepEqual(await ed.messages('error'), []);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('snapshot returns the text with line ends as LF', async () => {
  const ed = await open();
  await ed.load('a\r\nb\rc\n\u2028d\u0000e\ufeff');
  assert.equal(await ed.snapshot(), 'a\nb\nc\n\u2028d\u0000e\ufeff');
  await ed.call('newDocument');
  assert.equal(await ed.snapshot(), '');
  await ed.close();
});

test('dirty is posted exactly when the unsaved state changes', async () => {
  const ed = await open();
  const dirtyLog = async () => (await ed.messages('dirty')).map((m) => m.value);
  await ed.load('line one\r\nline two');
  await ed.select(8);
  await ed.page.keyboard.type('xy');
  assert.deepEqual(await dirtyLog(), [true]);
  await ed.page.keyboard.press('Backspace');
  await ed.page.keyboard.press('Backspace');
  assert.deepEqual(await dirtyLog(), [true, false]);
  await ed.page.keyboard.type('!');
  // The native side restores CR LF when it writes; the saved text comes back so.
  const saved = (await ed.snapshot()).replace(/\n/g, '\r\n');
  await ed.call('markSaved', quote(saved));
  assert.deepEqual(await dirtyLog(), [true, false, true, false]);
  await ed.call('undo');
  assert.deepEqual(await dirtyLog(), [true, false, true, false, true]);
  await ed.call('redo');
  assert.deepEqual(await dirtyLog(), [true, false, true, false, true, false]);
  await ed.call('markSaved', quote('something else'));
  await ed.call('setMarkdown', quote('fresh'));
  await ed.page.keyboard.type('z');
  await ed.call('newDocument');
  assert.deepEqual(await dirtyLog(), [true, false, true, false, true, false, true, false, true, false]);
  // History does not reach back into the previous document.
  await ed.call('undo');
  assert.equal(await ed.snapshot(), '');
  await ed.close();
});

test('stats count words and CJK characters, after a pause rather than per keystroke', async () => {
  const ed = await open();
  await ed.load('中文写作 and some words');
  const first = await ed.waitFor('stats');
  assert.deepEqual([first.words, first.cjk], [3, 4]);
  await ed.clearMessages();
  await ed.select(0);
  await ed.page.keyboard.type('more 字 ', { delay: 10 });
  await ed.until(() => window.__veskSent.some((m) => m.type === 'stats' && m.words === 4) &&
    /5 字.*4 词/.test(document.querySelector('#status-info').textContent));
  const stats = await ed.messages('stats');
  // One report after the pause (a loaded machine may split the burst in two).
  assert.ok(stats.length >= 1 && stats.length <= 2, `${stats.length} reports for 7 keys`);
  assert.deepEqual([stats.at(-1).words, stats.at(-1).cjk], [4, 5]);
  assert.match(await ed.page.textContent('#status-info'), /5 字.*4 词/);
  await ed.close();
});

test('view: table of contents, source view and zoom', async () => {
  const ed = await open();
  const body = ['# One', 'intro', '## Two', ...Array.from({ length: 80 }, (_, i) => `line ${i}`), '### 三 `code`', 'end'].join('\n');
  await ed.load(body);
  await ed.clearMessages();
  await ed.call('toggleToc');
  assert.equal(await ed.page.isVisible('#toc'), true);
  assert.deepEqual(await ed.page.$$eval('.toc-item', (els) => els.map((e) => e.textContent)), ['One', 'Two', '三 code']);
  await ed.page.click('.toc-item >> text=三 code');
  await ed.until(() => window.__view().scrollDOM.scrollTop > 100);
  await ed.call('toggleSource');
  await ed.call('zoomBy', '1');
  await ed.call('zoomBy', '1');
  for (let i = 0; i < 12; i++) await ed.call('zoomBy', '-1');
  await ed.call('resetZoom');
  await ed.call('resetZoom');
  await ed.call('toggleToc');
  await ed.call('toggleSource');
  const views = (await ed.messages('view')).map((m) => `${m.toc ? 'T' : '-'}${m.source ? 'S' : '-'}${m.zoom}`);
  assert.deepEqual(views, ['T-1', 'TS1', 'TS1.1', 'TS1.25', 'TS1.1', 'TS1', 'TS0.9', 'TS0.8', 'TS0.75', 'TS0.67', 'TS0.5', 'TS1', '-S1', '--1']);
  assert.equal(await ed.page.evaluate(() => getComputedStyle(document.querySelector('.cm-content')).fontSize), '16px');
  await ed.close();
});

test('theme, status text and platform class', async () => {
  const ed = await open();
  await ed.call('setTheme', quote('dark'));
  assert.equal(await ed.page.evaluate(() => document.body.className), 'theme-dark');
  await ed.call('setTheme', quote('Dark'));
  assert.equal(await ed.page.evaluate(() => document.body.className), 'theme-light');
  await ed.run("(function(){if(document.body)document.body.classList.add('platform-win');})();");
  assert.ok(await ed.page.evaluate(() => document.body.classList.contains('platform-win')));
  await ed.call('setStatus', quote('已保存 "a\\b"\n<b>x</b>'));
  assert.equal(await ed.page.textContent('#status-text'), '已保存 "a\\b"\n<b>x</b>');
  assert.equal(await ed.page.$$eval('#statusbar b', (els) => els.length), 0);
  await ed.close();
});

test('format commands are single undo steps that touch only their lines', async () => {
  const ed = await open();
  const text = 'keep this\n\nfirst line\nsecond line\n\nkeep that';
  await ed.load(text);
  await ed.select(text.indexOf('first'), text.indexOf('second') + 6);
  await ed.call('format', quote('bold'));
  assert.equal(await ed.snapshot(), 'keep this\n\n**first line**\n**second** line\n\nkeep that');
  await ed.call('format', quote('h2'));
  await ed.call('format', quote('quote'));
  assert.equal(await ed.snapshot(), 'keep this\n\n> ## **first line**\n> ## **second** line\n\nkeep that');
  for (let i = 0; i < 3; i++) await ed.call('undo');
  assert.equal(await ed.snapshot(), text);
  await ed.call('redo');
  assert.equal(await ed.snapshot(), 'keep this\n\n**first line**\n**second** line\n\nkeep that');
  for (const name of ['italic', 'inlineCode', 'link', 'h1', 'h3', 'ul', 'ol', 'codeBlock', 'table', 'hr']) {
    await ed.load(text);
    await ed.select(text.indexOf('first') + 2);
    await ed.call('format', quote(name));
    const out = await ed.snapshot();
    assert.ok(out.startsWith('keep this\n') && out.endsWith('\nkeep that'), `${name} changed other lines: ${JSON.stringify(out)}`);
    assert.notEqual(out, text, name);
    await ed.call('undo');
    assert.equal(await ed.snapshot(), text, `${name} is not one undo step`);
  }
  // Plain text is already a paragraph: nothing to do, nothing to undo.
  await ed.call('format', quote('paragraph'));
  assert.equal(await ed.snapshot(), text);
  await ed.close();
});

test('clipboard: copy, cut, paste and image insertion', async () => {
  const ed = await open();
  await ed.load('plain **bold** text\nnext');
  await ed.select(6, 14);
  await ed.call('clipboardCopy', 'false');
  const copy = await ed.waitFor('clipboardWrite');
  assert.equal(copy.text, '**bold**');
  assert.match(copy.html, /<strong>bold<\/strong>/);
  assert.equal(await ed.snapshot(), 'plain **bold** text\nnext');
  await ed.call('clipboardCopy', 'true');
  assert.equal(await ed.snapshot(), 'plain  text\nnext');
  await ed.clearMessages();
  await ed.select(3);
  // Nothing selected: copy and cut take the caret's whole line.
  await ed.call('clipboardCopy', 'false');
  assert.equal((await ed.waitFor('clipboardWrite')).text, 'plain  text\n');
  await ed.call('clipboardCopy', 'true');
  assert.equal(await ed.snapshot(), 'next');
  await ed.call('undo');
  await ed.select(3);
  await ed.call('clipboardPaste', quote('A\r\nB'));
  assert.equal(await ed.snapshot(), 'plaA\nBin  text\nnext');
  await ed.call('undo');
  await ed.select(0, 5);
  await ed.call('insertImage', quote('assets/pic (1).png'));
  assert.equal(await ed.snapshot(), '![plain](<assets/pic (1).png>)  text\nnext');
  await ed.call('insertImage', quote('assets/p.png'));
  assert.equal(await ed.snapshot(), '![plain](<assets/pic (1).png>)![](assets/p.png)  text\nnext');
  await ed.close();
});

test('export is a complete document with sources as written', async () => {
  const ed = await open();
  await ed.load('# 标题 One\n\n![a](assets/pic%201.png) ![b](<img/b c.png>) ![c](file:///C:/x.png)\n\n- [x] done\n\n<div onclick="x()">raw</div>\n');
  await ed.call('exportHtml', quote('笔记 <1> & "q"'));
  const { html } = await ed.waitFor('export');
  assert.match(html, /^<!DOCTYPE html>\n<html lang="zh-CN">\n<head>\n<meta charset="utf-8">/);
  assert.match(html, /<title>笔记 &#60;1&#62; &#38; &#34;q&#34;<\/title>/);
  assert.match(html, /<style>[\s\S]*\.markdown-body[\s\S]*<\/style>/);
  assert.match(html, /<h1 id="标题-one">标题 One<\/h1>/);
  assert.ok(html.includes('src="assets/pic%201.png"'), 'encoded source kept');
  assert.ok(html.includes('src="img/b c.png"'), 'source with a space kept');
  assert.ok(html.includes('src="file:///C:/x.png"'), 'file source kept');
  assert.match(html, /<input[^>]*type="checkbox"[^>]*checked/);
  assert.ok(!/onclick/i.test(html));
  assert.match(html, /<\/html>\n$/);
  await ed.close();
});

test('print view reports its size and pdfEnd restores the editor', async () => {
  const ed = await open();
  const long = Array.from({ length: 200 }, (_, i) => `Paragraph ${i} 中文段落`).join('\n\n');
  await ed.load(long);
  await ed.select(long.indexOf('Paragraph 150'), long.indexOf('Paragraph 150') + 9);
  await ed.page.evaluate(() => window.__view().dispatch({ scrollIntoView: true }));
  const before = await ed.until(() => window.__view().scrollDOM.scrollTop);
  const size = await ed.run('window.vesk && window.vesk.pdfBegin()');
  assert.equal(size.w, 658);
  assert.ok(size.h > 200 * 20, `height ${size.h}`);
  assert.equal(await ed.page.isVisible('#app'), false);
  await ed.call('pdfEnd');
  await ed.until((top) => Math.abs(window.__view().scrollDOM.scrollTop - top) <= 1, before);
  assert.deepEqual(await ed.selection(), [[long.indexOf('Paragraph 150'), long.indexOf('Paragraph 150') + 9]]);
  assert.equal(await ed.page.isVisible('#print-root'), false);
  // Wide content asks for a smaller scale; an empty document has no height.
  await ed.load(`| ${'verylongunbreakablecell'.repeat(8)} | b |\n|---|---|\n| 1 | 2 |`);
  const wide = await ed.run('window.vesk.pdfBegin()');
  assert.ok(wide.w > 658, `width ${wide.w}`);
  await ed.call('pdfEnd');
  await ed.call('newDocument');
  const empty = await ed.run('window.vesk.pdfBegin()');
  assert.ok(empty.h < 10);
  await ed.call('pdfEnd');
  await ed.close();
});

test('links: Ctrl+click posts the target as written or scrolls to an anchor', async () => {
  const ed = await open();
  const filler = Array.from({ length: 60 }, (_, i) => `filler ${i}`).join('\n\n');
  await ed.load(`See [the notes](notes.md?x=1#part) and [down](#目标-section) or <https://example.org>.\n\n${filler}\n\n## 目标 Section\n`);
  await ed.page.click('.cm-content', { position: { x: 5, y: 500 } }); // caret elsewhere: links rendered
  await ed.page.click('.cm-md-link >> text=the notes');
  assert.deepEqual(await ed.messages('openLink'), []);
  await ed.page.click('.cm-md-link >> text=the notes', { modifiers: ['Control'] });
  await ed.page.click('.cm-md-link >> text=example.org', { modifiers: ['Control'] });
  assert.deepEqual((await ed.messages('openLink')).map((m) => m.href), ['notes.md?x=1#part', 'https://example.org']);
  await ed.page.click('.cm-content', { position: { x: 5, y: 500 } });
  await ed.page.click('.cm-md-link >> text=down', { modifiers: ['Control'] });
  await ed.until(() => window.__view().scrollDOM.scrollTop > 500);
  assert.equal((await ed.messages('openLink')).length, 2);

  // Links inside a rendered table are real anchors: they never navigate the page.
  await ed.load('| site |\n|---|\n| [home](https://example.org/home) |\n\nafter');
  await ed.page.click('.cm-line >> text=after');
  const url = ed.page.url();
  await ed.page.click('.cm-md-table a', { modifiers: ['Control'] });
  await ed.page.click('.cm-md-table a');
  assert.equal(ed.page.url(), url);
  assert.deepEqual((await ed.messages('openLink')).map((m) => m.href).slice(2), ['https://example.org/home']);
  await ed.close();
});

test('context menu posts edit commands and the open request', async () => {
  const ed = await open();
  await ed.load('text');
  for (const [label, message] of [['剪切', { type: 'editCommand', command: 'cut' }], ['复制', { type: 'editCommand', command: 'copy' }],
    ['粘贴', { type: 'editCommand', command: 'paste' }], ['打开…', { type: 'open' }]]) {
    await ed.clearMessages();
    await ed.page.click('.cm-content', { button: 'right' });
    assert.equal(await ed.page.isVisible('.context-menu'), true);
    await ed.page.click(`.context-item >> text=${label}`);
    assert.deepEqual(await ed.messages(), [message]);
    assert.equal(await ed.page.isVisible('.context-menu'), false);
  }
  await ed.close();
});

test('page errors are posted as error messages', async () => {
  const ed = await open();
  await ed.page.evaluate(() => { setTimeout(() => { throw new Error('boom'); }, 0); });
  const err = await ed.waitFor('error');
  assert.match(err.message, /boom/);
  await ed.close();
});

// Builds a DataTransfer with files in the page and fires `type` at the editor.
async function fireFiles(ed, type, files) {
  await ed.page.evaluate(([kind, list]) => {
    const dt = new DataTransfer();
    for (const f of list) dt.items.add(new File([Uint8Array.from(atob(f.b64), (c) => c.charCodeAt(0))], f.name, { type: f.type }));
    const target = document.querySelector('.cm-content');
    const rect = target.getBoundingClientRect();
    const init = { bubbles: true, cancelable: true, clientX: rect.left + 10, clientY: rect.top + 10 };
    const event = kind === 'paste' ? new ClipboardEvent('paste', { ...init, clipboardData: dt }) : new DragEvent(kind, { ...init, dataTransfer: dt });
    target.dispatchEvent(event);
  }, [type, files.map((f) => ({ ...f, b64: Buffer.from(f.data).toString('base64') }))]);
}

test('pasted and dropped files: images to the native side, text documents opened', async () => {
  const ed = await open();
  await ed.load('before');
  await fireFiles(ed, 'paste', [{ name: 'image.png', type: 'image/png', data: kPng }]);
  const pasted = await ed.waitFor('image');
  assert.deepEqual({ ...pasted, data: Buffer.from(pasted.data, 'base64').equals(kPng) },
    { type: 'image', data: true, mime: 'image/png', name: 'image.png', source: 'paste' });
  await ed.clearMessages();
  await fireFiles(ed, 'drop', [{ name: '照片.png', type: 'image/png', data: kPng }]);
  const dropped = await ed.waitFor('image');
  assert.equal(dropped.source, 'drop');
  assert.equal(dropped.name, '照片.png');
  await fireFiles(ed, 'drop', [{ name: 'notes.md', type: '', data: Buffer.from('# 笔记\n') }, { name: 'x.zip', type: 'application/zip', data: Buffer.from('PK') }]);
  const drop = await ed.waitFor('drop');
  assert.deepEqual(drop, { type: 'drop', name: 'notes.md', text: '# 笔记\n' });
  assert.match((await ed.waitFor('status')).message, /x\.zip/);
  assert.equal(await ed.snapshot(), 'before');
  await ed.close();
});

test('images resolve against the base element the native side sets', async () => {
  const folder = documentFolder({ 'assets/dot.png': kPng });
  const ed = await open();
  await ed.load('![dot](assets/dot.png)\n\ntext');
  const url = pathToFileURL(folder).href + '/';
  await ed.run(`(function(){var h=document.head;if(!h)return;var b=h.querySelector('base');if(!b){b=document.createElement('base');h.insertBefore(b,h.firstChild);}b.href=${quote(url)};})();`);
  await ed.until(() => {
    const img = document.querySelector('.cm-md-image img');
    return img && img.complete && img.naturalWidth === 2;
  });
  assert.equal(await ed.page.$eval('.cm-md-image img', (img) => img.src), `${url}assets/dot.png`);
  await ed.run("(function(){var b=document.querySelector('base');if(b&&b.parentNode)b.parentNode.removeChild(b);})();");
  await ed.until(() => document.querySelector('.cm-md-image-missing'));
  await ed.close();

  // Assembled for a folder, the page carries the base element from the start.
  const withBase = await open({ folder });
  await withBase.load('![dot](assets/dot.png)');
  await withBase.until(() => document.querySelector('.cm-md-image img')?.naturalWidth === 2);
  await withBase.close();
});

test('automation: the evaluation script reports through the page log', async () => {
  const ed = await open();
  await ed.run("(function(){try{var r=(1+1);window.chrome.webview.postMessage({type:'log',message:'EVAL '+String(r)});}catch(e){window.chrome.webview.postMessage({type:'log',message:'EVALERR '+e});}})();");
  assert.deepEqual(await ed.messages('log'), [{ type: 'log', message: 'EVAL 2' }]);
  await ed.close();
});

test('rendered view hides marks off the caret line; source view and the flag keep them', async () => {
  const ed = await open();
  await ed.load('# Title\n\nSome **bold** and [link](u).\n\n- [ ] task\n\nlast');
  await ed.page.click('.cm-line >> text=last');
  await ed.until(() => !/\*\*|# Title/.test(document.querySelector('.cm-content').innerText));
  assert.equal(await ed.page.$$eval('.cm-md-task', (els) => els.length), 1);
  // Clicking the task box ticks it, as an edit.
  await ed.page.click('.cm-md-task');
  assert.equal(await ed.snapshot(), '# Title\n\nSome **bold** and [link](u).\n\n- [x] task\n\nlast');
  // On the caret's line the marks come back.
  await ed.page.click('.cm-md-strong');
  await ed.until(() => document.querySelector('.cm-content').innerText.includes('**bold**'));
  await ed.call('toggleSource');
  await ed.until(() => document.querySelector('.cm-content').innerText.includes('# Title'));
  assert.equal(await ed.page.$$eval('.cm-md-task', (els) => els.length), 0);
  await ed.call('toggleSource');
  await ed.close();

  const plain = await open({ inlineProto: false });
  await plain.load('# Title\n\nSome **bold**.\n\nlast');
  await plain.until(() => {
    const shown = document.querySelector('.cm-content').innerText;
    return shown.includes('# Title') && shown.includes('**bold**');
  });
  assert.equal(await plain.page.$$eval('.cm-md-h1', (els) => els.length), 1);
  await plain.close();
});

test('find() and replace() open the search panel on their field, as Ctrl+F and Ctrl+H do', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('one two one\n');
  await ed.select(0);
  const focused = () => ed.page.evaluate(() => document.activeElement.getAttribute('name'));
  await ed.call('find');
  assert.equal(await focused(), 'search');
  await ed.call('replace');
  assert.equal(await focused(), 'replace');
  await ed.page.keyboard.press('Escape');
  await ed.select(0);
  await ed.page.keyboard.press('Control+h');
  assert.equal(await focused(), 'replace');
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('backups, recovered texts, reloads after another program changed the file, and restored versions', async () => {
  const ed = await open();
  await ed.load('saved text');
  await ed.select(10);
  await ed.page.keyboard.type('!');
  const backup = await ed.waitFor('backup');
  assert.equal(backup.text, 'saved text!');

  // A recovered text is unsaved from the start and is backed up again.
  await ed.call('markSaved', quote('saved text!'));
  await ed.clearMessages();
  await ed.call('markUnsaved', 'true');
  await ed.load('recovered');
  assert.deepEqual((await ed.messages('dirty')).map((m) => m.value), [true]);
  assert.equal((await ed.waitFor('backup')).text, 'recovered');
  await ed.call('markSaved', quote('recovered'));
  assert.deepEqual((await ed.messages('dirty')).map((m) => m.value), [true, false]);

  // The file's new text keeps the caret; a vanished file leaves the text unsaved.
  await ed.load('line one\nline two\nline three');
  await ed.select(12);
  await ed.call('keepPlace');
  await ed.load('line one\nline 2\nline three, longer');
  assert.deepEqual(await ed.selection(), [[12, 12]]);
  await ed.clearMessages();
  await ed.call('markUnsaved');
  assert.deepEqual((await ed.messages('dirty')).map((m) => m.value), [true]);
  assert.equal(await ed.snapshot(), 'line one\nline 2\nline three, longer');

  // A version from the history: one undoable edit over the saved baseline.
  await ed.load('saved\n');
  await ed.clearMessages();
  await ed.call('replaceText', quote('older\r\nversion\n'));
  assert.equal(await ed.snapshot(), 'older\nversion\n');
  await ed.call('undo');
  assert.equal(await ed.snapshot(), 'saved\n');
  assert.deepEqual((await ed.messages('dirty')).map((m) => m.value), [true, false]);
  await ed.call('replaceText', '42');
  assert.equal(await ed.snapshot(), 'saved\n');
  await ed.close();
});
