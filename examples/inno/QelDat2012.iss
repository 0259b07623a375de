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
; Silent (/VERYSILENT), it shows no window at all: it runs dicreg only when a dictionary set in
; use can take the dictionary. When none can, in either mode, a startup entry named after the
; product registers it at the first sign-in after one can, and then goes. Each version's
; dictionary has a folder of its own, so that ATOK 2012 holding the previous one open never keeps
; the new one out; a previous one held open is deleted at the next sign-in. Everything is per user
; (HKCU): no restartreplace or uninsrestartdelete, which need the machine's registry.

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
en.SignInAgain=The previous version's dictionary is in use: ATOK 2012 uses the new one after you sign out of Windows and sign in again.
ja.SignInAgain=以前のバージョンの辞書が使用中です。Windows からサインアウトしてサインインし直すと、ATOK 2012 が新しい辞書を使うようになります。
en.Failed=dicreg.exe ended with status %1.
ja.Failed=dicreg.exe の終了コード: %1
en.FinishRegistered=%1 is installed and registered in ATOK 2012. It is ready to use.
ja.FinishRegistered=%1 をインストールし、ATOK 2012 に登録しました。すぐにお使いいただけます。
en.FinishPartly=%1 is installed and registered in ATOK 2012, but some dictionary sets in use did not take it. The status report says which, and what to do.
ja.FinishPartly=%1 をインストールし、ATOK 2012 に登録しましたが、使用中の辞書セットの一部には登録できませんでした。該当する辞書セットと対処方法は、登録状況レポートでご確認ください。
en.FinishNoSet=%1 is installed, but not registered in ATOK 2012 yet: ATOK 2012's user information is not set up, or no dictionary set in use has a free slot (the status report says which). It registers by itself at the first sign-in to Windows after that is mended.
ja.FinishNoSet=%1 をインストールしましたが、ATOK 2012 にはまだ登録されていません。ATOK 2012 のユーザー情報が未設定か、使用中の辞書セットに空きスロットがないためと考えられます（原因は登録状況レポートでご確認ください）。登録できるようになったあと、最初に Windows にサインインしたときに自動的に登録されます。
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
en.Newer=A newer version of %1 (%2) is already installed. This setup (%3) is older, so it ends without changing anything.
ja.Newer=%1 の新しいバージョン（%2）がすでにインストールされています。このセットアップ（バージョン %3）のほうが古いため、何も変更せずに終了します。

[Files]
Source: "{#PROGRAM}"; DestDir: "{app}"; DestName: "dicreg.exe"; Flags: ignoreversion
Source: "{#REPORT}"; DestDir: "{app}"; DestName: "dicreport.exe"; Flags: ignoreversion
; Each version's dictionary goes into a folder of its own. Run again, the setup replaces it,
; unless ATOK 2012 holds it open: then it is this version's already, and stays.
Source: "{#DICTIONARY}"; DestDir: "{app}\{#VERSION}"; DestName: "QelDat2012.dic"; Flags: ignoreversion onlyifdoesntexist

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
  { The startup entry that registers the dictionary at a later sign-in, and the ones that delete
    a dictionary ATOK 2012 held open. }
  RunKey = 'Software\Microsoft\Windows\CurrentVersion\Run';
  RunOnceKey = 'Software\Microsoft\Windows\CurrentVersion\RunOnce';
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

{ Runs dicreg.exe from the installed folder and waits for it; gives its exit status, or -1 when
  it could not start (the log says why). }
function RunDicreg(const Argument: String): Integer;
begin
  if not Exec(ExpandConstant('{app}\dicreg.exe'), Argument, ExpandConstant('{app}'), SW_SHOWNORMAL,
      ewWaitUntilTerminated, Result) then begin
    Log(Format('dicreg.exe did not start: %s', [SysErrorMessage(Result)]));
    Result := -1;
  end;
end;

{ Runs dicreport.exe from the installed folder, writing the report aside (it only reads); gives
  its exit status: 0 when every dictionary set in use holds the dictionary, 4 when no set in use
  can take it. }
