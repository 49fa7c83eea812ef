// Unsaved-state tracking that stays cheap on multi-megabyte documents.
//
// The baseline is kept as an immutable Text. We remember how long a prefix and a
// suffix of the current document are known to equal the baseline; an edit can only
// shrink them, to its own start and end. A document of another length is dirty
// without looking at it; one of the same length only needs the stretch between the
// known prefix and suffix compared, and that comparison stops at the first
// difference and leaves the bounds tightened for the next keystroke. Typing in one
// place therefore costs a few characters of comparison, not a pass over the text.
import { Text } from '@codemirror/state';

const kChunk = 2048;

export class DirtyTracker {
  constructor(doc) {
    this.reset(doc);
  }

  get dirty() {
    return this._dirty;
  }

  /** No text is clean until the next baseline (the file is gone, or the text was recovered). */
  forget() {
    this.forgotten = true;
    this._dirty = true;
  }

  /** The document itself becomes the clean baseline. */
  reset(doc) {
    this.forgotten = false;
    this.base = doc;
    this.pre = doc.length;
    this.suf = doc.length;
    this._dirty = false;
  }

  /** A text (from a save) becomes the baseline while `doc` is shown. */
  setBaseline(text, doc) {
    this.forgotten = false;
    if (text.length === doc.length && doc.sliceString(0) === text) {
      this.reset(doc);
      return false;
    }
    this.base = Text.of(text.split('\n'));
    this.pre = 0;
    this.suf = 0;
    return this.check(doc);
  }

  /** Account for one transaction's changes; returns the new dirty state. */
  apply(changes, newDoc) {
    const oldLen = changes.length;
    changes.iterChangedRanges((fromA, toA) => {
      if (fromA < this.pre) this.pre = fromA;
      if (oldLen - toA < this.suf) this.suf = oldLen - toA;
    });
    return this.check(newDoc);
  }

  check(doc) {
    if (this.forgotten) return (this._dirty = true);
    const base = this.base;
    const n = doc.length;
    if (n !== base.length) return (this._dirty = true);
    const pre = Math.min(this.pre, n);
    const end = n - Math.min(this.suf, n);
    if (pre >= end) {
      this.pre = this.suf = n;
      return (this._dirty = false);
    }
    const first = firstDifference(doc, base, pre, end);
    if (first === end) {
      this.pre = this.suf = n;
      return (this._dirty = false);
    }
    this.pre = first;
    this.suf = n - lastDifference(doc, base, first, end);
    return (this._dirty = true);
  }
}

function firstDifference(a, b, from, to) {
  for (let pos = from; pos < to; pos += kChunk) {
    const end = Math.min(to, pos + kChunk);
    const x = a.sliceString(pos, end);
    const y = b.sliceString(pos, end);
    if (x !== y) {
      let i = 0;
      while (x.charCodeAt(i) === y.charCodeAt(i)) i++;
      return pos + i;
    }
  }
  return to;
}

// Position just after the last difference in [from, to); `from` is known to differ.
function lastDifference(a, b, from, to) {
  for (let pos = to; pos > from; pos -= kChunk) {
    const start = Math.max(from, pos - kChunk);
    const x = a.sliceString(start, pos);
    const y = b.sliceString(start, pos);
    if (x !== y) {
      let i = x.length;
      while (x.charCodeAt(i - 1) === y.charCodeAt(i - 1)) i--;
      return start + i;
    }
  }
  return from + 1;
}
