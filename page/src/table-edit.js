// Editing a Markdown table as a table: the cells of its source lines with their
// positions, and the table commands as transactions. Every command changes only
// the text it is about (one cell, one row, one column's cells, one delimiter);
// the pipes of the whole table are re-aligned only by formatTable.
import { syntaxTree } from '@codemirror/language';

const kPrefix = /^[ \t]*(?:>[ \t]?)*/;

/** Segments between the unescaped pipes of a row (relative to the line). */
function rowSegments(text, start) {
  const pipes = [];
  for (let i = start; i < text.length; i++) {
    if (text[i] === '\\') i++;
    else if (text[i] === '|') pipes.push(i);
  }
  let i = start;
  while (i < text.length && (text[i] === ' ' || text[i] === '\t')) i++;
  const lead = pipes.length > 0 && pipes[0] === i;
  const bounds = lead ? pipes : [start - 1, ...pipes];
  const trailing = text.slice((pipes.length ? pipes[pipes.length - 1] : start) + 1).trim() === '' && pipes.length > (lead ? 1 : 0);
  const segs = [];
  for (let k = 0; k < bounds.length; k++) {
    const a = bounds[k] + 1;
    const b = k + 1 < bounds.length ? bounds[k + 1] : text.length;
    if (k + 1 === bounds.length && trailing) break;
    const raw = text.slice(a, b);
    const l = raw.length - raw.trimStart().length;
    const content = raw.trim();
    segs.push({ start: a, end: b, from: a + l, to: a + l + content.length, text: content, closed: k + 1 < bounds.length });
  }
  return { segs, lead, trailing };
}

/** The table around document position `pos`, or null. */
export function tableAt(state, pos) {
  let node = syntaxTree(state).resolveInner(pos, 1);
  while (node && node.name !== 'Table') node = node.parent;
  if (!node) return null;
  return tableFromLines(state.doc, state.doc.lineAt(node.from).number, state.doc.lineAt(node.to).number);
}

/** The table made of document lines first..last. */
export function tableFromLines(doc, first, last) {
  const lines = [];
  for (let n = first; n <= last; n++) {
    const line = doc.line(n);
    const prefix = kPrefix.exec(line.text)[0].length;
    const { segs, lead, trailing } = rowSegments(line.text, prefix);
    lines.push({
      from: line.from, to: line.to, text: line.text, prefix: line.text.slice(0, prefix), lead, trailing,
      cells: segs.map((s) => ({ ...s, start: line.from + s.start, end: line.from + s.end, from: line.from + s.from, to: line.from + s.to })),
    });
  }
  if (lines.length < 2) return null;
  const align = lines[1].cells.map((c) => {
    const t = c.text.replace(/\s/g, '');
    if (t.startsWith(':') && t.endsWith(':') && t.length > 1) return 'center';
    if (t.endsWith(':')) return 'right';
    if (t.startsWith(':')) return 'left';
    return '';
  });
  return { from: lines[0].from, to: lines[lines.length - 1].to, lines, cols: lines[0].cells.length, align };
}

/** Row index (0 the header, 1… the body rows) of a source line index. */
export const rowOfLine = (i) => (i === 0 ? 0 : i - 1);
/** Source line index of a row. */
export const lineOfRow = (r) => (r === 0 ? 0 : r + 1);
export const rowCount = (table) => table.lines.length - 1;

/** The row and column of a position inside the table. */
export function cellAt(table, pos) {
  const i = table.lines.findIndex((l) => pos >= l.from && pos <= l.to);
  if (i < 0 || i === 1) return null;
  const cells = table.lines[i].cells;
  let col = cells.findIndex((c) => pos <= c.end);
  if (col < 0) col = Math.max(0, cells.length - 1);
  return { row: rowOfLine(i), col: Math.min(col, table.cols - 1) };
}

/** A cell's text escaped for the source: a pipe would end the cell, a line break the row. */
export function escapeCell(text) {
  return text.replace(/\r?\n/g, ' ').replace(/(^|[^\\])\|/g, '$1\\|').replace(/(^|[^\\])\|/g, '$1\\|');
}

/** Replaces the text of one cell; only that cell's source changes. */
export function setCell(table, row, col, value) {
  const line = table.lines[lineOfRow(row)];
  const text = escapeCell(value);
  const cell = line.cells[col];
  if (cell) {
    if (cell.from < cell.to || !text) return { changes: { from: cell.from, to: cell.to, insert: text }, at: cell.from + text.length };
    // An empty cell: the text goes between the blanks of the segment.
    const before = cell.start > line.from + line.prefix.length || line.lead ? ' ' : '';
    const after = cell.closed ? ' ' : '';
    return { changes: { from: cell.start, to: cell.end, insert: before + text + after }, at: cell.start + before.length + text.length };
  }
  // A row shorter than the header: the missing cells are added at its end.
  const missing = col - line.cells.length;
  let insert = '';
  if (!line.trailing && line.cells.length) insert += ' |';
  insert += ' |'.repeat(missing) + ` ${text} |`;
  return { changes: { from: line.to, insert }, at: line.to + insert.length - 2 };
}

/**
 * Replaces what was last written into a cell (`previous`, as typed, blanks
 * and all) with `value`. A blank typed at either end of a cell is text the
 * user is still typing: it stays in the source, and the cell's own padding
 * around it is kept as it was.
 */
