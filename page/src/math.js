// Math: "$…$" inline and "$$…$$" blocks, the same rules for the rendered view's
// parser and for markdown-it, typeset by KaTeX as MathML. The browser lays MathML
// out with its own math font, so neither the page nor an exported file needs
// KaTeX's fonts, and the export stays one self-contained file.
import katex from 'katex';

const kDollar = 36;
const kBackslash = 92;
const isSpace = (c) => c === 32 || c === 9 || c === 10 || c === 13;
const isDigit = (c) => c >= 48 && c <= 57;

/**
 * The end (after the closing marks) of inline math opening at `pos`, or -1.
 * "$x$" needs no blank inside either mark, no digit after the closing one and
 * no other dollar inside, so "$5 and $6" stays text; "$$x$$" is math in the
 * line too.
 */
export function inlineMathEnd(at, pos, end) {
  if (at(pos) !== kDollar) return -1;
  const double = at(pos + 1) === kDollar;
  const start = pos + (double ? 2 : 1);
  if (start >= end || (!double && isSpace(at(start)))) return -1;
  for (let i = start; i < end; i++) {
    const c = at(i);
    if (c === kBackslash) {
      i++;
      continue;
    }
    if (c !== kDollar) continue;
    if (double) {
      if (at(i + 1) === kDollar && i > start) return i + 2;
      return -1;
    }
    // A dollar that cannot close ends the attempt: "$5 and $6" is text.
    if (i === start || isSpace(at(i - 1)) || isDigit(at(i + 1))) return -1;
    return i + 1;
  }
  return -1;
}

/**
 * Lines of a "$$" block: `line(k)` gives the k-th line from the opening one
 * (null past the end). Returns the number of lines, or 0 when the block is not
 * closed before a blank line (then it is text).
 */
export function mathBlockLines(line, limit = 500) {
  const first = line(0);
  if (first == null || !first.trimStart().startsWith('$$')) return 0;
  const rest = first.trim().slice(2);
  if (rest.length >= 2 && rest.endsWith('$$')) return 1;
  for (let k = 1; k < limit; k++) {
    const text = line(k);
    if (text == null || !text.trim()) return 0;
    if (text.trimEnd().endsWith('$$')) return k + 1;
  }
  return 0;
}

/** The TeX of a "$$" block's text (the marks and the lines around them removed). */
export function blockTex(source) {
  return source.trim().replace(/^\$\$/, '').replace(/\$\$$/, '').trim();
}

const cache = new Map();

// What one formula may cost. Longer sources are shown as source; macros the
// document defines may expand to so many tokens in all (KaTeX counts only
// the number of expansions, so "\def\a{…2,000 x…}" used 200 times would
// typeset 400,000 of them); the typeset result may be so large.
export const kMaxTexLength = 10000;
const kMaxMacroTokens = 20000;
const kMaxMathMarkup = 100000;

