// The release as a user gets it: packages made by scripts/package, installed,
// run, updated and uninstalled under Wine. Everything here runs in a fresh
// Wine prefix of its own (the other scenarios' prefix stays untouched), which
// is shut down and removed when the file ends. The scenarios build on each
// other in order: install, run as shipped, portable copy, update, uninstall.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';

import {
  answerDialogs, binDir, buildDir, ensureDisplay, removeDir, requireBuild, root, startVesk, startWine, tempDir, waitFor,
  wineEnv, winPath, withWorld,
} from './harness.mjs';

const scratch = tempDir('vesk-release-');
process.env.WINEPREFIX = path.join(scratch, 'wine');

const kOld = '1.0.3';
const kNew = '1.1.0';
const kDownloadButton = 1001;
const IDOK = 1;
const kRuntimeText = '未检测到 Microsoft Edge WebView2 Runtime';
const kUninstallKey = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vesk';

const user = os.userInfo().username;
const programs = path.join(process.env.WINEPREFIX, 'drive_c/users', user, 'AppData/Local/Programs');
const installDir = path.join(programs, 'Vesk');
const installedExe = path.join(installDir, 'Vesk.exe');
const shortcut = path.join(process.env.WINEPREFIX, 'drive_c/users', user,
                           'AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vesk.lnk');
const testLoader = path.join(binDir, 'WebView2Loader.dll');
const dialogHelper = path.join(buildDir, 'tests/win/update_e2e_dialogs.exe');

let display;
let server;

after(async () => {
  await server?.close();
  spawnSync('wineserver', ['-k'], { env: wineEnv(), stdio: 'ignore', timeout: 60000 });
  spawnSync('wineserver', ['-w'], { env: wineEnv(), stdio: 'ignore', timeout: 60000 });
  await display?.stop();
  removeDir(scratch);
});

// --- helpers ------------------------------------------------------------------------------

// scripts/package, run as a person would; resolves to { code, stdout, stderr }.
function runPackage(args) {
  return new Promise((resolve) => {
    const child = spawn(path.join(root, 'scripts/package'), args, { stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '', stderr = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    child.on('exit', (code) => resolve({ code, stdout, stderr }));
  });
}

// A throwaway code-signing certificate (self-signed, with a password) that
// every package here is signed with.
const signing = {
  certificate: path.join(scratch, 'signing.crt'),
  pfx: path.join(scratch, 'signing.pfx'),
  password: path.join(scratch, 'signing.password'),
};
function makeSigningCertificate() {
  const key = path.join(scratch, 'signing.key');
  const req = spawnSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-sha256', '-days', '30', '-nodes',
                                    '-subj', '/CN=Vesk Release Test/O=Vesk', '-addext', 'extendedKeyUsage=codeSigning',
                                    '-keyout', key, '-out', signing.certificate], { encoding: 'utf8' });
  assert.equal(req.status, 0, req.stderr);
  fs.writeFileSync(signing.password, 'correct horse');
  const pfx = spawnSync('openssl', ['pkcs12', '-export', '-inkey', key, '-in', signing.certificate, '-out', signing.pfx,
                                    '-passout', `file:${signing.password}`], { encoding: 'utf8' });
  assert.equal(pfx.status, 0, pfx.stderr);
}
const signArgs = () => ['--sign-pfx', signing.pfx, '--sign-password-file', signing.password];

// osslsigncode's verdict on a file's signature against the test certificate.
function verifySignature(file) {
  return spawnSync('osslsigncode', ['verify', '-CAfile', signing.certificate, '-in', file], { encoding: 'utf8' });
}

async function makePackage(args) {
  const result = await runPackage(['--dev', ...signArgs(), ...args]);
  assert.equal(result.code, 0, `scripts/package ${args.join(' ')}\n${result.stdout}\n${result.stderr}`);
  return result;
}