export function retypeCell(table, row, col, previous, value) {
  const line = table.lines[lineOfRow(row)];
  const cell = line && line.cells[col];
  if (cell && previous.trim()) {
    const segment = line.text.slice(cell.start - line.from, cell.end - line.from);
    const at = segment.indexOf(previous);
    if (at >= 0 && !segment.slice(0, at).trim() && !segment.slice(at + previous.length).trim()) {
      const from = cell.start + at;
      return { changes: { from, to: from + previous.length, insert: escapeCell(value) } };
    }
  }
  return setCell(table, row, col, value);
}

function blankRow(table, line) {
  return line.prefix + '|' + '   |'.repeat(table.cols);
}

/** A new empty row below (or above) `row`; the header gets rows below only. */
export function insertRow(table, row, below = true) {
  const i = lineOfRow(row);
  if (row === 0 || below) {
    const at = i === 0 ? table.lines[1] : table.lines[i];
    return { changes: { from: at.to, insert: '\n' + blankRow(table, at) }, row: row + 1 };
  }
  const at = table.lines[i];
  return { changes: { from: at.from, insert: blankRow(table, at) + '\n' }, row };
}

/** Removes a body row (the header stays). */
export function deleteRow(table, row) {
  if (row < 1) return null;
  const line = table.lines[lineOfRow(row)];
  const prev = table.lines[lineOfRow(row) - 1];
  return { changes: { from: prev.to, to: line.to }, row: Math.min(row, rowCount(table) - 1) };
}

/** A new empty column after (or before) `col`, in every row that reaches it. */
export function insertColumn(table, col, after = true) {
  const changes = [];
  table.lines.forEach((line, i) => {
    const cell = line.cells[col];
    const blank = i === 1 ? ' --- ' : '   ';
    if (!cell) return;
    if (after) {
      if (cell.closed) changes.push({ from: cell.end + 1, insert: `${blank}|` });
      else changes.push({ from: line.to, insert: ` |${blank}` });
    } else if (col > 0 || line.lead) {
      changes.push({ from: cell.start, insert: `${blank}|` });
    } else {
      changes.push({ from: cell.from, insert: `${blank.trim() || ' '} | ` });
    }
  });
  return { changes, col: after ? col + 1 : col };
}

/** Removes a column from every row that has it; the last column stays. */
export function deleteColumn(table, col) {
  if (table.cols < 2) return null;
  const changes = [];
  for (const line of table.lines) {
    const cell = line.cells[col];
    if (!cell) continue;
    if (cell.closed) changes.push({ from: cell.start, to: cell.end + 1 });
    else {
      // The last cell without a closing pipe goes with the pipe and blanks before it.
      let from = cell.start - 1;
      while (from > line.from && /[ \t]/.test(line.text[from - line.from - 1])) from--;
      changes.push({ from, to: line.to });
    }
  }
  return { changes, col: Math.max(0, Math.min(col, table.cols - 2)) };
}

/** Sets the alignment of a column: only its delimiter cell changes. */
export function alignColumn(table, col, align) {
  const cell = table.lines[1].cells[col];
  if (!cell) return null;
  const n = Math.max(3, cell.text.length);
  const dashes = (k) => '-'.repeat(Math.max(1, n - k));
  const text = align === 'left' ? ':' + dashes(1) : align === 'right' ? dashes(1) + ':' : align === 'center' ? ':' + dashes(2) + ':' : dashes(0);
  if (text === cell.text) return null;
  return { changes: { from: cell.from, to: cell.to, insert: text } };
}

// East Asian wide characters take two columns in a monospace face.
function width(text) {
  let w = 0;
  for (const ch of text) w += /[\u1100-\u115f\u2e80-\ua4cf\uac00-\ud7a3\uf900-\ufaff\ufe30-\ufe4f\uff00-\uff60\uffe0-\uffe6]|[\u{20000}-\u{3fffd}]/u.test(ch) ? 2 : 1;
  return w;
}

/** Re-aligns the pipes of the whole table (the explicit command only). */
export function formatTable(table) {
  const widths = Array.from({ length: table.cols }, (_, c) => Math.max(3, ...table.lines.filter((_, i) => i !== 1).map((l) => width(l.cells[c]?.text ?? ''))));
  const pad = (text, w, align) => {
    const gap = w - width(text);
    if (align === 'right') return ' '.repeat(gap) + text;
    if (align === 'center') return ' '.repeat(gap >> 1) + text + ' '.repeat(gap - (gap >> 1));
    return text + ' '.repeat(gap);
  };
  const changes = [];
  table.lines.forEach((line, i) => {
    const cells = widths.map((w, c) => {
      if (i !== 1) return pad(line.cells[c]?.text ?? '', w, table.align[c]);
      const a = table.align[c];
      return a === 'center' ? ':' + '-'.repeat(w - 2) + ':' : a === 'right' ? '-'.repeat(w - 1) + ':' : a === 'left' ? ':' + '-'.repeat(w - 1) : '-'.repeat(w);
    });
    const text = `${line.prefix}| ${cells.join(' | ')} |`;
    if (text !== line.text) changes.push({ from: line.from, to: line.to, insert: text });
  });
  return changes.length ? { changes } : null;
}
