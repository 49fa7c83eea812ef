// Runs the built page the way the application does: the HTML assembled from
// web/ with the font rule, the protocol flag and the <base> element, written as
// ".vesk-preview-<pid>.html" into the document's folder, the bridge script from
// webhost/ installed before the page's scripts, and a stand-in for
// window.chrome.webview that records what the page posts and can deliver web
// messages. Page calls are run as script texts through the DevTools protocol,
// like the web control's ExecuteScript.
import { chromium } from 'playwright-core';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
export const pageDir = join(here, '..');
export const repoDir = join(pageDir, '..');
const webDir = join(repoDir, 'web');
const kFont = '/usr/share/fonts/truetype/jetbrains-mono/JetBrainsMono-Light.ttf';

export const kCallLimit = 524288;
export const kMessageLimit = 1572864;

function webFile(name) {
  const path = join(webDir, name);
  if (!existsSync(path)) throw new Error(`${path} is missing: run "npm run build" first`);
  return readFileSync(path, 'utf8');
}

function replaceEvery(text, placeholder, block) {
  // The inserted block is never searched again, as on the native side.
  return text.split(placeholder).join(block);
}

/** The editor page as the native side assembles it. */
export function assemble({ folderUrl = '', inlineProto = true, font = true, theme = 'light' } = {}) {
  let html = webFile('editor.html');
  html = replaceEvery(html, '__VESK_THEME__', theme === 'dark' ? 'dark' : 'light');
  const css = webFile('editor.css');
  const js = webFile('editor.js');
  let fontRule = '';
  if (font && existsSync(kFont)) {
    fontRule = "@font-face{font-family:'JetBrains Mono';src:url(data:font/ttf;base64," +
      readFileSync(kFont).toString('base64') +
      ") format('truetype');font-weight:300;font-style:normal;font-display:block;}";
  }
  html = replaceEvery(html, '__VESK_CSS__', fontRule + css);
  html = replaceEvery(html, '__VESK_JS__', `window.VESK_INLINE_PROTO=${inlineProto};` + js);
  if (folderUrl) {
    let url = folderUrl.endsWith('/') ? folderUrl : folderUrl + '/';
    url = url.replace(/[&"<>]/g, (c) => ({ '&': '&amp;', '"': '&quot;', '<': '&lt;', '>': '&gt;' })[c]);
    const at = html.indexOf('</head>');
    if (at >= 0) html = html.slice(0, at) + `<base href="${url}">` + html.slice(at);
  }
  return html;
}

// The editor view, for tests that set up a selection or read the state.
const kViewHandle = `window.__view = () => {
  const c = document.querySelector('.cm-content');
  return (c.cmTile && c.cmTile.root && c.cmTile.root.view) || (c.cmView && c.cmView.view);
};`;

// What the application's bridge finds in the web control: chrome.webview with
// postMessage (JSON-serialising, as the real one does) and message events.
const kWebviewStandIn = `(() => {
  const sent = [];
  const listeners = [];
  window.__veskSent = sent;
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    postMessage(message) { sent.push(JSON.parse(JSON.stringify(message))); },
    addEventListener(type, fn) { if (type === 'message') listeners.push(fn); },
    removeEventListener(type, fn) { const i = listeners.indexOf(fn); if (i >= 0) listeners.splice(i, 1); },
    // Web messages arrive as events after the posting call returned.
    __deliver(json) {
      return new Promise((resolve) => setTimeout(() => {
        const data = JSON.parse(json);
        for (const fn of listeners) fn({ data });
        resolve();
      }, 0));
    },
  };
})();`;

export const kBridge = readFileSync(join(repoDir, 'webhost', 'bridge.js'), 'utf8');

/** The page-call script of a function with an argument text ("" for none). */
export function pageCall(name, argText = '') {
  return `window.vesk && window.vesk.${name}(${argText});`;
}

export const quote = (text) => JSON.stringify(text);

/** Splits text into chunks whose escaped UTF-8 size stays within the limit. */
export function chunks(text, limit = kCallLimit) {
  const bytes = Buffer.from(text, 'utf8');
  const out = [];
  let start = 0;
  let size = 0;
  let i = 0;
  while (i < bytes.length) {
    const b = bytes[i];
    let len = b >= 0xf0 && b < 0xf8 ? 4 : b >= 0xe0 && b < 0xf0 ? 3 : b >= 0xc0 && b < 0xe0 ? 2 : 1;
    if (i + len > bytes.length) len = 1;
    let esc = 0;
    for (let k = i; k < i + len; k++) esc += bytes[k] === 0x22 || bytes[k] === 0x5c ? 2 : bytes[k] < 0x20 ? 6 : 1;
    if (i > start && size + esc > limit) {
      out.push(bytes.subarray(start, i).toString('utf8'));
      start = i;
      size = 0;
    }
    size += esc;
    i += len;
  }
  if (i > start) out.push(bytes.subarray(start, i).toString('utf8'));
  return out;
}

export async function launch() {
  const userData = mkdtempSync(join(tmpdir(), 'vesk-chromium-'));
  const context = await chromium.launchPersistentContext(userData, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1200, height: 800 },
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--allow-file-access-from-files', '--font-render-hinting=none'],
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(userData, { recursive: true, force: true });
    },
  };
}