// Serves the files of a folder on 127.0.0.1.
async function startServer() {
  const files = new Map();
  const http_ = http.createServer((request, response) => {
    const body = files.get(request.url);
    if (!body) return response.writeHead(404).end();
    response.writeHead(200, { 'Content-Length': body.length }).end(body);
  });
  await new Promise((resolve) => http_.listen(0, '127.0.0.1', resolve));
  return {
    base: `http://127.0.0.1:${http_.address().port}`,
    // The files beside each other, as a release's base URL has them (not the winget folder).
    serve(dir) {
      for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
        if (entry.isFile()) files.set(`/${entry.name}`, fs.readFileSync(path.join(dir, entry.name)));
      }
    },
    close: () => new Promise((resolve) => { http_.closeAllConnections(); http_.close(resolve); }),
  };
}

// The fresh prefix, the display and both releases: 1.0.3 to install, 1.1.0
// published on the local server for the update. Made once, on first use.
let world;
function releaseWorld() {
  world ??= (async () => {
    requireBuild();
    assert.ok(fs.existsSync(dialogHelper), `missing ${dialogHelper}: cmake --build --preset mingw`);
    display = await ensureDisplay();
    const boot = spawnSync('wineboot', ['-i'], { env: wineEnv(), stdio: 'ignore', timeout: 180000 });
    assert.equal(boot.status, 0, 'wineboot');
    // A new prefix says Windows 7, which the installer rightly refuses.
    assert.equal(wine(['winecfg', '-v', 'win10']).status, 0, 'winecfg -v win10');
    // A crash must fail the scenario, not wait behind Wine's crash dialog.
    wine(['reg', 'add', 'HKCU\\Software\\Wine\\WineDbg', '/v', 'ShowCrashDialog', '/t', 'REG_DWORD', '/d', '0', '/f']);
    server = await startServer();
    makeSigningCertificate();
    const oldDist = path.join(scratch, 'dist-old');
    const newDist = path.join(scratch, 'dist-new');
    await makePackage(['--version', kOld, '--out', oldDist]);
    const made = await makePackage(['--version', kNew, '--base-url', server.base, '--out', newDist]);
    server.serve(newDist);
    return { oldDist, newDist, packageOutput: made.stdout };
  })();
  return world;
}

function wine(args, options = {}) {
  return spawnSync('wine', args, { env: wineEnv(), encoding: 'utf8', timeout: 120000, ...options });
}

// A Windows program to its end; resolves to its exit code.
async function runWine(exe, args, ms = 120000) {
  const child = startWine(exe, args);
  const result = await Promise.race([child.exited, new Promise((resolve) => setTimeout(resolve, ms, null))]);
  assert.ok(result, `${path.basename(exe)} did not end within ${ms} ms`);
  return result.code;
}

// The uninstall entry's values, or null when there is none.
function uninstallEntry() {
  const result = wine(['reg', 'query', kUninstallKey]);
  if (result.status !== 0) return null;
  const values = {};
  for (const line of result.stdout.split(/\r?\n/)) {
    const match = /^\s+(\S+)\s+REG_\w+\s+(.*)$/.exec(line);
    if (match) values[match[1]] = match[2];
  }
  return values;
}

// "Open with Vesk" for .md: offered, without becoming the default program.
function openWithOffered() {
  const result = wine(['reg', 'query', 'HKCU\\Software\\Classes\\.md\\OpenWithProgids']);
  return result.status === 0 && result.stdout.includes('Vesk.Markdown');
}
const mdDefault = () => wine(['reg', 'query', 'HKCU\\Software\\Classes\\.md', '/ve']).stdout.includes('Vesk');

// FILEVERSION of a Windows executable's version resource, as "X.Y.Z".
function fileVersion(exe) {
  const bytes = fs.readFileSync(exe);
  const at = bytes.indexOf(Buffer.from([0xbd, 0x04, 0xef, 0xfe]));  // VS_FIXEDFILEINFO signature
  assert.ok(at > 0, `${exe} has no version resource`);
  const ms = bytes.readUInt32LE(at + 8), ls = bytes.readUInt32LE(at + 12);
  return `${ms >>> 16}.${ms & 0xffff}.${ls >>> 16}`;
}

