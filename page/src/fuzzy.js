// Quick open's matching: the query's characters in order (a subsequence) in
// the file name, else in the whole path, ranked by matches at word starts and
// in runs, in the name rather than the folders, and shorter paths first.
// Chinese names also match by the initials and the full pinyin of their
// characters ("bj" and "biji" find "笔记.md") once a reader of pinyin is
// set (the page loads one on demand). Pure functions, no DOM.
const kHan = /\p{sc=Han}/u;
const readings = new Map();
let reader = null;

/** `read(ch)` gives the toneless reading of one Chinese character, or "". */
export function setPinyinReader(read) {
  reader = read;
  readings.clear();
}

// The reading of one character (its most common one), cached: the
// library's call is costly and names repeat characters.
function readingOf(ch) {
  let r = readings.get(ch);
  if (r === undefined) {
    r = kHan.test(ch) ? String(reader(ch) || '').toLowerCase() : '';
    readings.set(ch, r);
  }
  return r;
}

/**
 * The pinyin forms of a name with Chinese in it, or null: `initials` and
 * `full` are lower-case texts, and `owner` maps each of their characters back
 * to the index in `name` it came from (other characters stand for themselves).
 */
export function pinyinForms(name) {
  if (!reader || !kHan.test(name)) return null;
  let initials = '';
  let full = '';
  const ownInitials = [];
  const ownFull = [];
  let i = 0;
  for (const ch of name) {
    const r = readingOf(ch);
    if (r) {
      initials += r[0];
      ownInitials.push(i);
      full += r;
      for (let k = 0; k < r.length; k++) ownFull.push(i);
    } else {
      const low = ch.toLowerCase();
      initials += low;
      full += low;
      for (let k = 0; k < low.length; k++) {
        ownInitials.push(i);
        ownFull.push(i);
      }
    }
    i += ch.length;
  }
  return { initials, ownInitials, full, ownFull };
}

function isWordStart(text, i) {
  if (i === 0) return true;
  const prev = text.charCodeAt(i - 1);
  const cur = text.charCodeAt(i);
  // After a separator, at a lower-to-upper hump, or from Latin into digits/CJK.
  if (prev === 47 || prev === 92 || prev === 45 || prev === 95 || prev === 46 || prev === 32) return true;
  if (prev >= 97 && prev <= 122 && cur >= 65 && cur <= 90) return true;
  return false;
}

/**
 * Positions in `text` (lower-cased in `low`) where the query's characters
 * match in order, or null. Each character prefers a word start within reach
 * over the nearest occurrence, which ranks "fp" on "folder-panel" right.
 */
function subsequence(low, text, q) {
  const positions = new Array(q.length);
  let from = 0;
  for (let k = 0; k < q.length; k++) {
    const c = q[k];
    let at = low.indexOf(c, from);
    if (at < 0) return null;
    if (!isWordStart(text, at) && (k === 0 || positions[k - 1] !== at - 1)) {
      // A later word start with the same character, if the rest still fits.
      for (let j = low.indexOf(c, at + 1); j >= 0; j = low.indexOf(c, j + 1)) {
        if (isWordStart(text, j)) {
          if (fits(low, q, k + 1, j + 1)) at = j;
          break;
        }
      }
    }
    positions[k] = at;
    from = at + 1;
  }
  return positions;
}

function fits(low, q, k, from) {
  for (; k < q.length; k++) {
    const at = low.indexOf(q[k], from);
    if (at < 0) return false;
    from = at + 1;
  }
  return true;
}

function scorePositions(text, positions) {
  let score = 0;
  for (let k = 0; k < positions.length; k++) {
    const p = positions[k];
    score += 1;
    if (isWordStart(text, p)) score += 8;
    if (k > 0 && positions[k - 1] === p - 1) score += 5;
  }
  if (positions[0] === 0) score += 4;
  return score;
}

/** The query as typed, split from a trailing ":line" (1-based), lower-cased, spaces dropped. */
export function parseQuery(raw) {
  const m = /^(.*?):(\d+)\s*$/.exec(raw);
  const text = (m ? m[1] : raw).replace(/\s+/g, '').toLowerCase();
  return { text, line: m ? Number(m[2]) : 0 };
}

/**
 * The match of query `q` (from parseQuery) on an entry made by prepareEntry,
 * or null: { score, marks } where marks are indexes into entry.path.
 */
export function matchEntry(entry, q) {
  if (!q) return { score: -entry.path.length / 1000, marks: [] };
  const nameAt = entry.path.length - entry.name.length;
  let best = null;
  const consider = (score, marks) => {
    if (!best || score > best.score) best = { score, marks };
  };
  const inName = subsequence(entry.lowName, entry.name, q);
  if (inName) consider(scorePositions(entry.name, inName) + 2 * q.length + 20, inName.map((p) => p + nameAt));
  if (entry.pinyin) {
    const py = entry.pinyin;
    const viaInitials = subsequence(py.initials, py.initials, q);
    if (viaInitials) {
      const marks = [...new Set(viaInitials.map((p) => py.ownInitials[p] + nameAt))];
      consider(scorePositions(py.initials, viaInitials) + q.length + 18, marks);
    }
    const viaFull = subsequence(py.full, py.full, q);
    if (viaFull) {
      const marks = [...new Set(viaFull.map((p) => py.ownFull[p] + nameAt))];
      consider(scorePositions(py.full, viaFull) + 16, marks);
    }
  }
  if (!best) {
    const inPath = subsequence(entry.lowPath, entry.path, q);
    if (inPath) consider(scorePositions(entry.path, inPath), inPath);
  }
  if (best) best.score -= entry.path.length / 1000; // shorter paths first among equals
  return best;
}

/** What matching needs of a relative path ("a/b/笔记.md"), computed once per index. */
export function prepareEntry(path) {
  const name = path.slice(path.lastIndexOf('/') + 1);
  return { path, name, lowPath: path.toLowerCase(), lowName: name.toLowerCase(), pinyin: pinyinForms(name) };
}

/**
 * The best `limit` entries for `q`, best first: [{ entry, score, marks }].
 * `entries` may be the previous result's entries when the query only grew.
 */
export function rank(entries, q, limit = 50) {
  const found = [];
  for (const entry of entries) {
    const m = matchEntry(entry, q);
    if (m) found.push({ entry, score: m.score, marks: m.marks });
  }
  found.sort((a, b) => b.score - a.score || (a.entry.path < b.entry.path ? -1 : 1));
  return { all: found, top: found.slice(0, limit) };
}
