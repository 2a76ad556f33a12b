// mberror.cpp - the one error box of the program.
#include "STAKKA.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace
{

const char szErrorCaption[] = "Error";

// Null means MessageBoxA. Kept null until set, so that the value is fixed before any
// constructor runs and a box shown from one still finds a function.
MBERRORBOXPROC boxProc = NULL;

} // namespace

MBERRORBOXPROC SetMbErrorBox(MBERRORBOXPROC proc)
{
    MBERRORBOXPROC previous = boxProc ? boxProc : MessageBoxA;
    boxProc = proc;
    return previous;
}

int MbError(const char* fmt, ...)
{
    if (!fmt)
        return -1;
    char text[MBERROR_BUFSIZE];
    text[0] = '\0';
    va_list args;
    va_start(args, fmt);
    // Bounded: a long path or name is cut, never written past the buffer. Some C
    // runtimes leave a cut text unterminated and return -1, so terminate here and
    // count what is really in the buffer.
    int n = vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    text[sizeof text - 1] = '\0';
    int len = static_cast<int>(strlen(text));
    if (n < 0 && len == 0)
        return -1;
    MBERRORBOXPROC box = boxProc ? boxProc : MessageBoxA;
    box(hwndMain, text, szErrorCaption, MB_OK | MB_ICONEXCLAMATION);
    return len;
}
