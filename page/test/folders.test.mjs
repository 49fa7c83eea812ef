// The folder panel and quick open, driven through the calls the native side
// makes and observed through the messages the page posts.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch, quote } from './harness.mjs';
import { pinyin } from 'pinyin-pro';
import { parseQuery, prepareEntry, rank, setPinyinReader } from '../src/fuzzy.js';

setPinyinReader((ch) => pinyin(ch, { toneType: 'none', type: 'array' })[0] || '');

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kRoot = 'C:\\notes';
const listing = (dir, entries) => JSON.stringify({ root: kRoot, dir, entries, done: true });
const lastOf = async (ed, type) => (await ed.messages(type)).at(-1);

test('ranking: word starts, the name before the folders, pinyin, name:line', () => {
  const entries = ['notes/笔记.md', 'book/chapter-1.md', 'book/chapter-10.md', 'docs/folder-panel.md',
    'fp/readme.md', 'deep/a/b/c/target.md', 'target-notes/other.md', 'biji/x.md'].map(prepareEntry);
  const first = (q) => rank(entries, parseQuery(q).text).top[0]?.entry.path;
  assert.equal(first('bj'), 'notes/笔记.md');       // pinyin initials beat a folder named "biji"
  assert.equal(first('biji'), 'notes/笔记.md');
  assert.equal(first('fp'), 'docs/folder-panel.md'); // word starts in the name beat the folder "fp"
  assert.equal(first('ch10'), 'book/chapter-10.md');
  assert.equal(first('target'), 'deep/a/b/c/target.md');
  assert.equal(rank(entries, 'zzz').top.length, 0);
  assert.deepEqual(parseQuery('Chapter 1:42'), { text: 'chapter1', line: 42 });
  // The marks of a pinyin match are the Chinese characters themselves.
  const m = rank(entries, 'bj').top[0];
  assert.deepEqual(m.marks.map((i) => m.entry.path[i]), ['笔', '记']);
});

