// Front matter, GitHub-style alerts and footnotes: the rules shared by the
// rendered view (a parser extension and decorations), the table of contents and
// the HTML of export, copy and print (markdown-it rules).

const kFrontLimit = 500;

/**
 * Lines 1..n of a YAML front matter block ("---" on the first line, closed by
 * "---" or "..."), as the number of its last line, or 0.
 */
export function frontMatterEnd(lineText, lineCount) {
  if (lineCount < 2 || lineText(1) !== '---') return 0;
  for (let n = 2, last = Math.min(lineCount, kFrontLimit); n <= last; n++) {
    const t = lineText(n);
    if (t === '---' || t === '...') return n;
  }
  return 0;
}

export const kAlerts = {
  note: '注意', tip: '提示', important: '重要', warning: '警告', caution: '小心',
};
export const kAlertMarker = /^\[!(NOTE|TIP|IMPORTANT|WARNING|CAUTION)\][ \t]*$/i;

// ---------------------------------------------------------------- markdown-it

/** Front matter becomes a quiet block of its own, never a rule and a heading. */
export function frontMatterPlugin(md) {
  md.block.ruler.before('table', 'vesk_front_matter', (state, startLine, endLine, silent) => {
    if (startLine !== 0 || state.blkIndent !== 0 || state.sCount[0] !== 0) return false;
    const text = (n) => state.src.slice(state.bMarks[n - 1] + state.tShift[n - 1], state.eMarks[n - 1]);
    const last = frontMatterEnd((n) => (n - 1 < endLine && state.tShift[n - 1] === 0 ? text(n) : null), endLine);
    if (!last) return false;
    if (silent) return true;
    const token = state.push('vesk_front_matter', 'pre', 0);
    token.content = state.src.slice(state.bMarks[1], state.bMarks[last - 1]);
    token.map = [0, last];
    token.block = true;
    state.line = last;
    return true;
  });
  md.renderer.rules.vesk_front_matter = (tokens, i) =>
    `<pre class="front-matter"><code>${md.utils.escapeHtml(tokens[i].content)}</code></pre>\n`;
}

/** "> [!NOTE]" quotes become callouts with a title. */
export function alertsPlugin(md) {
  md.core.ruler.after('block', 'vesk_alerts', (state) => {
    const tokens = state.tokens;
    for (let i = 0; i + 2 < tokens.length; i++) {
      if (tokens[i].type !== 'blockquote_open' || tokens[i + 1].type !== 'paragraph_open' || tokens[i + 2].type !== 'inline') continue;
      const inline = tokens[i + 2];
      const nl = inline.content.indexOf('\n');
      const first = nl < 0 ? inline.content : inline.content.slice(0, nl);
      const m = kAlertMarker.exec(first.trim());
      if (!m) continue;
      const kind = m[1].toLowerCase();
      tokens[i].attrJoin('class', `markdown-alert markdown-alert-${kind}`);
      const title = new state.Token('html_block', '', 0);
      title.content = `<p class="markdown-alert-title">${kAlerts[kind]}</p>\n`;
      if (nl < 0) {
        // The marker was the whole paragraph: the title takes its place.
        tokens.splice(i + 1, 3, title);
      } else {
        inline.content = inline.content.slice(nl + 1);
        tokens.splice(i + 1, 0, title);
      }
    }
  });
}

// ---------------------------------------------------------------- the parser of the rendered view

/** A lezer-markdown extension: the front matter as one "FrontMatter" block. */
export const frontMatterSyntax = {
  defineNodes: [{ name: 'FrontMatter', block: true }],
  parseBlock: [{
    name: 'FrontMatter',
    before: 'HorizontalRule',
    parse(cx, line) {
      if (cx.lineStart !== 0 || line.text !== '---') return false;
      // The closing line is looked up in the input first: a "---" without one
      // is a rule, and lines once consumed cannot be given back.
      const head = cx.input.read(0, Math.min(cx.input.length, 64000)).split('\n');
      const last = frontMatterEnd((n) => head[n - 1], head.length);
      if (!last) return false;
      let end = 0;
      for (let n = 0; n < last; n++) end += head[n].length + 1;
      while (cx.lineStart + line.text.length < end - 1 && cx.nextLine());
      cx.nextLine();
      cx.addElement(cx.elt('FrontMatter', 0, end - 1));
      return true;
    },
  }],
};
