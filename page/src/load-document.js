// A document handed over by the native side becomes a new editor state. The
// place an earlier page left (selection, scroll, history) applies to the first
// document this page receives if that is the same text.
import { EditorSelection, EditorState } from '@codemirror/state';
import { setFocusMode, setTypewriter } from './aids.js';
import { syncFocus } from './focus.js';
import { loadFenceLanguages } from './code-html.js';
import { diagramRenderer } from './diagrams.js';
import { endPrint, isPrinting } from './print-view.js';
import { post } from './post.js';
import { prefs } from './view-prefs.js';
import { pageGeneration, restoredState, savePlace, scrollToPlace, takePlace } from './restore.js';

const kLargeDocument = 1000000;

export function normalizeLineEnds(text) {
  return text.indexOf('\r') < 0 ? text : text.replace(/\r\n?/g, '\n');
}

let keptPlace = null;

/** The next text loaded keeps the caret and scroll position shown now. */
export function keepPlaceForNextText(view) {
  const { anchor, head } = view.state.selection.main;
  keptPlace = { anchor, head, scrollTop: view.scrollDOM.scrollTop };
}

/** Returns load(text); `extensions()` gives a fresh state's extensions. */
export function documentLoader(view, extensions) {
  const generation = pageGeneration();
  let earlierPlace = takePlace(generation);
  window.addEventListener('pagehide', () => savePlace(view, generation));

  return function load(text) {
    const t0 = performance.now();
    if (isPrinting()) endPrint();
    const place = earlierPlace;
    earlierPlace = null;
    const restored = restoredState(place, text, extensions());
    view.setState(restored || EditorState.create({ doc: text, extensions: extensions() }));
    syncFocus(view);
    view.scrollDOM.scrollTop = 0;
    if (prefs.focusMode || prefs.typewriter) {
      view.dispatch({ effects: [setFocusMode.of(!!prefs.focusMode), setTypewriter.of(!!prefs.typewriter)] });
    }
    if (restored) scrollToPlace(view, place);
    const kept = keptPlace;
    keptPlace = null;
    if (kept && !restored) {
      const at = (pos) => Math.min(pos, view.state.doc.length);
      view.dispatch({ selection: EditorSelection.single(at(kept.anchor), at(kept.head)) });
      view.scrollDOM.scrollTop = kept.scrollTop;
    }
    // The print view is made synchronously: the code languages it highlights
    // are loaded ahead, as soon as the page is idle after the first paint.
    requestIdleCallback(() => {
      loadFenceLanguages(text).catch(() => null);
      diagramRenderer.wantAll(text);
    }, { timeout: 1500 });
    if (text.length > kLargeDocument) {
      post({ type: 'log', message: `setMarkdown ${text.length} chars in ${Math.round(performance.now() - t0)} ms` });
    }
  };
}
