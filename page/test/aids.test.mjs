// Writing aids: focus and typewriter modes, the selection's counts, spell
// checking for prose only, folding and the collapsible contents.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const body = Array.from({ length: 40 }, (_, i) => `Line ${i} of the text.`).join('\n\n');
const kDoc = `# One\n\nFirst para\nstill first.\n\n## Sub\n\nUse \`code\` and [a link](x.md).\n\n${body}\n\n# Two\n\nEnd.\n`;

test('focus mode, typewriter mode and the selection counts', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load(kDoc);
  await ed.select(kDoc.indexOf('still'));
  await ed.page.keyboard.press('F8');
  assert.deepEqual(await ed.page.$$eval('.cm-focus-current', (els) => els.map((e) => e.textContent)), ['First para', 'still first.']);
  // The dimming fades in: wait for it rather than read it mid-transition.
  await ed.page.waitForFunction(() => [...document.querySelectorAll('.cm-line')]
    .some((el) => el.textContent === 'Line 0 of the text.' && Number(getComputedStyle(el).opacity) < 0.5));
  await ed.page.keyboard.press('F8');
  assert.equal(await ed.page.$$eval('.cm-focus-current', (els) => els.length), 0);
  await ed.page.keyboard.press('F9');
  await ed.select(kDoc.indexOf('Line 30'));
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.waitForFunction(() => {
    const view = window.__view();
    const caret = view.coordsAtPos(view.state.selection.main.head);
    const box = view.scrollDOM.getBoundingClientRect();
    return caret && Math.abs((caret.top + caret.bottom) / 2 - (box.top + box.bottom) / 2) < 40;
  }, null, { timeout: 10000 });
  await ed.page.keyboard.press('F9');
  await ed.page.keyboard.press('Shift+ArrowDown');
  await ed.page.waitForFunction(() => /选中 0 字 \d+ 词/.test(document.querySelector('#status-info').textContent));
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('spell checking only for prose; folding; the contents collapse by level', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load(kDoc);
  await ed.select(kDoc.length);
  assert.equal(await ed.page.getAttribute('.cm-content', 'spellcheck'), 'true');
  assert.equal(await ed.page.$eval('.cm-md-code', (el) => el.closest('[spellcheck="false"]') !== null), true);
  assert.equal(await ed.page.$eval('.cm-md-link', (el) => el.getAttribute('spellcheck')), 'false');
  await ed.call('toggleSource');
  assert.equal(await ed.page.getAttribute('.cm-content', 'spellcheck'), 'false');
  await ed.call('toggleSource');
  // A heading folds its section; the text stays as it was.
  await ed.select(3);
  await ed.page.keyboard.press('Control+Shift+BracketLeft');
  await ed.page.waitForSelector('.cm-foldPlaceholder');
  assert.equal(await ed.page.isVisible('.cm-line >> text=Line 3 of the text.'), false);
  assert.equal(await ed.snapshot(), kDoc);
  await ed.call('toggleToc');
  await ed.page.waitForSelector('.toc-toggle');
  await ed.page.click('.toc-item[data-index="0"] .toc-toggle');
  assert.deepEqual(await ed.page.$$eval('.toc-item:not([hidden])', (els) => els.map((e) => e.textContent)), ['One', 'Two']);
  await ed.page.click('.toc-item[data-index="0"] .toc-toggle');
  assert.equal(await ed.page.$$eval('.toc-item:not([hidden])', (els) => els.length), 3);
  await ed.close();
});
