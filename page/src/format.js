// The format commands of the menu. Each one turns the selection (or the lines it
// touches) into one transaction, so it is one undo step, and touches only the
// characters it has to: the rest of the document stays byte for byte as it was.
import { ChangeSet, EditorSelection } from '@codemirror/state';
import { syntaxTree } from '@codemirror/language';

export const FORMAT_NAMES = ['bold', 'italic', 'inlineCode', 'link', 'h1', 'h2', 'h3', 'paragraph',
  'ul', 'ol', 'quote', 'codeBlock', 'table', 'hr'];

/** The change of format `name` in `state` (a transaction description), or null when there is nothing to do. */
export function formatChange(state, name) {
  switch (name) {
    case 'bold': return toggleInline(state, 'StrongEmphasis', '**');
    case 'italic': return toggleInline(state, 'Emphasis', '*');
    case 'inlineCode': return toggleInline(state, 'InlineCode', '`');
    case 'link': return toggleLink(state);
    case 'h1': return setHeading(state, 1);
    case 'h2': return setHeading(state, 2);
    case 'h3': return setHeading(state, 3);
    case 'paragraph': return setHeading(state, 0);
    case 'ul': return toggleList(state, false);
    case 'ol': return toggleList(state, true);
    case 'quote': return toggleQuote(state);
    case 'codeBlock': return toggleCodeBlock(state);
    case 'table': return insertTable(state);
    case 'hr': return insertRule(state);
    default: return null;
  }
}

const userEvent = 'input.format';

// ---------------------------------------------------------------- inline marks

function enclosing(state, from, to, type) {
  const tree = syntaxTree(state);
  for (const side of [1, -1]) {
    for (let node = tree.resolveInner(from, side); node; node = node.parent) {
      if (node.name === type && node.from <= from && node.to >= to) return node;
    }
  }
  return null;
}

function markRanges(node, markName) {
  const marks = [];
  for (let c = node.firstChild; c; c = c.nextSibling) if (c.name === markName) marks.push(c);
  return marks.length >= 2 ? [marks[0], marks[marks.length - 1]] : null;
}

const kMarkName = { StrongEmphasis: 'EmphasisMark', Emphasis: 'EmphasisMark', InlineCode: 'CodeMark' };

function toggleInline(state, type, mark) {
  // Unwrapping first: when every range sits inside a span of this kind, the
  // command takes the span's marks away.
  const spans = state.selection.ranges.map((r) => enclosing(state, r.from, r.to, type));
  if (spans.every(Boolean)) {
    const changes = [];
    const seen = new Set();
    for (const span of spans) {
      if (seen.has(span.from)) continue;
      seen.add(span.from);
      const marks = markRanges(span, kMarkName[type]);
      if (!marks) continue;
      let [open, close] = marks;
      let openTo = open.to;
      let closeFrom = close.from;
      if (type === 'InlineCode') {
        // Code spans may pad their content with one space on each side.
        const inner = state.sliceDoc(openTo, closeFrom);
        if (inner.length > 2 && inner[0] === ' ' && inner[inner.length - 1] === ' ' && inner.trim()) {
          openTo++;
          closeFrom--;
        }
      }
      changes.push({ from: open.from, to: openTo }, { from: closeFrom, to: close.to });
    }
    if (!changes.length) return null;
    return { changes, userEvent, scrollIntoView: true };
  }

  return {
    ...state.changeByRange((range) => {
      if (range.empty) {
        const word = state.wordAt(range.head);
        if (!word) {
          const pair = mark === '`' ? '``' : mark + mark;
          return {
            changes: { from: range.head, insert: pair },
            range: EditorSelection.cursor(range.head + mark.length),
          };
        }
        const wrapped = wrap(state, word.from, word.to, mark);
        return {
          changes: wrapped.changes,
          range: EditorSelection.cursor(range.head + wrapped.open),
        };
      }
      // A selection over several lines gets each line's text wrapped on its own:
      // emphasis cannot run across a paragraph break.
      const changes = [];
      let first = -1;
      let last = -1;
      const l1 = state.doc.lineAt(range.from).number;
      const l2 = state.doc.lineAt(range.to).number;
      for (let n = l1; n <= l2; n++) {
        const line = state.doc.line(n);
        let from = Math.max(range.from, line.from);
        const to = Math.min(range.to, line.to);
        if (from === line.from) from = line.from + blockPrefix(line.text).length;
        const text = state.sliceDoc(from, to);
        const lead = text.length - text.trimStart().length;
        const trail = text.length - text.trimEnd().length;
        if (from + lead >= to - trail) continue;
        changes.push(...wrap(state, from + lead, to - trail, mark).changes);
        if (first < 0) first = from + lead;
        last = to - trail;
      }
      if (!changes.length) return { range };
      // The selection covers the wrapped text, inside the marks.
      const set = ChangeSet.of(changes, state.doc.length);
      return { changes: set, range: EditorSelection.range(set.mapPos(first, 1), set.mapPos(last, -1)) };
    }),
    userEvent,
    scrollIntoView: true,
  };
}

