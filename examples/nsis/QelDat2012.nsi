; QelDat2012 for ATOK 2012: a per-user setup program that installs the dictionary with
; dicreg.exe and registers it into the user's ATOK dictionary sets. dicreport.exe goes beside them,
; with two Start menu entries: the status report, and registering the dictionary again.
;
; Built with NSIS 3 (makensis), on Windows as on Linux:
;   makensis -DPROGRAM=dicreg.exe -DREPORT=dicreport.exe -DDICTIONARY=QelDat2012.dic
;            -DOUTFILE=QelDat2012-setup.exe QelDat2012.nsi
; Keep this file in UTF-8 with its byte-order mark: without it, makensis on Windows reads every
; Japanese text in the system's code page.
; Add -DX64 for a 64-bit setup program (give it dicreg-x64.exe as PROGRAM and dicreport-x64.exe
; as REPORT), and -DSIGN= a command
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
; dictionary again, as the Start menu entry does. Over a newer
; version it stops, changing nothing (status 2).
; Removed from "Apps" or quietly with the uninstaller it leaves:
;   "%LOCALAPPDATA%\QelDat2012\uninstall.exe" /S
;
; What happens to the registration is dicreport's to decide, the same for every engine:
; "dicreport.exe /install <product>" after the files are in place (with /silent when nobody is at
; the screen: dicreg then runs only when a dictionary set in use can take the dictionary), and
; "dicreport.exe /uninstall <product>" before they go. When no set can take it, a startup entry
; named after the product registers it at a later sign-in. Each version's dictionary has a
; folder of its own, so that ATOK 2012 holding the previous one open never keeps the new one
; out; dicreport deletes the earlier ones that no set names, one held open at the next sign-in.
; This script only says, in the user's language, what dicreport's status tells. Everything is
; per user (HKCU).

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
; The Start menu entries, named in the user's language: both languages' are removed.
!define MENU "$SMPROGRAMS\${PRODUCT}"
!define REPORT_EN "Dictionary status report"
!define REPORT_JA "登録状況レポート"
!define AGAIN_EN "Register in ATOK 2012 again"
!define AGAIN_JA "ATOK 2012 に再登録"
!macro DeleteEntries
  Delete "${MENU}\${REPORT_EN}.lnk"
  Delete "${MENU}\${REPORT_JA}.lnk"
  Delete "${MENU}\${AGAIN_EN}.lnk"
  Delete "${MENU}\${AGAIN_JA}.lnk"
!macroend

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

; What the finish page says: whether the dictionary is registered, or what to do about it;
; and whether it asks to show the report.
Var FinishText
Var ShowReport

; dicreport's status, taken apart: what became of the registration ($1, 0 to 5), dicreg's own
; status when it failed ($2), and its flags ($3): 16 an earlier dictionary is held open until the
; next sign-in, 32 one stays because a dictionary set names it, 64 this Windows says log on and
; log off, 128 one held open that no command at a sign-in can delete. -1: it did not start.
!macro Outcome STATUS
  StrCpy $1 4
  StrCpy $2 ""
  StrCpy $3 0
  ${IfNot} ${Errors}
    IntOp $1 ${STATUS} & 15
    IntOp $2 ${STATUS} >> 16
    IntOp $3 ${STATUS} & 0xFFF0
  ${EndIf}
!macroend

; A flag's sentence, added to the log's line and the finish page.
!macro SayFlag FLAG TEXT
  IntOp $R9 $3 & ${FLAG}
  ${If} $R9 != 0
    ; Japanese sentences follow one another without a space.
    ${If} $LANGUAGE == ${LANG_JAPANESE}
      StrCpy $R0 "$R0${TEXT}"
    ${Else}
      StrCpy $R0 "$R0 ${TEXT}"
    ${EndIf}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\n${TEXT}"
  ${EndIf}
!macroend

; Windows XP, Vista and 7 speak of logging on and off, later ones of signing in and out.
!macro LogOnWords VAR
  IntOp $R9 $3 & 64
  ${If} $R9 != 0
    ${WordReplace} "${VAR}" "$(SignOutWord)" "$(LogOffWord)" "+" ${VAR}
    ${WordReplace} "${VAR}" "$(SignInWord)" "$(LogOnWord)" "+" ${VAR}
    ${WordReplace} "${VAR}" "$(SignInNoun)" "$(LogOnNoun)" "+" ${VAR}
  ${EndIf}
