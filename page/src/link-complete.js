// Completing link targets: inside "](" (or "](<") the folder's Markdown files
// are offered as paths relative to this document (spaces as %20), and after
// "#" the anchors of this document's headings, as the page generates them.
import { currentHeadings } from './doc-state.js';

/** `to` (relative to the folder's root) as seen from the folder of `from`. */
export function relativePath(from, to) {
  const base = from.split('/').slice(0, -1);
  const target = to.split('/');
  let common = 0;
  while (common < base.length && common < target.length - 1 && base[common] === target[common]) common++;
  return [...Array(base.length - common).fill('..'), ...target.slice(common)].join('/');
}

export function encodeDestination(path) {
  return path.replace(/%/g, '%25').replace(/ /g, '%20');
}

// The destination typed so far in an inline link or image, or null.
const kOpenLink = /!?\[[^\]\n]*\]\(<?([^()\s<>]*)$/;

/** `folder()` gives { files, current }: the index and this document's path, both relative to the root. */
export function linkCompletionSource(folder) {
  return (context) => {
    const line = context.state.doc.lineAt(context.pos);
    const m = kOpenLink.exec(line.text.slice(0, context.pos - line.from));
    if (!m) return null;
    const typed = m[1];
    const hash = typed.indexOf('#');
    if (hash === 0) {
      const options = currentHeadings(context.view).map((h) => ({ label: `#${h.anchor}`, detail: h.text, type: 'text' }));
      return options.length ? { from: context.pos - typed.length, options, validFor: /^#[^()\s<>]*$/ } : null;
    }
    if (hash > 0) return null;
    const { files, current } = folder();
    if (!files.length) return null;
    const options = [];
    for (const file of files) {
      if (file === current) continue;
      options.push({ label: encodeDestination(relativePath(current || '', file)), type: 'file' });
    }
    return { from: context.pos - typed.length, options, validFor: /^[^()\s<>#]*$/ };
  };
}
