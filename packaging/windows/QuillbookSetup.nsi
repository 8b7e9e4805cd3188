; The plug-in's installer: puts the plug-in folder's files into the host's
; plug-in folder and writes an uninstaller that takes only those files away.
;   makensis -DVERSION=3.0.0 -DSOURCE=<staged folder> -DOUTFILE=<setup.exe>
;            [-DTARGET=x86-unicode|amd64-unicode]
; SOURCE holds Quillbook.dll, Quillbook.lng, hha.dll, README.md and LICENSE.txt.
; The settings file (Quillbook.xml) is the user's: never written, never removed.

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef SOURCE
  !error "SOURCE is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "QuillbookSetup-${VERSION}.exe"
!endif
!ifndef TARGET
  !define TARGET x86-unicode
!endif

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
; Same sources, same installer.
SetDateSave off

!define PRODUCT "Quillbook"
!define UNINSTALLER "Uninstall-Quillbook.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillbook"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Kelvane\plugins"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "${PRODUCT} ${VERSION}"
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Quillbook developers"

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${SOURCE}\LICENSE.txt"
!define MUI_PAGE_HEADER_SUBTEXT "Choose the plug-in folder of Kelvane."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the plug-in folder of Kelvane. Quillbook adds the menu command $\"Export to CHM...$\" the next time Kelvane starts."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Kelvane's plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var ownsReadme
Var ownsLicense

; A README.md or LICENSE.txt already in the folder that no earlier install of
; ours in this same folder wrote belongs to someone else (plug-ins share the
; folder): it is kept, and ours is not written.
!macro TakeShared FILE FLAG VAR
  StrCpy ${VAR} 1
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ReadRegStr $1 HKLM "${UNINST_KEY}" "${FLAG}"
    ${If} $0 != $INSTDIR
    ${OrIf} $1 != 1
      StrCpy ${VAR} 0
      DetailPrint "Kept $INSTDIR\${FILE}: not written by Quillbook"
    ${EndIf}
  ${EndIf}
  ${If} ${VAR} == 1
    File "${SOURCE}\${FILE}"
  ${EndIf}
!macroend

Section "Quillbook" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${SOURCE}\Quillbook.dll"
  File "${SOURCE}\Quillbook.lng"
  File "${SOURCE}\hha.dll"
  !insertmacro TakeShared "README.md" "OwnsReadme" $ownsReadme
  !insertmacro TakeShared "LICENSE.txt" "OwnsLicense" $ownsLicense

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (Kelvane plug-in)"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "The Quillbook developers"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINST_KEY}" "OwnsReadme" "$ownsReadme"
  WriteRegStr HKLM "${UNINST_KEY}" "OwnsLicense" "$ownsLicense"
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\Quillbook.dll"
  Delete "$INSTDIR\Quillbook.lng"
  Delete "$INSTDIR\hha.dll"
  ; The shared names go only when the record says this folder's copies are ours.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    ReadRegStr $1 HKLM "${UNINST_KEY}" "OwnsReadme"
    ${If} $1 == 1
      Delete "$INSTDIR\README.md"
    ${EndIf}
    ReadRegStr $1 HKLM "${UNINST_KEY}" "OwnsLicense"
    ${If} $1 == 1
      Delete "$INSTDIR\LICENSE.txt"
    ${EndIf}
    DeleteRegKey HKLM "${UNINST_KEY}"
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when nothing else is left: the settings file and other plug-ins stay.
  RMDir "$INSTDIR"
SectionEnd
