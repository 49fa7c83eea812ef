// Emoji completion typed with real keys: ":" and two letters offer emoji by
// English or Chinese name, the chosen one goes in as the character itself, and
// nothing is offered where a colon is not asking (times, code, addresses).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { EditorPage, launch } from './harness.mjs';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser?.close(); });

// The list takes keys once it has been shown for the editor's accept delay
// (75 ms in completions.js).
async function listTakesKeys(ed) {
  await ed.page.waitForSelector('.cm-tooltip-autocomplete li');
  const shown = await ed.page.evaluate(() => performance.now());
  await ed.page.waitForFunction((t) => performance.now() - t > 100, shown);
}

const options = (ed) => ed.page.$$eval('.cm-tooltip-autocomplete li', (items) => items.map((li) => li.textContent));

test('emoji completion inserts the character and leaves other colons alone', async () => {
  const ed = await EditorPage.open(browser);
  const existing = 'Kept as written: :smile: and :+1:\n\n';
  await ed.load(existing);
  await ed.select(existing.length);
  await ed.page.keyboard.type('Hi :smi');
  await listTakesKeys(ed);
  const first = (await options(ed))[0];
  assert.match(first, /😄\s+smile/);
  assert.match(first, /大笑/);
  await ed.page.keyboard.press('Enter');
  await ed.page.keyboard.type(' ok');
  assert.equal(await ed.snapshot(), `${existing}Hi 😄 ok`);

  // A Chinese name, as an input method commits it.
  await ed.page.keyboard.type(' :');
  await ed.page.keyboard.insertText('大笑');
  await listTakesKeys(ed);
  assert.ok((await options(ed)).some((o) => o.includes('😄')));
  await ed.page.keyboard.press('ArrowDown');
  await ed.page.keyboard.press('Escape');
  await ed.page.waitForSelector('.cm-tooltip-autocomplete', { state: 'detached' });
  assert.equal(await ed.snapshot(), `${existing}Hi 😄 ok :大笑`);

  // Typing a whole name with its closing colon keeps the text as typed.
  await ed.page.keyboard.type(' :tada:');
  await ed.page.waitForSelector('.cm-tooltip-autocomplete', { state: 'detached' });
  // Times, code and addresses are not asking for an emoji.
  await ed.page.keyboard.type('\n\nat 12:30 `a :smile` mailto:ab');
  assert.equal(await ed.page.$('.cm-tooltip-autocomplete'), null);
  assert.equal(await ed.snapshot(), `${existing}Hi 😄 ok :大笑 :tada:\n\nat 12:30 \`a :smile\` mailto:ab`);
  assert.deepEqual(ed.errors, []);
  await ed.close();
});
