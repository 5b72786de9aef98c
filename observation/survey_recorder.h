// What the observation section tells of the survey, besides the converted text: every occupation
// of a point with its epochs, satellites and gaps, the moving periods, and the satellites per
// epoch along the file. Fed every classified line with the edit the event rewriter made of it;
// observation lines the conversion passes without looking at them carry nothing it needs.
#pragma once

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <string_view>

#include "ferrule/ferrule.h"
#include "header/header_processor.h"
#include "observation/event_rewriting.h"

namespace ferrule::detail {

class SurveyRecorder {
  public:
    // Reads the interval, the antenna height, the marker name and a repaired station identifier
    // of the header; and whether the rewriter takes the file as static, whose whole file is then
    // one occupation, named by its station identifier (as repaired, when it was).
    SurveyRecorder(const HeaderProcessor& header, const EventRewriter& rewriter)
        : header_(header), rewriter_(rewriter) {}

    // A line as the processor read it, and the edit the rewriter made of it.
    void record(const ObservationLine& line, const LineEdit& edit);
    // The file was converted before: its site MARKER NAME records are its assigned occupations.
    void readBack() {
        readBack_ = true;
        survey_.readBack = true;
    }
    // The end of the input: the epoch being counted is complete.
    void finish();

    const Survey& survey() const { return survey_; }

  private:
    void startEpoch(const ObservationLine& line);
    void addSatellites(std::string_view list);
    void endEpoch();
    void onEvent(const ObservationLine& line, const LineEdit& edit);
    void onSpecialRecord(const ObservationLine& line);
    // Starts an occupation; returns it, or nullptr when the list is full.
    Survey::Occupation* startOccupation(Survey::Occupation::Kind kind, std::string name,
                                        const EpochTime& time);
    void openOccupation(Survey::Occupation::Kind kind, std::string name, const EpochTime& time);
    void noteName(Survey::Occupation& occupation);
    void notePoorest(Survey::Occupation& occupation) const;
    void count(Survey::Occupation& occupation, double seconds, double& last);
    void endMovingPeriod(const EpochTime& time);

    const HeaderProcessor& header_;
    const EventRewriter& rewriter_;
    Survey survey_;
    bool readBack_ = false;
    std::set<std::string> names_;  // of the occupations so far
    double lastFileSeconds_ = std::numeric_limits<double>::quiet_NaN();  // the last epoch's
    bool staticStarted_ = false;

    // The regular epoch being counted (its satellite list may continue on further lines).
    bool inEpoch_ = false;
    EpochTime epochTime_{};
    std::int32_t epochSatellites_ = 0;  // as its record announces them
    std::int32_t listed_ = 0;           // identifiers read so far
    std::int32_t perSystem_[kSystemCount] = {};

    // The occupation whose epochs are being counted (an index: the list may grow), and the
    // time of its last epoch; -1 when none is open.
    std::int64_t open_ = -1;
    double lastEpochSeconds_ = 0;
    // The static file's one occupation.
    std::int64_t staticOccupation_ = -1;
    double lastStaticSeconds_ = 0;
    // The special records that follow belong to this occupation (its comments, its name, its
    // antenna height); -1: to none.
    std::int64_t owner_ = -1;

    EpochTime openingTime_{};    // of the flag-2 record that opened the moving period
    bool periodListed_ = false;  // the open moving period is the last of the list

    // Epochs merged into each timeline point, and into the point being filled.
    std::int64_t stride_ = 1;
    std::int64_t inPoint_ = 0;
};

}  // namespace ferrule::detail
