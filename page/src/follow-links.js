// Ctrl+click in the text: a footnote reference jumps to its definition and back,
// a link to a heading of this document scrolls there, any other link goes to the
// native side to open.
import { EditorView } from '@codemirror/view';
import { footnoteAt, footnoteTarget, linkAt } from './links.js';
import { slug } from './headings.js';
import { currentHeadings } from './doc-state.js';
import { post } from './post.js';

export function scrollToAnchor(view, anchor) {
  let name = anchor;
  try {
    name = decodeURIComponent(anchor);
  } catch {
    // keep it as written
  }
  const list = currentHeadings(view);
  const target = list.find((h) => h.anchor === name) || list.find((h) => h.anchor === slug(name));
  if (!target) {
    post({ type: 'status', message: `找不到标题：#${name}` });
    return;
  }
  view.dispatch({ effects: EditorView.scrollIntoView(target.from, { y: 'start', yMargin: 24 }) });
}

export function followLink(view, href) {
  if (href.startsWith('#')) scrollToAnchor(view, href.slice(1));
  else post({ type: 'openLink', href });
}

export const linkClicks = EditorView.domEventHandlers({
  mousedown(event, view) {
    if (event.button !== 0 || !(event.ctrlKey || event.metaKey)) return false;
    const pos = view.posAtCoords({ x: event.clientX, y: event.clientY });
    const note = pos == null ? null : footnoteAt(view.state.doc, pos);
    if (note) {
      event.preventDefault();
      const target = footnoteTarget(view.state.doc, note.label, !note.definition);
      if (target < 0) post({ type: 'status', message: `找不到脚注：${note.label}` });
      else view.dispatch({ selection: { anchor: target }, effects: EditorView.scrollIntoView(target, { y: 'center' }) });
      return true;
    }
    const href = pos == null ? null : linkAt(view.state, pos);
    if (href == null) return false;
    event.preventDefault();
    followLink(view, href);
    return true;
  },
});
