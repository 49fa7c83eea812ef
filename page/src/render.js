// Markdown to HTML for everything that leaves the editor as HTML: the exported
// document, the HTML flavour of copied text, the print view and the cells of
// rendered tables. Every piece of HTML goes through DOMPurify before it reaches a
// DOM or the native side: the document's own markup must never run in this page,
// which can talk to the native side.
import MarkdownIt from 'markdown-it';
import DOMPurify from 'dompurify';
import footnote from 'markdown-it-footnote';
import { slug } from './headings.js';
import { isNetworkUrl, networkImagePlaceholder, srcsetHasNetworkUrl } from './network.js';
import { cleanInlineStyle, cleanStyleSheet, cssValueIsLocal } from './css-guard.js';
import { alertsPlugin, frontMatterPlugin } from './extras.js';
import { mathMarkup, mathPlugin } from './math.js';
import { highlightedCode } from './code-html.js';
import { cachedDiagram, diagramImageUrl, diagramKey, kDiagramLanguage, kMaxDiagramSource } from './diagram-cache.js';
import { readerThemeCss } from './reader-theme.js';
import documentCss from './document.css';

// Addresses as the author wrote them; the native side resolves relative image
// paths itself (and percent-decodes them) when it embeds the files.
const kBadScheme = /^(?:javascript|vbscript|data):/i;
const kImageData = /^data:image\/(?:png|gif|jpe?g|webp|bmp|svg\+xml)[;,]/i;

export function safeUrl(url) {
  // Browsers ignore these characters inside a scheme, so "java\tscript:" counts.
  const probe = String(url).replace(/[\u0000-\u0020\u007f-\u009f]/g, '');
  return !kBadScheme.test(probe) || kImageData.test(probe);
}

const kAnchorAttr = 'data-vesk-anchor';

const md = new MarkdownIt({ html: true, linkify: true, highlight: (code, lang) => highlightedCode(code, lang) });
md.normalizeLink = (url) => url;
md.validateLink = safeUrl;
md.use(frontMatterPlugin);
md.use(alertsPlugin);
md.use(footnote);
md.use(mathPlugin);
md.use(taskLists);
md.use(headingAnchors);
md.use(diagramFences);

// How a drawn diagram goes into HTML: as an image everywhere in the page and
// on the clipboard, as inline SVG in the exported file.
let diagramsInline = false;

// ```mermaid blocks: the drawn diagram when the renderer has it, otherwise the
// code block, as the view shows it. A failed one shows its source and the error.
function diagramFences(md) {
  const fence = md.renderer.rules.fence;
  md.renderer.rules.fence = (tokens, idx, options, env, self) => {
    const token = tokens[idx];
    const lang = token.info.trim().split(/\s+/)[0];
    if (lang !== kDiagramLanguage || token.content.length > kMaxDiagramSource) return fence(tokens, idx, options, env, self);
    const entry = cachedDiagram(diagramKey(token.content));
    if (!entry) return fence(tokens, idx, options, env, self);
    if (entry.error) {
      return `<div class="diagram diagram-error"><pre><code>${escapeHtml(token.content)}</code></pre><p class="diagram-message">${escapeHtml(entry.error)}</p></div>\n`;
    }
    if (diagramsInline) return `<div class="diagram">${entry.svg}</div>\n`;
    return `<div class="diagram"><img alt="" width="${entry.width}" height="${entry.height}" src="${diagramImageUrl(entry)}"></div>\n`;
  };
}

/** Every ```mermaid block's source in a text, in order (each once). */
export function diagramSources(text) {
  if (!text.includes(kDiagramLanguage)) return [];
  const found = new Set();
  for (const token of md.parse(text, {})) {
    if (token.type !== 'fence' || token.info.trim().split(/\s+/)[0] !== kDiagramLanguage) continue;
    if (token.content.length <= kMaxDiagramSource) found.add(diagramKey(token.content));
  }
  return [...found];
}

