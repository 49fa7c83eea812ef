// Images resized by dragging in the rendered view: a hovered image shows a
// handle at its lower right corner, and a drag sets its width. A Markdown
// image ![alt](src "title") becomes <img src="src" alt="alt" title="title"
// width="N"> on its first resize; an <img> tag only has its width changed,
// every other attribute kept as written. One drag is one undo step, and only
// the image's own text changes.
import { isolateHistory } from '@codemirror/commands';
import { syntaxTree } from '@codemirror/language';
import { ViewPlugin } from '@codemirror/view';
import { referenceDestination } from './links.js';

const kMinWidth = 16;
const kImages = '.cm-md-image img, .cm-md-htmlinline img, .cm-md-htmlblock img';

const kSmallest = 24;  // CSS pixels
const attr = (text) => String(text).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');

/** The <img> tag a Markdown image becomes, with its width. */
export function markdownImageTag({ src, alt, title }, width) {
  const titled = title == null ? '' : ` title="${attr(title)}"`;
  return `<img src="${src.replace(/"/g, '%22')}" alt="${attr(alt)}"${titled} width="${width}">`;
}

/** The end (after ">") of the tag opening at `start`, quotes respected; -1 if open. */
export function tagEnd(text, start) {
  let quote = '';
  for (let i = start + 1; i < text.length; i++) {
    const c = text[i];
    if (quote) {
      if (c === quote) quote = '';
    } else if (c === '"' || c === "'") {
      quote = c;
    } else if (c === '>') {
      return i + 1;
    }
  }
  return -1;
}

/** An <img> tag with its width attribute set (added before the end when missing). */
export function withWidth(tag, width) {
  const existing = /(\swidth\s*=\s*)("[^"]*"|'[^']*'|[^\s"'>/]+)/i;
  if (existing.test(tag)) return tag.replace(existing, `$1"${width}"`);
  const end = /\s*\/?>$/.exec(tag);
  const at = end ? end.index : tag.length;
  return `${tag.slice(0, at)} width="${width}"${tag.slice(at)}`;
}

// The Markdown image node that starts or ends at `pos`.
function imageNodeAt(state, pos) {
  for (const side of [1, -1]) {
    for (let node = syntaxTree(state).resolveInner(pos, side); node; node = node.parent) {
      if (node.name === 'Image' && (node.from === pos || node.to === pos)) return node;
    }
  }
  return null;
}

function markdownImage(state, node) {
  const doc = state.doc;
  const marks = node.getChildren('LinkMark');
  if (marks.length < 2) return null;
  const alt = doc.sliceString(marks[0].to, marks[1].from);
  const url = node.getChild('URL');
  const title = node.getChild('LinkTitle');
  let src;
  if (url) {
    src = doc.sliceString(url.from, url.to);
    if (src.startsWith('<') && src.endsWith('>')) src = src.slice(1, -1);
  } else {
    const label = node.getChild('LinkLabel');
    const name = label && label.to - label.from > 2 ? doc.sliceString(label.from + 1, label.to - 1) : alt;
    src = referenceDestination(doc, name, node.from);
    if (src == null) return null;
  }
  return { src, alt, title: title ? doc.sliceString(title.from + 1, title.to - 1) : null };
}

/**
 * The change that gives the image drawn at `pos` the width: `kind` is where it
 * is drawn ("markdown", "inline" for an <img> tag in a line, "block" for the
 * `index`-th <img> of an HTML block). Null when the text there is no image.
 */
export function resizeChange(state, kind, pos, index, width) {
  const doc = state.doc;
  if (kind === 'markdown') {
    const node = imageNodeAt(state, pos);
    const image = node && markdownImage(state, node);
    return image ? { from: node.from, to: node.to, insert: markdownImageTag(image, width) } : null;
  }
  const limit = Math.min(doc.length, pos + 100000);
  const text = doc.sliceString(pos, limit);
  const tags = /<img(?=[\s/>])/gi;
  let m;
  for (let k = 0; (m = tags.exec(text)); k++) {
    if (kind === 'inline' && m.index > 0) return null;
    if (kind === 'block' && k < index) continue;
    const end = tagEnd(text, m.index);
    if (end < 0) return null;
    const tag = text.slice(m.index, end);
    return { from: pos + m.index, to: pos + end, insert: withWidth(tag, width) };
  }
  return null;
}

