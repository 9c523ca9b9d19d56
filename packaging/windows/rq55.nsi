; The setup program of RQ55 for Windows (make windows). Installs the laid-out folder into Program
; Files with a Start-menu entry and an uninstaller, which removes exactly the files it installed:
; a file a user saved in the program's folder stays, and so does the folder then.
; /S installs silently; `uninstall.exe /S` removes silently.
; Defined by the caller: VERSION, LAYOUT (the laid-out folder), FILES and UNFILES (the lists of
; what to install and remove, made from LAYOUT), OUTFILE.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"

Name "RQ55 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\RQ55"
InstallDirRegKey HKLM "Software\RQ55" "InstallDir"
RequestExecutionLevel admin
BrandingText "RQ55 ${VERSION}"

!define MUI_ICON "${LAYOUT}\trffc_a.ico"
!define MUI_UNICON "${LAYOUT}\trffc_a.ico"
!insertmacro MUI_PAGE_LICENSE "${LAYOUT}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Spanish"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\RQ55"

Section "RQ55"
  SetRegView 64
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\RQ55.lnk" "$INSTDIR\rq55.exe" "" "$INSTDIR\rq55.exe" 0
  WriteRegStr HKLM "Software\RQ55" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "RQ55"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rq55.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\RQ55.lnk"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\RQ55"
SectionEnd