// What the user does after the runtime message: OK, then close the empty
// window (its Windows process id comes from the dialog record).
// `vesk` (whose log the Vesk in question writes) only explains a failure.
async function dismissRuntimeMessage(dialogs, vesk) {
  const seen = await waitFor(() => {
    const now = dialogs.record();
    return now?.answered.some((d) => d.texts.some((t) => t.includes(kRuntimeText))) && now;
  }, 90000, () => `the runtime message; dialogs seen: ${JSON.stringify(dialogs.record())}\n` +
                  `log:\n${vesk.lines().slice(-40).join('\n')}`);
  spawnSync('wine', ['taskkill', '/PID', String(seen.process)], { env: wineEnv(), stdio: 'ignore', timeout: 60000 });
  return seen;
}

// --- scenarios -------------------------------------------------------------------------------

test('without a release key, or with the development key as one, nothing is packaged', { timeout: 120000 },
     async () => {
  const out = path.join(scratch, 'refused');
  const none = await runPackage(['--out', out]);
  assert.notEqual(none.code, 0);
  assert.match(none.stderr, /--keys DIR/);
  const dev = await runPackage(['--keys', path.join(root, 'tests/keys'), '--out', out]);
  assert.notEqual(dev.code, 0);
  assert.match(dev.stderr, /development key/);
  assert.ok(!fs.existsSync(out), 'no output folder');
});

test('a wrong certificate password stops the packaging before anything is built or written', { timeout: 120000 },
     async () => {
  makeSigningCertificate();
  const wrong = path.join(scratch, 'wrong.password');
  fs.writeFileSync(wrong, 'battery staple');
  const out = path.join(scratch, 'wrong-password');
  const result = await runPackage(['--dev', '--sign-pfx', signing.pfx, '--sign-password-file', wrong, '--out', out]);
  assert.notEqual(result.code, 0);
  assert.match(result.stderr, /wrong password/);
  assert.ok(!fs.existsSync(out), 'no output folder');
  assert.doesNotMatch(result.stdout, /building Vesk/);
});

test('the setup installs per user, silently, with its uninstaller, shortcut and entry', { timeout: 900000 },
     async () => {
  const { oldDist, packageOutput } = await releaseWorld();
  const setup = path.join(oldDist, `Vesk-${kOld}-setup.exe`);
  for (const name of [`Vesk-${kOld}-win-x64.zip`, `Vesk-${kOld}-setup.exe`, 'manifest.json']) {
    assert.ok(fs.existsSync(path.join(oldDist, name)), name);
  }
  assert.match(packageOutput, /Vesk\.exe .* MB/);
  // The manifest carries a signed expiry about 90 days ahead.
  const expires = Date.parse(JSON.parse(fs.readFileSync(path.join(oldDist, 'manifest.json'), 'utf8')).expires);
  assert.ok(Math.abs(expires - Date.now() - 90 * 86400000) < 2 * 86400000, 'expires in about 90 days');
  assert.ok(fs.statSync(setup).size <= 4 * 1048576, 'the setup stays within 4 MB');

  assert.equal(await runWine(setup, ['/VERYSILENT', '/SUPPRESSMSGBOXES']), 0);
  for (const name of ['Vesk.exe', 'WebView2Loader.dll', 'unins000.exe', 'web/editor.js', 'samples/welcome.md',
                      'fonts/JetBrainsMono-Light.ttf', 'licenses/WebView2Loader.txt']) {
    assert.ok(fs.existsSync(path.join(installDir, name)), `installed ${name}`);
  }
  // Microsoft's loader, not the one our tests run with.
  assert.notDeepEqual(fs.readFileSync(path.join(installDir, 'WebView2Loader.dll')), fs.readFileSync(testLoader));
  assert.ok(fs.existsSync(shortcut), 'Start menu shortcut');
  const entry = uninstallEntry();
  assert.ok(entry, 'uninstall entry');
  assert.equal(entry.DisplayVersion, kOld);
  assert.match(entry.UninstallString, /unins000\.exe/);
  assert.equal(fileVersion(installedExe), kOld);
  assert.ok(openWithOffered(), '"Open with Vesk" for .md');
  assert.ok(!mdDefault(), 'the default program for .md is left alone');
});

