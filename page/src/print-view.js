// The print view for the PDF export: the rendered document replaces the editor
// on the page while the native side prints, then the editor comes back with its
// selection, scroll position and focus as they were.
import { documentFragment } from './render.js';

const printRoot = document.getElementById('print-root');
let printing = null;

export function isPrinting() {
  return printing != null;
}

/** Leaves the print view without restoring anything (a new document arrived). */
export function endPrint() {
  const saved = printing;
  printing = null;
  document.body.classList.remove('printing');
  printRoot.hidden = true;
  printRoot.replaceChildren();
  return saved;
}

/** Shows the print view; returns its size in CSS pixels. */
export function beginPrint(view) {
  if (!printing) {
    printing = {
      selection: view.state.selection,
      doc: view.state.doc,
      scrollTop: view.scrollDOM.scrollTop,
      scrollLeft: view.scrollDOM.scrollLeft,
      focused: view.hasFocus,
    };
  }
  printRoot.replaceChildren(documentFragment(view.state.doc.toString()));
  printRoot.hidden = false;
  document.body.classList.add('printing');
  const w = Math.ceil(Math.max(printRoot.scrollWidth, printRoot.getBoundingClientRect().width));
  const h = Math.ceil(printRoot.scrollHeight);
  return { w, h };
}

export function finishPrint(view) {
  if (!printing) return;
  const saved = endPrint();
  if (view.state.doc === saved.doc && !view.state.selection.eq(saved.selection)) {
    view.dispatch({ selection: saved.selection });
  }
  const restore = () => {
    view.scrollDOM.scrollTop = saved.scrollTop;
    view.scrollDOM.scrollLeft = saved.scrollLeft;
  };
  restore();
  view.requestMeasure();
  requestAnimationFrame(restore);
  if (saved.focused) view.focus();
}
