// The reader's view for the session: theme, zoom, table of contents, source
// view, focus and typewriter modes. Kept in the session's storage so that a
// reload (opening a document in another folder) does not throw them away.
import { post } from './post.js';

export const kZoomSteps = [0.5, 0.67, 0.75, 0.8, 0.9, 1, 1.1, 1.25, 1.5, 1.75, 2, 2.5, 3];
export const kDefaultZoom = kZoomSteps.indexOf(1);

// The native side writes its theme into the page (the body's class), so that
// the first paint is already right; it wins over the session's last theme.
const handedTheme = document.body.classList.contains('theme-dark') ? 'dark'
  : document.body.classList.contains('theme-light') ? 'light' : null;

export const prefs = loadPrefs();

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

export function savePrefs() {
  try {
    sessionStorage.setItem('vesk.view', JSON.stringify(prefs));
  } catch {
    // Storage may be unavailable for this page; the view still works.
  }
}

export function zoomFactor() {
  return kZoomSteps[prefs.zoom];
}

export function applyTheme() {
  document.body.classList.toggle('theme-dark', prefs.theme === 'dark');
  document.body.classList.toggle('theme-light', prefs.theme !== 'dark');
}

/** Tells the native side what the view shows (it keeps its menu checks in step). */
export function postView() {
  post({ type: 'view', toc: prefs.toc, source: prefs.source, zoom: zoomFactor() });
}
