// Splitting the source lines of a Markdown table into cells and alignments.

/** Cells of one table row, each with its text and its offset in the line. */
export function splitRow(line) {
  const cells = [];
  let i = 0;
  while (i < line.length && (line[i] === ' ' || line[i] === '\t')) i++;
  if (line[i] === '|') i++;
  let start = i;
  for (; i <= line.length; i++) {
    const c = line[i];
    if (c === '\\' && i + 1 < line.length) {
      i++; // an escaped pipe belongs to the cell
      continue;
    }
    if (c === '|' || i === line.length) {
      const raw = line.slice(start, i);
      const lead = raw.length - raw.trimStart().length;
      cells.push({ text: raw.trim(), offset: start + lead });
      start = i + 1;
    }
  }
  // A closing pipe leaves an empty cell behind it.
  if (cells.length > 1 && !cells[cells.length - 1].text && /\|\s*$/.test(line)) cells.pop();
  return cells;
}

const kPrefix = /^[ \t]*(?:>[ \t]?)*/;

/** Header, alignments and rows of a table's source lines. */
export function parseTable(lines) {
  const rows = lines.map((text) => {
    const prefix = kPrefix.exec(text)[0].length;
    return splitRow(text.slice(prefix)).map((c) => ({ text: c.text, offset: c.offset + prefix }));
  });
  const align = rows[1].map((c) => {
    const t = c.text.replace(/\s/g, '');
    if (t.startsWith(':') && t.endsWith(':')) return 'center';
    if (t.endsWith(':')) return 'right';
    if (t.startsWith(':')) return 'left';
    return '';
  });
  const cols = rows[0].length;
  const fit = (row) => Array.from({ length: cols }, (_, i) => row[i] || null);
  return { align, header: fit(rows[0]), body: rows.slice(2).map(fit) };
}
