// Listeners on the page around the editor: links outside the text never
// navigate, Ctrl shows the link cursor, dropped files go to the native side,
// Ctrl+wheel zooms, the context menu is ours, and a moved <base> redraws images.
import { refreshEffect } from './focus.js';
import { handleDroppedFiles } from './io.js';
import { followLink } from './follow-links.js';
import { isPrinting } from './print-view.js';

const kXlink = 'http://www.w3.org/1999/xlink';

// Anything with an address counts (SVG's xlink:href included), and every
// button: a middle or Ctrl click would otherwise open a window.
function linkTarget(event) {
  return event.target.closest ? event.target.closest('[href], [*|href]') : null;
}

export function installWindowEvents(view, { zoomBy, menu }) {
  const body = document.body;

  // Links outside the editor text (rendered table cells, the print view) must
  // never navigate the page; Ctrl+click follows them like links in the text.
  document.addEventListener('click', (event) => {
    const a = linkTarget(event);
    if (!a) return;
    event.preventDefault();
    const href = a.getAttribute('href') ?? a.getAttributeNS(kXlink, 'href');
    if ((event.ctrlKey || event.metaKey) && a.namespaceURI === 'http://www.w3.org/1999/xhtml' && href) followLink(view, href);
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
    if (event.deltaY) zoomBy(event.deltaY < 0 ? 1 : -1);
  }, { passive: false });

  document.addEventListener('contextmenu', (event) => {
    event.preventDefault();
    if (isPrinting()) return;
    menu.show(event.clientX, event.clientY);
  });

  // The native side moves or removes the <base> element; images resolve against it.
  const isBase = (node) => node.nodeName === 'BASE';
  new MutationObserver((records) => {
    if (records.some((r) => isBase(r.target) || [...r.addedNodes].some(isBase) || [...r.removedNodes].some(isBase))) {
      view.dispatch({ effects: refreshEffect.of(null) });
    }
  }).observe(document.head, { childList: true, subtree: true, attributes: true, attributeFilter: ['href'] });
}
