// The real Vesk.exe updating itself under Wine: its background check fetches
// a manifest signed with the development key from a server in this test,
// offers the update, downloads, verifies and hands over to the installer.
// A small Windows program (update_e2e_dialogs) plays the user: it answers
// the prompt and error boxes from outside the process and reports every
// dialog it saw. Observed through VESK_LOG, the server's requests, the files
// left behind and what the stand-in installer was started with.
import { test, before } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import {
  answerDialogs, buildDir, copyRuntime, requireBuild, root, sleep, waitFor, wineEnv, winPath, withWorld,
} from './harness.mjs';

// The first check runs 10 s after start; Wine and the page take their share.
const kTimeout = { timeout: 180000 };
const kNewVersion = '1.1.0';
const kInstallerArguments = '/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /CLOSEAPPLICATIONS /RELAUNCH=1';
const kDownloadButton = 1001;
const kLaterButton = 1002;
const IDOK = 1;

const helpers = {
  installer: path.join(buildDir, 'tests/win/update_fake_installer.exe'),
  signer: path.join(buildDir, 'tools/sign-manifest/sign-manifest.exe'),
  swap: path.join(buildDir, 'tests/win/update_swap_attempt.exe'),
};
const secretKey = path.join(root, 'tests/keys/dev-update.secret');

before(() => {
  requireBuild();
  const missing = Object.values(helpers).filter((file) => !fs.existsSync(file));
  if (missing.length) throw new Error(`missing ${missing.join(', ')}: run cmake --build --preset mingw first`);
});

const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

function wine(args, what) {
  const result = spawnSync('wine', args, { env: wineEnv(), encoding: 'utf8', timeout: 60000 });
  if (what) assert.equal(result.status, 0, `${what}: ${result.stderr}`);
  return result;
}

// A check stores its time and a "later" stores the version: start every
// run as a first run.
function forgetUpdateState() {
  wine(['reg', 'delete', 'HKCU\\Software\\Vesk', '/f']);  // fails harmlessly when absent
}

// The manifest as a release publishes it, signed by tools/sign-manifest.
function signedManifest(dir, body) {
  const file = path.join(dir, 'manifest.json');
  fs.writeFileSync(file, JSON.stringify(body, null, 2));
  wine([helpers.signer, 'sign', winPath(secretKey), winPath(file)], 'sign-manifest');
  return fs.readFileSync(file, 'utf8');
}

function manifestBody(base, { version = kNewVersion, setup, portable }) {
  return {
    updated_at: '2025-03-01T08:00:00Z',
    platforms: {
      windows: {
        version,
        build: 110,
        min_os: '10.0',
        artifacts: {
          setup: { url: `${base}/Vesk-${version}-setup.exe`, sha256: sha256(setup), size: setup.length },
          portable: { url: `${base}/Vesk-${version}-win-x64.zip`, sha256: sha256(portable), size: portable.length },
        },
      },
    },
  };
}

