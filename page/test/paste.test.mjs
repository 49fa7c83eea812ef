// Pasting and typing like a writer: HTML becomes Markdown, Ctrl+Shift+V pastes
// plain text, a URL over a selection makes a link, marks and brackets pair.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

// A paste as the browser delivers it, with the given clipboard flavours.
function paste(ed, data) {
  return ed.page.evaluate((flavours) => {
    const dt = new DataTransfer();
    for (const [type, value] of Object.entries(flavours)) dt.setData(type, value);
    document.querySelector('.cm-content').dispatchEvent(new ClipboardEvent('paste', { clipboardData: dt, bubbles: true, cancelable: true }));
  }, data);
}

test('pasted HTML comes in as Markdown; plain text on Ctrl+Shift+V, for code and for our own copies', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('');
  await ed.select(0);
  const html = '<html><body><!--StartFragment--><h2>Title</h2><p>Some <b>bold</b> and <a href="https://e.org/x">a link</a>.</p>' +
    '<ul><li>one</li><li>two</li></ul><table><tr><th>a</th><th>b</th></tr><tr><td>1</td><td>2</td></tr></table>' +
    '<script>window.__pwned=1</script><!--EndFragment--></body></html>';
  await paste(ed, { 'text/html': html, 'text/plain': 'Title Some bold' });
  assert.equal(await ed.snapshot(), '## Title\n\nSome **bold** and [a link](https://e.org/x).\n\n-   one\n-   two\n\n| a | b |\n| --- | --- |\n| 1 | 2 |');
  await ed.load('');
  await ed.select(0);
  await ed.page.keyboard.down('Control');
  await ed.page.keyboard.down('Shift');
  await ed.page.keyboard.press('KeyV');
  await ed.page.keyboard.up('Shift');
  await ed.page.keyboard.up('Control');
  await paste(ed, { 'text/html': html, 'text/plain': 'plain\r\ntext' });
  assert.equal(await ed.snapshot(), 'plain\ntext');
  await ed.load('');
  await paste(ed, { 'text/html': '<div><span style="color:red">let</span> x = 1;</div>', 'text/plain': 'let x = 1;' });
  await paste(ed, { 'text/html': '<meta name="generator" content="Vesk"><p><strong>b</strong></p>', 'text/plain': ' **b**' });
  assert.equal(await ed.snapshot(), 'let x = 1; **b**');
  assert.equal(await ed.page.evaluate(() => window.__pwned), undefined);

  // Text that reads as markup or an entity on the web page stays that text.
  await ed.load('');
  await paste(ed, { 'text/html': '<p>Write <b>&lt;img hidden src="../x"&gt;</b> &amp;lt; or &amp;amp; &gt; quote</p>', 'text/plain': 'x' });
  const pasted = await ed.snapshot();
  assert.equal(pasted, 'Write **\\<img hidden src="../x"\\>** \\&lt; or \\&amp; \\> quote');
  await ed.call('exportHtml', '"t"');
  const { html: exported } = await ed.waitFor('export');
  assert.ok(exported.includes('<p>Write <strong>&lt;img hidden src="../x"&gt;</strong> &amp;lt; or &amp;amp; &gt; quote</p>'), exported);
  await ed.close();
});

test('a URL over a selection makes a link; marks, brackets and backticks pair', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('see docs here');
  await ed.select(4, 8);
  await paste(ed, { 'text/plain': 'https://example.org/a(b)' });
  assert.equal(await ed.snapshot(), 'see [docs](https://example.org/a%28b%29) here');
  await ed.load('one two three');
  await ed.select(4, 7);
  await ed.page.keyboard.type('*');
  await ed.page.keyboard.type('*');
  assert.equal(await ed.snapshot(), 'one **two** three');
  await ed.select(0, 3);
  await ed.page.keyboard.type('~');
  await ed.page.keyboard.type('(');
  assert.equal(await ed.snapshot(), '~~(one)~~ **two** three');
  await ed.load('');
  await ed.select(0);
  await ed.page.keyboard.type('call(x) `code` done');
  assert.equal(await ed.snapshot(), 'call(x) `code` done');
  await ed.page.keyboard.type(' [');
  assert.equal(await ed.snapshot(), 'call(x) `code` done []');
  await ed.page.keyboard.press('Backspace');
  assert.equal(await ed.snapshot(), 'call(x) `code` done ');
  await ed.page.keyboard.type("don't");
  assert.equal(await ed.snapshot(), "call(x) `code` done don't");
  await ed.close();
});
