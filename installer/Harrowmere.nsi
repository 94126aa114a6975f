; The Harrowmere setup program and its uninstaller. scripts/package.sh builds
; it once per architecture and passes, with -D:
;   HM_ARCH          x86_64 (64-bit setup, 64-bit Program Files) or i686
;   HM_VERSION       the program version ("2.0"); HM_VERSION_QUAD as a.b.c.d
;   HM_ICON          the program's icon
;   HM_INSTALL_LIST  generated include: one HM_INSTALL_FILE per staged file
;   HM_REMOVE_LIST   generated include: HM_REMOVE_FILE / HM_REMOVE_DIR lines
;   HM_OUTFILE       the setup program to write

!if "${HM_ARCH}" == "x86_64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh
!include x64.nsh
!include StrFunc.nsh
${StrStr}
${UnStrRep}

!define HM_NAME "Harrowmere"
!define HM_PUBLISHER "Harrowmere"
!define HM_PROGRAM "Harrowmere.exe"
!define HM_UNINSTALLER "Uninstall.exe"
; The user's files beside the program: kept on upgrade, and the rule file and
; log kept on uninstall unless the user asks otherwise.
!define HM_RULE_FILE "Harrowmere.erd"
!define HM_CONFIG_FILE "Harrowmere.cfg"
!define HM_LOG_FILE "Harrowmere.log"
; What each rule has decided, kept beside the rule file by the guard.
!define HM_HIT_FILE "Harrowmere.hits"
; The running guard is found by its hidden frame's title.
!define HM_FRAME_TITLE "HarrowmereMainFrame"
!define HM_SERVICE "Harrowmere"
!define HM_DRIVER_FILE "Harrowmere.sys"
!define HM_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Harrowmere"
!define HM_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define HM_RUN_VALUE "Harrowmere"
!define HM_SETTINGS_KEY "Software\Harrowmere"
; The sensor DLLs: loaded into guarded programs and never unloaded there, so
; a setup or an uninstall may find them in use.
!define HM_SENSOR_64 "HarrowmereSensor64.dll"
!define HM_SENSOR_32 "HarrowmereSensor32.dll"
!if "${HM_ARCH}" == "x86_64"
  !define HM_SENSOR_THIS "${HM_SENSOR_64}"
!else
  !define HM_SENSOR_THIS "${HM_SENSOR_32}"
!endif
!define HM_APPINIT_KEY "Software\Microsoft\Windows NT\CurrentVersion\Windows"
; How long the guard gets to end, and the driver service to stop.
!define HM_GUARD_EXIT_MS 15000
!define HM_SERVICE_STOP_POLLS 100 ; of 100 ms

!define SYNCHRONIZE 0x00100000
!define SC_MANAGER_ALL_ACCESS 0xF003F
!define SERVICE_ALL_ACCESS 0xF01FF
!define SERVICE_CONTROL_STOP 1
!define SERVICE_STOPPED 1

Name "${HM_NAME}"
OutFile "${HM_OUTFILE}"
!if "${HM_ARCH}" == "x86_64"
  InstallDir "$PROGRAMFILES64\${HM_NAME}"
!else
  InstallDir "$PROGRAMFILES\${HM_NAME}"
!endif
; An upgrade goes where the installed copy is.
InstallDirRegKey HKLM "${HM_UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${HM_NAME} ${HM_VERSION}"

VIProductVersion "${HM_VERSION_QUAD}"
VIFileVersion "${HM_VERSION_QUAD}"
VIAddVersionKey /LANG=2052 "ProductName" "${HM_NAME}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${HM_VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${HM_VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${HM_PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${HM_NAME} 安装程序"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${HM_PUBLISHER}"

; --- pages ---------------------------------------------------------------------
!define MUI_ICON "${HM_ICON}"
!define MUI_UNICON "${HM_ICON}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "$(HM_WELCOME_TEXT)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${HM_PROGRAM}"
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.OptionsPage un.OptionsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "SimpChinese"
!include "${__FILEDIR__}\SimpChinese.nsh"

; --- shared by setup and uninstaller ---------------------------------------------

