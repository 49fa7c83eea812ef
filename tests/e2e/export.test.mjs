// Both exports of the real program, checked as files: the HTML file carries
// its images inside and shows them in a browser; the PDF has A4 pages that
// hold the document's text. Page 1 of the PDF and the HTML's rendering are
// kept under build/e2e/ for a look.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

import {
  post, windowsPidFrom,
  chromiumFlags, countPixels, readPng, requireBuild, root, tempDir, removeDir, winPath, withWorld,
  writeSolidPng,
} from './harness.mjs';

const kTimeout = { timeout: 240000 };
const artifacts = path.join(root, 'build/e2e');

before(() => {
  requireBuild();
  fs.mkdirSync(artifacts, { recursive: true });
});

// Reports every status text the page shows as a "JSLOG STATUS …" line.
const watchStatus =
  "new MutationObserver(function(){window.webkit.messageHandlers.vesk.postMessage({type:'log'," +
  "message:'STATUS '+document.getElementById('status-text').textContent})})" +
  ".observe(document.getElementById('status-text'),{childList:true,characterData:true,subtree:true})";

function writeDoc(dir, name, text) {
  fs.mkdirSync(dir, { recursive: true });
  const file = path.join(dir, name);
  fs.writeFileSync(file, text);
  return file;
}

function run(command, args) {
  const result = spawnSync(command, args, { encoding: 'utf8', timeout: 60000 });
  assert.equal(result.status, 0, `${command} ${args.join(' ')}: ${result.stderr}`);
  return result.stdout;
}

const red = (r, g, b) => r > 200 && g < 60 && b < 60;
const blue = (r, g, b) => r < 60 && g < 60 && b > 200;

test('HTML export carries its images and marks the missing one', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  fs.mkdirSync(path.join(folder, 'images'), { recursive: true });
  writeSolidPng(path.join(folder, 'red.png'), 300, 120, [230, 20, 20]);
  writeSolidPng(path.join(folder, 'images', '蓝 色.png'), 300, 120, [20, 20, 230]);
  const doc = writeDoc(folder, 'notes.final.md',
                       '# 导出测试\n\n![红](red.png)\n\n![蓝](<images/蓝 色.png>)\n\n![缺](missing.png)\n');

  // Asked where to put it: only the suggestion is reported.
  let vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'exporthtml', VESK_EXPORT_PROMPT: '1' } });
  await vesk.waitForLine(`NATIVE export suggested=${winPath(path.join(folder, 'notes.final.html'))}`);
  await vesk.stop();
  assert.ok(!fs.existsSync(path.join(folder, 'notes.final.html')));

  const target = path.join(world.dir, 'out', 'report');
  fs.mkdirSync(path.dirname(target));
  vesk = world.vesk({
    args: [winPath(doc)],
    env: { VESK_COMMAND: 'exporthtml', VESK_EXPORT_AS: winPath(target), VESK_EVAL: watchStatus, VESK_KEYLOG: '1' },
  });
  await vesk.waitForLine(`NATIVE export path=${winPath(target)}.html missing=1`);
  await vesk.waitForLine(`JSLOG STATUS 已导出到 ${winPath(target)}.html（1 张图片缺失）`);

  const html = fs.readFileSync(`${target}.html`, 'utf8');
  assert.equal(html.match(/src="data:image\/png;base64,/g)?.length, 2, 'both images inline');
  assert.ok(html.includes('<span class="vesk-img-missing">[图片缺失] missing.png</span>'), 'placeholder');
  assert.ok(!/src="(?!data:)/.test(html), 'no source left that needs a file');

  // Opened far from the document's folder, it still shows both pictures.
  const away = tempDir('vesk-export-view-');
  try {
    const copy = path.join(away, 'report.html');
    fs.copyFileSync(`${target}.html`, copy);
    const shot = path.join(artifacts, 'export-html.png');
    run(process.env.VESK_CHROMIUM || 'chromium', [
      '--headless=new', ...chromiumFlags, `--user-data-dir=${path.join(away, 'profile')}`,
      '--window-size=1000,1400', '--hide-scrollbars', `--screenshot=${shot}`, pathToFileURL(copy).href,
    ]);
    const png = readPng(shot);
    assert.ok(countPixels(png, red) > 20000, 'the red picture is shown');
    assert.ok(countPixels(png, blue) > 20000, 'the blue picture is shown');
  } finally {
    removeDir(away);
  }
}));

