// Engines loaded on demand (web/<name>.js, too large to inline in every page):
// the page posts {"type":"loadEngine","name":…}; the native side puts the
// file's text into window.__veskEngine in pieces and then calls
// vesk.runEngine(name). The text runs as an inline script, which the page's
// policy admits only by the hash the build computed for that file.
import { post } from './post.js';

const waiting = new Map();

/**
 * Resolves to `ready()` once the engine has run; `ready` says whether it has
 * (the engine defines a global). Asks the native side at most once a page.
 */
export function loadEngine(name, ready) {
  const now = ready();
  if (now) return Promise.resolve(now);
  let wait = waiting.get(name);
  if (!wait) {
    let settle;
    const promise = new Promise((resolve, reject) => { settle = { resolve, reject }; });
    wait = { promise, ready, ...settle };
    waiting.set(name, wait);
    post({ type: 'loadEngine', name });
  }
  return wait.promise;
}

/** The native side's call once the pieces of `name` are in window.__veskEngine. */
export function runEngine(name) {
  const text = Array.isArray(window.__veskEngine) ? window.__veskEngine.join('') : '';
  window.__veskEngine = [];
  const wait = waiting.get(name);
  if (!wait) return;
  if (text) {
    const script = document.createElement('script');
    script.textContent = text;
    document.head.append(script);
    script.remove();
  }
  const value = wait.ready();
  if (value) {
    wait.resolve(value);
  } else {
    // A missing file or a text the policy refused: a later document may try again.
    waiting.delete(name);
    wait.reject(new Error(text ? `${name} 引擎被拒绝运行` : `找不到 ${name} 引擎`));
  }
}
