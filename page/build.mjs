// Builds the editor page into ../web: editor.html (with the two placeholders the
// native side fills), editor.css and one editor.js bundle.
//
// The native side pastes the CSS and the script into the HTML as they are, so the
// build refuses output that would break out of the <style> or <script> element or
// that contains a placeholder (the native replacement would rewrite it).
//
// The oldest runtime we support is WebView2 Runtime 109 (Chromium 109, the
// last one for older Windows and the floor an enterprise may pin). esbuild
// lowers what it can to that target but turns regular expressions it cannot
// lower into RegExp calls that fail there at run time, so the build also
// parses the bundle as ECMAScript 2023 (what Chromium 109 runs) and checks
// every regular expression it can read, literal or RegExp("…", "…").
import * as esbuild from 'esbuild';
import * as acorn from 'acorn';
import { createHash } from 'node:crypto';
import { existsSync, mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const outDir = join(here, '..', 'web');
export const kTarget = 'chrome109';
const kEcmaVersion = 2023;
// web/<name>.js: the engine files, by the name the page asks for.
export const kEngines = { diagrams: 'diagram-engine.js', pinyin: 'pinyin-engine.js' };

export async function build() {
  const js = await esbuild.build({
    entryPoints: [join(here, 'src', 'main.js')],
    bundle: true,
    format: 'iife',
    minify: !process.env.VESK_PAGE_DEBUG,
    target: [kTarget],
    charset: 'utf8',
    legalComments: 'none',
    loader: { '.css': 'text' },
    plugins: [emojiTable],
    write: false,
  });
  const script = js.outputFiles[0].text;

  const css = await esbuild.build({
    entryPoints: [join(here, 'src', 'editor.css')],
    bundle: true,
    minify: true,
    target: [kTarget],
    charset: 'utf8',
    write: false,
  });
  const style = css.outputFiles[0].text;

  // Engines the page loads only when a document needs them, each a file of its
  // own that the native side hands over on request; the policy admits each by
  // its hash. ASCII only, so the text reaches the page unchanged whatever the
  // channel escapes.
  const engines = {};
  for (const [name, entry] of Object.entries(kEngines)) {
    // An engine takes long to bundle: an unchanged one is taken from the last build.
    const stamp = engineStamp(entry);
    const stampFile = join(outDir, `.${name}.stamp`);
    if (existsSync(stampFile) && readFileSync(stampFile, 'utf8') === stamp && existsSync(join(outDir, `${name}.js`))) {
      engines[name] = readFileSync(join(outDir, `${name}.js`), 'utf8');
      continue;
    }
    const out = await esbuild.build({
      entryPoints: [join(here, 'src', 'engines', entry)],
      bundle: true,
      format: 'iife',
      minify: !process.env.VESK_PAGE_DEBUG,
      target: [kTarget],
      charset: 'ascii',
      legalComments: 'none',
      write: false,
    });
    engines[name] = out.outputFiles[0].text;
    checkLanguageLevel(`${name}.js`, engines[name]);
    mkdirSync(outDir, { recursive: true });
    writeFileSync(join(outDir, `${name}.js`), engines[name]);
    writeFileSync(stampFile, stamp);
  }

  check('editor.js', script, [/<\/script/i, /__VESK_CSS__/, /__VESK_JS__/, /__VESK_THEME__/]);
  // The page is read and inlined at every load: it stays small, and fonts
  // never go into it.
  if (Buffer.byteLength(script) > 2.5 * 1024 * 1024) throw new Error('editor.js is larger than 2.5 MB');
  check('editor.css', style, [/<\/style/i, /<\/head/i, /__VESK_CSS__/, /__VESK_JS__/, /__VESK_THEME__/]);
  checkLanguageLevel('editor.js', script);

  // The page only runs the script the native side inlined: its two possible texts
  // (the protocol flag comes first) are the only scripts the policy admits, so markup
  // that slips into the DOM cannot run handlers or scripts.
  const hashes = ['true', 'false'].map((flag) =>
    `'sha256-${createHash('sha256').update(`window.VESK_INLINE_PROTO=${flag};${script}`, 'utf8').digest('base64')}'`);
  for (const text of Object.values(engines)) hashes.push(`'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`);
  const html = readFileSync(join(here, 'src', 'editor.html'), 'utf8').replace('%SCRIPT_HASHES%', hashes.join(' '));
  if (html.split('__VESK_CSS__').length !== 2 || html.split('__VESK_JS__').length !== 2 || html.split('__VESK_THEME__').length !== 2)
    throw new Error('editor.html must hold each placeholder once');

  mkdirSync(outDir, { recursive: true });
  writeFileSync(join(outDir, 'editor.html'), html);
  writeFileSync(join(outDir, 'editor.css'), style);
  writeFileSync(join(outDir, 'editor.js'), script);
  // The built-in themes, plain style sheets like the reader's own.
  mkdirSync(join(outDir, 'themes'), { recursive: true });
  for (const name of readdirSync(join(here, 'src', 'themes'))) {
    if (name.endsWith('.css')) writeFileSync(join(outDir, 'themes', name), readFileSync(join(here, 'src', 'themes', name)));
  }
  return { html, style, script, engines };
}

// "emoji-table": the emoji data package cut down to what completion needs, one
// row per emoji: [character, English short names, Chinese name and keywords].
// The whole data set would not fit the page's size limit.
const emojiTable = {
  name: 'emoji-table',
  setup(b) {
    b.onResolve({ filter: /^emoji-table$/ }, () => ({ path: 'emoji-table', namespace: 'emoji-table' }));
    b.onLoad({ filter: /.*/, namespace: 'emoji-table' }, () => {
      const data = (file) => JSON.parse(readFileSync(join(here, 'node_modules', 'emojibase-data', file), 'utf8'));
      const english = data('en/shortcodes/github.json');
      const chinese = new Map(data('zh/compact.json').map((e) => [e.hexcode, [e.label, ...(e.tags || []).slice(0, 4)]]));
      const rows = [];
      for (const e of data('en/compact.json')) {
        const names = english[e.hexcode];
        if (!names) continue;
        const zh = [...new Set(chinese.get(e.hexcode) || [])];
        rows.push([e.unicode, [].concat(names).join(' '), zh.join(' ')]);
      }
      return { contents: `export default ${JSON.stringify(rows)};`, loader: 'js' };
    });
  },
};

// What an engine's bundle depends on: its source, the lock file and the build options.
function engineStamp(entry) {
  return createHash('sha256')
    .update(readFileSync(join(here, 'src', 'engines', entry)))
    .update(readFileSync(join(here, 'package-lock.json')))
    .update(readFileSync(fileURLToPath(import.meta.url)))
    .update(`${kTarget} ${!process.env.VESK_PAGE_DEBUG}`)
    .digest('hex');
}

function check(name, text, forbidden) {
  for (const re of forbidden) {
    if (re.test(text)) throw new Error(`${name} contains ${re}, which would break the assembled page`);
  }
}

/** Throws when `script` uses syntax or regular expressions newer than the target runtime runs. */
export function checkLanguageLevel(name, script) {
  const fail = (what, at) => {
    throw new Error(`${name} uses ${what} at ${at}, which ${kTarget} does not run`);
  };
  let ast;
  try {
    ast = acorn.parse(script, { ecmaVersion: kEcmaVersion, sourceType: 'script' });
  } catch (error) {
    fail(String(error.message), error.pos);
  }
  const stack = [ast];
  while (stack.length) {
    const node = stack.pop();
    if ((node.type === 'NewExpression' || node.type === 'CallExpression') &&
        node.callee.type === 'Identifier' && node.callee.name === 'RegExp') {
      const [pattern, flags] = node.arguments;
      const known = (arg) => arg && arg.type === 'Literal' && typeof arg.value === 'string';
      if (known(pattern) && (!flags || known(flags))) {
        const source = pattern.value.replace(/\\[\s\S]|\//g, (m) => (m === '/' ? '\\/' : m))
          .replace(/\n/g, '\\n').replace(/\r/g, '\\r').replace(/\u2028/g, '\\u2028').replace(/\u2029/g, '\\u2029');
        try {
          acorn.parse(`/${source || '(?:)'}/${flags ? flags.value : ''}`, { ecmaVersion: kEcmaVersion });
        } catch (error) {
          fail(`RegExp(${JSON.stringify(pattern.value).slice(0, 80)}, ${flags ? JSON.stringify(flags.value) : ''}): ${error.message}`, node.start);
        }
      }
    }
    for (const value of Object.values(node)) {
      if (Array.isArray(value)) {
        for (const child of value) if (child && typeof child.type === 'string') stack.push(child);
      } else if (value && typeof value.type === 'string') {
        stack.push(value);
      }
    }
  }
}

if (process.argv[1] && fileURLToPath(import.meta.url) === process.argv[1]) {
  const t0 = Date.now();
  const { script, style, engines } = await build();
  const sizes = Object.entries(engines).map(([name, text]) => `, web/${name}.js ${(text.length / 1024).toFixed(0)} KiB`).join('');
  console.log(`web/editor.js ${(script.length / 1024).toFixed(0)} KiB, web/editor.css ${(style.length / 1024).toFixed(0)} KiB${sizes} (${Date.now() - t0} ms)`);
}
