// The page's decisions that need no browser: unsaved-state tracking, counts,
// headings and anchors, format commands, table cells, link targets, the parse
// window and the address rules.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorState, Text } from '@codemirror/state';
import { markdown, markdownLanguage } from '@codemirror/lang-markdown';
import { ensureSyntaxTree } from '@codemirror/language';

import { DirtyTracker } from '../src/dirty.js';
import { BackupSchedule, BackupSender } from '../src/backup.js';
import { countDelta, countText } from '../src/stats.js';
import { allHeadings, plainText, slug, withAnchors } from '../src/headings.js';
import { formatChange } from '../src/format.js';
import { parseTable, splitRow } from '../src/table-parse.js';
import { destination, linkAt } from '../src/links.js';
import { windowStart } from '../src/window-parse.js';
import { imageAllowed } from '../src/widgets.js';

// A small deterministic random source, so failures reproduce.
function random(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s * 1664525 + 1013904223) >>> 0;
    return s / 2 ** 32;
  };
}

const kPieces = ['a', 'b', '\n', '中', 'word ', '文字', '\n\n', "don't ", '# ', '  '];

function randomEdit(rnd, doc) {
  const from = Math.floor(rnd() * (doc.length + 1));
  const to = Math.min(doc.length, from + Math.floor(rnd() * 6));
  const insert = rnd() < 0.3 ? '' : kPieces[Math.floor(rnd() * kPieces.length)];
  return { from, to: rnd() < 0.5 ? from : to, insert };
}

test('dirty state follows the text compared with the baseline, through any edit sequence', () => {
  for (let seed = 1; seed <= 40; seed++) {
    const rnd = random(seed);
    const base = 'Intro 中文 line\n\n- item one\n- item two\n\nEnd of text.\n';
    let state = EditorState.create({ doc: base });
    const tracker = new DirtyTracker(state.doc);
    const history = [state];
    for (let step = 0; step < 120; step++) {
      let tr;
      if (rnd() < 0.25 && history.length > 1) {
        // Undo-like: jump back to an earlier text, as one replacement.
        const back = history[Math.floor(rnd() * history.length)].doc.toString();
        tr = state.update({ changes: { from: 0, to: state.doc.length, insert: back } });
      } else {
        tr = state.update({ changes: randomEdit(rnd, state.doc) });
      }
      tracker.apply(tr.changes, tr.state.doc);
      state = tr.state;
      history.push(state);
      assert.equal(tracker.dirty, state.doc.toString() !== base, `seed ${seed} step ${step}`);
    }
  }
});

test('typing a character and deleting it again is clean; a save makes the text the baseline', () => {
  let state = EditorState.create({ doc: 'abc\ndef' });
  const tracker = new DirtyTracker(state.doc);
  const apply = (change) => {
    const tr = state.update(change);
    tracker.apply(tr.changes, tr.state.doc);
    state = tr.state;
    return tracker.dirty;
  };
  assert.equal(apply({ changes: { from: 1, insert: 'x' } }), true);
  assert.equal(apply({ changes: { from: 1, to: 2 } }), false);
  // Same length, different text: still dirty.
  assert.equal(apply({ changes: { from: 0, to: 1, insert: 'z' } }), true);
  assert.equal(tracker.setBaseline('zbc\ndef', state.doc), false);
  assert.equal(tracker.setBaseline('abc\ndef', state.doc), true);
  assert.equal(apply({ changes: { from: 0, to: 1, insert: 'a' } }), false);
  // A baseline that differs from the shown text far from the edit.
  tracker.setBaseline('abc\nxyz', state.doc);
  assert.equal(apply({ changes: { from: 0, insert: 'q' } }), true);
  assert.equal(apply({ changes: { from: 0, to: 1 } }), true);
  assert.equal(apply({ changes: { from: 4, to: 7, insert: 'xyz' } }), false);
});

test('word and CJK counts', () => {
  const cases = [
    ['', 0, 0],
    ['Hello world', 2, 0],
    ["don't stop e-mail", 3, 0],
    ['中文字数统计', 0, 6],
    ['写作 Markdown 编辑器 v2.0', 3, 5],
    ['**bold** _it_ `code` [link](http://a.b/c)', 8, 0],
    ['日本語のひらがなとカタカナ 한국어', 0, 16],
    ['Ünïcödé naïve café', 3, 0],
    ['# 标题\n\n- 列表', 0, 4],
  ];
  for (const [text, words, cjk] of cases) assert.deepEqual(countText(text), { words, cjk }, text);
});

