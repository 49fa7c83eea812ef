// The editor page: one CodeMirror editor holding the Markdown text, which is the
// only copy of the document, and window.vesk, the functions the native side calls.
import { Compartment, EditorSelection, EditorState, Prec } from '@codemirror/state';
import {
  EditorView, drawSelection, dropCursor, highlightSpecialChars, keymap, placeholder,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab, redo, undo } from '@codemirror/commands';
import { Language, LanguageSupport, codeFolding, foldCode, foldKeymap, syntaxHighlighting, unfoldAll } from '@codemirror/language';
import { markdown, markdownLanguage } from '@codemirror/lang-markdown';
import { languages } from '@codemirror/language-data';
import { search, searchKeymap } from '@codemirror/search';
import { closeBrackets, closeBracketsKeymap } from '@codemirror/autocomplete';
import { lineCopy, markPairing, pasteHandlers } from './paste.js';
import { modeState, selectionCounts, setFocusMode, setTypewriter, writingModes } from './aids.js';

import { installErrorReporting, post, reportError } from './post.js';
import { DirtyTracker } from './dirty.js';
import { Counter, HeadingIndex } from './background.js';
import { formatChange } from './format.js';
import { highlighter } from './highlight.js';
import { focusTracking, refreshEffect } from './focus.js';
import { livePreview } from './preview.js';
import { kTableKeys, renderedTables, tableCommand, tableContext } from './tables.js';
import { footnoteAt, footnoteTarget, linkAt } from './links.js';
import { frontMatterSyntax } from './extras.js';
import { mathSyntax } from './math.js';
import { clipboardHtml, documentCss, documentFragment, exportDocument } from './render.js';
import { loadFenceLanguages } from './code-html.js';
import { ContextMenu, StatusBar, Toc } from './ui.js';
import { handleDroppedFiles, pastedImages, sendImage } from './io.js';
import { slug } from './headings.js';
import { WindowedParser } from './window-parse.js';
import { pageGeneration, restoredState, savePlace, scrollToPlace, takePlace } from './restore.js';
import { diagramRenderer } from './diagrams.js';
import { setDiagramTheme } from './diagram-cache.js';
import { runEngine } from './engines.js';
import { emojiCompletion } from './emoji.js';
import { imageResizing } from './image-resize.js';
import { setReaderTheme } from './reader-theme.js';

installErrorReporting();

// The native side can switch the inline rendering off (VESK_INLINE_PROTO=0): the
// rendered view then keeps every Markdown mark visible and draws no widgets.
const kConceal = window.VESK_INLINE_PROTO !== false;
const kZoomSteps = [0.5, 0.67, 0.75, 0.8, 0.9, 1, 1.1, 1.25, 1.5, 1.75, 2, 2.5, 3];
const kDefaultZoom = kZoomSteps.indexOf(1);
const kLargeDocument = 1000000;

const kPhrases = {
  Find: '查找', Replace: '替换', next: '下一个', previous: '上一个', all: '全部',
  'match case': '区分大小写', regexp: '正则表达式', 'by word': '全字匹配',
  replace: '替换', 'replace all': '全部替换', close: '关闭', 'current match': '当前匹配',
  'replaced $ matches': '已替换 $ 处', 'replaced match on line $': '已替换第 $ 行的匹配',
  'on line': '行', 'Go to line': '跳转到行', go: '跳转', 'Control character': '控制字符',
};

// ---------------------------------------------------------------- view state

// The native side writes its theme into the page (the body's class), so that
// the first paint is already right; it wins over the session's last theme.
const handedTheme = document.body.classList.contains('theme-dark') ? 'dark'
  : document.body.classList.contains('theme-light') ? 'light' : null;

// Kept for the session so that a reload (opening a document in another folder)
// does not throw away the reader's table of contents, view and zoom.
const prefs = loadPrefs();

