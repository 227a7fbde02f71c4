; The Windows installer, built on Linux by makensis (cmake/Windows.cmake):
; mptest.exe, its licence and the user guide into Program Files, a Start-menu
; shortcut, an entry in Apps & features, and an uninstaller that removes
; exactly what this put there.
; makensis -DVERSION=1.0.0 -DSTAGE=folder -DOUTFILE=setup.exe mptest.nsi
; A 64-bit installer for the 64-bit program: it sees the 64-bit Program Files
; and registry as they are.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "FileFunc.nsh"

!define APPNAME "mptest"
!define SHORTCUT "微型打印机测试"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\mptest"
; The licence's holder (LICENSE), in Chinese and in English.
!define PUBLISHER "mptest 作者们 (the mptest authors)"

Name "${SHORTCUT} ${VERSION}"
OutFile "${OUTFILE}"
; The pages name the program, not the version of the tool that built them.
BrandingText "${SHORTCUT}"
InstallDir "$PROGRAMFILES64\${APPNAME}"
RequestExecutionLevel admin
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "mptest"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${SHORTCUT} ${VERSION} 安装程序"
; The uninstaller says what it does.
!uninstfinalize '"${__FILEDIR__}/describe-uninstaller.sh" "%1" "${SHORTCUT} ${VERSION} 安装程序" "${SHORTCUT} ${VERSION} 卸载程序"'
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (c) 2026 the mptest authors, MIT License"

!define MUI_ICON "${STAGE}\mptest.ico"
!define MUI_UNICON "${STAGE}\mptest.ico"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\mptest.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\使用说明.txt"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "mptest"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\mptest.exe"
  File "${STAGE}\mptest-cli.exe"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\使用说明.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\mptest.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${SHORTCUT} (mptest)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mptest.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; What Apps & features shows as the size, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  Delete "$INSTDIR\mptest.exe"
  Delete "$INSTDIR\mptest-cli.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\使用说明.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
