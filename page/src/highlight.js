// Token classes instead of inline colours: both themes colour the same classes
// from their own variables, so switching themes never rebuilds the editor.
import { tagHighlighter, tags as t } from '@lezer/highlight';

export const highlighter = tagHighlighter([
  { tag: t.heading, class: 'tok-heading' },
  { tag: t.emphasis, class: 'tok-em' },
  { tag: t.strong, class: 'tok-strong' },
  { tag: t.strikethrough, class: 'tok-strike' },
  { tag: t.link, class: 'tok-link' },
  { tag: t.url, class: 'tok-url' },
  { tag: t.monospace, class: 'tok-mono' },
  { tag: t.quote, class: 'tok-quote' },
  { tag: [t.processingInstruction, t.contentSeparator], class: 'tok-mark' },
  { tag: t.keyword, class: 'tok-keyword' },
  { tag: [t.atom, t.bool, t.null], class: 'tok-atom' },
  { tag: [t.number, t.integer, t.float], class: 'tok-number' },
  { tag: [t.string, t.character, t.docString], class: 'tok-string' },
  { tag: [t.regexp, t.escape, t.special(t.string)], class: 'tok-string2' },
  { tag: t.definition(t.variableName), class: 'tok-def' },
  { tag: [t.function(t.variableName), t.function(t.propertyName)], class: 'tok-fn' },
  { tag: t.variableName, class: 'tok-var' },
  { tag: [t.typeName, t.className, t.namespace], class: 'tok-type' },
  { tag: t.propertyName, class: 'tok-prop' },
  { tag: [t.tagName, t.angleBracket], class: 'tok-tag' },
  { tag: t.attributeName, class: 'tok-attr' },
  { tag: [t.operator, t.punctuation], class: 'tok-op' },
  { tag: [t.comment, t.meta], class: 'tok-comment' },
  { tag: t.labelName, class: 'tok-label' },
  { tag: t.inserted, class: 'tok-inserted' },
  { tag: t.deleted, class: 'tok-deleted' },
  { tag: t.invalid, class: 'tok-invalid' },
]);