function loadPrefs() {
  const defaults = { toc: false, source: false, zoom: kDefaultZoom, theme: handedTheme || 'light' };
  try {
    const saved = JSON.parse(sessionStorage.getItem('vesk.view') || '{}');
    return {
      toc: saved.toc === true,
      source: saved.source === true,
      zoom: Number.isInteger(saved.zoom) && kZoomSteps[saved.zoom] ? saved.zoom : kDefaultZoom,
      theme: handedTheme || (saved.theme === 'dark' ? 'dark' : 'light'),
      focusMode: saved.focusMode === true,
      typewriter: saved.typewriter === true,
    };
  } catch {
    return defaults;
  }
}

function savePrefs() {
  try {
    sessionStorage.setItem('vesk.view', JSON.stringify(prefs));
  } catch {
    // Storage may be unavailable for this page; the view still works.
  }
}

// ---------------------------------------------------------------- page parts

const docStyle = document.createElement('style');
docStyle.textContent = documentCss;
document.head.append(docStyle);

const body = document.body;
const editorHost = document.getElementById('editor');
const printRoot = document.getElementById('print-root');
const status = new StatusBar(document.getElementById('status-text'), document.getElementById('status-info'));
const toc = new Toc(document.getElementById('toc'), (heading) => {
  if (!heading) return;
  view.dispatch({ effects: EditorView.scrollIntoView(Math.min(heading.from, view.state.doc.length), { y: 'start', yMargin: 24 }) });
});

function applyTheme() {
  setDiagramTheme(prefs.theme);
  body.classList.toggle('theme-dark', prefs.theme === 'dark');
  body.classList.toggle('theme-light', prefs.theme !== 'dark');
}

function applyZoom() {
  document.documentElement.style.setProperty('--zoom', String(kZoomSteps[prefs.zoom]));
  status.update({ zoom: kZoomSteps[prefs.zoom] });
}

function postView() {
  post({ type: 'view', toc: prefs.toc, source: prefs.source, zoom: kZoomSteps[prefs.zoom] });
}

applyTheme();
applyZoom();
toc.visible = prefs.toc;
status.update({ source: prefs.source });

// ---------------------------------------------------------------- the editor

const mode = new Compartment();
// Chromium's spell checker runs on prose in the rendered view; code, links,
// HTML, math and front matter opt out through their marks. The source view
// is all syntax and is not checked.
const rendered = [
  EditorView.editorAttributes.of({ class: 'mode-rendered' }),
  EditorView.contentAttributes.of({ spellcheck: 'true' }),
  livePreview(kConceal),
  renderedTables(kConceal),
  imageResizing,
];
const source = [EditorView.editorAttributes.of({ class: 'mode-source' }), EditorView.contentAttributes.of({ spellcheck: 'false' })];

function modeExtensions(sourceView) {
  return sourceView ? source : rendered;
}

const dirty = new DirtyTracker(EditorState.create().doc);
const counter = new Counter((counts) => {
  status.update({ counts });
  post({ type: 'stats', words: counts.words, cjk: counts.cjk });
});
const headings = new HeadingIndex((list) => {
  toc.show(list);
  highlightSection();
});

function postDirty() {
  post({ type: 'dirty', value: dirty.dirty });
}

const editorTheme = EditorView.theme({
  '&': { height: '100%', backgroundColor: 'var(--bg)', color: 'var(--fg)' },
  '&.cm-focused': { outline: 'none' },
  '.cm-scroller': { fontFamily: 'var(--font-text)', lineHeight: '1.75', overflowX: 'hidden' },
  '.cm-content': { caretColor: 'var(--caret)' },
  '.cm-cursor, .cm-dropCursor': { borderLeftColor: 'var(--caret)', borderLeftWidth: '2px' },
  '.cm-selectionBackground': { background: 'var(--sel-blur) !important' },
  '&.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground': { background: 'var(--sel) !important' },
  '.cm-placeholder': { color: 'var(--faint)' },
  '.cm-specialChar': { color: 'var(--danger)' },
  '.cm-panels': { backgroundColor: 'var(--chrome)', color: 'var(--fg)' },
  '.cm-panels.cm-panels-top': { borderBottom: '1px solid var(--rule)' },
  '.cm-searchMatch': { backgroundColor: 'var(--match)', borderRadius: '2px' },
  '.cm-searchMatch.cm-searchMatch-selected': { backgroundColor: 'var(--match-current)' },
});

