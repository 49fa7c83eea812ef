// The reader's theme: its CSS checked like content (what was dropped named in
// the status), applied to the view and the print view, carried by the export.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { EditorPage, launch, quote, repoDir } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kCss = `@import url("https://example.com/x.css");
body.reader-theme { --bg: rgb(1, 2, 3); behavior: url(x.htc); }
.markdown-body { color: rgb(4, 5, 6); background: url("data:image/png;base64,iVBORw0KGgo=") ; }
.markdown-body h1 { background-image: url(http://example.com/a.png); width: expression(alert(1)); color: rgb(7, 8, 9); }
@media print { .markdown-body p { background: image-set("file:///c:/x.png" 1x); } }
@font-face { font-family: X; src: url(file:///c:/fonts/x.ttf); }
.markdown-body blockquote::after { content: "</style><script>alert(1)</script>"; }`;

const setTheme = (ed, theme) => ed.call('setReaderTheme', quote(theme ? JSON.stringify(theme) : ''));

test('a reader theme is checked, applied to the view and the print view, and exported', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('# Title\n\nText.\n');
  await setTheme(ed, { name: 'mine', css: kCss });
  const status = await ed.waitFor('status');
  assert.equal(status.message, '主题“mine”中已去掉：@import、url(…)、expression、behavior');
  assert.equal(await ed.page.evaluate(() => getComputedStyle(document.body).getPropertyValue('--bg').trim()), 'rgb(1, 2, 3)');
  const print = await ed.run('JSON.stringify(window.vesk.pdfBegin())');
  assert.ok(JSON.parse(print).h > 0);
  assert.equal(await ed.page.evaluate(() => getComputedStyle(document.querySelector('#print-root h1')).color), 'rgb(7, 8, 9)');
  await ed.call('pdfEnd');

  await ed.call('exportHtml', quote('t'));
  const { html } = await ed.waitFor('export');
  const style = html.slice(html.indexOf('<style>'), html.indexOf('</style>'));
  assert.match(style, /rgb\(7, 8, 9\)/);
  assert.match(style, /data:image\/png/);
  assert.doesNotMatch(style, /@import|example\.com|expression|behavior|file:|image-set/);
  assert.equal(html.match(/<\/style>/g).length, 1);
  assert.doesNotMatch(html, /<script/);
  assert.match(html, /<body class="reader-theme">/);

  // The built-in paper theme passes its own check untouched; none is the light theme again.
  await ed.clearMessages();
  await setTheme(ed, { name: '纸张', css: readFileSync(join(repoDir, 'web', 'themes', 'paper.css'), 'utf8') });
  assert.match(await ed.page.evaluate(() => getComputedStyle(document.querySelector('.cm-scroller')).fontFamily), /serif/);
  await setTheme(ed, null);
  assert.doesNotMatch(await ed.page.evaluate(() => getComputedStyle(document.querySelector('.cm-scroller')).fontFamily), /Serif/);
  assert.deepEqual(await ed.messages('status'), []);
  await ed.call('exportHtml', quote('t'));
  assert.match((await ed.waitFor('export')).html, /follows-system/);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
