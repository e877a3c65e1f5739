; The Windows installer, farvane-VERSION-setup.exe, made by scripts/windows.sh with NSIS:
;   makensis -DVERSION=1.33.7 -DSTAGE=folder -DSIZE_KB=n -DOUTFILE=setup.exe farvane.nsi
; For the user alone, no administrator rights: the game goes to %LOCALAPPDATA%\Programs\Farvane,
; a Start menu entry starts it, and "Apps & features" lists the uninstaller, which removes all of
; it again. Both run silently with /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
; The same bytes from the same files: no file dates taken into the installer.
SetDateSave off
RequestExecutionLevel user
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Farvane"

Name "Farvane ${VERSION}"
OutFile "${OUTFILE}"
Icon "${STAGE}\farvane.ico"
UninstallIcon "${STAGE}\farvane.ico"
InstallDir "$LOCALAPPDATA\Programs\Farvane"
LicenseData "${STAGE}\LICENSE.txt"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Farvane"
VIAddVersionKey /LANG=1033 "FileDescription" "Farvane ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "The Farvane developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 The Farvane developers. MIT licence."
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Farvane"
  ; The per-user programs folder, when this is the first program to use it, goes with the game.
  StrCpy $0 0
  IfFileExists "$LOCALAPPDATA\Programs\*.*" +2
    StrCpy $0 1
  SetOutPath "$INSTDIR"
  File "${STAGE}\farvane.exe"
  File "${STAGE}\farvane.com"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\COPYRIGHT.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Farvane.lnk" "$INSTDIR\farvane.exe" "" "$INSTDIR\farvane.exe" 0 \
                 SW_SHOWNORMAL "" "A small arcade game"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Farvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\farvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Farvane developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ReadRegDWORD $1 HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder"
  IntOp $0 $0 | $1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder" $0
SectionEnd

; Exactly what the installer wrote; the folder goes only when nothing else is left in it.
Section "Uninstall"
  Delete "$SMPROGRAMS\Farvane.lnk"
  Delete "$INSTDIR\farvane.exe"
  Delete "$INSTDIR\farvane.com"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\COPYRIGHT.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder"
  StrCmp $0 1 0 +2
    RMDir "$LOCALAPPDATA\Programs"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