// Markdown with the parser wrapped so that large documents are only parsed
// around the viewport.
const markdownSupport = (() => {
  const support = markdown({ base: markdownLanguage, codeLanguages: languages, completeHTMLTags: false, pasteURLAsLink: false, extensions: [frontMatterSyntax, mathSyntax] });
  const lang = support.language;
  return new LanguageSupport(new Language(lang.data, new WindowedParser(lang.parser), [], lang.name), support.support);
})();

function extensions() {
  return [
    history(),
    drawSelection(),
    dropCursor(),
    highlightSpecialChars(),
    EditorState.allowMultipleSelections.of(true),
    EditorView.lineWrapping,
    markdownSupport,
    syntaxHighlighting(highlighter),
    search({ top: true }),
    // Inside a table, Tab moves between cells and the table keys act on it;
    // elsewhere the keys keep their usual meaning.
    Prec.high(keymap.of(Object.entries(kTableKeys).map(([key, name]) => ({ key, run: (v) => tableCommand(v, name) })))),
    keymap.of([
      { key: 'F8', run: () => toggleWritingMode('focus') },
      { key: 'F9', run: () => toggleWritingMode('typewriter') },
    ]),
    codeFolding({ placeholderText: '…' }),
    writingModes,
    keymap.of([...foldKeymap, ...closeBracketsKeymap, ...searchKeymap, ...historyKeymap, indentWithTab, ...defaultKeymap]),
    closeBrackets(),
    emojiCompletion,
    markPairing,
    EditorState.phrases.of(kPhrases),
    placeholder('开始写作…'),
    focusTracking,
    mode.of(modeExtensions(prefs.source)),
    editorTheme,
    EditorView.contentAttributes.of({ autocorrect: 'off', autocapitalize: 'off', 'aria-label': '文档' }),
    EditorView.updateListener.of(onUpdate),
    EditorView.domEventHandlers(editorEvents),
    pasteHandlers(normalizeLineEnds),
    // Errors the editor catches itself (a failing extension) are reported too.
    EditorView.exceptionSink.of((error) => reportError(error, 'editor')),
  ];
}

let selectionTimer = 0;
function onUpdate(update) {
  if (update.selectionSet || update.docChanged) {
    // The selection's counts, after the selection settles.
    clearTimeout(selectionTimer);
    selectionTimer = setTimeout(() => status.update({ selection: selectionCounts(view.state) }), 120);
  }
  if (!update.docChanged) return;
  let changed = false;
  for (const tr of update.transactions) {
    if (!tr.docChanged) continue;
    const was = dirty.dirty;
    if (dirty.apply(tr.changes, tr.state.doc) !== was) changed = true;
    counter.change(tr);
  }
  if (changed) postDirty();
  const doc = update.state.doc;
  if (toc.visible) headings.invalidate(doc, doc.length > kLargeDocument ? 1500 : 400);
}

const editorEvents = {
  mousedown(event, view) {
    if (event.button !== 0 || !(event.ctrlKey || event.metaKey)) return false;
    const pos = view.posAtCoords({ x: event.clientX, y: event.clientY });
    const note = pos == null ? null : footnoteAt(view.state.doc, pos);
    if (note) {
      // A footnote reference jumps to its definition, the definition back.
      event.preventDefault();
      const target = footnoteTarget(view.state.doc, note.label, !note.definition);
      if (target < 0) post({ type: 'status', message: `找不到脚注：${note.label}` });
      else view.dispatch({ selection: { anchor: target }, effects: EditorView.scrollIntoView(target, { y: 'center' }) });
      return true;
    }
    const href = pos == null ? null : linkAt(view.state, pos);
    if (href == null) return false;
    event.preventDefault();
    followLink(href);
    return true;
  },
  paste(event) {
    const images = pastedImages(event.clipboardData);
    if (!images.length) return false;
    event.preventDefault();
    for (const file of images) sendImage(file, 'paste').catch((e) => reportError(e, 'paste'));
    return true;
  },
  compositionend(event, view) {
    // Decorations were frozen during the composition; redraw once the input
    // method has let go of the text.
    const settle = () => {
      if (view.composing || view.compositionStarted) setTimeout(settle, 30);
      else view.dispatch({ effects: refreshEffect.of(null) });
    };
    setTimeout(settle, 0);
    return false;
  },
};

