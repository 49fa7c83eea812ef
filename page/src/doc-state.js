// What the page knows about the document beyond its text: whether it is unsaved,
// its word and CJK counts (and the selection's), and its headings. Each is a view
// plugin, so a new document (view.setState) starts them afresh by itself.
import { Facet } from '@codemirror/state';
import { ViewPlugin } from '@codemirror/view';
import { DirtyTracker } from './dirty.js';
import { Counter, HeadingIndex } from './background.js';
import { selectionCounts } from './aids.js';

const kLargeDocument = 1000000;

const first = (values) => values[0] || null;

// ---------------------------------------------------------------- unsaved state

const unsavedListener = Facet.define({ combine: first });
// What the native side was last told, per view: it outlives the states.
const reported = new WeakMap();

// Set by the native side just before it hands over a recovered text, which
// is unsaved from the start.
let nextTextUnsaved = false;

const unsavedPlugin = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.tracker = new DirtyTracker(view.state.doc);
    if (nextTextUnsaved && !view.state.facet(awaitingDocument)) {
      nextTextUnsaved = false;
      this.tracker.forget();
    }
    this.report();
  }

  update(update) {
    for (const tr of update.transactions) if (tr.docChanged) this.tracker.apply(tr.changes, tr.state.doc);
    if (update.docChanged) this.report();
  }

  report() {
    const dirty = this.tracker.dirty;
    if ((reported.get(this.view) || false) === dirty) return;
    reported.set(this.view, dirty);
    const onChange = this.view.state.facet(unsavedListener);
    if (onChange) onChange(dirty);
  }
});

/** Tracks whether the document differs from its baseline; `onChange(dirty)` hears each change. */
export function unsavedState(onChange) {
  return [unsavedListener.of(onChange), unsavedPlugin];
}

export function isDirty(view) {
  const p = view.plugin(unsavedPlugin);
  return p ? p.tracker.dirty : false;
}

/** The next document handed over is unsaved (a recovered backup). */
export function markNextTextUnsaved() {
  nextTextUnsaved = true;
}

/** The text shown is unsaved until the next baseline (its file went away). */
export function markUnsaved(view) {
  const p = view.plugin(unsavedPlugin);
  if (!p) return;
  p.tracker.forget();
  p.report();
}

/** The text that was saved (line ends as the page keeps them) becomes the baseline. */
export function setSavedText(view, text) {
  const p = view.plugin(unsavedPlugin);
  if (!p) return;
  p.tracker.setBaseline(text, view.state.doc);
  p.report();
}

// ---------------------------------------------------------------- counts

/**
 * Set in the page's first state, before the native side has handed over a
 * document: nothing is counted for it.
 */
export const awaitingDocument = Facet.define({ combine: (values) => values.some(Boolean) });

const countsConfig = Facet.define({ combine: first });

const countsPlugin = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    const config = view.state.facet(countsConfig);
    this.config = config;
    this.counter = new Counter((counts) => config.onCounts(counts));
    this.selectionTimer = 0;
    if (!view.state.facet(awaitingDocument)) this.counter.reset(view.state.doc);
  }

  update(update) {
    if (update.selectionSet || update.docChanged) {
      // The selection's counts, after the selection settles.
      clearTimeout(this.selectionTimer);
      this.selectionTimer = setTimeout(() => this.config.onSelection(selectionCounts(this.view.state)), 120);
    }
    for (const tr of update.transactions) if (tr.docChanged) this.counter.change(tr);
  }

  destroy() {
    clearTimeout(this.selectionTimer);
    this.counter.stop();
  }
});

/** Word and CJK counts, reported after a pause in typing; the selection's counts too. */
export function documentCounts({ onCounts, onSelection }) {
  return [countsConfig.of({ onCounts, onSelection }), countsPlugin];
}

// ---------------------------------------------------------------- headings

const headingsConfig = Facet.define({ combine: first });

const headingsPlugin = ViewPlugin.fromClass(class {
  constructor(view) {
    this.config = view.state.facet(headingsConfig);
    this.index = new HeadingIndex((list) => this.config.onHeadings(list));
    if (this.config.wanted()) this.index.invalidate(view.state.doc, 0);
  }

  update(update) {
    if (!update.docChanged || !this.config.wanted()) return;
    const doc = update.state.doc;
    this.index.invalidate(doc, doc.length > kLargeDocument ? 1500 : 400);
  }

  destroy() {
    this.index.stop();
  }
});

/**
 * The document's headings, found after a pause in editing while `wanted()`
 * (the table of contents is shown); `onHeadings(list)` receives each new list.
 */
export function headingIndex({ onHeadings, wanted }) {
  return [headingsConfig.of({ onHeadings, wanted }), headingsPlugin];
}

/** The headings now, scanned at once when the index is behind. */
export function currentHeadings(view) {
  const p = view.plugin(headingsPlugin);
  return p ? p.index.current(view.state.doc) : [];
}
