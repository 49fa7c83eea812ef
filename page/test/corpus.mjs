// Real Markdown documents for the fidelity tests and the benchmark: the
// CommonMark reference text with its examples, the READMEs of our dependencies
// and the sample document of the screenshots.
import { readFileSync, readdirSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { createRequire } from 'node:module';
import { pageDir } from './harness.mjs';

const require = createRequire(import.meta.url);

export function commonmarkExamples() {
  return require('commonmark-spec').tests;
}

export function commonmarkText() {
  return readFileSync(join(pageDir, 'node_modules', 'commonmark-spec', 'spec.txt'), 'utf8');
}

export function sampleDocument() {
  return readFileSync(join(pageDir, 'test', 'fixtures', 'sample.md'), 'utf8');
}

/** READMEs and change logs shipped in node_modules. */
export function realDocuments() {
  const out = [];
  const root = join(pageDir, 'node_modules');
  const visit = (dir, depth) => {
    for (const entry of readdirSync(dir, { withFileTypes: true })) {
      const path = join(dir, entry.name);
      if (entry.isDirectory() && depth < 2 && entry.name !== '.bin') visit(path, depth + 1);
      else if (entry.isFile() && /\.md$/i.test(entry.name) && existsSync(path)) out.push(readFileSync(path, 'utf8'));
    }
  };
  visit(root, 0);
  return out;
}

/** A realistic document of at least `bytes` characters. */
export function largeDocument(bytes) {
  const parts = [sampleDocument(), commonmarkText(), ...realDocuments()];
  const out = [];
  let size = 0;
  for (let i = 0; size < bytes; i++) {
    const part = parts[i % parts.length];
    out.push(part);
    size += part.length + 2;
  }
  return out.join('\n\n');
}
