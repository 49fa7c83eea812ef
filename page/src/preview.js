// The live preview of the rendered view: decorations over the Markdown text of
// the viewport. Headings are sized, emphasis, code and links styled, and their
// marks hidden except on the lines the caret is on; images, bullets, task boxes
// and rules are drawn. The text itself is never touched.
import { Decoration, ViewPlugin } from '@codemirror/view';
import { syntaxTree } from '@codemirror/language';
import { focusField, refreshEffect, selectionTouches } from './focus.js';
import { AlertTitleWidget, BulletWidget, CheckboxWidget, ImageWidget, NumberWidget } from './widgets.js';
import { kAlertMarker, kAlerts } from './extras.js';
import { destination, followableHref, referenceDestination, tagAttributes } from './links.js';
import { HtmlInlineWidget, MathWidget, kStyledTags, tagInfo } from './html-view.js';

const hidden = Decoration.replace({});
const kQuotePrefix = /^(?:[ \t]*>[ \t]?)*/;
const markClass = (cls) => Decoration.mark({ class: cls });
// Syntax, code and addresses are not prose: the spell checker leaves them alone.
const syntaxClass = (cls) => Decoration.mark({ class: cls, attributes: { spellcheck: 'false' } });
const kEm = markClass('cm-md-em');
const kStrong = markClass('cm-md-strong');
const kStrike = markClass('cm-md-strike');
const kCode = syntaxClass('cm-md-code');
const kHtml = syntaxClass('cm-md-html');
const kCodeInfo = syntaxClass('cm-md-codeinfo');
const kOlMark = markClass('cm-md-olmark');
const kTaskDone = markClass('cm-md-task-done');
const kLinkDef = syntaxClass('cm-md-linkdef');
const kCodeText = syntaxClass('cm-md-codetext');
const kFnRef = markClass('cm-md-fnref');
const kMathSrc = syntaxClass('cm-md-math-src');
const kFnDef = markClass('cm-md-fndef');
const kLink = Decoration.mark({ class: 'cm-md-link', attributes: { title: 'Ctrl+单击打开链接', spellcheck: 'false' } });

