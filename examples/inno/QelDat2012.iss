; QelDat2012 for ATOK 2012: a per-user setup program, made with Inno Setup, that installs the
; dictionary with dicreg.exe and registers it into the user's ATOK dictionary sets. dicreport.exe
; goes beside them, with two Start menu entries: the status report, and registering the
; dictionary again.
;
; One script for Inno Setup 5.6.1 (Unicode) and 6.x. Setups made with 5.6.1 run on Windows XP
; SP3 and later; 6.4 makes setups that need Windows 7 SP1. Keep this file in UTF-8 with its
; byte-order mark: without it, Inno Setup 5 reads every Japanese text in the system's code page.
;   ISCC.exe /DPROGRAM=dicreg.exe /DREPORT=dicreport.exe /DDICTIONARY=QelDat2012.dic
;            /DVERSION=1.2.0 QelDat2012.iss
; /DIDENTITY= names a UTF-8 file that defines PRODUCT, PUBLISHER, COPYRIGHT and APPGUID (the
; package's stable id, the MSI's UpgradeCode), and may define ICON (an .ico file), URL (the
; publisher's web page) and LICENSE (a licence text, UTF-8 with a byte-order mark); without it,
; the example's own are used.
;
; Installs into %LOCALAPPDATA%\QelDat2012, or the folder the user chooses, or /DIR=:
;   QelDat2012-inno-setup.exe /VERYSILENT /SUPPRESSMSGBOXES "/DIR=D:\辞書\QelDat 2012"
; Run again, it offers the folder of the installed copy, installs over it and registers the
; dictionary again, as the Start menu entry does. Over a newer
; version it stops, changing nothing.
; Removed from "Apps", or quietly with the command of its uninstall entry:
;   "%LOCALAPPDATA%\QelDat2012\unins000.exe" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART
;
; What happens to the registration is dicreport's to decide, the same for every engine:
; "dicreport.exe /install <product>" after the files are in place (with /silent when nobody is at
; the screen: dicreg then runs only when a dictionary set in use can take the dictionary), and
; "dicreport.exe /uninstall <product>" before they go. When no set can take it, a startup entry
; named after the product registers it at a later sign-in. Each version's dictionary has a
; folder of its own, so that ATOK 2012 holding the previous one open never keeps the new one
; out; dicreport deletes the earlier ones that no set names, one held open at the next sign-in
; (so the uninstaller never deletes a dictionary itself). This script only says, in the user's
; language, what dicreport's status tells. Everything is per user (HKCU): no restartreplace or
; uninsrestartdelete, which need the machine's registry.

#ifdef IDENTITY
  #include IDENTITY
#endif
#ifndef PRODUCT
  #define PRODUCT "QelDat2012"
#endif
#ifndef PUBLISHER
  #define PUBLISHER "QelDat2012 publisher"
#endif
#ifndef COPYRIGHT
  #define COPYRIGHT "Copyright © " + PUBLISHER
#endif
#ifndef VERSION
  #define VERSION "1.0.0"
#endif
#ifndef APPGUID
  #define APPGUID "E024A941-65E8-4CCD-891C-610B6802AF52"
#endif
#ifndef PROGRAM
  #define PROGRAM "dicreg.exe"
#endif
#ifndef REPORT
  #define REPORT "dicreport.exe"
#endif
#ifndef DICTIONARY
  #define DICTIONARY "QelDat2012.dic"
#endif
; The Start menu entries, named in the user's language: both languages' are removed.
#define REPORT_EN "Dictionary status report"
#define REPORT_JA "登録状況レポート"
#define AGAIN_EN "Register in ATOK 2012 again"
#define AGAIN_JA "ATOK 2012 に再登録"
; Inno Setup takes "{" for the start of a constant; a Pascal string ends at "'".
#define Setting(str S) StringChange(S, "{", "{{")
#define Pascal(str S) StringChange(S, "'", "''")
#define MENU "{userprograms}\" + Setting(PRODUCT)

[Setup]
; The same id for every version: a newer setup finds the installed copy, its folder and entry.
AppId={{{#APPGUID}}
AppName={#Setting(PRODUCT)}
AppVersion={#VERSION}
AppPublisher={#Setting(PUBLISHER)}
AppCopyright={#Setting(COPYRIGHT)}
UninstallDisplayName={#Setting(PRODUCT)}
; The setup's file properties.
VersionInfoVersion={#VERSION}
VersionInfoProductName={#PRODUCT}
VersionInfoProductVersion={#VERSION}
VersionInfoCompany={#PUBLISHER}
VersionInfoDescription={#PRODUCT} セットアップ
VersionInfoCopyright={#COPYRIGHT}
#ifdef ICON
SetupIconFile={#ICON}
UninstallDisplayIcon={uninstallexe}
#endif
#ifdef URL
AppPublisherURL={#Setting(URL)}
AppSupportURL={#Setting(URL)}
#endif
#ifdef LICENSE
LicenseFile={#LICENSE}
#endif
; Per user, without elevation: dicreg must run as the user whose ATOK settings it edits.
PrivilegesRequired=lowest
DefaultDirName={localappdata}\QelDat2012
; The pages of the NSIS setup: welcome, licence, folder (its button installs), progress, finish.
DisableWelcomePage=no
DisableDirPage=no
DisableReadyPage=yes
DisableProgramGroupPage=yes
; The user's Windows language picks the pages, without asking.
ShowLanguageDialog=no
LanguageDetectionMethod=uilanguage
; Every run leaves its log in %TEMP% ("Setup Log <date> #<n>.txt"), with dicreg's answer.
SetupLogging=yes
#if Ver < EncodeVer(6, 0, 0)
MinVersion=5.1sp3
#endif
OutputBaseFilename=QelDat2012-inno-setup
#ifdef SignTool
; On Windows, ISCC.exe "/Ssigntool=signtool sign ... $f" /DSignTool=signtool signs the
; uninstaller and the setup as the compiler writes them.
SignTool={#SignTool}
#endif
#ifdef SignedUninstallerDir
; The uninstaller, signed by a tool outside Inno Setup (iscc.sh --sign): the compiler leaves it
; unsigned in this folder and stops, and packs the signed copy it finds there the next time.
SignedUninstaller=yes
SignedUninstallerDir={#SignedUninstallerDir}
#endif

[Languages]
; English first: the language of every user whose own is not listed.
Name: "en"; MessagesFile: "compiler:Default.isl"
Name: "ja"; MessagesFile: "compiler:Languages\Japanese.isl"

[CustomMessages]
en.Registered=%1 is registered in ATOK 2012.
ja.Registered=%1 を ATOK 2012 に登録しました。
en.Partly=%1 is registered in ATOK 2012, but not in every dictionary set in use.
ja.Partly=%1 を ATOK 2012 に登録しましたが、使用中の辞書セットの一部には登録できませんでした。
en.NotStarted=dicreg.exe could not be started.
ja.NotStarted=dicreg.exe を起動できませんでした。
en.NoSet=ATOK 2012 has no dictionary set to take %1 yet: it registers by itself at the first sign-in after one can.
ja.NoSet=ATOK 2012 に %1 を登録できる辞書セットがまだありません。登録できるようになったあと、最初のサインインで自動的に登録されます。
en.NoSetOff=ATOK 2012 has no dictionary set to take %1 yet, and its startup entry is switched off or could not be made: once one can, choose "{#AGAIN_EN}" in the Start menu.
ja.NoSetOff=ATOK 2012 に %1 を登録できる辞書セットがまだありません。自動的に登録するスタートアップの項目が無効になっているか、作成できなかったため、サインイン時には登録されません。登録できるようになったら、スタート メニューの「{#AGAIN_JA}」を実行してください。
en.SignInAgain=The previous version's dictionary is held open by ATOK 2012: ATOK 2012 uses the new one after you sign out of Windows and sign in again. At that sign-in a command prompt window may flash briefly as the previous dictionary is deleted.
ja.SignInAgain=以前のバージョンの辞書を ATOK 2012 が開いたままにしています。Windows からサインアウトしてサインインし直すと、ATOK 2012 が新しい辞書を使うようになります。そのサインインのとき、以前の辞書を削除するために、コマンド プロンプトのウィンドウが一瞬表示されることがあります。
en.Kept=The previous version's dictionary stays, as a dictionary set that cannot be changed still names it; the status report says which.
ja.Kept=変更できない辞書セットに以前のバージョンの辞書が登録されているため、その辞書は残してあります。該当する辞書セットは、登録状況レポートでご確認ください。
en.NoCleanup=The previous version's dictionary is held open by ATOK 2012, and the installed folder's path is too long to have it deleted at the next sign-in: sign out of Windows and sign in again, then delete the previous version's folder in %1.
ja.NoCleanup=以前のバージョンの辞書を ATOK 2012 が開いたままにしています。インストール先のフォルダーのパスが長すぎるため、次のサインイン時に削除できません。Windows からサインアウトしてサインインし直したあと、%1 にある以前のバージョンのフォルダーを削除してください。
en.SignInWord=sign in
ja.SignInWord=サインイン
en.SignOutWord=sign out of
ja.SignOutWord=サインアウト
en.SignInNoun=sign-in
ja.SignInNoun=サインイン
en.LogOnWord=log on
ja.LogOnWord=ログオン
en.LogOffWord=log off
ja.LogOffWord=ログオフ
en.LogOnNoun=logon
ja.LogOnNoun=ログオン
en.Failed=dicreg.exe ended with status %1.
ja.Failed=dicreg.exe の終了コード: %1
en.FinishRegistered=%1 is installed and registered in ATOK 2012. ATOK 2012 uses it once it reads its settings again: at the latest after you sign out of Windows and sign in again.
ja.FinishRegistered=%1 をインストールし、ATOK 2012 に登録しました。ATOK 2012 が設定を読み込み直すと使えるようになります。すぐに使えない場合は、Windows からサインアウトしてサインインし直してください。
en.FinishPartly=%1 is installed and registered in ATOK 2012, but some dictionary sets in use did not take it. The status report says which, and what to do.
ja.FinishPartly=%1 をインストールし、ATOK 2012 に登録しましたが、使用中の辞書セットの一部には登録できませんでした。該当する辞書セットと対処方法は、登録状況レポートでご確認ください。
en.FinishNoSet=%1 is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information is not set up, or no dictionary set in use has a free slot (the status report says which). It registers by itself at the first sign-in to Windows after that is mended.
ja.FinishNoSet=%1 をインストールしましたが、ATOK 2012 にはまだ登録されていません。ATOK 2012 のユーザー情報が未設定か、使用中の辞書セットに空きがないためと考えられます（原因は登録状況レポートでご確認ください）。登録できるようになったあと、最初に Windows にサインインしたときに自動的に登録されます。
en.FinishNoSetOff=%1 is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information is not set up, or no dictionary set in use has a free slot (the status report says which). Its startup entry, which would register it at a sign-in, is switched off or could not be made: once that is mended, choose "{#AGAIN_EN}" in the Start menu (%1).
ja.FinishNoSetOff=%1 をインストールしましたが、ATOK 2012 にはまだ登録されていません。ATOK 2012 のユーザー情報が未設定か、使用中の辞書セットに空きがないためと考えられます（原因は登録状況レポートでご確認ください）。サインイン時に登録するスタートアップの項目が無効になっているか、作成できなかったため、自動的には登録されません。登録できるようになったら、スタート メニューの「%1」にある「{#AGAIN_JA}」を実行してください。
en.FinishFailed=%1 is installed, but registering it in ATOK 2012 failed (dicreg.exe ended with status %2). Choose "{#AGAIN_EN}" in the Start menu (%1) to try once more.
ja.FinishFailed=%1 をインストールしましたが、ATOK 2012 への登録に失敗しました（dicreg.exe の終了コード: %2）。スタート メニューの「%1」にある「{#AGAIN_JA}」を実行して、もう一度登録してください。
en.ShowReport=Show the dictionary status report
ja.ShowReport=登録状況レポートを表示する
en.ReportEntry={#REPORT_EN}
ja.ReportEntry={#REPORT_JA}
en.AgainEntry={#AGAIN_EN}
ja.AgainEntry={#AGAIN_JA}
en.FinishNotStarted=%1 is installed, but not registered in ATOK 2012: dicreg.exe could not be started. Choose "{#AGAIN_EN}" in the Start menu (%1) to try once more.
ja.FinishNotStarted=%1 をインストールしましたが、dicreg.exe を起動できなかったため、ATOK 2012 に登録できませんでした。スタート メニューの「%1」にある「{#AGAIN_JA}」を実行して、もう一度登録してください。
en.UnFailed=dicreg.exe /uninst ended with status %1.
ja.UnFailed=登録の解除（dicreg.exe /uninst）の終了コード: %1
en.UnNotStarted=dicreg.exe /uninst could not be started.
ja.UnNotStarted=登録の解除（dicreg.exe /uninst）で、dicreg.exe を起動できませんでした。
en.Newer=A newer version of %1 (%2) is already installed. This setup (%3) is older, so it ends without changing anything.
ja.Newer=%1 の新しいバージョン（%2）がすでにインストールされています。このセットアップ（バージョン %3）のほうが古いため、何も変更せずに終了します。

[Files]
Source: "{#PROGRAM}"; DestDir: "{app}"; DestName: "dicreg.exe"; Flags: ignoreversion
Source: "{#REPORT}"; DestDir: "{app}"; DestName: "dicreport.exe"; Flags: ignoreversion
; Each version's dictionary goes into a folder of its own. Run again, the setup replaces it,
; unless ATOK 2012 holds it open: then it is this version's already, and stays.
; dicreport deletes it on uninstall, or leaves it while a dictionary set it cannot change names it.
Source: "{#DICTIONARY}"; DestDir: "{app}\{#VERSION}"; DestName: "QelDat2012.dic"; Flags: ignoreversion onlyifdoesntexist uninsneveruninstall

[Icons]
Name: "{#MENU}\{cm:ReportEntry}"; Filename: "{app}\dicreport.exe"; WorkingDir: "{app}"
Name: "{#MENU}\{cm:AgainEntry}"; Filename: "{app}\dicreport.exe"; Parameters: "/register"; WorkingDir: "{app}"

[InstallDelete]
; The entries an install in the other language made.
Type: files; Name: "{#MENU}\{#REPORT_EN}.lnk"
Type: files; Name: "{#MENU}\{#REPORT_JA}.lnk"
Type: files; Name: "{#MENU}\{#AGAIN_EN}.lnk"
Type: files; Name: "{#MENU}\{#AGAIN_JA}.lnk"

[UninstallDelete]
Type: files; Name: "{#MENU}\{#REPORT_EN}.lnk"
Type: files; Name: "{#MENU}\{#REPORT_JA}.lnk"
Type: files; Name: "{#MENU}\{#AGAIN_EN}.lnk"
Type: files; Name: "{#MENU}\{#AGAIN_JA}.lnk"
Type: dirifempty; Name: "{#MENU}"

[Run]
; Offered on the finish page, checked when the dictionary is not registered everywhere it could be.
Filename: "{app}\dicreport.exe"; Description: "{cm:ShowReport}"; Flags: postinstall skipifsilent nowait unchecked

[Code]
const
  Product = '{#Pascal(PRODUCT)}';
  Version = '{#VERSION}';
  UninstallKey = 'Software\Microsoft\Windows\CurrentVersion\Uninstall\{' + '{#APPGUID}' + '}_is1';
  Dictionary = 'QelDat2012.dic';

var
  FinishText, Outcome: String;
  ShowReport: Boolean;

{ Compares two versions of three numbers: above 0 when A is the newer. }
function CompareVersions(A, B: String): Integer;
var
  I, X, Y: Integer;
begin
  Result := 0;
  for I := 1 to 3 do begin
    X := StrToIntDef(Copy(A, 1, Pos('.', A + '.') - 1), 0);
    Y := StrToIntDef(Copy(B, 1, Pos('.', B + '.') - 1), 0);
    Delete(A, 1, Pos('.', A + '.'));
    Delete(B, 1, Pos('.', B + '.'));
    if X <> Y then begin
      Result := X - Y;
      Exit;
    end;
  end;
end;

{ Over a newer version, this older one stops before it changes anything; the same version runs,
  which is how a user registers the dictionary again. }
function InitializeSetup: Boolean;
var
  Installed, Refusal: String;
begin
  Result := not RegQueryStringValue(HKCU, UninstallKey, 'DisplayVersion', Installed)
    or (CompareVersions(Installed, Version) <= 0);
  if not Result then begin
    Refusal := FmtMessage(CustomMessage('Newer'), [Product, Installed, Version]);
    Log(Refusal);
    SuppressibleMsgBox(Refusal, mbCriticalError, MB_OK, IDOK);
  end;
end;

{ Runs dicreport.exe from the installed folder and waits for it: it keeps the rules of the
  registration, the same for every engine. Gives its exit status, or -1 when it could not start
  (the log says why). }
function RunDicreport(const Arguments: String): Integer;
begin
  if not Exec(ExpandConstant('{app}\dicreport.exe'), Arguments, ExpandConstant('{app}'),
      SW_SHOWNORMAL, ewWaitUntilTerminated, Result) then begin
    Log(Format('dicreport.exe did not start: %s', [SysErrorMessage(Result)]));
    Result := -1;
  end;
end;

function Quoted(const S: String): String;
begin
  Result := '"' + S + '"';
end;

{ Adds a flag's sentence to the log's line and the finish page. }
procedure AddFlag(Status, Flag: Integer; const Name: String);
var
  Sentence: String;
begin
  if (Status >= 0) and ((Status and Flag) <> 0) then begin
    Sentence := FmtMessage(CustomMessage(Name), [ExpandConstant('{app}')]);
    { Japanese sentences follow one another without a space. }
    if ActiveLanguage = 'ja' then
      Outcome := Outcome + Sentence
    else
      Outcome := Outcome + ' ' + Sentence;
    FinishText := FinishText + #13#10#13#10 + Sentence;
  end;
end;

{ Windows XP, Vista and 7 speak of logging on and off, later ones of signing in and out. }
function InWindowsWords(const Text: String; Status: Integer): String;
var
  S: String;
begin
  S := Text;
  if (Status >= 0) and ((Status and $40) <> 0) then begin
    StringChangeEx(S, CustomMessage('SignOutWord'), CustomMessage('LogOffWord'), True);
    StringChangeEx(S, CustomMessage('SignInWord'), CustomMessage('LogOnWord'), True);
    StringChangeEx(S, CustomMessage('SignInNoun'), CustomMessage('LogOnNoun'), True);
  end;
  Result := S;
end;

{ Registered once the files are in place. With somebody at the screen dicreg may show its box
  (no dictionary set took it); the install still completes and keeps its files. dicreport's
  status tells what became of it (the low four bits) and what else there is to say. }
procedure CurStepChanged(CurStep: TSetupStep);
var
  Status, Kind: Integer;
  Arguments: String;
begin
  if CurStep = ssInstall then
    { This version's dictionary is written anew, unless ATOK 2012 holds it open. }
    DeleteFile(ExpandConstant('{app}\' + Version + '\' + Dictionary));
  if CurStep <> ssPostInstall then
    Exit;
  { Inno Setup's own quiet uninstall shows its progress window. }
  RegWriteStringValue(HKCU, UninstallKey, 'QuietUninstallString',
    '"' + ExpandConstant('{uninstallexe}') + '" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART');
  Arguments := '/install ' + Quoted(Product);
  if WizardSilent then
    Arguments := Arguments + ' /silent';
  Status := RunDicreport(Arguments);
  Kind := 4;
  if Status >= 0 then
    Kind := Status and 15;
  ShowReport := Kind <> 0;
  case Kind of
    0: begin
      Outcome := FmtMessage(CustomMessage('Registered'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishRegistered'), [Product]);
    end;
    1: begin
      Outcome := FmtMessage(CustomMessage('Partly'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishPartly'), [Product]);
    end;
    2: begin
      Outcome := FmtMessage(CustomMessage('NoSet'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishNoSet'), [Product]);
    end;
    3: begin
      Outcome := FmtMessage(CustomMessage('NoSetOff'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishNoSetOff'), [Product]);
    end;
    4: begin
      Outcome := CustomMessage('NotStarted');
      FinishText := FmtMessage(CustomMessage('FinishNotStarted'), [Product]);
    end;
  else begin
    Outcome := FmtMessage(CustomMessage('Failed'), [IntToStr(Status shr 16)]);
    FinishText := FmtMessage(CustomMessage('FinishFailed'), [Product, IntToStr(Status shr 16)]);
  end;
  end;
  AddFlag(Status, $10, 'SignInAgain');
  AddFlag(Status, $20, 'Kept');
  AddFlag(Status, $80, 'NoCleanup');
  Outcome := InWindowsWords(Outcome, Status);
  FinishText := InWindowsWords(FinishText, Status);
  Log(Outcome);
end;

procedure CurPageChanged(CurPageID: Integer);
begin
  if CurPageID = wpFinished then begin
    WizardForm.FinishedLabel.Caption := FinishText + #13#10#13#10 + SetupMessage(msgClickFinish);
    WizardForm.AdjustLabelHeight(WizardForm.FinishedLabel);
    { The offer to show the report goes below the text, however long it came out. }
    WizardForm.RunList.Top := WizardForm.FinishedLabel.Top + WizardForm.FinishedLabel.Height +
      ScaleY(12);
    if WizardForm.RunList.Items.Count > 0 then
      WizardForm.RunList.Checked[0] := ShowReport;
  end;
end;

{ Removed while the programs are still there: dicreport takes the entries out, the startup
  entry away and the dictionaries with them, one held open at the next sign-in. }
procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  Status: Integer;
begin
  if CurUninstallStep = usPostUninstall then
    RemoveDir(ExpandConstant('{app}'));
  if CurUninstallStep <> usUninstall then
    Exit;
  { The uninstaller that was started, which its caller waits for, runs from the installed
    folder until the files are gone, and is deleted there only after it ends: by then a setup
    started next may have put its own there. Windows renames a running program, so it moves
    out of the way now. }
  RenameFile(ExpandConstant('{uninstallexe}'), ExpandConstant('{tmp}\unins000.exe'));
  Status := RunDicreport('/uninstall ' + Quoted(Product));
  if (Status < 0) or ((Status and 15) = 4) then
    Log(CustomMessage('UnNotStarted'))
  else if (Status and 15) <> 0 then
    Log(FmtMessage(CustomMessage('UnFailed'), [IntToStr(Status shr 16)]));
end;
