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

const kReadme = `<a href="https://ci.example.org/build"><img src="badge.png" alt="build"></a> <a href="docs/guide.md">Guide</a>

Version <a id="1.95"></a>1.95 notes, and [jump](#1.95).

<table>
  <tr>
    <th>Name</th>
    <td>a sentence long enough
        to be written over two indented lines</td>
  </tr>
</table>

<img src="missing-html.png">

Code \`a => b <!-- c -->\` here.

[1]: https://example.com/docs

end
`;

test('README markup: HTML laid out as HTML, HTML links and anchors, definitions, missing images, code', async () => {
  const ed = await EditorPage.open(browser, { folder: documentFolder({ 'badge.png': kPng }) });
  await ed.load(kReadme);
  await ed.select(kReadme.length);
  await ed.until(() => document.querySelector('.cm-md-htmlblock .cm-md-image-missing'));
  assert.equal(await ed.page.textContent('.cm-md-htmlblock .cm-md-image-missing'), '图片缺失：missing-html.png');
  // The table's cell is one line of text with borders, as the export draws it.
  const cellLayout = await ed.page.$eval('.cm-md-htmlblock td', (td) => {
    const range = document.createRange();
    range.selectNodeContents(td);
    return [getComputedStyle(td.closest('.cm-md-htmlblock')).whiteSpace, getComputedStyle(td).borderTopWidth, range.getClientRects().length];
  });
  assert.deepEqual(cellLayout, ['normal', '1px', 1]);
  // Links written as HTML show their content as links, empty anchors nothing.
  const first = await ed.page.evaluate(() => [...document.querySelectorAll('.cm-line')].slice(0, 3).map((l) => l.innerText).join('\n'));
  for (const gone of ['<a', '</a>']) assert.ok(!first.includes(gone), first);
  await ed.page.click('.cm-md-htmlinline img[alt="build"]', { modifiers: ['Control'] });
  assert.equal((await ed.waitFor('openLink')).href, 'https://ci.example.org/build');
  await ed.page.click('.cm-md-link >> text=Guide', { modifiers: ['Control'] });
  await ed.until(() => window.__veskSent.filter((m) => m.type === 'openLink').length === 2);
  assert.equal((await ed.messages('openLink'))[1].href, 'docs/guide.md');
  await ed.page.click('.cm-md-link >> text=jump', { modifiers: ['Control'] });
  assert.deepEqual((await ed.messages('status')).filter((m) => /找不到/.test(m.message)), []);
  // A reference definition off the caret's line is muted, its address too.
  const colours = await ed.page.evaluate(() => {
    const def = document.querySelector('.cm-md-linkdef');
    return [getComputedStyle(def).color, getComputedStyle(def.querySelector('.tok-url')).color,
      getComputedStyle(document.querySelector('.cm-md-link')).color];
  });
  assert.equal(colours[1], colours[0]);
  assert.notEqual(colours[1], colours[2]);
  // Code is drawn without the font's ligatures, in the view and in the export.
  assert.equal(await ed.page.$eval('.cm-md-code', (el) => getComputedStyle(el).fontVariantLigatures), 'none');
  await ed.call('exportHtml', '"t"');
  const exported = (await ed.waitFor('export')).html;
  const page = await browser.context.newPage();
  await page.setContent(exported);
  assert.equal(await page.$eval('code', (el) => getComputedStyle(el).fontVariantLigatures), 'none');
  await page.close();
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
