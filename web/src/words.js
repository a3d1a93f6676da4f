// The words of the language that the editor colours and completes: the instruction set's
// mnemonics and the registers. tests/agreement/words.py holds them equal to the engine's table.
export const MNEMONICS = new Set(['END', 'COPY', 'ADD', 'SUB', 'MUL', 'DIV', 'CMP', 'JMP', 'JNB', 'JB', 'CALL',
  'RTN', 'PUSH', 'POP', 'IN', 'OUT']);
export const REGISTERS = new Set(['AX', 'BX', 'CX', 'DX']);
