// Diagrams (```mermaid blocks) in the rendered view. Drawing is off the typing
// path: the sources the view and the document want are queued, and once the
// page is idle one is drawn at a time by the engine (web/diagrams.js, loaded
// with the first one), sanitised and kept by source text. Until then a block
// shows as code; a failed one shows its source with the engine's message.
import { WidgetType } from '@codemirror/view';
import { loadEngine } from './engines.js';
import { sanitizeDiagramSvg, diagramSources } from './render.js';
import {
  cachedDiagram, diagramImageUrl, diagramTheme, hasCurrentDiagram, kMaxDiagramSource, storeDiagram,
} from './diagram-cache.js';

const engineReady = () => window.veskDiagramEngine || null;

let idCounter = 0;

/** Draws queued sources one at a time when the page is idle; `onDrawn` after each. */
export class DiagramRenderer {
  constructor(onDrawn) {
    this.onDrawn = onDrawn;
    this.queue = new Set();
    this.busy = false;
    this.idle = 0;
    this.waiters = [];
  }

  /** Queues a source unless it is drawn for the current theme. */
  want(source) {
    if (source.length > kMaxDiagramSource || hasCurrentDiagram(source)) return;
    this.queue.add(source);
    this.schedule();
  }

  /** Queues every diagram of a text (for the print view and the export). */
  wantAll(text) {
    for (const source of diagramSources(text)) this.want(source);
  }

  /** Whether diagrams of `text` are still to be drawn (they are queued). */
  pending(text) {
    this.wantAll(text);
    return this.busy || this.queue.size > 0;
  }

  /** Resolves when every source of `text` is drawn (or failed). */
  drawAll(text) {
    this.wantAll(text);
    if (!this.queue.size && !this.busy) return Promise.resolve();
    return new Promise((resolve) => this.waiters.push(resolve));
  }

  schedule() {
    if (this.busy || this.idle || !this.queue.size) {
      if (!this.busy && !this.idle && !this.queue.size) this.settle();
      return;
    }
    this.idle = requestIdleCallback(() => {
      this.idle = 0;
      this.drawNext();
    }, { timeout: 2000 });
  }

  settle() {
    const waiters = this.waiters;
    this.waiters = [];
    for (const resolve of waiters) resolve();
  }

  async drawNext() {
    const source = this.queue.values().next().value;
    if (source === undefined) return this.schedule();
    this.queue.delete(source);
    const theme = diagramTheme();
    if (hasCurrentDiagram(source, theme)) return this.schedule();
    this.busy = true;
    try {
      storeDiagram(source, theme, await draw(source, theme));
    } catch (error) {
      storeDiagram(source, theme, { error: diagramError(error) });
    } finally {
      this.busy = false;
    }
    this.onDrawn();
    this.schedule();
    return undefined;
  }
}

async function draw(source, theme) {
  const engine = await loadEngine('diagrams', engineReady);
  const svg = await engine.render(`vesk-diagram-${++idCounter}`, source, theme);
  const entry = sanitizeDiagramSvg(svg);
  if (!entry) throw new Error('图表无法显示');
  return entry;
}

function diagramError(error) {
  const message = String((error && error.message) || error || '').trim();
  return `图表有误：${message || '无法解析'}`;
}

/** A drawn diagram (or its source with the error) in place of its block. */
export class DiagramWidget extends WidgetType {
  constructor(source, entry) {
    super();
    this.source = source;
    this.entry = entry;
  }

  eq(other) {
    return other.source === this.source && other.entry === this.entry;
  }

  get estimatedHeight() {
    return this.entry.error ? -1 : this.entry.height + 16;
  }

  toDOM(view) {
    const wrap = document.createElement('div');
    wrap.className = 'cm-md-diagram';
    if (this.entry.error) {
      wrap.classList.add('cm-md-diagram-error');
      const pre = document.createElement('pre');
      pre.textContent = this.source;
      const message = document.createElement('div');
      message.className = 'cm-md-diagram-message';
      message.textContent = this.entry.error;
      wrap.append(pre, message);
    } else {
      const img = document.createElement('img');
      img.alt = '图表';
      img.width = this.entry.width;
      img.height = this.entry.height;
      img.draggable = false;
      img.src = diagramImageUrl(this.entry);
      img.addEventListener('load', () => view.requestMeasure());
      wrap.append(img);
    }
    // A click shows the source, as for formulas.
    wrap.addEventListener('mousedown', (event) => {
      if (event.button !== 0) return;
      event.preventDefault();
      view.focus();
      view.dispatch({ selection: { anchor: view.posAtDOM(wrap) } });
    });
    return wrap;
  }

  ignoreEvent() {
    return true;
  }
}

/** The widget for a block's source when it is drawn, else null (and it is queued). */
export function diagramWidget(renderer, source) {
  if (source.length > kMaxDiagramSource) return null;
  renderer.want(source);
  const entry = cachedDiagram(source);
  return entry ? new DiagramWidget(source, entry) : null;
}

/** The page's one renderer; main.js says what happens after each drawing. */
export const diagramRenderer = new DiagramRenderer(() => {});

/**
 * The source of a top-level ```mermaid block as markdown-it reads it (the
 * fence's indentation taken off each line), or null for any other block.
 */
export function fenceDiagramSource(doc, node) {
  const info = node.getChild('CodeInfo');
  if (!info || doc.sliceString(info.from, info.to) !== 'mermaid') return null;
  const first = doc.lineAt(node.from);
  const last = doc.lineAt(node.to);
  const indent = /^ */.exec(first.text)[0].length;
  const closed = last.number > first.number && /^ {0,3}(`{3,}|~{3,})[ \t]*$/.test(last.text);
  const lines = [];
  for (let n = first.number + 1; n <= (closed ? last.number - 1 : last.number); n++) {
    const text = doc.line(n).text;
    let cut = 0;
    while (cut < indent && text[cut] === ' ') cut++;
    lines.push(text.slice(cut));
  }
  return lines.join('\n');
}
