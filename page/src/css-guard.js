// What the document's CSS may load and hide. Attribute values and inline
// styles keep only references to fragments of the page itself (url(#id), as
// SVG gradients, masks and markers use); style sheets of an export keep what
// they load from the web or this machine, never from another machine. Inline
// styles that hide content go, so an export shows what the reader saw.
// Everything is judged on the browser's own parse of the CSS, so escapes and
// odd spellings of url() cannot slip past.
import { isNetworkUrl } from './network.js';

// Functions of CSS values that load something (their strings are addresses).
const kLoadingFunction = /(?:url|image|image-set|cross-fade|element|src)\s*\(/i;

// Unescaped string contents of url("…") and "…" / '…' in a serialised value.
function addressesIn(value) {
  const found = [];
  for (const m of value.matchAll(/url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)\s]*))\s*\)|"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'/gi)) {
    const raw = m[1] ?? m[2] ?? m[3] ?? m[4] ?? m[5] ?? '';
    found.push(raw.replace(/\\([0-9a-f]{1,6}) ?|\\(.)/gi, (_, hex, c) => (hex ? String.fromCodePoint(Math.min(parseInt(hex, 16), 0xfffd)) : c)));
  }
  return found;
}

/** True when every resource a CSS value names is a fragment of this page. */
export function cssValueIsLocal(value) {
  const text = String(value);
  // An escape can spell any function name; no legitimate value needs one here.
  if (text.includes('\\')) return false;
  const rest = text.replace(/url\(\s*(["']?)#[^"')]*\1\s*\)/gi, '');
  return !kLoadingFunction.test(rest);
}

const kHiding = [
  ['display', /^none\b/i],
  ['visibility', /^(?:hidden|collapse)\b/i],
  ['content-visibility', /^hidden\b/i],
  ['opacity', /^0*(?:\.0*)?%?$/],
];

// Removes a property with the shorthands it belongs to ("background-image"
// takes "background" along), so that no half of a shorthand is left behind.
function removeWithShorthands(style, name) {
  const parts = name.split('-');
  for (let n = parts.length; n > 0; n--) {
    const prefix = parts.slice(0, n).join('-');
    if (prefix && prefix !== '-') style.removeProperty(prefix);
  }
}

/** Drops the declarations of an element's style that load anything or hide it. */
export function cleanInlineStyle(el) {
  if (!el.hasAttribute('style')) return;
  const style = el.style;
  const unsafe = [...style].filter((name) => {
    const value = style.getPropertyValue(name);
    return !cssValueIsLocal(value) || kHiding.some(([property, test]) => property === name && test.test(value.trim()));
  });
  for (const name of unsafe) removeWithShorthands(style, name);
  if (style.length) el.setAttribute('style', style.cssText);
  else el.removeAttribute('style');
}

function anyNetworkAddress(value) {
  return addressesIn(String(value)).some((address) => isNetworkUrl(address));
}

function cleanDeclarations(style) {
  const unsafe = [...style].filter((name) => {
    const value = style.getPropertyValue(name);
    return value.includes('\\') || anyNetworkAddress(value);
  });
  for (const name of unsafe) removeWithShorthands(style, name);
}

let inertDocument = null;

/**
 * The text of a style sheet without the rules and declarations that load from
 * another machine, as the browser parses it. Rules it cannot parse drop out.
 */
export function cleanStyleSheet(text) {
  inertDocument ??= document.implementation.createHTMLDocument('');
  const style = inertDocument.createElement('style');
  style.textContent = text;
  inertDocument.head.append(style);
  try {
    const sheet = style.sheet;
    if (!sheet) return '';
    const walk = (owner) => {
      const list = owner.cssRules;
      for (let i = list.length - 1; i >= 0; i--) {
        const rule = list[i];
        if (rule instanceof CSSImportRule) {
          if (isNetworkUrl(rule.href) || rule.href.includes('\\')) owner.deleteRule(i);
          continue;
        }
        if (rule.style) cleanDeclarations(rule.style);
        if (rule.cssRules) walk(rule);
      }
    };
    walk(sheet);
    return [...sheet.cssRules].map((rule) => rule.cssText).join('\n');
  } finally {
    style.remove();
  }
}