function wrap(state, from, to, mark) {
  let open = mark;
  let close = mark;
  if (mark === '`') {
    // A code span needs a fence longer than any run of backticks inside it, and
    // padding when its text starts or ends with one.
    const text = state.sliceDoc(from, to);
    const longest = Math.max(0, ...(text.match(/`+/g) || []).map((s) => s.length));
    open = close = '`'.repeat(longest + 1);
    if (longest && (text.startsWith('`') || text.endsWith('`'))) {
      open += ' ';
      close = ' ' + close;
    }
  }
  return { changes: [{ from, insert: open }, { from: to, insert: close }], open: open.length };
}

// Quote markers, list markers, task boxes and heading marks at the start of a line.
const kBlockPrefix = /^(?:[ \t]*>[ \t]?)*[ \t]*(?:(?:[-+*]|\d{1,9}[.)])[ \t]+(?:\[[ xX]\][ \t]+)?)?(?:#{1,6}[ \t]+)?/;

function blockPrefix(text) {
  return kBlockPrefix.exec(text)[0];
}

function toggleLink(state) {
  const links = state.selection.ranges.map((r) => enclosing(state, r.from, r.to, 'Link'));
  if (links.every(Boolean)) {
    // Unlink: keep the text between the brackets, drop the rest of the syntax.
    const changes = [];
    const seen = new Set();
    for (const link of links) {
      if (seen.has(link.from)) continue;
      seen.add(link.from);
      const marks = [];
      for (let c = link.firstChild; c; c = c.nextSibling) if (c.name === 'LinkMark') marks.push(c);
      if (marks.length < 2 || state.sliceDoc(marks[0].from, marks[0].to) !== '[') continue;
      changes.push({ from: link.from, to: marks[0].to }, { from: marks[1].from, to: link.to });
    }
    if (!changes.length) return null;
    return { changes, userEvent, scrollIntoView: true };
  }
  return {
    ...state.changeByRange((range) => {
      const text = state.sliceDoc(range.from, range.to);
      if (range.empty || text.includes('\n')) {
        // Empty brackets, caret between them: type the text, then the address.
        return {
          changes: { from: range.head, insert: '[]()' },
          range: EditorSelection.cursor(range.head + 1),
        };
      }
      if (/^(?:https?:\/\/|mailto:|www\.)\S+$/i.test(text)) {
        // A selected address becomes the target; the caret waits for the text.
        return {
          changes: [{ from: range.from, insert: '[](' }, { from: range.to, insert: ')' }],
          range: EditorSelection.cursor(range.from + 1),
        };
      }
      return {
        changes: [{ from: range.from, insert: '[' }, { from: range.to, insert: ']()' }],
        range: EditorSelection.cursor(range.to + 3),
      };
    }),
    userEvent,
    scrollIntoView: true,
  };
}

// ---------------------------------------------------------------- line formats

/** Line numbers touched by the selection; a range ending at a line start leaves that line out. */
function selectedLines(state) {
  const lines = new Set();
  for (const r of state.selection.ranges) {
    const first = state.doc.lineAt(r.from).number;
    let last = state.doc.lineAt(r.to).number;
    if (!r.empty && last > first && state.doc.line(last).from === r.to) last--;
    for (let n = first; n <= last; n++) lines.add(n);
  }
  return [...lines].sort((a, b) => a - b).map((n) => state.doc.line(n));
}

function finish(state, changes) {
  if (!changes.length) return null;
  const set = state.changes(changes);
  // Carets at an insertion point move behind the new markers.
  const selection = EditorSelection.create(
    state.selection.ranges.map((r) => EditorSelection.range(set.mapPos(r.anchor, 1), set.mapPos(r.head, 1))),
    state.selection.mainIndex,
  );
  return { changes: set, selection, userEvent, scrollIntoView: true };
}

// Line parts: quote markers, indentation, list marker (+ task box), heading marks.
const kLine = /^((?:[ \t]*>[ \t]?)*)([ \t]*)((?:[-+*]|\d{1,9}[.)])(?:[ \t]+|$)(?:\[[ xX]\][ \t]+)?)?(#{1,6}(?:[ \t]+|$))?/;

function parseLine(line) {
  const m = kLine.exec(line.text);
  const quote = m[1];
  const indent = m[2];
  const list = m[3] || '';
  const heading = m[4] || '';
  return {
    quote, indent, list, heading,
    contentFrom: line.from + quote.length + indent.length + list.length,
    level: heading ? heading.trimEnd().length : 0,
    blank: !line.text.slice(quote.length).trim(),
  };
}

// The setext heading (text underlined with === or ---) a line belongs to, if any.
function setextUnderline(state, line) {
  const tree = syntaxTree(state);
  for (let node = tree.resolveInner(line.from, 1); node; node = node.parent) {
    if (/^SetextHeading/.test(node.name)) {
      const mark = node.lastChild;
      if (mark && mark.name === 'HeaderMark') return { heading: node, underline: state.doc.lineAt(mark.from) };
    }
  }
  return null;
}

function setHeading(state, level) {
  const lines = selectedLines(state).filter((l) => !parseLine(l).blank);
  const changes = [];
  const target = lines.length && lines.every((l) => parseLine(l).level === level) ? 0 : level;
  const done = new Set();
  for (const line of lines) {
    if (done.has(line.number)) continue;
    const p = parseLine(line);
    const setext = !p.heading && setextUnderline(state, line);
    if (setext) {
      // A heading underlined with === or --- becomes an ATX heading (or plain
      // text); its underline line goes.
      const first = state.doc.lineAt(setext.heading.from);
      const was = state.sliceDoc(setext.underline.from, setext.underline.to).trim()[0] === '=' ? 1 : 2;
      const to = level === was ? 0 : level;
      if (to) changes.push({ from: parseLine(first).contentFrom, insert: '#'.repeat(to) + ' ' });
      changes.push({ from: state.doc.line(setext.underline.number - 1).to, to: setext.underline.to });
      for (let n = first.number; n <= setext.underline.number; n++) done.add(n);
      continue;
    }
    const insert = target ? '#'.repeat(target) + ' ' : '';
    const from = p.contentFrom;
    const to = from + p.heading.length;
    if (state.sliceDoc(from, to) !== insert) changes.push({ from, to, insert });
  }
  return finish(state, changes);
}

function toggleList(state, ordered) {
  const lines = selectedLines(state).filter((l) => !parseLine(l).blank);
  if (!lines.length) {
    const line = state.doc.lineAt(state.selection.main.head);
    const p = parseLine(line);
    return finish(state, [{ from: p.contentFrom, insert: ordered ? '1. ' : '- ' }]);
  }
  const isOrdered = (p) => /^\d/.test(p.list);
  const isBullet = (p) => p.list && !isOrdered(p);
  const parsed = lines.map((l) => [l, parseLine(l)]);
  const allSame = parsed.every(([, p]) => (ordered ? isOrdered(p) : isBullet(p)));
  const changes = [];
  if (allSame) {
    for (const [line, p] of parsed) {
      const from = line.from + p.quote.length + p.indent.length;
      changes.push({ from, to: from + p.list.length });
    }
    return finish(state, changes);
  }
  // Continue the numbering of an ordered list right above the selection.
  let number = 1;
  if (ordered) {
    const first = lines[0];
    if (first.number > 1) {
      const above = /^(?:[ \t]*>[ \t]?)*[ \t]*(\d{1,9})[.)]/.exec(state.doc.line(first.number - 1).text);
      if (above) number = Number(above[1]) + 1;
    }
  }
  for (const [line, p] of parsed) {
    const from = line.from + p.quote.length + p.indent.length;
    // Keep a task box when switching the kind of list.
    const task = /\[[ xX]\][ \t]+$/.exec(p.list);
    const marker = (ordered ? `${number++}. ` : '- ') + (task ? task[0] : '');
    if (state.sliceDoc(from, from + p.list.length) !== marker) changes.push({ from, to: from + p.list.length, insert: marker });
  }
  return finish(state, changes);
}

function toggleQuote(state) {
  const lines = selectedLines(state);
  const content = lines.filter((l) => l.text.trim());
  const quoted = (l) => /^[ \t]{0,3}>/.test(l.text);
  const changes = [];
  if (content.length && content.every(quoted)) {
    for (const line of lines) {
      const m = /^[ \t]{0,3}>[ \t]?/.exec(line.text);
      if (m) changes.push({ from: line.from, to: line.from + m[0].length });
    }
  } else {
    // Blank lines inside the selection get a bare ">" so the quote stays one block.
    for (const line of lines) changes.push({ from: line.from, insert: line.text.trim() ? '> ' : '>' });
  }
  return finish(state, changes);
}

function toggleCodeBlock(state) {
  const main = state.selection.main;
  const tree = syntaxTree(state);
  for (let node = tree.resolveInner(main.head, 1); node; node = node.parent) {
    if (node.name !== 'FencedCode') continue;
    // Inside a fenced block: take the fences away, keep the code.
    const open = state.doc.lineAt(node.from);
    const close = state.doc.lineAt(node.to);
    const closing = close.number > open.number && /^[ \t]*(`{3,}|~{3,})[ \t]*$/.test(close.text);
    const changes = [{ from: open.from, to: Math.min(open.to + 1, state.doc.length) }];
    if (closing) changes.push({ from: close.from - 1, to: close.to });
    return finish(state, changes);
  }
  const lines = selectedLines(state);
  const first = lines[0];
  const last = lines[lines.length - 1];
  const text = state.sliceDoc(first.from, last.to);
  const longest = Math.max(2, ...(text.match(/^[ \t]*`+/gm) || []).map((s) => s.trim().length));
  const fence = '`'.repeat(longest + 1);
  const changes = state.changes([{ from: first.from, insert: fence + '\n' }, { from: last.to, insert: '\n' + fence }]);
  // Carets stay with the code: inside the new fences, never behind the closing one.
  const inside = (pos) => (first.number === last.number && !first.text
    ? first.from + fence.length + 1
    : changes.mapPos(pos, pos === last.to ? -1 : 1));
  return {
    changes,
    selection: EditorSelection.create(
      state.selection.ranges.map((r) => EditorSelection.range(inside(r.anchor), inside(r.head))),
      state.selection.mainIndex,
    ),
    userEvent,
    scrollIntoView: true,
  };
}

function insertTable(state) {
  const main = state.selection.main;
  const tree = syntaxTree(state);
  for (let node = tree.resolveInner(main.head, 1); node; node = node.parent) {
    if (node.name !== 'Table') continue;
    // Inside a table: a new empty row below the caret's row (below the
    // delimiter row when the caret is in the header).
    const headerLine = state.doc.lineAt(node.from);
    const delimiter = state.doc.line(Math.min(headerLine.number + 1, state.doc.lines));
    const cols = delimiter.text.trim().replace(/^\|/, '').replace(/\|$/, '').split('|').length;
    let line = state.doc.lineAt(main.head);
    if (line.number <= delimiter.number) line = delimiter;
    const row = '\n|' + '  |'.repeat(cols);
    return {
      changes: { from: line.to, insert: row },
      selection: EditorSelection.cursor(line.to + 3),
      userEvent,
      scrollIntoView: true,
    };
  }

  const lines = selectedLines(state);
  const content = lines.filter((l) => l.text.trim());
  if (!main.empty && content.length && content.every((l) => l.text.includes('\t'))) {
    // Rows copied from a spreadsheet arrive tab-separated.
    const rows = content.map((l) => l.text.split('\t').map((c) => c.trim().replace(/\|/g, '\\|')));
    const cols = Math.max(...rows.map((r) => r.length));
    const fmt = (r) => '| ' + Array.from({ length: cols }, (_, i) => r[i] || '').join(' | ') + ' |';
    const table = [fmt(rows[0]), '|' + ' --- |'.repeat(cols), ...rows.slice(1).map(fmt)].join('\n');
    const from = lines[0].from;
    const to = lines[lines.length - 1].to;
    return {
      changes: { from, to, insert: table },
      selection: EditorSelection.cursor(from + table.length),
      userEvent,
      scrollIntoView: true,
    };
  }

  const table = '| 列 1 | 列 2 | 列 3 |\n| --- | --- | --- |\n|  |  |  |';
  return insertBlock(state, table, [2, 5]);
}

function insertRule(state) {
  return insertBlock(state, '---', null);
}

// Puts a block on its own, separated from the text around it by blank lines (a
// "---" right under a paragraph line would turn that line into a heading). With a
// selection [from, to) inside the block it is selected; without one the caret goes
// to the line after the block, which is created when there is none.
function insertBlock(state, block, select) {
  const main = state.selection.main;
  const line = state.doc.lineAt(main.to);
  const doc = state.doc;
  const blank = (n) => n >= 1 && n <= doc.lines && !doc.line(n).text.trim();
  let from = line.from;
  let to = line.to;
  let before = '';
  let after = '';
  if (line.text.trim()) {
    from = to = line.to;
    before = '\n\n';
  } else if (line.number > 1 && !blank(line.number - 1)) {
    before = '\n';
  }
  if (line.number < doc.lines ? !blank(line.number + 1) : !select) after = '\n';
  const insert = before + block + after;
  const start = from + before.length;
  return {
    changes: { from, to, insert },
    selection: select
      ? EditorSelection.range(start + select[0], start + select[1])
      : EditorSelection.cursor(start + block.length + (after ? 1 : 0) + (line.number < doc.lines && !after ? 1 : 0)),
    userEvent,
    scrollIntoView: true,
  };
}
