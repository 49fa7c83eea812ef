// Addresses on other machines. On Windows a file URL with a host (and the
// "\\host\share" and "//host/x" spellings that resolve to one) is opened over
// SMB, which offers the reader's credentials to that host before anything is
// shown: the page never loads one. A document opened from a share may still
// load what lies beside it, on the machine it came from.

export const kNetworkImageText = '网络位置的图片未加载';

function hostOf(url) {
  return url.protocol === 'file:' ? url.hostname.toLowerCase() : '';
}

function percentDecoded(text) {
  return text.replace(/(?:%[0-9a-f]{2})+/gi, (run) => {
    try {
      return decodeURIComponent(run);
    } catch {
      return run.replace(/%([0-9a-f]{2})/gi, (_, hex) => String.fromCharCode(parseInt(hex, 16)));
    }
  });
}

// Judged on the address as written too, not only on what the URL parser makes
// of it: "\\\\host\share", "////host/share" and "\/host" all reach a share on
// Windows although the parser may leave them without a host.
function namesAnotherMachine(value) {
  const text = percentDecoded(String(value).replace(/[\t\n\r]/g, '').replace(/^[\u0000-\u0020]+/, ''));
  if (/^[\\/]{2}/.test(text)) return true;
  const file = /^file:([\\/]*)([^\\/]*)/i.exec(text);
  if (!file) return false;
  const [, slashes, host] = file;
  if (slashes.length >= 4) return true;
  return slashes.length === 2 && host !== '' && host.toLowerCase() !== 'localhost';
}

/** True when `value`, resolved against the page's base, is a file on another machine. */
export function isNetworkUrl(value, base = document.baseURI) {
  if (value == null) return false;
  if (namesAnotherMachine(value)) return true;
  let url;
  try {
    url = new URL(String(value), base);
  } catch {
    return false;
  }
  const host = hostOf(url);
  if (!host) return false;
  try {
    return host !== hostOf(new URL(base));
  } catch {
    return true;
  }
}

/** Any of the comma-separated candidates of a srcset names another machine. */
export function srcsetHasNetworkUrl(value, base = document.baseURI) {
  return String(value).split(',').some((candidate) => isNetworkUrl(candidate.trim().split(/\s+/)[0], base));
}

export function networkImagePlaceholder(doc = document) {
  const span = doc.createElement('span');
  span.className = 'vesk-img-network';
  span.textContent = kNetworkImageText;
  return span;
}
