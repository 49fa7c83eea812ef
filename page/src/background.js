// Work over the whole document (counting, finding headings) runs in short slices
// between frames, so a ten-megabyte document never blocks typing.
import { countDelta, countLines } from './stats.js';
import { scanHeadings, withAnchors } from './headings.js';

const kSliceMs = 8;

function later(fn, ms = 0) {
  return setTimeout(fn, ms);
}

/**
 * Word and CJK counts of the document. A new document is counted in slices;
 * edits adjust the counts by recounting the lines they touched. Edits made while
 * a slice count is under way are collected and applied when it ends.
 */
export class Counter {
  constructor(onCounts) {
    this.onCounts = onCounts;
    this.counts = null;
    this.job = null;
    this.notify = null;
  }

  reset(doc) {
    this.counts = null;
    this.pending = null;
    if (this.job) clearTimeout(this.job);
    const job = { doc, line: 1, words: 0, cjk: 0 };
    const step = () => {
      const t0 = performance.now();
      while (job.line <= doc.lines && performance.now() - t0 < kSliceMs) {
        const last = Math.min(doc.lines, job.line + 2000);
        const c = countLines(doc, job.line, last);
        job.words += c.words;
        job.cjk += c.cjk;
        job.line = last + 1;
      }
      if (job.line <= doc.lines) {
        this.job = later(step);
        return;
      }
      this.job = null;
      this.counts = { words: job.words, cjk: job.cjk };
      if (this.pending) {
        this.add(countDelta(doc, this.pending.doc, this.pending.changes));
        this.pending = null;
      }
      this.schedule(0);
    };
    // Small documents are counted at once; large ones after the first paint.
    if (doc.length < 200000) step();
    else this.job = later(step, 50);
  }

  /** Drops the work under way (the document went away). */
  stop() {
    if (this.job) clearTimeout(this.job);
    if (this.notify) clearTimeout(this.notify);
    this.job = this.notify = null;
    this.counts = this.pending = null;
  }

  change(tr) {
    if (this.counts) {
      this.add(countDelta(tr.startState.doc, tr.state.doc, tr.changes));
      this.schedule(tr.state.doc.length > 1000000 ? 1000 : 300);
    } else if (this.job) {
      this.pending = this.pending
        ? { doc: tr.state.doc, changes: this.pending.changes.compose(tr.changes) }
        : { doc: tr.state.doc, changes: tr.changes };
    }
  }

  add(delta) {
    this.counts.words += delta.words;
    this.counts.cjk += delta.cjk;
  }

  // Counts are reported after a pause in typing, never on every keystroke.
  schedule(ms) {
    if (this.notify) clearTimeout(this.notify);
    this.notify = later(() => {
      this.notify = null;
      if (this.counts) this.onCounts({ ...this.counts });
    }, ms);
  }
}

/** Headings of the document, found in slices after a pause in editing. */
export class HeadingIndex {
  constructor(onHeadings) {
    this.onHeadings = onHeadings;
    this.headings = null;
    this.timer = null;
    this.doc = null;
  }

  invalidate(doc, delay) {
    this.doc = doc;
    if (this.timer) clearTimeout(this.timer);
    this.timer = later(() => this.run(doc), delay);
  }

  stop() {
    if (this.timer) clearTimeout(this.timer);
    this.timer = null;
    this.doc = null;
  }

  run(doc) {
    const state = {};
    const out = [];
    const step = () => {
      if (this.doc !== doc) return; // superseded by a newer edit
      const t0 = performance.now();
      while (performance.now() - t0 < kSliceMs) {
        if (!scanHeadings(doc, state, out, 5000)) {
          this.timer = null;
          this.headings = withAnchors(out);
          this.onHeadings(this.headings);
          return;
        }
      }
      this.timer = later(step);
    };
    step();
  }

  /** Headings now, scanning synchronously when the index is out of date. */
  current(doc) {
    if (this.doc !== doc || this.timer || !this.headings) {
      if (this.timer) clearTimeout(this.timer);
      this.timer = null;
      this.doc = doc;
      const out = [];
      scanHeadings(doc, {}, out);
      this.headings = withAnchors(out);
    }
    return this.headings;
  }
}