; Asks every running guard to end (WM_CLOSE to its hidden frame, which
; shuts it down as its exit command does) and waits for its process. A guard that does not end in
; time leaves the choice to retry or to cancel the whole run.
!macro HM_CLOSE_GUARD_FUNCTION UN
Function ${UN}CloseGuard
  ${Do}
    FindWindow $0 "" "${HM_FRAME_TITLE}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    DetailPrint "$(HM_CLOSING_GUARD)"
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=${HM_GUARD_EXIT_MS}
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${HM_GUARD_EXIT_MS}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: wait for the frame to go.
      StrCpy $3 1
      ${For} $4 1 150
        System::Call 'user32::IsWindow(p r0) i .r5'
        ${If} $5 = 0
          StrCpy $3 0
          ${Break}
        ${EndIf}
        Sleep 100
      ${Next}
    ${EndIf}
    ${If} $3 != 0
    ${AndIfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(HM_GUARD_STILL_RUNNING)" /SD IDCANCEL IDRETRY`
      Abort "$(HM_GUARD_STILL_RUNNING)"
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro HM_CLOSE_GUARD_FUNCTION ""
!insertmacro HM_CLOSE_GUARD_FUNCTION "un."

; Stops the kernel service and waits until it has stopped (the driver is
; unloaded, so its file can be replaced or deleted); DELETE 1 also deletes
; the service. Nothing happens when the service does not exist.
!macro HM_DRIVER_SERVICE_FUNCTION NAME DELETE
Function ${NAME}
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i ${SC_MANAGER_ALL_ACCESS}) p .r0'
  ${If} $0 P= 0
    Return
  ${EndIf}
  System::Call 'advapi32::OpenServiceW(p r0, w "${HM_SERVICE}", i ${SERVICE_ALL_ACCESS}) p .r1'
  ${If} $1 P<> 0
    DetailPrint "$(HM_STOPPING_DRIVER)"
    System::Alloc 28 ; SERVICE_STATUS
    Pop $2
    System::Call 'advapi32::ControlService(p r1, i ${SERVICE_CONTROL_STOP}, p r2) i'
    ${For} $3 1 ${HM_SERVICE_STOP_POLLS}
      System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i .r4'
      System::Call '*$2(i, i .r5)'
      ${If} $4 = 0
      ${OrIf} $5 = ${SERVICE_STOPPED}
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
    System::Free $2
    !if ${DELETE} == 1
      System::Call 'advapi32::DeleteService(p r1) i'
    !endif
    System::Call 'advapi32::CloseServiceHandle(p r1) i'
  ${EndIf}
  System::Call 'advapi32::CloseServiceHandle(p r0) i'
FunctionEnd
!macroend
!insertmacro HM_DRIVER_SERVICE_FUNCTION StopDriverService 0
!insertmacro HM_DRIVER_SERVICE_FUNCTION un.RemoveDriverService 1

; --- setup -------------------------------------------------------------------------

;  Deletes a file at the next start of Windows (MoveFileEx with
; MOVEFILE_DELAY_UNTIL_REBOOT), without asking for a restart now: the file
; does no harm until then.
!macro HM_DELETE_AT_REBOOT PATH
  System::Call 'kernel32::MoveFileExW(w "${PATH}", p 0, i 4) i'
!macroend

;  Moves a loaded sensor out of the program folder (into the temporary
; folder, on the same drive as a rule) and deletes it at the next start of
; Windows; where it cannot be moved, it is deleted at reboot where it is.
!macro HM_SENSOR_OUT PATH
  System::Call 'kernel32::GetTickCount() i .r9'
  ClearErrors
  Rename "${PATH}" "$TEMP\${HM_NAME}-sensor-$9.old"
  ${If} ${Errors}
    !insertmacro HM_DELETE_AT_REBOOT "${PATH}"
  ${Else}
    !insertmacro HM_DELETE_AT_REBOOT "$TEMP\${HM_NAME}-sensor-$9.old"
  ${EndIf}
!macroend