// "- [ ] task" items become disabled checkboxes.
function taskLists(md) {
  md.core.ruler.after('inline', 'vesk_tasks', (state) => {
    const tokens = state.tokens;
    for (let i = 2; i < tokens.length; i++) {
      const inline = tokens[i];
      if (inline.type !== 'inline' || tokens[i - 1].type !== 'paragraph_open' || tokens[i - 2].type !== 'list_item_open') continue;
      const first = inline.children[0];
      const m = first && first.type === 'text' && /^\[([ xX])\](?=\s|$)\s*/.exec(first.content);
      if (!m) continue;
      first.content = first.content.slice(m[0].length);
      const box = new state.Token('html_inline', '', 0);
      box.content = `<input type="checkbox" class="task" disabled${m[1] === ' ' ? '' : ' checked'}> `;
      inline.children.unshift(box);
      tokens[i - 2].attrJoin('class', 'task-item');
    }
  });
}

// Headings get the same anchors as the table of contents, so "#section" links
// work in the exported file too. They travel as a data attribute and become
// ids after sanitising (see finish), because DOMPurify drops ids that equal
// document properties ("title", "images", "forms"…).
function headingAnchors(md) {
  md.core.ruler.push('vesk_anchors', (state) => {
    const seen = new Map();
    const tokens = state.tokens;
    for (let i = 0; i < tokens.length - 1; i++) {
      if (tokens[i].type !== 'heading_open') continue;
      const text = tokens[i + 1].children
        .filter((t) => t.type === 'text' || t.type === 'code_inline')
        .map((t) => t.content)
        .join('');
      const base = slug(text);
      const count = seen.get(base) || 0;
      seen.set(base, count + 1);
      tokens[i].attrSet(kAnchorAttr, count ? `${base}-${count}` : base);
    }
  });
}

const kUriPattern = /^(?:(?:https?|mailto|tel|file):|[^a-z]|[a-z+.-]+(?:[^a-z+.\-:]|$))/i;

// Inside the page: no style sheets, no inline styles (they could cover the editor),
// no forms. Image maps are links the page guard cannot see as such.
// MathML's <semantics> and <annotation> keep the TeX of a formula with it.
const kMathTags = ['semantics', 'annotation'];
const kPageConfig = {
  ALLOWED_URI_REGEXP: kUriPattern,
  ADD_TAGS: kMathTags,
  FORBID_TAGS: ['style', 'form', 'button', 'textarea', 'select', 'dialog', 'area', 'map'],
  FORBID_ATTR: ['style', 'hidden'],
};
// The exported file is a page of its own: the author's styling may stay.
const kExportConfig = {
  ALLOWED_URI_REGEXP: kUriPattern,
  ADD_TAGS: kMathTags,
  FORBID_TAGS: ['form', 'button', 'textarea', 'select', 'dialog', 'area', 'map'],
  // What the reader did not see in the rendered view is not exported either.
  FORBID_ATTR: ['hidden'],
};

const kXlink = 'http://www.w3.org/1999/xlink';
// Attributes from which a browser loads something by itself.
const kLoadingAttrs = ['src', 'poster', 'background', 'lowsrc', 'dynsrc', 'data'];

// SVG and MathML attributes that load what they name (fragments of the page
// itself, as <use href="#shape"> needs, stay).
function cleanForeignElement(el) {
  for (const name of ['href', 'xlink:href']) {
    const value = el.getAttribute(name);
    if (value != null && (el.localName === 'a' || !value.trim().startsWith('#'))) el.removeAttribute(name);
  }
  el.removeAttributeNS(kXlink, 'href');
  if (el.hasAttribute('src') && isNetworkUrl(el.getAttribute('src'))) el.removeAttribute('src');
  for (const { name, value } of [...el.attributes]) {
    if (name !== 'style' && !cssValueIsLocal(value)) el.removeAttribute(name);
  }
}

