; The installer of Corvid OPC DA (NSIS 3, 64-bit Unicode, Russian), built by the Windows build:
;   makensis -INPUTCHARSET UTF8 -DVERSION=2.2.1 -DOUTFILE=... -DEXE=... -DPROXY=... -DPROBE=...
;            -DPROXY_X86=... -DPROBE_X86=... -DICON=... CorvidOpcDa.nsi
;
; Per-machine install into Program Files: the server CorvidOpcDa.exe, the proxy/stub DLL for 64-bit
; clients and its x86 build for 32-bit clients (x86\), opcprobe for both; registers the proxy/stub
; (regsvr32 of the x64 DLL registers the x86 one in the 32-bit view as well) and the server
; (CorvidOpcDa.exe /r: both views, the AppID for DCOM). The data folder gets a default config.ini
; only when it has none; an upgrade keeps config.ini, params.ini and protokol.log.
;
; Silent: setup.exe /S [/AUTOSTART=1|0] [/D=C:\path]; uninstall.exe /S keeps the data folder.
; A running server is ended first as the operator's exit ends it (see EndRunningServer).

Unicode true
; No copyright holder to name in the version resource.
!pragma warning disable 9100
Target amd64-unicode
RequestExecutionLevel admin
ManifestSupportedOS all
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!define PRODUCT "Corvid OPC DA"
!define EXE_NAME "CorvidOpcDa.exe"
!define PROXY_NAME "CorvidOpcProxy.dll"
!define SERVER_CLSID "{5B1E7D42-93A0-4C6F-8E21-0D4A7C9B3F16}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's main window: its class and the command of the operator's exit (the tray menu's
; "Выход"), see src/ui/win32/mainform.h.
!define MAIN_WINDOW_CLASS "TformMain"
!define MAIN_EXIT_COMMAND 302
; The data folder below the common application-data folder ($APPDATA with "all" context).
!define DATA_FOLDER "$APPDATA\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; Ends every running CorvidOpcDa.exe of this desktop the way the operator's exit does (the exit
; command to its main window: the server tells its clients, stops and writes its files) and waits
; until the process is gone, so that no file stays locked. Aborts when one does not end.
!macro DEFINE_END_RUNNING_SERVER prefix
Function ${prefix}EndRunningServer
  StrCpy $R9 0
  ${Do}
    FindWindow $0 "${MAIN_WINDOW_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    IntOp $R9 $R9 + 1
    ${If} $R9 > 10
      ${Break}
    ${EndIf}
    DetailPrint "Завершение работающей программы ${PRODUCT}..."
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${MAIN_EXIT_COMMAND}, p 0) i'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 30000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: wait for the window, then for the process's end of work.
      StrCpy $3 0
      ${DoWhile} $3 < 300
        System::Call 'user32::IsWindow(p r0) i .r4'
        ${If} $4 = 0
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $3 $3 + 1
      ${Loop}
      Sleep 3000
    ${EndIf}
  ${Loop}
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Не удалось завершить работающую программу ${PRODUCT}. \
      Завершите её (меню значка в области уведомлений, «Выход») и запустите программу снова." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_END_RUNNING_SERVER ""
!insertmacro DEFINE_END_RUNNING_SERVER "un."

; config.ini with every key at its default, for the operator to edit.
Function WriteDefaultConfig
  FileOpen $0 "${DATA_FOLDER}\config.ini" w
  FileWrite $0 "[SETUP]$\r$\n"
  FileWrite $0 "MAXTAGCOUNT=10000$\r$\n"
  FileWrite $0 "WAITFOROPCCLIENTS=0$\r$\n"
  FileWrite $0 "UPDATETAGTIME=1000$\r$\n"
  FileWrite $0 "TAGNAME=%A1.%A2.%A3.%A4$\r$\n"
  FileWrite $0 "BRANCHSEP=$\r$\n"
  FileWrite $0 "[CORVID]$\r$\n"
  FileWrite $0 "HOST=127.0.0.1$\r$\n"
  FileWrite $0 "PORT=3000$\r$\n"
  FileWrite $0 "NAME=CFG$\r$\n"
  FileWrite $0 "PASSWORD=$\r$\n"
  FileWrite $0 "TIMEOUT=30000$\r$\n"
  FileWrite $0 "TESTCONNECT=60$\r$\n"
  FileClose $0
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call EndRunningServer

  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${EXE}"
  File "/oname=${PROXY_NAME}" "${PROXY}"
  File "/oname=opcprobe.exe" "${PROBE}"
  SetOutPath "$INSTDIR\x86"
  File "/oname=${PROXY_NAME}" "${PROXY_X86}"
  File "/oname=opcprobe.exe" "${PROBE_X86}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The proxy/stub for 64-bit clients, and (by the same DLL) the x86 one for 32-bit clients.
  ClearErrors
  RegDLL "$INSTDIR\${PROXY_NAME}"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Не удалось зарегистрировать прокси/заглушку интерфейсов OPC DA \
      ($INSTDIR\${PROXY_NAME})." /SD IDOK
    SetErrorLevel 4
    Abort
  ${EndIf}
  ; The server: its run ends with exit code 0 whatever happened, so the registry tells.
  ExecWait '"$INSTDIR\${EXE_NAME}" /r'
  ReadRegStr $0 HKCR "CLSID\${SERVER_CLSID}\LocalServer32" ""
  ${If} $0 != '"$INSTDIR\${EXE_NAME}"'
    MessageBox MB_OK|MB_ICONSTOP "Не удалось зарегистрировать OPC-сервер ${PRODUCT} \
      (подробности в журнале ${DATA_FOLDER}\protokol.log)." /SD IDOK
    SetErrorLevel 4
    Abort
  ${EndIf}

  ; The data folder: the operator's settings and the log stay as they are.
  CreateDirectory "${DATA_FOLDER}"
  ${IfNot} ${FileExists} "${DATA_FOLDER}\config.ini"
    Call WriteDefaultConfig
  ${EndIf}
  ; The program runs as whichever user starts it (or as the OPC client that COM starts it for):
  ; every user may change the settings and write the log.
  nsExec::Exec 'icacls "${DATA_FOLDER}" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${EXE_NAME}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Папка данных ${PRODUCT}.lnk" "${DATA_FOLDER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Запускать при входе в систему" SecAutostart
  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE_NAME}"'
SectionEnd

Section "-AutostartOff"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
SectionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ; Start at logon as the installed program did, unless the command line says otherwise.
  ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 != ""
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/AUTOSTART=" $2
  ${IfNot} ${Errors}
    ${If} $2 == "1"
      !insertmacro SelectSection ${SecAutostart}
    ${Else}
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Call un.EndRunningServer

  ExecWait '"$INSTDIR\${EXE_NAME}" /u'
  ClearErrors
  UnRegDLL "$INSTDIR\${PROXY_NAME}"
  ${If} ${Errors}
    DetailPrint "Не удалось удалить регистрацию $INSTDIR\${PROXY_NAME}"
  ${EndIf}

  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\${PROXY_NAME}"
  Delete "$INSTDIR\opcprobe.exe"
  Delete "$INSTDIR\x86\${PROXY_NAME}"
  Delete "$INSTDIR\x86\opcprobe.exe"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Папка данных ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The settings and the log are the operator's: removed only when asked, never in silent mode.
  MessageBox MB_YESNO|MB_ICONQUESTION "Удалить папку данных ${DATA_FOLDER} с настройками \
    (config.ini, params.ini) и журналом (protokol.log)?" /SD IDNO IDNO keep_data
  RMDir /r "${DATA_FOLDER}"
  keep_data:
SectionEnd
