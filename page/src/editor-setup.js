// The editor's fixed parts: its theme, the Markdown language (parsed around the
// viewport for large documents), the Chinese phrases of CodeMirror's own panels,
// and the compartment that switches between the rendered and the source view.
import { Compartment } from '@codemirror/state';
import { EditorView } from '@codemirror/view';
import { Language, LanguageSupport } from '@codemirror/language';
import { markdown, markdownLanguage } from '@codemirror/lang-markdown';
import { languages } from '@codemirror/language-data';
import { frontMatterSyntax } from './extras.js';
import { mathSyntax } from './math.js';
import { livePreview } from './preview.js';
import { renderedTables } from './tables.js';
import { WindowedParser } from './window-parse.js';

// The native side can switch the inline rendering off (VESK_INLINE_PROTO=0): the
// rendered view then keeps every Markdown mark visible and draws no widgets.
const kConceal = window.VESK_INLINE_PROTO !== false;

export const kPhrases = {
  Find: '查找', Replace: '替换', next: '下一个', previous: '上一个', all: '全部',
  'match case': '区分大小写', regexp: '正则表达式', 'by word': '全字匹配',
  replace: '替换', 'replace all': '全部替换', close: '关闭', 'current match': '当前匹配',
  'replaced $ matches': '已替换 $ 处', 'replaced match on line $': '已替换第 $ 行的匹配',
  'on line': '行', 'Go to line': '跳转到行', go: '跳转', 'Control character': '控制字符',
};

export const editorTheme = EditorView.theme({
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
export const markdownSupport = (() => {
  const support = markdown({ base: markdownLanguage, codeLanguages: languages, completeHTMLTags: false, pasteURLAsLink: false, extensions: [frontMatterSyntax, mathSyntax] });
  const lang = support.language;
  return new LanguageSupport(new Language(lang.data, new WindowedParser(lang.parser), [], lang.name), support.support);
})();

// Chromium's spell checker runs on prose in the rendered view; code, links,
// HTML, math and front matter opt out through their marks. The source view
// is all syntax and is not checked.
const rendered = [
  EditorView.editorAttributes.of({ class: 'mode-rendered' }),
  EditorView.contentAttributes.of({ spellcheck: 'true' }),
  livePreview(kConceal),
  renderedTables(kConceal),
];
const source = [EditorView.editorAttributes.of({ class: 'mode-source' }), EditorView.contentAttributes.of({ spellcheck: 'false' })];

export const viewMode = new Compartment();

export function modeExtensions(sourceView) {
  return sourceView ? source : rendered;
}

/** The effect that keeps the line at the top of the view there when the layout changes. */
export function keepScroll(view) {
  return view.scrollDOM.scrollTop < 1 ? [] : [view.scrollSnapshot()];
}
