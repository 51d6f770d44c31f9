; Vantor32-Setup: installs, upgrades and removes the tray program, the hook libraries,
; the viewer and the setup tool. Built by the build trees' "setup" target:
;   makensis -INPUTCHARSET UTF8 -DARCH=amd64|x86 -DVERSION=1.2.3 -DBIN=<tree> [-DBIN32=<i686 tree>]
;            -DOUTFILE=<setup.exe> Vantor32.nsi
; ARCH amd64 is the setup for 64-bit Windows (it also installs the 32-bit companion and
; its library from BIN32); ARCH x86 the one for 32-bit Windows, with the 32-bit set only.
Unicode true

!ifndef ARCH | VERSION | BIN | OUTFILE
  !error "ARCH, VERSION, BIN and OUTFILE are required"
!endif
!if "${ARCH}" == "amd64"
  !ifndef BIN32
    !error "BIN32 (the i686 tree with the 32-bit companion) is required for ARCH=amd64"
  !endif
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH is amd64 or x86"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh

!define PRODUCT "Vantor32"
!define PUBLISHER "Quellmark"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantor32"
; Written exactly as the tray program's menu item "Mit Windows starten" writes it.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Vantor32"
!define UNINSTALLER "uninst.exe"
; the window the tray program owns (class and title)
!define HOST_WINDOW "Vantor32"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "amd64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; an upgrade goes where the installed version is
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1031 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "${PUBLISHER}"

; the tray program's own icon
!define MUI_ICON "${__FILEDIR__}\..\src\tray\icons\Vantor32.ico"
!define MUI_UNICON "${__FILEDIR__}\..\src\tray\icons\Vantor32.ico"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "Dieser Assistent installiert ${PRODUCT} ${VERSION}: das Programm im Infobereich der Taskleiste, die Tastatur-Bibliotheken, die Diagnoseanzeige und das Setup-Programm VtInst.$\r$\n$\r$\nEin laufendes ${PRODUCT} wird dabei beendet. Ihre Einstellungen und Makros bleiben erhalten.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; A restart is offered, never preselected: "Fertig stellen" pressed out of habit must not
; close every other program with its unsaved work.
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "German"

; ---------------------------------------------------------------- shared functions

Var TrayClosed  ; 1 when the setup closed a running tray program

; Asks a running tray program to close (WM_CLOSE to its window) and waits until its
; process has ended, so that its files and libraries can be replaced or removed.
!macro CLOSE_TRAY un
Function ${un}CloseTray
  Push $0
  Push $1
  Push $2
  Push $3
  FindWindow $0 "${HOST_WINDOW}" "${HOST_WINDOW}"
  ${If} $0 <> 0
    DetailPrint "${PRODUCT} wird beendet ..."
    StrCpy $TrayClosed 1
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"  ; SYNCHRONIZE
    System::Call "user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i"
    StrCpy $3 258  ; WAIT_TIMEOUT
    ${If} $2 <> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i 15000) i .r3"
      System::Call "kernel32::CloseHandle(p r2) i"
    ${EndIf}
    ${If} $3 <> 0
      MessageBox MB_OK|MB_ICONEXCLAMATION "${PRODUCT} hat sich nicht beendet. Dateien, die es noch verwendet, werden gemeldet." /SD IDOK
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_TRAY ""
!insertmacro CLOSE_TRAY "un."

; ---------------------------------------------------------------- install


; A file that is still loaded (the hook library stays mapped in programs until they
; next read input) cannot be overwritten, but it can be renamed: the new file takes its
; place and the old one goes at the next restart.
!macro FREE_FILE path
  ${If} ${FileExists} "${path}"
    ClearErrors
    Delete "${path}"
    ${If} ${Errors}
      Delete "${path}.alt"
      Rename "${path}" "${path}.alt"
      Delete /REBOOTOK "${path}.alt"
    ${EndIf}
  ${EndIf}
