// The packed-strengths encoding: timing * 10000 + length * 100 + velocity,
// as the settings file stores it and GrooblerDialog returns it. Pure: no
// windows.h, no C runtime.
#ifndef GROOBLE_PACKED_STRENGTHS_H
#define GROOBLE_PACKED_STRENGTHS_H

// timing * 10000 + length * 100 + velocity, each part through its low
// 8 bits only, as the edit boxes are read. Parts above 99 are possible here
// (the result then exceeds 999999); the edit-box check keeps them 0..99.
int PackParts(unsigned timing, unsigned length, unsigned velocity);

// Splits a stored value, read as an unsigned number, into its three decimal
// fields. Each field is handed on as a signed 16-bit number, which is how it
// is formatted into its edit box: a timing field above 32767 shows through
// its low 16 bits and may come out negative.
void UnpackStrengths(unsigned packed, short parts[3]);

#endif
