; The uninstaller's functions and sections.

; The keys this build's module writes when it registers for this user. regsvr32 /u cannot
; remove them when the module is missing or broken; the names are this build's own
; identities, so nothing of another build or program is touched.
Function un.DeleteRegistrationKeys
    DetailPrint "Расширение Проводника не отменило свою регистрацию; её ключи удаляются."
    DeleteRegKey HKCU "${CLASSES}\*\ShellEx\ContextMenuHandlers\${EXT_CLASS}"
    DeleteRegKey HKCU "${CLASSES}\CLSID\{${EXT_CLSID}}"
    DeleteRegKey HKCU "${CLASSES}\${EXT_MODULE}.${EXT_CLASS}"
    DeleteRegKey HKCU "${CLASSES}\${EXT_MODULE}.${EXT_CLASS}.1"
    DeleteRegKey HKCU "${CLASSES}\TypeLib\{${EXT_LIBID}}"
    DeleteRegKey HKCU "${CLASSES}\Interface\{${EXT_IID}}"
    DeleteRegKey HKCU "${CLASSES}\AppID\{${EXT_APPID}}"
    DeleteRegKey HKCU "${CLASSES}\AppID\${EXT_MODULE}.DLL"
FunctionEnd

; The uninstaller's own file cannot be deleted while it runs (nor renamed, under Wine).
; Run in place (the quiet command, _?=), it does the whole uninstall, and when that
; succeeded a copy of it in the temporary folder removes the original and the folder as
; soon as this process has ended: see un.onUninstSuccess. Started without _?= it already
; runs from NSIS's temporary copy and deletes the original itself.
; Leaves in $R7 the copy a logon clean-up of this folder runs (it stays in the temporary
; folder; the next install into this folder deletes it).
Function un.RemoveOwnFile
    Call un.FolderTag
    StrCpy $R7 "$TEMP\LumexiaUninstall-$R6.exe"
    Delete $R7
    ${If} $EXEPATH == "$INSTDIR\uninstall.exe"
        CopyFiles /SILENT "$EXEPATH" $R7
        Return
    ${EndIf}
    Call un.DeleteUninstallerFile
    ${If} ${FileExists} "$INSTDIR\${EXT_FILE}.old*"
        CopyFiles /SILENT "$EXEPATH" $R7
    ${EndIf}
FunctionEnd

; The program that started this one may take a moment to end and let go of its file.
Function un.DeleteUninstallerFile
    StrCpy $1 0
    ${Do}
        ClearErrors
        Delete "$INSTDIR\uninstall.exe"
        ${IfNot} ${Errors}
        ${OrIf} $1 >= 50
            Return
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 1
    ${Loop}
FunctionEnd

; The clean-up (/SWEEP, run in place; /AFTER=PID first waits for that process to end):
; deletes the leftovers nothing holds any more and, when no copy is installed in the
; folder, the uninstaller and the folder with them; what is still held is left for the
; next logon. While it runs it holds the folder's sweep mutex: an install into the folder
; waits for it, so the sweep never deletes a freshly written uninstaller.
Function un.Sweep
    Call un.FolderTag
    System::Call 'kernel32::CreateMutexW(p 0, i 1, w "LumexiaSweep-$R6") p .r5'
    ClearErrors
    ${GetOptions} $0 "/AFTER=" $1
    ${IfNot} ${Errors}
        System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
        ${If} $2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i 30000)'
            System::Call 'kernel32::CloseHandle(p r2)'
        ${EndIf}
    ${EndIf}
    StrCpy $R7 $EXEPATH
    Call un.SweepLeftovers
    ${IfNot} ${FileExists} "$INSTDIR\LumexiaClient.exe"
        ${If} $EXEPATH != "$INSTDIR\uninstall.exe"
            Call un.DeleteUninstallerFile
        ${EndIf}
        RMDir "$INSTDIR"
    ${EndIf}
    System::Call 'kernel32::ReleaseMutex(p r5)'
    System::Call 'kernel32::CloseHandle(p r5)'
FunctionEnd

; Run in place, the uninstall has succeeded: the copy made by un.RemoveOwnFile sweeps the
; folder once this process ends. Its start is awaited (its mutex exists), so an install
; started the moment this one returns already finds it and waits.
Function un.onUninstSuccess
    ${If} $EXEPATH != "$INSTDIR\uninstall.exe"
        Return
    ${EndIf}
    System::Call 'kernel32::GetCurrentProcessId() i .r1'
    Exec '"$R7" /S /SWEEP /AFTER=$1 _?=$INSTDIR'
    StrCpy $1 0
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "LumexiaSweep-$R6") p .r0'
        ${If} $0 P<> 0
            System::Call 'kernel32::CloseHandle(p r0)'
            Return
        ${EndIf}
        ${If} $1 >= 100
            Return
        ${EndIf}
        Sleep 50
        IntOp $1 $1 + 1
    ${Loop}
FunctionEnd

Section "un.Программа ${PRODUCT}" SecProgram
    SectionIn RO
    ; The client's file goes first: while another process holds it nothing else has been
    ; touched, so a failed uninstall leaves the copy working.
    ClearErrors
    Delete "$INSTDIR\LumexiaClient.exe"
    ${If} ${Errors}
        StrCpy $R9 "Не удалось удалить файл $INSTDIR\LumexiaClient.exe: он занят."
        Call un.Fail
    ${EndIf}
    ClearErrors
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\${EXT_FILE}"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        Call un.DeleteRegistrationKeys
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\${EXT_FILE}"
        Call un.FreeLeftoverName
        Rename "$INSTDIR\${EXT_FILE}" "$INSTDIR\${EXT_FILE}.old$R0"
    ${EndIf}
    Delete "${SHORTCUT}"
    Call un.RemoveOwnFile
    Call un.SweepLeftovers
    RMDir "$INSTDIR"
SectionEnd

Section /o "un.Мои настройки и данные" SecData
    RMDir /r "${DATA_FOLDER}"
SectionEnd

Section "-un.Entry"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; After the sections: it names the data section.
Function un.onInit
    SetShellVarContext current
    ${GetParameters} $R1
    ClearErrors
    ${GetOptions} $R1 "/SWEEP" $1
    ${IfNot} ${Errors}
        StrCpy $0 $R1
        Call un.Sweep
        SetErrorLevel 0
        Quit
    ${EndIf}
    Call un.WaitForClientClosed
    ${If} $R9 == "refused"
        SetErrorLevel 3
        Quit
    ${EndIf}
    ; /REMOVEDATA ticks the data box for a silent uninstall.
    ClearErrors
    ${GetOptions} $R1 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecData} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
