// A page reload (the document saved into another folder) keeps the reader's
// caret, selection, scroll position and undo history.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { EditorPage, assemble, documentFolder, launch, quote } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

// The native side's reload: the page assembled for the new folder, with the next generation.
async function reloadInto(ed, generation) {
  const folder = documentFolder();
  const file = join(folder, `.vesk-preview-${process.pid}.html`);
  writeFileSync(file, assemble({ folderUrl: pathToFileURL(folder).href }));
  await ed.page.goto(pathToFileURL(file).href + `#g${generation}`);
  await ed.waitFor('ready');
}

test('caret, selection, scroll and undo survive the reload; another text starts fresh', async () => {
  const ed = await EditorPage.open(browser);
  const lines = Array.from({ length: 400 }, (_, i) => `Line ${i} 文字`).join('\n');
  await ed.load(lines);
  await ed.select(lines.indexOf('Line 300'));
  // One input, so one undo step however slowly a busy machine delivers keys.
  await ed.page.keyboard.insertText('新 ');
  await ed.page.keyboard.press('Shift+ArrowRight');
  await ed.page.keyboard.press('Shift+ArrowRight');
  const selection = await ed.selection();
  // The line at the top of the view, as the reader sees it.
  const topLine = () => ed.page.evaluate(() => {
    const view = window.__view();
    return view.state.doc.lineAt(view.lineBlockAtHeight(view.scrollDOM.scrollTop + 2).from).number;
  });
  const top = await topLine();
  assert.ok(top > 100);
  const text = await ed.snapshot();

  await reloadInto(ed, 2);
  await ed.call('setMarkdown', quote(text));
  assert.deepEqual(await ed.selection(), selection);
  await ed.page.waitForFunction((want) => {
    const view = window.__view();
    return view.state.doc.lineAt(view.lineBlockAtHeight(view.scrollDOM.scrollTop + 2).from).number === want;
  }, top, { timeout: 10000 });
  await ed.page.evaluate(() => window.__view().focus());
  await ed.page.keyboard.press('Control+z');
  assert.equal(await ed.snapshot(), lines);
  assert.equal((await ed.messages('dirty')).at(-1).value, true);

  // The place is used once, and only for the text it belongs to.
  await reloadInto(ed, 3);
  await ed.call('setMarkdown', quote('other text'));
  assert.deepEqual(await ed.selection(), [[0, 0]]);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
