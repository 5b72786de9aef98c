// The verdict by the survey rules: each row an occupation's epochs, interval and poorest epochs,
// judged under a method, and what must fall short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ferrule/ferrule.h"

namespace ferrule::test {
namespace {

using Poorest = Survey::Occupation::Poorest;

struct Row {
    const char* method;
    std::int64_t epochs;
    double interval;               // the data interval; the epochs run one apart
    std::vector<Poorest> poorest;  // (GPS and QZSS, GLONASS)
    std::int32_t minEpochs, minSatellites;
    const char* shortfalls;  // joined by " / "; empty: it passes
};

const Row kRows[] = {
    // GPS and QZSS alone: 5; with GLONASS: 6 in all, 2 of each.
    {"kinematic", 10, 1, {{5, 0}}, 0, 0, ""},
    {"kinematic", 10, 1, {{4, 0}}, 0, 0, "衛星不足（GPS・準天頂 4、GLONASS 0）"},
    {"kinematic", 10, 1, {{3, 2}}, 0, 0, "衛星不足（GPS・準天頂 3、GLONASS 2）"},
    {"kinematic", 10, 1, {{4, 1}}, 0, 0, "衛星不足（GPS・準天頂 4、GLONASS 1）"},
    {"kinematic", 10, 1, {{5, 1}}, 0, 0, ""},
    {"kinematic", 10, 1, {{4, 2}}, 0, 0, ""},
    {"kinematic", 10, 1, {{2, 4}}, 0, 0, ""},
    {"kinematic", 10, 1, {{1, 5}}, 0, 0, "衛星不足（GPS・準天頂 1、GLONASS 5）"},
    // The poorest epoch of several decides.
    {"rtk", 10, 1, {{9, 0}, {4, 1}, {2, 9}}, 0, 0, "衛星不足（GPS・準天頂 4、GLONASS 1）"},
    // The kinematic method counts seconds too (10 epochs a second apart cover 10 seconds) and
    // allows 5-second data; RTK counts epochs and asks 1-second data.
    {"kinematic", 9, 1, {{5, 0}}, 0, 0, "エポック不足（9） / 観測時間不足（9 秒）"},
    {"kinematic", 10, 5, {{5, 0}}, 0, 0, ""},
    {"kinematic", 10, 10, {{5, 0}}, 0, 0, "データ取得間隔（10 秒）"},
    {"rtk", 10, 5, {{5, 0}}, 0, 0, "データ取得間隔（5 秒）"},
    {"network-rtk", 10, 1, {{5, 0}}, 0, 0, ""},
    // --min-epochs and --min-satellites replace the method's count and satellite rule.
    {"kinematic", 3, 1, {{3, 0}}, 3, 3, ""},
    {"rtk", 10, 1, {{3, 2}}, 0, 6, "衛星不足（5）"},
};

TEST(Criteria, OccupationsJudgedByTheMethod) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::string(row.method) + " " + std::to_string(row.epochs) + " epochs");
        Survey::Occupation occupation;
        occupation.epochs = row.epochs;
        occupation.start = {2019, 5, 25, 1, 0, 0};
        occupation.end = {2019, 5, 25, 1, 0, row.interval * static_cast<double>(row.epochs - 1)};
        occupation.dataInterval = row.interval;
        occupation.poorest = row.poorest;
        std::int32_t fewest = 999;
        for (const Poorest& epoch : row.poorest) {
            fewest = std::min(fewest, epoch.gpsQzss + epoch.glonass);
        }
        occupation.satellites = {fewest, fewest};
        ReportOptions options;
        options.method = row.method;
        options.minEpochs = row.minEpochs;
        options.minSatellites = row.minSatellites;
        std::string said;
        for (const std::string& reason : shortfalls(occupation, options)) {
            said += (said.empty() ? "" : " / ") + reason;
        }
        EXPECT_EQ(said, row.shortfalls);
    }
}

}  // namespace
}  // namespace ferrule::test
