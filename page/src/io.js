// Files that reach the page: pasted or dropped images go to the native side,
// which stores them beside the document and answers with insertImage; a dropped
// text document goes there to be opened.
import { post } from './post.js';

const kTextDocument = /\.(?:md|markdown|mdown|mkd|mkdn|mdwn|mdtxt|mdtext|txt|text)$/i;

export function isTextDocument(file) {
  return kTextDocument.test(file.name) || /^text\/(?:plain|markdown|x-markdown)$/.test(file.type);
}

export function isImage(file) {
  return /^image\//.test(file.type);
}

export function readBase64(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => {
      const url = String(reader.result);
      resolve(url.slice(url.indexOf(',') + 1));
    };
    reader.onerror = () => reject(reader.error);
    reader.readAsDataURL(file);
  });
}

export async function sendImage(file, source) {
  const data = await readBase64(file);
  const message = { type: 'image', data, mime: file.type || 'image/png', name: file.name || 'image' };
  if (source === 'drop') message.source = 'drop';
  else message.source = 'paste';
  post(message);
}

/** Handles dropped files; returns false when there were none (a text drag). */
export function handleDroppedFiles(files) {
  if (!files || !files.length) return false;
  let opened = false;
  for (const file of files) {
    if (isImage(file)) {
      sendImage(file, 'drop').catch(() => post({ type: 'status', message: `无法读取图片：${file.name}` }));
    } else if (isTextDocument(file) && !opened) {
      // Only one document can be open; the first one dropped wins.
      opened = true;
      file.text().then(
        (text) => post({ type: 'drop', name: file.name, text }),
        () => post({ type: 'status', message: `无法读取文件：${file.name}` }),
      );
    } else if (!isTextDocument(file)) {
      post({ type: 'status', message: `不支持的文件类型：${file.name}` });
    }
  }
  return true;
}

/** Pasted image files, when the clipboard holds images and no text. */
export function pastedImages(clipboard) {
  if (!clipboard) return [];
  const text = clipboard.getData('text/plain');
  if (text) return [];
  return [...(clipboard.files || [])].filter(isImage);
}