function escapeText(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// A formula that cannot be typeset shows its source in the error style.
function sourceMarkup(tex, message) {
  return `<span class="katex-error" title="${escapeText(message)}">${escapeText(tex)}</span>`;
}

class MacroBudgetExceeded extends Error {}

// The document's own macros, counted as KaTeX looks them up for expansion.
function countedMacros() {
  let tokens = 0;
  return new Proxy({}, {
    get(target, name, receiver) {
      const value = Reflect.get(target, name, receiver);
      if (value && typeof value === 'object' && Array.isArray(value.tokens)) tokens += value.tokens.length;
      else if (typeof value === 'string') tokens += value.length;
      if (tokens > kMaxMacroTokens) throw new MacroBudgetExceeded('公式展开过大');
      return value;
    },
  });
}

function typeset(tex, display) {
  if (tex.length > kMaxTexLength) return sourceMarkup(tex, '公式过长');
  try {
    const html = katex.renderToString(tex, {
      output: 'mathml', displayMode: display, throwOnError: false, trust: false, strict: 'ignore',
      maxExpand: 1000, maxSize: 50, macros: countedMacros(),
    });
    return html.length > kMaxMathMarkup ? sourceMarkup(tex, '公式过大') : html;
  } catch (error) {
    // Deep nesting overflows the stack, budgets run out: the formula stays
    // source and the rest of the document renders.
    return sourceMarkup(tex, error instanceof MacroBudgetExceeded ? error.message : String(error?.message ?? error));
  }
}

/** MathML markup of TeX; a formula that fails comes back as its source in the error style. */
export function mathMarkup(tex, display) {
  const key = (display ? 'D' : 'I') + tex;
  let html = cache.get(key);
  if (html == null) {
    html = typeset(tex, display);
    if (cache.size > 2000) cache.clear();
    cache.set(key, html);
  }
  return html;
}

// ---------------------------------------------------------------- markdown-it

export function mathPlugin(md) {
  md.inline.ruler.after('escape', 'vesk_math', (state, silent) => {
    const src = state.src;
    const end = inlineMathEnd((i) => src.charCodeAt(i), state.pos, state.posMax);
    if (end < 0) return false;
    if (!silent) {
      const double = src.charCodeAt(state.pos + 1) === kDollar;
      const token = state.push('vesk_math_inline', 'math', 0);
      token.content = src.slice(state.pos + (double ? 2 : 1), end - (double ? 2 : 1));
      token.markup = double ? '$$' : '$';
    }
    state.pos = end;
    return true;
  });
  md.block.ruler.before('fence', 'vesk_math_block', (state, startLine, endLine, silent) => {
    if (state.sCount[startLine] - state.blkIndent >= 4) return false;
    const text = (n) => (n < endLine ? state.src.slice(state.bMarks[n] + state.tShift[n], state.eMarks[n]) : null);
    const count = mathBlockLines((k) => text(startLine + k));
    if (!count) return false;
    if (silent) return true;
    const lines = [];
    for (let k = 0; k < count; k++) lines.push(text(startLine + k));
    const token = state.push('vesk_math_block', 'math', 0);
    token.content = blockTex(lines.join('\n'));
    token.map = [startLine, startLine + count];
    token.block = true;
    state.line = startLine + count;
    return true;
  });
  md.renderer.rules.vesk_math_inline = (tokens, i) => mathMarkup(tokens[i].content, tokens[i].markup === '$$');
  md.renderer.rules.vesk_math_block = (tokens, i) => `<div class="math-block">${mathMarkup(tokens[i].content, true)}</div>\n`;
}

// ---------------------------------------------------------------- the rendered view's parser

/** A lezer-markdown extension: InlineMath and MathBlock nodes with MathMark marks. */
export const mathSyntax = {
  defineNodes: [{ name: 'InlineMath' }, { name: 'MathMark' }, { name: 'MathBlock', block: true }],
  parseInline: [{
    name: 'InlineMath',
    parse(cx, next, pos) {
      if (next !== kDollar) return -1;
      const end = inlineMathEnd((i) => cx.char(i), pos, cx.end);
      if (end < 0) return -1;
      const w = cx.char(pos + 1) === kDollar ? 2 : 1;
      return cx.addElement(cx.elt('InlineMath', pos, end, [cx.elt('MathMark', pos, pos + w), cx.elt('MathMark', end - w, end)]));
    },
  }],
  parseBlock: [{
    name: 'MathBlock',
    before: 'FencedCode',
    parse(cx, line) {
      if (line.indent - line.baseIndent >= 4 || line.next !== kDollar) return false;
      // Looked ahead in the input first: an unclosed "$$" is text, and lines
      // once consumed cannot be given back.
      const start = cx.lineStart + line.pos;
      const ahead = cx.input.read(start, Math.min(cx.input.length, start + 64000)).split('\n');
      const count = mathBlockLines((k) => (k < ahead.length ? ahead[k] : null));
      if (!count) return false;
      let end = start + line.text.length - line.pos;
      for (let k = 1; k < count; k++) {
        if (!cx.nextLine()) break;
        end = cx.lineStart + line.text.length;
      }
      cx.nextLine();
      cx.addElement(cx.elt('MathBlock', start, end));
      return true;
    },
  }],
};
