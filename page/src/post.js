// The one way out of the page: the native side installs
// window.webkit.messageHandlers.vesk before our script runs. Without it (a page
// opened in a plain browser) messages go nowhere, which is what we want.
export function post(message) {
  try {
    const handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.vesk;
    if (handler && typeof handler.postMessage === 'function') handler.postMessage(message);
  } catch {
    // A failing channel must never take an edit down with it.
  }
}

let errorCount = 0;
const kMaxErrors = 50; // a handler failing on every frame must not flood the native log

export function reportError(error, where) {
  if (errorCount >= kMaxErrors) return;
  errorCount++;
  let message = error && error.message ? error.message : String(error);
  if (where) message = `${where}: ${message}`;
  post({ type: 'error', message });
}

export function installErrorReporting() {
  window.addEventListener('error', (event) => {
    const at = event.filename ? ` (${event.filename.split('/').pop()}:${event.lineno}:${event.colno})` : '';
    reportError({ message: `${event.message}${at}` });
  });
  window.addEventListener('unhandledrejection', (event) => reportError(event.reason, 'promise'));
}