!macroend

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call CloseTray
  SetOutPath "$INSTDIR"
  !insertmacro FREE_FILE "$INSTDIR\Vantor32.exe"
  !insertmacro FREE_FILE "$INSTDIR\Vt32Util.dll"
  !insertmacro FREE_FILE "$INSTDIR\vtview.exe"
  !insertmacro FREE_FILE "$INSTDIR\VtInst.exe"
  File "${BIN}\Vantor32.exe"
  File "${BIN}\Vt32Util.dll"
  File "${BIN}\vtview.exe"
  File "${BIN}\VtInst.exe"
  !if "${ARCH}" == "amd64"
    ; 64-bit Windows: the companion hooks the 32-bit programs with the 32-bit library
    !insertmacro FREE_FILE "$INSTDIR\Vantor32x86.exe"
    File "${BIN32}\Vantor32x86.exe"
    SetOutPath "$INSTDIR\x86"
    !insertmacro FREE_FILE "$INSTDIR\x86\Vt32Util.dll"
    File "${BIN32}\Vt32Util.dll"
    SetOutPath "$INSTDIR"
  !endif

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Vantor32.exe" "" "$INSTDIR\Vantor32.exe" 0

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Vantor32.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Mit Windows starten" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Vantor32.exe"'
SectionEnd

SectionGroup "Tasten umbelegen (wirksam nach einem Neustart)" SecRemap
  Section /o "CAPSLOCK (Feststelltaste)" SecCaps
  SectionEnd
  Section /o "ROLLEN (Scroll Lock)" SecScroll
  SectionEnd
SectionGroupEnd

Section "-remap"
  StrCpy $0 ""
  ${If} ${SectionIsSelected} ${SecCaps}
    StrCpy $0 "$0 CAPSLOCK"
  ${EndIf}
  ${If} ${SectionIsSelected} ${SecScroll}
    StrCpy $0 "$0 SCROLLOCK"
  ${EndIf}
  ${If} $0 != ""
    DetailPrint "Tastenumbelegung:$0 (VtInst bestätigen)"
    ExecWait '"$INSTDIR\VtInst.exe" /M$0' $1
    ${If} $1 == 0
      DetailPrint "Die Tastenumbelegung wird nach einem Neustart wirksam."
      SetRebootFlag true
    ${Else}
      DetailPrint "Die Tastenumbelegung ist fehlgeschlagen (VtInst: $1)."
    ${EndIf}
  ${EndIf}
SectionEnd

Section "-start"
  ; Not from this elevated process: the tray program would run elevated and normal
  ; programs could no longer reach it or the viewer it starts. Explorer starts it as the
  ; person who is logged on. A silent upgrade starts again the program it closed, so an
  ; update does not leave the person without it until the next logon.
  ${IfNot} ${Silent}
  ${OrIf} $TrayClosed = 1
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\Vantor32.exe"'
  ${EndIf}
SectionEnd


Function .onInit
  SetShellVarContext all
  !if "${ARCH}" == "x86"
    ${If} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "Dieses Setup ist für 32-Bit-Windows. Verwenden Sie auf diesem Computer Vantor32-Setup.exe." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  !endif
  ReadRegStr $0 HKLM "${UNINST_KEY}" "UninstallString"
  ${If} $0 != ""  ; an upgrade
    ; whether it starts with Windows is the user's choice (the tray menu): kept
    ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $1 == ""
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
FunctionEnd

LangString DESC_Program ${LANG_GERMAN} "Das Programm im Infobereich, die Tastatur-Bibliotheken, die Diagnoseanzeige und VtInst."
LangString DESC_Autostart ${LANG_GERMAN} "${PRODUCT} startet bei jeder Anmeldung (für Sie)."
LangString DESC_Remap ${LANG_GERMAN} "Belegt die Tasten auf Treiberebene um (VtInst.exe /M). Ein Neustart wendet die Umbelegung an."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_Program)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} $(DESC_Autostart)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecRemap} $(DESC_Remap)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCaps} $(DESC_Remap)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecScroll} $(DESC_Remap)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---------------------------------------------------------------- uninstall

Var PendingRestart  ; 1 when a file is left for removal at the next restart

Function un.onInit
  SetShellVarContext all
  StrCpy $PendingRestart 0
FunctionEnd