test('count deltas of edits equal a recount of the whole text', () => {
  for (let seed = 1; seed <= 40; seed++) {
    const rnd = random(seed * 7);
    let state = EditorState.create({ doc: 'The quick 狐狸 jumps\nover\n\nthe lazy dog 懒狗.' });
    let counts = countText(state.doc.toString());
    for (let step = 0; step < 80; step++) {
      // Several ranges at once, like a multi-cursor edit.
      const edits = [randomEdit(rnd, state.doc), randomEdit(rnd, state.doc)].sort((a, b) => a.from - b.from);
      if (edits[1].from < edits[0].to) edits.pop();
      const tr = state.update({ changes: edits });
      const d = countDelta(state.doc, tr.state.doc, tr.changes);
      counts = { words: counts.words + d.words, cjk: counts.cjk + d.cjk };
      state = tr.state;
      assert.deepEqual(counts, countText(state.doc.toString()), `seed ${seed} step ${step}`);
    }
  }
});

test('headings: ATX, setext, fences, anchors', () => {
  const doc = Text.of([
    '# Title *one*', '', 'Setext heading', '==============', '', '```sh', '# not a heading', '```',
    '', '## Title one', 'para', '---', '    # indented code', '~~~', '## inside tilde', '~~~', '### 中文 标题 ###',
    '- item', '---', '#hashtag', '####### seven',
  ]);
  const found = withAnchors(allHeadings(doc));
  assert.deepEqual(found.map((h) => [h.level, h.text, h.anchor]), [
    [1, 'Title one', 'title-one'],
    [1, 'Setext heading', 'setext-heading'],
    [2, 'Title one', 'title-one-1'],
    [2, 'para', 'para'],
    [3, '中文 标题', '中文-标题'],
  ]);
  assert.equal(found[1].from, doc.line(3).from);
  assert.equal(plainText('[link **text**](u) and `code` \\*x\\*'), 'link text and code *x*');
  assert.equal(slug('  What’s New? (v1.0) '), 'whats-new-v10');
});

// Documents are written with markers: "‸" is the caret, "«" the anchor and "»"
// the head of a selection. Results are written with the caret, or with « and »
// around the selected text.
function stateOf(marked) {
  let anchor = null;
  let head = null;
  let doc = '';
  for (const ch of marked) {
    if (ch === '‸') anchor = head = doc.length;
    else if (ch === '«') anchor = doc.length;
    else if (ch === '»') head = doc.length;
    else doc += ch;
  }
  const state = EditorState.create({
    doc,
    selection: { anchor, head },
    extensions: [markdown({ base: markdownLanguage }), EditorState.allowMultipleSelections.of(true)],
  });
  ensureSyntaxTree(state, state.doc.length, 5000);
  return state;
}

function marked(state) {
  const r = state.selection.main;
  const doc = state.doc.toString();
  if (r.empty) return doc.slice(0, r.head) + '‸' + doc.slice(r.head);
  return doc.slice(0, r.from) + '«' + doc.slice(r.from, r.to) + '»' + doc.slice(r.to);
}

function runFormat(input, name) {
  const state = stateOf(input);
  const change = formatChange(state, name);
  if (!change) return null;
  const tr = state.update(change);
  return marked(tr.state);
}

test('inline formats wrap, unwrap and touch nothing else', () => {
  const cases = [
    ['a «word» b', 'bold', 'a **«word»** b'],
    ['a **«word»** b', 'bold', 'a «word» b'],
    ['a **wo‸rd** b', 'bold', 'a wo‸rd b'],
    ['a wo‸rd b', 'bold', 'a **wo‸rd** b'],
    ['a ‸ b', 'bold', 'a **‸** b'],
    ['«two words »', 'italic', '*«two words»* '],
    ['*it‸alic*', 'italic', 'it‸alic'],
    ['**bo‸ld**', 'italic', '***bo‸ld***'],
    ['- «one\n- two»', 'bold', '- **«one**\n- **two»**'],
    ['«x`y»', 'inlineCode', '``«x`y»``'],
    ['«`tick»', 'inlineCode', '`` «`tick» ``'],
    ['`co‸de`', 'inlineCode', 'co‸de'],
    ['«text»', 'link', '[text](‸)'],
    ['«https://a.b/c»', 'link', '[‸](https://a.b/c)'],
    ['see [te‸xt](u "t") now', 'link', 'see te‸xt now'],
    ['‸', 'link', '[‸]()'],
  ];
  for (const [input, name, expected] of cases) assert.equal(runFormat(input, name), expected, `${name} on ${input}`);
});

