// The editor's one completion extension: CodeMirror takes a single list of
// sources, so emoji names and link targets are offered through it together.
import { autocompletion } from '@codemirror/autocomplete';
import { emojiSource } from './emoji.js';
import { linkCompletionSource } from './link-complete.js';

// Keys choose from a list only once it has been shown this long, so an Enter
// typed right after a word still ends the line.
export const kAcceptDelayMs = 75;

/** `folder()` gives the folder's files for link targets (see link-complete.js). */
export function completions(folder) {
  return autocompletion({
    override: [emojiSource, linkCompletionSource(folder)],
    icons: false,
    closeOnBlur: true,
    interactionDelay: kAcceptDelayMs,
    tooltipClass: () => 'vesk-emoji-list',
  });
}
