// STAKKA.h - program-wide handles and the error box every unit reports through.
#ifndef STAKKA_H
#define STAKKA_H

#include <windows.h>

// Set by the shell: the program's instance, the graphics library's module and
// the main window. All three are null until the shell has made them.
extern HINSTANCE hinst;
extern HINSTANCE hinstDll;
extern HWND hwndMain;

// Size of MbError's text buffer, terminator included.
const int MBERROR_BUFSIZE = 256;

// Formats like vsprintf into a buffer of MBERROR_BUFSIZE characters and shows the
// text in a modal box captioned "Error" (OK button, exclamation icon) owned by
// hwndMain, or by no window while there is no main window. A text that does not
// fit is cut after MBERROR_BUFSIZE - 1 characters; nothing is written past the
// buffer. Returns the number of characters shown (0..MBERROR_BUFSIZE - 1), or -1
// when fmt is null or cannot be formatted (then nothing is shown).
int MbError(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;

// The function that shows the box; it has the shape of MessageBoxA. Tests put
// their own in place so that messages are recorded instead of blocking the
// run in a modal loop. Passing null restores MessageBoxA. Returns the previous one.
typedef int(WINAPI* MBERRORBOXPROC)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
MBERRORBOXPROC SetMbErrorBox(MBERRORBOXPROC proc);

#endif