;  A sensor that a running program still has loaded cannot be overwritten
; or deleted, but it can be renamed: the old file moves aside and is deleted
; at the next start of Windows, and the new one takes its name (programs
; started from then on load the new one).
!macro HM_SENSOR_ASIDE PATH
  ${If} ${FileExists} "${PATH}"
    ClearErrors
    Delete "${PATH}"
    ${If} ${Errors}
      !insertmacro HM_SENSOR_OUT "${PATH}"
    ${EndIf}
  ${EndIf}
!macroend

; One staged file. The user's files are written only when missing, so an
; upgrade keeps them byte for byte.
!macro HM_INSTALL_FILE DIR NAME SOURCE
  SetOutPath "$INSTDIR${DIR}"
  !if "${NAME}" == "${HM_RULE_FILE}"
    SetOverwrite off
  !else if "${NAME}" == "${HM_CONFIG_FILE}"
    SetOverwrite off
  !else if "${NAME}" == "${HM_SENSOR_64}"
    !insertmacro HM_SENSOR_ASIDE "$INSTDIR${DIR}\${NAME}"
  !else if "${NAME}" == "${HM_SENSOR_32}"
    !insertmacro HM_SENSOR_ASIDE "$INSTDIR${DIR}\${NAME}"
  !endif
  File "/oname=${NAME}" "${SOURCE}"
  SetOverwrite on
!macroend

Section "${HM_NAME}" SecProgram
  SectionIn RO
  Call CloseGuard
  Call StopDriverService
  !include "${HM_INSTALL_LIST}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${HM_UNINSTALLER}"
  Call RegisterAppInit

  CreateDirectory "$SMPROGRAMS\${HM_NAME}"
  CreateShortcut "$SMPROGRAMS\${HM_NAME}\${HM_NAME}.lnk" "$INSTDIR\${HM_PROGRAM}"
  CreateShortcut "$SMPROGRAMS\${HM_NAME}\$(HM_UNINSTALL_SHORTCUT).lnk" "$INSTDIR\${HM_UNINSTALLER}"

  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "DisplayName" "${HM_NAME}"
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "DisplayVersion" "${HM_VERSION}"
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "Publisher" "${HM_PUBLISHER}"
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${HM_PROGRAM},0"
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${HM_UNINSTALLER}"'
  WriteRegStr HKLM "${HM_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${HM_UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${HM_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${HM_UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${HM_UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The autorun value exactly as the settings page writes it (the program path
; in quotes, so that the system never tries a program at the first blank of
; "Program Files", and " /background"), so that the page shows it as on.
Section "$(HM_AUTORUN_SECTION)" SecAutorun
  WriteRegStr HKCU "${HM_RUN_KEY}" "${HM_RUN_VALUE}" '"$INSTDIR\${HM_PROGRAM}" /background'
SectionEnd

Section "-AutorunOff"
  ${IfNot} ${SectionIsSelected} ${SecAutorun}
    DeleteRegValue HKCU "${HM_RUN_KEY}" "${HM_RUN_VALUE}"
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "$(HM_PROGRAM_DESCRIPTION)"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutorun} "$(HM_AUTORUN_DESCRIPTION)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  SetShellVarContext all
  !if "${HM_ARCH}" != "x86_64"
    ; A 32-bit kernel driver cannot load on 64-bit Windows.
    ${If} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "$(HM_NEEDS_32BIT_WINDOWS)" /SD IDOK
      Abort
    ${EndIf}
  !endif
  ; On an upgrade the autorun box starts as the user left autorun, which
  ; the settings page may have switched off.
  ReadRegStr $0 HKLM "${HM_UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    ReadRegStr $1 HKCU "${HM_RUN_KEY}" "${HM_RUN_VALUE}"
    ${If} $1 == ""
      !insertmacro UnselectSection ${SecAutorun}
    ${EndIf}
  ${EndIf}
FunctionEnd

