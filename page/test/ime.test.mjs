// Chinese input: a composition (driven through the DevTools protocol's IME
// commands) is never interrupted by the rendered view redrawing the line under
// it, and commits exactly the chosen characters.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch } from './harness.mjs';

let browser;
let ed;
before(async () => {
  browser = await launch();
  ed = await EditorPage.open(browser);
});
after(async () => { await browser?.close(); });

// Marks the line element and the text node under the caret; a redraw of the line
// during the composition would replace them.
async function markCaretLine() {
  // The caret is drawn into the editor's text before its line is marked.
  await ed.until(() => {
    const node = getSelection().anchorNode;
    return node && document.querySelector('.cm-content').contains(node);
  });
  await ed.page.evaluate(() => {
    const sel = getSelection();
    const node = sel.anchorNode;
    const line = (node.nodeType === 1 ? node : node.parentElement).closest('.cm-line');
    line.__veskMark = true;
    window.__veskLine = line;
  });
}

async function caretLineIntact() {
  return ed.page.evaluate(() => window.__veskLine.isConnected && window.__veskLine.__veskMark === true &&
    window.__veskLine.contains(getSelection().anchorNode));
}

// The composing text is in the text under the caret.
const composing = (text) => ed.until((t) => getSelection().anchorNode?.textContent.includes(t), text);
// The commit reached the document and the composition is over.
const committed = (text) => ed.until((t) => !window.__view().composing && window.__view().state.doc.toString().includes(t), text);

async function compose(steps, commit) {
  for (const text of steps) {
    await ed.cdp.send('Input.imeSetComposition', { text, selectionStart: text.length, selectionEnd: text.length });
    await composing(text);
    assert.equal(await caretLineIntact(), true, `line redrawn while composing "${text}"`);
  }
  await ed.cdp.send('Input.insertText', { text: commit });
  await committed(commit);
}

const doc = '# 标题 Title\n\n正文 **粗体** 和 [链接](u) 文字\n\n- 列表 item\n\nend';

test('composing inside bold text, a heading and a list item', async () => {
  await ed.load(doc);
  const cases = [
    { at: doc.indexOf('粗体') + 2, steps: ['z', 'zh', 'zhong', 'zhong w', 'zhongwen'], commit: '中文' },
    { at: doc.indexOf('Title') + 5, steps: ['p', 'pin', 'pinyin'], commit: '拼音' },
    { at: doc.indexOf('列表') + 2, steps: ['s', 'shu', 'shuru'], commit: '输入' },
  ];
  let expected = doc;
  for (const c of cases) {
    const at = expected.indexOf(doc.slice(c.at - 2, c.at)) + 2;
    await ed.select(at);
    await markCaretLine();
    await compose(c.steps, c.commit);
    expected = expected.slice(0, at) + c.commit + expected.slice(at);
    assert.equal(await ed.snapshot(), expected);
  }
  // After the composition the line is styled again from the new text.
  await ed.select(expected.indexOf('end'));
  await ed.page.waitForSelector('.cm-md-strong >> text=粗体中文', { timeout: 60000 });
  assert.deepEqual(await ed.messages('error'), []);
});

test('a composition that starts right after moving to another line', async () => {
  await ed.load(doc);
  await ed.select(doc.length);
  await ed.until((n) => window.__view().state.selection.main.head === n, doc.length);
  // Moving the caret reveals the marks of the new line; the composition begins
  // at once, before any further update.
  const at = doc.indexOf('[链接]');
  await ed.select(at);
  await markCaretLine();
  await compose(['h', 'ha', 'hao'], '好');
  assert.equal(await ed.snapshot(), doc.slice(0, at) + '好' + doc.slice(at));
});

test('cancelling a composition leaves the text as it was', async () => {
  await ed.load(doc);
  const at = doc.indexOf('文字');
  await ed.select(at);
  await markCaretLine();
  await ed.cdp.send('Input.imeSetComposition', { text: 'wen', selectionStart: 3, selectionEnd: 3 });
  await composing('wen');
  assert.equal(await caretLineIntact(), true);
  await ed.cdp.send('Input.imeSetComposition', { text: '', selectionStart: 0, selectionEnd: 0 });
  await ed.until(() => !window.__view().composing && !window.__view().state.doc.toString().includes('wen'));
  assert.equal(await ed.snapshot(), doc);
});

test('a redraw requested during the composition does not disturb it', async () => {
  // Image widgets are redrawn when the native side moves the <base> element,
  // which it may do at any time; this one is on the composing line.
  const png = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==';
  const text = `文字 ![图](${png}) 后面\n\nend`;
  await ed.load(text);
  await ed.select(2);
  await markCaretLine();
  await ed.cdp.send('Input.imeSetComposition', { text: 'ce', selectionStart: 2, selectionEnd: 2 });
  await ed.run("(function(){var h=document.head;var b=h.querySelector('base');if(!b){b=document.createElement('base');h.insertBefore(b,h.firstChild);}b.href='file:///elsewhere/';})();");
  await composing('ce');
  await compose(['ces', 'ceshi'], '测试');
  assert.equal(await ed.snapshot(), text.slice(0, 2) + '测试' + text.slice(2));
  await ed.page.waitForSelector('.cm-md-image img', { timeout: 60000 });
  await ed.run("(function(){var b=document.querySelector('base');if(b&&b.parentNode)b.parentNode.removeChild(b);})();");
  assert.deepEqual(await ed.messages('error'), []);
});
