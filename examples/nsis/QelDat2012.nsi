; QelDat2012 for ATOK 2012: a per-user setup program that installs the dictionary with
; dicreg.exe and registers it into the user's ATOK dictionary sets.
;
; Built with NSIS 3 (makensis):
;   makensis -DPROGRAM=dist/dicreg.exe -DDICTIONARY=QelDat2012.dic
;            -DOUTFILE=QelDat2012-setup.exe QelDat2012.nsi
; Add -DX64 for a 64-bit setup program (give it dicreg-x64.exe as PROGRAM). The package's
; identity is the example's unless -DIDENTITY= names a UTF-8 file that defines PRODUCT,
; PUBLISHER and VERSION (or they are given with -D).
;
; Installs into %LOCALAPPDATA%\QelDat2012, or the folder the user chooses, or /D= (last,
; unquoted):
;   QelDat2012-setup.exe /S /D=D:\辞書\QelDat 2012
; Run again, it offers the folder of the installed copy, installs over it and registers the
; dictionary again: that is how a user registers it after setting ATOK 2012 up.
; Removed from "Apps" or quietly with the uninstaller it leaves:
;   "%LOCALAPPDATA%\QelDat2012\uninstall.exe" /S

Unicode true
!ifdef X64
  Target amd64-unicode
!endif
!include LogicLib.nsh

!ifdef IDENTITY
  !include /CHARSET=UTF8 "${IDENTITY}"
!endif
!ifndef PRODUCT
  !define PRODUCT "QelDat2012"
!endif
!ifndef PUBLISHER
  !define PUBLISHER "QelDat2012 publisher"
!endif
!ifndef VERSION
  !define VERSION "1.0.0"
!endif
; The key and the folder keep the dictionary's own name, whatever the product is called.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelDat2012"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Per user, without elevation: dicreg must run as the user whose ATOK settings it edits.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\QelDat2012"
; A copy installed before: its folder, which the install writes below.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
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
    DetailPrint "${PRODUCT} is registered in ATOK 2012."
  ${ElseIf} $0 == 1
    DetailPrint "ATOK 2012 has no dictionary set to take ${PRODUCT} yet. Set ATOK 2012 up, then run this setup again."
  ${Else}
    DetailPrint "dicreg.exe ended with status $0."
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
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
