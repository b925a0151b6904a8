; The installer's own functions and section.

; A second setup started while one runs would write the same files and keys at the same
; time: it says so and ends. The mutex stays held until this process ends.
Function RefuseSecondSetup
    System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${SETUP_MUTEX}") p .r0 ?e'
    Pop $1
    ${If} $0 P= 0
    ${OrIf} $1 = 183
        MessageBox MB_OK|MB_ICONEXCLAMATION "Установка программы ${PRODUCT} уже идёт. Дождитесь её окончания." /SD IDOK
        SetErrorLevel 1
        Quit
    ${EndIf}
FunctionEnd

; Installing over a newer version asks first; a silent run changes nothing (exit code 5).
Function RefuseSilentDowngrade
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $1 == ""
        Return
    ${EndIf}
    ${VersionCompare} "$1" "${VERSION}" $2
    ${If} $2 = 1
        MessageBox MB_YESNO|MB_ICONQUESTION "Установлена более новая версия программы ${PRODUCT} ($1). Заменить её версией ${VERSION}?" /SD IDNO IDYES keep
        SetErrorLevel 5
        Quit
        keep:
    ${EndIf}
FunctionEnd

Function .onInit
    SetShellVarContext current
!if ${ARCH} == x86
    ; 64-bit Explorer cannot load the 32-bit extension: the menu item would never appear.
    ${If} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "Этот установщик предназначен для 32-разрядной Windows. Для 64-разрядной Windows запустите LumexiaSetup-x64.exe." /SD IDOK
        SetErrorLevel 4
        Quit
    ${EndIf}
!endif
    Call RefuseSecondSetup
    Call RefuseSilentDowngrade
    Call WaitForClientClosed
    ${If} $R9 == "refused"
        SetErrorLevel 3
        Quit
    ${EndIf}
FunctionEnd

; Writes one payload file; a file that cannot be written stops the install instead of
; leaving the old bytes in place behind a reported success.
!macro PutFile source name
    ClearErrors
    File "/oname=${name}" "${source}"
    ${If} ${Errors}
        StrCpy $R9 "Не удалось записать файл $INSTDIR\${name}."
        Call Fail
    ${EndIf}
!macroend

; The registered module path must name a module at every moment an install can stop: the
; installed one is renamed aside (which works even while Explorer has it loaded) and put
; back under its name when the new one cannot be written.
Function PutModule
    StrCpy $R0 ""
    ${If} ${FileExists} "$INSTDIR\${EXT_FILE}"
        Call FreeLeftoverName
        ClearErrors
        Rename "$INSTDIR\${EXT_FILE}" "$INSTDIR\${EXT_FILE}.old$R0"
        ${If} ${Errors}
            StrCpy $R9 "Не удалось заменить файл $INSTDIR\${EXT_FILE}: он занят."
            Call Fail
        ${EndIf}
    ${EndIf}
    ClearErrors
    File "/oname=${EXT_FILE}" "${EXT}"
    ${If} ${Errors}
        ${If} $R0 != ""
            Delete "$INSTDIR\${EXT_FILE}"
            Rename "$INSTDIR\${EXT_FILE}.old$R0" "$INSTDIR\${EXT_FILE}"
        ${EndIf}
        StrCpy $R9 "Не удалось записать файл $INSTDIR\${EXT_FILE}."
        Call Fail
    ${EndIf}
FunctionEnd

; Installed elsewhere before: that copy goes first, so one registration and one entry
; remain. Its uninstaller runs in place (_?=) so its exit code is its result; when it
; refused or failed, the earlier copy stays as it is, uninstaller included, and this
; install stops before writing anything.
Function RemoveCopyElsewhere
    ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R1 == ""
    ${OrIf} $R1 == $INSTDIR
    ${OrIfNot} ${FileExists} "$R1\uninstall.exe"
        Return
    ${EndIf}
    DetailPrint "Удаление прежней копии из $R1"
    ClearErrors
    ExecWait '"$R1\uninstall.exe" /S _?=$R1' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        StrCpy $R9 "Не удалось удалить прежнюю копию программы из папки $R1 (код $0)."
        Call Fail
    ${EndIf}
    ; Uninstallers of earlier versions cannot remove themselves when run in place.
    Delete "$R1\uninstall.exe"
    RMDir "$R1"
FunctionEnd

; An uninstall of this folder that just returned leaves a clean-up running for a moment
; (it removes the uninstaller); it holds the folder's sweep mutex until it is done.
Function WaitForSweep
    Call FolderTag
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "LumexiaSweep-$R6") p .r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::WaitForSingleObject(p r0, i 30000)'
        System::Call 'kernel32::ReleaseMutex(p r0)'
        System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
FunctionEnd

Section "-Program"
    ; The client may have been started while the pages were shown.
    Call WaitForClientClosed
    ${If} $R9 == "refused"
        SetErrorLevel 3
        Abort
    ${EndIf}
    Call WaitForSweep
    Call RemoveCopyElsewhere

    SetOutPath "$INSTDIR"
    SetOverwrite try
    ; The client first: when it cannot be written, the module is still untouched.
    !insertmacro PutFile "${CLIENT}" "LumexiaClient.exe"
    Call PutModule

    ; Registers the menu item for this user only (HKCU\Software\Classes).
    ExecWait '"$SYSDIR\regsvr32.exe" /s /n /i:user "$INSTDIR\${EXT_FILE}"' $0
    ${If} $0 != 0
        StrCpy $R9 "Не удалось зарегистрировать расширение Проводника (код $0)."
        Call Fail
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
    StrCpy $R7 "$INSTDIR\uninstall.exe"
    Call SweepLeftovers
    ; The uninstaller an earlier uninstall of this folder moved out of the way.
    Delete "$TEMP\LumexiaUninstall-$R6.exe"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\LumexiaClient.exe" "" "$INSTDIR\LumexiaClient.exe" 0

    ${GetSize} "$INSTDIR" "/S=0K /G=0" $1 $2 $3
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\LumexiaClient.exe,0"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    ; Runs in place and waits: its exit code is the uninstall's result.
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd
