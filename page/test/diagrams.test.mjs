// Diagrams: drawn in the rendered view after the page goes idle, from the engine
// the page asks the native side for; the source comes back under the caret, a
// broken diagram shows its source and the message, and the export carries the
// sanitised SVG inline, with no script.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch, quote } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kKinds = {
  flowchart: 'graph TD\n  A[开始] --> B{Choice}\n  B -->|yes| C[Done]\n  click A href "javascript:alert(1)"\n  click C call alert()',
  sequence: 'sequenceDiagram\n  Alice->>Bob: Hello\n  Bob-->>Alice: Hi',
  class: 'classDiagram\n  Animal <|-- Duck\n  Animal : +int age',
  state: 'stateDiagram-v2\n  [*] --> Still\n  Still --> Moving\n  Moving --> [*]',
  gantt: 'gantt\n  dateFormat YYYY-MM-DD\n  section A\n  Task one :a1, 2024-01-01, 3d',
  pie: 'pie title Pets\n  "Dogs" : 3\n  "Cats" : 2',
  mindmap: 'mindmap\n  root((Root))\n    One\n    Two',
};
const fence = (body) => '```mermaid\n' + body + '\n```';
const kBroken = 'graph TD\n  A --> (((';
const kHuge = 'graph TD\n' + Array.from({ length: 3000 }, (_, i) => `  N${i} --> N${i + 1}`).join('\n');

test('diagrams draw idle, keep their source editable, fail visibly and export inline', async () => {
  const ed = (await EditorPage.open(browser)).serveEngines();
  const doc = ['# Diagrams', ...Object.values(kKinds).map(fence), fence(kBroken), fence(kHuge), 'The end.'].join('\n\n') + '\n';
  await ed.load(doc);
  const count = Object.keys(kKinds).length;
  await ed.until((n) => document.querySelectorAll('.cm-md-diagram img').length >= n, count, 180000);
  assert.deepEqual(await ed.messages('loadEngine'), [{ type: 'loadEngine', name: 'diagrams', served: true }]);
  // The broken one shows its source and what is wrong with it.
  const broken = await ed.until(() => {
    const el = document.querySelector('.cm-md-diagram-error');
    return el && { source: el.querySelector('pre').textContent, message: el.querySelector('.cm-md-diagram-message').textContent };
  }, undefined, 120000);
  assert.equal(broken.source, kBroken);
  assert.match(broken.message, /^图表有误：./);
  // The huge one stays code.
  await ed.page.evaluate((at) => {
    const view = window.__view();
    view.dispatch({ effects: view.constructor.scrollIntoView(at, { y: 'center' }) });
  }, doc.indexOf('N0 --> N1'));
  await ed.until(() => [...document.querySelectorAll('.cm-line')].some((l) => l.textContent.includes('N0 --> N1')));
  await ed.page.evaluate(() => { window.__view().scrollDOM.scrollTop = 0; });

  // The images are sanitised SVG: no links, handlers or HTML labels.
  const svgs = await ed.page.$$eval('.cm-md-diagram img', (imgs) => imgs.map((i) => decodeURIComponent(i.src.split(',')[1])));
  for (const svg of svgs) {
    assert.doesNotMatch(svg, /<a[\s>]|javascript:|onclick|<foreignObject|<script/i);
  }

  // A click on a diagram puts the caret in it: the source comes back.
  await ed.page.click('.cm-md-diagram img');
  await ed.until(() => [...document.querySelectorAll('.cm-line')].some((l) => l.textContent.includes('A[开始] --> B{Choice}')));
  assert.equal(await ed.snapshot(), doc);
  // Edited with keys, then left: drawn again from the new source.
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.keyboard.press('End');
  await ed.page.keyboard.type(' --> Z[新节点]');
  await ed.page.keyboard.press('Control+Home');
  await ed.until(() => [...document.querySelectorAll('.cm-md-diagram img')].some((i) => decodeURIComponent(i.src).includes('新节点')), undefined, 120000);
  // Typing on a busy machine may fall into several history steps.
  for (let i = 0; i < 20 && (await ed.snapshot()) !== doc; i++) await ed.call('undo');
  assert.equal(await ed.snapshot(), doc);

  // Dark theme: drawn again in dark colours.
  const before = svgs[1];
  await ed.call('setTheme', quote('dark'));
  await ed.until((old) => {
    const imgs = document.querySelectorAll('.cm-md-diagram img');
    return imgs.length > 1 && decodeURIComponent(imgs[1].src.split(',')[1]) !== old;
  }, before, 120000);

  await ed.call('exportHtml', quote('图'));
  const { html } = await ed.waitFor('export', 120000);
  assert.equal((html.match(/<svg[\s>]/g) || []).length, count);
  assert.doesNotMatch(html, /<script|javascript:|<foreignObject|onclick/i);
  assert.match(html, /图表有误：/);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
