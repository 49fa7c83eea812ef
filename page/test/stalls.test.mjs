// Documents built to stall or break the page: formulas nested deeper than the
// typesetter's stack, macros that expand to megabytes, formulas longer than
// anyone writes, and a line of thousands of styling tags. Each one loads, the
// rest of the document renders, a key typed afterwards reaches the text, no
// error is reported and the export still answers, small.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch, quote } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

const kDocuments = {
  'nested braces': `$${'{'.repeat(2000)}x${'}'.repeat(2000)}$`,
  'nested roots': `$${'\\sqrt{'.repeat(3000)}x${'}'.repeat(3000)}$`,
  'macro bomb': `$\\def\\a{${'x'.repeat(2000)}}${'\\a'.repeat(600)}$`,
  'long formula': `$${'x+'.repeat(6000)}x$`,
  'styling tags': '<b>'.repeat(5000) + 'bold',
};

for (const [name, formula] of Object.entries(kDocuments)) {
  test(`a document with ${name} loads, takes keys and exports`, async () => {
    const ed = await EditorPage.open(browser);
    const doc = `# 标题\n\n${formula}\n\nafter\n`;
    await ed.load(doc);
    // The rest of the document renders around it.
    await ed.until(() => document.querySelector('.cm-md-h1'));
    const end = doc.length - 1;
    await ed.select(end);
    await ed.page.keyboard.type('Z');
    await ed.until((n) => window.__view().state.doc.length === n, doc.length + 1);
    assert.equal(await ed.snapshot(), `${doc.slice(0, end)}Z\n`);
    // Moving the caret over the hostile line redraws it.
    await ed.select(doc.indexOf(formula) + 1);
    await ed.frame();

    await ed.call('exportHtml', quote(name));
    const { html } = await ed.waitFor('export');
    assert.ok(html.includes('<p>afterZ</p>'), 'the export holds the rest');
    assert.ok(html.length < 1_000_000, `the export is ${html.length} characters`);
    assert.deepEqual(await ed.messages('error'), []);
    assert.deepEqual(ed.errors, []);
    await ed.close();
  });
}

test('a formula that fails or is too long shows its source in the error style', async () => {
  const ed = await EditorPage.open(browser);
  const long = `x+${'y'.repeat(10000)}`;
  const doc = `$${'{'.repeat(2000)}a${'}'.repeat(2000)}$ and $${long}$ and $\\frac12$\n\nend`;
  await ed.load(doc);
  await ed.select(doc.length);
  const shown = await ed.until(() => {
    const errors = [...document.querySelectorAll('.cm-md-math .katex-error')];
    return errors.length === 2 && document.querySelector('.cm-md-math math') ? errors.map((e) => e.textContent.length) : null;
  });
  assert.deepEqual(shown, [4001, long.length]);
  await ed.close();
});
