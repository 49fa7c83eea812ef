// Front matter, footnotes and callouts: in the rendered view (typed and clicked),
// in the table of contents and in the export, which the PDF's print view shares.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { EditorPage, launch, quote, repoDir } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const filler = Array.from({ length: 50 }, (_, i) => `Paragraph ${i}.`).join('\n\n');
const kDoc = `---
title: 春日
tags: [a, b]
---

# Heading

A claim[^1] and more.

> [!WARNING]
> Mind the step.

${filler}

[^1]: The source of the claim.
`;

test('front matter, footnotes and callouts', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load(kDoc);
  await ed.select(kDoc.indexOf('# Heading') + 2);
  await ed.page.keyboard.type('Top ');
  // Front matter is a quiet block, not a rule and a heading, and not in the contents.
  assert.equal(await ed.page.$$eval('.cm-md-frontmatter', (els) => els.length), 4);
  assert.equal(await ed.page.$$eval('.cm-md-h2', (els) => els.length), 0);
  await ed.call('toggleToc');
  await ed.page.waitForSelector('.toc-item');
  assert.deepEqual(await ed.page.$$eval('.toc-item', (els) => els.map((e) => e.textContent)), ['Top Heading']);
  await ed.call('toggleToc');
  // The callout shows its title instead of the marker; the reference is raised.
  assert.equal(await ed.page.textContent('.cm-md-alert-title'), '警告');
  assert.equal(await ed.page.textContent('.cm-md-fnref'), '1');
  const screens = join(repoDir, 'build', 'page-screens');
  mkdirSync(screens, { recursive: true });
  await ed.page.screenshot({ path: join(screens, 'front-matter-alert-footnote.png') });
  // Ctrl+click on the reference jumps to the definition, and back.
  await ed.page.click('.cm-md-fnref', { modifiers: ['Control'] });
  const def = (await ed.snapshot()).indexOf('[^1]:');
  assert.deepEqual(await ed.selection(), [[def, def]]);
  await ed.page.waitForFunction(() => window.__view().scrollDOM.scrollTop > 300);
  const coords = await ed.page.evaluate((at) => window.__view().coordsAtPos(at + 2), def);
  await ed.page.keyboard.down('Control');
  await ed.page.mouse.click(coords.left, coords.top + 4);
  await ed.page.keyboard.up('Control');
  const ref = (await ed.snapshot()).indexOf('[^1]');
  assert.deepEqual(await ed.selection(), [[ref, ref]]);
  assert.deepEqual(await ed.messages('openLink'), []);

  // The export (and the print view, made from the same HTML) renders all three.
  await ed.call('exportHtml', quote('t'));
  const { html } = await ed.waitFor('export');
  assert.match(html, /<pre class="front-matter"><code>title: 春日\ntags: \[a, b\]\n<\/code><\/pre>/);
  assert.doesNotMatch(html, /<hr>|<h2/);
  assert.match(html, /<blockquote class="markdown-alert markdown-alert-warning">\s*<p class="markdown-alert-title">警告<\/p>\s*<p>Mind the step.<\/p>/);
  assert.match(html, /<sup class="footnote-ref"><a href="#fn1" id="fnref1">\[1\]<\/a><\/sup>/);
  assert.match(html, /<li id="fn1" class="footnote-item"><p>The source of the claim. <a href="#fnref1" class="footnote-backref">/);
  const size = await ed.run('JSON.stringify(window.vesk.pdfBegin())');
  assert.ok(JSON.parse(size).h > 0);
  assert.equal(await ed.page.$$eval('#print-root .markdown-alert-title, #print-root pre.front-matter, #print-root .footnotes', (e) => e.length), 3);
  await ed.call('pdfEnd');
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('math: typed in, typeset as MathML in the view and the export, source on the caret line', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('Intro.\n\n$$\n\\int_0^1 x^2\\,dx = \\frac{1}{3}\n$$\n\nPrices $5 and $6.\n');
  await ed.select(6);
  await ed.page.keyboard.type(' Euler: $e^{i\\pi}+1=0$ done');
  await ed.select((await ed.snapshot()).length);
  await ed.page.waitForSelector('.cm-md-math-block math', { state: 'attached' });
  assert.equal(await ed.page.$$eval('.cm-md-math:not(.cm-md-math-block) math', (m) => m.length), 1);
  assert.match(await ed.page.textContent('.cm-md-math-block annotation'), /\\frac\{1\}\{3\}/);
  // Dollar amounts stay text.
  assert.match(await ed.page.evaluate(() => document.querySelector('.cm-content').innerText), /Prices \$5 and \$6\./);
  await ed.page.screenshot({ path: join(repoDir, 'build', 'page-screens', 'math.png') });
  // The caret on the line shows the source again.
  await ed.page.click('.cm-md-math-block');
  assert.match(await ed.page.evaluate(() => document.querySelector('.cm-content').innerText), /\\int_0\^1/);
  await ed.call('exportHtml', quote('m'));
  const { html } = await ed.waitFor('export');
  assert.equal((html.match(/<math xmlns="http:\/\/www.w3.org\/1998\/Math\/MathML"/g) || []).length, 2);
  assert.match(html, /<div class="math-block"><span class="katex"><math [^>]*display="block"><semantics>/);
  assert.doesNotMatch(html, /url\(|KaTeX_|\$e\^/);
  // The limits of a displayed formula reach past its box: they must not give it
  // a vertical scrollbar, in the exported file nor in the print view. (Headless
  // Chromium hides scrollbars, so we ask whether one would be shown.)
  const scrollbar = (el) => /auto|scroll/.test(getComputedStyle(el).overflowY) && el.scrollHeight > el.clientHeight;
  const file = await browser.context.newPage();
  await file.setContent(html);
  assert.equal(await file.$eval('.math-block', scrollbar), false);
  await file.close();
  await ed.run('window.vesk.pdfBegin()');
  assert.equal(await ed.page.$eval('#print-root .math-block', scrollbar), false);
  await ed.call('pdfEnd');
  assert.deepEqual(ed.errors, []);
  await ed.close();
});

test('export and print view highlight code with the editor colours; anchors and page breaks', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('# Code 示例\n\nSee [below](#code-示例).\n\n```js\nfunction f() { return "s"; } // c\n```\n');
  await ed.select(2);
  await ed.page.keyboard.type('x');
  await ed.call('exportHtml', quote('c'));
  const { html } = await ed.waitFor('export');
  assert.match(html, /<span class="tok-keyword">function<\/span> <span class="tok-def">f<\/span>/);
  assert.match(html, /<span class="tok-string">(?:&quot;|")s(?:&quot;|")<\/span>/);
  assert.match(html, /<h1 id="xcode-示例">/);
  assert.match(html, /\.markdown-body \.tok-keyword \{ color: var\(--doc-tok-keyword\); \}/);
  assert.match(html, /@media print \{[^}]*pre, \.markdown-body tr, \.markdown-body img[^}]*break-inside: avoid/);
  await ed.run('window.vesk.pdfBegin()');
  const colour = await ed.page.$eval('#print-root .tok-keyword', (el) => getComputedStyle(el).color);
  assert.equal(colour, 'rgb(154, 59, 181)');
  await ed.call('pdfEnd');

  // A PDF asked for as soon as a newly opened document's page is idle has its
  // code coloured too, even far below what the editor has shown: the
  // languages load then, not on a timer.
  await ed.load('段落。\n\n'.repeat(2000) + '```python\ndef g():\n    return 1\n```\n');
  await ed.page.evaluate(() => new Promise((r) => requestIdleCallback(r)));
  await ed.run('window.vesk.pdfBegin()');
  assert.ok(await ed.page.$('#print-root .tok-keyword'), 'python keywords coloured in the print view');
  await ed.call('pdfEnd');
  await ed.close();
});
