// Tables (and HTML blocks) shown as such in the rendered view while the caret is elsewhere, and
// edited there cell by cell: a cell being edited shows its Markdown source, and
// each edit changes only that cell's text in the document.
//
// A rendered table replaces several lines, which only decorations held in the
// state may do. Scanning the whole syntax tree on every keystroke would cost too
// much on large documents, so the field only looks at a window of text around the
// viewport; a view plugin moves the window when the viewport leaves it.
import { EditorState, StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView, ViewPlugin, WidgetType } from '@codemirror/view';
import { syntaxTree } from '@codemirror/language';
import { focusField, refreshEffect, selectionTouches } from './focus.js';
import { inlineFragment } from './render.js';
import { parseTable } from './table-parse.js';
import { HtmlBlockWidget, MathWidget, onlyComments } from './html-view.js';
import { blockTex } from './math.js';
import { diagramRenderer, diagramWidget, fenceDiagramSource } from './diagrams.js';
import { isolateHistory, redo, undo } from '@codemirror/commands';
import {
  alignColumn, cellAt, deleteColumn, deleteRow, escapeCell, formatTable, insertColumn, insertRow,
  lineOfRow, retypeCell, rowCount, tableAt, tableFromLines,
} from './table-edit.js';

const kWindowMargin = 40000;
const kMaxRows = 1000;
const kContainers = new Set(['Document', 'Blockquote', 'BulletList', 'OrderedList', 'ListItem']);

const setWindow = StateEffect.define();

class TableWidget extends WidgetType {
  constructor(source, rows) {
    super();
    this.source = source;
    this.rows = rows;
  }

  eq(other) {
    return other.source === this.source;
  }

  get estimatedHeight() {
    return this.rows * 37 + 24;
  }

  toDOM(view) {
    const wrap = document.createElement('div');
    wrap.className = 'cm-md-table';
    fillTable(wrap, this.source);
    listen(wrap, view);
    return wrap;
  }

  // An edit of a cell keeps the table's DOM, so the cell being edited keeps its
  // focus and caret; only a change of the table's shape draws it anew.
  updateDOM(dom) {
    return refillTable(dom, this.source);
  }

  ignoreEvent() {
    return true;
  }
}

function tableShape(source) {
  const lines = source.split('\n');
  return { lines, table: parseTable(lines) };
}

function fillTable(wrap, source) {
  const { lines, table } = tableShape(source);
  const el = document.createElement('table');
  const addRow = (parent, cells, row, tag) => {
    const tr = document.createElement('tr');
    cells.forEach((cell, col) => {
      const td = document.createElement(tag);
      if (table.align[col]) td.style.textAlign = table.align[col];
      td.dataset.row = String(row);
      td.dataset.col = String(col);
      td.contentEditable = 'plaintext-only';
      td.spellcheck = false;
      showCell(td, cell ? cell.text : '');
      tr.append(td);
    });
    parent.append(tr);
  };
  const head = document.createElement('thead');
  addRow(head, table.header, 0, 'th');
  el.append(head);
  if (table.body.length) {
    const body = document.createElement('tbody');
    table.body.forEach((row, i) => addRow(body, row, i + 1, 'td'));
    el.append(body);
  }
  wrap.dataset.lines = String(lines.length);
  wrap.replaceChildren(el);
}

function refillTable(wrap, source) {
  const { lines, table } = tableShape(source);
  const cells = wrap.querySelectorAll('th,td');
  const rows = [table.header, ...table.body];
  if (cells.length !== rows.length * table.header.length || Number(wrap.dataset.lines) !== lines.length) return false;
  for (const td of cells) {
    const cell = rows[Number(td.dataset.row)][Number(td.dataset.col)];
    const text = cell ? cell.text : '';
    td.style.textAlign = table.align[Number(td.dataset.col)] || '';
    if (td.classList.contains('cm-md-cell-editing')) {
      // Undo, redo or a command changed the cell being edited; blanks the user
      // typed at its ends are not a change (the source trims them).
      if (escapeCell(td.textContent).trim() !== text) {
        td.textContent = text;
        caretAtEnd(td);
        td.dataset.src = text;
      }
    } else if (td.dataset.src !== text) {
      showCell(td, text);
    }
  }
  return true;
}

