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
; machine-wide: the installation's choices the tray program follows for each person
!define MACHINE_KEY "Software\Quellmark\Vantor32"
; A folder outside Program Files gets the rights Program Files has: owned by the
; Administrators, full control for SYSTEM and Administrators, read and execute for
; Users; nothing inherited from a parent that normal users may change. (The unit tests
; read the same file.)
!define /file FOLDER_SDDL "${__FILEDIR__}\folder-rights.sddl"
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
; an upgrade goes into the installed folder: no folder to choose
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolder
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
Var InstalledDir  ; the folder of the installed version, "" when none

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

; The owner and the access list of $INSTDIR as text ("" when they cannot be read).
!macro READ_FOLDER_SECURITY un
Function ${un}ReadFolderSecurity
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 ""
  ; OWNER | DACL
  System::Call 'advapi32::GetNamedSecurityInfoW(w "$INSTDIR", i 1, i 5, p 0, p 0, p 0, p 0, *p .r0) i .r1'
  ${If} $1 = 0
    System::Call 'advapi32::ConvertSecurityDescriptorToStringSecurityDescriptorW(p r0, i 1, i 5, *p .r2, p 0) i .r1'
    ${If} $1 <> 0
      System::Call '*$2(&w${NSIS_MAX_STRLEN} .r3)'
      System::Call 'kernel32::LocalFree(p r2) p'
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r0) p'
  ${EndIf}
  StrCpy $0 $3
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro READ_FOLDER_SECURITY ""
!insertmacro READ_FOLDER_SECURITY "un."

; ---------------------------------------------------------------- install


; A file that is still loaded (the hook library stays mapped in programs until they
; next read input) cannot be overwritten or deleted, but it can be renamed: the new file
; takes its place and the old one goes at the next restart. Each rename takes a spare
; name no file holds yet (PATH.N.alt): a spare of an earlier update may still be in use.
; Leaves "" on the stack when the file is gone, else the spare name or the path itself
; when it could not be moved.
!macro SPARE_FILE un
Function ${un}SpareFile
  Exch $0
  Push $1
  Push $2
  StrCpy $2 ""
  ${If} ${FileExists} "$0"
    ClearErrors
    Delete "$0"
    ${If} ${Errors}
      StrCpy $1 0
      ${Do}
        StrCpy $2 "$0.$1.alt"
        ${IfNot} ${FileExists} "$2"
          ClearErrors
          Rename "$0" "$2"
          ${IfNot} ${Errors}
            Delete /REBOOTOK "$2"
            ${Break}
          ${EndIf}
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 >= 100
          StrCpy $2 "$0"
          ${Break}
        ${EndIf}
      ${Loop}
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro SPARE_FILE ""
!insertmacro SPARE_FILE "un."

!macro FREE_FILE path
  Push "${path}"
  Call SpareFile
  Pop $0
  ${If} $0 == "${path}"
    DetailPrint "Nicht ersetzbar (wird verwendet): ${path}"
  ${EndIf}
!macroend

; Spare names left by updates: removed now, or at the next restart while in use.
!macro REMOVE_SPARES un dir
  Push $0
  Push $1
  FindFirst $0 $1 "${dir}\*.alt"
  ${DoWhile} $1 != ""
    ClearErrors
    Delete "${dir}\$1"
    ${If} ${Errors}
      Delete /REBOOTOK "${dir}\$1"
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Pop $1
  Pop $0
!macroend

; Whether a folder holds anything (a folder of our own installation is not asked).
Function FolderHasFiles
  Exch $0
  Push $1
  Push $2
  StrCpy $2 0
  FindFirst $1 $0 "$0\*.*"
  ${DoWhile} $0 != ""
    ${If} $0 != "."
    ${AndIf} $0 != ".."
      StrCpy $2 1
      ${Break}
    ${EndIf}
    FindNext $1 $0
  ${Loop}
  FindClose $1
  StrCpy $0 $2
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Inside Program Files the folder has Windows' rights already.
Function InProgramFiles
  Push $0
  Push $1
  !if "${ARCH}" == "amd64"
    StrCpy $1 "$PROGRAMFILES64\"
  !else
    StrCpy $1 "$PROGRAMFILES\"
  !endif
  StrLen $0 $1
  StrCpy $0 "$INSTDIR\" $0
  ${If} $0 == $1
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