function ReportStatus(const Name: String): Integer;
begin
  if not Exec(ExpandConstant('{app}\dicreport.exe'), AddQuotes(ExpandConstant('{tmp}\' + Name)),
      ExpandConstant('{app}'), SW_HIDE, ewWaitUntilTerminated, Result) then
    Result := -1;
end;

function Quoted(const S: String): String;
begin
  Result := '"' + S + '"';
end;

{ Deletes a dictionary's folder (and the installed folder, once empty); gives True when ATOK 2012
  holds the dictionary open: then the next sign-in does it, before ATOK 2012 starts with the new
  one. }
function DeleteDictionary(const Folder, Name: String): Boolean;
begin
  DeleteFile(Folder + '\' + Dictionary);
  RemoveDir(Folder);
  Result := FileExists(Folder + '\' + Dictionary);
  if Result then
    RegWriteStringValue(HKCU, RunOnceKey, Name, Quoted(ExpandConstant('{sys}\cmd.exe')) +
      ' /d /c del ' + Quoted(Folder + '\' + Dictionary) + ' & rmdir ' + Quoted(Folder) +
      ' & rmdir ' + Quoted(ExpandConstant('{app}')));
end;

{ Every dictionary in the installed folder but the version Keep's; those of earlier packages lay
  beside the programs. Gives True when one is held open. }
function DeleteDictionaries(const Keep: String): Boolean;
var
  App: String;
  Found: TFindRec;
begin
  App := ExpandConstant('{app}');
  Result := DeleteDictionary(App, Product);
  if FindFirst(App + '\*', Found) then begin
    try
      repeat
        if (Found.Attributes and FILE_ATTRIBUTE_DIRECTORY <> 0) and (Found.Name <> '.') and
            (Found.Name <> '..') and (Found.Name <> Keep) and
            FileExists(App + '\' + Found.Name + '\' + Dictionary) then
          if DeleteDictionary(App + '\' + Found.Name, Product + ' (' + Found.Name + ')') then
            Result := True;
      until not FindNext(Found);
    finally
      FindClose(Found);
    end;
  end;
end;

{ Registered once the files are in place. Status 1: no dictionary set took it, and the user has
  seen dicreg's message box; the install still completes and keeps its files. Silent, the report
  first tells whether a set can take it: status 4 when none can, and then dicreg, whose box nobody
  would close, does not run. Once it took it, the report tells whether every set in use did. }
procedure CurStepChanged(CurStep: TSetupStep);
var
  Status: Integer;
begin
  if CurStep = ssInstall then begin
    { This version's dictionary is written anew, unless it is held open; and a sign-in must not
      delete what this install uses. }
    DeleteFile(ExpandConstant('{app}\' + Version + '\' + Dictionary));
    RegDeleteValue(HKCU, RunOnceKey, Product + ' (' + Version + ')');
  end;
  if CurStep <> ssPostInstall then
    Exit;
  { Inno Setup's own quiet uninstall shows its progress window. }
  RegWriteStringValue(HKCU, UninstallKey, 'QuietUninstallString',
    '"' + ExpandConstant('{uninstallexe}') + '" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART');
  Status := -2;
  if WizardSilent then
    if ReportStatus('check.txt') = 4 then
      Status := 1;
  if Status = -2 then
    Status := RunDicreg(AddQuotes(ExpandConstant('{app}\' + Version + '\' + Dictionary)));
  { Not registered for want of a set: the startup entry registers it at the first sign-in after
    one can. Registered: an entry left by an earlier install must never register it again. }
  if Status = 1 then
    RegWriteStringValue(HKCU, RunKey, Product, Quoted(ExpandConstant('{app}\dicreport.exe')) +
      ' /quiet')
  else if Status = 0 then
    RegDeleteValue(HKCU, RunKey, Product);
  ShowReport := True;
  case Status of
    0: if ReportStatus('report.txt') = 0 then begin
      Outcome := FmtMessage(CustomMessage('Registered'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishRegistered'), [Product]);
      ShowReport := False;
    end else begin
      Outcome := FmtMessage(CustomMessage('Partly'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishPartly'), [Product]);
    end;
    1: begin
      Outcome := FmtMessage(CustomMessage('NoSet'), [Product]);
      FinishText := FmtMessage(CustomMessage('FinishNoSet'), [Product]);
    end;
    -1: begin
      Outcome := CustomMessage('NotStarted');
      FinishText := FmtMessage(CustomMessage('FinishNotStarted'), [Product]);
    end;
  else begin
    Outcome := FmtMessage(CustomMessage('Failed'), [IntToStr(Status)]);
    FinishText := FmtMessage(CustomMessage('FinishFailed'), [Product, IntToStr(Status)]);
  end;
  end;
  { The earlier versions' dictionaries are registered no more. }
  if DeleteDictionaries(Version) then begin
    Outcome := Outcome + ' ' + CustomMessage('SignInAgain');
    FinishText := FinishText + #13#10#13#10 + CustomMessage('SignInAgain');
  end;
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

{ Removed while dicreg.exe is still there, before the files go; the dictionaries go after them,
  one held open at the next sign-in. }
procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  Status: Integer;
begin
  if CurUninstallStep = usPostUninstall then begin
    DeleteDictionaries('');
    RemoveDir(ExpandConstant('{app}'));
  end;
  if CurUninstallStep <> usUninstall then
    Exit;
  { The uninstaller that was started, which its caller waits for, runs from the installed
    folder until the files are gone, and is deleted there only after it ends: by then a setup
    started next may have put its own there. Windows renames a running program, so it moves
    out of the way now. }
  RenameFile(ExpandConstant('{uninstallexe}'), ExpandConstant('{tmp}\unins000.exe'));
  Status := RunDicreg('/uninst');
  if Status <> 0 then
    Log(FmtMessage(CustomMessage('UnFailed'), [IntToStr(Status)]));
  RegDeleteValue(HKCU, RunKey, Product);
end;
