// The pinyin readings, built into web/pinyin.js of its own: quick open loads
// it the first time it is used, so every other page stays small. It gives
// the toneless, most common reading of one Chinese character.
import { pinyin } from 'pinyin-pro';

window.__veskPinyin = (ch) => pinyin(ch, { toneType: 'none', type: 'array' })[0] || '';
