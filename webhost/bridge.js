// Installed by the web host at the creation of every document, before the
// editor page's own scripts. It gives the page one way to post messages to the
// native side and receives documents too large for a script call.
(function () {
  if (window.__veskWinBridge) return;
  window.__veskWinBridge = true;

  var post = function (message) {
    try {
      window.chrome.webview.postMessage(message);
    } catch (e) {
      // No channel (the page shown outside the application): nothing to do.
    }
  };

  if (!window.webkit) window.webkit = {};
  if (!window.webkit.messageHandlers) window.webkit.messageHandlers = {};
  window.webkit.messageHandlers.vesk = { postMessage: post };

  // Large documents arrive as a web message, which is not limited like the
  // size of an executed script.
  if (window.chrome && window.chrome.webview) {
    window.chrome.webview.addEventListener('message', function (event) {
      var data = event && event.data;
      if (data && data.__vesk === 'setMarkdown' && window.vesk && typeof data.text === 'string') {
        window.vesk.setMarkdown(data.text);
      }
    });
  }
})();
