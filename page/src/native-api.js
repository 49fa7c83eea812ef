// window.vesk: the functions the native side calls (CONTRACT.md lists them).
// Every call is fire and forget for the native side: a failure is reported as a
// page error instead of being thrown into the native script call, and a
// malformed argument is ignored rather than taken as an empty document.
import { EditorSelection } from '@codemirror/state';
import { redo, undo } from '@codemirror/commands';
import { formatChange } from './format.js';
import { historyStep } from './tables.js';
import { openFind, openReplace } from './find-replace.js';
import { clipboardHtml, exportDocument } from './render.js';
import { loadFenceLanguages } from './code-html.js';
import { diagramRenderer } from './diagrams.js';
import { runEngine } from './engines.js';
import { setReaderTheme } from './reader-theme.js';
import { lineCopy } from './paste.js';
import { post, reportError } from './post.js';
import { markNextTextUnsaved, markUnsaved, setSavedText } from './doc-state.js';
import { keepPlaceForNextText, normalizeLineEnds } from './load-document.js';
import { beginPrint, finishPrint } from './print-view.js';

// Copied HTML says it is ours, so that pasting it back takes the Markdown of
// the plain text rather than a conversion of the HTML.
function ownHtml(markdown) {
  return '<meta name="generator" content="Vesk">' + clipboardHtml(markdown);
}

function text(value) {
  return typeof value === 'string' ? value : null;
}

export function nativeApi(view, { load, controls, status }) {
  return {
    setMarkdown(value) {
      const t = text(value);
      if (t != null) load(normalizeLineEnds(t));
    },

    newDocument() {
      load('');
    },

    // The whole text replaced as one undoable edit; the saved baseline stays,
    // so the document is clean again only if this is the saved text.
    replaceText(value) {
      const t = text(value);
      if (t == null) return;
      const next = normalizeLineEnds(t);
      const doc = view.state.doc;
      if (doc.toString() === next) return;
      const at = Math.min(view.state.selection.main.head, next.length);
      view.dispatch({
        changes: { from: 0, to: doc.length, insert: next },
        selection: EditorSelection.cursor(at),
        userEvent: 'input.restore',
        scrollIntoView: true,
      });
      view.focus();
    },

    requestSnapshot() {
      post({ type: 'save', text: view.state.doc.toString() });
    },

    markSaved(value) {
      const t = text(value);
      // The native side writes CR LF back for files that had them; the baseline
      // is compared in the page's LF form.
      if (t != null) setSavedText(view, normalizeLineEnds(t));
    },

    // With `next`, the text handed over next is unsaved (a recovered backup);
    // without, the text shown now is (its file went away).
    markUnsaved(next) {
      if (next === true) markNextTextUnsaved();
      else markUnsaved(view);
    },

    // The text handed over next (the same file changed by another program)
    // keeps this one's caret and scroll position.
    keepPlace() {
      keepPlaceForNextText(view);
    },

    undo() {
      historyStep(view, undo);
    },

    redo() {
      historyStep(view, redo);
    },

    find() {
      openFind(view);
    },

    replace() {
      openReplace(view);
    },

    clipboardCopy(cut) {
      const state = view.state;
      const parts = state.selection.ranges.filter((r) => !r.empty).map((r) => state.sliceDoc(r.from, r.to));
      if (!parts.length) {
        // Nothing selected: the caret's whole lines, as editors do.
        if (!state.doc.length) return;
        const lines = lineCopy(state);
        post({ type: 'clipboardWrite', text: lines.text, html: ownHtml(lines.text) });
        if (cut === true) view.dispatch({ changes: lines.ranges, userEvent: 'delete.cut', scrollIntoView: true });
        return;
      }
      const selected = parts.join('\n');
      post({ type: 'clipboardWrite', text: selected, html: ownHtml(selected) });
      if (cut === true) view.dispatch(state.replaceSelection(''), { userEvent: 'delete.cut', scrollIntoView: true });
    },

    clipboardPaste(value) {
      const t = text(value);
      if (t == null || !t) return;
      view.dispatch(view.state.replaceSelection(normalizeLineEnds(t)), { userEvent: 'input.paste', scrollIntoView: true });
      view.focus();
    },

    toggleToc: () => controls.toggleToc(),
    toggleSource: () => controls.toggleSource(),
    zoomBy: (step) => controls.zoomBy(step),
    resetZoom: () => controls.resetZoom(),
    setTheme: (name) => controls.setTheme(name),

    format(name) {
      const change = formatChange(view.state, text(name));
      if (change) view.dispatch(change);
      view.focus();
    },

    exportHtml(title) {
      // The parsers of the document's code languages load first, so that its
      // code is highlighted like the editor's.
      const doc = view.state.doc.toString();
      const name = text(title) ?? '';
      Promise.all([loadFenceLanguages(doc), diagramRenderer.drawAll(doc)])
        .catch(() => null)
        .then(() => post({ type: 'export', html: exportDocument(name, doc) }))
        .catch((error) => reportError(error, 'exportHtml'));
    },

    insertImage(value) {
      const path = text(value);
      if (!path) return;
      // Paths with spaces or brackets need the <...> form of a destination.
      const dest = /[\s()<>]/.test(path) ? `<${path.replace(/</g, '%3C').replace(/>/g, '%3E')}>` : path;
      view.dispatch(view.state.changeByRange((range) => {
        const alt = view.state.sliceDoc(range.from, range.to).replace(/[[\]\n\\]/g, ' ').trim();
        const insert = `![${alt}](${dest})`;
        return { changes: { from: range.from, to: range.to, insert }, range: EditorSelection.cursor(range.from + insert.length) };
      }), { userEvent: 'input.image', scrollIntoView: true });
      view.focus();
    },

    setReaderTheme(value) {
      // {"name":…,"css":…} as JSON text; an empty text is no theme of the reader's.
      const t = text(value);
      if (t == null) return;
      setReaderTheme(t ? JSON.parse(t) : null);
    },

    runEngine(value) {
      runEngine(text(value) ?? '');
    },

    setStatus(value) {
      status.setText(text(value) ?? '');
    },

    // The native side waits while diagrams are still being drawn for the print.
    pdfPending: () => diagramRenderer.pending(view.state.doc.toString()),
    pdfBegin: () => beginPrint(view),
    pdfEnd: () => finishPrint(view),
  };
}

/** Publishes the calls as window.vesk, frozen, each wrapped so that it never throws. */
export function installNativeApi(api) {
  const vesk = {};
  for (const [name, fn] of Object.entries(api)) {
    vesk[name] = function (...args) {
      try {
        return fn.apply(api, args);
      } catch (error) {
        reportError(error, name);
        return name === 'pdfBegin' ? { w: 0, h: 0 } : undefined;
      }
    };
  }
  Object.freeze(vesk);
  Object.defineProperty(window, 'vesk', { value: vesk, writable: false, configurable: false, enumerable: true });
}
