#include "observation/survey_recorder.h"

#include <algorithm>
#include <cmath>

#include "common/field.h"
#include "common/gps_time.h"
#include "common/rinex.h"

namespace ferrule::detail {

namespace {

using Occupation = Survey::Occupation;
using Insert = LineEdit::Insert;
using Line = LineEdit::Line;

int systemIndex(char letter) {
    if (letter == ' ') return 0;  // RINEX 2: a blank system letter is GPS
    for (int i = 0; i + 1 < kSystemCount; ++i) {
        if (kSatelliteSystems[i] == letter) return i;
    }
    return kSystemCount - 1;
}

void widen(SatelliteRange& range, std::int32_t satellites) {
    range.fewest = std::min(range.fewest, satellites);
    range.most = std::max(range.most, satellites);
}

// Columns 0-59 of a header-type record without surrounding blanks.
std::string trimmedText(std::string_view record) {
    const std::string_view text = record.substr(0, 60);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') + 1 - first));
}

// "000K" to "800K": three lower-case hexadecimal digits and K.
bool isSiteIdentifier(std::string_view name) {
    return name.size() == 4 && name[3] == 'K' &&
           name.substr(0, 3).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace

void SurveyRecorder::record(const ObservationLine& line, const LineEdit& edit) {
    switch (line.record) {
        case Record::Epoch:
            endEpoch();
            owner_ = -1;
            startEpoch(line);
            break;
        case Record::SatelliteList:
            // A regular epoch's further satellites (an event epoch's list counts nothing).
            if (inEpoch_) addSatellites(line.satelliteList());
            break;
        case Record::Event:
            endEpoch();
            onEvent(line, edit);
            break;
        case Record::Special:
            onSpecialRecord(line);
            break;
        case Record::Observation:
            // RINEX 3: each satellite's line names it; RINEX 2: the list came before.
            if (line.rinex3) {
                if (inEpoch_ && !line.text.empty() && listed_ < epochSatellites_) {
                    ++listed_;
                    ++perSystem_[systemIndex(line.text.front())];
                }
                break;
            }
            endEpoch();
            owner_ = -1;
            break;
        case Record::OutOfStep:
            endEpoch();
            owner_ = -1;
            break;
    }
}

void SurveyRecorder::startEpoch(const ObservationLine& line) {
    inEpoch_ = true;
    epochTime_ = line.time();
    epochSatellites_ = std::max(0, line.satellites);
    listed_ = 0;
    std::fill(std::begin(perSystem_), std::end(perSystem_), 0);
    addSatellites(line.satelliteList());
    if (!rewriter_.kinematic() && !staticStarted_) {
        staticStarted_ = true;
        // The identifier as a conversion repairs it; in a file it does not convert, as it stands.
        const std::string& repaired = header_.repairedStationId();
        const bool converting = rewriter_.sites() == EventRewriter::Sites::Assigned;
        const std::string name =
            repaired.empty() || !converting ? trimmedText(header_.record().markerName) : repaired;
        if (startOccupation(Occupation::Kind::Static, name, epochTime_) != nullptr) {
            staticOccupation_ = static_cast<std::int64_t>(survey_.occupations.size()) - 1;
        }
    }
}

// The satellite identifiers of a list (columns 32-67 of its line): the system letter of each,
// as far as the epoch announces satellites.
void SurveyRecorder::addSatellites(std::string_view list) {
    for (std::size_t k = 0; k < kSatellitesPerListLine && listed_ < epochSatellites_;
         ++k, ++listed_) {
        const std::size_t column = 3 * k;
        if (column >= list.size() || list[column] == '\r' || list[column] == '\n') break;
        ++perSystem_[systemIndex(list[column])];
    }
}

// The epoch is complete: it counts for the open occupation, the static file's, and the timeline.
void SurveyRecorder::endEpoch() {
    if (!inEpoch_) return;
    inEpoch_ = false;
    const double seconds = secondsOf(epochTime_);
    const double step = seconds - lastFileSeconds_;
    if (step > 0 && std::isfinite(step) &&
        (survey_.dataInterval == 0 || step < survey_.dataInterval)) {
        survey_.dataInterval = step;
    }
    lastFileSeconds_ = seconds;
    if (open_ >= 0) {
        count(survey_.occupations[static_cast<std::size_t>(open_)], seconds, lastEpochSeconds_);
    }
    if (staticOccupation_ >= 0) {
        count(survey_.occupations[static_cast<std::size_t>(staticOccupation_)], seconds,
              lastStaticSeconds_);
    }
    // The timeline: each point merges `stride_` epochs; when the points run out, neighbours are
    // merged and each point takes twice as many.
    std::vector<Survey::TimelinePoint>& timeline = survey_.timeline;
    if (inPoint_ == 0) {
        if (timeline.size() == Survey::kMaxTimelinePoints) {
            for (std::size_t i = 0; i < timeline.size() / 2; ++i) {
                Survey::TimelinePoint merged = timeline[2 * i];
                widen(merged.satellites, timeline[2 * i + 1].satellites.fewest);
                widen(merged.satellites, timeline[2 * i + 1].satellites.most);
                timeline[i] = merged;
            }
            timeline.resize(timeline.size() / 2);
            stride_ *= 2;
        }
        timeline.push_back({epochTime_, {}});
    }
    widen(timeline.back().satellites, epochSatellites_);
    inPoint_ = (inPoint_ + 1) % stride_;
}

// One more epoch of the occupation, `last` the time of its epoch before.
// A time that goes back, or repeats, counts no missing epochs; nor does a step far beyond the
// interval (a 60-year jump is a clock gone wrong or files joined, not a gap to fill).
// The epoch's GPS and QZSS satellites and its GLONASS satellites, kept when no epoch before
// undercuts them in both; those it undercuts in both are let go.
void SurveyRecorder::notePoorest(Occupation& occupation) const {
    const Occupation::Poorest epoch{perSystem_[systemIndex('G')] + perSystem_[systemIndex('J')],
                                    perSystem_[systemIndex('R')]};
    std::vector<Occupation::Poorest>& poorest = occupation.poorest;
    for (const Occupation::Poorest& kept : poorest) {
        if (kept.gpsQzss <= epoch.gpsQzss && kept.glonass <= epoch.glonass) return;
    }
    std::erase_if(poorest, [&](const Occupation::Poorest& kept) {
        return epoch.gpsQzss <= kept.gpsQzss && epoch.glonass <= kept.glonass;
    });
    if (poorest.size() < Survey::kMaxPoorest) poorest.push_back(epoch);
}

void SurveyRecorder::count(Occupation& occupation, double seconds, double& last) {
    const double interval = header_.record().interval;
    const double step = seconds - last;
    if (occupation.epochs == 0) {
        occupation.start = epochTime_;
    } else if (step < 0) {
        ++occupation.timeBackwards;
    } else if (step == 0) {
        ++occupation.timeRepeated;
    } else if (std::isfinite(step)) {
        if (occupation.dataInterval == 0 || step < occupation.dataInterval) {
            occupation.dataInterval = step;
        }
        if (step > std::max(Survey::kJumpSeconds, 100 * interval)) {
            ++occupation.jumps;
            occupation.longestJump = std::max(occupation.longestJump, step);
        } else if (interval > 0 && step > 1.5 * interval) {
            occupation.missingEpochs += std::llround(step / interval - 1);
        }
    }
    widen(occupation.satellites, epochSatellites_);
    notePoorest(occupation);
    for (int i = 0; i < kSystemCount; ++i) {
        SatelliteRange& system = occupation.systems[i];
        if (perSystem_[i] == 0 && !system.seen()) continue;
        // A system first seen now was missing from the epochs before.
        if (!system.seen() && occupation.epochs > 0) system.fewest = 0;
        widen(system, perSystem_[i]);
    }
    ++occupation.epochs;
    occupation.end = epochTime_;
    last = seconds;
}

// An event record ends the occupation being counted, and may start one: the assigned site of a
// flag-4 record inside a moving period, or the site a flag-3 record names. A flag-2 record opens
// a moving period or closes one. An event record without a time took place at the last epoch
// (an assigned site: when its moving period was opened).
void SurveyRecorder::onEvent(const ObservationLine& line, const LineEdit& edit) {
    owner_ = -1;
    const bool timed = line.timed();
    const EpochTime own = timed ? line.time() : EpochTime{};
    const EpochTime time = timed ? own : epochTime_;
    switch (line.eventFlag) {
        case 1:  // power failure: an epoch that the occupation lost
            if (open_ >= 0) ++survey_.occupations[static_cast<std::size_t>(open_)].powerFailures;
            if (staticOccupation_ >= 0) {
                ++survey_.occupations[static_cast<std::size_t>(staticOccupation_)].powerFailures;
            }
            break;
        case 2:
            open_ = -1;
            if (edit.moving == LineEdit::Moving::Opened) {
                openingTime_ = time;
                periodListed_ = survey_.movingPeriods.size() < Survey::kMaxPeriods;
                if (periodListed_) survey_.movingPeriods.push_back({time, time});
            } else if (edit.moving == LineEdit::Moving::Closed) {
                endMovingPeriod(time);
            }
            break;
        case 3:
            open_ = -1;
            if (edit.moving == LineEdit::Moving::Closed) endMovingPeriod(time);
            openOccupation(Occupation::Kind::Named, {}, time);
            break;
        case 4:
            if (!edit.occupation) break;
            open_ = -1;
            if (edit.insert == Insert::SiteMarkerName) {
                openOccupation(Occupation::Kind::Assigned, siteIdentifier(edit.siteId),
                               timed ? own : openingTime_);
            } else {
                openOccupation(Occupation::Kind::Unnumbered, {}, timed ? own : openingTime_);
            }
            break;
        default:
            break;
    }
}

// The records after an occupation's event record: its comments (the first few: a file of nothing
// else must not fill the memory), the name a flag-3 record gives it, its own antenna height.
void SurveyRecorder::onSpecialRecord(const ObservationLine& line) {
    // Read back, a site MARKER NAME record inside a moving period is the assigned occupation that
    // the conversion wrote in place of its flag-4 record.
    if (readBack_ && line.label == HeaderLabel::MarkerName && rewriter_.moving()) {
        const std::string name = trimmedText(line.text);
        if (isSiteIdentifier(name)) {
            endEpoch();
            openOccupation(Occupation::Kind::Assigned, name, openingTime_);
            return;
        }
    }
    if (owner_ < 0) return;
    Occupation& occupation = survey_.occupations[static_cast<std::size_t>(owner_)];
    switch (line.label) {
        case HeaderLabel::Comment:
            if (occupation.comments.size() < Survey::kMaxComments) {
                std::string comment = trimmedText(line.text);
                if (!comment.empty()) occupation.comments.push_back(std::move(comment));
            }
            break;
        case HeaderLabel::MarkerName:
            if (occupation.kind == Occupation::Kind::Named && occupation.name.empty()) {
                occupation.name = trimmedText(line.text);
                noteName(occupation);
            }
            break;
        case HeaderLabel::AntennaDelta:
            occupation.antennaHeight = realField(line.text, 0, 14);
            occupation.ownAntennaHeight = true;
            break;
        default:
            break;
    }
}

// An occupation starts and is the one whose epochs are counted and whose records follow.
void SurveyRecorder::openOccupation(Occupation::Kind kind, std::string name,
                                    const EpochTime& time) {
    open_ = owner_ = -1;
    Occupation* occupation = startOccupation(kind, std::move(name), time);
    if (occupation == nullptr) return;
    open_ = owner_ = static_cast<std::int64_t>(survey_.occupations.size()) - 1;
    if (!occupation->name.empty()) noteName(*occupation);
}

// A point observed twice (on purpose, in some methods) is told.
void SurveyRecorder::noteName(Occupation& occupation) {
    occupation.nameSeenBefore = !names_.insert(occupation.name).second;
}

Occupation* SurveyRecorder::startOccupation(Occupation::Kind kind, std::string name,
                                            const EpochTime& time) {
    if (survey_.occupations.size() == Survey::kMaxOccupations) {
        ++survey_.occupationsLeftOut;
        return nullptr;
    }
    Occupation& occupation = survey_.occupations.emplace_back();
    occupation.kind = kind;
    occupation.name = std::move(name);
    occupation.time = time;
    occupation.antennaHeight = header_.record().antennaDelta[0];
    return &occupation;
}

void SurveyRecorder::endMovingPeriod(const EpochTime& time) {
    if (periodListed_) survey_.movingPeriods.back().end = time;
    periodListed_ = false;
}

void SurveyRecorder::finish() {
    endEpoch();
    // A moving period still open runs to the last epoch.
    if (rewriter_.moving()) endMovingPeriod(epochTime_);
}

}  // namespace ferrule::detail
