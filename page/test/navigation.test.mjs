// A document cannot move the editor off its page or make it reach another
// machine: links of every kind and every click leave the page where it is and
// open no window, and no view loads an image from a network path.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { EditorPage, launch, quote } from './harness.mjs';

let browser;
let server;
let hits = [];
let origin;
before(async () => {
  browser = await launch();
  server = http.createServer((req, res) => { hits.push(req.url); res.end(); });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
});
after(async () => {
  await browser?.close();
  server?.close();
});

// Every request the browser makes, from any page: network paths must never
// show up, and a followed link would show up as a hit on the server.
function recordRequests() {
  const urls = [];
  browser.context.on('request', (r) => urls.push(r.url()));
  return urls;
}

test('links of every kind and every click leave the page where it is', async () => {
  const ed = await EditorPage.open(browser);
  const requests = recordRequests();
  hits = [];
  const doc = [
    '| a | b |', '|---|---|',
    `| [cell](${origin}/cell) | <svg width="80" height="20"><a xlink:href="${origin}/svgcell"><text y="15">svgcell</text></a></svg> |`,
    '',
    `<svg width="80" height="20"><a href="${origin}/svg2"><text y="15">svg2</text></a></svg>`,
    '',
    `<img src="data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7" usemap="#m" width="50" height="50"><map name="m"><area shape="rect" coords="0,0,50,50" href="${origin}/area"></map>`,
    '',
    'end',
  ].join('\n');
  await ed.load(doc);
  await ed.select(doc.length);
  // The table, an SVG and the mapped image are drawn before the count below means anything.
  await ed.page.waitForFunction(() => document.querySelector('#editor .cm-md-table svg')
    && document.querySelector('#editor img[width="50"]'));
  const pagesBefore = browser.context.pages().length;
  const url = ed.page.url();

  // The sanitizer keeps no SVG link and no image map.
  assert.equal(await ed.page.locator('#editor svg a, #editor [*|href]:not(a), #editor area').count(), 0);
  const cell = ed.page.locator('.cm-md-table a', { hasText: 'cell' });
  await ed.page.locator('.cm-md-table svg').click({ modifiers: ['Control'] });
  await cell.click({ modifiers: ['Control'] });
  await cell.click({ button: 'middle' });

  // The guard covers any element with an address, even one that slipped into the DOM.
  await ed.page.evaluate((o) => {
    const box = document.createElement('div');
    box.style.cssText = 'position:fixed;left:0;top:0;z-index:99;background:#fff';
    document.body.append(box);
    const svg = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
    svg.innerHTML = `<a href="${o}/injected"><rect id="inj" width="40" height="40"/></a>`;
    box.append(svg);
    const map = document.createElement('div');
    map.innerHTML = `<img id="mapimg" src="data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7" usemap="#x" width="40" height="40"><map name="x"><area shape="rect" coords="0,0,40,40" href="${o}/injectedarea"></map>`;
    box.append(map);
  }, origin);
  for (const sel of ['#inj', '#mapimg']) {
    await ed.page.click(sel);
    await ed.page.click(sel, { modifiers: ['Control'] });
    await ed.page.click(sel, { button: 'middle' });
  }
  // The last click's own message has come back: the clicks are all handled.
  await ed.until(() => window.__veskSent.filter((m) => m.type === 'openLink').length >= 2);

  assert.equal(ed.page.url(), url, 'the page navigated');
  assert.equal(browser.context.pages().length, pagesBefore, 'a new page opened');
  assert.deepEqual(hits, [], 'a link was followed by the browser');
  assert.deepEqual(requests.filter((u) => u.startsWith(origin)), []);
  // HTML links reach the native side, once per Ctrl+click; SVG links never do.
  assert.deepEqual((await ed.messages('openLink')).map((m) => m.href), [`${origin}/cell`, `${origin}/injectedarea`]);
  await ed.close();
});

test('no view loads an image from a network path; web images still load', async () => {
  const ed = await EditorPage.open(browser);
  const requests = recordRequests();
  hits = [];
  const network = ['//host/a.png', '\\\\host\\share\\b.png', 'file://host/share/c.png', '/\\host/d.png'];
  const doc = [
    ...network.map((src, i) => `![n${i}](${src.replace(/\\/g, '\\\\')})`),
    '',
    '| img | web |', '|---|---|',
    `| <img src="//host/cell.png"> <img srcset="//host/set.png 2x"> | ![w](${origin}/web.png) |`,
    '',
    `<svg><image href="//host/svg.png" width="5" height="5"/></svg>`,
    '',
    'end',
  ].join('\n');
  await ed.load(doc);
  await ed.select(doc.length);
  await ed.frame();
  await ed.page.waitForFunction(() => document.querySelectorAll('.cm-md-image-missing').length >= 4);
  const liveTexts = await ed.page.$$eval('.cm-md-image-missing', (els) => els.map((e) => e.textContent));
  assert.deepEqual(liveTexts, Array(4).fill('网络位置的图片未加载'));
  assert.equal(await ed.page.locator('.cm-md-table .vesk-img-network').count(), 2, 'table cells');

  await ed.run('window.vesk.pdfBegin()');
  assert.equal(await ed.page.locator('#print-root .vesk-img-network').count(), network.length + 2, 'print view');
  await ed.call('pdfEnd');

  await ed.page.evaluate(() => {
    const view = window.__view();
    view.dispatch({ selection: { anchor: 0, head: view.state.doc.length } });
  });
  await ed.call('clipboardCopy', 'false');
  const { html: copied } = await ed.waitFor('clipboardWrite');
  await ed.call('exportHtml', quote('x'));
  const { html: exported } = await ed.waitFor('export');
  for (const [what, html] of [['copied', copied], ['exported', exported]]) {
    assert.ok(!/host/.test(html), `${what} HTML names a network path: ${html}`);
    assert.equal(html.split('网络位置的图片未加载').length - 1, network.length + 2, what);
  }

  // Whatever the DOM holds, nothing in it points at another machine.
  const left = await ed.page.evaluate(() => [...document.querySelectorAll('img, image')]
    .map((i) => i.currentSrc || i.src || i.getAttribute('href') || '').filter((s) => /^file:\/\/[^/]/.test(s)));
  assert.deepEqual(left, []);
  // Every image has loaded or failed: any request they made has been seen.
  await ed.until(() => [...document.images].every((img) => img.complete));
  assert.ok(hits.includes('/web.png'), 'web images keep loading');
  assert.deepEqual(requests.filter((u) => /^file:\/\/[^/]/.test(u) || /host/.test(u)), []);
  await ed.close();
});

