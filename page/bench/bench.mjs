// Timed figures of the editor page in headless Chromium (run: npm run bench).
//
//   load     setMarkdown of a 10 MB document until the first frame is painted
//   typing   keystrokes at the end of that document in the rendered view:
//            main-thread work per key (input handling, editor update and the
//            frame it causes), from a trace of the renderer
//   scroll   top to bottom in 20 steps: the time to the frame of each step
//   heap     the JavaScript heap once the document is loaded
//   dirty    the unsaved-state check per keystroke, at 1 MB and 10 MB
//   diagrams keystrokes between 50 drawn diagrams, next to the same document
//            with the blocks as plain code (VESK_BENCH=diagrams: only this)
//
// The page is measured side by side with a bare CodeMirror 6 Markdown editor
// (bench/bare.js) on the same document in the same browser, and the ratios
// page / bare are printed.
import { Text, EditorState } from '@codemirror/state';
import { DirtyTracker } from '../src/dirty.js';
import { EditorPage, launch } from '../test/harness.mjs';
import { largeDocument, sampleDocument } from '../test/corpus.mjs';
import { openBare } from './bare-page.mjs';

const kSize = 10 * 1024 * 1024;
const kKeys = 120;
const kLoads = 15;

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[s.length >> 1] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const pct = (xs, p) => [...xs].sort((a, b) => a - b)[Math.min(xs.length - 1, Math.floor(xs.length * p))];
const ms = (x) => `${x.toFixed(1)} ms`;

// Main-thread work of each keystroke, from a trace of the renderer: the tasks
// run between one key-down and the next (the key's input handling, the editor's
// update and the frame it causes: style, layout, paint).
function keystrokeWork(events) {
  // The renderer main thread that received the key events.
  const isKey = (e) => e.name === 'EventDispatch' && e.args?.data?.type === 'keydown';
  const first = events.find(isKey);
  if (!first) throw new Error('no key events in the trace');
  const onMain = events.filter((e) => e.pid === first.pid && e.tid === first.tid);
  const keys = onMain.filter(isKey).map((e) => e.ts).sort((a, b) => a - b);
  const tasks = onMain.filter((e) => e.ph === 'X' && e.name === 'RunTask');
  const work = [];
  for (let i = 0; i + 1 < keys.length; i++) {
    let busy = 0;
    for (const t of tasks) if (t.ts + t.dur > keys[i] && t.ts < keys[i + 1]) busy += Math.min(t.ts + t.dur, keys[i + 1]) - Math.max(t.ts, keys[i]);
    work.push(busy / 1000);
  }
  return work;
}

// The same position in both editors: the end of the line at the middle of the text.
function middleOf(text) {
  const t = text.replace(/\r\n?/g, '\n');
  const nl = t.indexOf('\n', t.length >> 1);
  return nl < 0 ? t.length : nl;
}

// Types kKeys characters at `where` ('end' or a position) in the rendered view.
async function typeAt(ed, where) {
  const before = await ed.page.evaluate((w) => {
    const view = window.__view();
    view.focus();
    view.dispatch({ selection: { anchor: w === 'end' ? view.state.doc.length : w }, scrollIntoView: true });
    return view.state.doc.length;
  }, where);
  await settle(ed);
  const events = [];
  ed.cdp.on('Tracing.dataCollected', (d) => events.push(...d.value));
  const traced = new Promise((resolve) => ed.cdp.once('Tracing.tracingComplete', resolve));
  await ed.cdp.send('Tracing.start', { categories: 'toplevel,devtools.timeline,disabled-by-default-devtools.timeline', transferMode: 'ReportEvents' });
  for (let i = 0; i < kKeys; i++) {
    const ch = 'abcdefghijklmnopqrstuvwxyz '[i % 27];
    await ed.page.keyboard.press(ch === ' ' ? 'Space' : ch);
    // A pause with nothing else scheduled, so that only the key's own work
    // falls between two key-downs.
    await ed.page.waitForTimeout(50);
  }
  await ed.cdp.send('Tracing.end');
  await traced;
  ed.cdp.removeAllListeners('Tracing.dataCollected');
  const after = await ed.page.evaluate(() => window.__view().state.doc.length);
  if (after !== before + kKeys) throw new Error('typing did not reach the document');
  return keystrokeWork(events);
}

// Background work (parsing, counts) settles before a measurement starts.
function settle(ed) {
  return ed.page.waitForTimeout(3000);
}

