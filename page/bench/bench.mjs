// Timed figures of the editor page in headless Chromium (run: npm run bench).
//
//   load     setMarkdown of a 10 MB document until the first frame is painted
//   typing   keystrokes at the end of that document in the rendered view:
//            main-thread work per key (input handling, editor update and the
//            frame it causes), from a trace of the renderer
//   dirty    the unsaved-state check per keystroke, at 1 MB and 10 MB
import { Text, EditorState } from '@codemirror/state';
import { DirtyTracker } from '../src/dirty.js';
import { EditorPage, launch } from '../test/harness.mjs';
import { largeDocument, sampleDocument } from '../test/corpus.mjs';

const kSize = 10 * 1024 * 1024;
const kKeys = 120;

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

// Types kKeys characters at the end of the document in the rendered view.
async function typeAtEnd(ed, text) {
  await ed.page.evaluate(() => {
    const view = window.__view();
    view.focus();
    view.dispatch({ selection: { anchor: view.state.doc.length }, scrollIntoView: true });
  });
  await ed.page.waitForTimeout(3000); // let the background parse and counts settle
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
  const work = keystrokeWork(events);
  ed.cdp.removeAllListeners('Tracing.dataCollected');
  const snapshot = await ed.snapshot();
  if (snapshot.length !== text.replace(/\r\n?/g, '\n').length + kKeys) throw new Error('typing did not reach the document');
  return work;
}

async function pageFigures() {
  const browser = await launch();
  try {
    const text = largeDocument(kSize);
    const ed = await EditorPage.open(browser);
    await ed.page.evaluate((t) => { window.__big = t; }, text);

    // Load: setMarkdown until a frame has been produced with the new document.
    const loads = [];
    for (let i = 0; i < 5; i++) {
      await ed.call('newDocument');
      await ed.frame();
      loads.push(await ed.page.evaluate(() => new Promise((resolve) => {
        const t0 = performance.now();
        window.vesk.setMarkdown(window.__big);
        requestAnimationFrame(() => {
          const ch = new MessageChannel();
          ch.port1.onmessage = () => resolve(performance.now() - t0);
          ch.port2.postMessage(0);
        });
      })));
    }

    const work = await typeAtEnd(ed, text);
    // The same keys in a small document, for comparison.
    await ed.call('setMarkdown', JSON.stringify(sampleDocument()));
    const small = await typeAtEnd(ed, sampleDocument());
    return { loads, work, small, chars: text.length };
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

const dirty = dirtyFigures();
const page = await pageFigures();
console.log(`document: ${(page.chars / 1048576).toFixed(1)} MiB of real Markdown (${page.chars} characters)`);
console.log(`setMarkdown to first paint: median ${ms(median(page.loads))} (runs: ${page.loads.map((x) => x.toFixed(0)).join(', ')} ms)`);
console.log(`typing at the end, rendered view, ${page.work.length} keys:`);
console.log(`  main-thread work per key (input, update, frame): median ${ms(median(page.work))}, p90 ${ms(pct(page.work, 0.9))}, max ${ms(Math.max(...page.work))}`);
console.log(`  the same in a ${(sampleDocument().length / 1024).toFixed(0)} KiB document: median ${ms(median(page.small))}, p90 ${ms(pct(page.small, 0.9))}`);
for (const row of dirty) {
  console.log(`dirty tracking per keystroke at ${(row.size / 1048576).toFixed(0)} MiB: ${row.per.toFixed(2)} µs`);
}
