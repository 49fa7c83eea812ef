// Quick open: a box over the editor that lists the folder's Markdown files as
// you type (fuzzy.js ranks them), Enter opens the selection, Ctrl+Enter opens
// it in a new window, Escape closes, and "name:line" opens at that line.
import { loadEngine } from './engines.js';
import { parseQuery, prepareEntry, rank, setPinyinReader } from './fuzzy.js';
import { post } from './post.js';
import { rememberLine } from './folder-api.js';

const kShown = 50;

export class QuickOpen {
  constructor() {
    this.entries = [];
    this.indexRoot = '';
    this.indexedCount = 0;
    this.indexFiles = null;
    this.last = null; // { q, all } of the previous keystroke
    this.results = [];
    this.selected = 0;
    this.onClose = null;

    this.el = document.createElement('div');
    this.el.className = 'quick-open';
    this.el.setAttribute('role', 'dialog');
    this.el.setAttribute('aria-label', '快速打开');
    this.el.hidden = true;
    this.input = document.createElement('input');
    this.input.className = 'quick-input';
    this.input.setAttribute('role', 'combobox');
    this.input.setAttribute('aria-expanded', 'true');
    this.input.setAttribute('aria-controls', 'quick-list');
    this.input.setAttribute('aria-autocomplete', 'list');
    this.input.setAttribute('aria-label', '按名称查找文件');
    this.input.placeholder = '按名称查找文件（名称:行号 跳到该行）';
    this.input.spellcheck = false;
    this.list = document.createElement('div');
    this.list.id = 'quick-list';
    this.list.className = 'quick-list';
    this.list.setAttribute('role', 'listbox');
    this.list.setAttribute('aria-label', '文件');
    this.el.append(this.input, this.list);
    document.body.append(this.el);

    this.input.addEventListener('input', () => this.update());
    this.input.addEventListener('keydown', (e) => this.onKey(e));
    this.input.addEventListener('blur', () => {
      // A click in the list keeps the box open; anything else closes it.
      setTimeout(() => {
        if (!this.el.contains(document.activeElement)) this.close();
      }, 0);
    });
    this.list.addEventListener('mousedown', (e) => e.preventDefault());
    this.list.addEventListener('click', (e) => {
      const row = e.target.closest('[role="option"]');
      if (row) this.choose(Number(row.dataset.index), e.ctrlKey || e.metaKey);
    });
  }

  get open() {
    return !this.el.hidden;
  }

  /** The folder's index (FolderPanel's), as it grows. */
  setIndex(index) {
    if (index.root !== this.indexRoot || index.files !== this.indexFiles) {
      this.entries = [];
      this.indexedCount = 0;
      this.indexRoot = index.root;
    }
    for (let i = this.indexedCount; i < index.files.length; i++) this.entries.push(prepareEntry(index.files[i]));
    this.indexedCount = index.files.length;
    this.indexFiles = index.files;
    this.last = null;
    this.wantPinyin();
    if (this.open) this.update();
  }

  // Chinese names match by pinyin once the reading engine is in (loaded on
  // first use, not with every page); until then by their characters.
  wantPinyin() {
    if (this.pinyinAsked) return;
    this.pinyinAsked = true;
    loadEngine('pinyin', () => window.__veskPinyin).then((read) => {
      setPinyinReader(read);
      this.entries = this.entries.map((entry) => prepareEntry(entry.path));
      this.last = null;
      if (this.open) this.update();
    }, () => {
      this.pinyinAsked = false;
    });
  }

  show() {
    this.wantPinyin();
    this.el.hidden = false;
    this.input.value = '';
    this.last = null;
    this.update();
    this.input.focus();
  }

  close() {
    if (this.el.hidden) return;
    this.el.hidden = true;
    if (this.onClose) this.onClose();
  }

  update() {
    const { text } = parseQuery(this.input.value);
    // A query that only grew searches the previous matches, not the index.
    const pool = this.last && text.startsWith(this.last.q) && this.last.q ? this.last.all.map((m) => m.entry) : this.entries;
    const { all, top } = rank(pool, text, kShown);
    this.last = { q: text, all };
    this.results = top;
    this.selected = 0;
    this.draw();
  }

  draw() {
    const frag = document.createDocumentFragment();
    this.results.forEach((m, i) => {
      const row = document.createElement('div');
      row.className = 'quick-item';
      row.id = `quick-${i}`;
      row.setAttribute('role', 'option');
      row.setAttribute('aria-selected', String(i === this.selected));
      row.dataset.index = String(i);
      const name = document.createElement('span');
      name.className = 'quick-name';
      const dir = document.createElement('span');
      dir.className = 'quick-dir';
      const path = m.entry.path;
      const nameAt = path.length - m.entry.name.length;
      appendMarked(name, path, nameAt, path.length, m.marks);
      appendMarked(dir, path, 0, Math.max(0, nameAt - 1), m.marks);
      row.append(name, dir);
      frag.append(row);
    });
    if (!this.results.length) {
      const none = document.createElement('div');
      none.className = 'quick-none';
      none.textContent = this.entries.length ? '没有匹配的文件' : '没有可打开的文件（先打开一个文件夹）';
      frag.append(none);
    }
    this.list.replaceChildren(frag);
    this.input.setAttribute('aria-activedescendant', this.results.length ? `quick-${this.selected}` : '');
  }

  select(i) {
    if (!this.results.length) return;
    this.selected = (i + this.results.length) % this.results.length;
    for (const row of this.list.children) row.setAttribute('aria-selected', String(row.dataset.index === String(this.selected)));
    this.input.setAttribute('aria-activedescendant', `quick-${this.selected}`);
    const row = this.list.children[this.selected];
    if (row) row.scrollIntoView({ block: 'nearest' });
  }

  choose(i, newWindow) {
    const m = this.results[i];
    if (!m) return;
    const { line } = parseQuery(this.input.value);
    this.close();
    if (!newWindow) rememberLine(m.entry.path, line);
    post({ type: 'folderOpenFile', path: m.entry.path, newWindow: !!newWindow, line });
  }

  onKey(e) {
    switch (e.key) {
      case 'ArrowDown': this.select(this.selected + 1); break;
      case 'ArrowUp': this.select(this.selected - 1); break;
      case 'Enter': this.choose(this.selected, e.ctrlKey || e.metaKey); break;
      case 'Escape': this.close(); break;
      default: return;
    }
    e.preventDefault();
    e.stopPropagation();
  }
}

// Text of path[from, to) with the marked characters in <mark>.
function appendMarked(el, path, from, to, marks) {
  let run = '';
  let marked = false;
  const flush = () => {
    if (!run) return;
    if (marked) {
      const m = document.createElement('mark');
      m.textContent = run;
      el.append(m);
    } else {
      el.append(run);
    }
    run = '';
  };
  const set = new Set(marks);
  for (let i = from; i < to; i++) {
    const isMarked = set.has(i);
    if (isMarked !== marked) {
      flush();
      marked = isMarked;
    }
    run += path[i];
  }
  flush();
}