!macroend

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!ifdef LICENSE
  !insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!endif
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN "$INSTDIR\dicreport.exe"
!define MUI_FINISHPAGE_RUN_TEXT "$(ShowReport)"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShown
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The user's Windows language picks one, without asking: Japanese on a Japanese Windows,
; English (the first) on any other.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString Registered ${LANG_ENGLISH} "${PRODUCT} is registered in ATOK 2012."
LangString Registered ${LANG_JAPANESE} "${PRODUCT} を ATOK 2012 に登録しました。"
LangString NotStarted ${LANG_ENGLISH} "dicreg.exe could not be started."
LangString NotStarted ${LANG_JAPANESE} "dicreg.exe を起動できませんでした。"
LangString Partly ${LANG_ENGLISH} "${PRODUCT} is registered in ATOK 2012, but not in every dictionary set in use."
LangString Partly ${LANG_JAPANESE} "${PRODUCT} を ATOK 2012 に登録しましたが、使用中の辞書セットの一部には登録できませんでした。"
LangString NoSet ${LANG_ENGLISH} "ATOK 2012 has no dictionary set to take ${PRODUCT} yet: it registers by itself at the first sign-in after one can."
LangString NoSet ${LANG_JAPANESE} "ATOK 2012 に ${PRODUCT} を登録できる辞書セットがまだありません。登録できるようになったあと、最初のサインインで自動的に登録されます。"
LangString NoSetOff ${LANG_ENGLISH} "ATOK 2012 has no dictionary set to take ${PRODUCT} yet, and its startup entry is switched off or could not be made: once one can, choose $\"${AGAIN_EN}$\" in the Start menu."
LangString NoSetOff ${LANG_JAPANESE} "ATOK 2012 に ${PRODUCT} を登録できる辞書セットがまだありません。自動的に登録するスタートアップの項目が無効になっているか、作成できなかったため、サインイン時には登録されません。登録できるようになったら、スタート メニューの「${AGAIN_JA}」を実行してください。"
LangString SignInAgain ${LANG_ENGLISH} "The previous version's dictionary is held open by ATOK 2012: ATOK 2012 uses the new one after you sign out of Windows and sign in again. At that sign-in a command prompt window may flash briefly as the previous dictionary is deleted."
LangString SignInAgain ${LANG_JAPANESE} "以前のバージョンの辞書を ATOK 2012 が開いたままにしています。Windows からサインアウトしてサインインし直すと、ATOK 2012 が新しい辞書を使うようになります。そのサインインのとき、以前の辞書を削除するために、コマンド プロンプトのウィンドウが一瞬表示されることがあります。"
LangString Kept ${LANG_ENGLISH} "The previous version's dictionary stays, as a dictionary set that cannot be changed still names it; the status report says which."
LangString Kept ${LANG_JAPANESE} "変更できない辞書セットに以前のバージョンの辞書が登録されているため、その辞書は残してあります。該当する辞書セットは、登録状況レポートでご確認ください。"
LangString NoCleanup ${LANG_ENGLISH} "The previous version's dictionary is held open by ATOK 2012, and the installed folder's path is too long to have it deleted at the next sign-in: sign out of Windows and sign in again, then delete the previous version's folder in $INSTDIR."
LangString NoCleanup ${LANG_JAPANESE} "以前のバージョンの辞書を ATOK 2012 が開いたままにしています。インストール先のフォルダーのパスが長すぎるため、次のサインイン時に削除できません。Windows からサインアウトしてサインインし直したあと、$INSTDIR にある以前のバージョンのフォルダーを削除してください。"
LangString SignInWord ${LANG_ENGLISH} "sign in"
LangString SignInWord ${LANG_JAPANESE} "サインイン"
LangString SignOutWord ${LANG_ENGLISH} "sign out of"
LangString SignOutWord ${LANG_JAPANESE} "サインアウト"
LangString LogOnWord ${LANG_ENGLISH} "log on"
LangString LogOnWord ${LANG_JAPANESE} "ログオン"
LangString LogOffWord ${LANG_ENGLISH} "log off"
LangString LogOffWord ${LANG_JAPANESE} "ログオフ"
LangString SignInNoun ${LANG_ENGLISH} "sign-in"
LangString SignInNoun ${LANG_JAPANESE} "サインイン"
LangString LogOnNoun ${LANG_ENGLISH} "logon"
LangString LogOnNoun ${LANG_JAPANESE} "ログオン"
LangString Failed ${LANG_ENGLISH} "dicreg.exe ended with status"
LangString Failed ${LANG_JAPANESE} "dicreg.exe の終了コード:"
LangString FinishRegistered ${LANG_ENGLISH} "${PRODUCT} is installed and registered in ATOK 2012. ATOK 2012 uses it once it reads its settings again: at the latest after you sign out of Windows and sign in again."
LangString FinishRegistered ${LANG_JAPANESE} "${PRODUCT} をインストールし、ATOK 2012 に登録しました。ATOK 2012 が設定を読み込み直すと使えるようになります。すぐに使えない場合は、Windows からサインアウトしてサインインし直してください。"
LangString FinishPartly ${LANG_ENGLISH} "${PRODUCT} is installed and registered in ATOK 2012, but some dictionary sets in use did not take it. The status report says which, and what to do."
LangString FinishPartly ${LANG_JAPANESE} "${PRODUCT} をインストールし、ATOK 2012 に登録しましたが、使用中の辞書セットの一部には登録できませんでした。該当する辞書セットと対処方法は、登録状況レポートでご確認ください。"
LangString FinishNoSet ${LANG_ENGLISH} "${PRODUCT} is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information is not set up, or no dictionary set in use has a free slot (the status report says which). It registers by itself at the first sign-in to Windows after that is mended."
LangString FinishNoSet ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、ATOK 2012 にはまだ登録されていません。ATOK 2012 のユーザー情報が未設定か、使用中の辞書セットに空きがないためと考えられます（原因は登録状況レポートでご確認ください）。登録できるようになったあと、最初に Windows にサインインしたときに自動的に登録されます。"
LangString FinishNoSetOff ${LANG_ENGLISH} "${PRODUCT} is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information is not set up, or no dictionary set in use has a free slot (the status report says which). Its startup entry, which would register it at a sign-in, is switched off or could not be made: once that is mended, choose $\"${AGAIN_EN}$\" in the Start menu (${PRODUCT})."
LangString FinishNoSetOff ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、ATOK 2012 にはまだ登録されていません。ATOK 2012 のユーザー情報が未設定か、使用中の辞書セットに空きがないためと考えられます（原因は登録状況レポートでご確認ください）。サインイン時に登録するスタートアップの項目が無効になっているか、作成できなかったため、自動的には登録されません。登録できるようになったら、スタート メニューの「${PRODUCT}」にある「${AGAIN_JA}」を実行してください。"
LangString FinishFailed ${LANG_ENGLISH} "${PRODUCT} is installed, but registering it in ATOK 2012 failed (dicreg.exe ended with status $2). Choose $\"${AGAIN_EN}$\" in the Start menu (${PRODUCT}) to try once more."
LangString FinishFailed ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、ATOK 2012 への登録に失敗しました（dicreg.exe の終了コード: $2）。スタート メニューの「${PRODUCT}」にある「${AGAIN_JA}」を実行して、もう一度登録してください。"
LangString ShowReport ${LANG_ENGLISH} "Show the dictionary status report"
LangString ShowReport ${LANG_JAPANESE} "登録状況レポートを表示する"
LangString ReportEntry ${LANG_ENGLISH} "${REPORT_EN}"
LangString ReportEntry ${LANG_JAPANESE} "${REPORT_JA}"
LangString AgainEntry ${LANG_ENGLISH} "${AGAIN_EN}"
LangString AgainEntry ${LANG_JAPANESE} "${AGAIN_JA}"
LangString FinishNotStarted ${LANG_ENGLISH} "${PRODUCT} is installed, but not registered in ATOK 2012: dicreg.exe could not be started. Choose $\"${AGAIN_EN}$\" in the Start menu (${PRODUCT}) to try once more."
LangString FinishNotStarted ${LANG_JAPANESE} "${PRODUCT} をインストールしましたが、dicreg.exe を起動できなかったため、ATOK 2012 に登録できませんでした。スタート メニューの「${PRODUCT}」にある「${AGAIN_JA}」を実行して、もう一度登録してください。"
LangString UnFailed ${LANG_ENGLISH} "dicreg.exe /uninst ended with status"
LangString UnFailed ${LANG_JAPANESE} "登録の解除（dicreg.exe /uninst）の終了コード:"
LangString UnNotStarted ${LANG_ENGLISH} "dicreg.exe /uninst could not be started."
LangString UnNotStarted ${LANG_JAPANESE} "登録の解除（dicreg.exe /uninst）で、dicreg.exe を起動できませんでした。"
LangString Newer ${LANG_ENGLISH} "A newer version of ${PRODUCT} ($0) is already installed. This setup (${VERSION}) is older, so it ends without changing anything."
LangString Newer ${LANG_JAPANESE} "${PRODUCT} の新しいバージョン（$0）がすでにインストールされています。このセットアップ（バージョン ${VERSION}）のほうが古いため、何も変更せずに終了します。"

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

