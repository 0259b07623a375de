; QelDat2012 for ATOK 2012: a per-user setup program that installs the dictionary with
; dicreg.exe and registers it into the user's ATOK dictionary sets.
;
; Built with NSIS 3 (makensis):
;   makensis -DPROGRAM=dist/dicreg.exe -DDICTIONARY=QelDat2012.dic
;            -DOUTFILE=QelDat2012-setup.exe QelDat2012.nsi
; Add -DX64 for a 64-bit setup program (give it dicreg-x64.exe as PROGRAM), and -DSIGN= a command
; that signs the file it is given, to sign the uninstaller and the setup. The package's
; identity is the example's unless -DIDENTITY= names a UTF-8 file that defines PRODUCT,
; PUBLISHER and COPYRIGHT (and the same as VERBATIM_..., without $$ for $, for the version
; resource), and may define ICON (an .ico file), URL (the publisher's web page) and LICENSE (a
; licence text, UTF-8 with a byte-order mark); VERSION comes with -D.
;
; Installs into %LOCALAPPDATA%\QelDat2012, or the folder the user chooses, or /D= (last,
; unquoted):
;   QelDat2012-setup.exe /S /D=D:\辞書\QelDat 2012
; Run again, it offers the folder of the installed copy, installs over it and registers the
; dictionary again: that is how a user registers it after setting ATOK 2012 up. Over a newer
; version it stops, changing nothing (status 2).
; Removed from "Apps" or quietly with the uninstaller it leaves:
;   "%LOCALAPPDATA%\QelDat2012\uninstall.exe" /S

Unicode true
!ifdef X64
  Target amd64-unicode
!endif
!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include WordFunc.nsh

!ifdef IDENTITY
  !include /CHARSET=UTF8 "${IDENTITY}"
!endif
!ifndef PRODUCT
  !define PRODUCT "QelDat2012"
!endif
!ifndef PUBLISHER
  !define PUBLISHER "QelDat2012 publisher"
!endif
!ifndef COPYRIGHT
  !define COPYRIGHT "Copyright © ${PUBLISHER}"
!endif
!ifndef VERSION
  !define VERSION "1.0.0"
!endif
; The key and the folder keep the dictionary's own name, whatever the product is called.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelDat2012"

!ifdef SIGN
  ; Signed as makensis writes them: the uninstaller before the setup packs it, then the setup.
  !uninstfinalize '"${SIGN}" "%1"'
  !finalize '"${SIGN}" "%1"'
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Per user, without elevation: dicreg must run as the user whose ATOK settings it edits.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\QelDat2012"
; A copy installed before: its folder, which the install writes below.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
; The publisher's name at the foot of every page, in place of the engine's version.
BrandingText "${PUBLISHER}"
; The setup's file properties.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
!ifndef VERBATIM_PRODUCT
  !define VERBATIM_PRODUCT "${PRODUCT}"
  !define VERBATIM_PUBLISHER "${PUBLISHER}"
  !define VERBATIM_COPYRIGHT "${COPYRIGHT}"
!endif
VIAddVersionKey /LANG=0 "ProductName" "${VERBATIM_PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${VERBATIM_PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${VERBATIM_PRODUCT} セットアップ"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${VERBATIM_COPYRIGHT}"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif

