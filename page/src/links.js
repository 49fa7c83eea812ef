// Finding the link under a position and its target as the author wrote it.
import { syntaxTree } from '@codemirror/language';

const kEntities = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", nbsp: '\u00a0' };

/** A link destination as Markdown means it: without <>, escapes and entities resolved. */
export function destination(raw) {
  let s = raw.trim();
  if (s.startsWith('<') && s.endsWith('>')) s = s.slice(1, -1);
  return s
    .replace(/\\([!-/:-@[-`{-~])/g, '$1')
    .replace(/&(#x[0-9a-f]{1,6}|#[0-9]{1,7}|[a-z]+);/gi, (m, e) => {
      if (e[0] === '#') {
        const code = e[1] === 'x' || e[1] === 'X' ? parseInt(e.slice(2), 16) : parseInt(e.slice(1), 10);
        return code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : m;
      }
      return kEntities[e.toLowerCase()] ?? m;
    });
}

function normalizeLabel(label) {
  return label.trim().replace(/\s+/g, ' ').toLowerCase();
}

/** Target of a reference definition "[label]: target", searched only when followed. */
export function resolveReference(doc, label) {
  const want = normalizeLabel(label);
  const re = /^ {0,3}\[((?:[^\]\\]|\\.)+)\]:[ \t]*(<[^>\n]*>|\S+)/;
  for (const iter = doc.iter(); !iter.next().done;) {
    // iter yields lines and line breaks; a definition fits on its line.
    if (iter.lineBreak) continue;
    const m = re.exec(iter.value);
    if (m && normalizeLabel(m[1]) === want) return destination(m[2]);
  }
  return null;
}

/** The href of the link at `pos`, or null. */
export function linkAt(state, pos) {
  const tree = syntaxTree(state);
  for (const side of [1, -1]) {
    for (let node = tree.resolveInner(pos, side); node; node = node.parent) {
      const href = hrefOf(state, node);
      if (href != null) return href;
    }
  }
  return htmlLinkAt(state, pos);
}

export function hrefOf(state, node) {
  const text = (n) => state.sliceDoc(n.from, n.to);
  switch (node.name) {
    case 'Link': {
      const url = node.getChild('URL');
      if (url) return destination(text(url));
      const label = node.getChild('LinkLabel');
      if (label) return resolveReference(state.doc, text(label).slice(1, -1));
      return null;
    }
    case 'Autolink': {
      const url = node.getChild('URL');
      if (!url) return null;
      const t = text(url);
      return /^[^\s@<>]+@[^\s@<>]+$/.test(t) && !/^[a-z][a-z0-9+.-]*:/i.test(t) ? `mailto:${t}` : t;
    }
    case 'URL': {
      // Addresses inside link syntax belong to that link (handled by its parent).
      if (node.parent && /^(?:Link|Image|Autolink|LinkReference)$/.test(node.parent.name)) return null;
      const t = text(node);
      if (/^www\./i.test(t)) return `http://${t}`;
      if (/^[^\s@:/]+@[^\s@]+\.[^\s@]+$/.test(t)) return `mailto:${t}`;
      return t;
    }
    default:
      return null;
  }
}

const kDefinition = /^ {0,3}\[((?:[^\]\\]|\\.)+)\]:[ \t]*(<[^>\n]*>|\S+)/;
const kFullScan = 2000000;
const kNearScan = 200000;
let definitionCache = { doc: null, from: 0, to: 0, map: null };


/**
 * The destination a reference label is defined with ("[r]: url"), or null. A
 * document of up to 2 MB is searched whole, a larger one around `near`.
 */
export function referenceDestination(doc, label, near = 0) {
  const key = normalizeLabel(label);
  if (!key) return null;
  let from = 0;
  let to = doc.length;
  if (doc.length > kFullScan) {
    from = Math.max(0, near - kNearScan);
    to = Math.min(doc.length, near + kNearScan);
  }
  const c = definitionCache;
  if (c.doc !== doc || from < c.from || to > c.to) {
    const map = new Map();
    for (let n = doc.lineAt(from).number, last = doc.lineAt(to).number; n <= last; n++) {
      const text = doc.line(n).text;
      if (text.indexOf(']:') < 0) continue;
      const m = kDefinition.exec(text);
      if (m && !map.has(normalizeLabel(m[1]))) map.set(normalizeLabel(m[1]), destination(m[2]));
    }
    definitionCache = { doc, from, to, map };
  }
  return definitionCache.map.get(key) ?? null;
}

/** The footnote label under `pos` ("[^label]"), and whether it is the definition's. */
export function footnoteAt(doc, pos) {
  const line = doc.lineAt(pos);
  const re = /\[\^([^\]\s]+)\]/g;
  for (let m; (m = re.exec(line.text));) {
    const from = line.from + m.index;
    if (pos < from || pos > from + m[0].length) continue;
    const definition = /^ {0,3}$/.test(line.text.slice(0, m.index)) && line.text[m.index + m[0].length] === ':';
    return { label: m[1], definition };
  }
  return null;
}