/** A cell at rest shows its Markdown rendered. */
function showCell(td, text) {
  td.dataset.src = text;
  td.classList.remove('cm-md-cell-editing');
  td.replaceChildren(inlineFragment(text));
}

/** A cell being edited shows its Markdown source. */
function editCell(td) {
  if (td.classList.contains('cm-md-cell-editing')) return;
  holdColumns(td.closest('table'));
  td.classList.add('cm-md-cell-editing');
  td.dataset.fresh = '1';
  td.textContent = td.dataset.src || '';
}

// While a cell is edited the columns keep at least the widths they had at
// rest: the source of a cell is longer than its rendering, and the other
// columns would squeeze around it. The edited column may grow (the table
// scrolls sideways when it no longer fits).
function holdColumns(table) {
  if (!table || table.classList.contains('cm-md-table-held')) return;
  const cells = table.rows[0] ? [...table.rows[0].cells] : [];
  for (const cell of cells) cell.style.minWidth = `${cell.getBoundingClientRect().width}px`;
  table.classList.add('cm-md-table-held');
}

function releaseColumns(table) {
  if (!table || !table.classList.contains('cm-md-table-held')) return;
  for (const cell of table.rows[0].cells) cell.style.minWidth = '';
  table.classList.remove('cm-md-table-held');
}

function caretAtEnd(td) {
  const sel = td.ownerDocument.getSelection();
  sel.selectAllChildren(td);
  sel.collapseToEnd();
}

/** The table a widget shows, read from the editor's text. */
function widgetTable(view, wrap) {
  const from = view.posAtDOM(wrap);
  const first = view.state.doc.lineAt(from).number;
  return tableFromLines(view.state.doc, first, first + Number(wrap.dataset.lines) - 1);
}

/** Puts the caret into a cell: of the widget when the table is drawn, of the text otherwise. */
export function focusCell(view, tableFrom, row, col) {
  for (const wrap of view.contentDOM.querySelectorAll('.cm-md-table')) {
    if (view.posAtDOM(wrap) !== tableFrom) continue;
    const td = wrap.querySelector(`[data-row="${row}"][data-col="${col}"]`);
    if (!td) return;
    editCell(td);
    td.focus();
    caretAtEnd(td);
    return;
  }
  const table = tableAt(view.state, tableFrom);
  const line = table && table.lines[lineOfRow(row)];
  if (!line) return;
  const cell = line.cells[col];
  const anchor = cell ? (cell.from < cell.to ? cell.from : Math.min(cell.start + 1, cell.end)) : line.to;
  view.dispatch({ selection: { anchor, head: cell ? Math.max(anchor, cell.to) : anchor }, scrollIntoView: true });
  view.focus();
}

// Writes what the user typed into a cell back to the text: that cell only.
function commitCell(view, wrap, td) {
  const table = widgetTable(view, wrap);
  const row = Number(td.dataset.row);
  const col = Number(td.dataset.col);
  const line = table && table.lines[lineOfRow(row)];
  if (!line) return;
  const typed = td.textContent;
  const value = escapeCell(typed);
  const previous = td.dataset.src ?? '';
  if (previous === value) return;
  const spec = retypeCell(table, row, col, previous, value);
  if (value !== typed) {
    td.textContent = value;
    caretAtEnd(td);
  }
  td.dataset.src = value;
  // Typing in one cell is one step of the history; the next cell starts another.
  const fresh = td.dataset.fresh === '1';
  td.dataset.fresh = '';
  view.dispatch({ changes: spec.changes, userEvent: 'input.type', annotations: fresh ? isolateHistory.of('before') : [] });
}

/**
 * Undo or redo (`step`). While a cell of a drawn table is edited, the editor's
 * own selection is somewhere else, often far away: the step restores that
 * selection but the view stays where the user is editing.
 */