; What the finish page says: whether the dictionary is registered, or what to do about it.
Var FinishText

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!ifdef LICENSE
  !insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!endif
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The user's Windows language picks one, without asking: Japanese on a Japanese Windows,
; English (the first) on any other.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString Registered ${LANG_ENGLISH} "${PRODUCT} is registered in ATOK 2012."
LangString Registered ${LANG_JAPANESE} "${PRODUCT} を ATOK 2012 に登録しました。"
LangString NoSet ${LANG_ENGLISH} "ATOK 2012 has no dictionary set to take ${PRODUCT} yet."
LangString NoSet ${LANG_JAPANESE} "ATOK 2012 に ${PRODUCT} を登録できる辞書セットがまだありません。"
LangString Failed ${LANG_ENGLISH} "dicreg.exe ended with status"
LangString Failed ${LANG_JAPANESE} "dicreg.exe が次の状態で終了しました:"
LangString FinishRegistered ${LANG_ENGLISH} "${PRODUCT} is installed and registered in ATOK 2012. It is ready to use.$\r$\n$\r$\nClick Finish to close this wizard."
LangString FinishRegistered ${LANG_JAPANESE} "${PRODUCT} をインストールし、ATOK 2012 に登録しました。すぐに使えます。$\r$\n$\r$\n[完了] をクリックすると、このウィザードを閉じます。"
LangString FinishNoSet ${LANG_ENGLISH} "${PRODUCT} is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information seems not to be set up. Set ATOK 2012 up, then run this setup again to register the dictionary.$\r$\n$\r$\nClick Finish to close this wizard."
LangString FinishNoSet ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、ATOK 2012 にはまだ登録していません。ATOK 2012 のユーザー情報が設定されていないようです。ATOK 2012 の設定を済ませてから、このセットアップをもう一度実行すると、辞書が登録されます。$\r$\n$\r$\n[完了] をクリックすると、このウィザードを閉じます。"
LangString FinishFailed ${LANG_ENGLISH} "${PRODUCT} is installed, but registering it in ATOK 2012 failed (dicreg.exe ended with status $0). Run this setup again to try once more.$\r$\n$\r$\nClick Finish to close this wizard."
LangString FinishFailed ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、ATOK 2012 への登録に失敗しました（dicreg.exe の終了コード $0）。このセットアップをもう一度実行して、登録をやり直してください。$\r$\n$\r$\n[完了] をクリックすると、このウィザードを閉じます。"
LangString UnFailed ${LANG_ENGLISH} "dicreg.exe /uninst ended with status"
LangString UnFailed ${LANG_JAPANESE} "dicreg.exe /uninst が次の状態で終了しました:"
LangString Newer ${LANG_ENGLISH} "A newer version of ${PRODUCT} ($0) is already installed. This setup (${VERSION}) is older, so it ends without changing anything."
LangString Newer ${LANG_JAPANESE} "${PRODUCT} の新しいバージョン（$0）がインストールされています。このセットアップのバージョン（${VERSION}）は古いため、何も変更せずに終了します。"

; Over a newer version, this older one stops before it changes anything; the same version runs,
; which is how a user registers the dictionary again.
Function .onInit
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
    ${VersionCompare} "$0" "${VERSION}" $1
    ${If} $1 == 1
      MessageBox MB_OK|MB_ICONSTOP "$(Newer)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=dicreg.exe" "${PROGRAM}"
  File "/oname=QelDat2012.dic" "${DICTIONARY}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Registered once the files are in place. Status 1: no dictionary set took it, and the user
  ; has seen dicreg's message box; the install still completes and keeps its files.
  ExecWait '"$INSTDIR\dicreg.exe" "$INSTDIR\QelDat2012.dic"' $0
  StrCpy $FinishText "$(FinishRegistered)"
  ${If} $0 == 0
    StrCpy $R0 "$(Registered)"
  ${ElseIf} $0 == 1
    StrCpy $R0 "$(NoSet)"
    StrCpy $FinishText "$(FinishNoSet)"
  ${Else}
    StrCpy $R0 "$(Failed) $0"
    StrCpy $FinishText "$(FinishFailed)"
  ${EndIf}
  DetailPrint "$R0"
  ; The details go with the window: setup.log keeps each run's answer for support (UTF-16).
  ${GetTime} "" "L" $1 $2 $3 $4 $5 $6 $7
  FileOpen $R1 "$INSTDIR\setup.log" a
  FileSeek $R1 0 END $R2
  ${If} $R2 == 0
    FileWriteWord $R1 0xFEFF
  ${EndIf}
  FileWriteUTF16LE $R1 "$3-$2-$1 $5:$6:$7 ${PRODUCT} ${VERSION}: $R0$\r$\n"
  FileClose $R1

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
!ifdef ICON
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
!endif
!ifdef URL
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${URL}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "HelpLink" "${URL}"
!endif
SectionEnd

Section "Uninstall"
  ; Removed while dicreg.exe is still there; $INSTDIR is the folder the uninstaller was in.
  ExecWait '"$INSTDIR\dicreg.exe" /uninst' $0
  ${If} $0 != 0
    DetailPrint "$(UnFailed) $0"
  ${EndIf}
  Delete "$INSTDIR\dicreg.exe"
  Delete "$INSTDIR\QelDat2012.dic"
  Delete "$INSTDIR\setup.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
