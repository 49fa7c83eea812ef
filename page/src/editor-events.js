// The editor's own events that are not links: pasted images go to the native
// side, and a finished input-method composition redraws the decorations it froze.
import { EditorView } from '@codemirror/view';
import { pastedImages, sendImage } from './io.js';
import { reportError } from './post.js';
import { refreshEffect } from './focus.js';

export const editorEvents = EditorView.domEventHandlers({
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
});
