// The reader's place across a page reload. The native side reloads the page when
// the document's folder changes (the first save of an untitled document, a save
// into another folder) and then hands the same text over again. The page that
// goes away leaves its selection, scroll position and undo history in the
// session's storage, keyed by its page generation; the next page takes them
// back when the text it receives is the text they belong to.
import { EditorSelection, EditorState } from '@codemirror/state';
import { EditorView } from '@codemirror/view';
import { historyField } from '@codemirror/commands';

const kKey = 'vesk.place';

export function pageGeneration(hash = location.hash) {
  const m = /^#g(\d+)$/.exec(hash);
  return m ? Number(m[1]) : 0;
}

// FNV-1a over the UTF-16 units: the text itself may be too large to keep.
export function textHash(text) {
  let h = 0x811c9dc5;
  for (let i = 0; i < text.length; i++) {
    h ^= text.charCodeAt(i);
    h = Math.imul(h, 0x01000193);
  }
  return `${text.length}:${(h >>> 0).toString(16)}`;
}

/** Writes the view's place for the next page; history is dropped when it does not fit. */
export function savePlace(view, generation) {
  const state = view.state;
  const y = view.scrollDOM.scrollTop - documentOffset(view);
  const top = view.lineBlockAtHeight(y);
  const place = {
    generation,
    text: textHash(state.doc.toString()),
    selection: state.selection.toJSON(),
    top: top.from,
    offset: y - top.top,
  };
  try {
    const json = state.toJSON({ history: historyField });
    place.history = json.history;
    sessionStorage.setItem(kKey, JSON.stringify(place));
  } catch {
    try {
      delete place.history;
      sessionStorage.setItem(kKey, JSON.stringify(place));
    } catch {
      // No storage: the next page starts at the top.
    }
  }
}

/** The place left by an earlier page, taken out of the storage. */
export function takePlace(generation) {
  try {
    const place = JSON.parse(sessionStorage.getItem(kKey) || 'null');
    sessionStorage.removeItem(kKey);
    return place && place.generation < generation ? place : null;
  } catch {
    return null;
  }
}

/** A state for `text` with the place's selection and history, or null when the place is for another text. */
export function restoredState(place, text, extensions) {
  if (!place || place.text !== textHash(text)) return null;
  try {
    const json = { doc: text, selection: place.selection };
    if (place.history) json.history = place.history;
    const state = EditorState.fromJSON(json, { extensions }, place.history ? { history: historyField } : undefined);
    return state.selection.main.head <= text.length ? state : null;
  } catch {
    return EditorState.create({ doc: text, extensions, selection: EditorSelection.cursor(0) });
  }
}

/** Scrolls so that the place's top line is where it was. */
export function scrollToPlace(view, place) {
  const pos = Math.min(place.top, view.state.doc.length);
  const offset = Math.max(0, Number(place.offset) || 0);
  view.dispatch({ effects: EditorView.scrollIntoView(pos, { y: 'start', yMargin: 0 }) });
  // Lines above come in at estimated heights and are measured as they show, so
  // the position is corrected until it holds still.
  let rounds = 0;
  const settle = () => view.requestMeasure({
    read: () => view.lineBlockAt(pos).top + documentOffset(view) + offset,
    write: (want) => {
      if (Math.abs(view.scrollDOM.scrollTop - want) < 1 || ++rounds > 6) return;
      view.scrollDOM.scrollTop = want;
      requestAnimationFrame(settle);
    },
  });
  requestAnimationFrame(settle);
}

// Where the document starts inside the scroller.
function documentOffset(view) {
  return view.documentTop - view.scrollDOM.getBoundingClientRect().top + view.scrollDOM.scrollTop;
}
