; Vesk's installer: a 64-bit NSIS installer, built by scripts/package with
;   makensis -INPUTCHARSET UTF8 -DVERSION=X.Y.Z -DSTAGE=<files> -DUNINSTALL_LIST=<nsh> \
;            -DINSTALLED_LIST=<lst> -DOUTFILE=<exe> vesk.nsi
; INSTALLED_LIST names the same files as UNINSTALL_LIST, one a line in UTF-16LE
; (folders end in "\"); it is installed as unins000.lst, so that the next
; version removes exactly what this one installed.
;
; Vesk's updater starts it with
;   /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /CLOSEAPPLICATIONS /RELAUNCH=1
; and takes unins000.exe beside Vesk.exe as the mark of an installed copy, so
; we understand exactly those switches besides NSIS's own /S and /D=:
;   /VERYSILENT        no window at all (the same as /S)
;   /SUPPRESSMSGBOXES  every question takes its default answer; NSIS already
;                      does this in a silent run, so the switch only has to be
;                      accepted (it means nothing without a silent switch)
;   /NORESTART         accepted: we never restart Windows
;   /CLOSEAPPLICATIONS a Vesk.exe running from the install folder is asked to
;                      close (WM_CLOSE to its main window) and waited for; if
;                      it will not close, nothing is installed and we fail
;   /RELAUNCH=1        the installed Vesk.exe is started when we are done
; Per user, no administrator rights: %LOCALAPPDATA%\Programs\Vesk.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS Win10

!ifndef VERSION | STAGE | UNINSTALL_LIST | INSTALLED_LIST | OUTFILE
  !error "scripts/package passes VERSION, STAGE, UNINSTALL_LIST, INSTALLED_LIST and OUTFILE"
!endif

; scripts/package --sign-pfx passes SIGN_COMMAND, which signs a file in place:
; unins000.exe is signed here, before it is packed into the setup, so the
; copy WriteUninstaller puts beside Vesk.exe carries the signature.
!ifdef SIGN_COMMAND
  !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
!endif

!define APP "Vesk"
; One fixed identity: a newer setup finds the older install here and upgrades it in place.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesk"
!define PROGID "Vesk.Markdown"
!define WINDOW_CLASS "VeskNativeWindow"
!define NOT_EMPTY_TEXT "所选文件夹不是空的。$\r$\n$\r$\n请选择一个空文件夹，或已安装 Vesk 的文件夹。"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh
!include x64.nsh
!include StrFunc.nsh
${StrStr}

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${APP}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "${APP} 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${APP}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${APP}"

!define MUI_ICON "${__FILEDIR__}/vesk.ico"
!define MUI_UNICON "${__FILEDIR__}/vesk.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vesk.exe"
!define MUI_FINISHPAGE_RUN_TEXT "启动 Vesk"

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Var CloseApplications
Var Relaunch

; --- switches shared by the installer and unins000.exe -------------------------------
!macro READ_SWITCHES prefix
Function ${prefix}ReadSwitches
  ${${prefix}GetParameters} $R0
  ClearErrors
  ${${prefix}GetOptions} $R0 "/VERYSILENT" $R1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  ClearErrors
  ${${prefix}GetOptions} $R0 "/CLOSEAPPLICATIONS" $R1
  ${IfNot} ${Errors}
    StrCpy $CloseApplications 1
  ${EndIf}
  ClearErrors
  ${${prefix}GetOptions} $R0 "/RELAUNCH=" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == "1"
    StrCpy $Relaunch 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro READ_SWITCHES ""
!insertmacro READ_SWITCHES "un."

!macro REQUIRE_WINDOWS_10_X64
  ${IfNot} ${RunningX64}
  ${OrIfNot} ${AtLeastWin10}
    MessageBox MB_OK|MB_ICONSTOP "Vesk 需要 64 位 Windows 10 或更高版本。" /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
!macroend

; --- a running Vesk from the install folder ------------------------------------------
; Returns in $R9 how many of its windows would not close. Each window found
; whose process runs $INSTDIR\Vesk.exe gets WM_CLOSE; we then wait for that
; process to end, which is when its files can be replaced.
!macro CLOSE_RUNNING prefix
Function ${prefix}CloseRunningVesk
  StrCpy $R9 0
  StrCpy $R0 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p R0, w "${WINDOW_CLASS}", p 0) p .R0'
    ${If} $R0 P= 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1) i'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x101000, i 0, i R1) p .R2'
    ${If} $R2 P= 0
      ${Continue}
    ${EndIf}
    System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN}) i .R4'
    ${If} $R4 <> 0
    ${AndIf} $R3 == "$INSTDIR\Vesk.exe"
      DetailPrint "正在关闭 Vesk…"
      System::Call 'user32::PostMessageW(p R0, i 0x0010, p 0, p 0)'
      ; A document with unsaved changes asks its user first: give them time.
      System::Call 'kernel32::WaitForSingleObject(p R2, i 60000) i .R5'
      ${If} $R5 <> 0
        IntOp $R9 $R9 + 1
      ${Else}
        StrCpy $R0 0  ; that window is gone: start the search again
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R2)'
  ${Loop}
  ; A Vesk whose window is already gone may still be ending and hold its
  ; files: a file that cannot be written now would be skipped, leaving a
  ; mix of two versions. Wait for both to be free, or fail as a Vesk that
  ; would not close does.
  StrCpy $R6 0
  ${Do}
    StrCpy $R8 0
    ${If} ${FileExists} "$INSTDIR\Vesk.exe"
      ClearErrors
      FileOpen $R7 "$INSTDIR\Vesk.exe" a
      ${If} ${Errors}
        StrCpy $R8 1
      ${Else}
        FileClose $R7
      ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\WebView2Loader.dll"
      ClearErrors
      FileOpen $R7 "$INSTDIR\WebView2Loader.dll" a
      ${If} ${Errors}
        StrCpy $R8 1
      ${Else}
        FileClose $R7
      ${EndIf}
    ${EndIf}
    ${If} $R8 = 0
      ${Break}
    ${EndIf}
    IntOp $R6 $R6 + 1
    ${If} $R6 > 120
      IntOp $R9 $R9 + 1
      ${Break}
    ${EndIf}
    Sleep 250
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

