; Per-user setup of the Lumexia uploader: the client, the Explorer extension registered for
; this user only, a Start-menu shortcut and an entry among the user's installed programs.
; No administrator rights: everything lands in the user's profile and under HKCU.
;
; Built by installer/CMakeLists.txt, which defines:
;   TARGET    amd64-unicode or x86-unicode
;   ARCH      x64 or x86 (names the output and decides the Windows check)
;   VERSION   the project version (3 parts), VERSION4 the same with a fourth part
;   CLIENT    path of LumexiaClient.exe, EXT path of the extension module, EXT_FILE its name
;   EXT_MODULE, EXT_CLASS, EXT_CLSID, EXT_IID, EXT_APPID, EXT_LIBID
;             this build's extension identities (GUIDs without braces), whose per-user keys
;             the uninstaller deletes itself when the module cannot unregister them
;   ICON      the client's icon
;   OUTFILE   where to write the installer
; Exit codes (documented in README.md): 0 done, 1 cancelled by the user or another setup
; runs, 2 failed, 3 the client is running, 4 the wrong installer for this Windows, 5 a newer
; version is installed. The uninstaller: 0 done, 2 failed, 3 the client is running.

Target ${TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include x64.nsh

!define PRODUCT "Лумексия"
!define PUBLISHER "Lumexia"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumexia"
!define RUNONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
!define CLASSES "Software\Classes"
; The client's instance mutex: it exists exactly while a client runs in this logon.
!define CLIENT_MUTEX "{533C913CEA2C46a2A98CA9090AB259BA}"
; Held by a running installer for its whole run.
!define SETUP_MUTEX "LumexiaSetup-{7D0C6E52-3B7A-4C1E-9A55-1E2F4B8C6D31}"
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
!define MUI_COMPONENTSPAGE_TEXT_TOP "Ваши настройки (папка «${DATA_FOLDER}») сохраняются для следующей установки, если не отметить их удаление. Если вы сохраняли логин и пароль, они тоже хранятся там: отметьте «Мои настройки и данные», если компьютером будет пользоваться кто-то другой."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

!include "${__FILEDIR__}/Shared.nsh"
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."
!include "${__FILEDIR__}/Setup.nsh"
!include "${__FILEDIR__}/Uninstall.nsh"
