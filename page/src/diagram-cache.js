// Rendered diagrams by theme and source text. The renderer (diagrams.js) fills
// it off the typing path; the view, the print view, copied HTML and the export
// only read it, so nothing that draws waits for a diagram.

export const kDiagramLanguage = 'mermaid';
// Longer sources are shown as code: the engine would take seconds on them.
export const kMaxDiagramSource = 50000;

const entries = new Map();
let theme = 'light';

const keyOf = (source, forTheme) => `${forTheme}\n${source}`;

/** The text a fence's content is keyed by: without its last line end. */
export function diagramKey(content) {
  return content.endsWith('\n') ? content.slice(0, -1) : content;
}

export function diagramTheme() {
  return theme;
}

export function setDiagramTheme(name) {
  theme = name === 'dark' ? 'dark' : 'light';
}

/**
 * The entry of a source, {svg, width, height} or {error}: the current theme's,
 * else the other theme's (shown until the current one is drawn), else null.
 */
export function cachedDiagram(source) {
  return entries.get(keyOf(source, theme)) || entries.get(keyOf(source, theme === 'dark' ? 'light' : 'dark')) || null;
}

export function hasCurrentDiagram(source, forTheme = theme) {
  return entries.has(keyOf(source, forTheme));
}

export function storeDiagram(source, forTheme, entry) {
  // Bounded: a long session of edits to one diagram leaves every version behind.
  if (entries.size >= 400) entries.delete(entries.keys().next().value);
  entries.set(keyOf(source, forTheme), entry);
}

/** The SVG of an entry as an image address: it draws, but never runs or styles the page. */
export function diagramImageUrl(entry) {
  return `data:image/svg+xml;charset=utf-8,${encodeURIComponent(entry.svg)}`;
}