Function SkipFolderOnUpgrade
  ${If} $InstalledDir != ""
    Abort
  ${EndIf}
FunctionEnd

; A folder outside Program Files that already holds files: anything planted there by a
; normal user would stay beside the programs administrators run. Refused.
Function CheckFolder
  ${If} $InstalledDir != ""
    Return
  ${EndIf}
  Call InProgramFiles
  Pop $0
  ${If} $0 = 1
    Return
  ${EndIf}
  Push "$INSTDIR"
  Call FolderHasFiles
  Pop $0
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONSTOP "Der Ordner $\"$INSTDIR$\" enthält schon Dateien. Wählen Sie einen leeren oder neuen Ordner: Vantor32 wird mit Administratorrechten daraus ausgeführt." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; The rights of Program Files for a folder elsewhere, written before any file goes in
; (new files inherit them). Their text as Windows reads them back is kept in the
; uninstall entry, which only administrators can change: the uninstaller compares before
; it runs a program from the folder.
Function ProtectFolder
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Call InProgramFiles
  Pop $0
  ${If} $0 = 1
    DeleteRegValue HKLM "${UNINST_KEY}" "FolderSecurity"
  ${Else}
    StrCpy $5 ""
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SDDL}", i 1, *p .r0, p 0) i .r1'
    ${If} $1 <> 0
      System::Call 'advapi32::GetSecurityDescriptorOwner(p r0, *p .r2, *i .r4) i'
      System::Call 'advapi32::GetSecurityDescriptorDacl(p r0, *i .r4, *p .r3, *i .r4) i'
      ; OWNER | DACL | PROTECTED_DACL, on the folder and what it holds
      System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r2, p 0, p r3, p 0) i .r1'
      System::Call 'kernel32::LocalFree(p r0) p'
      ${If} $1 = 0
        Call ReadFolderSecurity
        Pop $5
      ${EndIf}
    ${EndIf}
    ${If} $5 == ""
      MessageBox MB_OK|MB_ICONSTOP "Die Rechte des Ordners $\"$INSTDIR$\" ließen sich nicht setzen." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    WriteRegStr HKLM "${UNINST_KEY}" "FolderSecurity" $5
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call CloseTray
  ${If} $InstalledDir == ""
    ; a silent install has no folder page: the same check
    Call CheckFolder
  ${EndIf}
  CreateDirectory "$INSTDIR"
  Call ProtectFolder
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

; Nothing is written for the person here: this process may run with another
; administrator's credentials. The tray program, started as each person, writes the
; autostart value at its first start when the installation chose it.
Section "Mit Windows starten" SecAutostart
SectionEnd

Section "-choices"
  ${If} ${SectionIsSelected} ${SecAutostart}
    WriteRegDWORD HKLM "${MACHINE_KEY}" "Autostart" 1
  ${Else}
    WriteRegDWORD HKLM "${MACHINE_KEY}" "Autostart" 0
  ${EndIf}
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
    ${If} ${Silent}
      StrCpy $0 "$0 /Q"  ; nobody there to confirm a box
    ${EndIf}
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
  StrCpy $InstalledDir ""
  ReadRegStr $0 HKLM "${UNINST_KEY}" "UninstallString"
  ReadRegStr $1 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""  ; an upgrade: into the installed folder, whatever /D says
  ${AndIf} $1 != ""
    StrCpy $InstalledDir $1
    StrCpy $INSTDIR $1
    ; the installation's earlier choice for new users; each person's own is in the
    ; tray menu and stays
    ClearErrors
    ReadRegDWORD $2 HKLM "${MACHINE_KEY}" "Autostart"
    ${If} ${Errors}
      ReadRegStr $2 HKCU "${RUN_KEY}" "${RUN_VALUE}"
      ${If} $2 == ""
        !insertmacro UnselectSection ${SecAutostart}
      ${EndIf}
    ${ElseIf} $2 = 0
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
FunctionEnd

