// Crash backups of unsaved text: about a second after typing stops, and at
// least every ten seconds while it goes on, the page hands its whole text to
// the native side, which keeps it on disk until the document is saved.
// Nothing is sent while the text has not changed since the last backup, and
// nothing at all while the document is clean.
import { ViewPlugin } from '@codemirror/view';
import { isDirty } from './doc-state.js';

export const kBackupIdleMs = 1000;
export const kBackupMaxMs = 10000;

export class BackupSchedule {
  // `send` posts the backup; `now` and the timer functions are the page's.
  constructor(send, { idleMs = kBackupIdleMs, maxMs = kBackupMaxMs, now = () => Date.now() } = {}) {
    this.send = send;
    this.idleMs = idleMs;
    this.maxMs = maxMs;
    this.now = now;
    this.timer = null;
    this.since = null; // when the oldest change not yet backed up was made
  }

  get pending() {
    return this.since !== null;
  }

  /** An edit was made; `dirty` is the document's unsaved state after it. */
  changed(dirty) {
    if (!dirty) {
      this.cancel();
      return;
    }
    const now = this.now();
    if (this.since === null) this.since = now;
    clearTimeout(this.timer);
    const wait = Math.max(0, Math.min(this.idleMs, this.since + this.maxMs - now));
    this.timer = setTimeout(() => this.flush(), wait);
  }

  /** Sends the pending backup now, if there is one. */
  flush() {
    clearTimeout(this.timer);
    this.timer = null;
    if (this.since === null) return;
    this.since = null;
    this.send();
  }

  /** The text is clean or replaced: nothing is owed. */
  cancel() {
    clearTimeout(this.timer);
    this.timer = null;
    this.since = null;
  }
}

// UTF-16 units per backup message: a slice is taken and serialised well
// inside one frame even on a slow machine.
export const kBackupSlice = 256 * 1024;

// Posts the immutable text `doc` as backup messages {id, part, last, text},
// one slice per task. A slice never ends between the two halves of a
// surrogate pair. Starting another backup stops the slices of this one.
export class BackupSender {
  constructor(post, { slice = kBackupSlice, later = (fn) => setTimeout(fn, 0) } = {}) {
    this.post = post;
    this.slice = slice;
    this.later = later;
    this.id = 0;
  }

  send(doc) {
    const id = ++this.id;
    let from = 0;
    let part = 0;
    const step = () => {
      if (id !== this.id) return;
      let to = Math.min(doc.length, from + this.slice);
      let text = doc.sliceString(from, to);
      const last = text.charCodeAt(text.length - 1);
      if (to < doc.length && last >= 0xd800 && last <= 0xdbff) {
        text = text.slice(0, -1);
        to--;
      }
      const end = to >= doc.length;
      this.post({ type: 'backup', id, part, last: end, text });
      from = to;
      part++;
      if (!end) this.later(step);
    };
    step();
  }

  /** Slices still to come are not sent. */
  stop() {
    this.id++;
  }
}

/**
 * The crash backups of a view, posted through `post`. Put after the unsaved
 * state among the extensions, so an edit's unsaved state is known here. A
 * new document starts afresh; `cancel()` drops what is owed (the text was
 * saved).
 */
export function crashBackups(post) {
  const sender = new BackupSender(post);
  const schedule = new BackupSchedule(() => sender.send(current.state.doc));
  let current = null;
  const cancel = () => {
    schedule.cancel();
    sender.stop();
  };
  const plugin = ViewPlugin.fromClass(class {
    constructor(view) {
      current = view;
      cancel();
      // A recovered text is unsaved before anyone types.
      if (isDirty(view)) schedule.changed(true);
    }

    update(update) {
      if (update.docChanged) schedule.changed(isDirty(update.view));
    }
  });
  return { extension: plugin, cancel };
}