export function historyStep(view, step) {
  const active = document.activeElement;
  if (!(active && active.closest && active.closest('.cm-md-table [data-row]') && view.contentDOM.contains(active))) return step(view);
  // Scrolling to that selection would also take the table out of the
  // viewport and the focus out of its cell.
  heldView = view.scrollSnapshot();
  try {
    return step(view);
  } finally {
    heldView = null;
  }
}

let heldView = null;
const holdView = EditorState.transactionExtender.of((tr) => (heldView ? { effects: heldView.map(tr.changes) } : null));

/** The table, row and column the user is working in: a widget cell or the caret in a table's text. */
export function tableContext(view) {
  const active = document.activeElement;
  const td = active && active.closest && active.closest('.cm-md-table [data-row]');
  if (td && view.contentDOM.contains(td)) {
    const table = widgetTable(view, td.closest('.cm-md-table'));
    return table && { table, row: Number(td.dataset.row), col: Number(td.dataset.col) };
  }
  const head = view.state.selection.main.head;
  const table = tableAt(view.state, head);
  const at = table && cellAt(table, head);
  return at && { table, ...at };
}

/** Runs a table command where the user is working; false outside tables. */
export function tableCommand(view, name) {
  const ctx = tableContext(view);
  if (!ctx) return false;
  const { table, row, col } = ctx;
  const last = rowCount(table) - 1;
  let spec = null;
  let to = { row, col };
  switch (name) {
    case 'next': case 'prev': {
      let r = row;
      let c = col + (name === 'next' ? 1 : -1);
      if (c >= table.cols) { r++; c = 0; }
      if (c < 0) { r--; c = table.cols - 1; }
      if (r < 0) return true;
      if (r > last) {
        spec = insertRow(table, last, true);
        to = { row: last + 1, col: 0 };
      } else {
        to = { row: r, col: c };
      }
      break;
    }
    case 'down':
      if (row < last) to = { row: row + 1, col };
      else { spec = insertRow(table, row, true); to = { row: row + 1, col: 0 }; }
      break;
    case 'rowBelow': spec = insertRow(table, row, true); to = { row: spec.row, col }; break;
    case 'rowAbove': spec = insertRow(table, row, false); to = { row: spec.row, col }; break;
    case 'deleteRow': spec = deleteRow(table, row); to = spec && { row: Math.min(row, last - 1), col }; break;
    case 'colRight': spec = insertColumn(table, col, true); to = { row, col: spec.col }; break;
    case 'colLeft': spec = insertColumn(table, col, false); to = { row, col: spec.col }; break;
    case 'deleteCol': spec = deleteColumn(table, col); to = spec && { row, col: spec.col }; break;
    case 'alignLeft': case 'alignCenter': case 'alignRight': case 'alignNone':
      spec = alignColumn(table, col, name.slice(5).toLowerCase().replace('none', ''));
      break;
    case 'format': spec = formatTable(table); break;
    default: return false;
  }
  if (spec) view.dispatch({ changes: spec.changes, userEvent: `input.table.${name}`, annotations: isolateHistory.of('full') });
  if (to) focusCell(view, table.from, to.row, to.col);
  return true;
}

// Keys of a table, both in its widget and in its text.
export const kTableKeys = {
  Tab: 'next', 'Shift-Tab': 'prev', 'Mod-Enter': 'rowBelow', 'Mod-Shift-Enter': 'rowAbove',
  'Mod-Shift-Backspace': 'deleteRow', 'Alt-Shift-ArrowRight': 'colRight', 'Alt-Shift-ArrowLeft': 'colLeft',
  'Alt-Shift-Backspace': 'deleteCol', 'Alt-Shift-f': 'format',
};

function keyName(event) {
  let key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
  if (event.shiftKey) key = `Shift-${key}`;
  if (event.altKey) key = `Alt-${key}`;
  if (event.ctrlKey || event.metaKey) key = `Mod-${key}`;
  return key;
}

