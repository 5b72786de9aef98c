// The survey methods a stop-and-go file serves, and what each asks of an occupation, as the
// public-survey rules (作業規程の準則, 国土交通省告示) set them. The figures and where they stand
// are data: the README cites them.
#pragma once

#include <span>
#include <string_view>

namespace ferrule::detail {

struct SurveyMethod {
    std::string_view key;   // the value of --method
    std::string_view name;  // as the rules name it
    // The least observation: epochs, and seconds of data (0: counted in epochs only).
    int minEpochs = 0;
    double minSeconds = 0;
    double maxInterval = 0;  // the longest data interval, in seconds
    // The satellites of the poorest epoch: GPS and QZSS alone; or, with GLONASS, a total and
    // the least of each. Galileo, BeiDou and SBAS satellites do not count under the rules.
    int gpsQzssAlone = 0;
    int withGlonassTotal = 0;
    int withGlonassEach = 0;
    std::string_view source;
};

std::span<const SurveyMethod> surveyMethods();
// The method of that key, or nullptr.
const SurveyMethod* surveyMethod(std::string_view key);

}  // namespace ferrule::detail
