// dlgseams.cpp - the replaceable platform boxes of the option dialogs.
#include "dlgseams.h"

namespace
{

const char szQuestion[] = "Question";

QUESTIONBOXPROC questionBox = MessageBoxA;
CHOOSECOLORPROC colorChooser = ChooseColorA;
OPENFILENAMEPROC fileChooser = GetOpenFileNameA;
COMMDLGERRORPROC commDlgError = CommDlgExtendedError;

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
    return Swap(colorChooser, proc, static_cast<CHOOSECOLORPROC>(ChooseColorA));
}

OPENFILENAMEPROC SetFileChooser(OPENFILENAMEPROC proc)
{
    return Swap(fileChooser, proc, static_cast<OPENFILENAMEPROC>(GetOpenFileNameA));
}

COMMDLGERRORPROC SetCommDlgError(COMMDLGERRORPROC proc)
{
    return Swap(commDlgError, proc, static_cast<COMMDLGERRORPROC>(CommDlgExtendedError));
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