function listen(wrap, view) {
  const cellOf = (event) => {
    const td = event.target.closest && event.target.closest('[data-row]');
    return td && wrap.contains(td) ? td : null;
  };
  wrap.addEventListener('mousedown', (event) => {
    if (event.button !== 0) return;
    // Ctrl+click follows a link of the cell without starting to edit it.
    if (event.ctrlKey || event.metaKey) {
      if (event.target.closest('a[href]')) event.preventDefault();
      return;
    }
    const td = cellOf(event);
    if (!td || td.classList.contains('cm-md-cell-editing')) return;
    // The cell switches to its source; the caret goes where the click was.
    event.preventDefault();
    editCell(td);
    td.focus();
    const range = document.caretRangeFromPoint(event.clientX, event.clientY);
    if (range && td.contains(range.startContainer)) {
      const sel = document.getSelection();
      sel.removeAllRanges();
      sel.addRange(range);
    } else {
      caretAtEnd(td);
    }
  });
  wrap.addEventListener('contextmenu', (event) => {
    // The table commands of the context menu act on the clicked cell.
    const td = cellOf(event);
    if (!td || td === document.activeElement) return;
    editCell(td);
    td.focus();
    caretAtEnd(td);
  });
  wrap.addEventListener('focusin', (event) => {
    const td = cellOf(event);
    if (td) editCell(td);
  });
  wrap.addEventListener('focusout', (event) => {
    const td = cellOf(event);
    if (td && td.classList.contains('cm-md-cell-editing')) showCell(td, td.dataset.src || '');
    if (!wrap.contains(event.relatedTarget)) releaseColumns(wrap.querySelector('table'));
  });
  wrap.addEventListener('input', (event) => {
    const td = cellOf(event);
    if (td && !event.isComposing) commitCell(view, wrap, td);
  });
  wrap.addEventListener('compositionend', (event) => {
    const td = cellOf(event);
    if (td) commitCell(view, wrap, td);
  });
  wrap.addEventListener('beforeinput', (event) => {
    // The editor's history is the only one; a cell holds one line.
    if (/^history|^insert(?:Paragraph|LineBreak)$/.test(event.inputType)) event.preventDefault();
  });
  wrap.addEventListener('paste', (event) => {
    const td = cellOf(event);
    const text = event.clipboardData && event.clipboardData.getData('text/plain');
    if (!td || text == null) return;
    event.preventDefault();
    document.execCommand('insertText', false, text.replace(/\r?\n/g, ' '));
  });
  wrap.addEventListener('keydown', (event) => {
    const td = cellOf(event);
    if (!td || event.isComposing) return;
    const key = keyName(event);
    let handled = true;
    if (key === 'Mod-z') historyStep(view, undo);
    else if (key === 'Mod-y' || key === 'Mod-Shift-z') historyStep(view, redo);
    else if (key === 'Enter') tableCommand(view, 'down');
    else if (key === 'Escape') leaveTable(view, wrap);
    else if (kTableKeys[key]) tableCommand(view, kTableKeys[key]);
    else handled = false;
    if (handled) {
      event.preventDefault();
      event.stopPropagation();
    }
  });
}

// Escape puts the caret on the line after the table, in the editor.
function leaveTable(view, wrap) {
  const table = widgetTable(view, wrap);
  if (!table) return;
  const doc = view.state.doc;
  const pos = table.to < doc.length ? table.to + 1 : table.to;
  document.activeElement.blur();
  view.focus();
  view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
}