/** Where a footnote's definition starts (or its first reference), or -1. */
export function footnoteTarget(doc, label, definition) {
  const mark = `[^${label}]`;
  for (let n = 1; n <= doc.lines; n++) {
    const text = doc.line(n).text;
    let at = text.indexOf(mark);
    while (at >= 0) {
      const isDef = /^ {0,3}$/.test(text.slice(0, at)) && text[at + mark.length] === ':';
      if (isDef === definition) return doc.line(n).from + at;
      at = text.indexOf(mark, at + 1);
    }
  }
  return -1;
}

/** The href, id and name of a tag's source (entities in them resolved by the caller). */
export function tagAttributes(source) {
  const attrs = {};
  const re = /\s([a-zA-Z_:][-a-zA-Z0-9_:.]*)(?:\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'=<>`]+)))?/g;
  const end = source.search(/\/?>$/);
  const inner = source.slice(0, end < 0 ? source.length : end);
  for (let m; (m = re.exec(inner));) attrs[m[1].toLowerCase()] = m[2] ?? m[3] ?? m[4] ?? '';
  return attrs;
}

/** Whether an href of HTML in the text is followed like a Markdown link: the web or a relative address. */
export function followableHref(href) {
  return href != null && href.trim() !== '' && (/^https?:\/\//i.test(href.trim()) || !/^[a-z][a-z0-9+.-]*:/i.test(href.trim()));
}

/**
 * The href of an HTML link (<a href="…">…</a>) around `pos` in the text of its
 * block, when it is one followed like a Markdown link; otherwise null.
 */
export function htmlLinkAt(state, pos) {
  let block = syntaxTree(state).resolveInner(pos, 1);
  while (block && !kLinkBlocks.test(block.name)) block = block.parent;
  if (!block) return null;
  const open = [];
  for (let c = block.firstChild; c; c = c.nextSibling) {
    if (c.name !== 'HTMLTag') continue;
    const source = state.sliceDoc(c.from, c.to);
    const m = /^<(\/?)a(?=[\s>/])/i.exec(source);
    if (!m) continue;
    if (c.from > pos) {
      // The link around the position is the one this tag closes.
      if (m[1] && open.length) return followableHref(open[open.length - 1]) ? destination(open[open.length - 1]) : null;
      if (!m[1]) return null;
      continue;
    }
    if (m[1]) {
      if (c.to <= pos) open.pop();
      else if (open.length) return followableHref(open[open.length - 1]) ? destination(open[open.length - 1]) : null;
    } else {
      open.push(tagAttributes(source).href);
    }
  }
  return null;
}

const kLinkBlocks = /^(?:Paragraph|ATXHeading\d|SetextHeading\d|TableCell)$/;

/** Where an HTML anchor (<a id="name"> or name="name") is in the text, or -1. */
export function htmlAnchorTarget(doc, name) {
  const re = /<a\s[^>]*>/gi;
  for (let n = 1; n <= doc.lines; n++) {
    const line = doc.line(n);
    if (line.text.indexOf('<a') < 0 && line.text.indexOf('<A') < 0) continue;
    re.lastIndex = 0;
    for (let m; (m = re.exec(line.text));) {
      const attrs = tagAttributes(m[0]);
      if (attrs.id === name || attrs.name === name) return line.from + m.index;
    }
  }
  return -1;
}
