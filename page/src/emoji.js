// Emoji completion: ":" and two letters offer emoji by their short names
// (":smile" → 😄), English from the emoji data's GitHub names, Chinese from
// its Chinese names and keywords. Choosing one inserts the character itself,
// so the file reads the same everywhere; ":name:" already in a text stays.
import { syntaxTree } from '@codemirror/language';
import rows from 'emoji-table';

const kMaxOptions = 40;
// The colon follows a blank, a bracket or the line start ("12:30" and
// "mailto:ab" are not asking), and two or more letters follow it.
const kQuery = /(?:^|[\s([{（【「])(:([\p{L}\p{N}_+-]{2,}))$/u;
const kCjk = /[\u3400-\u9fff\uf900-\ufaff]/;
const kNotProse = new Set(['InlineCode', 'FencedCode', 'CodeBlock', 'CodeText', 'URL', 'Autolink', 'HTMLTag',
  'HTMLBlock', 'Comment', 'CommentBlock', 'InlineMath', 'MathBlock', 'FrontMatter', 'LinkDestination']);

const table = rows.map(([char, en, zh]) => ({ char, en: en.split(' '), zh }));

/** Emoji for a query (without the colon), best first: [{char, name, zh}]. */
export function emojiMatches(query) {
  const q = query.toLowerCase();
  const cjk = kCjk.test(q);
  const scored = [];
  for (const e of table) {
    let score = 3;
    let name = e.en[0];
    if (cjk) {
      const label = e.zh.split(' ')[0];
      score = label.startsWith(q) ? 0 : label.includes(q) ? 1 : e.zh.includes(q) ? 2 : 3;
    } else {
      for (const n of e.en) {
        const s = n === q ? 0 : n.startsWith(q) ? 1 : n.includes(`_${q}`) ? 2 : 3;
        if (s < score) {
          score = s;
          name = n;
        }
      }
    }
    if (score < 3) scored.push({ score, length: name.length, char: e.char, name, zh: e.zh.split(' ')[0] });
  }
  scored.sort((x, y) => x.score - y.score || x.length - y.length);
  return scored.slice(0, kMaxOptions).map(({ char, name, zh }) => ({ char, name, zh }));
}

function inProse(state, pos) {
  for (let node = syntaxTree(state).resolveInner(pos, -1); node; node = node.parent) {
    if (kNotProse.has(node.name)) return false;
  }
  return true;
}

export function emojiSource(context) {
  const line = context.state.doc.lineAt(context.pos);
  const m = kQuery.exec(line.text.slice(Math.max(0, context.pos - line.from - 64), context.pos - line.from));
  if (!m || !inProse(context.state, context.pos)) return null;
  const options = emojiMatches(m[2]).map((e) => ({
    label: `:${e.name}:`,
    displayLabel: `${e.char}  ${e.name}`,
    detail: e.zh,
    apply: e.char,
    type: 'emoji',
  }));
  if (!options.length) return null;
  return { from: context.pos - m[1].length, options, filter: false };
}
