// The texts the user reads, and the captions of the message box.
#pragma once

#include <string>
#include <string_view>

#include "common/shown_text.h"
#include "ferrule/outcome.h"

namespace ferrule::detail::messages {

inline constexpr std::string_view kCaptionOk = "OK";
inline constexpr std::string_view kCaptionNg = "NG";

inline constexpr std::string_view kBanner = "Ferrule program Ver1.01  2019/May/25th \n";
inline constexpr std::string_view kPleaseWait = "しばらくお待ちください...\n";
inline constexpr std::string_view kUsage =
    "使い方: ferrule [--] <RINEX観測ファイル>...\n"
    "        ferrule --report [--csv 名前.csv] [--html 名前.html] [--method 観測方法]\n"
    "                [--min-epochs N] [--min-satellites N] [--utc-offset ±時[:分]] [--]\n"
    "                <RINEX観測ファイル>...\n"
    "        ferrule --help | --version\n";
inline constexpr std::string_view kHelp =
    "使い方: ferrule [--] <RINEX観測ファイル>...\n"
    "        ferrule --report [--csv 名前.csv] [--html 名前.html] [--method 観測方法]\n"
    "                [--min-epochs N] [--min-satellites N] [--utc-offset ±時[:分]] [--]\n"
    "                <RINEX観測ファイル>...\n"
    "        ferrule --help | --version\n"
    "\n"
    "RINEX 2 の観測ファイルを、その場で変換します。\n"
    "キネマティック（MARKER NAME が ????）のファイルには移動開始のイベントを書き込み、\n"
    "停止して観測した各点（移動中に告げられた観測）に点名 000K, 001K, ... を割り付けます。\n"
    "点名（MARKER NAME）が英数字4文字でないスタティックのファイルは、点名を4文字に修正します。\n"
    "変換前のファイルは、名前の後ろに _original を付けて残します。\n"
    "ファイルをいくつ指定しても、1つずつ変換します。時刻はすべて GPS 時刻です。\n"
    "\n"
    "  --report               何も変更せず、変換の内容と、点ごとの観測（点名、開始と終了の\n"
    "                         時刻、エポック数、衛星数、欠測、アンテナ高、判定）の表を表示します\n"
    "  --csv 名前.csv         その表を CSV ファイル（UTF-8、Excel 用）に書き出します\n"
    "  --html 名前.html       その表と観測の時間図を HTML ファイルに書き出します\n"
    "  --method 観測方法      判定に使う作業規程の準則の観測方法: kinematic（キネマティック法、\n"
    "                         既定）、rtk（RTK法）、network-rtk（ネットワーク型RTK法）\n"
    "  --min-epochs N         1点のエポック数の下限を、観測方法の値に代えて N にします\n"
    "  --min-satellites N     衛星の条件を、1エポックの衛星数（全システム）N 以上に代えます\n"
    "  --utc-offset ±時[:分]  現地時刻の UTC との差（既定 +9、日本標準時 JST）\n"
    "  -h, --help             この説明を表示します\n"
    "  -V, --version          バージョンを表示します\n"
    "  --                     これより後の引数はすべてファイル名です\n"
    "\n"
    "--csv と --html は --report を含みます（観測ファイルは変更しません）。\n"
    "名前は .csv、.html（.htm）で終わるものか、標準出力の - です。レポートは横に書いてから\n"
    "名前を置き換えるので、途中で止まっても前のファイルは残ります。\n";

inline constexpr std::string_view kReadFailed = "RINEX観測ファイルの読み込みに失敗しました。";
inline constexpr std::string_view kNotObservationFile =
    "RINEX観測ではありません。パスに小文字の o が必要です（例: site.19o）。";
inline constexpr std::string_view kTempCreateFailed = "一時的なファイルの作成に失敗しました。";
inline constexpr std::string_view kTempWriteFailed = "一時的なファイルの書き込みに失敗しました。";
inline constexpr std::string_view kReplaceFailed = "ファイルの置き換えに失敗しました。";
inline constexpr std::string_view kInUse = "このファイルは別の変換で使用中です。";
inline constexpr std::string_view kCannotLock =
    "このファイルシステムではファイルをロックできないため、変換できません。"
    "ローカルのディスクにコピーしてから変換してください。";
inline constexpr std::string_view kUnknownOption = "不明なオプションです: ";
inline constexpr std::string_view kOptionWithoutValue = "オプションの値がありません: ";
inline constexpr std::string_view kOptionValueWrong = "オプションの値が正しくありません: ";
// The report files, each with the file's name after it.
inline constexpr std::string_view kReportNotWritten = "レポートを書き出せませんでした: ";
inline constexpr std::string_view kReportNotReplaced =
    "レポートを書き出せませんでした。同じ名前の既存のファイルを置き換えられません"
    "（別のユーザーのファイルなど）: ";
inline constexpr std::string_view kReportOverInput =
    "レポートの書き出し先が観測ファイル（またはその _original、_temp）です。"
    "別の名前を指定してください: ";
inline constexpr std::string_view kReportOutputsOneFile =
    "--csv と --html の書き出し先が同じファイルです。別の名前を指定してください: ";
inline constexpr std::string_view kReportNotRegular =
    "レポートの書き出し先に、通常のファイルではないもの（リンク、FIFO、フォルダなど）があります。"
    "別の名前を指定してください: ";
inline constexpr std::string_view kReportOverRinex =
    "レポートの書き出し先に RINEX ファイルがあります。別の名前を指定してください: ";
inline constexpr std::string_view kReportFolderMissing =
    "レポートの書き出し先のフォルダを開けません: ";
inline constexpr std::string_view kReportFolderNotWritable =
    "レポートの書き出し先のフォルダにファイルを作れません: ";
inline constexpr std::string_view kReportNameWrong =
    "レポートの名前は --csv なら .csv、--html なら .html か .htm で終わる名前"
    "（または標準出力の -）にしてください: ";
inline constexpr std::string_view kReportOutOfMemory =
    "メモリが不足したため、このファイルの観測を表にできませんでした。";
inline constexpr std::string_view kChangedWhileRead = "変換中にファイルが変更されました。";
inline constexpr std::string_view kLinkToSideFile =
    "このファイルは、変換で使う名前（_original または _temp）とつながるシンボリックリンクです。"
    "リンク先のファイルを直接指定してください。";
inline constexpr std::string_view kOutOfMemory = "メモリが不足したため、変換できませんでした。";
inline constexpr std::string_view kStaticData =
    "このRINEXデータはStaticで取得されたものです。変換する必要はありません。";
inline constexpr std::string_view kGsiData =
    "このRINEXデータは国土地理院のデータです。変換する必要はありません。";
inline constexpr std::string_view kAlreadyConverted = "すでに変換済のRINEXデータです。";
inline constexpr std::string_view kSiteIdLimit =
    "点名の割り付け上限（2,049 点: 000K から 800K まで）を超えました。"
    "ファイルを分割して変換してください。";
inline constexpr std::string_view kConverted = "変換完了";
inline constexpr std::string_view kWouldConvert = "変換します（キネマティック）";
inline constexpr std::string_view kWouldRepair = "変換します（スタティック、点名を修正）";
inline constexpr std::string_view kWouldRefuse = "変換しません: ";
inline constexpr std::string_view kConvertedStatic =
    "Staticデータです。Station IDが英数字4文字ではないため修正しました。";

inline constexpr std::string_view kEmptyInput =
    "ファイルが空です。受信機から観測ファイルを出力し直してください。";
inline constexpr std::string_view kHeaderCutShort =
    "ヘッダの途中でファイルが終わっています。ファイルが途中で切れている可能性があります。"
    "元のファイルからコピーし直してください。";
inline constexpr std::string_view kNoEpochs =
    "観測データ（エポック）がありません。ヘッダの後に観測データが記録されているか確認してください"
    "。";
inline constexpr std::string_view kProgramEnds = "\nプログラムを終了します。";

// Why a header line is refused.
inline std::string headerFaultReason(const HeaderFault& fault) {
    using Reason = HeaderFault::Reason;
    const std::string value = std::to_string(fault.value);
    switch (fault.reason) {
        case Reason::UnknownLabel:
            return "対応していないヘッダレコードです（" +
                   (fault.label.empty() ? std::string("ラベルなし") : shownText(fault.label)) +
                   "）";
        case Reason::LineLength:
            return "行の長さが80文字ではありません（" + value + " 文字）";
        case Reason::LineTooLong:
            return "行の長さが80文字ではありません（65,536 文字を超えています）";
        case Reason::LineEnd:
            return "行末が CR LF ではありません";
        case Reason::NulByte:
            return "NUL 文字があります";
        case Reason::TooManyTypes:
            return "観測種別の数が15を超えています（" + value + "）";
        case Reason::NegativeTypes:
            return "観測種別の数が負の値です（" + value + "）";
        case Reason::Rinex3:
            return "RINEX 3 以降の形式には対応していません（RINEX 2 のみ）";
        case Reason::NoMarkerName:
            return "MARKER NAME "
                   "のレコードがありません（キネマティックかスタティックかを判定できません）";
    }
    return {};
}

// The header error message: the offending line (escaped), where it stands and why, then two
// lines. A caller that ends the program there adds kProgramEnds. Without a line number (a
// caller that has only the quoted line) the place and reason are left out.
inline std::string headerError(const HeaderFault& fault) {
    std::string text = shownText(fault.quote) + "\n";
    if (fault.line > 0) {
        text += (fault.inHeader ? "ヘッダ " : "") + std::to_string(fault.line) + " 行目" +
                (fault.inHeader ? "" : "（イベントのヘッダレコード）") + ": " +
                headerFaultReason(fault) + "\n";
    }
    text +=
        "ヘッダにエラーがありました。\nSpectra Precision社のRinexConverterを使用していない"
        "可能性があります。";
    return text;
}

}  // namespace ferrule::detail::messages