test('the setup refuses a folder that holds someone else\'s files, and touches none of them', { timeout: 180000 },
     async () => {
  const { oldDist } = await releaseWorld();
  // NSIS takes /D= only unquoted, and Wine quotes an argument with a space:
  // the folder's name has none.
  const mine = path.join(process.env.WINEPREFIX, 'drive_c/users', user, 'Documents', '我的资料');
  fs.mkdirSync(path.join(mine, 'web'), { recursive: true });
  fs.writeFileSync(path.join(mine, 'web', 'notes.md'), '# 笔记\n');
  const setup = path.join(oldDist, `Vesk-${kOld}-setup.exe`);
  const typed = `C:\\users\\${user}\\Documents\\我的资料`;
  assert.equal(await runWine(setup, ['/VERYSILENT', '/SUPPRESSMSGBOXES', `/D=${typed}`]), 2);
  assert.equal(fs.readFileSync(path.join(mine, 'web', 'notes.md'), 'utf8'), '# 笔记\n');
  assert.deepEqual(fs.readdirSync(mine, { recursive: true }).sort(), ['web', path.join('web', 'notes.md')]);
  assert.equal(uninstallEntry()?.DisplayVersion, kOld, 'the installed copy is left as it was');
});

test('Vesk.exe, unins000.exe and the setup carry an Authenticode signature by the release certificate',
     { timeout: 120000 }, async () => {
  const { oldDist, packageOutput } = await releaseWorld();
  assert.doesNotMatch(packageOutput, /not signing/);
  const exe = path.join(scratch, 'zipped-Vesk.exe');
  fs.writeFileSync(exe, spawnSync('unzip', ['-p', path.join(oldDist, `Vesk-${kOld}-win-x64.zip`), 'Vesk.exe'],
                                  { maxBuffer: 64 * 1048576 }).stdout);
  // unins000.exe as the installer wrote it (the install scenario ran before).
  for (const file of [exe, installedExe, path.join(installDir, 'unins000.exe'), path.join(oldDist, `Vesk-${kOld}-setup.exe`)]) {
    const verdict = verifySignature(file);
    assert.equal(verdict.status, 0, `${file}\n${verdict.stdout}\n${verdict.stderr}`);
    assert.match(verdict.stdout, /Vesk Release Test/);
  }
  // The manifest lists the signed setup: its hash is of the file as published.
  const manifest = JSON.parse(fs.readFileSync(path.join(oldDist, 'manifest.json'), 'utf8'));
  const setupBytes = fs.readFileSync(path.join(oldDist, `Vesk-${kOld}-setup.exe`));
  assert.equal(manifest.platforms.windows.artifacts.setup.sha256,
               crypto.createHash('sha256').update(setupBytes).digest('hex'));
});

test('the winget manifests describe the setup beside them', { timeout: 120000 }, async () => {
  const { newDist } = await releaseWorld();
  const setupName = `Vesk-${kNew}-setup.exe`;
  const read = (name) => {
    const fields = {};
    for (const line of fs.readFileSync(path.join(newDist, 'winget', name), 'utf8').split('\n')) {
      const match = /^\s*(?:- )?(\w+): (.*)$/.exec(line);
      if (match) fields[match[1]] = match[2].startsWith('"') ? JSON.parse(match[2]) : match[2];
    }
    return fields;
  };
  const version = read('Vesk.Vesk.yaml');
  const installer = read('Vesk.Vesk.installer.yaml');
  assert.equal(version.PackageVersion, kNew);
  assert.equal(installer.PackageVersion, kNew);
  assert.equal(version.DefaultLocale, 'zh-CN');
  assert.equal(installer.InstallerUrl, `${server.base}/${setupName}`);
  assert.equal(installer.InstallerSha256,
               crypto.createHash('sha256').update(fs.readFileSync(path.join(newDist, setupName))).digest('hex').toUpperCase());
  assert.equal(installer.InstallerType, 'nullsoft');
  assert.equal(installer.Scope, 'user');
  assert.equal(installer.Architecture, 'x64');
  // Every switch is one the installer script reads or names as accepted in
  // its list of switches, and the product code is the name of the uninstall
  // entry it writes.
  const nsi = fs.readFileSync(path.join(root, 'packaging/vesk.nsi'), 'utf8');
  const switches = nsi.split('\n').filter((line) => line.startsWith(';')).join('\n');
  for (const key of ['Silent', 'SilentWithProgress', 'Upgrade']) {
    for (const option of installer[key].split(' ')) assert.ok(switches.includes(option), `${key}: ${option}`);
  }
  assert.equal(kUninstallKey.split('\\').pop(), installer.ProductCode);
  for (const [locale, type] of [['zh-CN', 'defaultLocale'], ['en-US', 'locale']]) {
    const fields = read(`Vesk.Vesk.locale.${locale}.yaml`);
    assert.equal(fields.PackageLocale, locale);
    assert.equal(fields.ManifestType, type);
    assert.equal(fields.PackageVersion, kNew);
    assert.ok(fields.ShortDescription, `${locale} ShortDescription`);
  }
});

