// Code blocks of the exported and printed document, highlighted by the same
// parsers and token classes as the editor, so they carry the same colours.
import { LanguageDescription } from '@codemirror/language';
import { languages } from '@codemirror/language-data';
import { highlightCode } from '@lezer/highlight';
import { highlighter } from './highlight.js';

const kFenceInfo = /^ {0,3}(?:`{3,}|~{3,})[ \t]*([^\s`{]+)/gm;
const kScanLimit = 2000000;
const kMaxLanguages = 24;

const escape = (text) => text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);

function describe(name) {
  return name ? LanguageDescription.matchLanguageName(languages, name, true) : null;
}

/** Loads the parsers of the languages named by the document's code fences. */
export function loadFenceLanguages(text) {
  const wanted = new Set();
  const src = text.length > kScanLimit ? text.slice(0, kScanLimit) : text;
  for (const m of src.matchAll(kFenceInfo)) {
    const desc = describe(m[1]);
    if (desc && !desc.support) wanted.add(desc);
    if (wanted.size >= kMaxLanguages) break;
  }
  return Promise.all([...wanted].map((d) => d.load().catch(() => null)));
}

/** Highlighted HTML of a code block's text, or '' when its language is not loaded. */
export function highlightedCode(code, lang) {
  const desc = describe(lang);
  if (!desc || !desc.support) return '';
  let html = '';
  highlightCode(code, desc.support.language.parser.parse(code), highlighter,
    (text, classes) => { html += classes ? `<span class="${classes}">${escape(text)}</span>` : escape(text); },
    () => { html += '\n'; });
  return html;
}
