// A document's own markup never runs in the page: the usual XSS vectors are
// shown in the rendered view, the source view, rendered tables, the print view,
// the export and copied HTML, and nothing of them executes or survives as markup.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch, quote } from './harness.mjs';

let browser;
let ed;
before(async () => {
  browser = await launch();
  ed = await EditorPage.open(browser);
});
after(async () => { await browser?.close(); });

// Every payload reports to window.__pwned (or posts a message) if it runs.
const hit = (tag) => `window.__pwned.push('${tag}')`;
const kVectors = [
  `<script>${hit('script')}</script>`,
  `<img src=x onerror="${hit('img')}">`,
  `<svg onload="${hit('svg')}"><circle r=1 /></svg>`,
  `<iframe src="javascript:parent.__pwned.push('iframe')"></iframe>`,
  `<iframe srcdoc="<script>parent.__pwned.push('srcdoc')</script>"></iframe>`,
  `[click](javascript:${hit('link')})`,
  `[obfuscated](jav&#x09;ascript:${hit('entity')})`,
  `<javascript:${hit('autolink')}>`,
  `<a href="javascript:${hit('a')}">raw link</a>`,
  `![img](javascript:${hit('imgsrc')})`,
  `<details open ontoggle="${hit('details')}"><summary>s</summary></details>`,
  `<math><mtext><table><mglyph><style><img src=x onerror="${hit('mxss')}">`,
  `<object data="javascript:${hit('object')}"></object><embed src="javascript:${hit('embed')}">`,
  `<meta http-equiv="refresh" content="0;url=javascript:${hit('meta')}">`,
  `<base href="javascript:${hit('base')}//">`,
  `<form action="javascript:${hit('form')}"><button>go</button></form>`,
  `<style>@import 'http://127.0.0.1:9/x.css'; body { display: none }</style>`,
  `<div style="position:fixed;inset:0;background:red" onclick="${hit('div')}">overlay</div>`,
  `<input autofocus onfocus="${hit('input')}">`,
  `<video><source onerror="${hit('video')}"></video>`,
  `<a href="x" onmouseover="${hit('hover')}">hover</a>`,
  `<img src="x" style="x:expression(${hit('expr')})">`,
];
const kTable = [
  '| a | b |',
  '|---|---|',
  `| <img src=x onerror="${hit('cell')}"> | [c](javascript:${hit('cellink')}) |`,
  `| <div style="position:fixed;inset:0">cover</div> | <script>${hit('cellscript')}</script> |`,
].join('\n');
const kDocument = `# Vectors\n\n${kVectors.join('\n\n')}\n\n${kTable}\n\nend\n`;

// No element that can run code or restyle the page, no handler attribute, no
// script address in the parts of the page that show the document.
async function assertInert(selector) {
  const found = await ed.page.evaluate((sel) => {
    const bad = [];
    for (const root of document.querySelectorAll(sel)) {
      for (const el of root.querySelectorAll('*')) {
        const name = el.localName;
        if (['script', 'iframe', 'object', 'embed', 'base', 'meta', 'form', 'style', 'link'].includes(name)) bad.push(name);
        for (const attr of el.attributes) {
          if (/^on/i.test(attr.name)) bad.push(`${name}[${attr.name}]`);
          if (/^(?:href|src|action|data|formaction|xlink:href)$/i.test(attr.name) && /^\s*(?:javascript|vbscript):/i.test(attr.value)) bad.push(`${name}[${attr.name}=${attr.value}]`);
          // Inline styles from the document could cover the editor.
          const fromDocument = root.id === 'print-root' || (el.closest('td, th') && !['td', 'th'].includes(name));
          if (attr.name === 'style' && fromDocument) bad.push(`${name}[style]`);
        }
      }
    }
    return bad;
  }, selector);
  assert.deepEqual(found, [], selector);
}

// Everything the page was asked to load has loaded or failed, so any handler
// that could run has had its turn.
async function settled() {
  await ed.until(() => [...document.images].every((img) => img.complete));
  await ed.page.evaluate(() => new Promise((r) => setTimeout(r, 0)));
}

