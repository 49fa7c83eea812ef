// Widgets of the rendered view. They are built with DOM calls from plain
// strings (never from markup), so nothing in the document can inject elements.
import { WidgetType } from '@codemirror/view';
import { isNetworkUrl, kNetworkImageText } from './network.js';

// Schemes an image may be loaded from: relative paths (against the <base> of the
// document's folder), files, the web and inline image data.
const kImageScheme = /^(?:[a-z][a-z0-9+.-]*):/i;
const kAllowedImage = /^(?:file|https?):|^data:image\/(?:png|gif|jpe?g|webp|bmp|svg\+xml)[;,]/i;

export function imageAllowed(src) {
  const probe = src.replace(/[\u0000-\u0020\u007f-\u009f]/g, '');
  // "C:/pics/a.png" is a drive letter, not a scheme.
  return !kImageScheme.test(probe) || /^[a-z]:[\\/]/i.test(probe) || kAllowedImage.test(probe);
}

export class ImageWidget extends WidgetType {
  constructor(src, alt, baseKey) {
    super();
    this.src = src;
    this.alt = alt;
    this.baseKey = baseKey;
  }

  eq(other) {
    return other.src === this.src && other.alt === this.alt && other.baseKey === this.baseKey;
  }

  toDOM(view) {
    const wrap = document.createElement('span');
    wrap.className = 'cm-md-image';
    if (!imageAllowed(this.src)) {
      wrap.classList.add('cm-md-image-missing');
      wrap.textContent = `图片地址不受支持：${this.src}`;
      return wrap;
    }
    // Windows paths may come with backslashes; URLs want slashes.
    const src = /^[a-z]:[\\/]/i.test(this.src) ? `file:///${this.src.replace(/\\/g, '/')}` : this.src;
    if (isNetworkUrl(src)) {
      wrap.classList.add('cm-md-image-missing');
      wrap.textContent = kNetworkImageText;
      return wrap;
    }
    const img = document.createElement('img');
    img.alt = this.alt;
    if (this.alt) img.title = this.alt;
    img.decoding = 'async';
    img.draggable = false;
    img.addEventListener('load', () => view.requestMeasure());
    img.addEventListener('error', () => {
      wrap.classList.add('cm-md-image-missing');
      wrap.textContent = `图片缺失：${this.src}`;
      view.requestMeasure();
    });
    img.src = src;
    wrap.append(img);
    return wrap;
  }

  ignoreEvent() {
    return false;
  }
}

const kBullets = ['•', '◦', '▪'];

function marker(extra) {
  const span = document.createElement('span');
  span.className = 'cm-md-marker' + (extra ? ` ${extra}` : '');
  return span;
}

export class BulletWidget extends WidgetType {
  constructor(depth) {
    super();
    this.depth = depth;
  }

  eq(other) {
    return other.depth === this.depth;
  }

  toDOM() {
    const span = marker('cm-md-bullet');
    span.textContent = kBullets[this.depth % kBullets.length];
    return span;
  }

  ignoreEvent() {
    return false;
  }
}

export class NumberWidget extends WidgetType {
  constructor(label) {
    super();
    this.label = label;
  }

  eq(other) {
    return other.label === this.label;
  }

  toDOM() {
    const span = marker('cm-md-number');
    span.textContent = this.label;
    return span;
  }

  ignoreEvent() {
    return false;
  }
}

export class CheckboxWidget extends WidgetType {
  constructor(checked) {
    super();
    this.checked = checked;
  }

  eq(other) {
    return other.checked === this.checked;
  }

  toDOM(view) {
    const wrap = marker('cm-md-taskbox');
    const box = document.createElement('span');
    box.className = 'cm-md-task' + (this.checked ? ' cm-md-task-checked' : '');
    box.setAttribute('role', 'checkbox');
    box.setAttribute('aria-checked', String(this.checked));
    box.title = this.checked ? '标记为未完成' : '标记为完成';
    box.addEventListener('mousedown', (event) => {
      if (event.button !== 0) return;
      event.preventDefault();
      toggleTaskAt(view, view.posAtDOM(wrap));
    });
    wrap.append(box);
    return wrap;
  }

  ignoreEvent(event) {
    return event.type === 'mousedown' || event.type === 'click';
  }
}

// Ticks or unticks the task box that starts at or after `pos` on its line; a
// one-character edit, so it is undoable like typing.
export function toggleTaskAt(view, pos) {
  const line = view.state.doc.lineAt(pos);
  const m = /\[([ xX])\]/.exec(line.text.slice(pos - line.from));
  if (!m) return false;
  const at = pos + m.index + 1;
  view.dispatch({
    changes: { from: at, to: at + 1, insert: m[1] === ' ' ? 'x' : ' ' },
    userEvent: 'input.toggle',
  });
  return true;
}

/** The title of a callout ("> [!NOTE]") in place of its marker. */
export class AlertTitleWidget extends WidgetType {
  constructor(kind, title) {
    super();
    this.kind = kind;
    this.title = title;
  }

  eq(other) {
    return other.kind === this.kind;
  }

  toDOM() {
    const span = document.createElement('span');
    span.className = `cm-md-alert-title cm-md-alert-title-${this.kind}`;
    span.textContent = this.title;
    return span;
  }

  ignoreEvent() {
    return false;
  }
}