// Serves fixed bodies on 127.0.0.1 and records each request. Packages go out
// in pieces with pauses, so the progress dialog is on screen for a while.
async function startServer() {
  const files = new Map();
  const requests = [];
  const server = http.createServer(async (request, response) => {
    requests.push({ url: request.url, agent: request.headers['user-agent'] });
    const body = files.get(request.url);
    if (!body) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Length': body.length, 'Content-Type': 'application/octet-stream' });
    if (request.url.endsWith('.json')) {
      response.end(body);
      return;
    }
    const pieces = 6;
    const step = Math.ceil(body.length / pieces);
    for (let at = 0; at < body.length && !response.destroyed; at += step) {
      response.write(body.subarray(at, at + step));
      await sleep(200);
    }
    response.end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    base: `http://127.0.0.1:${server.address().port}`,
    files,
    requests,
    close: () => new Promise((resolve) => { server.closeAllConnections(); server.close(resolve); }),
  };
}

// Log lines that must appear in this order (each a prefix or a pattern).
function assertInOrder(lines, expected) {
  let at = -1;
  for (const want of expected) {
    const match = typeof want === 'string' ? (line) => line.startsWith(want) : (line) => want.test(line);
    const found = lines.findIndex((line, i) => i > at && match(line));
    assert.ok(found > at, `"${want}" after line ${at} in\n${lines.join('\n')}`);
    at = found;
  }
}

const updateLines = (vesk) => vesk.lines().filter((line) => line.startsWith('NATIVE update '));

// The Windows path of the package, as the download line names it.
function downloadedWindowsPath(vesk) {
  const line = updateLines(vesk).find((l) => l.startsWith('NATIVE update download http'));
  assert.ok(line, 'a download line');
  return line.slice(line.indexOf(' -> ') + 4);
}

// The Unix path of the package, from the Windows path the download line names.
function downloadedFile(vesk) {
  const windowsPath = downloadedWindowsPath(vesk);
  const result = spawnSync('winepath', ['-u', windowsPath], { env: wineEnv(), encoding: 'utf8', timeout: 60000 });
  return result.stdout.trim();
}

function isPrompt(dialog, version = kNewVersion) {
  return dialog.caption === 'Vesk' && dialog.texts.includes(`发现新版本 ${version}`);
}

// An installed copy: the runtime in a folder of its own with an uninstaller
// beside it, so the setup package is the one chosen.
function installedCopy(dir) {
  const exe = copyRuntime(path.join(dir, 'Programs', 'Vesk'));
  fs.writeFileSync(path.join(path.dirname(exe), 'unins000.exe'), 'MZ');
  return exe;
}

// Starts Vesk on an update the user accepts: `manifest` and `packages`
// (name: bytes) are served, the prompt is answered 下载更新 and an error box
// OK. The caller waits for what should follow.
function acceptUpdate(world, server, { exe, manifest, packages }) {
  server.files.set('/manifest.json', Buffer.from(manifest));
  for (const [name, bytes] of Object.entries(packages)) server.files.set(`/${name}`, bytes);
  const installerOut = path.join(world.dir, 'installer-args.txt');
  forgetUpdateState();
  const dialogs = answerDialogs(world.dir, { [`发现新版本 ${kNewVersion}`]: kDownloadButton, '更新失败': IDOK });
  const vesk = world.vesk({
    exe,
    env: {
      VESK_UPDATE_URL: `${server.base}/manifest.json`,
      VESK_KEYLOG: '1',
      VESK_TEST_INSTALLER_OUT: winPath(installerOut),
    },
  });
  return { vesk, dialogs, installerOut };
}

function installerPackage() {
  return fs.readFileSync(helpers.installer);
}

test('an installed copy downloads, verifies and hands over to the installer', kTimeout, () => withWorld(async (world) => {
  const server = await startServer();
  try {
    const setup = installerPackage();
    const portable = Buffer.from('a portable package that an installed copy must not fetch');
    const manifest = signedManifest(world.dir, manifestBody(server.base, { setup, portable }));
    const exe = installedCopy(world.dir);
    const { vesk, dialogs, installerOut } = acceptUpdate(world, server, {
      exe, manifest, packages: { [`Vesk-${kNewVersion}-setup.exe`]: setup, [`Vesk-${kNewVersion}-win-x64.zip`]: portable },
    });

    await vesk.waitForLine('NATIVE update installer launched, quitting', 90000);
    // The hand-over closes the window, and the program ends by itself.
    assert.equal(await vesk.exit(30000), 0);
    const args = await waitFor(() => fs.existsSync(installerOut) && fs.readFileSync(installerOut, 'utf16le'),
                               30000, 'the installer to run');
    assert.equal(args, kInstallerArguments);

    const setupUrl = `${server.base}/Vesk-${kNewVersion}-setup.exe`;
    const lines = updateLines(vesk);
    assertInOrder(lines, [
      `NATIVE update GET ${server.base}/manifest.json`,
      `NATIVE update current=1.0.3 latest=${kNewVersion} os=10.0 decision=2`,
      `NATIVE update target=${setupUrl} installed=1`,
      `NATIVE update download ${setupUrl} -> `,
      'NATIVE update download attempt 1/3',
      `NATIVE update download ok bytes=${setup.length}`,
      'NATIVE update installer launched, quitting',
    ]);
    assert.ok(!lines.some((l) => /failed|attempt 2/.test(l)), lines.join('\n'));
    // What ran is what was served and signed for; the prefix is left clean.
    const downloaded = downloadedFile(vesk);
    assert.equal(sha256(fs.readFileSync(downloaded)), sha256(setup));
    fs.rmSync(downloaded);
    assert.deepEqual(server.requests.map((r) => r.url), ['/manifest.json', `/Vesk-${kNewVersion}-setup.exe`]);
    assert.ok(server.requests.every((r) => r.agent === 'Vesk/1.0.3'), JSON.stringify(server.requests));

    const seen = await dialogs.done();
    assert.equal(seen.code, 0, 'the dialog helper saw Vesk end');
    assert.equal(seen.answered.length, 1, JSON.stringify(seen.answered));
    const prompt = seen.answered[0];
    assert.ok(isPrompt(prompt), JSON.stringify(prompt));
    assert.equal(prompt.pressed, kDownloadButton);
    for (const text of ['下载更新', '稍后']) assert.ok(prompt.texts.includes(text), `button ${text}`);
    assert.ok(prompt.buttons.includes(kDownloadButton) && prompt.buttons.includes(kLaterButton));
    assert.ok(prompt.texts.some((t) => t.includes('当前版本 1.0.3') && t.includes('当前是安装版')), prompt.texts.join('|'));
    // The package arrives in pieces, so the progress dialog shows how far
    // it has got against the length the server announced.
    const progress = seen.seen.filter((d) => d.caption === 'Vesk' && d.texts.includes('正在下载更新…'));
    const total = `${(setup.length / 1048576).toFixed(1)} MB`;
    assert.ok(progress.some((d) => d.progress > 0 && d.texts.some((t) => /^\d+% — [\d.]+ MB \/ /.test(t) &&
                                                                       t.endsWith(total))),
              JSON.stringify(progress));
  } finally {
    await server.close();
  }
}));

// A package or manifest that does not match what the release key signed:
// the user is told, nothing runs and the download is gone.
async function refusedUpdate(world, { tamper, expectLog, expectBox }) {
  const server = await startServer();
  try {
    const setup = installerPackage();
    const portable = Buffer.from('portable');
    const manifest = signedManifest(world.dir, manifestBody(server.base, { setup, portable }));
    const served = tamper({ manifest, setup, base: server.base });
    const exe = installedCopy(world.dir);
    const { vesk, dialogs, installerOut } = acceptUpdate(world, server, {
      exe, manifest: served.manifest, packages: served.packages,
    });

    await vesk.waitForLine(`NATIVE update download failed: ${expectBox}`, 90000);
    const box = await waitFor(() => dialogs.record()?.answered.find((d) => d.caption === '更新失败'),
                              30000, 'the error box to be answered');
    assert.ok(box.texts.includes(expectBox), box.texts.join('|'));
    const lines = updateLines(vesk);
    assertInOrder(lines, [
      `NATIVE update current=1.0.3 latest=${kNewVersion} os=10.0 decision=2`,
      /^NATIVE update target=.* installed=1$/,
      'NATIVE update download attempt 1/3',
      ...expectLog,
      `NATIVE update download failed: ${expectBox}`,
    ]);
    // A finished transfer that fails verification is not fetched again.
    assert.ok(!lines.some((l) => l.includes('attempt 2') || l.startsWith('NATIVE update download ok')),
              lines.join('\n'));
    assert.ok(!lines.some((l) => l.includes('installer launched')));
    assert.ok(!fs.existsSync(downloadedFile(vesk)), 'the download is removed');

    // Still running and usable: closed as a user would close it.
    const record = dialogs.record();
    vesk.requestClose(record.process);
    assert.equal(await vesk.exit(30000), 0);
    const seen = await dialogs.done();
    assert.deepEqual(seen.answered.map((d) => d.caption), ['Vesk', '更新失败']);
    assert.ok(isPrompt(seen.answered[0]));
    assert.ok(!fs.existsSync(installerOut), 'nothing was run');
  } finally {
    await server.close();
  }
}

test('a package that does not match the signed SHA-256 is removed', kTimeout, () => withWorld((world) =>
  refusedUpdate(world, {
    // The signed manifest as it is; the server hands out other bytes of
    // the same length.
    tamper: ({ manifest, setup }) => {
      const other = Buffer.from(setup);
      other[other.length - 1] ^= 0xff;
      return { manifest, packages: { [`Vesk-${kNewVersion}-setup.exe`]: other } };
    },
    expectLog: [],
    expectBox: '更新包校验失败（SHA256 不一致），已删除下载内容。',
  })));

test('a package larger than its signed size is cut off and the program goes on', kTimeout, () => withWorld((world) =>
  refusedUpdate(world, {
    // Endless data: the server keeps sending past the declared size.
    tamper: ({ manifest, setup }) => ({
      manifest,
      packages: { [`Vesk-${kNewVersion}-setup.exe`]: Buffer.concat([setup, Buffer.alloc(3 << 20, 0x41)]) },
    }),
    expectLog: ['NATIVE update download failed (non-retryable): 更新包超过清单声明的大小，已停止下载。'],
    expectBox: '更新包超过清单声明的大小，已停止下载。',
  })));

// Linux ids of the Explorer processes Vesk started to show `windowsPath`.
function explorerShowing(windowsPath) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const command = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
      if (command.includes('explorer.exe') && command.includes(windowsPath)) found.push(Number(pid));
    } catch {
      // gone meanwhile
    }
  }
  return found.length ? found : null;
}