test('PDF export prints A4 pages with the document\'s text', kTimeout, () => withWorld(async (world) => {
  const folder = path.join(world.dir, 'doc');
  const sections = Array.from({ length: 6 }, (_, i) =>
    `## 第 ${i + 1} 节 Section ${i + 1}\n\n` + '这一段文字足够长，用来把内容排满页面。Words fill the page too. '.repeat(30) + '\n');
  const doc = writeDoc(folder, 'report.md', '# 年度报告 Annual Report\n\n' + sections.join('\n') +
                       '\n| 列一 | 列二 |\n|---|---|\n| a | b |\n');
  const target = path.join(world.dir, 'out', 'report');
  fs.mkdirSync(path.dirname(target));
  fs.writeFileSync(`${target}.pdf`, 'an older export');

  const vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'exportpdf', VESK_PDF_AS: winPath(target) } });
  const line = await vesk.waitForLine(`NATIVE pdf path=${winPath(target)}.pdf size=`, 120000);
  const pdf = `${target}.pdf`;
  assert.equal(Number(line.split(' size=')[1]), fs.statSync(pdf).size);

  const info = run('pdfinfo', ['-f', '1', '-l', '99', pdf]);
  const sizes = [...info.matchAll(/^Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts/gm)];
  assert.ok(sizes.length >= 2, `several pages:\n${info}`);
  for (const [, w, h] of sizes) {
    assert.ok(Math.abs(Number(w) - 595) <= 1 && Math.abs(Number(h) - 842) <= 1, `A4 page, not ${w} x ${h}`);
  }
  const text = run('pdftotext', ['-layout', pdf, '-']);
  for (const heading of ['年度报告 Annual Report', '第 1 节 Section 1', '第 6 节 Section 6']) {
    assert.ok(text.includes(heading), `"${heading}" in the PDF text`);
  }
  // Only the rendered document, not the editor around it.
  assert.ok(!text.includes('## 第 1 节'), 'no Markdown source in the PDF');

  run('pdftoppm', ['-png', '-r', '60', '-f', '1', '-l', '1', '-singlefile', pdf, path.join(artifacts, 'export-pdf-page1')]);
  const page = readPng(path.join(artifacts, 'export-pdf-page1.png'));
  const ink = countPixels(page, (r, g, b) => r + g + b < 300);
  assert.ok(ink > 2000, `page 1 has text on it (${ink} dark pixels)`);
  // The margins stay white: nothing printed in the outer 0.6 inch.
  const margin = Math.round(0.6 * 60);
  assert.equal(countPixels(page, (r, g, b) => r + g + b < 600, { x1: margin }), 0, 'left margin');
}));

test('a PDF export asked for while one prints is refused, and the first completes', kTimeout, () => withWorld(async (world) => {
  // Long enough that printing takes a while.
  const sections = Array.from({ length: 300 }, (_, i) => `## 第 ${i} 节\n\n${'正文。'.repeat(40)}\n`).join('\n');
  const folder = path.join(world.dir, 'doc');
  const doc = writeDoc(folder, 'long.md', `# 长文\n\n${sections}`);
  const target = path.join(world.dir, 'long');
  const vesk = world.vesk({
    args: [winPath(doc)], env: { VESK_PDF_AS: winPath(target) },
  });
  await vesk.waitForLine('NATIVE ready gen=2');
  post(windowsPidFrom(vesk), 0x8007, 6, { times: 2, gap: 100 });
  await vesk.waitForLine('NATIVE pdf busy');
  await vesk.waitForLine(`NATIVE pdf path=${winPath(target)}.pdf size=`, 120000);
  assert.ok(!vesk.lines().some((l) => l.startsWith('NATIVE pdf failed')), vesk.log());
  assert.match(run('pdfinfo', [`${target}.pdf`]), /Pages:\s+\d+/);
}));

test('an untitled document is saved first, then exported', kTimeout, () => withWorld(async (world) => {
  const saved = path.join(world.dir, 'saved', 'welcome.md');
  fs.mkdirSync(path.dirname(saved));
  const pdf = path.join(world.dir, 'saved', 'welcome.pdf');
  const vesk = world.vesk({
    env: { VESK_COMMAND: 'exportpdf', VESK_SAVE_AS: winPath(saved), VESK_PDF_AS: winPath(pdf) },
  });
  await vesk.waitForLine(`NATIVE save ${winPath(saved)}`);
  await vesk.waitForLine(`NATIVE pdf path=${winPath(pdf)} size=`, 120000);
  assert.ok(fs.readFileSync(saved, 'utf8').length > 0);
  assert.match(run('pdfinfo', [pdf]), /Page size:\s+595\.\d* x 841\.\d* pts/);
}));

test('the source view refuses to export a PDF', kTimeout, () => withWorld(async (world) => {
  const doc = writeDoc(path.join(world.dir, 'doc'), 'a.md', '# 源码\n');
  // Ctrl+E in the page switches to the source view before the command runs.
  const press = "window.dispatchEvent(new KeyboardEvent('keydown', {keyCode: 69, ctrlKey: true, bubbles: true}))";
  const vesk = world.vesk({
    args: [winPath(doc)],
    env: { VESK_EVAL: `${watchStatus}, ${press}`, VESK_KEYLOG: '1', VESK_COMMAND: 'exportpdf',
           VESK_PDF_AS: winPath(path.join(world.dir, 'never.pdf')) },
  });
  await vesk.waitForLine('NATIVE view toc=0 source=1');
  await vesk.waitForLine('JSLOG STATUS 源码模式下不能导出 PDF，先退出源码模式');
  assert.ok(!vesk.lines().some((l) => l.startsWith('NATIVE pdf')));
  assert.ok(!fs.existsSync(path.join(world.dir, 'never.pdf')));
}));

