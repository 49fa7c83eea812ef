// Builds the editor page into ../web: editor.html (with the two placeholders the
// native side fills), editor.css and one editor.js bundle.
//
// The native side pastes the CSS and the script into the HTML as they are, so the
// build refuses output that would break out of the <style> or <script> element or
// that contains a placeholder (the native replacement would rewrite it).
import * as esbuild from 'esbuild';
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const outDir = join(here, '..', 'web');

export async function build() {
  const js = await esbuild.build({
    entryPoints: [join(here, 'src', 'main.js')],
    bundle: true,
    format: 'iife',
    minify: !process.env.VESK_PAGE_DEBUG,
    target: ['chrome109'],
    charset: 'utf8',
    legalComments: 'none',
    loader: { '.css': 'text' },
    write: false,
  });
  const script = js.outputFiles[0].text;

  const css = await esbuild.build({
    entryPoints: [join(here, 'src', 'editor.css')],
    bundle: true,
    minify: true,
    target: ['chrome109'],
    charset: 'utf8',
    write: false,
  });
  const style = css.outputFiles[0].text;

  check('editor.js', script, [/<\/script/i, /__VESK_CSS__/, /__VESK_JS__/, /__VESK_THEME__/]);
  // The page is read and inlined at every load: it stays small, and fonts
  // never go into it.
  if (Buffer.byteLength(script) > 2.5 * 1024 * 1024) throw new Error('editor.js is larger than 2.5 MB');
  check('editor.css', style, [/<\/style/i, /<\/head/i, /__VESK_CSS__/, /__VESK_JS__/, /__VESK_THEME__/]);

  // The page only runs the script the native side inlined: its two possible texts
  // (the protocol flag comes first) are the only scripts the policy admits, so markup
  // that slips into the DOM cannot run handlers or scripts.
  const hashes = ['true', 'false'].map((flag) =>
    `'sha256-${createHash('sha256').update(`window.VESK_INLINE_PROTO=${flag};${script}`, 'utf8').digest('base64')}'`);
  const html = readFileSync(join(here, 'src', 'editor.html'), 'utf8').replace('%SCRIPT_HASHES%', hashes.join(' '));
  if (html.split('__VESK_CSS__').length !== 2 || html.split('__VESK_JS__').length !== 2 || html.split('__VESK_THEME__').length !== 2)
    throw new Error('editor.html must hold each placeholder once');

  mkdirSync(outDir, { recursive: true });
  writeFileSync(join(outDir, 'editor.html'), html);
  writeFileSync(join(outDir, 'editor.css'), style);
  writeFileSync(join(outDir, 'editor.js'), script);
  return { html, style, script };
}

function check(name, text, forbidden) {
  for (const re of forbidden) {
    if (re.test(text)) throw new Error(`${name} contains ${re}, which would break the assembled page`);
  }
}

if (process.argv[1] && fileURLToPath(import.meta.url) === process.argv[1]) {
  const t0 = Date.now();
  const { script, style } = await build();
  console.log(`web/editor.js ${(script.length / 1024).toFixed(0)} KiB, web/editor.css ${(style.length / 1024).toFixed(0)} KiB (${Date.now() - t0} ms)`);
}
