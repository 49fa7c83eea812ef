// The editor page's composition root: one CodeMirror editor holding the Markdown
// text, which is the only copy of the document, the parts of the page around it,
// and window.vesk, the functions the native side calls. Each feature lives in a
// file of its own and is put together here; "ready" is posted once all exist.
import { EditorState } from '@codemirror/state';
import { EditorView, drawSelection, dropCursor, highlightSpecialChars, keymap, placeholder } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { codeFolding, foldKeymap, syntaxHighlighting } from '@codemirror/language';
import { search, searchKeymap } from '@codemirror/search';
import { replaceKey } from './find-replace.js';
import { closeBrackets, closeBracketsKeymap } from '@codemirror/autocomplete';
import { markPairing, pasteHandlers } from './paste.js';
import { writingModes } from './aids.js';
import { installErrorReporting, post, reportError } from './post.js';
import { highlighter } from './highlight.js';
import { documentCss } from './render.js';
import { StatusBar, Toc } from './ui.js';
import { applyTheme, postView, prefs } from './view-prefs.js';
import { editorTheme, kPhrases, markdownSupport, modeExtensions, viewMode } from './editor-setup.js';
import { awaitingDocument, currentHeadings, documentCounts, headingIndex, unsavedState } from './doc-state.js';
import { pageKeymaps } from './commands.js';
import { linkClicks } from './follow-links.js';
import { editorEvents } from './editor-events.js';
import { editMenu } from './edit-menu.js';
import { installWindowEvents } from './window-events.js';
import { applyZoom, viewControls } from './view-controls.js';
import { documentLoader, normalizeLineEnds } from './load-document.js';
import { installNativeApi, nativeApi } from './native-api.js';
import { diagramRenderer } from './diagrams.js';
import { focusTracking, refreshEffect } from './focus.js';
import { FolderPanel } from './folder-panel.js';
import { QuickOpen } from './quick-open.js';
import { folderApi } from './folder-api.js';
import { completions } from './completions.js';
import { crashBackups } from './backup.js';

installErrorReporting();

const docStyle = document.createElement('style');
docStyle.textContent = documentCss;
document.head.append(docStyle);

const status = new StatusBar(document.getElementById('status-text'), document.getElementById('status-info'));
const toc = new Toc(document.getElementById('toc'), (heading) => {
  if (!heading) return;
  view.dispatch({ effects: EditorView.scrollIntoView(Math.min(heading.from, view.state.doc.length), { y: 'start', yMargin: 24 }) });
});

// The table of contents marks the section at the top of the view.
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

applyTheme();
applyZoom(status);
toc.visible = prefs.toc;
status.update({ source: prefs.source });

// What a document knows of itself, reported to the native side and the page.
// While it is unsaved its text also goes to the native side's crash backup.
const backups = crashBackups(post);
const documentState = [
  unsavedState((dirty) => {
    post({ type: 'dirty', value: dirty });
    if (!dirty) backups.cancel();
  }),
  backups.extension,
  documentCounts({
    onCounts(counts) {
      status.update({ counts });
      post({ type: 'stats', words: counts.words, cjk: counts.cjk });
    },
    onSelection: (selection) => status.update({ selection }),
  }),
  headingIndex({
    wanted: () => toc.visible,
    onHeadings(list) {
      toc.show(list);
      highlightSection();
    },
  }),
];

// The folder's files, for link completion; filled in once the panel exists.
let folderFiles = () => ({ files: [], current: '' });
const completion = completions(() => folderFiles());

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
    replaceKey,
    pageKeymaps,
    codeFolding({ placeholderText: '…' }),
    writingModes,
    keymap.of([...foldKeymap, ...closeBracketsKeymap, ...searchKeymap, ...historyKeymap, indentWithTab, ...defaultKeymap]),
    closeBrackets(),
    markPairing,
    EditorState.phrases.of(kPhrases),
    placeholder('开始写作…'),
    focusTracking,
    viewMode.of(modeExtensions(prefs.source)),
    editorTheme,
    EditorView.contentAttributes.of({ autocorrect: 'off', autocapitalize: 'off', 'aria-label': '文档' }),
    documentState,
    completion,
    linkClicks,
    editorEvents,
    pasteHandlers(normalizeLineEnds),
    // Errors the editor catches itself (a failing extension) are reported too.
    EditorView.exceptionSink.of((error) => reportError(error, 'editor')),
  ];
}

const view = new EditorView({
  state: EditorState.create({ doc: '', extensions: [extensions(), awaitingDocument.of(true)] }),
  parent: document.getElementById('editor'),
});
view.scrollDOM.addEventListener('scroll', highlightSection, { passive: true });
diagramRenderer.onDrawn = () => view.dispatch({ effects: refreshEffect.of(null) });

const controls = viewControls(view, { status, toc, highlightSection });

// The editor's context menu comes first in the page: tests and tools find it as
// the first .context-menu.
const menu = editMenu(view);
const panel = new FolderPanel(document.getElementById('files'));
const quick = new QuickOpen();
panel.indexListeners.add((index) => quick.setIndex(index));
quick.onClose = () => view.focus();
folderFiles = () => ({ files: panel.index.files, current: panel.current });

installWindowEvents(view, { zoomBy: (step) => controls.zoomBy(step), menu });
installNativeApi({
  ...nativeApi(view, { load: documentLoader(view, extensions), controls, status }),
  ...folderApi(view, { panel, quick }),
});

if (prefs.toc) toc.show(currentHeadings(view));
post({ type: 'ready' });
postView();
