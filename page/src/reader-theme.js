// The reader's own theme: a style sheet of theirs (or the built-in "纸张")
// over the page's light theme, in the rendered view, the print view and the
// exported file. Its CSS is content like a document's: the check keeps only
// what the browser parses as rules, drops @import, url(…) to anything but
// data: images, and IE's expression() and behavior, and says what it dropped.
import { post } from './post.js';

const kImageData = /^data:image\/(?:png|gif|jpe?g|webp|bmp|svg\+xml)[;,]/i;
const kUrl = /url\(\s*(?:"((?:[^"\\]|\\.)*)"|'((?:[^'\\]|\\.)*)'|([^)]*?))\s*\)/gi;
// Functions that load an address without url(…).
const kLoading = /(?:^|[^a-z-])(?:-webkit-)?(?:image-set|src)\(/i;

function valueLoads(value) {
  if (kLoading.test(value)) return true;
  for (const m of value.matchAll(kUrl)) {
    const address = (m[1] ?? m[2] ?? m[3] ?? '').replace(/\\(.)/g, '$1').trim();
    if (!kImageData.test(address)) return true;
  }
  // "url(" the pattern above could not read: dropped too.
  return /url\(/i.test(value.replace(kUrl, ''));
}

function cleanStyle(style, dropped) {
  for (let i = style.length - 1; i >= 0; i--) {
    const name = style[i];
    const value = style.getPropertyValue(name);
    if (/expression\s*\(/i.test(value)) {
      dropped.add('expression');
      style.removeProperty(name);
    } else if (valueLoads(value)) {
      dropped.add('url(…)');
      style.removeProperty(name);
    }
  }
}

function cleanRules(list, dropped) {
  for (let i = list.cssRules.length - 1; i >= 0; i--) {
    const rule = list.cssRules[i];
    if (rule instanceof CSSImportRule) {
      dropped.add('@import');
      list.deleteRule(i);
      continue;
    }
    if (rule.style) cleanStyle(rule.style, dropped);
    if (rule.cssRules) cleanRules(rule, dropped);
  }
}

/**
 * The checked text of a theme's CSS and the names of what was dropped
 * ("@import", "url(…)", "expression", "behavior"), in that order.
 */
export function checkThemeCss(css) {
  const dropped = new Set();
  const text = String(css ?? '');
  // The browser's parser drops these by itself (an @import in a constructed
  // sheet, IE's properties and values): they are named as written.
  const rules = text.replace(/\/\*[\s\S]*?(?:\*\/|$)/g, ' ');
  if (/@import\b/i.test(rules)) dropped.add('@import');
  if (/expression\s*\(/i.test(rules)) dropped.add('expression');
  if (/(?:^|[;{\s])(?:behavior|-moz-binding)\s*:/i.test(rules)) dropped.add('behavior');
  const sheet = new CSSStyleSheet();
  try {
    sheet.replaceSync(text);
  } catch {
    return { css: '', dropped: ['全部'] };
  }
  cleanRules(sheet, dropped);
  // Serialised by the browser, "<" escaped: the text can never close the
  // <style> element of the exported file.
  const clean = [...sheet.cssRules].map((r) => r.cssText).join('\n').replace(/</g, '\\3c ');
  const order = ['@import', 'url(…)', 'expression', 'behavior'];
  return { css: clean, dropped: order.filter((d) => dropped.has(d)) };
}

let current = { name: '', css: '' };
let element = null;

/** The checked CSS of the reader's theme now ('' for none). */
export function readerThemeCss() {
  return current.css;
}

/** Applies a theme ({name, css}; no name for none) and reports what its check dropped. */
export function setReaderTheme(theme) {
  const name = theme && typeof theme.name === 'string' ? theme.name : '';
  const checked = name ? checkThemeCss(theme.css) : { css: '', dropped: [] };
  current = { name, css: checked.css };
  if (!element) {
    element = document.createElement('style');
    element.id = 'vesk-reader-theme';
  }
  element.textContent = checked.css;
  // After every other style sheet, so that its rules win.
  if (element.parentNode !== document.head || element.nextSibling) document.head.append(element);
  document.body.classList.toggle('reader-theme', !!name);
  if (checked.dropped.length) post({ type: 'status', message: `主题“${name}”中已去掉：${checked.dropped.join('、')}` });
  return checked;
}
