; Per-user setup of the Lumexia uploader: the client, the Explorer extension registered for
; this user only, a Start-menu shortcut and an entry among the user's installed programs.
; No administrator rights: everything lands in the user's profile and under HKCU.
;
; Built by installer/CMakeLists.txt, which defines:
;   TARGET    amd64-unicode or x86-unicode
;   ARCH      x64 or x86 (names the output and decides the Windows check)
;   VERSION   the project version (3 parts), VERSION4 the same with a fourth part
;   CLIENT    path of LumexiaClient.exe, EXT path of the extension module, EXT_FILE its name
;   ICON      the client's icon
;   OUTFILE   where to write the installer
; Exit codes (documented in README.md): 0 done, 1 cancelled by the user, 2 failed,
; 3 the client is running, 4 the wrong installer for this Windows.

Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Лумексия"
!define PUBLISHER "Lumexia"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumexia"
!define RUNONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
!define RUNONCE_VALUE "LumexiaCleanup"
; The client's instance mutex: it exists exactly while a client runs in this logon.
!define CLIENT_MUTEX "{533C913CEA2C46a2A98CA9090AB259BA}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define DATA_FOLDER "$LOCALAPPDATA\lumexia"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Lumexia"
; An upgrade goes where the installed copy is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка программы ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TITLE "Программа ${PRODUCT} установлена"
!define MUI_FINISHPAGE_TEXT "Выделите изображения в Проводнике, щёлкните по ним правой кнопкой мыши и выберите «Опубликовать на lumexia.ru».$\r$\n$\r$\nНажмите «Готово», чтобы закрыть мастер."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Программа ${PRODUCT} будет удалена из указанной папки, пункт «Опубликовать на lumexia.ru» исчезнет из меню Проводника."
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Ваши настройки (папка «${DATA_FOLDER}») сохраняются для следующей установки, если не отметить их удаление."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

; Both the installer and the uninstaller need these; `un` is empty or "un.".
!macro SharedFunctions un
; Leaves $R9 "closed" when no client runs (any more), "refused" when the user gave up or
; the run is silent: a running client holds the executable open and would keep using the
; old extension's files.
Function ${un}WaitForClientClosed
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${CLIENT_MUTEX}") p .r0'
        ${If} $0 P= 0
            StrCpy $R9 "closed"
            Return
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
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

; Explorer keeps the extension it once loaded until it ends, and a loaded module can be
; neither overwritten nor deleted, only renamed. So the module is deleted when nothing
; holds it, and otherwise renamed to the first free "<name>.oldN"; such leftovers go at
; the next install or uninstall that finds them free.
Function ${un}MoveModuleAside
    ClearErrors
    Delete "$INSTDIR\${EXT_FILE}"
    ${IfNot} ${Errors}
        Return
    ${EndIf}
    StrCpy $R0 1
    ${While} ${FileExists} "$INSTDIR\${EXT_FILE}.old$R0"
        IntOp $R0 $R0 + 1
    ${EndWhile}
    ClearErrors
    Rename "$INSTDIR\${EXT_FILE}" "$INSTDIR\${EXT_FILE}.old$R0"
    ${If} ${Errors}
        StrCpy $R9 "Не удалось заменить файл $INSTDIR\${EXT_FILE}: он занят."
        Call ${un}Fail
    ${EndIf}
    DetailPrint "Загруженный модуль переименован в ${EXT_FILE}.old$R0"
FunctionEnd

; Deletes the leftovers nothing holds any more. Without administrator rights a file cannot
; be scheduled for deletion at restart, so while one is still held a per-user RunOnce
; command deletes the leftovers (and the folder, if that is all it holds) at next logon.
Function ${un}SweepLeftovers
    Delete "$INSTDIR\${EXT_FILE}.old*"
    ${If} ${FileExists} "$INSTDIR\${EXT_FILE}.old*"
        WriteRegStr HKCU "${RUNONCE_KEY}" "${RUNONCE_VALUE}" '"$SYSDIR\cmd.exe" /c del /f /q "$INSTDIR\${EXT_FILE}.old*" & rmdir "$INSTDIR"'
    ${Else}
        DeleteRegValue HKCU "${RUNONCE_KEY}" "${RUNONCE_VALUE}"
    ${EndIf}
FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

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

Section "-Program"
    ; The client may have been started while the pages were shown.
    Call WaitForClientClosed
    ${If} $R9 == "refused"
        SetErrorLevel 3
        Abort
    ${EndIf}

    ; Installed elsewhere before: that copy goes first, so one registration and one entry remain.
    ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R1 != ""
    ${AndIf} $R1 != $INSTDIR
    ${AndIf} ${FileExists} "$R1\uninstall.exe"
        DetailPrint "Удаление прежней копии из $R1"
        ExecWait '"$R1\uninstall.exe" /S _?=$R1'
        Delete "$R1\uninstall.exe"
        RMDir "$R1"
    ${EndIf}

    SetOutPath "$INSTDIR"
    SetOverwrite try
    Call MoveModuleAside
    Call SweepLeftovers
    !insertmacro PutFile "${CLIENT}" "LumexiaClient.exe"
    !insertmacro PutFile "${EXT}" "${EXT_FILE}"

    ; Registers the menu item for this user only (HKCU\Software\Classes).
    ExecWait '"$SYSDIR\regsvr32.exe" /s /n /i:user "$INSTDIR\${EXT_FILE}"' $0
    ${If} $0 != 0
        StrCpy $R9 "Не удалось зарегистрировать расширение Проводника (код $0)."
        Call Fail
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
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
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "un.Программа ${PRODUCT}" SecProgram
    SectionIn RO
    ExecWait '"$SYSDIR\regsvr32.exe" /s /u /n /i:user "$INSTDIR\${EXT_FILE}"'
    Delete "$INSTDIR\LumexiaClient.exe"
    Call un.MoveModuleAside
    Call un.SweepLeftovers
    Delete "${SHORTCUT}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd

Section /o "un.Мои настройки и данные" SecData
    RMDir /r "${DATA_FOLDER}"
SectionEnd

; Last, so that the entry's absence means the uninstall has finished.
Section "-un.Entry"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; After the sections: it names the data section.
Function un.onInit
    SetShellVarContext current
    Call un.WaitForClientClosed
    ${If} $R9 == "refused"
        SetErrorLevel 3
        Quit
    ${EndIf}
    ; /REMOVEDATA ticks the data box for a silent uninstall.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecData} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
