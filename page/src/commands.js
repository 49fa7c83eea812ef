// The page's own commands, each `(view) => boolean` like CodeMirror's, and the
// keymaps that bind them. The format commands live in format.js (the native
// menus call them by name), the table commands in tables.js.
import { EditorSelection, Prec } from '@codemirror/state';
import { keymap } from '@codemirror/view';
import { foldCode, unfoldAll } from '@codemirror/language';
import { modeState, setFocusMode, setTypewriter } from './aids.js';
import { kTableKeys, tableCommand } from './tables.js';
import { post } from './post.js';
import { prefs, savePrefs } from './view-prefs.js';

// Focus mode (F8) and typewriter mode (F9) stay on for the session.
export function toggleFocusMode(view) {
  prefs.focusMode = !modeState(view.state).focus;
  view.dispatch({ effects: setFocusMode.of(prefs.focusMode) });
  post({ type: 'status', message: prefs.focusMode ? '专注模式：开' : '专注模式：关' });
  savePrefs();
  return true;
}

export function toggleTypewriterMode(view) {
  prefs.typewriter = !modeState(view.state).typewriter;
  view.dispatch({ effects: setTypewriter.of(prefs.typewriter) });
  post({ type: 'status', message: prefs.typewriter ? '打字机模式：开' : '打字机模式：关' });
  savePrefs();
  return true;
}

export function selectWholeDocument(view) {
  view.focus();
  view.dispatch({ selection: EditorSelection.single(0, view.state.doc.length) });
  return true;
}

export function foldHere(view) {
  view.focus();
  return foldCode(view);
}

export function unfoldEverything(view) {
  view.focus();
  return unfoldAll(view);
}

export const writingKeymap = [
  { key: 'F8', run: toggleFocusMode },
  { key: 'F9', run: toggleTypewriterMode },
];

// Inside a table, Tab moves between cells and the table keys act on it;
// elsewhere the keys keep their usual meaning.
export const tableKeymap = Object.entries(kTableKeys).map(([key, name]) => ({ key, run: (view) => tableCommand(view, name) }));

export const pageKeymaps = [Prec.high(keymap.of(tableKeymap)), keymap.of(writingKeymap)];
