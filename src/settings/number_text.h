// Reading a number from a control's text. Pure: no windows.h, no C runtime.
#ifndef GROOBLE_NUMBER_TEXT_H
#define GROOBLE_NUMBER_TEXT_H

// Reads an unsigned decimal number from a control's text as Windows'
// dialog-item reading does: leading blanks are skipped, then at least one
// decimal digit and nothing else must follow; a value above 4294967295 is
// a failure. A failure yields false and *value = 0.
bool ReadUnsignedText(const char* text, unsigned* value);

#endif
