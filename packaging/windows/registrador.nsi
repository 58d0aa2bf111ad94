; Setup program of Registrador for 64-bit Windows, made by scripts/windows.sh:
;   makensis -DVERSION=1.3 -DSTAGE=<install folder> -DFILES=<lists folder> -DOUTFILE=<setup.exe> registrador.nsi
; It installs for the current user, without administrator rights, so that config.xml beside the
; program stays writable; the uninstaller removes the program's files only, never config.xml or
; the user's own files.
Target amd64-unicode
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"

!define APP "Registrador"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "Software\${APP}" "InstallDir"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1046 "ProductName" "${APP}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalação do ${APP}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "Calorimetria"

!define MUI_ICON "${STAGE}\registrador.ico"
!define MUI_UNICON "${STAGE}\registrador.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\registrador.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "PortugueseBR"

Section "Registrador"
  ; The program's files, replaced on an upgrade.
  SetOverwrite on
  !include "${FILES}\install.nsh"
  ; The configuration is the user's once installed: an upgrade keeps it.
  SetOutPath "$INSTDIR"
  SetOverwrite off
  File "${STAGE}\config.xml"
  SetOverwrite on

  WriteUninstaller "$INSTDIR\desinstalar.exe"
  WriteRegStr HKCU "Software\${APP}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Calorimetria"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\registrador.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\desinstalar.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\desinstalar.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; Shortcuts start in the install folder, where the program looks for config.xml.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\registrador.exe" "" "$INSTDIR\registrador.ico" 0
  CreateShortcut "$SMPROGRAMS\${APP}\Desinstalar ${APP}.lnk" "$INSTDIR\desinstalar.exe"
  CreateShortcut "$DESKTOP\${APP}.lnk" "$INSTDIR\registrador.exe" "" "$INSTDIR\registrador.ico" 0
SectionEnd

Section "Uninstall"
  !include "${FILES}\uninstall.nsh"
  Delete "$INSTDIR\desinstalar.exe"
  Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
  Delete "$SMPROGRAMS\${APP}\Desinstalar ${APP}.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  Delete "$DESKTOP\${APP}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\${APP}"
  ; Left when it still holds config.xml or the user's files.
  RMDir "$INSTDIR"
SectionEnd
