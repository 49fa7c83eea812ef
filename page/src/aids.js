// Writing aids of the rendered view: focus mode (F8) dims all but the caret's
// paragraph, typewriter mode (F9) keeps the caret's line in the middle, and
// the selection's counts go to the status bar.
import { EditorState, StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView } from '@codemirror/view';
import { countText } from './stats.js';

export const setFocusMode = StateEffect.define();
export const setTypewriter = StateEffect.define();

const kCurrent = Decoration.line({ class: 'cm-focus-current' });

/** The lines of the paragraph around `pos`: up to the blank lines on either side. */
export function paragraphAround(doc, pos) {
  let first = doc.lineAt(pos).number;
  let last = first;
  if (!doc.line(first).text.trim()) return { first, last };
  while (first > 1 && doc.line(first - 1).text.trim()) first--;
  while (last < doc.lines && doc.line(last + 1).text.trim()) last++;
  return { first, last };
}

const kMaxParagraph = 400;

const modes = StateField.define({
  create: () => ({ focus: false, typewriter: false, decos: Decoration.none }),
  update(value, tr) {
    let { focus, typewriter } = value;
    for (const e of tr.effects) {
      if (e.is(setFocusMode)) focus = e.value;
      if (e.is(setTypewriter)) typewriter = e.value;
    }
    if (focus === value.focus && typewriter === value.typewriter && !tr.docChanged && !tr.selection) return value;
    let decos = Decoration.none;
    if (focus) {
      const doc = tr.state.doc;
      const { first, last } = paragraphAround(doc, tr.state.selection.main.head);
      const lines = [];
      for (let n = first; n <= Math.min(last, first + kMaxParagraph); n++) lines.push(kCurrent.range(doc.line(n).from));
      decos = Decoration.set(lines);
    }
    return { focus, typewriter, decos };
  },
  provide: (f) => [
    EditorView.decorations.from(f, (v) => v.decos),
    EditorView.editorAttributes.from(f, (v) => ({ class: `${v.focus ? 'cm-focus-mode' : ''} ${v.typewriter ? 'cm-typewriter' : ''}`.trim() })),
  ],
});

// Typewriter mode: every move of the caret or edit scrolls its line to the middle.
const centre = EditorState.transactionExtender.of((tr) => {
  const on = tr.startState.field(modes, false)?.typewriter || tr.effects.some((e) => e.is(setTypewriter) && e.value);
  if (!on || !(tr.selection || tr.docChanged || tr.effects.some((e) => e.is(setTypewriter)))) return null;
  if (tr.effects.some((e) => e.is(setTypewriter) && !e.value)) return null;
  return { effects: EditorView.scrollIntoView(tr.newSelection.main.head, { y: 'center' }) };
});

export const writingModes = [modes, centre];

export function modeState(state) {
  return state.field(modes, false) || { focus: false, typewriter: false };
}

export const kModeKeys = [
  { key: 'F8', run: (view) => { view.dispatch({ effects: setFocusMode.of(!modeState(view.state).focus) }); return true; } },
  { key: 'F9', run: (view) => { view.dispatch({ effects: setTypewriter.of(!modeState(view.state).typewriter) }); return true; } },
];

/** Counts of the selected text, or null when nothing is selected. */
export function selectionCounts(state, limit = 2000000) {
  let text = '';
  for (const r of state.selection.ranges) {
    if (r.empty) continue;
    text += state.sliceDoc(r.from, Math.min(r.to, r.from + limit)) + '\n';
    if (text.length > limit) break;
  }
  return text ? countText(text) : null;
}
