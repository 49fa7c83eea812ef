// The folder panel ("文件"): the tree of the folder the native side lists, with
// folders expanded on demand, the open document marked, Explorer's keys, and a
// context menu for new files and folders, renaming, deleting and showing the
// entry in Explorer. The native side does every disk operation; the panel only
// asks (posting "folder…" messages) and draws what it is told.
import { ContextMenu } from './ui.js';
import { post } from './post.js';

const kMinWidth = 160;
const kMaxWidth = 600;
const kDefaultWidth = 250;

export const kTruncatedNote = '文件过多，仅列出前 100000 个';

function join(dir, name) {
  return dir ? `${dir}/${name}` : name;
}

function parentOf(path) {
  const slash = path.lastIndexOf('/');
  return slash < 0 ? '' : path.slice(0, slash);
}

export class FolderPanel {
  constructor(root) {
    this.el = root;
    this.visible = false;
    this.width = kDefaultWidth;
    this.root = '';
    this.dirs = new Map(); // relative folder → { entries, receiving }
    this.expanded = new Set();
    this.current = '';
    this.focusPath = null;
    this.index = { root: '', files: [], receiving: false, done: false, truncated: false, incoming: null };
    this.indexListeners = new Set();

    this.head = document.createElement('div');
    this.head.className = 'files-head';
    this.title = document.createElement('span');
    this.title.className = 'files-title';
    this.title.textContent = '文件';
    this.head.append(this.title);
    this.tree = document.createElement('div');
    this.tree.className = 'files-tree';
    this.tree.setAttribute('role', 'tree');
    this.tree.setAttribute('aria-label', '文件');
    this.empty = document.createElement('div');
    this.empty.className = 'files-empty';
    const openButton = document.createElement('button');
    openButton.type = 'button';
    openButton.textContent = '打开文件夹…';
    openButton.addEventListener('click', () => post({ type: 'folderOpenDialog' }));
    this.empty.append(openButton);
    this.note = document.createElement('div');
    this.note.className = 'files-note';
    this.note.hidden = true;
    this.resizer = document.createElement('div');
    this.resizer.className = 'files-resizer';
    this.resizer.setAttribute('aria-hidden', 'true');
    this.el.append(this.head, this.tree, this.empty, this.note, this.resizer);

    this.menu = new ContextMenu([
      { label: '新建文件', run: () => this.startCreate(false) },
      { label: '新建文件夹', run: () => this.startCreate(true) },
      null,
      { label: '重命名', hint: 'F2', when: () => !!this.menuPath, run: () => this.startRename(this.menuPath) },
      { label: '删除', hint: 'Delete', when: () => !!this.menuPath, run: () => this.remove(this.menuPath) },
      null,
      { label: '在资源管理器中显示', run: () => post({ type: 'folderReveal', path: this.menuPath || '' }) },
    ]);

    this.tree.addEventListener('click', (e) => this.onClick(e));
    this.tree.addEventListener('auxclick', (e) => {
      const row = e.target.closest('[role="treeitem"]');
      if (row && e.button === 1 && row.dataset.dir !== 'true') {
        e.preventDefault();
        post({ type: 'folderOpenFile', path: row.dataset.path, newWindow: true });
      }
    });
    this.tree.addEventListener('mousedown', (e) => {
      if (e.button === 1) e.preventDefault(); // no autoscroll
    });
    this.tree.addEventListener('keydown', (e) => this.onKey(e));
    this.el.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      e.stopPropagation();
      const row = e.target.closest('[role="treeitem"]');
      this.menuPath = row ? row.dataset.path : '';
      if (row) this.focusRow(row.dataset.path);
      if (this.root) this.menu.show(e.clientX, e.clientY);
    });
    this.installResizer();
    this.render();
  }

  // ------------------------------------------------------------ native calls

  setLayout({ visible, width } = {}) {
    this.visible = visible === true;
    if (Number.isFinite(width) && width >= kMinWidth) this.width = Math.min(kMaxWidth, Math.round(width));
    this.el.hidden = !this.visible;
    this.el.style.width = `${this.width}px`;
  }

  setEntries({ root, dir, entries, done } = {}) {
    if (typeof root !== 'string' || typeof dir !== 'string' || !Array.isArray(entries)) return;
    if (root !== this.root) this.reset(root);
    let node = this.dirs.get(dir);
    if (!node || !node.receiving) {
      node = { entries: [], receiving: true };
      this.dirs.set(dir, node);
    }
    for (const e of entries) if (e && typeof e.name === 'string') node.entries.push({ name: e.name, dir: e.dir === true });
    node.receiving = done !== true;
    if (dir === '' && !this.expanded.has('')) this.expanded.add('');
    // A folder that is gone from its parent is no longer expanded.
    this.render();
  }

  setIndex({ root, files, done, truncated } = {}) {
    if (typeof root !== 'string' || !Array.isArray(files)) return;
    const index = this.index;
    const clean = files.filter((f) => typeof f === 'string');
    if (index.root !== root) {
      // A new folder: its index is used as it grows.
      Object.assign(index, { root, files: [], receiving: true, done: false, incoming: null });
    } else if (!index.receiving && !index.incoming) {
      // The same folder indexed again (it changed): the old index serves
      // until the new one is complete.
      index.incoming = [];
    }
    if (index.incoming) {
      index.incoming.push(...clean);
      if (done !== true) return;
      index.files = index.incoming;
      index.incoming = null;
    } else {
      index.files.push(...clean);
    }
    index.receiving = done !== true;
    index.done = done === true;
    index.truncated = truncated === true;
    this.note.hidden = !index.truncated;
    this.note.textContent = index.truncated ? kTruncatedNote : '';
    for (const listener of this.indexListeners) listener(index);
  }

  setCurrent(path) {
    this.current = typeof path === 'string' ? path : '';
    // Its folders open so that it can be seen.
    for (let dir = parentOf(this.current); this.current; dir = parentOf(dir)) {
      this.expand(dir);
      if (!dir) break;
    }
    this.render();
    const row = this.rowFor(this.current);
    if (row) row.scrollIntoView({ block: 'nearest' });
  }

  refresh() {
    for (const dir of this.expanded) post({ type: 'folderList', dir });
  }

  // ------------------------------------------------------------ tree

  reset(root) {
    this.root = root;
    this.dirs.clear();
    this.expanded = new Set(loadExpanded(root));
    this.expanded.add('');
    this.focusPath = null;
    const name = root.split(/[\\/]/).filter(Boolean).pop() || root;
    this.title.textContent = root ? name : '文件';
    this.title.title = root;
    // Folders left open last time are listed again.
    for (const dir of this.expanded) if (dir) post({ type: 'folderList', dir });
  }

  expand(dir) {
    if (!this.expanded.has(dir)) {
      this.expanded.add(dir);
      saveExpanded(this.root, this.expanded);
    }
    if (!this.dirs.has(dir)) {
      this.dirs.set(dir, { entries: [], receiving: false, pending: true });
      post({ type: 'folderList', dir });
    }
  }

  collapse(dir) {
    if (!dir) return;
    this.expanded.delete(dir);
    saveExpanded(this.root, this.expanded);
  }

  visibleRows() {
    const rows = [];
    const walk = (dir, level) => {
      const node = this.dirs.get(dir);
      if (!node) return;
      for (const entry of node.entries) {
        const path = join(dir, entry.name);
        rows.push({ path, name: entry.name, dir: entry.dir, level });
        if (entry.dir && this.expanded.has(path)) walk(path, level + 1);
      }
    };
    walk('', 1);
    return rows;
  }

  render() {
    this.empty.hidden = !!this.root;
    const rows = this.visibleRows();
    if (this.focusPath == null || !rows.some((r) => r.path === this.focusPath)) {
      this.focusPath = rows.some((r) => r.path === this.current) ? this.current : rows[0] ? rows[0].path : null;
    }
    const hadFocus = this.tree.contains(document.activeElement);
    const frag = document.createDocumentFragment();
    for (const r of rows) {
      const row = document.createElement('div');
      row.className = r.dir ? 'files-item files-dir' : 'files-item files-file';
      row.setAttribute('role', 'treeitem');
      row.setAttribute('aria-level', String(r.level));
      row.dataset.path = r.path;
      row.dataset.dir = String(r.dir);
      if (r.dir) row.setAttribute('aria-expanded', String(this.expanded.has(r.path)));
      row.setAttribute('aria-selected', String(r.path === this.focusPath));
      if (r.path === this.current) row.classList.add('files-current');
      row.tabIndex = r.path === this.focusPath ? 0 : -1;
      row.style.paddingLeft = `${8 + (r.level - 1) * 14}px`;
      row.textContent = r.name;
      frag.append(row);
    }
    this.tree.replaceChildren(frag);
    if (hadFocus) this.focusRow(this.focusPath);
  }

  rowFor(path) {
    if (path == null) return null;
    for (const row of this.tree.children) if (row.dataset.path === path) return row;
    return null;
  }

  focusRow(path) {
    const before = this.rowFor(this.focusPath);
    if (before) {
      before.tabIndex = -1;
      before.setAttribute('aria-selected', 'false');
    }
    this.focusPath = path;
    const row = this.rowFor(path);
    if (!row) return;
    row.tabIndex = 0;
    row.setAttribute('aria-selected', 'true');
    row.focus({ preventScroll: true });
    row.scrollIntoView({ block: 'nearest' });
  }

  toggle(path) {
    if (this.expanded.has(path)) this.collapse(path);
    else this.expand(path);
    this.render();
  }

  open(path, newWindow) {
    post({ type: 'folderOpenFile', path, newWindow: !!newWindow });
  }

  onClick(e) {
    const row = e.target.closest('[role="treeitem"]');
    if (!row || e.target.closest('input')) return;
    this.focusRow(row.dataset.path);
    if (row.dataset.dir === 'true') this.toggle(row.dataset.path);
    else this.open(row.dataset.path, e.ctrlKey || e.metaKey);
  }

  onKey(e) {
    if (e.target.tagName === 'INPUT') return;
    const rows = this.visibleRows();
    const at = rows.findIndex((r) => r.path === this.focusPath);
    const row = rows[at];
    const go = (i) => {
      if (rows[i]) this.focusRow(rows[i].path);
    };
    let handled = true;
    switch (e.key) {
      case 'ArrowDown': go(at + 1); break;
      case 'ArrowUp': go(Math.max(0, at - 1)); break;
      case 'Home': go(0); break;
      case 'End': go(rows.length - 1); break;
      case 'ArrowRight':
        if (row && row.dir) {
          if (!this.expanded.has(row.path)) this.toggle(row.path);
          else if (rows[at + 1] && rows[at + 1].level > row.level) go(at + 1);
        }
        break;
      case 'ArrowLeft':
        if (row && row.dir && this.expanded.has(row.path)) this.toggle(row.path);
        else if (row && parentOf(row.path)) this.focusRow(parentOf(row.path));
        break;
      case 'Enter':
        if (row && row.dir) this.toggle(row.path);
        else if (row) this.open(row.path, e.ctrlKey || e.metaKey);
        break;
      case 'F2':
        if (row) this.startRename(row.path);
        break;
      case 'Delete':
        if (row) this.remove(row.path);
        break;
      default:
        handled = false;
    }
    if (handled) {
      e.preventDefault();
      e.stopPropagation();
    }
  }

  // ------------------------------------------------------------ operations

  remove(path) {
    post({ type: 'folderDelete', path });
  }

  startRename(path) {
    const row = this.rowFor(path);
    if (!row) return;
    const name = path.slice(path.lastIndexOf('/') + 1);
    this.editName(row, name, (value) => {
      if (value !== name) post({ type: 'folderRename', path, name: value });
    });
  }

  startCreate(folder) {
    // In the folder right-clicked, or beside the file right-clicked.
    const path = this.menuPath || '';
    const row = this.rowFor(path);
    const dir = row && row.dataset.dir === 'true' ? path : parentOf(path);
    if (dir) this.expand(dir);
    this.render();
    const host = document.createElement('div');
    host.className = 'files-item files-new';
    host.setAttribute('role', 'treeitem');
    host.setAttribute('aria-level', String(dir ? dir.split('/').length + 1 : 1));
    host.style.paddingLeft = `${8 + (dir ? dir.split('/').length : 0) * 14}px`;
    const anchor = dir ? this.rowFor(dir) : null;
    if (anchor) anchor.after(host);
    else this.tree.prepend(host);
    this.editName(host, folder ? '新建文件夹' : '未命名.md', (value) => {
      post({ type: 'folderCreate', dir, name: value, folder });
    }, () => host.remove());
  }

  // An inline name field: Enter commits, Escape or leaving it cancels.
  editName(row, initial, commit, cancel = () => this.render()) {
    const input = document.createElement('input');
    input.className = 'files-rename';
    input.value = initial;
    input.setAttribute('aria-label', '名称');
    row.replaceChildren(input);
    input.focus();
    const dot = initial.lastIndexOf('.');
    input.setSelectionRange(0, dot > 0 ? dot : initial.length);
    let finished = false;
    const finish = (ok) => {
      if (finished) return;
      finished = true;
      const value = input.value;
      cancel();
      if (ok && value) commit(value);
      this.focusRow(this.focusPath);
    };
    input.addEventListener('keydown', (e) => {
      e.stopPropagation();
      if (e.key === 'Enter') {
        e.preventDefault();
        finish(true);
      } else if (e.key === 'Escape') {
        e.preventDefault();
        finish(false);
      }
    });
    input.addEventListener('blur', () => finish(false));
  }

  installResizer() {
    this.resizer.addEventListener('pointerdown', (e) => {
      e.preventDefault();
      this.resizer.setPointerCapture(e.pointerId);
      const startX = e.clientX;
      const startWidth = this.width;
      const move = (ev) => {
        this.width = Math.max(kMinWidth, Math.min(kMaxWidth, Math.round(startWidth + ev.clientX - startX)));
        this.el.style.width = `${this.width}px`;
      };
      const up = () => {
        this.resizer.removeEventListener('pointermove', move);
        this.resizer.removeEventListener('pointerup', up);
        post({ type: 'folderLayout', visible: this.visible, width: this.width });
      };
      this.resizer.addEventListener('pointermove', move);
      this.resizer.addEventListener('pointerup', up);
    });
  }
}

// Folders left open stay open across a page reload, per root.
function loadExpanded(root) {
  try {
    const saved = JSON.parse(sessionStorage.getItem('vesk.files') || '{}');
    return saved.root === root && Array.isArray(saved.expanded) ? saved.expanded.filter((d) => typeof d === 'string') : [];
  } catch {
    return [];
  }
}

function saveExpanded(root, expanded) {
  try {
    sessionStorage.setItem('vesk.files', JSON.stringify({ root, expanded: [...expanded].filter(Boolean) }));
  } catch {
    // no storage: folders start closed next time
  }
}
