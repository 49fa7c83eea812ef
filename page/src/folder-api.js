// The native side's calls for the folder panel and quick open, and the line
// a quick-open "name:line" asked for, applied once that file is shown (the
// page may be reloaded in between, so it waits in the session's storage).
import { EditorSelection } from '@codemirror/state';
import { EditorView } from '@codemirror/view';

const kPendingKey = 'vesk.pendingLine';

export function rememberLine(path, line) {
  try {
    if (line > 0) sessionStorage.setItem(kPendingKey, JSON.stringify({ path, line }));
    else sessionStorage.removeItem(kPendingKey);
  } catch {
    // no storage: the file opens at its top
  }
}

function takeLine(path) {
  try {
    const pending = JSON.parse(sessionStorage.getItem(kPendingKey) || 'null');
    if (!pending || pending.path !== path) return 0;
    sessionStorage.removeItem(kPendingKey);
    return Number(pending.line) || 0;
  } catch {
    return 0;
  }
}

export function goToLine(view, line) {
  const doc = view.state.doc;
  const n = Math.max(1, Math.min(doc.lines, Math.trunc(line)));
  const pos = doc.line(n).from;
  view.dispatch({ selection: EditorSelection.cursor(pos), effects: EditorView.scrollIntoView(pos, { y: 'center' }) });
  view.focus();
}

export function folderApi(view, { panel, quick }) {
  return {
    setFilesPanel(layout) {
      panel.setLayout(layout && typeof layout === 'object' ? layout : {});
      view.requestMeasure();
    },
    folderEntries(listing) {
      if (listing && typeof listing === 'object') panel.setEntries(listing);
    },
    folderIndex(chunk) {
      if (chunk && typeof chunk === 'object') panel.setIndex(chunk);
    },
    folderCurrent(path) {
      const rel = typeof path === 'string' ? path : '';
      panel.setCurrent(rel);
      const line = rel ? takeLine(rel) : 0;
      if (line) goToLine(view, line);
    },
    folderRefresh() {
      panel.refresh();
    },
    quickOpen() {
      quick.show();
    },
  };
}
