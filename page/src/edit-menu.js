// The editor's context menu: clipboard, select all, open, folding, and the
// table commands where the caret is in a table.
import { ContextMenu } from './ui.js';
import { post } from './post.js';
import { tableCommand, tableContext } from './tables.js';
import { foldHere, selectWholeDocument, unfoldEverything } from './commands.js';

export function editMenu(view) {
  return new ContextMenu([
    { label: '剪切', hint: 'Ctrl+X', run: () => post({ type: 'editCommand', command: 'cut' }) },
    { label: '复制', hint: 'Ctrl+C', run: () => post({ type: 'editCommand', command: 'copy' }) },
    { label: '粘贴', hint: 'Ctrl+V', run: () => post({ type: 'editCommand', command: 'paste' }) },
    null,
    { label: '全选', hint: 'Ctrl+A', run: () => selectWholeDocument(view) },
    null,
    { label: '打开…', hint: 'Ctrl+O', run: () => post({ type: 'open' }) },
    null,
    { label: '折叠', hint: 'Ctrl+Shift+[', run: () => foldHere(view) },
    { label: '全部展开', hint: 'Ctrl+Alt+]', run: () => unfoldEverything(view) },
    ...tableItems(view),
  ]);
}

function tableItems(view) {
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
