// Tables edited as tables: typing into the rendered cells, moving with Tab and
// Enter, the row and column commands. Every edit changes only its cells and is
// one step of the editor's history.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { EditorPage, launch, quote, repoDir } from './harness.mjs';
import { extrasDocument } from './corpus.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const docText = (ed) => ed.page.evaluate(() => window.__view().state.doc.toString());
const cell = (ed, row, col) => ed.page.locator(`.cm-md-table [data-row="${row}"][data-col="${col}"]`);

const kTable = 'Intro\n\n| 名称 | Qty |\n|:--|--:|\n| 苹果 | 3 |\n| pear | 12 |\n\nAfter\n';

test('typing in cells, Tab between them and Enter on the last row', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load(kTable);
  await ed.select(0);
  await cell(ed, 1, 1).click();
  await ed.page.keyboard.press('End');
  await ed.page.keyboard.type('0');
  assert.equal(await docText(ed), kTable.replace('| 3 |', '| 30 |'));
  // Tab goes to the next cell; Shift+Tab back; a pipe typed stays in the cell.
  await ed.page.keyboard.press('Tab');
  assert.equal(await ed.page.evaluate(() => document.activeElement.dataset.row + document.activeElement.dataset.col), '20');
  await ed.page.keyboard.type('s|x');
  assert.match(await docText(ed), /\| pears\\\|x \| 12 \|/);
  await ed.page.keyboard.press('Shift+Tab');
  await ed.page.keyboard.type('!');
  assert.match(await docText(ed), /\| 30! \|/);
  // Enter on the last row adds a row and puts the caret in its first cell.
  await cell(ed, 2, 1).click();
  await ed.page.keyboard.press('Enter');
  await ed.page.keyboard.type('李子');
  await ed.page.keyboard.press('Tab');
  await ed.page.keyboard.type('7');
  const text = await docText(ed);
  assert.match(text, /\| 12 \|\n\| 李子 \| 7 \|\n\nAfter\n$/);
  // The untouched lines are byte for byte what they were.
  assert.ok(text.startsWith('Intro\n\n| 名称 | Qty |\n|:--|--:|\n'));
  // Undo takes back one edit at a time, and the focused cell follows.
  await ed.page.keyboard.press('Control+z');
  assert.match(await docText(ed), /\| 李子 \|\s+\|\n/);
  await ed.page.keyboard.press('Control+z');
  assert.match(await docText(ed), /\| 12 \|\n\|   \|   \|\n/);
  await ed.page.keyboard.press('Control+z');
  assert.match(await docText(ed), /\| 12 \|\n\nAfter/);
  mkdirSync(join(repoDir, 'build', 'page-screens'), { recursive: true });
  await cell(ed, 1, 0).click();
  await ed.page.screenshot({ path: join(repoDir, 'build', 'page-screens', 'table-editing.png') });
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('row and column commands, alignment and the explicit format', async () => {
  const ed = await EditorPage.open(browser);
  const base = '| a | b |\n|---|---|\n| 1 | 2 |\n';
  await ed.load(base);
  await cell(ed, 1, 0).click();
  await ed.page.keyboard.press('Alt+Shift+ArrowRight');
  await ed.page.keyboard.type('x');
  assert.equal(await docText(ed), '| a |   | b |\n|---| --- |---|\n| 1 | x | 2 |\n');
  await ed.page.keyboard.press('Alt+Shift+Backspace');
  assert.equal(await docText(ed), base);
  await ed.page.keyboard.press('Control+Enter');
  assert.equal(await docText(ed), base + '|   |   |\n');
  await ed.page.keyboard.press('Control+Shift+Backspace');
  assert.equal(await docText(ed), base);
  // Alignment from the context menu changes only the delimiter cell.
  await cell(ed, 1, 1).click({ button: 'right' });
  await ed.page.getByText('居中', { exact: true }).click();
  assert.equal(await docText(ed), '| a | b |\n|---|:-:|\n| 1 | 2 |\n');
  await cell(ed, 0, 0).click({ button: 'right' });
  await ed.page.getByText('格式化表格', { exact: true }).click();
  assert.equal(await docText(ed), '| a   |  b  |\n| --- | :-: |\n| 1   |  2  |\n');
  // Outside a table the table items are not offered, and Tab indents as before.
  await ed.load('plain\n');
  await ed.select(5);
  await ed.page.mouse.click(300, 30, { button: 'right' });
  assert.equal(await ed.page.getByText('格式化表格', { exact: true }).isVisible(), false);
  await ed.page.keyboard.press('Escape');
  await ed.close();
});

test('in the table text (caret moved in by keys) Tab selects the next cell', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('| a | b |\n|---|---|\n| 1 | 2 |');
  await ed.select(2);
  await ed.page.keyboard.press('Tab');
  assert.deepEqual(await ed.selection(), [[6, 7]]);
  await ed.page.keyboard.press('Tab');
  await ed.page.keyboard.type('one');
  assert.equal(await docText(ed), '| a | b |\n|---|---|\n| one | 2 |');
  await ed.close();
});

test('a table edited cell by cell and back is byte for byte the document', async () => {
  const ed = await EditorPage.open(browser);
  const doc = extrasDocument();
  await ed.load(doc);
  await ed.select(0);
  const cells = ed.page.locator('.cm-md-table [data-row]');
  // The tables are drawn once the parser has reached them.
  await ed.until(() => document.querySelectorAll('.cm-md-table [data-row]').length >= 4 * 3);
  assert.equal(await cells.count(), 4 * 3);
  // Found afresh for each click: a late parse on a busy machine may redraw the table.
  for (let i = 0; i < 4 * 3; i++) {
    await cells.nth(i).click();
    await ed.page.keyboard.type('é');
    await ed.page.keyboard.press('Backspace');
  }
  // Every cell changed once and was changed back; nothing else moved. The row
  // that was short keeps the cell typing added to it.
  assert.equal(await ed.snapshot(), doc.replace('|pear|12|\n', '|pear|12|  |\n'));
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