const view = new EditorView({
  state: EditorState.create({ doc: '', extensions: extensions() }),
  parent: editorHost,
});
diagramRenderer.onDrawn = () => view.dispatch({ effects: refreshEffect.of(null) });

// ---------------------------------------------------------------- documents

function normalizeLineEnds(text) {
  return text.indexOf('\r') < 0 ? text : text.replace(/\r\n?/g, '\n');
}

// The place the previous page left (selection, scroll, history); it applies to
// the first document this page receives if that is the same text.
const generation = pageGeneration();
let earlierPlace = takePlace(generation);
window.addEventListener('pagehide', () => savePlace(view, generation));

function loadText(text) {
  const t0 = performance.now();
  const wasDirty = dirty.dirty;
  if (printing) endPrint();
  const place = earlierPlace;
  earlierPlace = null;
  const restored = restoredState(place, text, extensions());
  view.setState(restored || EditorState.create({ doc: text, extensions: extensions() }));
  view.scrollDOM.scrollTop = 0;
  if (prefs.focusMode || prefs.typewriter) {
    view.dispatch({ effects: [setFocusMode.of(!!prefs.focusMode), setTypewriter.of(!!prefs.typewriter)] });
  }
  if (restored) scrollToPlace(view, place);
  dirty.reset(view.state.doc);
  counter.reset(view.state.doc);
  if (toc.visible) headings.invalidate(view.state.doc, 0);
  if (wasDirty) postDirty();
  // The print view is made synchronously: the code languages it highlights
  // are loaded ahead, as soon as the page is idle after the first paint.
  requestIdleCallback(() => {
    loadFenceLanguages(text).catch(() => null);
    diagramRenderer.wantAll(text);
  }, { timeout: 1500 });
  if (text.length > kLargeDocument) {
    post({ type: 'log', message: `setMarkdown ${text.length} chars in ${Math.round(performance.now() - t0)} ms` });
  }
}

function scrollToAnchor(anchor) {
  let name = anchor;
  try {
    name = decodeURIComponent(anchor);
  } catch {
    // keep it as written
  }
  const list = headings.current(view.state.doc);
  const target = list.find((h) => h.anchor === name) || list.find((h) => h.anchor === slug(name));
  if (!target) {
    post({ type: 'status', message: `找不到标题：#${name}` });
    return;
  }
  view.dispatch({ effects: EditorView.scrollIntoView(target.from, { y: 'start', yMargin: 24 }) });
}

function followLink(href) {
  if (href.startsWith('#')) scrollToAnchor(href.slice(1));
  else post({ type: 'openLink', href });
}

// Links outside the editor text (rendered table cells, the print view) must
// never navigate the page; Ctrl+click follows them like links in the text.
// Anything with an address counts (SVG's xlink:href included), and every
// button: a middle or Ctrl click would otherwise open a window.
const kXlink = 'http://www.w3.org/1999/xlink';
function linkTarget(event) {
  return event.target.closest ? event.target.closest('[href], [*|href]') : null;
}
document.addEventListener('click', (event) => {
  const a = linkTarget(event);
  if (!a) return;
  event.preventDefault();
  const href = a.getAttribute('href') ?? a.getAttributeNS(kXlink, 'href');
  if ((event.ctrlKey || event.metaKey) && a.namespaceURI === 'http://www.w3.org/1999/xhtml' && href) followLink(href);
}, true);
document.addEventListener('auxclick', (event) => {
  if (linkTarget(event)) event.preventDefault();
}, true);

// Ctrl held: links show the hand cursor.
const setCtrl = (event) => body.classList.toggle('ctrl-held', event.ctrlKey || event.metaKey);
window.addEventListener('keydown', setCtrl, true);
window.addEventListener('keyup', setCtrl, true);
window.addEventListener('blur', () => body.classList.remove('ctrl-held'));