// setMarkdown until a frame has been produced with the new document.
async function loadTimes(ed, runs) {
  // A page in a background tab gets no frames: the measured one is in front.
  await ed.page.bringToFront();
  const loads = [];
  for (let i = 0; i < runs; i++) {
    await ed.page.evaluate(() => window.vesk.newDocument());
    await ed.frame();
    // Each load starts from an idle page, as an open does, so that neither
    // editor pays in its measured load for the background work of the load
    // before (both pages may share one renderer thread). A forced collection
    // here would not be like use: it shrinks the engine's heap limits, and the
    // load then pays for a full collection.
    await settle(ed);
    loads.push(await ed.page.evaluate(() => new Promise((resolve) => {
      // A fresh string each time, as the native side hands over: the engine
      // caches the line split of a string it has seen before.
      const text = JSON.parse(window.__bigJson);
      const t0 = performance.now();
      window.vesk.setMarkdown(text);
      requestAnimationFrame(() => {
        const ch = new MessageChannel();
        ch.port1.onmessage = () => resolve(performance.now() - t0);
        ch.port2.postMessage(0);
      });
    })));
  }
  return loads;
}

// The JavaScript heap once the document is loaded and the page is idle, after a
// full collection (the text handed to setMarkdown is released first).
async function heapAfterLoad(ed) {
  await ed.page.evaluate(() => { delete window.__big; delete window.__bigJson; });
  await settle(ed);
  await ed.cdp.send('HeapProfiler.collectGarbage');
  const { usedSize } = await ed.cdp.send('Runtime.getHeapUsage');
  return usedSize;
}

// Scrolls from top to bottom in 20 steps; each step's time from setting the
// scroll position to the end of the frame that shows it.
async function scrollFrames(ed) {
  await ed.page.evaluate(() => { window.__view().scrollDOM.scrollTop = 0; });
  await settle(ed);
  const frames = [];
  for (let i = 1; i <= 20; i++) {
    frames.push(await ed.page.evaluate((step) => new Promise((resolve) => {
      const s = window.__view().scrollDOM;
      const t0 = performance.now();
      s.scrollTop = ((s.scrollHeight - s.clientHeight) * step) / 20;
      requestAnimationFrame(() => {
        const ch = new MessageChannel();
        ch.port1.onmessage = () => resolve(performance.now() - t0);
        ch.port2.postMessage(0);
      });
    }), i));
    await ed.page.waitForTimeout(150);
  }
  return frames;
}

async function editorFigures(ed, text, loads) {
  await ed.page.bringToFront();
  const heap = await heapAfterLoad(ed);
  const scroll = await scrollFrames(ed);
  const end = await typeAt(ed, 'end');
  const middle = await typeAt(ed, middleOf(text));
  return { loads, heap, scroll, end, middle };
}

async function pageFigures() {
  const browser = await launch();
  try {
    const text = largeDocument(kSize);
    const bareEd = await openBare(browser);
    const ed = await EditorPage.open(browser);
    // Loads alternate between the two editors, so that the machine's load at
    // any moment falls on both alike; the first load of each warms up and
    // does not count.
    const loads = { bare: [], vesk: [] };
    for (const e of [bareEd, ed]) await e.page.evaluate((t) => { window.__big = t; window.__bigJson = JSON.stringify(t); }, text);
    for (let i = 0; i <= kLoads; i++) {
      const b = await loadTimes(bareEd, 1);
      const v = await loadTimes(ed, 1);
      if (i > 0) {
        loads.bare.push(...b);
        loads.vesk.push(...v);
      }
    }
    const bare = await editorFigures(bareEd, text, loads.bare);
    await bareEd.page.close();
    const vesk = await editorFigures(ed, text, loads.vesk);
    // The same keys in a small document, for comparison.
    await ed.call('setMarkdown', JSON.stringify(sampleDocument()));
    const small = await typeAt(ed, 'end');
    return { bare, vesk, small, chars: text.length };
  } finally {
    await browser.close();
  }
}

function dirtyFigures() {
  const rows = [];
  for (const size of [1 << 20, 10 << 20]) {
    const line = 'The quick brown fox 跳过了懒狗 jumps over the lazy dog.\n';
    const doc = Text.of(line.repeat(Math.ceil(size / line.length)).split('\n'));
    let state = EditorState.create({ doc });
    const tracker = new DirtyTracker(state.doc);
    const n = 20000;
    const t0 = performance.now();
    for (let i = 0; i < n; i++) {
      // Type a character at the end, then delete it: the state flips between
      // dirty (other length) and clean (same length, compared around the edit).
      const end = state.doc.length;
      const tr = i % 2 === 0
        ? state.update({ changes: { from: end, insert: 'x' } })
        : state.update({ changes: { from: end - 1, to: end } });
      tracker.apply(tr.changes, tr.state.doc);
      state = tr.state;
    }
    const per = ((performance.now() - t0) / n) * 1000;
    if (tracker.dirty) throw new Error('dirty after reverting every edit');
    rows.push({ size, per });
  }
  return rows;
}

