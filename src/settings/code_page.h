// The one code-page rule the pure text rules need: which bytes start a
// two-byte character. No windows.h: this compiles into the DLL as it is,
// and natively for the unit tests.
#ifndef GROOBLE_CODE_PAGE_H
#define GROOBLE_CODE_PAGE_H

// Whether a byte starts a two-byte character in the ANSI code page the
// texts are in. The DLL asks Windows (the host's code page); tests give
// code page 932's rule.
typedef bool (*LeadBytePredicate)(unsigned char byte);

// Code page 932's lead bytes: 0x81-0x9F and 0xE0-0xFC.
bool IsLeadByte932(unsigned char byte);

#endif