// Files dropped anywhere: handled here before the editor would insert their text,
// and never navigated to.
window.addEventListener('dragover', (event) => {
  if (event.dataTransfer && [...event.dataTransfer.types].includes('Files')) {
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
  }
}, true);
window.addEventListener('drop', (event) => {
  const files = event.dataTransfer && event.dataTransfer.files;
  if (!files || !files.length) return;
  event.preventDefault();
  event.stopPropagation();
  // A dropped image lands where it was dropped.
  const pos = view.posAtCoords({ x: event.clientX, y: event.clientY });
  if (pos != null && [...files].some((f) => /^image\//.test(f.type))) view.dispatch({ selection: { anchor: pos } });
  handleDroppedFiles(files);
}, true);

// Ctrl+wheel zooms the document rather than the whole page.
window.addEventListener('wheel', (event) => {
  if (!event.ctrlKey) return;
  event.preventDefault();
  if (event.deltaY) api.zoomBy(event.deltaY < 0 ? 1 : -1);
}, { passive: false });

const menu = new ContextMenu([
  { label: '剪切', hint: 'Ctrl+X', run: () => post({ type: 'editCommand', command: 'cut' }) },
  { label: '复制', hint: 'Ctrl+C', run: () => post({ type: 'editCommand', command: 'copy' }) },
  { label: '粘贴', hint: 'Ctrl+V', run: () => post({ type: 'editCommand', command: 'paste' }) },
  null,
  { label: '全选', hint: 'Ctrl+A', run: () => { view.focus(); view.dispatch({ selection: EditorSelection.single(0, view.state.doc.length) }); } },
  null,
  { label: '打开…', hint: 'Ctrl+O', run: () => post({ type: 'open' }) },
  null,
  { label: '折叠', hint: 'Ctrl+Shift+[', run: () => { view.focus(); foldCode(view); } },
  { label: '全部展开', hint: 'Ctrl+Alt+]', run: () => { view.focus(); unfoldAll(view); } },
  ...tableMenu(),
]);

// Focus mode (F8) and typewriter mode (F9) stay on for the session.
function toggleWritingMode(which) {
  const now = modeState(view.state);
  if (which === 'focus') {
    prefs.focusMode = !now.focus;
    view.dispatch({ effects: setFocusMode.of(prefs.focusMode) });
    post({ type: 'status', message: prefs.focusMode ? '专注模式：开' : '专注模式：关' });
  } else {
    prefs.typewriter = !now.typewriter;
    view.dispatch({ effects: setTypewriter.of(prefs.typewriter) });
    post({ type: 'status', message: prefs.typewriter ? '打字机模式：开' : '打字机模式：关' });
  }
  savePrefs();
  return true;
}

function tableMenu() {
  const inTable = () => !!tableContext(view);
  const item = (label, hint, name) => ({ label, hint, when: inTable, run: () => tableCommand(view, name) });
  return [
    { separator: true, when: inTable },
    item('在上方插入行', 'Ctrl+Shift+Enter', 'rowAbove'),
    item('在下方插入行', 'Ctrl+Enter', 'rowBelow'),
    item('删除行', 'Ctrl+Shift+Backspace', 'deleteRow'),
    item('在左侧插入列', 'Alt+Shift+←', 'colLeft'),
    item('在右侧插入列', 'Alt+Shift+→', 'colRight'),
    item('删除列', 'Alt+Shift+Backspace', 'deleteCol'),
    { separator: true, when: inTable },
    item('左对齐', '', 'alignLeft'),
    item('居中', '', 'alignCenter'),
    item('右对齐', '', 'alignRight'),
    item('格式化表格', 'Ctrl+Shift+F', 'format'),
  ];
}
document.addEventListener('contextmenu', (event) => {
  event.preventDefault();
  if (printing) return;
  menu.show(event.clientX, event.clientY);
});

// The native side moves or removes the <base> element; images resolve against it.
const isBase = (node) => node.nodeName === 'BASE';
new MutationObserver((records) => {
  if (records.some((r) => isBase(r.target) || [...r.addedNodes].some(isBase) || [...r.removedNodes].some(isBase))) {
    view.dispatch({ effects: refreshEffect.of(null) });
  }
}).observe(document.head, { childList: true, subtree: true, attributes: true, attributeFilter: ['href'] });

let sectionFrame = 0;
function highlightSection() {
  if (!toc.visible || sectionFrame) return;
  sectionFrame = requestAnimationFrame(() => {
    sectionFrame = 0;
    const rect = view.scrollDOM.getBoundingClientRect();
    const top = view.lineBlockAtHeight(view.scrollDOM.scrollTop + 8);
    toc.highlight(rect.height ? top.from : 0);
  });
}
view.scrollDOM.addEventListener('scroll', highlightSection, { passive: true });

// ---------------------------------------------------------------- printing

let printing = null;

function endPrint() {
  const saved = printing;
  printing = null;
  body.classList.remove('printing');
  printRoot.hidden = true;
  printRoot.replaceChildren();
  return saved;
}

// ---------------------------------------------------------------- the native side's calls

// Copied HTML says it is ours, so that pasting it back takes the Markdown of
// the plain text rather than a conversion of the HTML.
function ownHtml(markdown) {
  return '<meta name="generator" content="Vesk">' + clipboardHtml(markdown);
}

function text(value) {
  return typeof value === 'string' ? value : null;
}

const api = {
  setMarkdown(value) {
    // A malformed call must not replace the user's document with nothing.
    const t = text(value);
    if (t != null) loadText(normalizeLineEnds(t));
  },

  newDocument() {
    loadText('');
  },

  requestSnapshot() {
    post({ type: 'save', text: view.state.doc.toString() });
  },

  markSaved(value) {
    const t = text(value);
    if (t == null) return;
    const was = dirty.dirty;
    // The native side writes CR LF back for files that had them; the baseline
    // is compared in the page's LF form.
    dirty.setBaseline(normalizeLineEnds(t), view.state.doc);
    if (dirty.dirty !== was) postDirty();
  },

  undo() {
    undo(view);
  },

  redo() {
    redo(view);
  },

  clipboardCopy(cut) {
    const state = view.state;
    const parts = state.selection.ranges.filter((r) => !r.empty).map((r) => state.sliceDoc(r.from, r.to));
    if (!parts.length) {
      // Nothing selected: the caret's whole lines, as editors do.
      if (!state.doc.length) return;
      const lines = lineCopy(state);
      post({ type: 'clipboardWrite', text: lines.text, html: ownHtml(lines.text) });
      if (cut === true) view.dispatch({ changes: lines.ranges, userEvent: 'delete.cut', scrollIntoView: true });
      return;
    }
    const selected = parts.join('\n');
    post({ type: 'clipboardWrite', text: selected, html: ownHtml(selected) });
    if (cut === true) view.dispatch(state.replaceSelection(''), { userEvent: 'delete.cut', scrollIntoView: true });
  },

  clipboardPaste(value) {
    const t = text(value);
    if (t == null || !t) return;
    view.dispatch(view.state.replaceSelection(normalizeLineEnds(t)), { userEvent: 'input.paste', scrollIntoView: true });
    view.focus();
  },

  toggleToc() {
    prefs.toc = !prefs.toc;
    toc.visible = prefs.toc;
    if (prefs.toc) {
      toc.show(headings.current(view.state.doc));
      highlightSection();
    }
    view.requestMeasure();
    savePrefs();
    postView();
  },

  toggleSource() {
    const anchor = keepScroll();
    prefs.source = !prefs.source;
    view.dispatch({ effects: [mode.reconfigure(modeExtensions(prefs.source)), ...anchor] });
    status.update({ source: prefs.source });
    savePrefs();
    postView();
  },

  zoomBy(step) {
    const n = Math.trunc(Number(step)) || 0;
    const next = Math.max(0, Math.min(kZoomSteps.length - 1, prefs.zoom + n));
    if (next === prefs.zoom) return;
    setZoom(next);
  },

  resetZoom() {
    if (prefs.zoom !== kDefaultZoom) setZoom(kDefaultZoom);
  },

  setTheme(name) {
    prefs.theme = name === 'dark' ? 'dark' : 'light';
    applyTheme();
    savePrefs();
    view.dispatch({ effects: refreshEffect.of(null) });
  },

  format(name) {
    const change = formatChange(view.state, text(name));
    if (change) view.dispatch(change);
    view.focus();
  },

  exportHtml(title) {
    // The parsers of the document's code languages load first, so that its
    // code is highlighted like the editor's.
    const doc = view.state.doc.toString();
    const name = text(title) ?? '';
    Promise.all([loadFenceLanguages(doc), diagramRenderer.drawAll(doc)])
      .catch(() => null)
      .then(() => post({ type: 'export', html: exportDocument(name, doc) }))
      .catch((error) => reportError(error, 'exportHtml'));
  },

  insertImage(value) {
    const path = text(value);
    if (!path) return;
    // Paths with spaces or brackets need the <...> form of a destination.
    const dest = /[\s()<>]/.test(path) ? `<${path.replace(/</g, '%3C').replace(/>/g, '%3E')}>` : path;
    view.dispatch(view.state.changeByRange((range) => {
      const alt = view.state.sliceDoc(range.from, range.to).replace(/[[\]\n\\]/g, ' ').trim();
      const insert = `![${alt}](${dest})`;
      return { changes: { from: range.from, to: range.to, insert }, range: EditorSelection.cursor(range.from + insert.length) };
    }), { userEvent: 'input.image', scrollIntoView: true });
    view.focus();
  },

  setReaderTheme(value) {
    // {"name":…,"css":…} as JSON text; an empty text is no theme of the reader's.
    const t = text(value);
    if (t == null) return;
    setReaderTheme(t ? JSON.parse(t) : null);
  },

  runEngine(value) {
    runEngine(text(value) ?? '');
  },

  setStatus(value) {
    status.setText(text(value) ?? '');
  },

  pdfBegin() {
    if (!printing) {
      printing = {
        selection: view.state.selection,
        doc: view.state.doc,
        scrollTop: view.scrollDOM.scrollTop,
        scrollLeft: view.scrollDOM.scrollLeft,
        focused: view.hasFocus,
      };
    }
    printRoot.replaceChildren(documentFragment(view.state.doc.toString()));
    printRoot.hidden = false;
    body.classList.add('printing');
    const w = Math.ceil(Math.max(printRoot.scrollWidth, printRoot.getBoundingClientRect().width));
    const h = Math.ceil(printRoot.scrollHeight);
    return { w, h };
  },

  pdfPending() {
    // The native side waits while diagrams are still being drawn for the print.
    return diagramRenderer.pending(view.state.doc.toString());
  },

  pdfEnd() {
    if (!printing) return;
    const saved = endPrint();
    if (view.state.doc === saved.doc && !view.state.selection.eq(saved.selection)) {
      view.dispatch({ selection: saved.selection });
    }
    const restore = () => {
      view.scrollDOM.scrollTop = saved.scrollTop;
      view.scrollDOM.scrollLeft = saved.scrollLeft;
    };
    restore();
    view.requestMeasure();
    requestAnimationFrame(restore);
    if (saved.focused) view.focus();
  },
};

// The line at the top of the view stays there when the layout changes; at the
// very top the view simply stays at the top.
function keepScroll() {
  return view.scrollDOM.scrollTop < 1 ? [] : [view.scrollSnapshot()];
}

function setZoom(index) {
  const anchor = keepScroll();
  prefs.zoom = index;
  applyZoom();
  view.dispatch({ effects: anchor });
  view.requestMeasure();
  savePrefs();
  postView();
}

// Every call is fire and forget for the native side: a failure is reported as a
// page error instead of being thrown into the native script call.
const vesk = {};
for (const [name, fn] of Object.entries(api)) {
  vesk[name] = function (...args) {
    try {
      return fn.apply(api, args);
    } catch (error) {
      reportError(error, name);
      return name === 'pdfBegin' ? { w: 0, h: 0 } : undefined;
    }
  };
}
Object.freeze(vesk);
Object.defineProperty(window, 'vesk', { value: vesk, writable: false, configurable: false, enumerable: true });

if (prefs.toc) toc.show(headings.current(view.state.doc));
post({ type: 'ready' });
postView();