test('line formats act on the selected lines only', () => {
  const cases = [
    ['before\n\nti‸tle\n\nafter', 'h1', 'before\n\n# ti‸tle\n\nafter'],
    ['## ti‸tle', 'h1', '# ti‸tle'],
    ['# ti‸tle', 'h1', 'ti‸tle'],
    ['### ti‸tle', 'paragraph', 'ti‸tle'],
    ['> quoted ti‸tle', 'h2', '> ## quoted ti‸tle'],
    ['Seti‸ext\n===\nnext', 'h2', '## Seti‸ext\nnext'],
    ['Seti‸ext\n---', 'paragraph', 'Seti‸ext'],
    ['«one\ntwo»\nthree', 'ul', '- «one\n- two»\nthree'],
    ['- «one\n- two»', 'ul', '«one\ntwo»'],
    ['1. «one\n2. two»', 'ul', '- «one\n- two»'],
    ['«a\n\nb»', 'ol', '1. «a\n\n2. b»'],
    ['1. first\n«second\nthird»', 'ol', '1. first\n2. «second\n3. third»'],
    ['- [x] «done»', 'ol', '1. [x] «done»'],
    ['«a\n\nb»', 'quote', '> «a\n>\n> b»'],
    ['> «a\n>\n> b»', 'quote', '«a\n\nb»'],
    ['  ‸x', 'ul', '  - ‸x'],
    ['«line one\nline two»', 'h3', '### «line one\n### line two»'],
    ['«a\nb\n»c', 'quote', '> «a\n> b\n»c'],
  ];
  for (const [input, name, expected] of cases) assert.equal(runFormat(input, name), expected, `${name} on ${JSON.stringify(input)}`);
});

test('block insertions keep blank lines around them', () => {
  const cases = [
    ['text‸', 'codeBlock', '```\ntext‸\n```'],
    ['‸', 'codeBlock', '```\n‸\n```'],
    ['»a\n```\nb«', 'codeBlock', '````\n«a\n```\nb»\n````'],
    ['```js\nco‸de\n```\nafter', 'codeBlock', 'co‸de\nafter'],
    ['para‸\nnext', 'hr', 'para\n\n---\n‸\nnext'],
    ['para‸', 'hr', 'para\n\n---\n‸'],
    ['para\n‸\nnext', 'hr', 'para\n\n---\n‸\nnext'],
    ['para‸', 'table', 'para\n\n| «列 1» | 列 2 | 列 3 |\n| --- | --- | --- |\n|  |  |  |'],
    ['| a | b |\n| - | - |\n| 1|‸ 2 |', 'table', '| a | b |\n| - | - |\n| 1| 2 |\n| ‸ |  |'],
    ['«x\ty\n1\t2»', 'table', '| x | y |\n| --- | --- |\n| 1 | 2 |‸'],
  ];
  for (const [input, name, expected] of cases) assert.equal(runFormat(input, name), expected, `${name} on ${JSON.stringify(input)}`);
  assert.equal(formatChange(stateOf('x‸'), 'nonsense'), null);
});

test('table rows split into cells with their offsets', () => {
  assert.deepEqual(splitRow('| a | b\\|c | `d` |'), [
    { text: 'a', offset: 2 }, { text: 'b\\|c', offset: 6 }, { text: '`d`', offset: 13 },
  ]);
  assert.deepEqual(splitRow('x | y').map((c) => c.text), ['x', 'y']);
  assert.deepEqual(splitRow('| ends in backslash \\').map((c) => c.text), ['ends in backslash \\']);
  const t = parseTable(['> | h1 | h2 | h3 |', '> |:-|:-:|-:|', '> | only |']);
  assert.deepEqual(t.align, ['left', 'center', 'right']);
  assert.deepEqual(t.header.map((c) => c.text), ['h1', 'h2', 'h3']);
  assert.equal(t.body[0][0].offset, 4);
  assert.deepEqual(t.body[0].slice(1), [null, null]);
});

test('link targets as written', () => {
  assert.equal(destination('<a b.md>'), 'a b.md');
  assert.equal(destination('a\\_b.md'), 'a_b.md');
  assert.equal(destination('x&amp;y&#x41;'), 'x&yA');
  const doc = '[a](notes.md?x=1#part) [b][Ref] <https://x.y> <me@mail.org> www.site.org [c](#标题) plain\n\n[ref]: <other file.md> "t"\n';
  const state = stateOf(doc + '‸');
  const at = (text) => linkAt(state, doc.indexOf(text) + 1);
  assert.equal(at('[a]'), 'notes.md?x=1#part');
  assert.equal(at('[b]'), 'other file.md');
  assert.equal(at('<https'), 'https://x.y');
  assert.equal(at('<me@'), 'mailto:me@mail.org');
  assert.equal(at('www.'), 'http://www.site.org');
  assert.equal(at('[c]'), '#标题');
  assert.equal(at('plain'), null);
});

