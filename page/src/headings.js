// Headings for the table of contents and for in-page anchors.
//
// A line scan rather than the syntax tree: the tree of a large document is only
// parsed as far as it has been shown, while the table of contents needs every
// heading. The scan knows fenced code (a "# comment" inside a code block is no
// heading), ATX headings and setext underlines after a paragraph line.

import { frontMatterEnd } from './extras.js';

const kAtx = /^ {0,3}(#{1,6})(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$/;
const kFence = /^ {0,3}(`{3,}|~{3,})(.*)$/;
const kSetext = /^ {0,3}(=+|-+)[ \t]*$/;
// Lines that cannot be the text of a setext heading: blank, block starts.
const kNotParagraph = /^(?:\s*$| {0,3}(?:[>#]|[-+*][ \t]|\d{1,9}[.)][ \t]|`{3}|~{3}|<)| {4,}|\t)/;

/**
 * Scans lines `fromLine`.. of `doc` (a CodeMirror Text); `state` carries the scan
 * across calls so that a large document can be scanned in slices. Returns the
 * next line to scan, or 0 at the end. Found headings go to `out`.
 */
export function scanHeadings(doc, state, out, maxLines = Infinity) {
  let n = state.line || 1;
  const last = doc.lines;
  // Front matter holds no headings (its closing "---" is no setext underline).
  if (n === 1) n = frontMatterEnd((k) => doc.line(k).text, last) + 1;
  const stop = Math.min(last, n + maxLines - 1);
  for (; n <= stop; n++) {
    const line = doc.line(n);
    const text = line.text;
    if (state.fence) {
      const m = kFence.exec(text);
      if (m && m[1][0] === state.fence[0] && m[1].length >= state.fence.length && !m[2].trim()) state.fence = null;
      state.prevParagraph = false;
      continue;
    }
    const fence = kFence.exec(text);
    if (fence && !(fence[1][0] === '`' && fence[2].includes('`'))) {
      state.fence = fence[1];
      state.prevParagraph = false;
      continue;
    }
    const atx = kAtx.exec(text);
    if (atx) {
      out.push({ level: atx[1].length, text: plainText(atx[2] || ''), from: line.from });
      state.prevParagraph = false;
      continue;
    }
    const setext = kSetext.exec(text);
    if (setext && state.prevParagraph) {
      const prev = doc.line(n - 1);
      out.push({ level: setext[1][0] === '=' ? 1 : 2, text: plainText(prev.text.trim()), from: prev.from });
      state.prevParagraph = false;
      continue;
    }
    state.prevParagraph = !kNotParagraph.test(text);
  }
  state.line = n;
  return n > last ? 0 : n;
}

export function allHeadings(doc) {
  const out = [];
  scanHeadings(doc, {}, out);
  return out;
}

/** Heading text without Markdown punctuation, as a reader sees it. */
export function plainText(md) {
  return md
    // Escaped punctuation is set aside first so that it never counts as syntax.
    .replace(/\\([!-/:-@[-`{-~])/g, (m, c) => String.fromCharCode(0xe000 + c.charCodeAt(0)))
    .replace(/!?\[([^\]]*)\]\([^)]*\)/g, '$1')
    .replace(/!?\[([^\]]*)\]\[[^\]]*\]/g, '$1')
    .replace(/<[^>]+>/g, '')
    .replace(/(`+)(.+?)\1/g, '$2')
    .replace(/(\*\*|__|~~|\*|_)(?=\S)(.+?)(?<=\S)\1/g, '$2')
    .replace(/[\ue000-\ue07f]/g, (c) => String.fromCharCode(c.charCodeAt(0) - 0xe000))
    .trim();
}

/** Anchor name of a heading: lower case, punctuation dropped, spaces as hyphens. */
export function slug(text) {
  return text
    .trim()
    .toLowerCase()
    .replace(/[^\p{L}\p{N}\p{M}\s_-]/gu, '')
    .replace(/\s/g, '-');
}

/** Gives every heading an anchor, numbering repeats the way links expect. */
export function withAnchors(headings) {
  const seen = new Map();
  for (const h of headings) {
    const base = slug(h.text);
    const count = seen.get(base) || 0;
    h.anchor = count ? `${base}-${count}` : base;
    seen.set(base, count + 1);
  }
  return headings;
}
