// The page never changes text the user did not edit: whatever arrives by any of
// the three delivery paths comes back byte for byte (line ends as LF), also after
// the rendered view has drawn it, the caret has walked through it and the views
// have been switched.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, chunks, kCallLimit, kMessageLimit, launch, quote } from './harness.mjs';
import { commonmarkExamples, diagramsDocument, extrasDocument, largeDocument, realDocuments, sampleDocument } from './corpus.mjs';

let browser;
let ed;
before(async () => {
  browser = await launch();
  ed = (await EditorPage.open(browser)).serveEngines();
});
after(async () => { await browser?.close(); });

const lf = (text) => text.replace(/\r\n?/g, '\n');

test('the three delivery paths hand over the whole text', async () => {
  // Just under and just over each size limit, with multi-byte characters and
  // characters that grow when escaped.
  const unit = '中"\\\n';
  const callSized = 'x'.repeat(kCallLimit - 2);
  assert.equal(await ed.load(callSized), 'call');
  assert.equal(await ed.snapshot(), callSized);
  const justOver = callSized + 'y';
  assert.equal(await ed.load(justOver), 'message');
  assert.equal(await ed.snapshot(), justOver);
  const messageSized = unit.repeat(Math.floor((kMessageLimit - 40) / 9));
  assert.equal(await ed.load(messageSized), 'message');
  assert.equal(await ed.snapshot(), messageSized);
  const big = largeDocument(3 * 1024 * 1024) + '\n' + '"'.repeat(300000) + '末尾😀';
  assert.ok(chunks(big).length >= 3);
  assert.equal(await ed.load(big), 'chunks');
  assert.equal(await ed.snapshot(), lf(big));
  // Each path also works for a small text, whatever the native side chooses.
  for (const path of ['call', 'message', 'chunks']) {
    await ed.load(`path ${path} 😀\r\n`, path);
    assert.equal(await ed.snapshot(), `path ${path} 😀\n`);
  }
});

test('chunks never split a character and respect the escaped size', () => {
  const text = 'ab😀中"\\\u0001'.repeat(50000);
  const pieces = chunks(text, 1000);
  assert.equal(pieces.join(''), text);
  for (const p of pieces) {
    assert.ok(Buffer.byteLength(JSON.stringify(p)) - 2 <= 1000, 'escaped size');
    assert.ok(!/[\ud800-\udbff]$/.test(p), 'no split surrogate pair');
  }
  assert.equal(chunks('"'.repeat(600000)).length, 3);
});

test('every CommonMark example comes back unchanged after rendering and editing views', async () => {
  const examples = commonmarkExamples();
  // Run inside the page for speed: load, draw, move the caret over every line,
  // switch views, print and export, then take the snapshot.
  const failures = await ed.page.evaluate(async (list) => {
    const bad = [];
    const view = window.__view();
    const frame = () => new Promise((r) => requestAnimationFrame(() => r()));
    for (const ex of list) {
      window.vesk.setMarkdown(ex.markdown);
      view.focus();
      for (let line = 1; line <= view.state.doc.lines; line++) {
        view.dispatch({ selection: { anchor: view.state.doc.line(line).to } });
      }
      if (ex.number % 25 === 0) {
        await frame();
        window.vesk.toggleSource();
        window.vesk.toggleSource();
        window.vesk.pdfBegin();
        window.vesk.pdfEnd();
        window.vesk.exportHtml('x');
        window.vesk.clipboardCopy(false);
      }
      window.__veskSent.length = 0;
      window.vesk.requestSnapshot();
      const save = window.__veskSent.find((m) => m.type === 'save');
      if (!save || save.text !== ex.markdown.replace(/\r\n?/g, '\n')) bad.push(ex.number);
    }
    return bad;
  }, examples.map((e) => ({ markdown: e.markdown, number: e.number })));
  assert.deepEqual(failures, []);
  assert.ok(examples.length > 600);
  assert.deepEqual(await ed.messages('error'), []);
});

test('real documents survive a round trip through each view', async () => {
  const docs = [sampleDocument(), extrasDocument(), ...realDocuments().slice(0, 40)];
  for (const doc of docs) {
    await ed.load(doc);
    await ed.frame();
    await ed.page.evaluate(() => {
      const view = window.__view();
      view.scrollDOM.scrollTop = view.scrollDOM.scrollHeight / 2;
    });
    await ed.frame();
    assert.equal(await ed.snapshot(), lf(doc));
  }
});

