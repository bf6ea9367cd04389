; The Windows installer of Undelia (makensis, called by scripts/build-windows):
;   makensis -DVERSION=0.1.0 -DBIN=<build-win/bin> -DOUTFILE=<Undelia-0.1.0-setup.exe> undelia-setup.nsi
; It installs the program, its libraries, the ini files, the skin, the manual and the user-defined
; file headers into one folder, marks that folder as installed (logs then go to the user's folder),
; adds a Start-menu entry and an uninstaller, and tells the statistics library once that the
; product was installed (it sends nothing while its address is empty, the shipped default).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !error "VERSION not given"
!endif
!ifndef BIN
  !error "BIN not given"
!endif
!ifndef OUTFILE
  !define OUTFILE "Undelia-${VERSION}-setup.exe"
!endif
!searchparse /noerrors "${VERSION}" "" VMAJOR "." VMINOR "." VPATCH

!include "MUI2.nsh"
!include "x64.nsh"

Name "Undelia ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Undelia"
InstallDirRegKey HKLM "Software\Undelia" "InstallDir"
BrandingText "Undelia ${VERSION}"

VIProductVersion "${VMAJOR}.${VMINOR}.${VPATCH}.0"
VIAddVersionKey "ProductName" "Undelia"
VIAddVersionKey "FileDescription" "Undelia setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Undelia.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Undelia"

Section "Undelia" SecMain
  SectionIn RO
  SetRegView 64
  ; The Start-menu entry for every user of the machine, as the program folder is.
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BIN}\Undelia.exe"
  File "${BIN}\KivScanDev.dll"
  File "${BIN}\KivFilter.dll"
  File /nonfatal "${BIN}\KivEnumDevEx.dll"
  File /nonfatal "${BIN}\KivSrvConnector.dll"
  File "${BIN}\*.ini"
  File "${BIN}\help.html"
  ; Installed: the folder belongs to the system, logs and preferences go to the user's folder.
  FileOpen $0 "$INSTDIR\KivInstalled.ini" w
  FileWrite $0 "; Undelia was installed here by its setup.$\r$\n"
  FileClose $0
  SetOutPath "$INSTDIR\res"
  File "${BIN}\res\*.*"
  SetOutPath "$INSTDIR\CustomFileScript"
  File /nonfatal "${BIN}\CustomFileScript\*.fhs"
  SetOutPath "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\Undelia"
  CreateShortcut "$SMPROGRAMS\Undelia\Undelia.lnk" "$INSTDIR\Undelia.exe"
  CreateShortcut "$SMPROGRAMS\Undelia\Uninstall Undelia.lnk" "$INSTDIR\Uninstall.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "Software\Undelia" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Undelia"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Undelia.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; Once per installation: the statistics library's setup event (product 1, edition 0, version).
  IfFileExists "$INSTDIR\KivSrvConnector.dll" 0 +3
    System::Call '"$INSTDIR\KivSrvConnector.dll"::SendSetupInfoToSrv(i 1, i 0, i ${VMAJOR}, i ${VMINOR}) i .r0 ? u'
    DetailPrint "SendSetupInfoToSrv: $0"
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\Undelia\Undelia.lnk"
  Delete "$SMPROGRAMS\Undelia\Uninstall Undelia.lnk"
  RMDir "$SMPROGRAMS\Undelia"
  Delete "$INSTDIR\Undelia.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\*.ini"
  Delete "$INSTDIR\help.html"
  Delete "$INSTDIR\KivInstalled.ini"
  RMDir /r "$INSTDIR\res"
  RMDir /r "$INSTDIR\CustomFileScript"
  RMDir /r "$INSTDIR\Tmp"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "Software\Undelia"
SectionEnd
