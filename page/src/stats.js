// Word and CJK-character counts.
//
// Neither a word nor a CJK character spans a line break, so the counts of a text
// are the sums of the counts of its lines. That lets an edit be accounted for by
// recounting only the lines it touched, before and after, instead of the document.

const kCjk = /[\p{sc=Han}\p{sc=Hiragana}\p{sc=Katakana}\p{sc=Hangul}]/gu;
// Runs of letters and digits outside those scripts; an apostrophe or a hyphen
// between two letters keeps a word together ("don't", "e-mail").
// (A lookahead rather than v-flag set subtraction: the oldest runtime we
// support predates the v flag.)
const kWordChar = String.raw`(?:(?![\p{sc=Han}\p{sc=Hiragana}\p{sc=Katakana}\p{sc=Hangul}])[\p{L}\p{N}\p{M}])`;
const kWord = new RegExp(String.raw`${kWordChar}+(?:['’\-]${kWordChar}+)*`, 'gu');

export function countText(text) {
  let words = 0;
  let cjk = 0;
  kWord.lastIndex = 0;
  while (kWord.exec(text)) words++;
  kCjk.lastIndex = 0;
  while (kCjk.exec(text)) cjk++;
  return { words, cjk };
}

/** Counts of the lines `fromLine`..`toLine` (1-based, inclusive) of a Text. */
export function countLines(doc, fromLine, toLine) {
  let words = 0;
  let cjk = 0;
  for (const iter = doc.iterLines(fromLine, toLine + 1); !iter.next().done;) {
    if (iter.lineBreak) continue;
    const c = countText(iter.value);
    words += c.words;
    cjk += c.cjk;
  }
  return { words, cjk };
}

/**
 * The change in counts that `changes` made when turning `oldDoc` into `newDoc`.
 * Changed ranges are widened to whole lines; ranges whose lines touch are merged
 * so that no line is counted twice.
 */
export function countDelta(oldDoc, newDoc, changes) {
  const groups = [];
  changes.iterChangedRanges((fromA, toA, fromB, toB) => {
    const a1 = oldDoc.lineAt(fromA).number;
    const a2 = oldDoc.lineAt(toA).number;
    const b1 = newDoc.lineAt(fromB).number;
    const b2 = newDoc.lineAt(toB).number;
    const last = groups[groups.length - 1];
    // Between two changed ranges lies unchanged text: either it holds a line break
    // (then their lines are disjoint on both sides) or it does not (then they share
    // a line on both sides).
    if (last && a1 <= last.a2) {
      last.a2 = Math.max(last.a2, a2);
      last.b2 = Math.max(last.b2, b2);
    } else {
      groups.push({ a1, a2, b1, b2 });
    }
  });
  let words = 0;
  let cjk = 0;
  for (const g of groups) {
    const before = countLines(oldDoc, g.a1, g.a2);
    const after = countLines(newDoc, g.b1, g.b2);
    words += after.words - before.words;
    cjk += after.cjk - before.cjk;
  }
  return { words, cjk };
}