; Removes one file; a file still in use is reported and, if the person agrees (always
; when silent), removed at the next restart.
Function un.RemoveFile
  Exch $0
  Push $1
  ${If} ${FileExists} "$0"
    StrCpy $1 0
    retry:
    ClearErrors
    Delete "$0"
    ${If} ${Errors}
      ; programs let go of the hook library at their next input after the tray
      ; program removed the hook: a few tries before it counts as in use
      IntOp $1 $1 + 1
      ${If} $1 < 10
        Sleep 300
        Goto retry
      ${EndIf}
      MessageBox MB_YESNO|MB_ICONEXCLAMATION "Die Datei $\"$0$\" wird noch verwendet und konnte nicht entfernt werden.$\r$\n$\r$\nSoll sie beim nächsten Neustart entfernt werden?" /SD IDYES IDNO keep
      ; Under another name: a new installation before the restart must not lose its
      ; own file of that name when the restart removes this one.
      Delete "$0.alt"
      ClearErrors
      Rename "$0" "$0.alt"
      ${If} ${Errors}
        Delete /REBOOTOK "$0"
      ${Else}
        Delete /REBOOTOK "$0.alt"
      ${EndIf}
      StrCpy $PendingRestart 1
      DetailPrint "Wird beim nächsten Neustart entfernt: $0"
      Goto done
      keep:
      DetailPrint "Nicht entfernt: $0"
      done:
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macro REMOVE_FILE path
  Push "${path}"
  Call un.RemoveFile
!macroend

; A sound event label is removed only when it is still the one the tray program wrote
; ("Vantor32: ..."): another program's label of the same event name stays.
!macro REMOVE_LABEL event
  ReadRegStr $0 HKCU "AppEvents\EventLabels\${event}" ""
  StrCpy $1 $0 10
  ${If} $1 == "Vantor32: "
    DeleteRegKey HKCU "AppEvents\EventLabels\${event}"
  ${EndIf}
!macroend

Section "Uninstall"
  Call un.CloseTray
  ; The setup tool asks what to remove of the settings, macros and sound choices and
  ; removes them; a silent uninstall waits for nobody and keeps them all.
  ${IfNot} ${Silent}
  ${AndIf} ${FileExists} "$INSTDIR\VtInst.exe"
    DetailPrint "VtInst /U: Einstellungen entfernen"
    ExecWait '"$INSTDIR\VtInst.exe" /U'
    Call un.CloseTray  ; in case it was started meanwhile
  ${EndIf}

  !insertmacro REMOVE_FILE "$INSTDIR\Vantor32.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\Vt32Util.dll"
  !insertmacro REMOVE_FILE "$INSTDIR\vtview.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\VtInst.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\Vantor32x86.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\x86\Vt32Util.dll"
  ; leftovers of an upgrade that replaced a file in use
  Delete /REBOOTOK "$INSTDIR\Vantor32.exe.alt"
  Delete /REBOOTOK "$INSTDIR\Vt32Util.dll.alt"
  Delete /REBOOTOK "$INSTDIR\vtview.exe.alt"
  Delete /REBOOTOK "$INSTDIR\VtInst.exe.alt"
  Delete /REBOOTOK "$INSTDIR\Vantor32x86.exe.alt"
  Delete /REBOOTOK "$INSTDIR\x86\Vt32Util.dll.alt"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  !insertmacro REMOVE_LABEL "Ein"
  !insertmacro REMOVE_LABEL "Aus"
  !insertmacro REMOVE_LABEL "Großschrift"
  !insertmacro REMOVE_LABEL "Rollen"
  !insertmacro REMOVE_LABEL "Zehnerblock"
  !insertmacro REMOVE_LABEL "NUM Punkt"
  !insertmacro REMOVE_LABEL "Umlaut"
  !insertmacro REMOVE_LABEL "EasyTab"

  ; last: the entry goes when everything else is done
  DeleteRegKey HKLM "${UNINST_KEY}"
  ${If} $PendingRestart = 1
    SetErrorLevel 3010  ; done, a restart completes it
  ${EndIf}
SectionEnd