!macro ENSURE_CLOSED prefix
  Call ${prefix}CloseRunningVesk
  ${If} $R9 <> 0
    MessageBox MB_OK|MB_ICONSTOP "Vesk 仍在运行，无法继续。请先保存并关闭 Vesk，然后重试。" /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
!macroend

; --- the install folder ---------------------------------------------------------------
; $R0 = 1 when $INSTDIR may take Vesk: missing, empty, or a Vesk installation
; (Vesk.exe with unins000.exe beside it). Any other folder holds someone's
; files, which an install or a later uninstall must not touch.
Function CheckInstallFolder
  StrCpy $R0 1
  ${If} ${FileExists} "$INSTDIR\Vesk.exe"
  ${AndIf} ${FileExists} "$INSTDIR\unins000.exe"
    Return
  ${EndIf}
  ClearErrors
  FindFirst $R1 $R2 "$INSTDIR\*.*"
  ${DoUntil} ${Errors}
    ${If} $R2 != "."
    ${AndIf} $R2 != ".."
    ${AndIf} $R2 != ""
      StrCpy $R0 0
      ${Break}
    ${EndIf}
    FindNext $R1 $R2
  ${Loop}
  FindClose $R1
FunctionEnd

Function DirectoryLeave
  Call CheckInstallFolder
  ${If} $R0 = 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "${NOT_EMPTY_TEXT}"
    Abort
  ${EndIf}
FunctionEnd

; Removes what the version installed here before listed in unins000.lst, and
; nothing else: a file of the user's in the folder stays. A line that would
; leave the folder is skipped.
Function RemovePreviousFiles
  ${IfNot} ${FileExists} "$INSTDIR\unins000.lst"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $R1 "$INSTDIR\unins000.lst" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileReadUTF16LE $R1 $R2
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${Do}
      StrCpy $R3 $R2 1 -1
      ${If} $R3 != "$\r"
      ${AndIf} $R3 != "$\n"
        ${Break}
      ${EndIf}
      StrCpy $R2 $R2 -1
    ${Loop}
    StrCpy $R3 $R2 1
    ${StrStr} $R4 $R2 ".."
    ${StrStr} $R5 $R2 ":"
    ${If} $R2 == ""
    ${OrIf} $R3 == "\"
    ${OrIf} $R3 == "/"
    ${OrIf} $R4 != ""
    ${OrIf} $R5 != ""
      ${Continue}
    ${EndIf}
    StrCpy $R3 $R2 1 -1
    ${If} $R3 == "\"
      StrCpy $R2 $R2 -1
      RMDir "$INSTDIR\$R2"
    ${Else}
      Delete "$INSTDIR\$R2"
    ${EndIf}
  ${Loop}
  FileClose $R1