function registryValue(name) {
  const result = wine(['reg', 'query', 'HKCU\\Software\\Vesk', '/v', name]);
  return result.status === 0 && result.stdout.includes(name) ? result.stdout : null;
}

// Closes Vesk as a user would and checks, once it has ended, that the dialog
// watcher saw nothing at all. A prompt is shown right after the awaited log
// line, in the same handler, and stays up until answered or closed: from the
// line to the close is far longer than the watcher's 25 ms between looks.
async function closeAndCheckNoDialog(vesk, dialogs) {
  const record = await waitFor(() => dialogs.record(), 30000, 'the dialog helper to find Vesk');
  vesk.requestClose(record.process);
  assert.equal(await vesk.exit(30000), 0);
  const done = await dialogs.done();
  assert.deepEqual(done.seen, [], JSON.stringify(done.seen));
}

// A background check whose manifest is refused: nothing is shown, nothing
// but the manifest is fetched, and the program runs on until closed.
async function refusedCheck(world, { manifest, before = () => {}, expectLine }) {
  const server = await startServer();
  try {
    server.files.set('/manifest.json', Buffer.from(manifest(server.base)));
    forgetUpdateState();
    before();
    const dialogs = answerDialogs(world.dir, {});
    const vesk = world.vesk({ env: { VESK_UPDATE_URL: `${server.base}/manifest.json`, VESK_KEYLOG: '1' } });
    await vesk.waitForLine(expectLine, 90000);
    await closeAndCheckNoDialog(vesk, dialogs);
    assert.deepEqual(updateLines(vesk), [`NATIVE update GET ${server.base}/manifest.json`, expectLine]);
    assert.deepEqual(server.requests.map((r) => r.url), ['/manifest.json']);
    assert.equal(registryValue('SkippedUpdateVersion'), null);
  } finally {
    await server.close();
  }
}