// The last step of every sanitising, on an inert template (nothing loads
// there): headings get their ids, SVG and MathML lose their links (only HTML
// links pass the page guard and reach the native side), CSS keeps only what
// may load (css-guard.js), and nothing that would load from another machine
// stays.
function finish(html) {
  const template = document.createElement('template');
  template.innerHTML = html;
  const root = template.content;
  for (const el of root.querySelectorAll(`[${kAnchorAttr}]`)) {
    if (/^H[1-6]$/.test(el.nodeName)) el.id = el.getAttribute(kAnchorAttr);
    el.removeAttribute(kAnchorAttr);
  }
  for (const el of root.querySelectorAll('*')) {
    cleanInlineStyle(el);
    const isHtml = el.namespaceURI === 'http://www.w3.org/1999/xhtml';
    if (!isHtml) {
      cleanForeignElement(el);
      if (el.localName === 'a') el.replaceWith(...el.childNodes);
      continue;
    }
    if (el.localName === 'style') {
      el.textContent = cleanStyleSheet(el.textContent);
      continue;
    }
    const network = kLoadingAttrs.some((name) => el.hasAttribute(name) && isNetworkUrl(el.getAttribute(name))) ||
      (el.hasAttribute('srcset') && srcsetHasNetworkUrl(el.getAttribute('srcset')));
    if (!network) continue;
    if (el.localName === 'img') el.replaceWith(networkImagePlaceholder());
    else for (const name of [...kLoadingAttrs, 'srcset']) el.removeAttribute(name);
  }
  return template;
}

function sanitize(html, config) {
  return finish(DOMPurify.sanitize(html, config));
}

// A diagram's SVG keeps its own style sheet (it styles only its own ids) and
// nothing that could hold HTML, run or be followed.
const kSvgConfig = {
  USE_PROFILES: { svg: true, svgFilters: true },
  ADD_TAGS: ['style'],
  FORBID_TAGS: ['foreignObject', 'a', 'script', 'animate', 'set', 'animateMotion', 'animateTransform'],
};

/**
 * A diagram engine's SVG through the sanitiser, sized by its view box so that
 * it also draws as an image: {svg, width, height}, or null when nothing is left.
 */
export function sanitizeDiagramSvg(svgText) {
  const svg = sanitize(svgText, kSvgConfig).content.querySelector('svg');
  if (!svg) return null;
  const box = (svg.getAttribute('viewBox') || '').trim().split(/[\s,]+/).map(Number);
  const width = Math.max(1, Math.ceil(box.length === 4 && box[2] > 0 ? box[2] : parseFloat(svg.getAttribute('width')) || 300));
  const height = Math.max(1, Math.ceil(box.length === 4 && box[3] > 0 ? box[3] : parseFloat(svg.getAttribute('height')) || 150));
  svg.setAttribute('width', String(width));
  svg.setAttribute('height', String(height));
  svg.style.removeProperty('max-width');
  svg.setAttribute('xmlns', 'http://www.w3.org/2000/svg');
  return { svg: svg.outerHTML, width, height };
}

export function renderMarkdown(text) {
  return md.render(text);
}

/** A sanitised fragment of the document for insertion into the page. */
export function documentFragment(text) {
  return sanitize(md.render(text), kPageConfig).content;
}

/** A sanitised fragment of inline Markdown (a table cell). */
export function inlineFragment(text) {
  return sanitize(md.renderInline(text), kPageConfig).content;
}

/** Sanitised MathML of TeX, for the rendered view. */
export function mathFragment(tex, display) {
  try {
    return sanitize(mathMarkup(tex, display), kPageConfig).content;
  } catch {
    // Markup too deep for the sanitiser still leaves the formula readable.
    const span = document.createElement('span');
    span.className = 'katex-error';
    span.textContent = tex;
    return span;
  }
}

/** Sanitised HTML text of a piece of the document, for the clipboard. */
export function clipboardHtml(text) {
  return sanitize(md.render(text), kPageConfig).innerHTML;
}

export function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

/** The complete, self-contained HTML document of an export. */
export function exportDocument(title, text) {
  diagramsInline = true;
  let body;
  try {
    body = sanitize(md.render(text), kExportConfig).innerHTML;
  } finally {
    diagramsInline = false;
  }
  // The reader's theme replaces following the system's dark mode.
  const themeCss = readerThemeCss();
  return `<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="Vesk">
<title>${escapeHtml(title)}</title>
<style>
${documentCss}
body{margin:0;background:#fff;}
${themeCss ? '' : '@media screen and (prefers-color-scheme: dark){body{background:#1e2024;}}\n'}.markdown-body{box-sizing:border-box;max-width:860px;margin:0 auto;padding:48px 32px 96px;}
${themeCss}
</style>
</head>
<body${themeCss ? ' class="reader-theme"' : ''}>
<article class="markdown-body${themeCss ? '' : ' follows-system'}">
${body}
</article>
</body>
</html>
`;
}

export { documentCss };
