// The quick sort order the preset list is first put in before the list box
// is asked to confirm it (see preset_list.cpp). Pure: no windows.h, no C
// runtime.
#ifndef GROOBLE_NAME_SORT_H
#define GROOBLE_NAME_SORT_H

// An ordering of texts: negative, zero or positive as a sorts before, with
// or after b.
typedef int (*TextOrder)(const char* a, const char* b);

// Sorts count texts by order, keeping texts that order as equal in their
// given order. scratch has room for count pointers.
void SortTexts(const char** texts, const char** scratch, unsigned count, TextOrder order);

// Byte by byte with the ASCII letters folded to lower case: quick, and for
// plain names the same order as the list box's own, which is checked
// before it is relied on.
int CompareFoldedBytes(const char* a, const char* b);

#endif