; The report is offered checked when the dictionary is not registered everywhere it could be.
Function FinishShown
  ${If} $ShowReport == 1
    ${NSD_Check} $mui.FinishPage.Run
  ${EndIf}
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=dicreg.exe" "${PROGRAM}"
  File "/oname=dicreport.exe" "${REPORT}"
  ; The dictionary goes into this version's folder. Run again, the setup replaces it, unless
  ; ATOK 2012 holds it open: then it is this version's already.
  Delete "$INSTDIR\${VERSION}\QelDat2012.dic"
  SetOutPath "$INSTDIR\${VERSION}"
  SetOverwrite off
  File "/oname=QelDat2012.dic" "${DICTIONARY}"
  SetOverwrite on
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; Started from the installed folder; the entries of the other language go first.
  !insertmacro DeleteEntries
  CreateDirectory "${MENU}"
  CreateShortcut "${MENU}\$(ReportEntry).lnk" "$INSTDIR\dicreport.exe"
  CreateShortcut "${MENU}\$(AgainEntry).lnk" "$INSTDIR\dicreport.exe" "/register"

  ; Registered once the files are in place. With somebody at the screen dicreg may show its box
  ; (no dictionary set took it); the install still completes and keeps its files.
  StrCpy $0 ""
  ${If} ${Silent}
    StrCpy $0 " /silent"
  ${EndIf}
  ClearErrors
  ExecWait '"$INSTDIR\dicreport.exe" /install "${PRODUCT}"$0' $0
  !insertmacro Outcome $0

  StrCpy $FinishText "$(FinishRegistered)"
  StrCpy $R0 "$(Registered)"
  StrCpy $ShowReport 1
  ${If} $1 == 0
    StrCpy $ShowReport 0
  ${ElseIf} $1 == 1
    StrCpy $R0 "$(Partly)"
    StrCpy $FinishText "$(FinishPartly)"
  ${ElseIf} $1 == 2
    StrCpy $R0 "$(NoSet)"
    StrCpy $FinishText "$(FinishNoSet)"
  ${ElseIf} $1 == 3
    StrCpy $R0 "$(NoSetOff)"
    StrCpy $FinishText "$(FinishNoSetOff)"
  ${ElseIf} $1 == 4
    StrCpy $R0 "$(NotStarted)"
    StrCpy $FinishText "$(FinishNotStarted)"
  ${Else}
    StrCpy $R0 "$(Failed) $2"
    StrCpy $FinishText "$(FinishFailed)"
  ${EndIf}
  !insertmacro SayFlag 16 "$(SignInAgain)"
  !insertmacro SayFlag 32 "$(Kept)"
  !insertmacro SayFlag 128 "$(NoCleanup)"
  !insertmacro LogOnWords $R0
  !insertmacro LogOnWords $FinishText
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
  ; Before the programs go: dicreport takes the entries out, the startup entry away and the
  ; dictionaries with them, one held open at the next sign-in. $INSTDIR is the folder the
  ; uninstaller was in.
  ClearErrors
  ExecWait '"$INSTDIR\dicreport.exe" /uninstall "${PRODUCT}"' $0
  !insertmacro Outcome $0
  ${If} $1 == 4
    DetailPrint "$(UnNotStarted)"
  ${ElseIf} $1 != 0
    DetailPrint "$(UnFailed) $2"
  ${EndIf}
  Delete "$INSTDIR\dicreg.exe"
  Delete "$INSTDIR\dicreport.exe"
  Delete "$INSTDIR\setup.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  !insertmacro DeleteEntries
  RMDir "${MENU}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
