// Editor focus as state, so that decorations can depend on it: the Markdown
// marks of the caret's line only come back while the user is actually editing.
import { StateEffect, StateField } from '@codemirror/state';
import { EditorView } from '@codemirror/view';

const setFocus = StateEffect.define();

/** Asks the rendered view to rebuild its decorations (the <base> moved, a composition ended). */
export const refreshEffect = StateEffect.define();

export const focusField = StateField.define({
  create: () => false,
  update(value, tr) {
    for (const e of tr.effects) if (e.is(setFocus)) value = e.value;
    return value;
  },
});

export const focusTracking = [
  focusField,
  EditorView.focusChangeEffect.of((state, focusing) => setFocus.of(focusing)),
];

// A new state starts as if the editor had no focus; the editor that keeps the
// focus across a document change (a new or reloaded document) says so, or every
// table and HTML block would be drawn over the caret's own lines.
export function syncFocus(view) {
  if (view.state.field(focusField, false) !== view.hasFocus) view.dispatch({ effects: setFocus.of(view.hasFocus) });
}

/** Whether a selection range touches a line of [from, to]. */
export function selectionTouches(state, from, to) {
  for (const r of state.selection.ranges) {
    const a = state.doc.lineAt(r.from).from;
    const b = state.doc.lineAt(r.to).to;
    if (a <= to && b >= from) return true;
  }
  return false;
}