// Front matter, a footnote, an alert, math, highlighted code and a heading
// link, through both exports of the real program.
const richDoc = `---
title: 季度报告
draft: true
---

# 季度报告 Quarterly

先看[方法](#方法-method)，再看脚注。[^src]

> [!WARNING]
> 数据尚未核实 Figures unchecked.

Inline $E=mc^2$ and a block:

$$
\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}
$$

\`\`\`python
def total(n):
    return n * (n + 1) // 2
\`\`\`

## 方法 Method

按年计算 Yearly.

[^src]: 来源是年报 Taken from the annual report.
`;

// The editor's keyword colour (#9a3bb5), as rendered text shows it.
const keyword = (r, g, b) => Math.abs(r - 154) < 40 && Math.abs(g - 59) < 40 && Math.abs(b - 181) < 40;

test('both exports render front matter, footnotes, alerts, math, code colours and anchors', kTimeout, () => withWorld(async (world) => {
  const doc = writeDoc(path.join(world.dir, 'doc'), 'rich.md', richDoc);
  const target = path.join(world.dir, 'out', 'rich');
  fs.mkdirSync(path.dirname(target));

  let vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'exporthtml', VESK_EXPORT_AS: winPath(target) } });
  await vesk.waitForLine(`NATIVE export path=${winPath(target)}.html missing=0`);
  await vesk.stop();
  fs.copyFileSync(`${target}.html`, path.join(artifacts, 'export-rich.html'));
  const html = fs.readFileSync(`${target}.html`, 'utf8');
  const body = html.slice(html.indexOf('<article'));

  // The front matter is a quiet block, not a rule and a heading.
  const top = body.slice(0, body.indexOf('<h1'));
  assert.match(top, /<pre class="front-matter"><code>title: 季度报告\ndraft: true\n<\/code><\/pre>/);
  assert.ok(!/<hr|<h2/.test(top), `no rule, no heading from the front matter:\n${top}`);
  // The alert is a titled callout without its marker.
  assert.match(body, /<blockquote class="markdown-alert markdown-alert-warning">\s*<p class="markdown-alert-title">警告<\/p>\s*<p>数据尚未核实/);
  assert.ok(!body.includes('[!WARNING]'));
  // The footnote reference and its back-reference point at each other.
  const ref = /<sup class="footnote-ref"><a href="#([^"]+)" id="([^"]+)">/.exec(body);
  assert.ok(ref, 'a footnote reference');
  assert.match(body, new RegExp(`<li id="${ref[1]}" class="footnote-item"><p>来源是年报 Taken from the annual report\\. <a href="#${ref[2]}" class="footnote-backref">`));
  // Math is MathML, inline and as a block; no dollar is left.
  assert.match(body, /<math\b[^>]*><semantics><mrow><mi>E<\/mi>/);
  assert.match(body, /<div class="math-block">[^]*?<math\b[^>]*display="block"[^]*?<mfrac>/);
  assert.ok(!body.includes('$'), 'no math source left');
  // Code carries the editor's token classes, and the file styles them.
  assert.match(body, /<code class="language-python"><span class="tok-keyword">def<\/span> <span class="tok-def">total<\/span>/);
  assert.match(html, /\.markdown-body \.tok-keyword \{ color: var\(--doc-tok-keyword\); \}/);
  // The link names the heading's id.
  assert.ok(body.includes('<a href="#方法-method">方法</a>'), 'the link');
  assert.ok(body.includes('<h2 id="方法-method">方法 Method</h2>'), 'the heading it names');

  vesk = world.vesk({ args: [winPath(doc)], env: { VESK_COMMAND: 'exportpdf', VESK_PDF_AS: winPath(target) } });
  await vesk.waitForLine(`NATIVE pdf path=${winPath(target)}.pdf size=`, 120000);
  // Typeset math comes out in math italics: 𝐸 = 𝑚𝑐2.
  const text = run('pdftotext', [`${target}.pdf`, '-']).normalize('NFKC');
  for (const part of ['draft: true', '警告', '数据尚未核实', '来源是年报 Taken from the annual report', 'E = mc2', '∑']) {
    assert.ok(text.includes(part), `"${part}" in the PDF text:\n${text}`);
  }
  for (const source of ['$', '[!WARNING]', '---', '\\frac', '[^src]']) {
    assert.ok(!text.includes(source), `no "${source}" in the PDF text:\n${text}`);
  }
  run('pdftoppm', ['-png', '-r', '100', '-f', '1', '-l', '1', '-singlefile', `${target}.pdf`, path.join(artifacts, 'export-rich-page1')]);
  const inked = countPixels(readPng(path.join(artifacts, 'export-rich-page1.png')), keyword);
  assert.ok(inked > 20, `code keywords in the editor's colour in the PDF (${inked} pixels)`);
}));