test('an unsigned manifest offering a newer version is refused at once and stores nothing', kTimeout,
  () => withWorld((world) => refusedCheck(world, {
    manifest: (base) => {
      const bytes = Buffer.from('setup');
      return JSON.stringify(manifestBody(base, { version: '9.0.0', setup: bytes, portable: bytes }));
    },
    expectLine: 'NATIVE update manifest signature invalid: 更新清单缺少 signature',
  }).then(() => assert.equal(registryValue('HighestSeenUpdateVersion'), null))));

test('a manifest changed after signing is refused when it arrives', kTimeout,
  () => withWorld((world) => refusedCheck(world, {
    // Points the setup at another program with that program's own hash:
    // what someone who can change the manifest but not sign it would do.
    // The other program is never fetched.
    manifest: (base) => {
      const setup = Buffer.from('setup');
      const body = JSON.parse(signedManifest(world.dir, manifestBody(base, { setup, portable: setup })));
      const evil = Buffer.from('evil');
      body.platforms.windows.artifacts.setup = { url: `${base}/evil-setup.exe`, sha256: sha256(evil), size: evil.length };
      return JSON.stringify(body);
    },
    expectLine: 'NATIVE update manifest signature invalid: 更新清单签名验证失败（公钥不匹配或清单被改动）',
  })));

