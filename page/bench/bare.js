// The peer of the benchmark: a bare CodeMirror 6 Markdown editor built from the
// same packages as the page (same parser, code languages, history and keys),
// with no rendered view, no widgets and no page chrome.
import { EditorState } from '@codemirror/state';
import { EditorView, drawSelection, keymap } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { defaultHighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { markdown, markdownLanguage } from '@codemirror/lang-markdown';
import { languages } from '@codemirror/language-data';

const extensions = () => [
  history(),
  drawSelection(),
  EditorView.lineWrapping,
  markdown({ base: markdownLanguage, codeLanguages: languages }),
  syntaxHighlighting(defaultHighlightStyle),
  keymap.of([...historyKeymap, ...defaultKeymap]),
  EditorView.theme({ '&': { height: '100%' } }),
];

const view = new EditorView({ state: EditorState.create({ doc: '', extensions: extensions() }), parent: document.getElementById('editor') });
window.__view = () => view;
window.vesk = {
  setMarkdown(text) {
    view.setState(EditorState.create({ doc: text, extensions: extensions() }));
    view.scrollDOM.scrollTop = 0;
  },
  newDocument() {
    this.setMarkdown('');
  },
};
