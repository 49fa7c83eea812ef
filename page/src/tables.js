// Tables shown as tables in the rendered view while the caret is elsewhere.
//
// A rendered table replaces several lines, which only decorations held in the
// state may do. Scanning the whole syntax tree on every keystroke would cost too
// much on large documents, so the field only looks at a window of text around the
// viewport; a view plugin moves the window when the viewport leaves it.
import { StateEffect, StateField } from '@codemirror/state';
import { Decoration, EditorView, ViewPlugin, WidgetType } from '@codemirror/view';
import { syntaxTree } from '@codemirror/language';
import { focusField, refreshEffect, selectionTouches } from './focus.js';
import { inlineFragment } from './render.js';
import { parseTable } from './table-parse.js';

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
    const lines = this.source.split('\n');
    const lineStarts = [];
    for (let i = 0, at = 0; i < lines.length; i++) {
      lineStarts.push(at);
      at += lines[i].length + 1;
    }
    const table = parseTable(lines);
    const wrap = document.createElement('div');
    wrap.className = 'cm-md-table';
    const el = document.createElement('table');
    const addRow = (parent, cells, lineIndex, tag) => {
      const tr = document.createElement('tr');
      cells.forEach((cell, i) => {
        const td = document.createElement(tag);
        if (table.align[i]) td.style.textAlign = table.align[i];
        if (cell) {
          td.append(inlineFragment(cell.text));
          td.dataset.at = String(lineStarts[lineIndex] + cell.offset + cell.text.length);
        } else {
          td.dataset.at = String(lineStarts[lineIndex] + lines[lineIndex].length);
        }
        tr.append(td);
      });
      parent.append(tr);
    };
    const head = document.createElement('thead');
    addRow(head, table.header, 0, 'th');
    el.append(head);
    if (table.body.length) {
      const body = document.createElement('tbody');
      table.body.forEach((row, i) => addRow(body, row, i + 2, 'td'));
      el.append(body);
    }
    wrap.append(el);
    // A click puts the caret into the clicked cell's text, which shows the source.
    wrap.addEventListener('mousedown', (event) => {
      if (event.button !== 0 || event.ctrlKey || event.metaKey) return;
      const cell = event.target.closest('td,th');
      const start = view.posAtDOM(wrap);
      const at = cell ? Number(cell.dataset.at) : 0;
      event.preventDefault();
      view.focus();
      view.dispatch({ selection: { anchor: Math.min(start + at, view.state.doc.length) }, scrollIntoView: false });
    });
    return wrap;
  }

  ignoreEvent() {
    return true;
  }
}

function buildTables(state, win, enabled) {
  const decos = [];
  if (!enabled) return Decoration.none;
  const focused = state.field(focusField, false);
  const doc = state.doc;
  syntaxTree(state).iterate({
    from: win.from,
    to: win.to,
    enter(node) {
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
      return kContainers.has(node.name);
    },
  });
  return Decoration.set(decos);
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
      return { win, decos: buildTables(tr.state, win, enabled) };
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

  return [field, follower];
}