// An HTML block that opens a centred element and leaves it open, as READMEs
// write around Markdown: `<div align="center">`, `<p align="center">`,
// `<center>`, alone or with some HTML after it.
const kCentreStart = /^\s*<(div|p|center)\b([^>]*)>/i;
const kCentreAttr = /\balign\s*=\s*["']?center\b/i;

// How many more `tag` elements `source` opens than it closes.
function tagDepth(source, tag) {
  const opens = source.match(new RegExp(`<${tag}\\b`, 'gi')) || [];
  const closes = source.match(new RegExp(`</${tag}\\s*>`, 'gi')) || [];
  return opens.length - closes.length;
}

function centreTag(source) {
  const m = kCentreStart.exec(source);
  if (!m) return null;
  const tag = m[1].toLowerCase();
  if (tag !== 'center' && !kCentreAttr.test(m[2])) return null;
  return tagDepth(source, tag) > 0 ? tag : null;
}

// The lines between a centring block and the block that closes it, which are
// Markdown of their own (a blank line ends an HTML block), are centred as the
// export centres them. The search stops after a bounded number of blocks.
function centredLines(doc, open, tag, decos) {
  let depth = tagDepth(doc.sliceString(open.from, open.to), tag);
  let node = open.nextSibling;
  for (let n = 0; node && n < 400; n++, node = node.nextSibling) {
    if (node.name !== 'HTMLBlock') continue;
    depth += tagDepth(doc.sliceString(node.from, node.to), tag);
    if (depth > 0) continue;
    const first = doc.lineAt(open.to).number + 1;
    const last = doc.lineAt(node.from).number - 1;
    for (let i = first; i <= last; i++) decos.push(kCentred.range(doc.line(i).from));
    return;
  }
}

const kCentred = Decoration.line({ class: 'cm-md-centred' });

// `previous`: the decorations of the state before, mapped to this one.
function buildTables(state, win, enabled, previous = Decoration.none) {
  const decos = [];
  if (!enabled) return Decoration.none;
  const focused = state.field(focusField, false);
  const doc = state.doc;
  const baseKey = document.baseURI;
  const tree = syntaxTree(state);
  // A parse that ran out of its time slice (a busy machine, a long document)
  // gives a tree that ends early, its last block cut short; the parser goes on
  // in the background. Blocks it has not settled keep what they showed: taking
  // a table's widget away while a cell of it is edited would take the
  // keyboard with it, and a widget over a cut-short table would cover the
  // wrong lines.
  const parsed = tree.length < doc.length ? tree.length : Infinity;
  const unsettled = (to) => to >= parsed;
  tree.iterate({
    from: win.from,
    to: Math.min(win.to, parsed),
    enter(node) {
      if (kBlocks.has(node.name) && unsettled(doc.lineAt(node.to).to)) return false;
      if (node.name === 'Table') {
        const first = doc.lineAt(node.from);
        const last = doc.lineAt(node.to);
        const rows = last.number - first.number + 1;
        if (rows >= 2 && rows <= kMaxRows && !(focused && selectionTouches(state, first.from, last.to))) {
          const source = doc.sliceString(first.from, last.to);
          decos.push(Decoration.replace({ widget: new TableWidget(source, rows), block: true }).range(first.from, last.to));
        }
        return false;
      }
      if (node.name === 'FencedCode' && node.node.parent?.name === 'Document') {
        // A drawn diagram replaces its block; the caret inside shows the source.
        const source = fenceDiagramSource(doc, node.node);
        if (source == null) return false;
        const first = doc.lineAt(node.from);
        const last = doc.lineAt(node.to);
        // Not drawn while it is being edited: each keystroke would queue a version.
        if (focused && selectionTouches(state, first.from, last.to)) return false;
        const widget = diagramWidget(diagramRenderer, source);
        if (widget) decos.push(Decoration.replace({ widget, block: true }).range(first.from, last.to));
        return false;
      }
      if (node.name === 'MathBlock' && node.node.parent?.name === 'Document') {
        const first = doc.lineAt(node.from);
        const last = doc.lineAt(node.to);
        if (node.from === first.from && !(focused && selectionTouches(state, first.from, last.to))) {
          const widget = new MathWidget(blockTex(doc.sliceString(node.from, node.to)), true);
          decos.push(Decoration.replace({ widget, block: true }).range(first.from, last.to));
        }
        return false;
      }
      if ((node.name === 'HTMLBlock' || node.name === 'CommentBlock') && node.node.parent?.name === 'Document') {
        const first = doc.lineAt(node.from);
        const last = doc.lineAt(node.to);
        if (node.from === first.from && !(focused && selectionTouches(state, first.from, last.to))) {
          const source = doc.sliceString(first.from, last.to);
          // A block of comments draws nothing; other HTML is drawn sanitised.
          if (node.name === 'CommentBlock' || onlyComments(source)) decos.push(Decoration.replace({ block: true }).range(first.from, last.to));
          else decos.push(Decoration.replace({ widget: new HtmlBlockWidget(source, baseKey), block: true }).range(first.from, last.to));
        }
        const tag = node.name === 'HTMLBlock' ? centreTag(doc.sliceString(node.from, node.to)) : null;
        if (tag) centredLines(doc, node.node, tag, decos);
        return false;
      }
      return kContainers.has(node.name);
    },
  });
  if (parsed < win.to) keepUnsettled(decos, previous, parsed, (from, to) => focused && selectionTouches(state, from, to));
  // Centred lines come ahead of the widgets between them.
  return Decoration.set(decos, true);
}

const kBlocks = new Set(['Table', 'MathBlock', 'HTMLBlock', 'CommentBlock']);

// Adds the earlier decorations that reach past the parsed part and overlap
// nothing built from the new tree; never one over the caret.
function keepUnsettled(decos, previous, parsed, underCaret) {
  const taken = decos.filter((d) => d.from < d.to).map((d) => [d.from, d.to]);
  for (const cursor = previous.iter(); cursor.value; cursor.next()) {
    if (cursor.to < parsed || (cursor.from < cursor.to && underCaret(cursor.from, cursor.to))) continue;
    if (taken.some(([from, to]) => cursor.from <= to && cursor.to >= from)) continue;
    decos.push(cursor.value.range(cursor.from, cursor.to));
  }
}

export function renderedTables(enabled) {
  const field = StateField.define({
    create(state) {
      const win = { from: 0, to: Math.min(state.doc.length, 2 * kWindowMargin) };
      return { win, decos: buildTables(state, win, enabled) };
    },
    update(value, tr) {
      let win = value.win;
      if (tr.docChanged) win = { from: tr.changes.mapPos(win.from, -1), to: tr.changes.mapPos(win.to, 1) };
      let moved = false;
      let refresh = false;
      for (const e of tr.effects) {
        if (e.is(setWindow)) {
          win = e.value;
          moved = true;
        } else if (e.is(refreshEffect)) {
          refresh = true;
        }
      }
      // While an input method composes, the text around the caret must stay as it
      // is: decorations only follow the edits.
      if (tr.isUserEvent('input.type.compose')) return { win, decos: value.decos.map(tr.changes) };
      const focusChanged = tr.startState.field(focusField, false) !== tr.state.field(focusField, false);
      const treeChanged = syntaxTree(tr.startState) !== syntaxTree(tr.state);
      if (!tr.docChanged && !tr.selection && !moved && !refresh && !focusChanged && !treeChanged) {
        return win === value.win ? value : { win, decos: value.decos };
      }
      return { win, decos: buildTables(tr.state, win, enabled, tr.docChanged ? value.decos.map(tr.changes) : value.decos) };
    },
    provide: (f) => EditorView.decorations.from(f, (v) => v.decos),
  });

  const follower = ViewPlugin.fromClass(class {
    update(update) {
      if (!update.viewportChanged && !update.docChanged) return;
      const view = update.view;
      const { from, to } = view.viewport;
      const win = view.state.field(field).win;
      if (from >= win.from && to <= win.to) return;
      Promise.resolve().then(() => {
        const now = view.state.field(field, false);
        const vp = view.viewport;
        if (!now || (vp.from >= now.win.from && vp.to <= now.win.to)) return;
        view.dispatch({
          effects: setWindow.of({
            from: Math.max(0, vp.from - kWindowMargin),
            to: Math.min(view.state.doc.length, vp.to + kWindowMargin),
          }),
        });
      });
    }
  });

  return [field, follower, holdView];
}
