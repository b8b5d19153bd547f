; The per-user installer: no elevation, into %LOCALAPPDATA%\Programs\Tarnwick, where Tarnwick.ini and
; Tarnwick.log beside the program stay writable for the user.
; makensis -DVERSION=a.b.c.d -DEXE=<Tarnwick.exe> -DREADME=<README.md> -DLICENSE=<LICENSE> -DOUTFILE=<setup.exe>
; A 64-bit installer for the 64-bit program.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define APP "Tarnwick"
!define PUBLISHER "the Tarnwick developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${APP}"
; An upgrade goes where the first install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
LicenseData "${LICENSE}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running copy holds its program file; it has to be closed first.
!macro WaitUntilClosed
    ${Do}
        FindWindow $0 "TfrmMain"
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP} is running. Close it (its tray menu, Exit), then choose Retry." /SD IDCANCEL IDRETRY +2
        Abort
    ${Loop}
!macroend

Section "Install"
    SetShellVarContext current
    !insertmacro WaitUntilClosed
    SetOutPath "$INSTDIR"
    ; Tarnwick.ini and Tarnwick.log are the user's: an upgrade leaves them as they are.
    File "/oname=Tarnwick.exe" "${EXE}"
    File "/oname=README.md" "${README}"
    File "/oname=LICENSE.txt" "${LICENSE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\Tarnwick.exe"

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tarnwick.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; True in $R0 when the command in $R1 runs the program at path $R2, quoted or not.
Function un.RunsProgram
    StrCpy $R0 0
    StrLen $0 $R2
    StrCpy $1 $R1 $0
    StrCpy $2 $R1 1 $0
    ${If} $1 == $R2
        ${If} $2 == ""
        ${OrIf} $2 == " "
            StrCpy $R0 1
        ${EndIf}
    ${EndIf}
    StrCpy $3 '"$R2"'
    StrLen $0 $3
    StrCpy $1 $R1 $0
    ${If} $1 == $3
        StrCpy $R0 1
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext current
    !insertmacro WaitUntilClosed
    ; The logon start is removed only when it starts this copy; another copy's stays.
    ReadRegStr $R1 HKCU "${RUN_KEY}" "${APP}"
    StrCpy $R2 "$INSTDIR\Tarnwick.exe"
    Call un.RunsProgram
    ${If} $R0 == 1
        DeleteRegValue HKCU "${RUN_KEY}" "${APP}"
    ${EndIf}

    Delete "$INSTDIR\Tarnwick.exe"
    Delete "$INSTDIR\Tarnwick.tmp"
    Delete "$INSTDIR\Tarnwick.resume"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; Removed only when empty: the settings and the log stay.
    RMDir "$INSTDIR"

    ${If} ${FileExists} "$INSTDIR\Tarnwick.ini"
    ${OrIf} ${FileExists} "$INSTDIR\Tarnwick.log"
        DetailPrint "Kept your settings and log (Tarnwick.ini, Tarnwick.log) in $INSTDIR."
        MessageBox MB_OK|MB_ICONINFORMATION "${APP} was removed. Your settings and log (Tarnwick.ini, Tarnwick.log) were kept in$\r$\n$INSTDIR$\r$\nDelete that folder yourself if you no longer need them." /SD IDOK
    ${EndIf}
SectionEnd
