// Find and replace: the editor's search panel, opened from the 编辑 menu
// (the native side's find() and replace() calls) or with Ctrl+F and Ctrl+H.
import { keymap } from '@codemirror/view';
import { openSearchPanel } from '@codemirror/search';

const field = (view, name) => view.dom.querySelector(`.cm-search [name="${name}"]`);

/** Opens the search panel with its search field focused and selected. */
export function openFind(view) {
  openSearchPanel(view);
  const input = field(view, 'search');
  if (input) {
    input.focus();
    input.select();
  }
  return true;
}

/** Opens the search panel with its replace field focused. */
export function openReplace(view) {
  openSearchPanel(view);
  const input = field(view, 'replace');
  if (input) {
    input.focus();
    input.select();
  }
  return true;
}

export const replaceKey = keymap.of([{ key: 'Mod-h', run: openReplace, preventDefault: true }]);
