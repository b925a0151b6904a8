; Functions both the installer and the uninstaller need; `un` is empty or "un.".
!macro SharedFunctions un
; Leaves $R9 "closed" when no client runs (any more), "refused" when the user gave up or
; the run is silent: a running client holds the executable open and would keep using the
; old extension's files. A client started elevated guards its mutex against this user:
; access denied is a running client too.
Function ${un}WaitForClientClosed
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${CLIENT_MUTEX}") p .r0 ?e'
        Pop $1
        ${If} $0 P= 0
        ${AndIf} $1 != 5
            StrCpy $R9 "closed"
            Return
        ${EndIf}
        ${If} $0 P<> 0
            System::Call 'kernel32::CloseHandle(p r0)'
        ${EndIf}
        ${If} ${Silent}
            StrCpy $R9 "refused"
            Return
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Программа ${PRODUCT} сейчас запущена. Закройте её окно и нажмите «Повтор»." IDRETRY retry
        StrCpy $R9 "refused"
        Return
        retry:
    ${Loop}
FunctionEnd

; Stops with exit code 2 and the message in $R9.
Function ${un}Fail
    DetailPrint "$R9"
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
    Abort "$R9"
FunctionEnd

; $R8: the name of this folder's RunOnce value, $R6 the folder's tag in it. One value per
; folder, so a pending clean-up of one folder survives an install into another; the tag
; is a checksum of the folder's lower-case path, since Windows compares paths that way.
Function ${un}FolderTag
    StrCpy $2 $INSTDIR
    StrLen $1 $2
    System::Call 'user32::CharLowerBuffW(w r2 r2, i r1)'
    IntOp $1 $1 * 2
    System::Call 'ntdll::RtlComputeCrc32(i 0, w r2, i r1) i .r3'
    IntFmt $R6 "%08X" $3
    StrCpy $R8 "LumexiaCleanup-$R6"
FunctionEnd

; $R0: the first N for which "<module>.oldN" is free.
Function ${un}FreeLeftoverName
    StrCpy $R0 1
    ${While} ${FileExists} "$INSTDIR\${EXT_FILE}.old$R0"
        IntOp $R0 $R0 + 1
    ${EndWhile}
FunctionEnd

; Explorer keeps the extension it once loaded until it ends, and a loaded module can be
; neither overwritten nor deleted, only renamed: a replaced module is renamed to
; "<name>.oldN" and such leftovers go once nothing holds them. Without administrator
; rights a file cannot be scheduled for deletion at restart, so while one is still held
; a per-user RunOnce command sweeps the folder at next logon: the uninstaller in $R7 in
; its clean-up mode, run silently in place (_?= takes the folder literally, no console,
; no variable expansion).
Function ${un}SweepLeftovers
    Call ${un}FolderTag
    Delete "$INSTDIR\${EXT_FILE}.old*"
    ${If} ${FileExists} "$INSTDIR\${EXT_FILE}.old*"
        WriteRegStr HKCU "${RUNONCE_KEY}" "$R8" '"$R7" /S /SWEEP _?=$INSTDIR'
    ${Else}
        DeleteRegValue HKCU "${RUNONCE_KEY}" "$R8"
    ${EndIf}
FunctionEnd
!macroend