;  Where the system honours AppInit_DLLs, the sensor is listed there, so that
; every program that loads user32 loads the sensor from its start. Wine does
; not honour it (the key "Software\Wine" tells Wine apart): nothing is
; written there. The short path is listed (the list is separated by blanks);
; a LoadAppInit_DLLs that was 0 is set to 1 and its old value remembered for
; the uninstaller. Where Windows requires signed AppInit DLLs (Secure Boot)
; the system skips the unsigned sensor, and the guard's delivery is all there
; is.
Function RegisterAppInit
  ClearErrors
  EnumRegKey $0 HKLM "Software\Wine" 0
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  !if "${HM_ARCH}" == "x86_64"
    SetRegView 64
  !endif
  GetFullPathName /SHORT $1 "$INSTDIR\${HM_SENSOR_THIS}"
  ReadRegStr $0 HKLM "${HM_APPINIT_KEY}" "AppInit_DLLs"
  ${StrStr} $2 "$0" "$1"
  ${If} $2 == ""
    ${If} $0 == ""
      WriteRegStr HKLM "${HM_APPINIT_KEY}" "AppInit_DLLs" "$1"
    ${Else}
      WriteRegStr HKLM "${HM_APPINIT_KEY}" "AppInit_DLLs" "$0 $1"
    ${EndIf}
  ${EndIf}
  ClearErrors
  ReadRegDWORD $3 HKLM "${HM_APPINIT_KEY}" "LoadAppInit_DLLs"
  ${If} ${Errors}
  ${OrIf} $3 = 0
    WriteRegDWORD HKLM "${HM_UNINSTALL_KEY}" "LoadAppInitBefore" 0
    WriteRegDWORD HKLM "${HM_APPINIT_KEY}" "LoadAppInit_DLLs" 1
  ${EndIf}
  !if "${HM_ARCH}" == "x86_64"
    SetRegView lastused
  !endif
FunctionEnd

; --- uninstaller -------------------------------------------------------------------

Var OptionsBox
Var RemoveUserData ; ${BST_CHECKED} when the user ticked the box

Function un.onInit
  SetShellVarContext all
FunctionEnd

Function un.OptionsPage
  !insertmacro MUI_HEADER_TEXT "$(HM_UNINSTALL_TITLE)" "$(HM_UNINSTALL_SUBTITLE)"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 20u "$(HM_UNINSTALL_FOLDER_TEXT)"
  Pop $0
  ${NSD_CreateText} 0 22u 100% 13u "$INSTDIR"
  Pop $0
  SendMessage $0 ${EM_SETREADONLY} 1 0
  ${NSD_CreateCheckbox} 0 48u 100% 12u "$(HM_REMOVE_USER_DATA)"
  Pop $OptionsBox
  ${NSD_SetState} $OptionsBox $RemoveUserData
  ${NSD_CreateLabel} 12u 62u -12u 30u "$(HM_REMOVE_USER_DATA_NOTE)"
  Pop $0
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.OptionsPageLeave
  ${NSD_GetState} $OptionsBox $RemoveUserData
FunctionEnd

;  A sensor still loaded in a running program goes at the next start of
; Windows.
!macro HM_REMOVE_SENSOR PATH
  ClearErrors
  Delete "${PATH}"
  ${If} ${Errors}
    !insertmacro HM_SENSOR_OUT "${PATH}"
  ${EndIf}
!macroend

; One file of the program folder; the rule file and the log stay unless the
; user ticked the box.
!macro HM_REMOVE_FILE DIR NAME
  !if "${NAME}" == "${HM_RULE_FILE}"
    ${If} $RemoveUserData == ${BST_CHECKED}
      Delete "$INSTDIR${DIR}\${NAME}"
    ${EndIf}
  !else if "${NAME}" == "${HM_SENSOR_64}"
    !insertmacro HM_REMOVE_SENSOR "$INSTDIR${DIR}\${NAME}"
  !else if "${NAME}" == "${HM_SENSOR_32}"
    !insertmacro HM_REMOVE_SENSOR "$INSTDIR${DIR}\${NAME}"
  !else
    Delete "$INSTDIR${DIR}\${NAME}"
  !endif
!macroend

