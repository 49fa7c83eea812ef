// The page's part of a crash backup of a 10 MB document (run: npm run
// bench:backup). The page hands its text over in slices, one task each; the
// figure is the longest task of a backup on the page's main thread, from a
// trace of the renderer, and it must stay under one frame (16.7 ms). The peer
// is a bare CodeMirror 6 editor (bench/bare.js) taking and serialising the
// same text in one go, as a backup without slices would.
import { EditorPage, launch } from '../test/harness.mjs';
import { largeDocument } from '../test/corpus.mjs';
import { openBare } from './bare-page.mjs';

const kSize = 10 * 1024 * 1024;
const kRuns = 7;
const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[s.length >> 1] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};

// Durations (ms) of the timer callbacks on the renderer's main thread that
// ran at least `after` ms into the trace: the backup's slices, which start a
// second after the keystroke.
function timerTasks(events, after) {
  const main = new Set(events.filter((e) => e.ph === 'M' && e.name === 'thread_name' && e.args?.name === 'CrRendererMain')
    .map((e) => `${e.pid}:${e.tid}`));
  const timed = events.filter((e) => e.ts > 0);
  const t0 = Math.min(...timed.map((e) => e.ts));
  return events.filter((e) => e.name === 'TimerFire' && e.ph === 'X' && main.has(`${e.pid}:${e.tid}`) && e.ts - t0 >= after * 1000)
    .map((e) => e.dur / 1000);
}

const browser = await launch();
try {
  const text = largeDocument(kSize);
  const ed = await EditorPage.open(browser);
  await ed.load(text);
  await ed.page.evaluate(() => {
    const view = window.__view();
    view.focus();
    view.dispatch({ selection: { anchor: view.state.doc.length } });
  });
  await ed.page.waitForTimeout(3000);
  const longest = [];
  let slices = 0;
  for (let i = 0; i < kRuns; i++) {
    await ed.clearMessages();
    const events = [];
    ed.cdp.on('Tracing.dataCollected', (d) => events.push(...d.value));
    const traced = new Promise((resolve) => ed.cdp.once('Tracing.tracingComplete', resolve));
    await ed.cdp.send('Tracing.start', { categories: 'toplevel,devtools.timeline', transferMode: 'ReportEvents' });
    await ed.page.keyboard.press('a');
    await ed.page.waitForFunction(() => window.__veskSent.some((m) => m.type === 'backup' && m.last), null, { timeout: 60000 });
    await ed.cdp.send('Tracing.end');
    await traced;
    ed.cdp.removeAllListeners('Tracing.dataCollected');
    const backups = await ed.messages('backup');
    const length = await ed.page.evaluate(() => window.__view().state.doc.length);
    if (backups.map((m) => m.text).join('').length !== length) throw new Error('the backup is not the whole text');
    slices = backups.length;
    longest.push(Math.max(...timerTasks(events, 900)));
  }
  await ed.page.close();

  const bare = await openBare(browser);
  await bare.page.evaluate((t) => window.__view().dispatch({ changes: { from: 0, insert: t } }), text);
  const whole = [];
  for (let i = 0; i < kRuns; i++) {
    whole.push(await bare.page.evaluate(() => {
      const t0 = performance.now();
      JSON.stringify({ type: 'backup', text: window.__view().state.doc.toString() });
      return performance.now() - t0;
    }));
  }
  const page = median(longest);
  const peer = median(whole);
  console.log(`document: ${(text.length / 1048576).toFixed(1)} MiB, ${slices} slices per backup`);
  console.log('figure                                   page      bare     ratio  goal');
  console.log(`longest task of one backup, median  ${page.toFixed(1).padStart(8)}  ${peer.toFixed(1).padStart(8)}  ${(page / peer).toFixed(2).padStart(6)}  <16.7 ms${page >= 16.7 ? '  OVER' : ''}`);
  console.log(`page runs (ms): ${longest.map((x) => x.toFixed(1)).join(', ')}; bare runs: ${whole.map((x) => x.toFixed(1)).join(', ')}`);
} finally {
  await browser.close();
}
