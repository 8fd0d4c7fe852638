; The installer of Cloakwise, built on Linux by scripts/package:
;   makensis -DVERSION=1.0 -DEXE=... -DREADME=... -DICON=... -DOUTFILE=... cloakwise.nsi
; It installs for the current user alone, so it needs no administrator: the
; program keeps options.ini beside itself and changes only the user's own
; settings.

; The program is 64-bit, so the installer is too: it then sees the same
; registry and folders as the program, never the 32-bit views.
Target amd64-unicode
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cloakwise"
; Where the program itself registers, by the names it uses.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Cloakwise"
!define LAYERS_KEY "Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers"
!define MAIN_WINDOW_CLASS "CloakwiseMain"

Name "Cloakwise"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Cloakwise"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICON}"
UninstallIcon "${ICON}"
ShowInstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "Cloakwise"
VIAddVersionKey /LANG=1033 "CompanyName" "Cloakwise"
VIAddVersionKey /LANG=1033 "FileDescription" "Cloakwise Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Cloakwise"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Ends a running copy the way its tray menu's Close does, so that it clears
; the proxies it installed before its files go. WM_CLOSE to its main window
; runs that same exit; a copy that does not end in time (it may be showing a
; message, or run with more rights than ours) is left to the user.
!macro CLOSE_RUNNING_COPY un
Function ${un}CloseRunningCopy
  close:
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 == 0
    Return
  ${EndIf}
  DetailPrint "Closing the running Cloakwise"
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    Sleep 2000
  ${EndIf}
  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 != 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Cloakwise is still running. Close it from its tray menu, then choose Retry." \
      /SD IDCANCEL IDRETRY close
    Abort "Cloakwise is still running."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Cloakwise"
  Call CloseRunningCopy
  SetOutPath "$INSTDIR"
  File "/oname=cloakwise.exe" "${EXE}"
  File "/oname=readme.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Cloakwise.lnk" "$INSTDIR\cloakwise.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Cloakwise"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Cloakwise"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\cloakwise.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.CloseRunningCopy

  ; A run that was killed may have left its proxy in place of the user's own
  ; settings, and the program will not start again to put them back: it does
  ; so now, being the one that knows what they were.
  ${If} ${FileExists} "$INSTDIR\cloakwise.exe"
    ExecWait '"$INSTDIR\cloakwise.exe" /restore' $0
    ${If} $0 != 0
      DetailPrint "Cloakwise could not finish putting back your browsers' own settings ($0): Firefox or a Chromium browser had a profile open, or a profile's file could not be written"
    ${EndIf}
  ${EndIf}

  ; The start-up entry is removed only when it starts this copy: another
  ; copy, say a portable one, keeps its own.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\cloakwise.exe" /startup'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegValue HKCU "${LAYERS_KEY}" "$INSTDIR\cloakwise.exe"

  Delete "$SMPROGRAMS\Cloakwise.lnk"
  Delete "$INSTDIR\cloakwise.exe"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\uninstall.exe"

  ; options.ini holds the user's own proxy list. It goes only when the user
  ; says so; a silent uninstall, often the first half of a reinstall, keeps it.
  ${If} ${FileExists} "$INSTDIR\options.ini"
    MessageBox MB_YESNO|MB_ICONQUESTION \
      "Keep your settings and your proxy list (options.ini) for a later installation?" \
      /SD IDYES IDYES keep
    Delete "$INSTDIR\options.ini"
    keep:
  ${EndIf}
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
