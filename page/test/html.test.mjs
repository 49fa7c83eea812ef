// HTML written into Markdown, drawn in the rendered view through the export's
// sanitiser, and reference-style images.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, documentFolder, launch } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kPng = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAFElEQVR4nGP8z8Dwn4GBgYGJAQoAJAQB/0pU2W0AAAAASUVORK5CYII=', 'base64');

const kDoc = `Press <kbd>Ctrl</kbd> for H<sub>2</sub>O and x<sup>2</sup>, <mark>marked</mark><br>next line <!-- secret -->

<p align="center"><img src="assets/a.png" width="40" height="30" onerror="window.__pwned=1">centred</p>

<details><summary>More</summary>Inside</details>

<!-- a hidden block -->

![logo][l]

[l]: assets/a.png
`;

test('inline tags, HTML blocks, comments and reference images in the rendered view', async () => {
  const ed = await EditorPage.open(browser, { folder: documentFolder({ 'assets/a.png': kPng }) });
  await ed.load(kDoc);
  await ed.select(kDoc.length);
  const visible = () => ed.page.evaluate(() => document.querySelector('.cm-content').innerText);
  await ed.page.waitForFunction(() => document.querySelector('.cm-md-image img')?.naturalWidth > 0);
  let text = await visible();
  for (const gone of ['<kbd>', '</sub>', '<br>', 'secret', 'a hidden block', '<details>', 'align=']) assert.ok(!text.includes(gone), gone);
  assert.equal(await ed.page.textContent('.cm-md-tag-kbd'), 'Ctrl');
  assert.equal(await ed.page.textContent('.cm-md-tag-sub'), '2');
  assert.ok(await ed.page.$('.cm-md-htmlinline br'));
  const img = await ed.page.$eval('.cm-md-htmlblock p[align="center"] img', (el) => [el.getAttribute('width'), el.getAttribute('onerror'), el.naturalWidth]);
  assert.deepEqual(img.slice(0, 2), ['40', null]);
  assert.equal(await ed.page.textContent('.cm-md-htmlblock summary'), 'More');
  assert.equal(await ed.page.evaluate(() => window.__pwned), undefined);

  // Typing on the line brings its tags back for editing; the text is the document.
  await ed.page.click('.cm-md-tag-mark');
  await ed.page.evaluate(() => {
    const view = window.__view();
    view.dispatch({ selection: { anchor: view.state.doc.line(1).to } });
  });
  await ed.page.keyboard.type('!');
  assert.match(await visible(), /<mark>marked<\/mark><br>next line <!-- secret -->!/);
  assert.equal(await ed.snapshot(), kDoc.replace('secret -->', 'secret -->!'));
  // A click on an HTML block shows its source.
  await ed.page.click('.cm-md-htmlblock p');
  assert.match(await visible(), /<p align="center">/);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('a centring element around Markdown blocks centres them, as the export does', async () => {
  const ed = await EditorPage.open(browser);
  const doc = '<div align="center">\n<b>标志</b>\n\n# 居中标题\n\n<div align="center">\n\n内层\n\n</div>\n\n还在中间\n\n</div>\n\n靠左\n';
  await ed.load(doc);
  await ed.select(doc.length);
  const align = (text) => ed.page.evaluate((t) => {
    const line = [...document.querySelectorAll('.cm-line')].find((l) => l.textContent.includes(t));
    return line ? getComputedStyle(line).textAlign : 'missing';
  }, text);
  await ed.until(() => document.querySelectorAll('.cm-md-centred').length > 0);
  for (const text of ['居中标题', '内层', '还在中间']) assert.equal(await align(text), 'center', text);
  assert.notEqual(await align('靠左'), 'center');
  // Typed text stays as typed, and its line stays centred.
  await ed.page.click('text=还在中间');
  await ed.page.keyboard.press('End');
  await ed.page.keyboard.type('！');
  assert.equal(await ed.snapshot(), doc.replace('还在中间', '还在中间！'));
  assert.equal(await align('还在中间！'), 'center');
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