LangString DESC_Program ${LANG_GERMAN} "Das Programm im Infobereich, die Tastatur-Bibliotheken, die Diagnoseanzeige und VtInst."
LangString DESC_Autostart ${LANG_GERMAN} "${PRODUCT} startet bei jeder Anmeldung (für jeden Benutzer ab seinem ersten Start von ${PRODUCT})."
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
      ; Under a spare name: a new installation before the restart must not lose its
      ; own file of that name when the restart removes this one.
      Push "$0"
      Call un.SpareFile
      Pop $1
      ${If} $1 == "$0"
        Delete /REBOOTOK "$0"
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

; Whether the programs in $INSTDIR may be run with administrator rights: inside
; Program Files, or with the rights the setup gave the folder, unchanged since.
Function un.FolderTrusted
  Push $0
  Push $1
  StrCpy $1 1
  ReadRegStr $0 HKLM "${UNINST_KEY}" "FolderSecurity"
  ${If} $0 != ""
    Call un.ReadFolderSecurity
    Pop $1
    ${If} $1 == $0
      StrCpy $1 1
    ${Else}
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd

Section "Uninstall"
  Call un.CloseTray
  Call un.FolderTrusted
  Pop $2
  ${If} $2 = 0
    DetailPrint "VtInst wird nicht ausgeführt: Die Rechte des Ordners wurden geändert."
    MessageBox MB_OK|MB_ICONEXCLAMATION "Die Rechte des Ordners $\"$INSTDIR$\" wurden seit der Installation geändert. VtInst.exe wird deshalb nicht mit Administratorrechten ausgeführt: Einstellungen und eine Tastenumbelegung bleiben." /SD IDOK
  ${ElseIf} ${FileExists} "$INSTDIR\VtInst.exe"
    ; The setup tool asks what to remove of the settings, macros and sound choices of
    ; the person it names and removes them; a silent uninstall waits for nobody and
    ; keeps them all.
    ${IfNot} ${Silent}
      DetailPrint "VtInst /U: Einstellungen entfernen"
      ExecWait '"$INSTDIR\VtInst.exe" /U'
      Call un.CloseTray  ; in case it was started meanwhile
    ${EndIf}
    ; Whatever was chosen there: the keyboard gets back the map from before.
    DetailPrint "VtInst /M /Q: Tastenumbelegung aufheben"
    ExecWait '"$INSTDIR\VtInst.exe" /M /Q' $1
    ${If} $1 != 0
      DetailPrint "Die Tastenumbelegung ließ sich nicht aufheben (VtInst: $1)."
    ${EndIf}
  ${EndIf}

  !insertmacro REMOVE_FILE "$INSTDIR\Vantor32.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\Vt32Util.dll"
  !insertmacro REMOVE_FILE "$INSTDIR\vtview.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\VtInst.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\Vantor32x86.exe"
  !insertmacro REMOVE_FILE "$INSTDIR\x86\Vt32Util.dll"
  ; leftovers of updates that replaced a file in use
  !insertmacro REMOVE_SPARES "un." "$INSTDIR"
  !insertmacro REMOVE_SPARES "un." "$INSTDIR\x86"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${MACHINE_KEY}"
  DeleteRegKey /ifempty HKLM "Software\${PUBLISHER}"
  ; What this account can reach of the tray program's registrations (VtInst /U removed
  ; them for the person it named); other accounts keep theirs, see the README.
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
