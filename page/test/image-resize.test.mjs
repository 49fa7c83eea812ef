// Images resized by dragging the handle a hovered image shows, with the mouse:
// the first drag of a Markdown image turns only it into an <img> tag with the
// width, later drags and <img> tags change only the width, one undo step each.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, documentFolder, launch } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kPicture = '<svg xmlns="http://www.w3.org/2000/svg" width="200" height="100"><rect width="200" height="100" fill="#4a8"/></svg>';

async function dragHandle(ed, selector, dx) {
  const img = await ed.page.waitForSelector(selector);
  await ed.until((sel) => { const i = document.querySelector(sel); return i && i.complete && i.naturalWidth > 0; }, selector);
  const box = await img.boundingBox();
  await ed.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  const handle = await ed.page.waitForSelector('.vesk-image-handle:not([hidden])');
  const h = await handle.boundingBox();
  const x = h.x + h.width / 2;
  const y = h.y + h.height / 2;
  await ed.page.mouse.move(x, y);
  await ed.page.mouse.down();
  await ed.page.mouse.move(x + dx / 2, y, { steps: 3 });
  await ed.page.mouse.move(x + dx, y, { steps: 3 });
  await ed.page.mouse.up();
  return Math.round(box.width + dx);
}

test('dragging an image handle sets its width in the text, one undo step per drag', async () => {
  const folder = documentFolder({ 'pic.svg': kPicture });
  const ed = await EditorPage.open(browser, { folder });
  const tail = `<img src="pic.svg" alt="x" class="keep" data-a='1'/>\n\nEnd ![other](pic.svg)\n`;
  await ed.load(`Intro\n\n![A "cat"](pic.svg "Tom")\n\n${tail}`);

  const first = await dragHandle(ed, '.cm-md-image img', -100);
  assert.equal(first, 100);
  await ed.until(() => document.querySelectorAll('.cm-md-htmlblock img[width]').length === 1);
  assert.equal(await ed.snapshot(), `Intro\n\n<img src="pic.svg" alt="A &quot;cat&quot;" title="Tom" width="100">\n\n${tail}`);

  // Again: only the width changes.
  const second = await dragHandle(ed, '.cm-md-htmlblock img[width]', 30);
  await ed.until((w) => document.querySelector('.cm-md-htmlblock img[width]')?.getAttribute('width') === String(w), second);
  const resized = `Intro\n\n<img src="pic.svg" alt="A &quot;cat&quot;" title="Tom" width="${second}">\n\n`;
  assert.equal(await ed.snapshot(), resized + tail);

  // An <img> of the author's keeps its other attributes.
  const third = await dragHandle(ed, '.cm-md-htmlinline img', -50);
  assert.equal(await ed.snapshot(), `${resized}<img src="pic.svg" alt="x" class="keep" data-a='1' width="${third}"/>\n\nEnd ![other](pic.svg)\n`);

  // Each drag is one step of the history.
  await ed.call('undo');
  assert.equal(await ed.snapshot(), resized + tail);
  await ed.call('undo');
  await ed.call('undo');
  assert.equal(await ed.snapshot(), `Intro\n\n![A "cat"](pic.svg "Tom")\n\n${tail}`);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
