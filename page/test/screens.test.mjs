// Pictures of the page for a reviewer (build/page-screens/): the rendered view
// in both themes and the source view, with Chinese and Latin text, a table, an
// image, code, lists and a quote. The test also checks that those parts were
// drawn as intended.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { EditorPage, assemble, documentFolder, launch, quote, repoDir } from './harness.mjs';
import { sampleDocument } from './corpus.mjs';

const outDir = join(repoDir, 'build', 'page-screens');
let browser;
before(async () => {
  browser = await launch();
  mkdirSync(outDir, { recursive: true });
});
after(async () => { await browser?.close(); });

// A soft landscape as the sample's cover image, drawn by the browser.
async function coverImage() {
  const page = await browser.context.newPage();
  const b64 = await page.evaluate(() => {
    const c = document.createElement('canvas');
    c.width = 960;
    c.height = 300;
    const g = c.getContext('2d');
    const sky = g.createLinearGradient(0, 0, 960, 300);
    sky.addColorStop(0, '#8fb3e0');
    sky.addColorStop(1, '#f3cdb0');
    g.fillStyle = sky;
    g.fillRect(0, 0, 960, 300);
    g.fillStyle = 'rgba(255,255,255,0.85)';
    g.beginPath();
    g.arc(720, 110, 46, 0, Math.PI * 2);
    g.fill();
    g.fillStyle = 'rgba(70,96,120,0.55)';
    g.beginPath();
    g.moveTo(0, 300);
    g.bezierCurveTo(220, 170, 420, 250, 600, 200);
    g.bezierCurveTo(760, 160, 860, 230, 960, 210);
    g.lineTo(960, 300);
    g.fill();
    return c.toDataURL('image/png').split(',')[1];
  });
  await page.close();
  return Buffer.from(b64, 'base64');
}

test('screenshots of the rendered view (light, dark) and the source view', async () => {
  const folder = documentFolder({ 'assets/cover.png': await coverImage() });
  const ed = await EditorPage.open(browser, { folder, width: 1280, height: 860 });
  await ed.run("(function(){if(document.body)document.body.classList.add('platform-win');})();");
  await ed.call('setMarkdown', quote(sampleDocument()));
  await ed.call('toggleToc');
  await ed.call('setStatus', quote('已打开 春日写作手记.md'));
  await ed.until(() => /字/.test(document.querySelector('#status-info').textContent));
  // On a busy machine the parse may finish after the first paint: wait for the marks.
  await ed.until(() => document.querySelectorAll('.cm-md-task').length === 2 && !!document.querySelector('.cm-md-h1'));
  // The source view is set in the monospace face the native side ships.
  assert.equal(await ed.page.evaluate(() => document.fonts.check("300 15px 'JetBrains Mono'")), true);

  await ed.page.screenshot({ path: join(outDir, 'rendered-light.png') });
  await ed.page.evaluate(() => { window.__view().scrollDOM.scrollTop = 720; });
  await ed.until(() => document.querySelector('.cm-md-image img')?.naturalWidth > 0);
  await ed.until(() => document.querySelectorAll('.cm-md-table tbody tr').length === 3);
  await ed.frame();
  await ed.page.screenshot({ path: join(outDir, 'rendered-light-lower.png') });
  await ed.page.evaluate(() => { window.__view().scrollDOM.scrollTop = 0; });
  await ed.call('setTheme', quote('dark'));
  await ed.frame();
  await ed.page.screenshot({ path: join(outDir, 'rendered-dark.png') });
  await ed.call('setTheme', quote('light'));
  await ed.call('toggleToc');
  await ed.call('toggleSource');
  await ed.until(() => /^"JetBrains Mono"/.test(getComputedStyle(document.querySelector('.cm-scroller')).fontFamily));
  await ed.page.screenshot({ path: join(outDir, 'source-light.png') });
  await ed.close();
});

test('a page assembled dark paints dark before its script runs, and stays dark', async () => {
  // What the first paint shows: the assembled page without its script.
  const page = await browser.context.newPage();
  await page.setViewportSize({ width: 900, height: 500 });
  const html = assemble({ theme: 'dark' }).replace(/<script>[\s\S]*<\/script>/, '');
  await page.setContent(html);
  assert.equal(await page.evaluate(() => getComputedStyle(document.body).backgroundColor), 'rgb(28, 30, 34)');
  await page.screenshot({ path: join(outDir, 'dark-first-paint.png') });
  await page.close();
  // The running page keeps the handed theme over the session's last one.
  const ed = await EditorPage.open(browser, { theme: 'dark' });
  await ed.page.evaluate(() => sessionStorage.setItem('vesk.view', JSON.stringify({ theme: 'light' })));
  await ed.page.reload();
  await ed.waitFor('ready');
  assert.equal(await ed.page.evaluate(() => document.body.className), 'theme-dark');
  await ed.close();
});
