// Addresses on other machines. On Windows a file URL with a host (and the
// "\\host\share" and "//host/x" spellings that resolve to one) is opened over
// SMB, which offers the reader's credentials to that host before anything is
// shown: the page never loads one. A document opened from a share may still
// load what lies beside it, on the machine it came from.

export const kNetworkImageText = '网络位置的图片未加载';

function hostOf(url) {
  return url.protocol === 'file:' ? url.hostname.toLowerCase() : '';
}

/** True when `value`, resolved against the page's base, is a file on another machine. */
export function isNetworkUrl(value, base = document.baseURI) {
  if (value == null) return false;
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
