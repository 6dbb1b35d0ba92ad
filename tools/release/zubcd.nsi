; Installer of zubcd for 64-bit Windows, built by tools/release/release.sh:
;   makensis -DVERSION=x.y.z -DPUBLISHER=... -DSTAGE=DIR -DOUTFILE=FILE zubcd.nsi
; STAGE holds the files of the zip: the programs, README.txt, LICENSE.txt and
; the sample zub.txt.
;
; The programs go to Program Files\zubcd for every user; the Start menu
; shortcut and the catalogue belong to the user who installs. The program
; reads zub.txt from its working directory, so the shortcut starts it in a
; per-user data folder that holds the catalogue; the sample is put there only
; when the user has none, and the uninstaller never removes it.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "zubcd"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define DATA_DIR "$APPDATA\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${STAGE}\*.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The user's catalogue is never overwritten, also not by an update.
    SetOutPath "${DATA_DIR}"
    SetOverwrite off
    File "${STAGE}\zub.txt"
    SetOverwrite on

    ; The shortcut's working folder is the output path: the data folder.
    CreateShortCut "${SHORTCUT}" "$INSTDIR\zubcd.exe" "" "$INSTDIR\zubcd.exe" 0 \
        SW_SHOWNORMAL "" "CD changer controller"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zubcd.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "${SHORTCUT}"
    Delete "$INSTDIR\zubcd.exe"
    Delete "$INSTDIR\zubremote.exe"
    Delete "$INSTDIR\zubweb.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; The data folder goes only when the user has emptied it: zub.txt and the
    ; library zubcd.db (with its -wal and -shm files) stay.
    RMDir "${DATA_DIR}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