test('as shipped, Microsoft\'s loader reports the missing runtime and Vesk closes cleanly', { timeout: 180000 },
     async () => {
  await releaseWorld();
  const dir = tempDir();
  try {
    const dialogs = answerDialogs(dir, { [kRuntimeText]: IDOK }, 150, 'dialogs');
    const vesk = startVesk({ dir, port: 0, exe: installedExe });
    await vesk.waitForLine('GetAvailableCoreWebView2BrowserVersionString failed', 90000);
    await dismissRuntimeMessage(dialogs, vesk);
    assert.equal(await vesk.exit(60000), 0);
    const seen = await dialogs.done();
    assert.ok(!vesk.lines().includes('env callback fired'), 'no environment without a runtime');
    const box = seen.answered.find((d) => d.texts.some((t) => t.includes(kRuntimeText)));
    assert.ok(box, JSON.stringify(seen));
    assert.ok(box.texts.some((t) => t.includes('https://go.microsoft.com/fwlink/p/?LinkId=2124703')),
              box.texts.join('|'));
  } finally {
    removeDir(dir);
  }
});

test('the portable copy runs from a folder with a space and Chinese characters', { timeout: 180000 },
     async () => {
  const { oldDist } = await releaseWorld();
  await withWorld(async (w) => {
    const folder = path.join(w.dir, '便携 Vesk 副本');
    fs.mkdirSync(folder);
    const unzip = spawnSync('unzip', ['-q', path.join(oldDist, `Vesk-${kOld}-win-x64.zip`), '-d', folder]);
    assert.equal(unzip.status, 0);
    assert.ok(!fs.existsSync(path.join(folder, 'unins000.exe')), 'a portable copy has no uninstaller');
    fs.copyFileSync(testLoader, path.join(folder, 'WebView2Loader.dll'));
    const vesk = w.vesk({ exe: path.join(folder, 'Vesk.exe') });
    await vesk.waitForLine('NATIVE ready gen=1', 90000);
    await vesk.waitForLine('NATIVE navigation completed');
  });
});

