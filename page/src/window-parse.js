// Parsing large documents around the viewport only.
//
// The Markdown parser's incremental reparse still walks the whole document's
// block list: an edit at the end of ten megabytes costs a fifth of a second. The
// rendered view only needs the syntax tree of what is on screen, so above a size
// the parser is run on a window of text around the viewport, starting at a line
// where Markdown block structure starts afresh. The rest of the document is
// registered as skipped, so the editor parses again when the viewport moves out of
// the window. The text is never affected; only the styling of a window's first
// lines could differ in exotic cases (an HTML block spanning blank lines).
import { Parser, Tree } from '@lezer/common';
import { ParseContext } from '@codemirror/language';

export const kWholeParseLimit = 256000;
const kMargin = 50000;

/** Whether a line opens or closes a fence: its character and length, or null. */
function fenceOf(text) {
  let i = 0;
  while (i < 3 && text.charCodeAt(i) === 32) i++;
  const c = text.charCodeAt(i);
  if (c !== 96 && c !== 126) return null; // ` ~
  let n = i;
  while (text.charCodeAt(n) === c) n++;
  if (n - i < 3) return null;
  return { char: c, length: n - i, rest: text.slice(n) };
}

/**
 * The start of the latest line at or before `target` where parsing can begin:
 * outside fenced code, after a blank line, not indented. Scans from the start of
 * the document, which only happens when the window moves.
 */
export function windowStart(doc, target) {
  let best = 0;
  let fence = null;
  let prevBlank = true;
  let pos = 0;
  const lastLine = doc.lineAt(target).number;
  for (const iter = doc.iterLines(1, lastLine + 1); !iter.next().done;) {
    const text = iter.value;
    const f = text.length >= 3 ? fenceOf(text) : null;
    if (fence) {
      if (f && f.char === fence.char && f.length >= fence.length && !f.rest.trim()) fence = null;
      prevBlank = false;
    } else {
      const blank = !text.trim();
      if (!blank && prevBlank) {
        const c = text.charCodeAt(0);
        if (c !== 32 && c !== 9) best = pos;
      }
      // A backtick fence's info string cannot hold a backtick.
      if (f && !(f.char === 96 && f.rest.includes('`'))) fence = f;
      prevBlank = blank;
    }
    pos += text.length + 1;
  }
  // No usable line for a long stretch (one huge block): start at the target line.
  return target - best > 4 * kMargin ? doc.lineAt(target).from : best;
}

function unchangedBefore(fragments, pos) {
  if (pos === 0) return true;
  return fragments.length > 0 && fragments[0].from === 0 && fragments[0].to >= pos;
}

/** Picks the window for this parse, reusing the previous one while it still fits. */
function chooseWindow(cx, doc, fragments) {
  const len = doc.length;
  const vp = cx.viewport;
  const skipped = cx.skipped || [];
  const head = skipped.find((r) => r.from === 0);
  const tail = skipped.find((r) => r.to === len);
  if (head || tail) {
    const from = head ? head.to : 0;
    const to = tail ? tail.from : len;
    if (from <= vp.from && vp.to <= to && to - from < 6 * kMargin && unchangedBefore(fragments, from)) return { from, to };
  }
  const from = windowStart(doc, Math.max(0, vp.from - kMargin));
  const to = doc.lineAt(Math.min(len, Math.max(vp.to, from) + kMargin)).to;
  return { from, to };
}

export class WindowedParser extends Parser {
  constructor(inner) {
    super();
    this.inner = inner;
  }

  createParse(input, fragments, ranges) {
    const len = input.length;
    const cx = ParseContext.get();
    if (len <= kWholeParseLimit || !cx || ranges.length !== 1 || ranges[0].from !== 0 || ranges[0].to !== len) {
      return this.inner.startParse(input, fragments, ranges);
    }
    const win = chooseWindow(cx, cx.state.doc, fragments);
    // Forget skipped ranges the window now covers; mark what lies outside it.
    if (cx.skipped) {
      for (let i = cx.skipped.length - 1; i >= 0; i--) {
        const r = cx.skipped[i];
        if (r.from < win.to && r.to > win.from) cx.skipped.splice(i, 1);
      }
    }
    if (win.from > 0) cx.skipUntilInView(0, win.from);
    if (win.to < len) cx.skipUntilInView(win.to, len);

    const inner = this.inner.startParse(input, fragments, [win]);
    return {
      get parsedPos() {
        return inner.parsedPos;
      },
      get stoppedAt() {
        return inner.stoppedAt;
      },
      stopAt(pos) {
        inner.stopAt(Math.max(pos, win.from));
      },
      advance() {
        const tree = inner.advance();
        if (!tree) return null;
        // The window's tree is relative to its start; the editor wants one for the
        // whole document.
        const length = inner.stoppedAt != null ? win.from + tree.length : len;
        return new Tree(tree.type, tree.children, tree.positions.map((p) => p + win.from), length);
      },
    };
  }
}