test('the tree: roles, order as listed, expanding on demand, opening and the keys', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('# doc');
  await ed.call('setFilesPanel', JSON.stringify({ visible: true, width: 300 }));
  await ed.call('folderEntries', listing('', [{ name: '章节', dir: true }, { name: 'a.md', dir: false }, { name: '笔记.md', dir: false }]));
  const tree = await ed.page.$('[role="tree"]');
  assert.ok(tree);
  const items = () => ed.page.$$eval('[role="treeitem"]', (els) => els.map((e) => [e.textContent, e.getAttribute('aria-expanded')]));
  assert.deepEqual(await items(), [['章节', 'false'], ['a.md', null], ['笔记.md', null]]);
  assert.equal(await ed.page.$eval('#files', (e) => e.getBoundingClientRect().width), 300);

  // Arrow keys as in Explorer: Right opens a folder (and asks for its children).
  await ed.page.click('[role="treeitem"][data-path="章节"]');
  assert.deepEqual(await lastOf(ed, 'folderList'), { type: 'folderList', dir: '章节' });
  await ed.call('folderEntries', listing('章节', [{ name: '第1章.md', dir: false }]));
  assert.deepEqual((await items())[1], ['第1章.md', null]);
  await ed.page.keyboard.press('ArrowLeft');
  assert.deepEqual(await items(), [['章节', 'false'], ['a.md', null], ['笔记.md', null]]);
  await ed.page.keyboard.press('ArrowRight');
  await ed.page.keyboard.press('ArrowRight'); // into the first child
  await ed.page.keyboard.press('Enter');
  assert.deepEqual(await lastOf(ed, 'folderOpenFile'), { type: 'folderOpenFile', path: '章节/第1章.md', newWindow: false });
  await ed.page.keyboard.press('End');
  await ed.page.keyboard.press('Control+Enter');
  assert.deepEqual(await lastOf(ed, 'folderOpenFile'), { type: 'folderOpenFile', path: '笔记.md', newWindow: true });
  await ed.page.click('[role="treeitem"][data-path="a.md"]', { modifiers: ['Control'] });
  assert.deepEqual(await lastOf(ed, 'folderOpenFile'), { type: 'folderOpenFile', path: 'a.md', newWindow: true });
  await ed.page.click('[role="treeitem"][data-path="a.md"]', { button: 'middle' });
  assert.equal((await ed.messages('folderOpenFile')).length, 4);

  // F2 renames in place, Delete asks the native side to recycle.
  await ed.page.keyboard.press('Home');
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.keyboard.press('F2');
  await ed.page.keyboard.press('Control+a');
  await ed.page.keyboard.type('新名字.md');
  await ed.page.keyboard.press('Enter');
  assert.deepEqual(await lastOf(ed, 'folderRename'), { type: 'folderRename', path: 'a.md', name: '新名字.md' });
  await ed.page.keyboard.press('Delete');
  assert.deepEqual(await lastOf(ed, 'folderDelete'), { type: 'folderDelete', path: 'a.md' });
  // The open document is marked; the editor's own context menu stays out of the panel.
  await ed.call('folderCurrent', quote('章节/第1章.md'));
  assert.equal(await ed.page.$eval('.files-current', (e) => e.textContent), '第1章.md');
  await ed.page.click('[role="treeitem"][data-path="章节"]', { button: 'right' });
  const menus = await ed.page.$$eval('.context-menu:not([hidden])', (els) => els.map((e) => e.textContent));
  assert.equal(menus.length, 1);
  assert.match(menus[0], /新建文件.*新建文件夹.*重命名.*删除.*在资源管理器中显示/);
  await ed.page.click('.context-menu:not([hidden]) .context-item:nth-child(2)');
  await ed.page.keyboard.type('图片');
  await ed.page.keyboard.press('Enter');
  assert.deepEqual(await lastOf(ed, 'folderCreate'), { type: 'folderCreate', dir: '章节', name: '图片', folder: true });
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('quick open: pinyin, marks, Enter, Escape and name:line', async () => {
  const ed = (await EditorPage.open(browser)).serveEngines();
  await ed.load('x');
  await ed.call('folderIndex', JSON.stringify({ root: kRoot, files: ['a.md', 'deep/x/笔记.md'], done: false, truncated: false }));
  await ed.call('folderIndex', JSON.stringify({ root: kRoot, files: ['deep/y/notes.md'], done: true, truncated: false }));
  await ed.call('quickOpen');
  assert.equal(await ed.page.evaluate(() => document.activeElement.getAttribute('role')), 'combobox');
  assert.ok(await ed.page.$('[role="dialog"][aria-label="快速打开"]'));
  assert.equal((await ed.page.$$('[role="option"]')).length, 3);
  await ed.page.keyboard.type('bj');
  // The pinyin readings come with their engine, on quick open's first use.
  await ed.until(() => document.querySelector('[role="option"] mark')?.textContent === '笔记');
  const options = await ed.page.$$eval('[role="option"]', (els) => els.map((e) => [e.textContent, e.querySelector('mark')?.textContent]));
  assert.deepEqual(options, [['笔记.mddeep/x', '笔记']]);
  await ed.page.keyboard.type(':2');
  await ed.page.keyboard.press('Enter');
  assert.deepEqual(await lastOf(ed, 'folderOpenFile'), { type: 'folderOpenFile', path: 'deep/x/笔记.md', newWindow: false, line: 2 });
  assert.equal(await ed.page.$eval('.quick-open', (e) => e.hidden), true);
  // The native side opens the file and names it: the caret goes to line 2.
  await ed.load('one\ntwo\nthree');
  await ed.call('folderCurrent', quote('deep/x/笔记.md'));
  assert.equal(await ed.page.evaluate(() => window.__view().state.selection.main.head), 4);

  await ed.call('quickOpen');
  await ed.page.keyboard.type('nts');
  await ed.page.keyboard.press('Escape');
  assert.equal(await ed.page.$eval('.quick-open', (e) => e.hidden), true);
  assert.equal((await ed.messages('folderOpenFile')).length, 1);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('link completion: the folder\'s files relative to this document, then its own anchors', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('# 第一章 Intro\n\n');
  await ed.call('folderIndex', JSON.stringify({ root: kRoot, files: ['notes/cur.md', 'notes/a b.md', 'other/z.md'], done: true, truncated: false }));
  await ed.call('folderCurrent', quote('notes/cur.md'));
  await ed.select(await ed.page.evaluate(() => window.__view().state.doc.length));
  await ed.page.keyboard.type('see [x](');
  const labels = () => ed.page.$$eval('.cm-tooltip-autocomplete li', (els) => els.map((e) => e.textContent));
  await ed.until(() => document.querySelectorAll('.cm-tooltip-autocomplete li').length === 2);
  assert.deepEqual((await labels()).sort(), ['../other/z.md', 'a%20b.md']);
  await ed.page.keyboard.type('a');
  await ed.until(() => document.querySelectorAll('.cm-tooltip-autocomplete li').length === 1);
  // Clicked: Enter right after the list opens is ignored on purpose (a fast typist's Enter).
  await ed.page.click('.cm-tooltip-autocomplete li');
  assert.equal(await ed.snapshot(), '# 第一章 Intro\n\nsee [x](a%20b.md)');
  await ed.page.keyboard.press('End');
  await ed.page.keyboard.type(' [y](#');
  await ed.until(() => document.querySelectorAll('.cm-tooltip-autocomplete li').length === 1);
  await ed.page.click('.cm-tooltip-autocomplete li');
  assert.match(await ed.snapshot(), /\[y\]\(#[^)]*intro\)$/);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
