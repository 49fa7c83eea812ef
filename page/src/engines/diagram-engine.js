// The diagram engine, built into web/diagrams.js of its own: the page loads it
// only for a document that holds a ```mermaid block. It renders one source to
// SVG text, strictly: no HTML labels, no links, no click handlers, and a
// document's directives cannot loosen any of that or change the theme.
import mermaid from 'mermaid';

const kLocked = ['secure', 'securityLevel', 'startOnLoad', 'maxTextSize', 'maxEdges', 'suppressErrorRendering',
  'htmlLabels', 'flowchart', 'theme', 'themeCSS', 'themeVariables', 'fontFamily', 'darkMode', 'dompurifyConfig'];

let configured = null;

function configure(theme) {
  if (configured === theme) return;
  configured = theme;
  mermaid.initialize({
    startOnLoad: false,
    securityLevel: 'strict',
    htmlLabels: false,
    flowchart: { htmlLabels: false },
    theme: theme === 'dark' ? 'dark' : 'default',
    darkMode: theme === 'dark',
    fontFamily: '"Segoe UI", "Microsoft YaHei", sans-serif',
    maxTextSize: 50000,
    suppressErrorRendering: true,
    secure: kLocked,
  });
}

// Renders serially: the engine keeps global state between calls.
let queue = Promise.resolve();

window.veskDiagramEngine = Object.freeze({
  render(id, source, theme) {
    const run = queue.then(async () => {
      configure(theme);
      const { svg } = await mermaid.render(id, source);
      return svg;
    });
    queue = run.catch(() => null);
    return run;
  },
});
