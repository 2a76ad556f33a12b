// dlgseams.cpp - the replaceable platform boxes of the option dialogs.
#include "dlgseams.h"

#include <cderr.h>

namespace
{

const char szQuestion[] = "Question";

// The common dialogs' library brings the shell, the common controls and the printing system
// along (3 to 6 MB under Wine): it is loaded when a chooser first opens, not at start-up.
const char COMMDLG_LIBRARY[] = "comdlg32.dll";

FARPROC CommDlgProc(const char* name)
{
    static HMODULE library = LoadLibraryA(COMMDLG_LIBRARY);
    return library ? GetProcAddress(library, name) : NULL;
}

// Through void (*)(void), the one function type a cast from FARPROC does not warn about.
template <typename T> T CommDlgFunction(const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(CommDlgProc(name)));
}

BOOL WINAPI PlatformChooseColor(LPCHOOSECOLORA cc)
{
    CHOOSECOLORPROC proc = CommDlgFunction<CHOOSECOLORPROC>("ChooseColorA");
    return proc ? proc(cc) : FALSE;
}

BOOL WINAPI PlatformGetOpenFileName(LPOPENFILENAMEA ofn)
{
    OPENFILENAMEPROC proc = CommDlgFunction<OPENFILENAMEPROC>("GetOpenFileNameA");
    return proc ? proc(ofn) : FALSE;
}

DWORD WINAPI PlatformCommDlgError(void)
{
    COMMDLGERRORPROC proc = CommDlgFunction<COMMDLGERRORPROC>("CommDlgExtendedError");
    return proc ? proc() : (DWORD)CDERR_INITIALIZATION;
}

QUESTIONBOXPROC questionBox = MessageBoxA;
CHOOSECOLORPROC colorChooser = PlatformChooseColor;
OPENFILENAMEPROC fileChooser = PlatformGetOpenFileName;
COMMDLGERRORPROC commDlgError = PlatformCommDlgError;

template <typename T> T Swap(T& slot, T proc, T platform)
{
    T old = slot;
    slot = proc ? proc : platform;
    return old;
}

} // namespace

QUESTIONBOXPROC SetQuestionBox(QUESTIONBOXPROC proc)
{
    return Swap(questionBox, proc, static_cast<QUESTIONBOXPROC>(MessageBoxA));
}

CHOOSECOLORPROC SetColorChooser(CHOOSECOLORPROC proc)
{
    return Swap(colorChooser, proc, PlatformChooseColor);
}

OPENFILENAMEPROC SetFileChooser(OPENFILENAMEPROC proc)
{
    return Swap(fileChooser, proc, PlatformGetOpenFileName);
}

COMMDLGERRORPROC SetCommDlgError(COMMDLGERRORPROC proc)
{
    return Swap(commDlgError, proc, PlatformCommDlgError);
}

int QuestionBox(HWND owner, const char* text, UINT type)
{
    return questionBox(owner, text, szQuestion, type | MB_ICONQUESTION);
}

BOOL RunColorChooser(LPCHOOSECOLORA cc)
{
    return colorChooser(cc);
}
BOOL RunFileChooser(LPOPENFILENAMEA ofn)
{
    return fileChooser(ofn);
}
DWORD FileChooserError(void)
{
    return commDlgError();
}
