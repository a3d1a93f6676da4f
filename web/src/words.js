// The words of the language that the editor colours and completes: the instruction set's
// mnemonics and the registers, and how a name is read. tests/agreement/words.py holds them equal
// to the engine's table and rules.
export const MNEMONICS = new Set(['END', 'COPY', 'ADD', 'SUB', 'MUL', 'DIV', 'CMP', 'JMP', 'JNB', 'JB', 'CALL',
  'RTN', 'PUSH', 'POP', 'IN', 'OUT']);
export const REGISTERS = new Set(['AX', 'BX', 'CX', 'DX']);

// A name: a letter, then letters and digits (ASCII only: any other byte ends it).
export const NAME = /[A-Za-z][A-Za-z0-9]*/;
// Whether a whole text is one name.
export const isName = (text) => new RegExp(`^${NAME.source}$`).test(text);
// The label a name stands for: its first 7 characters, in any case (isName's texts only).
export const foldName = (word) => word.slice(0, 7).toUpperCase();
