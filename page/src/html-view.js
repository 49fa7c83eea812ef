// HTML that people write into Markdown, drawn in the rendered view. Blocks are
// rendered through the same sanitiser as the export (render.js); inline tags
// style the text between them or become small widgets, and comments are hidden.
// Nothing here builds markup from the document except through that sanitiser.
import { WidgetType } from '@codemirror/view';
import { documentFragment, inlineFragment, mathFragment } from './render.js';

// An image of the HTML that fails to load shows the same placeholder as a
// Markdown image, not the browser's broken-image icon.
function watchImages(root, view) {
  for (const img of root.querySelectorAll('img')) {
    img.addEventListener('load', () => view.requestMeasure());
    img.addEventListener('error', () => {
      const missing = document.createElement('span');
      missing.className = 'cm-md-image cm-md-image-missing';
      missing.textContent = `图片缺失：${img.getAttribute('src') ?? ''}`;
      img.replaceWith(missing);
      view.requestMeasure();
    });
  }
}

// Drawn from its source; drawn anew when the source or the folder that its
// images resolve against (`baseKey`) changes.
class HtmlSourceWidget extends WidgetType {
  constructor(source, baseKey) {
    super();
    this.source = source;
    this.baseKey = baseKey;
  }

  eq(other) {
    return other.source === this.source && other.baseKey === this.baseKey;
  }
}

/** A block of HTML, sanitised, in place of its source lines. */
export class HtmlBlockWidget extends HtmlSourceWidget {
  toDOM(view) {
    const wrap = document.createElement('div');
    wrap.className = 'cm-md-htmlblock';
    wrap.append(documentFragment(this.source));
    watchImages(wrap, view);
    // A click (not on a summary, which opens its details) shows the source.
    wrap.addEventListener('mousedown', (event) => {
      if (event.button !== 0 || event.ctrlKey || event.metaKey || event.target.closest('summary')) return;
      event.preventDefault();
      view.focus();
      view.dispatch({ selection: { anchor: view.posAtDOM(wrap) } });
    });
    wrap.addEventListener('toggle', () => view.requestMeasure(), true);
    return wrap;
  }

  ignoreEvent() {
    return true;
  }
}

/** An inline tag that draws something of its own: <br> and <img>. */
export class HtmlInlineWidget extends HtmlSourceWidget {
  toDOM(view) {
    const span = document.createElement('span');
    span.className = 'cm-md-htmlinline';
    span.append(inlineFragment(this.source));
    watchImages(span, view);
    return span;
  }

  ignoreEvent() {
    return false;
  }
}

// Tags whose content is styled in the text itself.
export const kStyledTags = new Set(['kbd', 'sup', 'sub', 'mark', 'ins', 'u', 'small', 'b', 'strong', 'i', 'em', 's', 'del', 'code']);

/** Name and kind of an inline tag's source: open, close, or void (<br>, <img>). */
export function tagInfo(source) {
  const m = /^<(\/?)([a-zA-Z][a-zA-Z0-9-]*)/.exec(source);
  if (!m) return null;
  const name = m[2].toLowerCase();
  if (m[1]) return { name, kind: 'close' };
  if (name === 'br' || name === 'img' || name === 'hr' || name === 'wbr') return { name, kind: 'void' };
  return { name, kind: /\/>$/.test(source) ? 'void' : 'open' };
}

/** Whether an HTML block is only comments (and blanks): it draws nothing. */
export function onlyComments(source) {
  return /^(?:\s*<!--[\s\S]*?-->)+\s*$/.test(source);
}

/** Typeset math in place of its source: a block, or inline in the line. */
export class MathWidget extends WidgetType {
  constructor(tex, display) {
    super();
    this.tex = tex;
    this.display = display;
  }

  eq(other) {
    return other.tex === this.tex && other.display === this.display;
  }

  toDOM(view) {
    const el = document.createElement(this.display ? 'div' : 'span');
    el.className = this.display ? 'cm-md-math cm-md-math-block' : 'cm-md-math';
    el.append(mathFragment(this.tex, this.display));
    if (this.display) {
      // A click on a formula block shows its source.
      el.addEventListener('mousedown', (event) => {
        if (event.button !== 0) return;
        event.preventDefault();
        view.focus();
        view.dispatch({ selection: { anchor: view.posAtDOM(el) } });
      });
    }
    return el;
  }

  ignoreEvent() {
    return this.display;
  }
}
