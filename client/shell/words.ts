// Recognising a notification by its wording: whole words, so that a short
// Arabic word such as "حد" (limit) does not fire inside تحديث, واحد or وحدة.

const MARKS = /[\u0640\u064B-\u065F\u0670]/g;
const WORD = /[\p{L}\p{N}]+/gu;
const LETTER = /\p{L}/u;
// What Arabic writes onto the front of a word: and, so, with, as, for, the.
const PROCLITICS = ['وال', 'فال', 'بال', 'كال', 'ولل', 'فلل', 'ال', 'لل', 'و', 'ف', 'ب', 'ل', 'ك'];

function forms(word: string): string[] {
  const stems = PROCLITICS.filter((p) => word.startsWith(p) && word.length - p.length >= 2);
  return [word, ...stems.map((p) => word.slice(p.length))];
}

/**
 * A test for any of a list of words in `text`, case and Arabic marks aside.
 * A word matches a whole word of the text, also behind Arabic proclitics
 * (الحد, بالفاتورة); a word of three letters or more also matches the start of
 * one, for endings (invoices, دفعة). Signs such as "%" match anywhere.
 */
export function wordsIn(text: string): (words: readonly string[]) => boolean {
  const plain = text.toLowerCase().replace(MARKS, '');
  const found = (plain.match(WORD) ?? []).flatMap(forms);
  return (words) =>
    words.some((word) =>
      LETTER.test(word)
        ? found.some((w) => w === word || (word.length >= 3 && w.startsWith(word)))
        : plain.includes(word),
    );
}