;  Takes the sensor out of AppInit_DLLs again (and LoadAppInit_DLLs back to
; what it was before setup set it).
Function un.UnregisterAppInit
  !if "${HM_ARCH}" == "x86_64"
    SetRegView 64
  !endif
  GetFullPathName /SHORT $1 "$INSTDIR\${HM_SENSOR_THIS}"
  ClearErrors
  ReadRegStr $0 HKLM "${HM_APPINIT_KEY}" "AppInit_DLLs"
  ${If} $1 != ""
  ${AndIf} $0 != ""
    ${UnStrRep} $2 "$0" " $1" ""
    ${UnStrRep} $2 "$2" "$1" ""
    ${If} $2 != $0
      WriteRegStr HKLM "${HM_APPINIT_KEY}" "AppInit_DLLs" "$2"
    ${EndIf}
  ${EndIf}
  ClearErrors
  ReadRegDWORD $3 HKLM "${HM_UNINSTALL_KEY}" "LoadAppInitBefore"
  ${IfNot} ${Errors}
    WriteRegDWORD HKLM "${HM_APPINIT_KEY}" "LoadAppInit_DLLs" $3
  ${EndIf}
  !if "${HM_ARCH}" == "x86_64"
    SetRegView lastused
  !endif
FunctionEnd

!macro HM_REMOVE_DIR DIR
  RMDir "$INSTDIR${DIR}"
!macroend

Section "un.${HM_NAME}"
  Call un.CloseGuard
  Call un.RemoveDriverService
  Call un.UnregisterAppInit
  Delete /REBOOTOK "$SYSDIR\drivers\${HM_DRIVER_FILE}"

  !include "${HM_REMOVE_LIST}"
  ; What the programs write beside themselves: the save copies of the rule
  ; and hit files, crash reports, the update manifest and the promotion feed.
  Delete "$INSTDIR\${HM_RULE_FILE}.tmp"
  Delete "$INSTDIR\${HM_HIT_FILE}.tmp"
  Delete "$INSTDIR\Harrowmere.dmp"
  Delete "$INSTDIR\Harrowmere-crash.txt"
  Delete "$INSTDIR\UpdateInfo.xml"
  Delete "$INSTDIR\AD.xml"
  ; Their download folders are emptied only inside a folder of our own name,
  ; never in a shared one such as a Windows folder that was typed in.
  ${GetFileName} "$INSTDIR" $0
  ${If} $0 == "${HM_NAME}"
    RMDir /r "$INSTDIR\Temp"
    RMDir /r "$INSTDIR\AD"
  ${EndIf}
  ; The log's fallback folder in the user's application data.
  SetShellVarContext current
  Delete "$APPDATA\${HM_NAME}\Harrowmere.dmp"
  Delete "$APPDATA\${HM_NAME}\Harrowmere-crash.txt"
  ${If} $RemoveUserData == ${BST_CHECKED}
    Delete "$INSTDIR\${HM_HIT_FILE}"
    Delete "$INSTDIR\${HM_LOG_FILE}"
    Delete "$INSTDIR\${HM_LOG_FILE}.old"
    Delete "$APPDATA\${HM_NAME}\${HM_LOG_FILE}"
    Delete "$APPDATA\${HM_NAME}\${HM_LOG_FILE}.old"
    DeleteRegKey HKCU "${HM_SETTINGS_KEY}"
  ${EndIf}
  RMDir "$APPDATA\${HM_NAME}"
  SetShellVarContext all

  Delete "$SMPROGRAMS\${HM_NAME}\${HM_NAME}.lnk"
  Delete "$SMPROGRAMS\${HM_NAME}\$(HM_UNINSTALL_SHORTCUT).lnk"
  RMDir "$SMPROGRAMS\${HM_NAME}"
  DeleteRegValue HKCU "${HM_RUN_KEY}" "${HM_RUN_VALUE}"
  DeleteRegKey HKLM "${HM_UNINSTALL_KEY}"
  Delete "$INSTDIR\${HM_UNINSTALLER}"
  ; Sensors an upgrade moved aside: gone now, or at the next start of Windows.
  Delete "$INSTDIR\HarrowmereSensor*.old"
  RMDir "$INSTDIR"
SectionEnd
