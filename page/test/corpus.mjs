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

/** Diagrams in every kind of fence and place, emoji and short names, an unclosed last fence. */
export function diagramsDocument() {
  return readFileSync(join(pageDir, 'test', 'fixtures', 'diagrams-emoji.md'), 'utf8');
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

/** Front matter, footnotes, callouts, math, HTML blocks and a table with uneven pipes. */
export function extrasDocument() {
  return `---
title: "Notes: 春日"
date: 2026-03-01
...

# Extras

Euler: $e^{i\\pi} + 1 = 0$, and a price of $5 and $6.

$$
\\int_0^1 x^2 \\, dx = \\frac{1}{3}
$$

A claim[^a] and another[^long-note].

[^a]: First.
[^long-note]: Second, with **bold**.

> [!TIP]
> Tabs move between cells.

> [!note]
> lower case marker

<div align="center">
  <img src="assets/x.png" width="120" align="right">
  <br/>
</div>

<details>
<summary>Open</summary>

Hidden *Markdown*.

</details>

<!-- comment
over lines -->

| 名称 |Qty|  Note |
|:-----|--:|:---:|
| 苹果 | 3 | a \\| b |
|pear|12|
| x | y | z |

Text <kbd>Ctrl</kbd>+<kbd>S</kbd>, H<sub>2</sub>O, <mark>m</mark><br>end.
`;
}