function placeOf(view, img) {
  const holder = img.closest('.cm-md-image, .cm-md-htmlinline, .cm-md-htmlblock');
  if (!holder || !view.contentDOM.contains(holder)) return null;
  const kind = holder.classList.contains('cm-md-image') ? 'markdown'
    : holder.classList.contains('cm-md-htmlinline') ? 'inline' : 'block';
  const index = kind === 'block' ? [...holder.querySelectorAll('img')].indexOf(img) : 0;
  return { kind, index, pos: view.posAtDOM(holder) };
}

export const imageResizing = ViewPlugin.fromClass(class {
  constructor(view) {
    this.view = view;
    this.img = null;
    this.drag = null;
    const handle = document.createElement('div');
    handle.className = 'vesk-image-handle';
    handle.title = '拖动调整图片宽度';
    handle.hidden = true;
    document.body.append(handle);
    this.handle = handle;
    this.onOver = (event) => {
      if (this.drag) return;
      const img = event.target.closest && event.target.closest(kImages);
      if (img && img.complete && img.naturalWidth) this.show(img);
      else this.hide();
    };
    this.onLeave = (event) => {
      if (!this.drag && event.relatedTarget !== handle) this.hide();
    };
    this.onScroll = () => {
      if (!this.drag) this.hide();
    };
    view.contentDOM.addEventListener('mouseover', this.onOver);
    view.contentDOM.addEventListener('mouseleave', this.onLeave);
    view.scrollDOM.addEventListener('scroll', this.onScroll, { passive: true });
    handle.addEventListener('mouseleave', (event) => {
      if (!this.drag && !(event.relatedTarget && event.relatedTarget === this.img)) this.hide();
    });
    handle.addEventListener('pointerdown', (event) => this.start(event));
    handle.addEventListener('pointermove', (event) => this.move(event));
    handle.addEventListener('pointerup', (event) => this.end(event, true));
    handle.addEventListener('pointercancel', (event) => this.end(event, false));
  }

  show(img) {
    const rect = img.getBoundingClientRect();
    // On an image this small the handle would cover what it is meant to drag,
    // and a click on the image (a link's badge) would land on the handle.
    if (rect.width < kSmallest || rect.height < kSmallest) return;
    this.img = img;
    this.handle.style.left = `${rect.right - 7}px`;
    this.handle.style.top = `${rect.bottom - 7}px`;
    this.handle.hidden = false;
  }

  hide() {
    this.img = null;
    this.handle.hidden = true;
  }

  start(event) {
    if (event.button !== 0 || !this.img) return;
    const place = placeOf(this.view, this.img);
    if (!place) return;
    event.preventDefault();
    this.handle.setPointerCapture(event.pointerId);
    this.drag = { place, x: event.clientX, width: this.img.getBoundingClientRect().width, img: this.img };
  }

  move(event) {
    const drag = this.drag;
    if (!drag) return;
    drag.now = Math.max(kMinWidth, Math.round(drag.width + event.clientX - drag.x));
    drag.img.style.width = `${drag.now}px`;
    drag.img.style.maxWidth = 'none';
    this.show(drag.img);
  }

  end(event, commit) {
    const drag = this.drag;
    if (!drag) return;
    this.drag = null;
    if (this.handle.hasPointerCapture(event.pointerId)) this.handle.releasePointerCapture(event.pointerId);
    const width = drag.now;
    drag.img.style.width = '';
    drag.img.style.maxWidth = '';
    this.hide();
    if (!commit || !width || width === Math.round(drag.width)) return;
    const change = resizeChange(this.view.state, drag.place.kind, drag.place.pos, drag.place.index, width);
    if (!change) return;
    this.view.dispatch({ changes: change, userEvent: 'input.resize', annotations: isolateHistory.of('full') });
  }

  destroy() {
    this.view.contentDOM.removeEventListener('mouseover', this.onOver);
    this.view.contentDOM.removeEventListener('mouseleave', this.onLeave);
    this.view.scrollDOM.removeEventListener('scroll', this.onScroll);
    this.handle.remove();
  }
});
