// The three manifests Windows' package manager takes for a release (version,
// installer, and a locale file per language: zh-CN, the default, and en-US),
// written by scripts/package beside the setup they describe:
//
//   node packaging/winget.mjs <out-folder> <version> <base-url> <setup.exe>
//
// The installer entry is the per-user NSIS setup (packaging/vesk.nsi) under
// <base-url>, with its SHA-256 and the silent switches that script accepts.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const kPackageIdentifier = 'Vesk.Vesk';
export const kManifestVersion = '1.6.0';
// No window, default answers, no restart; an upgrade first closes a running Vesk.
export const kSilentSwitches = '/VERYSILENT /SUPPRESSMSGBOXES /NORESTART';
export const kUpgradeSwitches = '/CLOSEAPPLICATIONS';
// The uninstall entry's key name in packaging/vesk.nsi (UNINSTALL_KEY).
export const kProductCode = 'Vesk';

const locales = {
  'zh-CN': {
    ShortDescription: 'Windows 上的原生 Markdown 编辑器',
    Description: '原样保存你的 Markdown，从不丢失保存，能打开大文件，可导出独立的 HTML 文件和 A4 PDF，并能安全地自动更新。',
    Tags: ['markdown', 'editor', '编辑器'],
  },
  'en-US': {
    ShortDescription: 'A native Markdown editor for Windows',
    Description: 'Keeps your Markdown byte for byte, never loses a save, handles huge files, exports a ' +
                 'self-contained HTML file and a true A4 PDF, and updates itself safely.',
    Tags: ['markdown', 'editor'],
  },
};
const kDefaultLocale = 'zh-CN';

// YAML of a flat object whose values are strings, numbers or string lists.
function yaml(schema, fields) {
  const quote = (text) => (/^[\w./:@+-][\w ./:@+()-]*$/u.test(text) && !/^(true|false|null|yes|no|~)$/i.test(text)
    && !/^[\d.]+$/.test(text) ? text : JSON.stringify(text));
  const lines = [`# yaml-language-server: $schema=https://aka.ms/winget-manifest.${schema}.${kManifestVersion}.schema.json`, ''];
  const put = (key, value, indent) => {
    if (Array.isArray(value)) {
      lines.push(`${indent}${key}:`);
      for (const item of value) {
        if (typeof item === 'object') {
          const [first, ...rest] = Object.entries(item);
          lines.push(`${indent}- ${first[0]}: ${quote(String(first[1]))}`);
          for (const [k, v] of rest) put(k, v, `${indent}  `);
        } else {
          lines.push(`${indent}- ${quote(String(item))}`);
        }
      }
    } else if (typeof value === 'object') {
      lines.push(`${indent}${key}:`);
      for (const [k, v] of Object.entries(value)) put(k, v, `${indent}  `);
    } else {
      lines.push(`${indent}${key}: ${quote(String(value))}`);
    }
  };
  for (const [key, value] of Object.entries(fields)) put(key, value, '');
  return `${lines.join('\n')}\n`;
}

// { file name: text } of the three manifests.
export function wingetManifests({ version, baseUrl, setupName, setupSha256, releaseDate }) {
  const id = kPackageIdentifier;
  const head = { PackageIdentifier: id, PackageVersion: version };
  const tail = (type) => ({ ManifestType: type, ManifestVersion: kManifestVersion });
  const files = {
    [`${id}.yaml`]: yaml('version', { ...head, DefaultLocale: kDefaultLocale, ...tail('version') }),
    [`${id}.installer.yaml`]: yaml('installer', {
      ...head,
      InstallerLocale: kDefaultLocale,
      MinimumOSVersion: '10.0.0.0',
      InstallerType: 'nullsoft',
      Scope: 'user',
      InstallModes: ['interactive', 'silent', 'silentWithProgress'],
      InstallerSwitches: { Silent: kSilentSwitches, SilentWithProgress: kSilentSwitches, Upgrade: kUpgradeSwitches },
      UpgradeBehavior: 'install',
      ProductCode: kProductCode,
      FileExtensions: ['markdown', 'md'],
      ReleaseDate: releaseDate,
      Installers: [{
        Architecture: 'x64',
        InstallerUrl: `${baseUrl.replace(/\/+$/, '')}/${setupName}`,
        InstallerSha256: setupSha256.toUpperCase(),
      }],
      ...tail('installer'),
    }),
  };
  for (const [locale, texts] of Object.entries(locales)) {
    files[`${id}.locale.${locale}.yaml`] = yaml(locale === kDefaultLocale ? 'defaultLocale' : 'locale', {
      ...head,
      PackageLocale: locale,
      Publisher: 'Vesk',
      PackageName: 'Vesk',
      License: 'Proprietary',
      ...texts,
      ...tail(locale === kDefaultLocale ? 'defaultLocale' : 'locale'),
    });
  }
  return files;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [out, version, baseUrl, setup] = process.argv.slice(2);
  const setupSha256 = crypto.createHash('sha256').update(fs.readFileSync(setup)).digest('hex');
  const files = wingetManifests({ version, baseUrl, setupName: path.basename(setup), setupSha256,
                                  releaseDate: new Date().toISOString().slice(0, 10) });
  fs.mkdirSync(out, { recursive: true });
  for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(out, name), text);
}
