// The parts of the page around the editor: table of contents, status bar and
// context menu. Every text is set with textContent; nothing from the document is
// parsed as markup here.

export class Toc {
  constructor(root, onPick) {
    this.root = root;
    this.list = root.querySelector('.toc-list');
    this.items = [];
    this.headings = [];
    this.current = -1;
    this.list.addEventListener('mousedown', (e) => e.preventDefault()); // keep the editor's focus
    this.collapsed = new Set();
    this.list.addEventListener('click', (e) => {
      const toggle = e.target.closest('.toc-toggle');
      if (toggle) {
        // A heading's arrow folds its subheadings away in the contents.
        const h = this.headings[Number(toggle.parentElement.dataset.index)];
        const key = `${h.level}:${h.text}`;
        if (this.collapsed.has(key)) this.collapsed.delete(key);
        else this.collapsed.add(key);
        this.applyCollapse();
        return;
      }
      const item = e.target.closest('.toc-item');
      if (item) onPick(this.headings[Number(item.dataset.index)]);
    });
  }

  get visible() {
    return !this.root.hidden;
  }

  set visible(on) {
    this.root.hidden = !on;
  }

  show(headings) {
    this.headings = headings;
    this.current = -1;
    const frag = document.createDocumentFragment();
    this.items = headings.map((h, i) => {
      const item = document.createElement('div');
      item.className = `toc-item toc-level-${h.level}`;
      item.setAttribute('role', 'listitem');
      item.dataset.index = String(i);
      const next = headings[i + 1];
      if (next && next.level > h.level) {
        const toggle = document.createElement('span');
        toggle.className = 'toc-toggle';
        toggle.title = '折叠或展开下级标题';
        item.append(toggle);
      }
      item.append(h.text || '（无标题文字）');
      item.title = h.text;
      frag.append(item);
      return item;
    });
    if (!headings.length) {
      const empty = document.createElement('div');
      empty.className = 'toc-empty';
      empty.textContent = '文档中还没有标题';
      frag.append(empty);
    }
    this.list.replaceChildren(frag);
    this.applyCollapse();
  }

  applyCollapse() {
    let hideBelow = Infinity;
    this.items.forEach((item, i) => {
      const h = this.headings[i];
      const hidden = h.level > hideBelow;
      item.hidden = hidden;
      if (hidden) return;
      hideBelow = Infinity;
      const closed = this.collapsed.has(`${h.level}:${h.text}`);
      item.classList.toggle('toc-collapsed', closed);
      if (closed) hideBelow = h.level;
    });
  }

  /** Marks the section that holds document position `pos`. */
  highlight(pos) {
    let lo = 0;
    let hi = this.headings.length - 1;
    let found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (this.headings[mid].from <= pos) {
        found = mid;
        lo = mid + 1;
      } else {
        hi = mid - 1;
      }
    }
    if (found === this.current) return;
    if (this.items[this.current]) this.items[this.current].classList.remove('toc-current');
    this.current = found;
    const item = this.items[found];
    if (item) {
      item.classList.add('toc-current');
      const top = item.offsetTop - this.list.offsetTop;
      if (top < this.list.scrollTop || top > this.list.scrollTop + this.list.clientHeight - item.offsetHeight) {
        this.list.scrollTop = top - this.list.clientHeight / 3;
      }
    }
  }
}

export class StatusBar {
  constructor(textEl, infoEl) {
    this.textEl = textEl;
    this.infoEl = infoEl;
    this.counts = null;
    this.zoom = 1;
    this.source = false;
    this.selection = null;
  }

  setText(text) {
    this.textEl.textContent = text;
    this.textEl.title = text;
  }

  update(patch) {
    Object.assign(this, patch);
    const parts = [];
    if (this.source) parts.push('源码');
    if (Math.abs(this.zoom - 1) > 0.001) parts.push(`${Math.round(this.zoom * 100)}%`);
    if (this.selection) {
      parts.push(`选中 ${this.selection.cjk.toLocaleString('zh-CN')} 字 ${this.selection.words.toLocaleString('zh-CN')} 词`);
    }
    if (this.counts) {
      parts.push(`${this.counts.cjk.toLocaleString('zh-CN')} 字`);
      parts.push(`${this.counts.words.toLocaleString('zh-CN')} 词`);
    }
    this.infoEl.textContent = parts.join('  ·  ');
  }
}

/** A small context menu; items are {label, hint, run} or null for a separator. */
export class ContextMenu {
  constructor(items) {
    this.el = document.createElement('div');
    this.el.className = 'context-menu';
    this.el.setAttribute('role', 'menu');
    this.el.hidden = true;
    this.rows = [];
    for (const item of items) {
      if (!item || item.separator) {
        const sep = document.createElement('div');
        sep.className = 'context-sep';
        this.el.append(sep);
        this.rows.push([sep, item]);
        continue;
      }
      const row = document.createElement('div');
      row.className = 'context-item';
      row.setAttribute('role', 'menuitem');
      const label = document.createElement('span');
      label.textContent = item.label;
      const hint = document.createElement('span');
      hint.className = 'context-hint';
      hint.textContent = item.hint || '';
      row.append(label, hint);
      row.addEventListener('mousedown', (e) => e.preventDefault());
      row.addEventListener('click', () => {
        this.hide();
        item.run();
      });
      this.el.append(row);
      this.rows.push([row, item]);
    }
    document.body.append(this.el);
    const close = () => this.hide();
    window.addEventListener('blur', close);
    window.addEventListener('resize', close);
    document.addEventListener('scroll', close, true);
    document.addEventListener('mousedown', (e) => {
      if (!this.el.contains(e.target)) this.hide();
    }, true);
    document.addEventListener('keydown', (e) => {
      if (e.key === 'Escape' && !this.el.hidden) {
        e.preventDefault();
        this.hide();
      }
    }, true);
  }

  show(x, y) {
    // Items with a condition (the table commands) show only where they apply.
    for (const [row, item] of this.rows) row.hidden = !!(item && item.when && !item.when());
    this.el.hidden = false;
    const w = this.el.offsetWidth;
    const h = this.el.offsetHeight;
    this.el.style.left = `${Math.max(4, Math.min(x, window.innerWidth - w - 4))}px`;
    this.el.style.top = `${Math.max(4, Math.min(y, window.innerHeight - h - 4))}px`;
  }

  hide() {
    this.el.hidden = true;
  }
}
