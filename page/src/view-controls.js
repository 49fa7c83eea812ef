// What the native menus switch in the view: the table of contents, the source
// view, zoom and theme. Each change is kept for the session and reported back.
import { applyTheme, kDefaultZoom, kZoomSteps, postView, prefs, savePrefs, zoomFactor } from './view-prefs.js';
import { keepScroll, modeExtensions, viewMode } from './editor-setup.js';
import { currentHeadings } from './doc-state.js';

export function applyZoom(status) {
  document.documentElement.style.setProperty('--zoom', String(zoomFactor()));
  status.update({ zoom: zoomFactor() });
}

export function viewControls(view, { status, toc, highlightSection }) {
  function setZoom(index) {
    const anchor = keepScroll(view);
    prefs.zoom = index;
    applyZoom(status);
    view.dispatch({ effects: anchor });
    view.requestMeasure();
    savePrefs();
    postView();
  }

  return {
    toggleToc() {
      prefs.toc = !prefs.toc;
      toc.visible = prefs.toc;
      if (prefs.toc) {
        toc.show(currentHeadings(view));
        highlightSection();
      }
      view.requestMeasure();
      savePrefs();
      postView();
    },

    toggleSource() {
      const anchor = keepScroll(view);
      prefs.source = !prefs.source;
      view.dispatch({ effects: [viewMode.reconfigure(modeExtensions(prefs.source)), ...anchor] });
      status.update({ source: prefs.source });
      savePrefs();
      postView();
    },

    zoomBy(step) {
      const n = Math.trunc(Number(step)) || 0;
      const next = Math.max(0, Math.min(kZoomSteps.length - 1, prefs.zoom + n));
      if (next === prefs.zoom) return;
      setZoom(next);
    },

    resetZoom() {
      if (prefs.zoom !== kDefaultZoom) setZoom(kDefaultZoom);
    },

    setTheme(name) {
      prefs.theme = name === 'dark' ? 'dark' : 'light';
      applyTheme();
      savePrefs();
    },
  };
}
