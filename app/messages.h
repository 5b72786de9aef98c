// The texts the user reads, and the captions of the message box.
#pragma once

#include <string>
#include <string_view>

#include "app/shown_text.h"

namespace ferrule::detail::messages {

inline constexpr std::string_view kCaptionOk = "OK";
inline constexpr std::string_view kCaptionNg = "NG";

inline constexpr std::string_view kBanner = "Ferrule program Ver1.01  2019/May/25th \n";
inline constexpr std::string_view kPleaseWait = "しばらくお待ちください...\n";
inline constexpr std::string_view kUsage =
    "使い方: ferrule [--report] [--] <RINEX観測ファイル>...\n"
    "        ferrule --help | --version\n";
inline constexpr std::string_view kHelp =
    "使い方: ferrule [--report] [--] <RINEX観測ファイル>...\n"
    "        ferrule --help | --version\n"
    "\n"
    "RINEX 2 の観測ファイルを、その場で変換します。\n"
    "キネマティック（MARKER NAME が ????）のファイルには移動開始のイベントを書き込み、\n"
    "移動中に観測した各点に点名 000K, 001K, ... を割り付けます。\n"
    "Station ID が英数字4文字でないスタティックのファイルは、ID を4文字に修正します。\n"
    "変換前のファイルは、名前の後ろに _original を付けて残します。\n"
    "ファイルをいくつ指定しても、1つずつ変換します。\n"
    "\n"
    "  --report       何も変更せず、変換の内容（観測点の一覧など）を表示します\n"
    "  -h, --help     この説明を表示します\n"
    "  -V, --version  版を表示します\n"
    "  --             これより後の引数はすべてファイル名です\n";

inline constexpr std::string_view kReadFailed = "RINEX観測ファイルの読み込みに失敗しました。";
inline constexpr std::string_view kNotObservationFile =
    "RINEX観測ではありません。ファイル名に小文字の o が必要です（例: site.19o）。";
inline constexpr std::string_view kTempCreateFailed = "一時的なファイルの作成に失敗しました。";
inline constexpr std::string_view kTempWriteFailed = "一時的なファイルの書き込みに失敗しました。";
inline constexpr std::string_view kReplaceFailed = "ファイルの置き換えに失敗しました。";
inline constexpr std::string_view kInUse = "このファイルは別の変換で使用中です。";
inline constexpr std::string_view kCannotLock =
    "このファイルシステムではファイルをロックできないため、変換できません。"
    "ローカルのディスクにコピーしてから変換してください。";
inline constexpr std::string_view kUnknownOption = "不明なオプションです: ";
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
inline constexpr std::string_view kWouldConvert = "変換します（キネマティック）\n";
inline constexpr std::string_view kWouldRepair = "変換します（スタティック、Station ID を修正）\n";
inline constexpr std::string_view kWouldRefuse = "変換しません: ";
inline constexpr std::string_view kConvertedStatic =
    "Staticデータです。Station IDが英数字4文字ではないため修正しました。";

// The header error message: the offending line, " ", a line feed, then three lines. The line is
// shown escaped, all but its own line end (CR LF, or LF), which is kept as the file has it.
inline std::string headerError(std::string_view line) {
    const std::size_t end = line.ends_with("\r\n") ? 2 : line.ends_with('\n') ? 1 : 0;
    std::string text = shownText(line.substr(0, line.size() - end));
    text += line.substr(line.size() - end);
    text +=
        " \nヘッダにエラーがありました。\nSpectra Precision社のRinexConverterを使用していない"
        "可能性があります。\nプログラムを終了します。";
    return text;
}

}  // namespace ferrule::detail::messages