test('the parse window starts where block structure starts afresh', () => {
  const lines = ['# Doc', '', 'para', 'graph', '', '```', 'code', '', 'more code', '```', '', '    indented', '', 'next para', ''];
  const doc = Text.of(lines);
  const start = (lineNo) => windowStart(doc, doc.line(lineNo).from);
  assert.equal(start(4), doc.line(3).from);   // inside a paragraph: its start
  assert.equal(start(9), doc.line(6).from);   // inside fenced code: at its fence
  assert.equal(start(12), doc.line(6).from);  // indented code cannot start a window
  assert.equal(start(14), doc.line(14).from);
});

test('image and link addresses that may load', () => {
  for (const ok of ['assets/a.png', 'a b.png', 'C:/pics/a.png', 'file:///C:/a.png', 'https://x/y.png', 'data:image/png;base64,AAAA']) {
    assert.equal(imageAllowed(ok), true, ok);
  }
  for (const bad of ['javascript:alert(1)', 'java\tscript:alert(1)', ' JAVASCRIPT:x', 'data:text/html,<b>', 'vbscript:x', 'ftp://x/y.png']) {
    assert.equal(imageAllowed(bad), false, bad);
  }
});

test('table edits: quoted tables, short rows, escaped pipes and wide characters', async () => {
  const { tableFromLines, setCell, insertColumn, deleteColumn, formatTable } = await import('../src/table-edit.js');
  const apply = (text, spec) => EditorState.create({ doc: text }).update({ changes: spec.changes }).state.doc.toString();
  const table = (text) => tableFromLines(Text.of(text.split('\n')), 1, text.split('\n').length);
  const quoted = '> | a | b |\n> |---|---|\n> | 1 |';
  // A row shorter than the header grows only where the user typed.
  assert.equal(apply(quoted, setCell(table(quoted), 1, 1, 'x|y')), '> | a | b |\n> |---|---|\n> | 1 | x\\|y |');
  assert.equal(apply(quoted, insertColumn(table(quoted), 0, false)), '> |   | a | b |\n> | --- |---|---|\n> |   | 1 |');
  const bare = 'a | b \\| c\n--|--\n1 | 2';
  assert.equal(table(bare).lines[0].cells[1].text, 'b \\| c');
  assert.equal(apply(bare, deleteColumn(table(bare), 1)), 'a\n--\n1');
  assert.equal(apply('| 中文 | b |\n|-|-|\n| x | y |', formatTable(table('| 中文 | b |\n|-|-|\n| x | y |'))),
    '| 中文 | b   |\n| ---- | --- |\n| x    | y   |');
  assert.equal(formatTable(table('| a   |\n| --- |')), null);
});

test('backups: a second after typing stops, at least every ten seconds, never for clean text', (t) => {
  t.mock.timers.enable({ apis: ['setTimeout'] });
  let clock = 0;
  const sent = [];
  const schedule = new BackupSchedule(() => sent.push(clock), { now: () => clock });
  const advance = (ms) => { clock += ms; t.mock.timers.tick(ms); };

  schedule.changed(true);
  advance(999);
  assert.deepEqual(sent, []);
  advance(1);
  assert.deepEqual(sent, [1000]);
  // Nothing changed since: nothing more is sent.
  advance(30000);
  assert.deepEqual(sent, [1000]);

  // Typing on without a pause still gives one every ten seconds.
  sent.length = 0;
  const start = clock;
  for (let i = 0; i < 250; i++) {
    schedule.changed(true);
    advance(100);
  }
  assert.deepEqual(sent.map((at) => at - start), [10000, 20000]);

  // Undone back to the saved text: the pending backup is dropped.
  sent.length = 0;
  schedule.changed(true);
  advance(500);
  schedule.changed(false);
  advance(5000);
  assert.deepEqual(sent, []);
  assert.equal(schedule.pending, false);
});

test('backup slices join to the text, never split a surrogate pair, and stop for a newer backup', () => {
  const queue = [];
  const sent = [];
  const sender = new BackupSender((m) => sent.push(m), { slice: 4, later: (fn) => queue.push(fn) });
  const doc = Text.of(['ab😀c😀😀', '中文😀']);
  sender.send(doc);
  while (queue.length) queue.shift()();
  assert.equal(sent.map((m) => m.text).join(''), doc.toString());
  assert.deepEqual(sent.map((m) => m.part), sent.map((_, i) => i));
  assert.deepEqual(sent.map((m) => m.last), sent.map((_, i) => i === sent.length - 1));
  for (const m of sent) assert.ok(!/[\ud800-\udbff]$/.test(m.text), JSON.stringify(m.text));

  // A second backup before the first is through: the first sends no more.
  sent.length = 0;
  sender.send(doc);
  sender.send(Text.of(['new']));
  while (queue.length) queue.shift()();
  const newer = sender.id;
  assert.equal(sent.filter((m) => m.id === newer - 1).length, 1);
  assert.equal(sent.filter((m) => m.id === newer).map((m) => m.text).join(''), 'new');
});
