#include "Report.h"

#include <utility>

#include "../registry/RegSet.h"
#include "Package.h"

namespace report {
namespace {

// Every text of the report in one language; {1}, {2} and {3} stand for what is filled in.
struct Words {
  const char16_t* fileName;
  const char16_t* title;
  const char16_t* registration;  // {1} status {2} its meaning
  const char16_t* statusRegistered;
  const char16_t* statusNoSet;
  const char16_t* statusRefused;
  const char16_t* statusFailed;
  const char16_t* statusKept;
  const char16_t* statusUnknown;
  const char16_t* notStarted;     // {1} Windows error
  const char16_t* one;            // the one set in use holds it
  const char16_t* all;            // {1} sets in use
  const char16_t* noneOfOne;      // the one set in use lacks it
  const char16_t* none;           // {1} sets in use
  const char16_t* some;           // {1} registered {2} in use
  const char16_t* noAtok;         // {1} user
  const char16_t* nothingToDo;    // after a verdict that needs nothing
  const char16_t* seeBelow;       // after a verdict whose sets need something
  const char16_t* notSetUp;       // {1} user
  const char16_t* setUp;          // what to do then
  const char16_t* setUpPending;   // the same, where a sign-in registers it
  const char16_t* full;           // {1} set
  const char16_t* free;           // {1} set {2} slot
  const char16_t* missing;        // {1} set {2} path
  const char16_t* moved;          // {1} set {2} path {3} the report's folder
  const char16_t* unwritable;     // {1} set {2} Windows error
  const char16_t* unreadable;     // {1} set {2} Windows error
  const char16_t* noDictionary;   // {1} path
  const char16_t* otherVersions;  // {1} versions
  const char16_t* pending;        // {1} startup entries
  const char16_t* pendingNow;     // {1} startup entries, where a set can take it already
  const char16_t* switchedOff;    // {1} startup entries, switched off in Task Manager
  const char16_t* configured;     // {1} startup entries, switched off in System Configuration
  const char16_t* entryGone;      // a registration waits, with no startup entry to do it
  const char16_t* entryDone;      // {1} startup entries with nothing left to do
  const char16_t* signInAgain;    // {1} the earlier dictionaries
  const char16_t* restart;
  const char16_t* made;
  const char16_t* windows;  // {1} name {2} version {3} width
  const char16_t* wide;
  const char16_t* narrow;
  const char16_t* user;
  const char16_t* dicreg;    // {1} version {2} path
  const char16_t* noDicreg;  // {1} path
  const char16_t* dictionary;
  const char16_t* present;
  const char16_t* absent;
  const char16_t* setsInUse;  // {1} the profiles' key
  const char16_t* installed;  // {1} slot
  const char16_t* elsewhere;  // {1} slot
  const char16_t* gone;       // {1} slot
  const char16_t* edition;    // {1} slot
  const char16_t* next;       // {1} slot
  const char16_t* noSlot;
  const char16_t* readOnly;    // {1} Windows error
  const char16_t* cannotRead;  // {1} Windows error
  const char16_t* listSeparator;
  const char16_t* lineEnd = u"";  // after a set's last state, where each state is a sentence
  const char16_t* nameSeparator;
  const char16_t* notInUse;  // {1} count {2} all
  const char16_t* saved;     // {1} path
  const char16_t* notSaved;  // {1} path {2} Windows error
  const char16_t* usage;
  // Windows before Windows 8 says log on and log off: these pairs replace the later words.
  std::vector<std::pair<const char16_t*, const char16_t*>> logOff;
  // Windows XP names some of its screens otherwise than Windows Vista and 7: these pairs replace
  // the later names in the lines that name them.
  std::vector<std::pair<const char16_t*, const char16_t*>> xpWords = {};
};

const Words kEnglish = {
    .fileName = u"QelDat2012 status.txt",
    .title = u"QelDat2012 dictionary status report",
    .registration =
        u"Registering again ran just before this report: dicreg.exe ended with status {1} ({2}).",
    .statusRegistered = u"registered in at least one dictionary set",
    .statusNoSet = u"no dictionary set took the dictionary",
    .statusRefused = u"no argument was given",
    .statusFailed = u"an unexpected failure",
    .statusKept = u"an entry could not be emptied",
    .statusUnknown = u"Windows stopped it, or something stopped it before it ended",
    .notStarted =
        u"Registering again was tried just before this report, but dicreg.exe could not "
        u"be started (Windows error {1}).",
    .one = u"QelDat2012 is registered in the dictionary set in use.",
    .all = u"QelDat2012 is registered in all {1} dictionary sets in use.",
    .noneOfOne = u"QelDat2012 is not registered in the dictionary set in use.",
    .none = u"QelDat2012 is not registered in any of the {1} dictionary sets in use.",
    .some = u"QelDat2012 is registered in {1} of the {2} dictionary sets in use.",
    .noAtok =
        u"ATOK 2012's settings are not there for this Windows user ({1}): ATOK 2012 is "
        u"probably not installed, or this user has not started it yet. Start ATOK 2012 once "
        u"while signed in as this user (install it first if it is not there), then choose "
        u"\"Register in ATOK 2012 again\" in the Start menu. If the dictionary is used under "
        u"another account, make this report there.",
    .nothingToDo = u" Nothing needs to be done.",
    .seeBelow = u" The lines below say what to do.",
    .notSetUp =
        u"This Windows user ({1}) has no ATOK 2012 dictionary set in use: ATOK 2012's user "
        u"information is probably not set up yet.",
    .setUp =
        u" Start ATOK 2012 once so that it sets up its user information, then choose "
        u"\"Register in ATOK 2012 again\" in the Start menu.",
    .setUpPending =
        u" Start ATOK 2012 once so that it sets up its user information: QelDat2012 "
        u"then registers by itself at the next sign-in to Windows.",
    .full =
        u"- {1} has no free slot: slots 2 to 9 all hold other dictionaries. Take out one that "
        u"is no longer used in ATOK 2012's screen where dictionary sets are edited, then choose "
        u"\"Register in "
        u"ATOK 2012 again\" in the Start menu.",
    .free =
        u"- {1} does not hold it: choose \"Register in ATOK 2012 again\" in the Start menu; it "
        u"goes into slot {2}.",
    .missing =
        u"- {1} names a file that no longer exists ({2}): choose \"Register in ATOK 2012 "
        u"again\" in the Start menu.",
    .moved =
        u"- {1} names a file that no longer exists ({2}), while the dictionary is in this "
        u"report's folder ({3}): the folder seems to have been moved, and the Start menu "
        u"entries still point to its old place. Move the folder back, or uninstall the "
        u"package and install it again into the folder you want.",
    .unwritable =
        u"- This account may not change {1} (Windows error {2}), so dicreg cannot "
        u"register it there: ask the PC's administrator about the rights on this "
        u"registry key.",
    .unreadable =
        u"- {1} cannot be read (Windows error {2}), so dicreg skips it: ask the PC's "
        u"administrator about the rights on this registry key.",
    .noDictionary = u"- The installed dictionary is missing ({1}): install the package again.",
    .otherVersions =
        u"- Settings of other ATOK versions were found: {1}. QelDat2012 works in "
        u"ATOK 2012 (version 25.0) only, and does not convert in another version: "
        u"whoever types with one of those asks the dictionary's publisher whether "
        u"there is an edition for it.",
    .pending =
        u"- QelDat2012 registers by itself at the first sign-in to Windows after a "
        u"dictionary set in use can take it (startup entry {1}).",
    .pendingNow =
        u"- A dictionary set in use can take QelDat2012 now: it registers by itself at "
        u"the next sign-in to Windows (startup entry {1}), or at once with \"Register "
        u"in ATOK 2012 again\" in the Start menu.",
    .switchedOff =
        u"- QelDat2012 waits to be registered at a sign-in, but its startup entry ({1}) is "
        u"switched off, so nothing registers it: switch it on in Task Manager's list of "
        u"startup programs (on Windows 10 and 11 also in Settings, Apps, Startup), or choose "
        u"\"Register in ATOK 2012 again\" in the Start menu once a dictionary set in use can "
        u"take it.",
    .configured =
        u"- QelDat2012 waits to be registered at a sign-in, but its startup entry ({1}) is "
        u"switched off in System Configuration (msconfig), so nothing registers it: switch it "
        u"on there on the Startup tab, or choose \"Register in ATOK 2012 again\" in the Start "
        u"menu once a dictionary set in use can take it.",
    .entryGone =
        u"- QelDat2012 waits to be registered at a sign-in, but its startup entry is not "
        u"there: choose \"Register in ATOK 2012 again\" in the Start menu once a dictionary "
        u"set in use can take it.",
    .entryDone =
        u"- The startup entry {1} has nothing left to do (QelDat2012 was registered at a "
        u"sign-in): it starts and ends at once, and goes with the next \"Register in ATOK 2012 "
        u"again\" or the uninstall. Nothing needs to be done.",
    .signInAgain =
        u"- The dictionary file of an earlier version is still there ({1}), as ATOK 2012 "
        u"may hold it open: sign out of Windows and sign in again (or restart the PC), "
        u"so that ATOK 2012 uses the installed one and the earlier one is deleted. If it is "
        u"still there after that, delete it while ATOK 2012 is not running.",
    .restart =
        u"- Windows replaces a file of the installed folder at the next restart: restart "
        u"the PC, so that ATOK 2012 uses the installed dictionary.",
    .made = u"Made: ",
    .windows = u"Windows: {1} ({2}), {3}",
    .wide = u"64-bit",
    .narrow = u"32-bit",
    .user = u"Windows user: ",
    .dicreg = u"dicreg: {1} ({2})",
    .noDicreg = u"dicreg: not found ({1})",
    .dictionary = u"Installed dictionary: ",
    .present = u" (present)",
    .absent = u" (missing)",
    .setsInUse = u"Dictionary sets in use, below HKEY_CURRENT_USER\\{1}:",
    .installed = u"registered in slot {1}, the installed dictionary",
    .elsewhere = u"registered in slot {1}, a file in another folder",
    .gone = u"registered in slot {1}, but that file no longer exists",
    .edition = u"slot {1} holds another edition of QelDat, which registering again takes out",
    .next = u"not registered; registering again puts it in slot {1}",
    .noSlot = u"not registered; slots 2 to 9 all hold other dictionaries",
    .readOnly = u"this account may not change it (Windows error {1})",
    .cannotRead = u"cannot be read (Windows error {1})",
    .listSeparator = u"; ",
    .nameSeparator = u", ",
    .notInUse = u"Dictionary sets not in use: {1} of {2}.",
    .saved = u"The report is saved as {1}. Open it with Notepad, or send it to support as it is.",
    .notSaved = u"The report could not be saved as {1} (Windows error {2}).",
    .usage =
        u"dicreport takes no argument, \"/register\", \"/quiet\", or the file to write the "
        u"report to.",
    .logOff = {{u"sign out of Windows", u"log off Windows"},
               {u"sign out", u"log off"},
               {u"signed in", u"logged on"},
               {u"sign-in", u"logon"},
               {u"sign in", u"log on"}},
};

const Words kJapanese = {
    .fileName = u"QelDat2012 登録状況.txt",
    .title = u"QelDat2012 登録状況レポート",
    .registration =
        u"このレポートの作成直前に再登録を実行しました（dicreg.exe の終了コード: {1}、{2}）。",
    .statusRegistered = u"一つ以上の辞書セットに登録済み",
    .statusNoSet = u"どの辞書セットにも登録できず",
    .statusRefused = u"引数の指定なし",
    .statusFailed = u"予期しないエラーで中断",
    .statusKept = u"登録を解除できない辞書セットあり",
    .statusUnknown = u"Windows またはほかのプログラムによる強制終了",
    .notStarted =
        u"このレポートの作成直前に再登録を実行しようとしましたが、"
        u"dicreg.exe を起動できませんでした（Windows のエラー {1}）。",
    .one = u"QelDat2012 は、使用中の辞書セットに登録されています。",
    .all = u"QelDat2012 は、使用中の辞書セット {1} 個すべてに登録されています。",
    .noneOfOne = u"QelDat2012 は、使用中の辞書セットに登録されていません。",
    .none = u"QelDat2012 は、使用中の辞書セット {1} 個のいずれにも登録されていません。",
    .some = u"QelDat2012 は、使用中の辞書セット {2} 個のうち {1} 個に登録されています。",
    .noAtok =
        u"この Windows ユーザー（{1}）には、ATOK 2012 の設定情報がありません。"
        u"ATOK 2012 がインストールされていないか、"
        u"このアカウントでまだ一度も起動されていないと考えられます。"
        u"このアカウントでサインインして ATOK 2012 を一度起動し（ない場合は先にインストールし）、"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。"
        u"辞書をほかのアカウントで使う場合は、そのアカウントでこのレポートを作成してください。",
    .nothingToDo = u"対処は不要です。",
    .seeBelow = u"対処方法は以下のとおりです。",
    .notSetUp =
        u"この Windows ユーザー（{1}）には、ATOK 2012 の使用中の辞書セットがありません。"
        u"ATOK 2012 のユーザー情報が未設定の可能性があります。",
    .setUp =
        u"ATOK 2012 を一度起動してユーザー情報の設定を済ませてから、"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .setUpPending =
        u"ATOK 2012 を一度起動してユーザー情報の設定を済ませてください。"
        u"次に Windows にサインインしたときに、QelDat2012 が自動的に登録されます。",
    .full =
        u"- {1} には空きがありません（登録できる辞書の数が上限に達しています）。"
        u"ATOK 2012 で辞書セットを編集する画面を開き、この辞書セットから使っていない辞書を"
        u"一つ外してから、スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .free =
        u"- {1} には登録されていません。スタート メニューの「ATOK 2012 に再登録」を実行すると、"
        u"スロット {2} に登録されます。",
    .missing =
        u"- {1} に登録されている辞書ファイル（{2}）が見つかりません。"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .moved =
        u"- {1} に登録されている辞書ファイル（{2}）が見つかりませんが、"
        u"このレポートのフォルダー（{3}）に辞書があります。フォルダーが移動され、"
        u"スタート メニューの項目が移動前の場所を指したままになっていると考えられます。"
        u"フォルダーを元の場所に戻すか、アンインストールしてから、"
        u"使いたいフォルダーにインストールし直してください。",
    .unwritable =
        u"- このアカウントには {1} の変更が許可されていないため（Windows のエラー {2}）、"
        u"この辞書セットには登録できません。このレジストリ キーのアクセス許可について、"
        u"PC の管理者にご相談ください。",
    .unreadable =
        u"- {1} を読み取れないため（Windows のエラー {2}）、この辞書セットには登録できません。"
        u"このレジストリ キーのアクセス許可について、PC の管理者にご相談ください。",
    .noDictionary =
        u"- インストールした辞書（{1}）が見つかりません。"
        u"パッケージをもう一度インストールしてください。",
    .otherVersions =
        u"- ほかのバージョンの ATOK の設定情報が見つかりました（{1}）。"
        u"QelDat2012 は ATOK 2012（バージョン 25.0）専用で、"
        u"ほかのバージョンの ATOK では使えません。ほかのバージョンをお使いの場合は、"
        u"対応する辞書があるかどうかを辞書の発行元にお問い合わせください。",
    .pending =
        u"- 使用中の辞書セットに登録できるようになったあと、"
        u"最初に Windows にサインインしたときに、"
        u"スタートアップの項目（{1}）が QelDat2012 を自動的に登録します。",
    .pendingNow =
        u"- 使用中の辞書セットに QelDat2012 を登録できる状態です。"
        u"次に Windows にサインインしたときに、スタートアップの項目（{1}）が自動的に登録します。"
        u"すぐに登録するには、スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .switchedOff =
        u"- QelDat2012 はサインイン時に自動的に登録される予定ですが、スタートアップの項目（{1}）"
        u"が無効になっているため、登録されません。タスク マネージャーのスタートアップの一覧"
        u"（Windows 10 と 11 では「設定」の「アプリ」→「スタートアップ」でも有効にできます）で"
        u"この項目を有効にするか、登録できるようになってから、"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .configured =
        u"- QelDat2012 はサインイン時に自動的に登録される予定ですが、スタートアップの項目（{1}）"
        u"が「システム構成」（msconfig）で無効になっているため、登録されません。"
        u"その［スタートアップ］タブでこの項目を有効にするか、登録できるようになってから、"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .entryGone =
        u"- QelDat2012 はサインイン時に自動的に登録される予定ですが、"
        u"そのためのスタートアップの項目がありません。登録できるようになってから、"
        u"スタート メニューの「ATOK 2012 に再登録」を実行してください。",
    .entryDone =
        u"- スタートアップの項目（{1}）は、サインイン時に QelDat2012 を登録し、"
        u"役目を終えています。サインインのたびに起動してすぐ終了するだけで、"
        u"次に「ATOK 2012 に再登録」を実行したときか、アンインストールしたときに削除されます。"
        u"対処は不要です。",
    .signInAgain =
        u"- 以前のバージョンの辞書ファイルが残っています（{1}）。"
        u"ATOK 2012 が開いたままにしている可能性があります。"
        u"Windows からサインアウトしてサインインし直すか、PC を再起動してください。"
        u"ATOK 2012 は新しい辞書を使うようになり、以前のファイルは削除されます。"
        u"それでも残っている場合は、ATOK 2012 を使っていないときに削除してください。",
    .restart =
        u"- インストール先のフォルダーのファイルを、Windows が次の再起動時に置き換えます。"
        u"PC を再起動すると、ATOK 2012 は新しい辞書を使うようになります。",
    .made = u"作成日時: ",
    .windows = u"Windows: {1}（{2}）、{3}",
    .wide = u"64 ビット",
    .narrow = u"32 ビット",
    .user = u"Windows ユーザー: ",
    .dicreg = u"dicreg: {1}（{2}）",
    .noDicreg = u"dicreg: 見つかりません（{1}）",
    .dictionary = u"インストールした辞書: ",
    .present = u"（あり）",
    .absent = u"（見つかりません）",
    .setsInUse = u"使用中の辞書セット（HKEY_CURRENT_USER\\{1} 以下）:",
    .installed = u"スロット {1} に登録済み（インストールした辞書）",
    .elsewhere = u"スロット {1} に登録済み（別のフォルダーの辞書）",
    .gone = u"スロット {1} に登録済み。ただし、その辞書ファイルが見つかりません",
    .edition =
        u"スロット {1} に QelDat の別の版が登録されています（再登録すると、"
        u"この登録は解除されます）",
    .next = u"未登録。再登録するとスロット {1} に登録されます",
    .noSlot = u"未登録。スロット 2〜9 がすべてほかの辞書で埋まっています",
    .readOnly = u"このアカウントには変更が許可されていません（Windows のエラー {1}）",
    .cannotRead = u"読み取れません（Windows のエラー {1}）",
    .listSeparator = u"。",
    .lineEnd = u"。",
    .nameSeparator = u"、",
    .notInUse = u"使用中でない辞書セット: {2} 個中 {1} 個",
    .saved =
        u"登録状況レポートを {1} に保存しました。このファイルはメモ帳で開けます。"
        u"サポート窓口には、このファイルをそのままお送りください。",
    .notSaved = u"登録状況レポートを {1} に保存できませんでした（Windows のエラー {2}）。",
    .usage =
        u"dicreport.exe に指定できる引数は、「/register」、「/quiet」、"
        u"レポートの保存先のファイル名のいずれか一つです（引数なしでも実行できます）。",
    .logOff = {{u"サインイン", u"ログオン"}, {u"サインアウト", u"ログオフ"}},
    .xpWords = {{u"「システム構成」", u"「システム構成ユーティリティ」"}},
};

std::u16string Number(long long n) { return RegSet::DecimalText(static_cast<std::int32_t>(n)); }

const Words& WordsOf(Language language) {
  return language == Language::Japanese ? kJapanese : kEnglish;
}

// What dicreg's exit status means.
const char16_t* Meaning(DWORD status, const Words& w) {
  switch (status) {
    case 0:
      return w.statusRegistered;
    case 1:
      return w.statusNoSet;
    case 2:
      return w.statusRefused;
    case 3:
      return w.statusFailed;
    case 4:
      return w.statusKept;
    default:
      return w.statusUnknown;
  }
}

// What one set's line says after its name.
std::u16string Line(const Finding& finding, SetState state, const Words& w) {
  if (state == SetState::Unreadable) {
    return Fill(w.cannotRead, {StatusText(finding.set->readStatus)}) + w.lineEnd;
  }
  std::u16string said;
  const auto add = [&](const std::u16string& part) {
    if (!said.empty()) said += w.listSeparator;
    said += part;
  };
  for (const auto& entry : finding.registered) {
    const char16_t* kind = entry.file == FileState::Installed   ? w.installed
                           : entry.file == FileState::Elsewhere ? w.elsewhere
                                                                : w.gone;
    add(Fill(kind, {Number(entry.slot)}));
  }
  for (int slot : finding.otherEditions) add(Fill(w.edition, {Number(slot)}));
  if (state == SetState::Free) add(Fill(w.next, {Number(finding.nextSlot)}));
  if (state == SetState::Full) add(w.noSlot);
  if (!finding.writable) add(Fill(w.readOnly, {StatusText(finding.set->writeStatus)}));
  return said + w.lineEnd;
}

// The text with each pair's first words replaced by its second.
std::u16string Replaced(std::u16string text,
                        const std::vector<std::pair<const char16_t*, const char16_t*>>& pairs) {
  for (const auto& [first, second] : pairs) {
    const std::u16string from = first, to = second;
    for (std::size_t at = 0; (at = text.find(from, at)) != text.npos; at += to.size()) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

std::u16string Join(const std::vector<std::u16string>& names, const char16_t* separator) {
  std::u16string joined;
  for (const auto& name : names) joined += (joined.empty() ? u"" : separator) + name;
  return joined;
}

// The installed folder an entry's file was in: its folder, or that folder's parent where the
// file lay in a version's folder.
std::u16string InstalledFolder(const std::u16string& path) {
  std::u16string folder = path.substr(0, path.find_last_of(u'\\') + 1);
  if (folder.empty()) return folder;
  folder.pop_back();
  const std::size_t parent = folder.find_last_of(u'\\');
  if (parent != std::u16string::npos && !NewestVersion({folder.substr(parent + 1)}).empty()) {
    folder.erase(parent);
  }
  return folder;
}

// A line of the report's own words and the values that fill them in: Windows' words for logging
// on go into the pattern alone, never into a user's, folder's or entry's name.
struct Said {
  std::u16string pattern;
  std::vector<std::u16string> values;
};

// The verdict's line for a set that needs something done, or nothing. An entry that names the
// dictionary in another folder, while the installed one is in the report's, tells of a folder
// that was moved: registering again would not do, for the Start menu points to the old place.
Said Advice(const Finding& finding, SetState state, const Facts& facts, const Words& w) {
  const std::u16string name = finding.set->Name();
  switch (state) {
    case SetState::Registered:
      return {};
    case SetState::FileMissing:
      for (const auto& entry : finding.registered) {
        if (entry.file != FileState::Missing) continue;
        if (facts.dictionaryPresent && !facts.folder.empty() &&
            dicset::Upper(InstalledFolder(entry.path)) != dicset::Upper(facts.folder)) {
          return {w.moved, {name, entry.path, facts.folder}};
        }
        return {w.missing, {name, entry.path}};
      }
      return {};
    case SetState::Free:
      return {w.free, {name, Number(finding.nextSlot)}};
    case SetState::Full:
      return {w.full, {name}};
    case SetState::ReadOnly:
      return {w.unwritable, {name, StatusText(finding.set->writeStatus)}};
    case SetState::Unreadable:
      return {w.unreadable, {name, StatusText(finding.set->readStatus)}};
  }
  return {};
}

// The startup entries that Windows starts at a sign-in: those not switched off.
std::vector<std::u16string> SwitchedOn(const Startup& startup) {
  std::vector<std::u16string> on;
  for (const auto& name : startup.entries) {
    bool off = false;
    for (const auto& switched : startup.switchedOff) off |= switched == name;
    if (!off) on.push_back(name);
  }
  return on;
}

// What the startup entries and the marker say: a registration that waits for a sign-in, and
// whether anything will do it; or an entry left with nothing to do.
Said StartupLine(const Facts& facts, bool canTake, const Words& w) {
  const Startup& startup = facts.startup;
  const std::vector<std::u16string> on = SwitchedOn(startup);
  if (!startup.waiting) {
    if (startup.entries.empty()) return {};
    return {w.entryDone, {Join(startup.entries, w.nameSeparator)}};
  }
  if (!on.empty()) return {canTake ? w.pendingNow : w.pending, {Join(on, w.nameSeparator)}};
  if (!startup.entries.empty()) return {w.switchedOff, {Join(startup.entries, w.nameSeparator)}};
  if (!facts.configured.empty()) {
    const bool xp = facts.windows.version.rfind(u"5.", 0) == 0;
    return {xp ? Replaced(w.configured, w.xpWords) : w.configured,
            {Join(facts.configured, w.nameSeparator)}};
  }
  return {w.entryGone, {}};
}

}  // namespace

std::u16string Fill(const std::u16string& pattern, const std::vector<std::u16string>& values) {
  std::u16string text;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const char16_t digit = at + 2 < pattern.size() ? pattern[at + 1] : u'\0';
    const std::size_t n = digit >= u'1' && digit <= u'9' ? digit - u'0' : 0;
    if (pattern[at] == u'{' && n && n <= values.size() && pattern[at + 2] == u'}') {
      text += values[n - 1];
      at += 2;
    } else {
      text += pattern[at];
    }
  }
  return text;
}

std::u16string StatusText(DWORD code) {
  if (code < 0x80000000) return Number(code);
  std::u16string hex = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += u"0123456789ABCDEF"[(code >> shift) & 15];
  return hex;
}

SetState StateOf(const Finding& finding) {
  if (finding.set->Unreadable()) return SetState::Unreadable;
  if (!finding.registered.empty()) {
    for (const auto& entry : finding.registered) {
      if (entry.file == FileState::Missing) return SetState::FileMissing;
    }
    return SetState::Registered;
  }
  if (!finding.writable) return SetState::ReadOnly;
  return finding.nextSlot ? SetState::Free : SetState::Full;
}

std::u16string FileName(Language language) { return WordsOf(language).fileName; }

std::u16string SavedText(Language language, const std::u16string& path) {
  return Fill(WordsOf(language).saved, {path});
}

std::u16string NotSavedText(Language language, const std::u16string& path, DWORD error) {
  return Fill(WordsOf(language).notSaved, {path, StatusText(error)});
}

std::u16string UsageText(Language language) { return WordsOf(language).usage; }

Report Write(const Survey& survey, const std::vector<Finding>& findings, const Facts& facts,
             Language language) {
  const Words& w = WordsOf(language);
  Report report;
  std::u16string& text = report.text;
  const auto line = [&](const std::u16string& said) { text += said + u"\r\n"; };
  // What the report says in its own words, in the words of the Windows it runs on.
  const auto say = [&](const Said& said) {
    line(Fill(facts.logOff ? Replaced(said.pattern, w.logOff) : said.pattern, said.values));
  };

  line(w.title);
  line(u"");
  if (facts.registration) {
    const Registration& run = *facts.registration;
    line(run.started ? Fill(w.registration, {StatusText(run.code), Meaning(run.code, w)})
                     : Fill(w.notStarted, {StatusText(run.code)}));
    line(u"");
  }

  int inUse = 0;
  int registered = 0;
  bool fine = true;  // every set found is registered, from files that exist
  std::vector<Said> advice;
  for (const auto& finding : findings) {
    const SetState state = StateOf(finding);
    inUse += finding.set->InUse();
    registered += state == SetState::Registered;
    fine &= state == SetState::Registered;
    Said said = Advice(finding, state, facts, w);
    if (!said.pattern.empty()) advice.push_back(std::move(said));
  }
  const bool canTake = AnyCanTake(findings);
  const Said startup = StartupLine(facts, canTake, w);
  if (inUse == 0) {
    const bool signIn = facts.startup.waiting && !SwitchedOn(facts.startup).empty();
    say(survey.atok2012
            ? Said{w.notSetUp + std::u16string(signIn ? w.setUpPending : w.setUp), {facts.user}}
            : Said{w.noAtok, {facts.user}});
  } else {
    const bool all = registered == inUse;
    const char16_t* verdict = all               ? (inUse == 1 ? w.one : w.all)
                              : registered == 0 ? (inUse == 1 ? w.noneOfOne : w.none)
                                                : w.some;
    say({verdict + std::u16string(all && facts.dictionaryPresent ? w.nothingToDo : w.seeBelow),
         {Number(registered == 0 ? inUse : registered), Number(inUse)}});
  }
  for (const auto& said : advice) say(said);
  if (!facts.dictionaryPresent) say({w.noDictionary, {facts.dictionary}});
  if (!survey.otherVersions.empty()) {
    say({w.otherVersions, {Join(survey.otherVersions, w.nameSeparator)}});
  }
  if (!startup.pattern.empty()) say(startup);
  // An earlier dictionary a set still names stays on purpose (a set this user may not change
  // names it): the customer must not delete that one.
  std::vector<std::u16string> stale;
  for (const auto& file : facts.stale) {
    if (!Named(survey, file)) stale.push_back(file);
  }
  if (!stale.empty()) say({w.signInAgain, {Join(stale, w.nameSeparator)}});
  if (facts.restart) say({w.restart, {}});
  // Decided by each set's one state: all registered is 0 even where the sets may not be changed.
  report.status = fine && inUse > 0 && facts.dictionaryPresent ? kAllRegistered
                  : canTake                                    ? kSomethingToDo
                                                               : kNoSetCanTake;

  line(u"");
  line(w.made + facts.made);
  line(Fill(w.windows,
            {facts.windows.name, facts.windows.version, facts.windows.wide ? w.wide : w.narrow}));
  line(w.user + facts.user);
  line(u"dicreport: " + facts.version);
  line(facts.dicregVersion.empty() ? Fill(w.noDicreg, {facts.dicregPath})
                                   : Fill(w.dicreg, {facts.dicregVersion, facts.dicregPath}));
  line(w.dictionary + facts.dictionary + (facts.dictionaryPresent ? w.present : w.absent));

  if (!findings.empty()) {
    line(u"");
    line(Fill(w.setsInUse, {dicset::kProfileKey}));
    for (const auto& finding : findings) {
      line(u"");
      line(finding.set->Name() + u": " + Line(finding, StateOf(finding), w));
      for (int k = 1; k <= dicset::kLastSlot; ++k) {
        if (!finding.set->slots[k].empty()) line(u"  " + Number(k) + u": " + finding.set->slots[k]);
      }
    }
  }
  line(u"");
  const std::size_t all = survey.sets.size();
  line(Fill(w.notInUse, {Number(all - findings.size()), Number(all)}));
  return report;
}

}  // namespace report