test('an installed copy updates itself with the real installer and starts again', { timeout: 300000 },
     async () => {
  await releaseWorld();
  // The page has to run for the update check to start: our loader stands in
  // for Microsoft's until the new installer puts that back.
  fs.copyFileSync(testLoader, path.join(installDir, 'WebView2Loader.dll'));
  wine(['reg', 'delete', 'HKCU\\Software\\Vesk', '/f']);  // a first run: the check is due
  // The new setup removes what the old one listed as its own, only that: a
  // note the user keeps in the program's web folder and a file outside the
  // folder that a listed name would reach stay.
  const list = path.join(installDir, 'unins000.lst');
  const listed = fs.readFileSync(list).toString('utf16le');
  assert.match(listed, /^web\\editor\.js\r$/m);
  fs.writeFileSync(list, Buffer.from(`${listed}web\\old-page.js\r\n..\\outside.txt\r\n`, 'utf16le'));
  fs.writeFileSync(path.join(installDir, 'web', 'old-page.js'), 'old');
  fs.writeFileSync(path.join(programs, 'outside.txt'), 'outside');
  fs.writeFileSync(path.join(installDir, 'web', 'notes.md'), '# 笔记\n');
  await withWorld(async (w) => {
    const dialogs = answerDialogs(w.dir, { [`发现新版本 ${kNew}`]: kDownloadButton, 更新失败: IDOK }, 150, 'old');
    const vesk = w.vesk({ exe: installedExe, env: { VESK_UPDATE_URL: `${server.base}/manifest.json`, VESK_KEYLOG: '1' } });
    await vesk.waitForLine('NATIVE update installer launched, quitting', 120000);
    // Both releases are signed by the same certificate: the check ran and passed.
    assert.ok(vesk.lines().includes('NATIVE update installer signer check: same signer'), vesk.log());
    assert.equal(await vesk.exit(60000), 0);
    const old = await dialogs.done();
    assert.ok(old.answered.some((d) => d.pressed === kDownloadButton), JSON.stringify(old));

    // The installer waits for the old process, installs and starts the new
    // one, which inherits the log and this time meets Microsoft's loader.
    const relaunched = answerDialogs(w.dir, { [kRuntimeText]: IDOK }, 150, 'new');
    await waitFor(() => vesk.lines().filter((l) => l.startsWith('NATIVE keyboard hook')).length >= 2, 120000,
                  () => `the relaunched Vesk's start-up line\n${vesk.log()}`);
    await waitFor(() => uninstallEntry()?.DisplayVersion === kNew, 60000, 'the uninstall entry to say 1.1.0');
    assert.equal(fileVersion(installedExe), kNew);
    assert.ok(!fs.existsSync(path.join(installDir, 'web', 'old-page.js')), 'a file the old version listed is gone');
    assert.equal(fs.readFileSync(path.join(installDir, 'web', 'notes.md'), 'utf8'), '# 笔记\n');
    assert.equal(fs.readFileSync(path.join(programs, 'outside.txt'), 'utf8'), 'outside');
    for (const name of fs.readFileSync(list).toString('utf16le').split('\r\n').filter((n) => n && !n.endsWith('\\'))) {
      assert.ok(fs.existsSync(path.join(installDir, ...name.split('\\'))), `installed ${name}`);
    }
    assert.ok(openWithOffered(), '"Open with Vesk" stays after the upgrade');
    // The uninstall scenario expects a folder with nothing of the user's.
    fs.rmSync(path.join(installDir, 'web', 'notes.md'));
    try {
      await dismissRuntimeMessage(relaunched, vesk);
      assert.equal((await relaunched.done()).code, 0, 'the relaunched Vesk ended');
    } finally {
      // The installer started that Vesk, not the harness: never leave it
      // holding the installed files for the scenarios after this one.
      wine(['taskkill', '/IM', 'Vesk.exe', '/F']);
    }
  });
});

test('unins000.exe /VERYSILENT removes the program and keeps the user\'s documents', { timeout: 180000 },
     async () => {
  await releaseWorld();
  const note = path.join(programs, '我的笔记.md');
  fs.writeFileSync(note, '# 留着\n');
  assert.equal(await runWine(path.join(installDir, 'unins000.exe'), ['/VERYSILENT']), 0);
  // unins000.exe hands over to a copy of itself in the temporary folder,
  // which does the work after the first one has ended.
  const left = () => [installDir, shortcut].filter((p) => fs.existsSync(p));
  await waitFor(() => left().length === 0 && uninstallEntry() === null, 60000,
                () => `the uninstall; left: ${left().join(', ')} ` +
                      `${fs.existsSync(installDir) ? fs.readdirSync(installDir, { recursive: true }).join(', ') : ''}`);
  assert.ok(!openWithOffered(), '"Open with Vesk" removed');
  assert.equal(fs.readFileSync(note, 'utf8'), '# 留着\n');
});