test('headings keep anchors that name document properties', async () => {
  const ed = await EditorPage.open(browser);
  await ed.load('# Title\n\n## Images\n\n### forms\n\n[x](#title) [y](#images)\n');
  await ed.call('exportHtml', quote('t'));
  const { html } = await ed.waitFor('export');
  for (const id of ['title', 'images', 'forms']) assert.match(html, new RegExp(`<h\\d id="${id}">`), id);
  assert.ok(!html.includes('data-vesk-anchor'));
  await ed.run('window.vesk.pdfBegin()');
  assert.deepEqual(await ed.page.$$eval('#print-root :is(h1,h2,h3)', (hs) => hs.map((h) => h.id)), ['title', 'images', 'forms']);
  await ed.call('pdfEnd');
  await ed.close();
});

test('CSS, SVG and media attributes reach no other machine in any view or the export', async () => {
  const ed = await EditorPage.open(browser);
  const requests = recordRequests();
  hits = [];
  const doc = [
    '<svg width="60" height="20">',
    '<defs><linearGradient id="g"><stop offset="0" stop-color="red"/></linearGradient></defs>' +
      '<rect id="r1" width="10" height="10" mask="url(file://host/m.svg#a)" clip-path="url(//host/c.svg#b)" fill="url(#g)"/>' +
      '<rect id="r2" width="10" height="10" fill="URL( \'//host/f.svg#c\' )" filter="u\\72l(//host/x.svg#d)"/>' +
      '<use href="#r1"/><use href="//host/u.svg#x"/><image href="//host/i.png"/></svg>',
    '',
    '| cell | svg |', '|---|---|',
    '| <img src="\\\\\\\\127.0.0.1\\\\share\\\\c.png"> <img src="%5C%5Chost%5Cd.png"> | <svg><rect width="5" height="5" fill="url(file://host/t.svg#x)"/></svg> |',
    '',
    'intro',
    '<style>@import url(//host/a.css); @import "file://host/b.css"; @import url(local.css);' +
      ' p { background: url(\\\\\\\\host\\\\p.png) } .web { background: url(https://example.org/w.png) }</style>',
    '<p style="background:url(//host/bg.png);color:red">styled</p>',
    '<p style="display:none">hidden by style</p><p hidden>hidden attribute</p>',
    '<svg><rect width="5" height="5" style="fill:url(//host/s.svg#a)"/></svg>',
    '<table background="//host/t.png"><tr><td>t</td></tr></table>',
    '<picture><source srcset="//host/s.png 2x"><img src="data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7" alt="p"></picture>',
    '<video poster="\\/host/v.png"></video><input type="image" src="////host/i.png">',
    '<math><mglyph src="//host/g.png"/></math>',
    '',
    'end',
  ].join('\n');
  await ed.load(doc);
  await ed.select(doc.length);
  await ed.frame();
  await ed.page.waitForFunction(() => document.querySelectorAll('.cm-md-table .vesk-img-network').length === 2);
  // Local fragments keep working; hidden content is shown like the rest.
  assert.equal(await ed.page.locator('#editor rect[fill="url(#g)"]').count(), 1);
  assert.equal(await ed.page.locator('#editor [hidden]').count(), 0);

  await ed.call('exportHtml', quote('x'));
  const { html } = await ed.waitFor('export');
  assert.ok(!/host/i.test(html), `the export names another machine: ${html}`);
  assert.match(html, /@import url\("local\.css"\)/, 'a local style sheet stays');
  assert.match(html, /url\("https:\/\/example\.org\/w\.png"\)/, 'a web image in a style sheet stays');
  assert.match(html, /<p style="color: red;">styled<\/p>/);
  assert.ok(!/\shidden[\s=>]|display: ?none/.test(html.slice(html.indexOf('<article'))), 'nothing hidden');
  assert.match(html, /hidden by style/);

  await ed.run('window.vesk.pdfBegin()');
  await ed.call('pdfEnd');
  await ed.until(() => [...document.images].every((img) => img.complete));
  assert.deepEqual(requests.filter((u) => /host/i.test(u) && !u.startsWith(origin)), []);
  await ed.close();
});