test('a verified manifest older than one seen before is refused as a replay', kTimeout,
  () => withWorld((world) => refusedCheck(world, {
    manifest: (base) => {
      const bytes = Buffer.from('setup');
      return signedManifest(world.dir, manifestBody(base, { version: kNewVersion, setup: bytes, portable: bytes }));
    },
    before: () => wine(['reg', 'add', 'HKCU\\Software\\Vesk', '/v', 'HighestSeenUpdateVersion', '/t', 'REG_SZ',
                        '/d', '1.2.0', '/f'], 'reg add'),
    expectLine: `NATIVE update manifest older than one already seen (${kNewVersion} < 1.2.0)`,
  })));

test('a manifest body over 1 MiB is refused and the program goes on', kTimeout,
  () => withWorld((world) => refusedCheck(world, {
    manifest: () => JSON.stringify({ padding: 'x'.repeat(1100000) }),
    expectLine: 'NATIVE update check failed: 更新清单过大（超过 1 MiB），已放弃。',
  })));

test('a verified portable package cannot be swapped before it is handed over', kTimeout, () => withWorld(async (world) => {
  const server = await startServer();
  try {
    const portable = Buffer.from('a portable package '.repeat(5000));
    const setup = Buffer.from('setup that a portable copy must not fetch');
    const manifest = signedManifest(world.dir, manifestBody(server.base, { setup, portable }));
    server.files.set('/manifest.json', Buffer.from(manifest));
    server.files.set(`/Vesk-${kNewVersion}-win-x64.zip`, portable);
    forgetUpdateState();
    // The final box stays up until the swap has been tried.
    const dialogs = answerDialogs(world.dir, { [`发现新版本 ${kNewVersion}`]: kDownloadButton });
    const vesk = world.vesk({ env: { VESK_UPDATE_URL: `${server.base}/manifest.json`, VESK_KEYLOG: '1' } });
    await vesk.waitForLine(`NATIVE update download ok bytes=${portable.length}`, 90000);
    await waitFor(() => dialogs.record()?.seen.some((d) => d.caption === '更新包已下载'), 30000, 'the final box');

    const attempt = wine([helpers.swap, downloadedWindowsPath(vesk)]);
    assert.equal(attempt.status, 0, attempt.stdout);
    assert.deepEqual(attempt.stdout.trim().split(/\r?\n/),
                     ['write refused', 'rename refused', 'delete refused', 'folder-rename refused']);
    assert.equal(sha256(fs.readFileSync(downloadedFile(vesk))), sha256(portable));

    // The user reads the box; Explorer is asked to show the package and
    // the program closes.
    fs.mkdirSync(path.join(world.dir, 'closer'));
    const closer = answerDialogs(path.join(world.dir, 'closer'), { 更新包已下载: IDOK });
    assert.equal(await vesk.exit(60000), 0);
    await closer.done();
    const explorer = await waitFor(() => explorerShowing(downloadedWindowsPath(vesk)), 30000, 'Explorer');
    // Explorer inherited our output pipe through Vesk; it must go, or this
    // test file would never end.
    for (const pid of explorer) process.kill(pid, 'SIGKILL');
    fs.rmSync(path.dirname(downloadedFile(vesk)), { recursive: true, force: true });
  } finally {
    await server.close();
  }
}));

test('a background check that finds the current version shows nothing', kTimeout, () => withWorld(async (world) => {
  const server = await startServer();
  try {
    const setup = Buffer.from('setup');
    const manifest = signedManifest(world.dir, manifestBody(server.base, { version: '1.0.3', setup, portable: setup }));
    server.files.set('/manifest.json', Buffer.from(manifest));
    forgetUpdateState();
    // Watches without answering: any dialog at all shows up in the record.
    const dialogs = answerDialogs(world.dir, {});
    const vesk = world.vesk({ env: { VESK_UPDATE_URL: `${server.base}/manifest.json`, VESK_KEYLOG: '1' } });

    await vesk.waitForLine('NATIVE update current=1.0.3 latest=1.0.3 os=10.0 decision=1', 90000);
    await closeAndCheckNoDialog(vesk, dialogs);
    assert.deepEqual(updateLines(vesk), [
      `NATIVE update GET ${server.base}/manifest.json`,
      'NATIVE update current=1.0.3 latest=1.0.3 os=10.0 decision=1',
    ]);
    assert.deepEqual(server.requests.map((r) => r.url), ['/manifest.json']);
  } finally {
    await server.close();
  }
}));