// A document of 50 diagrams among paragraphs; `lang` "text" makes them code.
function diagramDocument(lang) {
  const parts = [];
  for (let i = 0; i < 50; i++) {
    parts.push(`## Part ${i}\n\nSome prose about part ${i}, with **bold** and \`code\`.\n`);
    parts.push(`\`\`\`${lang}\ngraph TD\n  A${i}[Start ${i}] --> B${i}{Check}\n  B${i} -->|yes| C${i}[Done]\n  B${i} -->|no| A${i}\n\`\`\`\n`);
  }
  return parts.join('\n');
}

async function diagramFigures() {
  const browser = await launch();
  try {
    const figures = {};
    for (const lang of ['mermaid', 'text']) {
      const ed = (await EditorPage.open(browser)).serveEngines();
      const doc = diagramDocument(lang);
      await ed.load(doc);
      // Every diagram drawn (the page says so to the PDF export) before timing.
      await ed.page.waitForFunction(() => !window.vesk.pdfPending(), undefined, { timeout: 600000, polling: 500 });
      figures[lang] = await typeAt(ed, doc.indexOf('Some prose about part 25') + 10);
      figures[`${lang}Drawn`] = await ed.page.evaluate(() => document.querySelectorAll('.cm-md-diagram img').length);
      await ed.close();
    }
    return figures;
  } finally {
    await browser.close();
  }
}

function printDiagramFigures(d) {
  console.log(`typing between 50 diagrams (${d.mermaidDrawn} drawn in view) against the same blocks as code, per key:`);
  console.log(`  median ${ms(median(d.mermaid))} vs ${ms(median(d.text))} (ratio ${(median(d.mermaid) / median(d.text)).toFixed(2)}), ` +
    `p90 ${ms(pct(d.mermaid, 0.9))} vs ${ms(pct(d.text, 0.9))} (ratio ${(pct(d.mermaid, 0.9) / pct(d.text, 0.9)).toFixed(2)})`);
}

if (process.env.VESK_BENCH === 'diagrams') {
  printDiagramFigures(await diagramFigures());
  process.exit(0);
}

const dirty = dirtyFigures();
const page = await pageFigures();
const rows = [
  ['setMarkdown to first paint, median', median(page.vesk.loads), median(page.bare.loads), 1.25],
  ['per key at the end, p90', pct(page.vesk.end, 0.9), pct(page.bare.end, 0.9), 1.25],
  ['per key in the middle, p90', pct(page.vesk.middle, 0.9), pct(page.bare.middle, 0.9), 1.25],
  ['scroll in 20 steps, worst frame', Math.max(...page.vesk.scroll), Math.max(...page.bare.scroll), 1.5],
  ['JS heap after load (MiB)', page.vesk.heap / 1048576, page.bare.heap / 1048576, 1.5],
];
console.log(`document: ${(page.chars / 1048576).toFixed(1)} MiB of real Markdown (${page.chars} characters)`);
console.log('figure                               page      bare      ratio  goal');
for (const [name, v, b, goal] of rows) {
  const r = v / b;
  console.log(`${name.padEnd(36)} ${v.toFixed(1).padStart(8)}  ${b.toFixed(1).padStart(8)}  ${r.toFixed(2).padStart(5)}  ≤${goal}${r > goal ? '  OVER' : ''}`);
}
console.log(`load runs (ms): page ${page.vesk.loads.map((x) => x.toFixed(0)).join(', ')}; bare ${page.bare.loads.map((x) => x.toFixed(0)).join(', ')}`);
console.log(`per key at the end, median: page ${ms(median(page.vesk.end))}, bare ${ms(median(page.bare.end))}; in the middle: page ${ms(median(page.vesk.middle))}, bare ${ms(median(page.bare.middle))}`);
console.log(`the same keys in a ${(sampleDocument().length / 1024).toFixed(0)} KiB document: median ${ms(median(page.small))}, p90 ${ms(pct(page.small, 0.9))}`);
for (const row of dirty) {
  console.log(`dirty tracking per keystroke at ${(row.size / 1048576).toFixed(0)} MiB: ${row.per.toFixed(2)} µs`);
}
printDiagramFigures(await diagramFigures());
