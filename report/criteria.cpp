#include "report/criteria.h"

#include <array>

namespace ferrule::detail {

namespace {

// 作業規程の準則 (最終改正 令和5年3月31日 国土交通省告示第250号), 第37条 (観測の実施): the table of
// observation methods (観測時間, データ取得間隔) and the table of satellites used (使用衛星数:
// GPS・ 準天頂衛星 5 衛星以上; GLONASS を用いる場合 6 衛星以上、GPS・準天頂衛星及び GLONASS
// 衛星をそれぞれ 2 衛星以上). 第21条: the systems that count are GPS, QZSS (as GPS) and GLONASS.
// The kinematic method's time is "10 秒以上", with the note that it must give 10 epochs or more.
// For RTK and network RTK the count is of epochs after a fixed solution, which a RINEX file
// does not record: the epochs of the occupation are counted.
constexpr std::array kMethods{
    SurveyMethod{"kinematic", "キネマティック法", 10, 10, 5, 5, 6, 2, "作業規程の準則 第37条"},
    SurveyMethod{"rtk", "RTK法", 10, 0, 1, 5, 6, 2, "作業規程の準則 第37条"},
    SurveyMethod{"network-rtk", "ネットワーク型RTK法", 10, 0, 1, 5, 6, 2, "作業規程の準則 第37条"},
};

}  // namespace

std::span<const SurveyMethod> surveyMethods() {
    return kMethods;
}

const SurveyMethod* surveyMethod(std::string_view key) {
    for (const SurveyMethod& method : kMethods) {
        if (method.key == key) return &method;
    }
    return nullptr;
}

}  // namespace ferrule::detail
