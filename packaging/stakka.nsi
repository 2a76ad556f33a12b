; Stakka installer. Built by the release target (packaging/make-packages.sh):
;   makensis -DVERSION=1.1 -DVERSION_QUAD=1.1.0.0 -DARCH=x86|x64 -DSTAGEDIR=<folder>
;            -DOUTFILE=<setup.exe> [-DICON=<file.ico>] stakka.nsi
; STAGEDIR holds exactly the files that are installed (the same set as the portable zip).
;
; Uninstaller switches:  /S              silent
;                        /REMOVEOPTIONS  also remove the player's options (HKCU); without it
;                                        a silent uninstall keeps them, an interactive one asks.

!macro REQUIRE name
  !ifndef ${name}
    !error "${name} must be defined on the command line (-D${name}=...)"
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE VERSION_QUAD
!insertmacro REQUIRE ARCH
!insertmacro REQUIRE STAGEDIR
!insertmacro REQUIRE OUTFILE

!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else if "${ARCH}" == "x86"
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
!else
  !error "ARCH must be x86 or x64"
!endif

!define PRODUCT "Stakka"
!define COMPANY "Kellmarvostian"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Stakka"
; Where the program keeps the player's options (per user).
!define OPTIONS_KEY "Software\${COMPANY}\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware false
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${COMPANY}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

; No welcome or finish page: they would carry a stock side picture, and the installer has
; nothing to say on them that the licence and folder pages don't.
!insertmacro MUI_PAGE_LICENSE "${STAGEDIR}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The files of one installation. The uninstaller deletes this same list, file by file, so
; that it never removes anything the player put into the folder.
!macro STAKKA_FILES what
  !insertmacro ${what} "stakka.exe"
  !insertmacro ${what} "stkgfx.dll"
  !insertmacro ${what} "midas11.dll"
  !insertmacro ${what} "beyond.mod"
  !insertmacro ${what} "HOWTOPLAY.txt"
  !insertmacro ${what} "LICENSE.txt"
!macroend
!macro InstallOne name
  File "${STAGEDIR}/${name}"
!macroend
!macro RemoveOne name
  Delete "$INSTDIR\${name}"
!macroend

Function .onInit
  ; Shortcut and Add/Remove Programs entry for every user of the machine.
  SetShellVarContext all
FunctionEnd

Section "Stakka" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro STAKKA_FILES InstallOne
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is the shared Documents folder, not the program's folder:
  ; the program finds its libraries and its music beside itself, and a folder under
  ; Program Files is no place for a user's current directory.
  SetOutPath "$DOCUMENTS"
  CreateShortCut "${SHORTCUT}" "$INSTDIR\stakka.exe" "" "$INSTDIR\stakka.exe" 0 \
      SW_SHOWNORMAL "" "Play ${PRODUCT}, a falling-blocks game"
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\stakka.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "${SHORTCUT}"
  !insertmacro STAKKA_FILES RemoveOne
  Delete "$INSTDIR\uninstall.exe"
  ; Only if empty: whatever the player added stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; The options belong to the player: keep them unless asked otherwise. A silent
  ; uninstall keeps them too, unless /REMOVEOPTIONS is given.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEOPTIONS" $R1
  ${IfNot} ${Errors}
    Goto remove_options
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Also remove your ${PRODUCT} options (window position, graphics, block schemes and keys)?" \
      /SD IDNO IDYES remove_options
  Goto done
remove_options:
  DeleteRegKey HKCU "${OPTIONS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${COMPANY}"
done:
SectionEnd
