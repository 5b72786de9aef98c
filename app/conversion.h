// One conversion of one observation file, from bytes in to bytes out. The object holds every
// piece of state the conversion needs; it knows nothing of files, consoles or platforms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/output.h"
#include "ferrule/ferrule.h"
#include "ferrule/outcome.h"
#include "header/header_processor.h"
#include "observation/event_rewriting.h"
#include "observation/observation_processor.h"

namespace ferrule::detail {

class Conversion {
  public:
    Conversion(OutputSink& output, DebugChannel& debug);
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Feeds a block of any size to the header or the observation processor, a line at a time,
    // and acts on their result codes. Returns false once the conversion has stopped.
    bool feed(std::string_view block) {
        // Fed a byte at a time, most bytes only extend the observation line in progress.
        if (block.size() == 1 && observationPhase_ && !stopped() &&
            observations_.extendLine(block[0])) {
            return true;
        }
        return feedLines(block);
    }
    // Feeds one byte: a block of one byte, so the output is the same however the input is divided.
    bool feedByte(char ch) { return feed(std::string_view(&ch, 1)); }

    // Ends the input: the bytes after the last line feed are written unchanged, and the
    // conversion is complete unless it had stopped.
    Outcome finish();

    Outcome outcome() const { return outcome_; }
    bool stopped() const { return outcome_ != Outcome::InProgress; }
    // For Outcome::HeaderError: the offending line as the message quotes it (at most 255 bytes).
    const std::string& headerErrorLine() const { return headerErrorLine_; }
    // What has been read so far.
    Survey survey() const;

  private:
    // What is written for a completed observation line once its result code has been acted on.
    enum class LineFate { Write, Drop, WriteWithRecordCount };

    // Passes on runs of unchanged input lines as one write, and composed text in its place.
    class Writer {
      public:
        explicit Writer(OutputSink& sink) : sink_(sink) {}
        // Bytes that stay valid until flush(): they join the pending run when they follow it.
        void pass(std::string_view bytes);
        // Bytes that may change after the call: the pending run is flushed, then they are written.
        void write(std::string_view bytes);
        void flush();

      private:
        OutputSink& sink_;
        const char* runStart_ = nullptr;
        const char* runEnd_ = nullptr;
    };

    // A line longer than kLineHeadBytes is classified by its head and then streamed.
    enum class LongLine { None, Pass, Skip, PassUntilCr };

    void actOnHeader(HeaderResult result, std::string_view text);
    LineFate actOnObservation(ObservationResult result, std::string_view line);
    void writeMovingAntennaBlock(std::string_view line);
    LineFate rewriteEventRecord(std::string_view line);
    void writeLine(std::string_view line);
    void debugLine(std::string_view line);
    void stop(Outcome outcome) { outcome_ = outcome; }

    bool feedLines(std::string_view block);
    std::string_view feedHeader(std::string_view block);
    std::string_view feedObservations(std::string_view block);
    void writeLineAs(LineFate fate, std::string_view line, bool lineInBlock);
    void startLongLine(LineFate fate, std::string_view head);
    std::string_view continueLongLine(std::string_view block);

    Writer writer_;
    DebugChannel& debug_;
    HeaderProcessor header_;
    ObservationProcessor observations_;
    EventStateMachine events_;

    bool observationPhase_ = false;
    bool kinematicMode_ = true;  // cleared for a static file; gates the moving-antenna block
    Outcome outcome_ = Outcome::InProgress;
    std::string headerErrorLine_;

    std::string line_;  // the header line the header processor hands over

    // What the survey tells of the conversion: the repaired station identifier, the occupations
    // given site identifiers, the time of the flag-2 record that opened the moving period, and
    // whether the COMMENT records that follow belong to the last occupation.
    std::string repairedStationId_;
    std::vector<Survey::Occupation> occupations_;
    EpochTime openingTime_{};
    bool occupationComments_ = false;
    LongLine longLine_ = LongLine::None;
    bool longLineGetsRecordCount_ = false;
};

}  // namespace ferrule::detail
