// dlgseams.h - the platform boxes the option dialogs open on top of themselves.
//
// Questions, the colour chooser and the file chooser are reached through these
// replaceable functions, so tests can answer them without driving the system's
// own dialogs. Each setter returns the previous function; null restores the
// platform's.
#ifndef DLGSEAMS_H
#define DLGSEAMS_H

#include <windows.h>
#include <commdlg.h>

typedef int(WINAPI* QUESTIONBOXPROC)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
typedef BOOL(WINAPI* CHOOSECOLORPROC)(LPCHOOSECOLORA cc);
typedef BOOL(WINAPI* OPENFILENAMEPROC)(LPOPENFILENAMEA ofn);
typedef DWORD(WINAPI* COMMDLGERRORPROC)(void);

QUESTIONBOXPROC SetQuestionBox(QUESTIONBOXPROC proc);    // default MessageBoxA
CHOOSECOLORPROC SetColorChooser(CHOOSECOLORPROC proc);   // default ChooseColorA
OPENFILENAMEPROC SetFileChooser(OPENFILENAMEPROC proc);  // default GetOpenFileNameA
COMMDLGERRORPROC SetCommDlgError(COMMDLGERRORPROC proc); // default CommDlgExtendedError

// Asks text in a modal box captioned "Question" with the question icon and the
// buttons of type (MB_YESNO, MB_YESNOCANCEL); returns the button's id.
int QuestionBox(HWND owner, const char* text, UINT type);

BOOL RunColorChooser(LPCHOOSECOLORA cc);
BOOL RunFileChooser(LPOPENFILENAMEA ofn);
DWORD FileChooserError(void);

#endif // DLGSEAMS_H
