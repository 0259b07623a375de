; QelDat2012 for ATOK 2012: a per-user setup program that installs the dictionary with
; dicreg.exe and registers it into the user's ATOK dictionary sets.
;
; Built with NSIS 3 (makensis):
;   makensis -DVERSION=1.0.0 -DPROGRAM=dist/dicreg.exe -DDICTIONARY=QelDat2012.dic
;            -DOUTFILE=QelDat2012-setup.exe QelDat2012.nsi
; Add -DX64 for a 64-bit setup program (give it dicreg-x64.exe as PROGRAM).
;
; Installs into %LOCALAPPDATA%\QelDat2012 unless told otherwise (/D= comes last, unquoted):
;   QelDat2012-setup.exe /S /D=D:\辞書\QelDat 2012
; Removed from "Apps" or quietly with the uninstaller it leaves:
;   "%LOCALAPPDATA%\QelDat2012\uninstall.exe" /S

Unicode true
!ifdef X64
  Target amd64-unicode
!endif
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelDat2012"

Name "QelDat2012"
OutFile "${OUTFILE}"
; Per user, without elevation: dicreg must run as the user whose ATOK settings it edits.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\QelDat2012"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=dicreg.exe" "${PROGRAM}"
  File "/oname=QelDat2012.dic" "${DICTIONARY}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Registered once the files are in place. Status 1: no dictionary set took it, and the user
  ; has seen dicreg's message box; the install still completes and keeps its files.
  ExecWait '"$INSTDIR\dicreg.exe" "$INSTDIR\QelDat2012.dic"' $0
  ${If} $0 == 0
    DetailPrint "QelDat2012 is registered in ATOK 2012."
  ${ElseIf} $0 == 1
    DetailPrint "ATOK 2012 has no dictionary set to take QelDat2012 yet."
  ${Else}
    DetailPrint "dicreg.exe ended with status $0."
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "QelDat2012"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "QelDat2012 publisher"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Removed while dicreg.exe is still there; $INSTDIR is the folder the uninstaller was in.
  ExecWait '"$INSTDIR\dicreg.exe" /uninst' $0
  ${If} $0 != 0
    DetailPrint "dicreg.exe /uninst ended with status $0."
  ${EndIf}
  Delete "$INSTDIR\dicreg.exe"
  Delete "$INSTDIR\QelDat2012.dic"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