async function assertNothingRan(where) {
  await settled();
  assert.deepEqual(await ed.page.evaluate(() => window.__pwned), [], where);
  const types = new Set((await ed.messages()).map((m) => m.type));
  for (const t of types) assert.ok(['ready', 'view', 'dirty', 'stats', 'save', 'export', 'clipboardWrite', 'log', 'status', 'openLink'].includes(t), `${where}: ${t}`);
  assert.equal(await ed.page.evaluate(() => getComputedStyle(document.body).display), 'flex', `${where}: page restyled`);
}

test('vectors shown in the rendered view, with tables rendered, do nothing', async () => {
  await ed.page.evaluate(() => { window.__pwned = []; });
  await ed.load(kDocument);
  await ed.select(kDocument.length - 1);
  await ed.page.evaluate(() => window.__view().dispatch({ scrollIntoView: true }));
  await ed.until(() => document.querySelectorAll('.cm-md-table td').length === 4);
  // The table's links and images are there, but inert.
  await ed.page.hover('.cm-md-table');
  await assertInert('#editor');
  await assertNothingRan('rendered view');
  // Walk the caret over every line so each construct is also shown as source.
  await ed.page.evaluate(() => {
    const view = window.__view();
    for (let n = 1; n <= view.state.doc.lines; n++) view.dispatch({ selection: { anchor: view.state.doc.line(n).from } });
  });
  await assertInert('#editor');
  await ed.call('toggleSource');
  await ed.until(() => document.querySelectorAll('.cm-md-table').length === 0);
  await assertInert('#editor');
  await ed.call('toggleSource');
  await assertNothingRan('source view');
  assert.equal(await ed.snapshot(), kDocument);
});

test('Ctrl+click on a script link only hands the address to the native side', async () => {
  await ed.page.evaluate(() => { window.__pwned = []; });
  await ed.clearMessages();
  await ed.load('[click](javascript:window.__pwned.push(1))\n\nother');
  await ed.page.click('.cm-line >> text=other');
  await ed.page.click('.cm-md-link', { modifiers: ['Control'] });
  await ed.page.click('.cm-md-link');
  assert.deepEqual((await ed.messages('openLink')).map((m) => m.href), ['javascript:window.__pwned.push(1)']);
  await assertNothingRan('link click');
});

test('print view, export and copied HTML are sanitised', async () => {
  await ed.page.evaluate(() => { window.__pwned = []; });
  await ed.load(kDocument);
  await ed.run('window.vesk.pdfBegin()');
  await settled();
  await assertInert('#print-root');
  await ed.call('pdfEnd');
  await assertNothingRan('print view');

  await ed.call('exportHtml', quote('<script>alert(1)</script>'));
  const { html } = await ed.waitFor('export');
  const body = html.slice(html.indexOf('<body>'));
  assert.ok(!/<(script|iframe|object|embed|base|meta|form)\b/i.test(body), 'dangerous element in export');
  assert.ok(!/\son\w+\s*=/i.test(body), 'event handler in export');
  assert.ok(!/(href|src|action|data)\s*=\s*"\s*javascript:/i.test(body), 'script address in export');
  assert.ok(html.includes('<title>&#60;script&#62;alert(1)&#60;/script&#62;</title>'));

  await ed.page.evaluate(() => {
    const view = window.__view();
    view.dispatch({ selection: { anchor: 0, head: view.state.doc.length } });
  });
  await ed.call('clipboardCopy', 'false');
  const { html: copied } = await ed.waitFor('clipboardWrite');
  assert.ok(!/<(script|iframe|object|embed|style)\b/i.test(copied));
  assert.ok(!/\son\w+\s*=/i.test(copied));
  await assertNothingRan('export and clipboard');
});

test('the page policy blocks inline handlers even if markup got into the DOM', async () => {
  await ed.page.evaluate(() => {
    window.__pwned = [];
    const div = document.createElement('div');
    div.innerHTML = '<img src="x" onerror="window.__pwned.push(\'csp\')">';
    document.body.append(div);
    const s = document.createElement('script');
    s.textContent = "window.__pwned.push('inline')";
    document.body.append(s);
  });
  await settled();
  assert.deepEqual(await ed.page.evaluate(() => window.__pwned), []);
});
