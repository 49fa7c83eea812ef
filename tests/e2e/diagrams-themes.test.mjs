// Diagrams and the reader's theme in the real program's exports: a theme of
// the reader's from the themes folder, remembered in the registry, styles the
// exported HTML and the PDF, which both carry the drawn diagram (inline SVG
// in the HTML, no script). The 主题 menu's choice is remembered for the next run.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { countPixels, post, readPng, requireBuild, root, winPath, wineEnv, withWorld } from './harness.mjs';

const kTimeout = { timeout: 300000 };
const artifacts = path.join(root, 'build/e2e');
const kWmCommand = 0x0111;
const kThemeMenuFirst = 40100;  // 浅色, 深色, 纸张, then the reader's themes by name

before(() => {
  requireBuild();
  fs.mkdirSync(artifacts, { recursive: true });
});

function wine(args, what) {
  const result = spawnSync('wine', args, { env: wineEnv(), encoding: 'utf8', timeout: 60000 });
  if (what) assert.equal(result.status, 0, `${what}: ${result.stderr}`);
  return result;
}

function themesFolder() {
  const prefix = wineEnv().WINEPREFIX;
  return path.join(prefix, 'drive_c', 'users', os.userInfo().username, 'AppData', 'Roaming', 'Vesk', 'themes');
}

const kTheme = `@import url("https://example.invalid/x.css");
.markdown-body h1 { color: rgb(0, 160, 0); }
.markdown-body { --doc-bg: #ffffff; background: url(https://example.invalid/bg.png); }
`;
const kDoc = `# 绿色标题 Green heading

\`\`\`mermaid
graph LR
  A[开始] --> B[结束]
\`\`\`

Text after the diagram.
`;

const green = (r, g, b) => r < 80 && g > 120 && b < 80;
// The diagram's node stroke in the light theme (#9370DB).
const purple = (r, g, b) => Math.abs(r - 147) < 30 && Math.abs(g - 112) < 30 && Math.abs(b - 219) < 30;

// Each run reads its own log: the lines of the run before are gone.
function freshVesk(world, options) {
  fs.rmSync(path.join(world.dir, 'vesk.log'), { force: true });
  return world.vesk(options);
}

test('a reader theme and a diagram in both exports; the menu choice is remembered', kTimeout, () => withWorld(async (world) => {
  const folder = themesFolder();
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(folder, 'mine.css'), kTheme);
  wine(['reg', 'add', 'HKCU\\Software\\Vesk', '/v', 'Theme', '/t', 'REG_SZ', '/d', 'mine', '/f'], 'reg add');
  try {
    const docDir = path.join(world.dir, 'doc');
    fs.mkdirSync(docDir);
    const doc = path.join(docDir, 'diagram.md');
    fs.writeFileSync(doc, kDoc);
    const target = path.join(world.dir, 'out', 'diagram');
    fs.mkdirSync(path.dirname(target));

    let vesk = freshVesk(world, { args: [winPath(doc)], env: { VESK_COMMAND: 'exporthtml', VESK_EXPORT_AS: winPath(target) } });
    await vesk.waitForLine('NATIVE theme mine');
    await vesk.waitForLine(`NATIVE export path=${winPath(target)}.html`, 180000);
    await vesk.waitForLine(/engine diagrams \d{6,} bytes/);
    await vesk.stop();
    const html = fs.readFileSync(`${target}.html`, 'utf8');
    fs.copyFileSync(`${target}.html`, path.join(artifacts, 'export-diagram-theme.html'));
    const style = html.slice(html.indexOf('<style>'), html.indexOf('</style>'));
    assert.match(style, /rgb\(0, 160, 0\)/);
    assert.doesNotMatch(style, /@import|example\.invalid/);
    const svgs = html.match(/<svg[\s>]/g) || [];
    assert.equal(svgs.length, 1, 'the diagram as inline SVG');
    assert.match(html, /<svg[^>]*>[^]*开始[^]*<\/svg>/);
    assert.doesNotMatch(html, /<script|```mermaid|graph LR/);

    vesk = freshVesk(world, { args: [winPath(doc)], env: { VESK_COMMAND: 'exportpdf', VESK_PDF_AS: winPath(target) } });
    await vesk.waitForLine(`NATIVE pdf path=${winPath(target)}.pdf size=`, 180000);
    await vesk.stop();
    const png = path.join(artifacts, 'export-diagram-theme-page1');
    assert.equal(spawnSync('pdftoppm', ['-png', '-r', '100', '-f', '1', '-l', '1', '-singlefile', `${target}.pdf`, png]).status, 0);
    const page = readPng(`${png}.png`);
    assert.ok(countPixels(page, green) > 200, 'the heading in the theme\'s green');
    assert.ok(countPixels(page, purple) > 50, 'the drawn diagram');
    const text = spawnSync('pdftotext', [`${target}.pdf`, '-'], { encoding: 'utf8' }).stdout;
    assert.ok(!text.includes('graph LR'), `no diagram source in the PDF:\n${text}`);

    // 视图 › 主题 › 纸张 from the menu: applied, and the next run starts with it.
    vesk = freshVesk(world, { args: [winPath(doc)] });
    await vesk.waitForLine('NATIVE ready');
    post(0, kWmCommand, kThemeMenuFirst + 2);
    await vesk.waitForLine('NATIVE theme 纸张');
    await vesk.stop();
    vesk = freshVesk(world, { args: [winPath(doc)] });
    await vesk.waitForLine('NATIVE theme 纸张');
    await vesk.stop();
  } finally {
    wine(['reg', 'delete', 'HKCU\\Software\\Vesk', '/v', 'Theme', '/f']);
    fs.rmSync(path.join(folder, 'mine.css'), { force: true });
  }
}));