FunctionEnd

Function .onInit
  Call ReadSwitches  ; first: a silent run must not stop at the message below
  !insertmacro REQUIRE_WINDOWS_10_X64
  SetShellVarContext current
FunctionEnd

Section "Vesk"
  ; Also for a folder given with /D= or named by an older uninstall entry.
  Call CheckInstallFolder
  ${If} $R0 = 0
    MessageBox MB_OK|MB_ICONSTOP "${NOT_EMPTY_TEXT}" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; Without /CLOSEAPPLICATIONS a person is watching: ask before closing their Vesk.
  ${If} $CloseApplications != 1
    System::Call 'user32::FindWindowW(w "${WINDOW_CLASS}", p 0) p .R0'
    ${If} $R0 P<> 0
      MessageBox MB_OKCANCEL|MB_ICONINFORMATION "安装前需要关闭正在运行的 Vesk。点击“确定”关闭它并继续。" /SD IDOK IDOK close_accepted
      SetErrorLevel 5
      Quit
      close_accepted:
    ${EndIf}
  ${EndIf}
  !insertmacro ENSURE_CLOSED ""

  ; The files of an older version must not outlive it, and nothing else goes.
  Call RemovePreviousFiles
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  File "/oname=unins000.lst" "${INSTALLED_LIST}"
  WriteUninstaller "$INSTDIR\unins000.exe"

  CreateShortCut "$SMPROGRAMS\Vesk.lnk" "$INSTDIR\Vesk.exe" "" "$INSTDIR\Vesk.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Vesk"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vesk"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vesk.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\unins000.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\unins000.exe" /VERYSILENT'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; "Open with Vesk" for .md and .markdown, leaving the user's default program alone.
  WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Markdown 文档"
  WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\Vesk.exe,0"
  WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\Vesk.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\.md\OpenWithProgids" "${PROGID}" ""
  WriteRegStr HKCU "Software\Classes\.markdown\OpenWithProgids" "${PROGID}" ""
  WriteRegStr HKCU "Software\Classes\Applications\Vesk.exe" "FriendlyAppName" "Vesk"
  WriteRegStr HKCU "Software\Classes\Applications\Vesk.exe\SupportedTypes" ".md" ""
  WriteRegStr HKCU "Software\Classes\Applications\Vesk.exe\SupportedTypes" ".markdown" ""
  WriteRegStr HKCU "Software\Classes\Applications\Vesk.exe\shell\open\command" "" '"$INSTDIR\Vesk.exe" "%1"'
  ; SHCNE_ASSOCCHANGED
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function .onInstSuccess
  ${If} $Relaunch == 1
    Exec '"$INSTDIR\Vesk.exe"'
  ${EndIf}
FunctionEnd

; --- unins000.exe ------------------------------------------------------------------------
Function un.onInit
  Call un.ReadSwitches
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  !insertmacro ENSURE_CLOSED "un."

  ; Only the files we installed, by name: a document the user saved in this
  ; folder keeps it (and the folder) alive.
  !include "${UNINSTALL_LIST}"
  ; The page file a Vesk that did not close normally left beside the welcome document.
  Delete "$INSTDIR\samples\.vesk-preview-*.html"
  RMDir "$INSTDIR\samples"
  Delete "$INSTDIR\unins000.lst"
  Delete "$INSTDIR\unins000.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Vesk.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Classes\${PROGID}"
  DeleteRegKey HKCU "Software\Classes\Applications\Vesk.exe"
  DeleteRegValue HKCU "Software\Classes\.md\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "Software\Classes\.md\OpenWithProgids"
  DeleteRegKey /ifempty HKCU "Software\Classes\.md"
  DeleteRegValue HKCU "Software\Classes\.markdown\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "Software\Classes\.markdown\OpenWithProgids"
  DeleteRegKey /ifempty HKCU "Software\Classes\.markdown"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