test('a document of diagrams and emoji survives drawing, editing beside it and both views', async () => {
  const doc = diagramsDocument();
  await ed.load(doc);
  // Drawn and failed diagrams alike replace their blocks only in the view.
  await ed.until(() => document.querySelectorAll('.cm-md-diagram img').length >= 2, undefined, 180000);
  await ed.page.evaluate(() => { window.__view().scrollDOM.scrollTop = 1e9; });
  await ed.until(() => document.querySelector('.cm-md-diagram-error'), undefined, 180000);
  assert.equal(await ed.snapshot(), doc);
  await ed.call('toggleSource');
  await ed.frame();
  assert.equal(await ed.snapshot(), doc);
  await ed.call('toggleSource');
  // Typing next to a diagram changes only what was typed.
  const at = doc.indexOf('Emoji as characters');
  await ed.select(at);
  await ed.page.keyboard.type('新 ');
  assert.equal(await ed.snapshot(), doc.slice(0, at) + '新 ' + doc.slice(at));
  await ed.call('undo');
  assert.equal(await ed.snapshot(), doc);
});

test('a 10 MB document: typing at the end changes only the end', async () => {
  const doc = largeDocument(10 * 1024 * 1024);
  await ed.page.evaluate((t) => window.vesk.setMarkdown(t), doc);
  await ed.page.evaluate(() => {
    const view = window.__view();
    view.focus();
    view.dispatch({ selection: { anchor: view.state.doc.length }, scrollIntoView: true });
  });
  await ed.frame();
  await ed.page.keyboard.type('\n\n**末尾** end');
  const back = await ed.snapshot();
  // Enter may continue a list the corpus ends with; the old text stays as it was.
  assert.ok(back.startsWith(lf(doc)));
  assert.ok(back.endsWith('**末尾** end'));
  assert.ok(back.length - lf(doc).length < 30);
  // The rendered view still styles what is on screen at the end.
  await ed.page.waitForSelector('.cm-md-strong', { timeout: 60000 });
  await ed.call('newDocument');
});

test('large documents are styled around the viewport, also inside long code blocks', async () => {
  const para = Array.from({ length: 9000 }, (_, i) => `Paragraph ${i} with *some* words 中文。`).join('\n\n');
  const code = Array.from({ length: 400 }, (_, i) => (i % 7 === 0 ? '' : i % 5 === 0 ? '# shell comment' : `echo ${i}`)).join('\n');
  const doc = `# Start\n\n${para}\n\n\`\`\`sh\n${code}\n\`\`\`\n\n## After the code\n\n${para}\n`;
  assert.ok(doc.length > 600000);
  await ed.load(doc);
  // Scrolls a line into view with the caret on it, the editor unfocused (so
  // nothing is shown as source).
  const showLine = async (text) => {
    assert.ok(doc.includes(text));
    await ed.page.evaluate((pos) => {
      const view = window.__view();
      view.contentDOM.blur();
      view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
    }, doc.indexOf(text));
    // The parser catches up with a far jump in the background.
    await ed.until((t) => [...document.querySelectorAll('.cm-line')].some((l) => l.textContent.includes(t) && l.querySelector('[class*="tok-"]')), text);
    await ed.frame();
  };
  await showLine('echo 302');
  // Inside the code block every line is code: no heading styles for comments.
  const lines = await ed.page.$$eval('.cm-line', (els) => els.map((e) => [e.textContent, e.className]));
  const comments = lines.filter(([t]) => t === '# shell comment');
  assert.ok(comments.length > 3);
  for (const [, cls] of comments) {
    assert.match(cls, /cm-md-fence/);
    assert.doesNotMatch(cls, /cm-md-h/);
  }
  const after = lines.find(([t]) => t === 'After the code');
  if (after) assert.match(after[1], /cm-md-h2/);
  await showLine('Paragraph 8000 ');
  await ed.until(() => document.querySelector('.cm-md-em') !== null);
  assert.equal(await ed.snapshot(), doc);
});

test('a document pasted in through the clipboard call comes back unchanged', async () => {
  const doc = sampleDocument();
  await ed.call('newDocument');
  await ed.call('clipboardPaste', quote(doc));
  assert.equal(await ed.snapshot(), lf(doc));
});