/** A folder for one document, with `files` ({relative path: Buffer|string}) in it. */
export function documentFolder(files = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'vesk doc #'));
  for (const [name, content] of Object.entries(files)) {
    mkdirSync(dirname(join(dir, name)), { recursive: true });
    writeFileSync(join(dir, name), content);
  }
  return dir;
}

export class EditorPage {
  static async open(browser, { folder = '', inlineProto = true, font = true, width = 1200, height = 800, theme = 'light' } = {}) {
    const page = await browser.context.newPage();
    await page.setViewportSize({ width, height });
    await page.addInitScript(kWebviewStandIn);
    await page.addInitScript(kBridge);
    await page.addInitScript(kViewHandle);
    const dir = folder || mkdtempSync(join(tmpdir(), 'vesk-tmp-'));
    const folderUrl = folder ? pathToFileURL(folder).href : '';
    const file = join(dir, `.vesk-preview-${process.pid}.html`);
    writeFileSync(file, assemble({ folderUrl, inlineProto, font, theme }));
    const ed = new EditorPage(page, dir);
    ed.cdp = await browser.context.newCDPSession(page);
    await page.goto(pathToFileURL(file).href + '#g1');
    await ed.waitFor('ready');
    return ed;
  }

  constructor(page, folder) {
    this.page = page;
    this.folder = folder;
    this.errors = [];
    page.on('pageerror', (e) => this.errors.push(String(e)));
  }

  /** Runs a script like the web control's ExecuteScript and returns its value. */
  async run(script, awaitPromise = false) {
    const r = await this.cdp.send('Runtime.evaluate', { expression: script, returnByValue: true, awaitPromise });
    if (r.exceptionDetails) throw new Error(`script failed: ${r.exceptionDetails.text} ${r.exceptionDetails.exception?.description || ''}`);
    return r.result.value;
  }

  call(name, argText = '') {
    return this.run(pageCall(name, argText));
  }

  /** Delivers a document as the native side does for its size. */
  async load(text, path = 'auto') {
    const json = quote(text);
    const jsonBytes = Buffer.byteLength(json);
    if (path === 'auto') path = jsonBytes <= kCallLimit ? 'call' : jsonBytes + 31 <= kMessageLimit ? 'message' : 'chunks';
    if (path === 'call') {
      await this.call('setMarkdown', json);
    } else if (path === 'message') {
      await this.run(`window.chrome.webview.__deliver(${quote(`{"__vesk":"setMarkdown","text":${json}}`)})`, true);
    } else {
      await this.run('window.__veskInject=[];');
      for (const piece of chunks(text)) await this.run(`window.__veskInject.push(${quote(piece)});`);
      await this.run("(function(){var t=(window.__veskInject||[]).join('');window.__veskInject=[];window.vesk&&window.vesk.setMarkdown(t);})();");
    }
    return path;
  }

  /**
   * Answers the page's requests for engines as the native side does: the file
   * web/<name>.js in pieces into window.__veskEngine, then vesk.runEngine.
   * Runs until the page closes.
   */
  serveEngines() {
    const serve = async () => {
      for (;;) {
        const name = await this.until(() => {
          const m = window.__veskSent.find((x) => x.type === 'loadEngine' && !x.served);
          if (!m) return null;
          m.served = true;
          return m.name;
        }, undefined, 0);
        const path = join(webDir, `${name}.js`);
        const text = /^[a-z]+$/.test(name) && existsSync(path) ? readFileSync(path, 'utf8') : '';
        await this.run('window.__veskEngine=[];');
        for (const piece of chunks(text)) await this.run(`window.__veskEngine.push(${quote(piece)});`);
        await this.call('runEngine', quote(name));
      }
    };
    serve().catch(() => null);
    return this;
  }

  /** The text the page answers to requestSnapshot. */
  async snapshot() {
    const n = (await this.messages('save')).length;
    await this.call('requestSnapshot');
    const saves = await this.messages('save');
    if (saves.length !== n + 1) throw new Error('requestSnapshot did not answer with one save message');
    return saves[n].text;
  }

  messages(type) {
    return this.page.evaluate((t) => window.__veskSent.filter((m) => !t || m.type === t), type || null);
  }

  clearMessages() {
    return this.page.evaluate(() => { window.__veskSent.length = 0; });
  }

  async waitFor(type, timeout = 60000) {
    await this.page.waitForFunction((t) => window.__veskSent.some((m) => m.type === t), type, { timeout });
    const all = await this.messages(type);
    return all[all.length - 1];
  }

  /** Selection as [anchor, head] pairs and the main index. */
  selection() {
    return this.page.evaluate(() => {
      const view = window.__view();
      return view.state.selection.ranges.map((r) => [r.anchor, r.head]);
    });
  }

  async select(anchor, head = anchor) {
    await this.page.evaluate(([a, h]) => {
      const view = window.__view();
      view.focus();
      view.dispatch({ selection: { anchor: a, head: h } });
    }, [anchor, head]);
  }

  /**
   * Waits until `fn(arg)`, run in the page, is truthy and returns its value.
   * The limit is generous: on a loaded machine drawing may lag far behind.
   */
  async until(fn, arg, timeout = 60000) {
    const handle = await this.page.waitForFunction(fn, arg, { timeout, polling: 'raf' });
    try {
      return await handle.jsonValue();
    } catch {
      return true;  // a DOM node: found, but not a value
    } finally {
      await handle.dispose();
    }
  }

  frame() {
    return this.page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  }

  async close() {
    await this.page.close();
  }
}
