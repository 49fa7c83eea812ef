// The editor's one completion extension: CodeMirror takes a single list of
// sources, so emoji names and link targets are offered through it together.
import { autocompletion } from '@codemirror/autocomplete';
import { emojiSource } from './emoji.js';
import { linkCompletionSource } from './link-complete.js';

/** `folder()` gives the folder's files for link targets (see link-complete.js). */
export function completions(folder) {
  return autocompletion({
    override: [emojiSource, linkCompletionSource(folder)],
    icons: false,
    closeOnBlur: true,
    tooltipClass: () => 'vesk-emoji-list',
  });
}