function buildDecorations(view, conceal) {
  const state = view.state;
  const doc = state.doc;
  const focused = state.field(focusField, false);
  const active = (from, to) => focused && selectionTouches(state, from, to);
  const ranges = [];
  const lineClasses = new Map();
  const baseKey = document.baseURI;
  currentDoc = doc;
  tagPairs = new Map();

  const add = (from, to, deco) => {
    if (from < to || deco.point) ranges.push(deco.range(from, to));
  };
  // Hidden stretches stop at line ends: a view plugin may not replace line
  // breaks (a link whose target is on the next line spans one).
  const hide = (from, to) => {
    if (!conceal || from >= to || active(from, to)) return;
    for (let pos = from; pos < to;) {
      const line = doc.lineAt(pos);
      const end = Math.min(to, line.to);
      if (pos < end) ranges.push(hidden.range(pos, end));
      pos = line.to + 1;
    }
  };
  const { from: vpFrom, to: vpTo } = view.viewport;
  const lineClass = (node, cls) => {
    const first = doc.lineAt(Math.max(node.from, vpFrom)).number;
    const last = doc.lineAt(Math.min(node.to, vpTo)).number;
    for (let n = first; n <= last; n++) {
      const pos = doc.line(n).from;
      lineClasses.set(pos, (lineClasses.get(pos) || '') + ' ' + cls);
    }
  };
  const charAt = (pos) => doc.sliceString(pos, pos + 1);
  // Hides the run of blanks that ends at `to` on `line` (never quote marks).
  const hideIndent = (line, to) => {
    const floor = line.from + kQuotePrefix.exec(line.text)[0].length;
    let from = to;
    while (from > floor && (charAt(from - 1) === ' ' || charAt(from - 1) === '\t')) from--;
    if (from < to) ranges.push(hidden.range(from, to));
  };

  syntaxTree(state).iterate({
    from: vpFrom,
    to: vpTo,
    enter(ref) {
      const node = ref.node;
      const name = node.name;
      switch (name) {
        case 'ATXHeading1': case 'ATXHeading2': case 'ATXHeading3':
        case 'ATXHeading4': case 'ATXHeading5': case 'ATXHeading6': {
          lineClass(node, `cm-md-h cm-md-h${name.slice(-1)}`);
          for (let c = node.firstChild; c; c = c.nextSibling) {
            if (c.name !== 'HeaderMark') continue;
            if (c.from === node.from) {
              // The opening marks and the spaces after them.
              let end = c.to;
              while (end < node.to && (charAt(end) === ' ' || charAt(end) === '\t')) end++;
              hide(c.from, end);
            } else {
              let start = c.from;
              while (start > node.from && (charAt(start - 1) === ' ' || charAt(start - 1) === '\t')) start--;
              hide(start, c.to);
            }
          }
          return undefined;
        }
        case 'SetextHeading1': case 'SetextHeading2': {
          const mark = node.lastChild;
          const text = { from: node.from, to: mark ? doc.lineAt(mark.from).from - 1 : node.to };
          lineClass(text, `cm-md-h cm-md-h${name.slice(-1)}`);
          if (mark && mark.name === 'HeaderMark') {
            lineClass(mark, 'cm-md-setext');
            hide(mark.from, mark.to);
          }
          return undefined;
        }
        case 'Emphasis': add(node.from, node.to, kEm); return undefined;
        case 'StrongEmphasis': add(node.from, node.to, kStrong); return undefined;
        case 'Strikethrough': add(node.from, node.to, kStrike); return undefined;
        case 'EmphasisMark': case 'StrikethroughMark': hide(node.from, node.to); return undefined;
        case 'InlineCode': {
          add(node.from, node.to, kCode);
          for (let c = node.firstChild; c; c = c.nextSibling) if (c.name === 'CodeMark') hide(c.from, c.to);
          return false;
        }
        case 'Link': {
          const url = node.getChild('URL');
          const label = node.getChild('LinkLabel');
          const marks = node.getChildren('LinkMark');
          if (!url && !label && marks.length >= 2 && charAt(marks[0].to) === '^') {
            // A footnote: the reference drawn as a raised label, the
            // definition's label styled (Ctrl+click jumps between them).
            const isDef = charAt(node.to) === ':' && /^ {0,3}$/.test(doc.sliceString(doc.lineAt(node.from).from, node.from));
            add(marks[0].to + 1, marks[1].from, isDef ? kFnDef : kFnRef);
            if (!isDef) {
              hide(marks[0].from, marks[0].to + 1);
              hide(marks[1].from, marks[1].to);
            }
            return false;
          }
          // "[text]" alone is only a link when a definition exists; it stays text.
          if ((!url && !label) || marks.length < 2) return undefined;
          add(marks[0].to, marks[1].from, kLink);
          hide(marks[0].from, marks[0].to);
          hide(marks[1].from, node.to);
          return undefined;
        }
        case 'Autolink': {
          const url = node.getChild('URL');
          if (url) add(url.from, url.to, kLink);
          for (const m of node.getChildren('LinkMark')) hide(m.from, m.to);
          return false;
        }
        case 'URL': {
          const p = node.parent && node.parent.name;
          if (p !== 'Link' && p !== 'Image' && p !== 'Autolink' && p !== 'LinkReference') add(node.from, node.to, kLink);
          return undefined;
        }
        case 'Image': {
          const url = node.getChild('URL');
          const marks = node.getChildren('LinkMark');
          if (marks.length < 2) return false;
          const alt = doc.sliceString(marks[0].to, marks[1].from);
          let src;
          if (url) {
            src = destination(doc.sliceString(url.from, url.to));
          } else {
            // ![alt][label], ![alt][] and ![alt]: the definition gives the address.
            const label = node.getChild('LinkLabel');
            const name = label && label.to - label.from > 2 ? doc.sliceString(label.from + 1, label.to - 1) : alt;
            src = referenceDestination(doc, name, node.from);
            if (src == null) return false;
          }
          const widget = new ImageWidget(src, alt, baseKey);
          const oneLine = doc.lineAt(node.from).number === doc.lineAt(node.to).number;
          if (conceal && oneLine && !active(node.from, node.to)) add(node.from, node.to, Decoration.replace({ widget }));
          else add(node.to, node.to, Decoration.widget({ widget, side: 1 }));
          return false;
        }
        case 'FencedCode': case 'CodeBlock': {
          const firstLine = doc.lineAt(node.from);
          const lastLine = doc.lineAt(node.to);
          lineClass(node, name === 'FencedCode' ? 'cm-md-fence' : 'cm-md-fence cm-md-indented');
          lineClass({ from: firstLine.from, to: firstLine.from }, 'cm-md-fence-first');
          lineClass({ from: lastLine.from, to: lastLine.from }, 'cm-md-fence-last');
          // The code is wrapped in a mark of its own: the editor samples short
          // plain-text lines for its size estimates, and code in a smaller face
          // must not be taken for body text (the estimates of a long document
          // would shift and the view jump).
          const codeFrom = name === 'FencedCode' ? Math.min(firstLine.to + 1, node.to) : node.from;
          const codeTo = name === 'FencedCode' && lastLine.number > firstLine.number && /^\s*(`{3,}|~{3,})/.test(lastLine.text)
            ? Math.max(codeFrom, lastLine.from - 1) : node.to;
          add(Math.max(codeFrom, vpFrom), Math.min(codeTo, vpTo), kCodeText);
          if (name === 'FencedCode') {
            const info = node.getChild('CodeInfo');
            if (info) add(info.from, info.to, kCodeInfo);
            const marks = node.getChildren('CodeMark');
            // Concealed fence lines shrink to a small label row (the language).
            if (marks.length && conceal && !active(firstLine.from, firstLine.to)) {
              hide(marks[0].from, marks[0].to);
              lineClass({ from: firstLine.from, to: firstLine.from }, 'cm-md-fence-meta');
            }
            const close = marks.length > 1 ? marks[marks.length - 1] : null;
            if (close && doc.lineAt(close.from).number !== firstLine.number && conceal && !active(lastLine.from, lastLine.to)) {
              hide(close.from, close.to);
              lineClass({ from: lastLine.from, to: lastLine.from }, 'cm-md-fence-meta');
            }
          }
          return false;
        }
        case 'Blockquote': {
          let depth = 0;
          for (let p = node; p; p = p.parent) if (p.name === 'Blockquote') depth++;
          const first = doc.lineAt(node.from);
          const prefix = kQuotePrefix.exec(first.text)[0].length;
          const alert = depth === 1 && kAlertMarker.exec(first.text.slice(prefix).trim());
          if (alert) {
            // A callout: coloured by kind, its marker shown as the title.
            const kind = alert[1].toLowerCase();
            lineClass(node, `cm-md-alert cm-md-alert-${kind}`);
            const at = first.from + prefix;
            if (conceal && !active(first.from, first.to)) {
              add(at, first.to, Decoration.replace({ widget: new AlertTitleWidget(kind, kAlerts[kind]) }));
            }
            return undefined;
          }
          lineClass(node, depth > 1 ? `cm-md-quote cm-md-quote-${Math.min(depth, 3)}` : 'cm-md-quote');
          return undefined;
        }
        case 'QuoteMark': hide(node.from, charAt(node.to) === ' ' || charAt(node.to) === '\t' ? node.to + 1 : node.to); return undefined;
        case 'ListItem': {
          const mark = node.getChild('ListMark');
          const list = node.parent;
          if (!mark || !list) return undefined;
          const ordered = list.name === 'OrderedList';
          const task = node.getChild('Task');
          const box = task && task.getChild('TaskMarker');
          const checked = !!box && /x/i.test(doc.sliceString(box.from, box.to));
          if (checked) add(box.to, task.to, kTaskDone);
          if (ordered) add(mark.from, mark.to, kOlMark);
          const line = doc.lineAt(mark.from);
          if (!conceal || line.to < vpFrom || line.from > vpTo || active(line.from, line.to)) return undefined;
          let depth = 0;
          for (let p = list.parent; p; p = p.parent) if (p.name === 'BulletList' || p.name === 'OrderedList') depth++;
          // The marker (with its task box and the spaces after it) becomes one
          // fixed-width widget and the indentation a padding, so that wrapped
          // lines hang under the text instead of under the bullet.
          let end = box ? box.to : mark.to;
          while (end < line.to && (charAt(end) === ' ' || charAt(end) === '\t')) end++;
          const widget = box
            ? new CheckboxWidget(checked)
            : ordered ? new NumberWidget(doc.sliceString(mark.from, mark.to)) : new BulletWidget(depth);
          hideIndent(line, mark.from);
          add(mark.from, end, Decoration.replace({ widget }));
          const level = Math.min(depth, 6);
          lineClasses.set(line.from, (lineClasses.get(line.from) || '') + ` cm-md-li cm-md-li-${level}`);
          const para = node.getChild('Paragraph') || task;
          if (para) {
            const last = doc.lineAt(Math.min(para.to, vpTo)).number;
            for (let n = line.number + 1; n <= last; n++) {
              const l = doc.line(n);
              if (active(l.from, l.to)) continue;
              let text = l.from;
              while (text < l.to && (charAt(text) === ' ' || charAt(text) === '\t')) text++;
              hideIndent(l, text);
              lineClasses.set(l.from, (lineClasses.get(l.from) || '') + ` cm-md-li-cont cm-md-li-${level}`);
            }
          }
          return undefined;
        }
        case 'InlineMath': {
          const oneLine = doc.lineAt(node.from).number === doc.lineAt(node.to).number;
          const marks = node.getChildren('MathMark');
          if (conceal && oneLine && marks.length === 2 && !active(node.from, node.to)) {
            const tex = doc.sliceString(marks[0].to, marks[1].from);
            add(node.from, node.to, Decoration.replace({ widget: new MathWidget(tex, marks[0].to - marks[0].from === 2) }));
          } else {
            add(node.from, node.to, kMathSrc);
          }
          return false;
        }
        case 'MathBlock':
          lineClass(node, 'cm-md-math-src-block');
          add(Math.max(node.from, vpFrom), Math.min(node.to, vpTo), kMathSrc);
          return false;
        case 'FrontMatter':
          lineClass(node, 'cm-md-frontmatter');
          lineClass({ from: node.from, to: node.from }, 'cm-md-frontmatter-first');
          lineClass({ from: node.to, to: node.to }, 'cm-md-frontmatter-last');
          add(Math.max(node.from, vpFrom), Math.min(node.to, vpTo), kCodeText);
          return false;
        case 'HorizontalRule': {
          if (conceal && !active(node.from, node.to)) {
            lineClass(node, 'cm-md-hr');
            hide(node.from, node.to);
          }
          return false;
        }
        case 'HTMLTag': {
          // Inline HTML: <br> and <img> draw themselves, styling tags style
          // the text up to their closing tag, comments disappear.
          const info = tagInfo(doc.sliceString(node.from, node.to));
          const oneLine = doc.lineAt(node.from).number === doc.lineAt(node.to).number;
          if (!conceal || !info || !oneLine || active(node.from, node.to)) {
            add(node.from, node.to, kHtml);
            return false;
          }
          if (info.name === 'a' && info.kind === 'open') {
            // A link written as HTML (the badges of a README) is a link; an
            // empty anchor (<a id="…"></a>) draws nothing.
            const close = closingTag(node);
            const attrs = tagAttributes(doc.sliceString(node.from, node.to));
            if (close && followableHref(attrs.href)) {
              hide(node.from, node.to);
              add(node.to, close.from, kLink);
              hide(close.from, close.to);
            } else if (close && close.from === node.to && (attrs.id || attrs.name)) {
              hide(node.from, close.to);
            } else {
              add(node.from, node.to, kHtml);
            }
          } else if (info.kind === 'close' && info.name === 'a' && openingTag(node)) {
            const open = openingTag(node);
            const attrs = tagAttributes(doc.sliceString(open.from, open.to));
            if (!followableHref(attrs.href) && !(open.to === node.from && (attrs.id || attrs.name))) add(node.from, node.to, kHtml);
          } else if (info.kind === 'void' && (info.name === 'br' || info.name === 'img')) {
            add(node.from, node.to, Decoration.replace({ widget: new HtmlInlineWidget(doc.sliceString(node.from, node.to), baseKey) }));
          } else if (info.kind === 'open' && kStyledTags.has(info.name)) {
            const close = closingTag(node);
            if (!close) {
              add(node.from, node.to, kHtml);
              return false;
            }
            hide(node.from, node.to);
            add(node.to, close.from, markClass(`cm-md-tag-${info.name}`));
            hide(close.from, close.to);
          } else if (info.kind === 'close' && kStyledTags.has(info.name) && openingTag(node)) {
            // hidden with its opening tag
          } else {
            add(node.from, node.to, kHtml);
          }
          return false;
        }
        case 'Comment':
          if (conceal && !active(node.from, node.to)) hide(node.from, node.to);
          else add(node.from, node.to, kHtml);
          return false;
        case 'HTMLBlock': case 'CommentBlock': case 'ProcessingInstruction':
          add(node.from, node.to, kHtml);
          return false;
        case 'Escape': hide(node.from, node.from + 1); return false;
        case 'LinkReference':
          if (!active(node.from, node.to)) add(node.from, node.to, kLinkDef);
          return false;
        case 'Table':
          lineClass(node, 'cm-md-table-src');
          add(Math.max(node.from, vpFrom), Math.min(node.to, vpTo), kCodeText);
          return false;
        default: return undefined;
      }
    },
  });

  for (const [pos, cls] of lineClasses) ranges.push(Decoration.line({ class: cls.trim() }).range(pos));
  return Decoration.set(ranges, true);
}

// The partner of every paired styled tag or link among the children of one
// node ("<b>" with its "</b>", nested ones innermost first), found in one pass
// over the children and kept for the rest of the build: a line of thousands
// of tags costs one pass, not one per tag.
let tagPairs = new Map();
function pairedTag(node) {
  const parent = node.parent;
  const key = parent ? `${parent.from}:${parent.to}:${parent.name}` : '';
  let pairs = tagPairs.get(key);
  if (!pairs) {
    pairs = new Map();
    const open = new Map();
    for (let n = parent ? parent.firstChild : node; n; n = n.nextSibling) {
      if (n.name !== 'HTMLTag') continue;
      const info = tagInfo(sliceOf(n));
      if (!info || !(kStyledTags.has(info.name) || info.name === 'a')) continue;
      if (info.kind === 'open') {
        if (!open.has(info.name)) open.set(info.name, []);
        open.get(info.name).push(n);
      } else if (info.kind === 'close') {
        const start = open.get(info.name)?.pop();
        if (!start) continue;
        pairs.set(start.from, n);
        pairs.set(n.from, start);
      }
    }
    tagPairs.set(key, pairs);
  }
  return pairs.get(node.from) ?? null;
}
const closingTag = (node) => pairedTag(node);
const openingTag = (node) => pairedTag(node);

let currentDoc = null;
const sliceOf = (n) => currentDoc.sliceString(n.from, Math.min(n.to, n.from + 64));

/** The rendered view's decorations; `conceal` false keeps every mark visible. */
export function livePreview(conceal) {
  return ViewPlugin.fromClass(class {
    constructor(view) {
      this.decorations = buildDecorations(view, conceal);
      this.stale = false;
    }

    update(update) {
      const view = update.view;
      // While an input method composes, the line under it must not be redrawn:
      // the decorations only follow the edits until the composition ends.
      if (view.composing || view.compositionStarted) {
        this.decorations = this.decorations.map(update.changes);
        this.stale = true;
        return;
      }
      const refresh = update.transactions.some((tr) => tr.effects.some((e) => e.is(refreshEffect)));
      if (this.stale || refresh || update.docChanged || update.viewportChanged || update.selectionSet ||
          update.focusChanged || syntaxTree(update.startState) !== syntaxTree(update.state) ||
          update.startState.field(focusField, false) !== update.state.field(focusField, false)) {
        this.decorations = buildDecorations(view, conceal);
        this.stale = false;
      }
    }
  }, {
    decorations: (plugin) => plugin.decorations,
  });
}
