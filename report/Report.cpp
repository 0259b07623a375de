#include "Report.h"

#include <initializer_list>

#include "../registry/RegSet.h"

namespace report {
namespace {

// Every text of the report in one language; {1}, {2} and {3} stand for what is filled in.
struct Words {
  const char16_t* fileName;
  const char16_t* title;
  const char16_t* registration;  // {1} status {2} its meaning
  const char16_t* statuses[4];
  const char16_t* notStarted;     // {1} Windows error
  const char16_t* one;            // the one set in use holds it
  const char16_t* all;            // {1} sets in use
  const char16_t* noneOfOne;      // the one set in use lacks it
  const char16_t* none;           // {1} sets in use
  const char16_t* some;           // {1} registered {2} in use
  const char16_t* noAtok;         // {1} user
  const char16_t* otherVersions;  // {1} versions
  const char16_t* notSetUp;       // {1} user
  const char16_t* setUp;
  const char16_t* full;        // {1} set
  const char16_t* free;        // {1} set {2} slot
  const char16_t* missing;     // {1} set {2} path
  const char16_t* unwritable;  // {1} set {2} Windows error
  const char16_t* unreadable;  // {1} set {2} Windows error
  const char16_t* made;
  const char16_t* windows;
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
  const char16_t* notInUse;  // {1} count {2} all
  const char16_t* saved;     // {1} path
  const char16_t* notSaved;  // {1} path {2} Windows error
  const char16_t* usage;
};

const Words kEnglish = {
    u"QelDat2012 status.txt",
    u"QelDat2012 dictionary status report",
    u"Registering again ran just before this report: dicreg.exe ended with status {1} ({2}).",
    {u"registered in at least one dictionary set", u"no dictionary set took the dictionary",
     u"no argument was given", u"an unexpected failure"},
    u"Registering again was tried just before this report, but dicreg.exe could not be started "
    u"(Windows error {1}).",
    u"QelDat2012 is registered in the dictionary set in use.",
    u"QelDat2012 is registered in all {1} dictionary sets in use.",
    u"QelDat2012 is not registered in the dictionary set in use.",
    u"QelDat2012 is not registered in any of the {1} dictionary sets in use.",
    u"QelDat2012 is registered in {1} of the {2} dictionary sets in use.",
    u"ATOK 2012's settings are not there for this Windows user ({1}): ATOK 2012 is probably not "
    u"installed, or this user has not started it yet.",
    u" Settings of other ATOK versions were found: {1}. QelDat2012 is for ATOK 2012 (version "
    u"25.0) only.",
    u"This Windows user ({1}) has no ATOK 2012 dictionary set in use: ATOK 2012's user "
    u"information is probably not set up yet.",
    u" Start ATOK 2012 once so that it sets up its user information, then choose \"Register in "
    u"ATOK 2012 again\" in the Start menu.",
    u"- {1} has no free slot: slots 2 to 9 all hold other dictionaries. Take out one that is no "
    u"longer used in ATOK 2012's dictionary settings, then choose \"Register in ATOK 2012 again\" "
    u"in the Start menu.",
    u"- {1} does not hold it: choose \"Register in ATOK 2012 again\" in the Start menu; it goes "
    u"into slot {2}.",
    u"- {1} names a file that no longer exists ({2}): choose \"Register in ATOK 2012 again\" in "
    u"the Start menu.",
    u"- This Windows user may not change {1} (Windows error {2}), so dicreg cannot register it "
    u"there: ask the PC's administrator about the rights on this registry key.",
    u"- {1} cannot be read (Windows error {2}), so dicreg skips it: ask the PC's administrator "
    u"about the rights on this registry key.",
    u"Made: ",
    u"Windows: ",
    u"Windows user: ",
    u"dicreg: {1} ({2})",
    u"dicreg: not found ({1})",
    u"Installed dictionary: ",
    u" (present)",
    u" (missing)",
    u"Dictionary sets in use, below HKEY_CURRENT_USER\\{1}:",
    u"registered in slot {1}, the installed dictionary",
    u"registered in slot {1}, a file in another folder",
    u"registered in slot {1}, but that file no longer exists",
    u"slot {1} holds another edition of QelDat, which registering again takes out",
    u"not registered; registering again puts it in slot {1}",
    u"not registered; slots 2 to 9 all hold other dictionaries",
    u"this Windows user may not change it (Windows error {1})",
    u"cannot be read (Windows error {1})",
    u"; ",
    u"Dictionary sets not in use: {1} of {2}.",
    u"The report is saved as {1}. Open it with Notepad, or send it to support as it is.",
    u"The report could not be saved as {1} (Windows error {2}).",
    u"dicreport takes no argument, \"/register\", or the file to write the report to.",
};

const Words kJapanese = {
    u"QelDat2012 登録状況.txt",
    u"QelDat2012 登録状況レポート",
    u"このレポートの作成直前に再登録を実行しました。dicreg.exe の終了コードは {1}（{2}）です。",
    {u"一つ以上の辞書セットに登録しました", u"辞書を登録できる辞書セットがありませんでした",
     u"引数が指定されていませんでした", u"予期しないエラーで処理を中断しました"},
    u"このレポートの作成直前に再登録を実行しようとしましたが、dicreg.exe を起動できませんでした"
    u"（Windows のエラー {1}）。",
    u"QelDat2012 は、使用中の辞書セットに登録されています。",
    u"QelDat2012 は、使用中の辞書セット {1} 個すべてに登録されています。",
    u"QelDat2012 は、使用中の辞書セットに登録されていません。",
    u"QelDat2012 は、使用中の辞書セット {1} 個のいずれにも登録されていません。",
    u"QelDat2012 は、使用中の辞書セット {2} 個のうち {1} 個に登録されています。",
    u"この Windows ユーザー（{1}）には、ATOK 2012 の設定情報がありません。ATOK 2012 がインストール"
    u"されていないか、このユーザーで ATOK 2012 をまだ一度も起動していないと考えられます。",
    u"ほかのバージョンの ATOK の設定情報は見つかりました（{1}）。QelDat2012 は ATOK "
    u"2012（バージョン "
    u"25.0）専用です。",
    u"この Windows ユーザー（{1}）には、ATOK 2012 の使用中の辞書セットがありません。ATOK 2012 の"
    u"ユーザー情報が未設定の可能性があります。",
    u"ATOK 2012 を一度起動してユーザー情報の設定を済ませてから、スタートメニューの「ATOK 2012 に"
    u"再登録」を実行してください。",
    u"- {1} には空きスロットがありません（スロット 2〜9 がすべてほかの辞書で埋まっています）。"
    u"ATOK 2012 で辞書セットを編集する画面を開き、この辞書セットから使っていない辞書を一つ外して"
    u"から、スタートメニューの「ATOK 2012 に再登録」を実行してください。",
    u"- {1} には登録されていません。スタートメニューの「ATOK 2012 に再登録」を実行すると、スロット "
    u"{2} に登録されます。",
    u"- {1} に登録されている辞書ファイル（{2}）が見つかりません。スタートメニューの「ATOK 2012 に"
    u"再登録」を実行してください。",
    u"- この Windows ユーザーには {1} の変更が許可されていないため（Windows のエラー {2}）、この"
    u"辞書セットには登録できません。このレジストリキーのアクセス許可について、PC の管理者にご相談"
    u"ください。",
    u"- {1} を読み取れないため（Windows のエラー {2}）、この辞書セットには登録できません。この"
    u"レジストリキーのアクセス許可について、PC の管理者にご相談ください。",
    u"作成日時: ",
    u"Windows: ",
    u"Windows ユーザー: ",
    u"dicreg: {1}（{2}）",
    u"dicreg: 見つかりません（{1}）",
    u"インストールした辞書: ",
    u"（あり）",
    u"（見つかりません）",
    u"使用中の辞書セット（HKEY_CURRENT_USER\\{1} 以下）:",
    u"スロット {1} に登録済み（インストールした辞書）",
    u"スロット {1} に登録済み（別のフォルダーの辞書）",
    u"スロット {1} に登録済み。ただし、その辞書ファイルが見つかりません",
    u"スロット {1} に QelDat の別の版が登録されています（再登録すると、この登録は解除されます）",
    u"未登録。再登録するとスロット {1} に登録されます",
    u"未登録。スロット 2〜9 がすべてほかの辞書で埋まっています",
    u"この Windows ユーザーには変更が許可されていません（Windows のエラー {1}）",
    u"読み取れません（Windows のエラー {1}）",
    u"。",
    u"使用中でない辞書セット: {2} 個中 {1} 個",
    u"登録状況レポートを {1} に保存しました。このファイルはメモ帳で開けます。サポート窓口には、"
    u"このファイルをそのままお送りください。",
    u"登録状況レポートを {1} に保存できませんでした（Windows のエラー {2}）。",
    u"dicreport.exe に指定できる引数は、「/register」か、レポートの保存先のファイル名のどちらか一つ"
    u"です（引数なしでも実行できます）。",
};

std::u16string Fill(const char16_t* pattern, std::initializer_list<std::u16string> values) {
  std::u16string text = pattern;
  int n = 1;
  for (const auto& value : values) {
    const std::u16string mark = u"{" + RegSet::DecimalText(n++) + u"}";
    for (std::size_t at = text.find(mark); at != std::u16string::npos;
         at = text.find(mark, at + value.size())) {
      text.replace(at, mark.size(), value);
    }
  }
  return text;
}

std::u16string Number(long long n) { return RegSet::DecimalText(static_cast<std::int32_t>(n)); }

const Words& WordsOf(Language language) {
  return language == Language::Japanese ? kJapanese : kEnglish;
}

// What one set's line says after its name.
std::u16string State(const Finding& finding, const Words& w) {
  std::u16string said;
  const auto add = [&](const std::u16string& part) {
    if (!said.empty()) said += w.listSeparator;
    said += part;
  };
  if (finding.set->Unreadable()) {
    return Fill(w.cannotRead, {Number(finding.set->readStatus)});
  }
  for (const auto& entry : finding.registered) {
    const char16_t* kind = entry.file == FileState::Installed   ? w.installed
                           : entry.file == FileState::Elsewhere ? w.elsewhere
                                                                : w.gone;
    add(Fill(kind, {Number(entry.slot)}));
  }
  for (int slot : finding.otherEditions) add(Fill(w.edition, {Number(slot)}));
  if (finding.registered.empty() && finding.writable) {
    add(finding.nextSlot ? Fill(w.next, {Number(finding.nextSlot)}) : std::u16string(w.noSlot));
  }
  if (!finding.writable) add(Fill(w.readOnly, {Number(finding.set->writeStatus)}));
  return said;
}

// The verdict's line for a set that needs something done, or nothing.
std::u16string Advice(const Finding& finding, const Words& w) {
  const std::u16string name = finding.set->Name();
  if (finding.set->Unreadable()) {
    return Fill(w.unreadable, {name, Number(finding.set->readStatus)});
  }
  if (finding.registered.empty()) {
    if (!finding.writable) return Fill(w.unwritable, {name, Number(finding.set->writeStatus)});
    if (!finding.nextSlot) return Fill(w.full, {name});
    return Fill(w.free, {name, Number(finding.nextSlot)});
  }
  for (const auto& entry : finding.registered) {
    if (entry.file == FileState::Missing) return Fill(w.missing, {name, entry.path});
  }
  return std::u16string();
}

std::u16string JoinVersions(const std::vector<std::u16string>& versions) {
  std::u16string joined;
  for (const auto& version : versions) joined += (joined.empty() ? u"" : u", ") + version;
  return joined;
}

}  // namespace

std::u16string FileName(Language language) { return WordsOf(language).fileName; }

std::u16string SavedText(Language language, const std::u16string& path) {
  return Fill(WordsOf(language).saved, {path});
}

std::u16string NotSavedText(Language language, const std::u16string& path, DWORD error) {
  return Fill(WordsOf(language).notSaved, {path, Number(error)});
}

std::u16string UsageText(Language language) { return WordsOf(language).usage; }

Report Write(const Survey& survey, const std::vector<Finding>& findings, const Facts& facts,
             Language language) {
  const Words& w = WordsOf(language);
  Report report;
  std::u16string& text = report.text;
  const auto line = [&](const std::u16string& said) { text += said + u"\r\n"; };

  line(w.title);
  line(u"");
  if (facts.registration) {
    const Registration& run = *facts.registration;
    const bool known = run.started && run.code < 4;
    line(run.started ? Fill(w.registration, {Number(run.code), known ? w.statuses[run.code] : u"?"})
                     : Fill(w.notStarted, {Number(run.code)}));
    line(u"");
  }

  int inUse = 0;
  int registered = 0;
  for (const auto& finding : findings) {
    inUse += finding.set->InUse();
    registered += finding.set->InUse() && !finding.registered.empty();
  }
  if (inUse == 0) {
    if (survey.atok2012) {
      line(Fill(w.notSetUp, {facts.user}) + w.setUp);
    } else {
      const std::u16string others =
          survey.otherVersions.empty()
              ? std::u16string()
              : Fill(w.otherVersions, {JoinVersions(survey.otherVersions)});
      line(Fill(w.noAtok, {facts.user}) + others);
    }
  } else {
    const char16_t* verdict = registered == inUse ? (inUse == 1 ? w.one : w.all)
                              : registered == 0   ? (inUse == 1 ? w.noneOfOne : w.none)
                                                  : w.some;
    line(Fill(verdict, {Number(registered == 0 ? inUse : registered), Number(inUse)}));
  }
  for (const auto& finding : findings) {
    const std::u16string advice = Advice(finding, w);
    if (!advice.empty()) line(advice);
  }
  report.allRegistered = inUse > 0;
  for (const auto& finding : findings) report.allRegistered &= !finding.Problem();

  line(u"");
  line(w.made + facts.made);
  line(w.windows + facts.windows);
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
      line(finding.set->Name() + u": " + State(finding, w));
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
