// Pasting and typing like a writer: HTML from a browser or a word processor
// comes in as Markdown (plain text one key away, Ctrl+Shift+V), a URL pasted
// over a selection makes a link, emphasis and code marks wrap a selection.
import { EditorSelection } from '@codemirror/state';
import { EditorView } from '@codemirror/view';
import TurndownService from 'turndown';
import { gfm } from 'turndown-plugin-gfm';

// HTML worth converting says something about structure; styled spans and divs
// alone (code editors, terminals) are pasted as their plain text.
const kStructure = /<(?:p|h[1-6]|ul|ol|li|table|blockquote|pre|strong|b|em|i|a|img|code|del|s|hr)[\s>/]/i;
// Our own copies carry their Markdown as the plain text.
const kOwnCopy = /<meta name="generator" content="Vesk">/i;

let turndown = null;

function converter() {
  if (!turndown) {
    turndown = new TurndownService({
      headingStyle: 'atx', codeBlockStyle: 'fenced', bulletListMarker: '-', emDelimiter: '*', hr: '---', linkStyle: 'inlined',
    });
    turndown.use(gfm);
    // Nothing of a pasted page's scripts, styles or head comes along.
    turndown.remove(['script', 'style', 'title', 'meta', 'link', 'noscript', 'template']);
    // Text stays text: "<img …>" or "&lt;" read on the page must not become
    // markup or an entity in the document.
    const escapeMarkdown = turndown.escape.bind(turndown);
    turndown.escape = (text) => escapeMarkdown(text).replace(/[&<>]/g, '\\$&');
  }
  return turndown;
}

/** Markdown for pasted HTML, or null when its plain text is the better paste. */
export function htmlToMarkdown(html) {
  if (!html || kOwnCopy.test(html) || !kStructure.test(html)) return null;
  // Word processors wrap the fragment in markers and a whole document.
  const body = html.replace(/<!--StartFragment-->|<!--EndFragment-->/g, '');
  const md = converter().turndown(body).replace(/\u00a0/g, ' ').trim();
  return md || null;
}

const kUrl = /^(?:https?:\/\/|mailto:)[^\s<>]+$/i;

/** The text a paste inserts for each selection range. */
export function pasteChange(state, text) {
  const url = text.trim();
  const main = state.selection.main;
  if (kUrl.test(url) && !main.empty && state.selection.ranges.length === 1) {
    const label = state.sliceDoc(main.from, main.to);
    if (!label.includes('\n') && !kUrl.test(label.trim())) {
      const insert = `[${label}](${url.replace(/[()\s]/g, (c) => `%${c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0')}`)})`;
      return { changes: { from: main.from, to: main.to, insert }, selection: EditorSelection.cursor(main.from + insert.length) };
    }
  }
  return state.replaceSelection(text);
}

// Ctrl+Shift+V: the paste that follows the key (the browser's own paste of the
// key may come first, empty) takes the plain text.
let plainUntil = 0;

/** Handlers of the editor's paste and the Ctrl+Shift+V key. */
export function pasteHandlers(normalize) {
  return EditorView.domEventHandlers({
    keydown(event) {
      if ((event.ctrlKey || event.metaKey) && event.shiftKey && (event.key === 'V' || event.key === 'v')) plainUntil = performance.now() + 1000;
      return false;
    },
    paste(event, view) {
      const data = event.clipboardData;
      if (!data) return false;
      const plain = performance.now() < plainUntil;
      const text = normalize(data.getData('text/plain') || '');
      const md = plain ? null : htmlToMarkdown(data.getData('text/html'));
      const insert = md ?? text;
      if (!insert) return false;
      plainUntil = 0;
      event.preventDefault();
      view.dispatch(pasteChange(view.state, insert), { userEvent: 'input.paste', scrollIntoView: true });
      return true;
    },
  });
}

const kWrapMarks = { '*': '*', _: '_', '`': '`', '~': '~~' };

/** Typing an emphasis or code mark over a selection wraps it; a backtick pairs. */
export const markPairing = EditorView.inputHandler.of((view, from, to, text) => {
  const state = view.state;
  if (!(text in kWrapMarks) || view.composing) return false;
  const ranges = state.selection.ranges;
  if (ranges.some((r) => !r.empty)) {
    if (ranges.some((r) => r.empty)) return false;
    const mark = kWrapMarks[text];
    view.dispatch(state.changeByRange((r) => ({
      changes: [{ from: r.from, insert: mark }, { from: r.to, insert: mark }],
      range: EditorSelection.range(r.anchor + mark.length, r.head + mark.length),
    })), { userEvent: 'input.type' });
    return true;
  }
  if (text !== '`' || ranges.length !== 1) return false;
  // A backtick before a blank or the line's end opens a pair (not in ```).
  const next = state.sliceDoc(to, to + 1);
  const prev = state.sliceDoc(Math.max(0, from - 1), from);
  if (next === '`') {
    view.dispatch({ selection: { anchor: to + 1 }, userEvent: 'input.type' });
    return true;
  }
  if ((next && !/\s/.test(next)) || prev === '`' || /\w/.test(prev)) return false;
  view.dispatch({ changes: { from, to, insert: '``' }, selection: { anchor: from + 1 }, userEvent: 'input.type' });
  return true;
});

/** What Ctrl+C / Ctrl+X with nothing selected take: the caret's whole lines. */
export function lineCopy(state) {
  const lines = [];
  const ranges = [];
  let last = -1;
  for (const r of state.selection.ranges) {
    const line = state.doc.lineAt(r.head);
    if (line.number === last) continue;
    last = line.number;
    lines.push(line.text);
    ranges.push({ from: line.from, to: Math.min(state.doc.length, line.to + 1) });
  }
  return { text: lines.map((l) => l + '\n').join(''), ranges };
}
