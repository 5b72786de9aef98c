// One conversion of one observation file, from bytes in to bytes out. The object holds every
// piece of state the conversion needs; it knows nothing of files, consoles or platforms.
#pragma once

#include <string>
#include <string_view>

#include "common/output.h"
#include "ferrule/ferrule.h"
#include "ferrule/outcome.h"
#include "header/header_processor.h"
#include "observation/event_rewriting.h"
#include "observation/observation_processor.h"
#include "observation/survey_recorder.h"

namespace ferrule::detail {

// What a conversion does besides converting.
struct ConversionOptions {
    // Keeps the survey (occupations, timeline): for a report or a library caller.
    bool recordSurvey = true;
    // A report: a file refused as static or as GSI, JAPAN's is read on for its survey, and told
    // as refused at the end (no site identifier is assigned in it).
    bool readPastRefusal = false;
};

class Conversion {
  public:
    Conversion(OutputSink& output, DebugChannel& debug, ConversionOptions options = {});
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Feeds a block of any size to the header or the observation processor, a line at a time:
    // the event rewriter makes each observation line's edit, and the writer carries it out.
    // Returns false once the conversion has stopped.
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
    // For Outcome::HeaderError: where the header broke its layout, and why.
    const HeaderFault& headerFault() const { return headerFault_; }
    // What has been read so far.
    Survey survey() const;

  private:
    // Writes the converted text: runs of unchanged input as one write, composed records in their
    // place, and each observation line as its edit says, a line longer than kLineHeadBytes in
    // parts as its bytes come.
    class Writer {
      public:
        Writer(OutputSink& sink, DebugChannel& debug) : sink_(sink), debug_(debug) {}
        // Bytes that stay valid until flush(): they join the pending run when they follow it.
        void pass(std::string_view bytes);
        // Bytes that may change after the call: the pending run is flushed, then they are written.
        void write(std::string_view bytes);
        void flush();
        // A header line: written, and shown on the debug channel.
        void writeHeaderLine(std::string_view line);

        // Carries out `edit` (not a stop) on an observation line, or on the head of a longer
        // one; `inBlock` says the line is a view of the block being fed.
        void writeLine(const LineEdit& edit, std::string_view line, bool inBlock);
        // A line whose head writeLine took awaits the rest of its bytes.
        bool lineOpen() const { return lineOpen_; }
        // Takes the open line's next bytes, up to its line feed; returns the rest of the block.
        std::string_view continueLine(std::string_view block);
        // The end of the input, which ends an open line too.
        void endInput();

      private:
        void writeInsert(const LineEdit& edit, std::string_view line);
        void writePart(std::string_view part, bool inBlock);
        void writeCutOrDropped(std::string_view part, bool inBlock);
        void endLine();
        void debugLine(LineEdit::Line fate, std::string_view line);

        OutputSink& sink_;
        DebugChannel& debug_;
        const char* runStart_ = nullptr;
        const char* runEnd_ = nullptr;
        // The line being written: what becomes of it, whether it has been cut at its line end
        // (LineEdit::Line::KeepWithRecordCount), and whether its line feed is still to come.
        LineEdit::Line fate_ = LineEdit::Line::Keep;
        bool cut_ = false;
        bool lineOpen_ = false;
    };

    void actOnHeader(HeaderResult result, std::string_view text);
    // The one way a conversion stops, or, read past (a report), is refused at its end: every
    // refusal and failure of the input comes here. A header error is told by headerFault_.
    void stop(Outcome outcome);

    bool feedLines(std::string_view block);
    void takeObservationLine(ObservationLine& line, bool inBlock);
    bool heldBack(const ObservationLine& line);
    void releaseHeld();
    std::string_view feedHeader(std::string_view block);
    std::string_view feedObservations(std::string_view block);

    Writer writer_;
    DebugChannel& debug_;
    HeaderProcessor header_;
    ObservationProcessor observations_;
    EventRewriter rewriter_;
    SurveyRecorder recorder_;

    const ConversionOptions options_;
    bool observationPhase_ = false;
    Outcome outcome_ = Outcome::InProgress;
    // The first refusal a report reads past: the outcome it ends with.
    Outcome refusal_ = Outcome::InProgress;
    HeaderFault headerFault_;
    bool fed_ = false;      // the input has had a byte
    std::string line_;      // the header line the header processor hands over
    ObservationLine read_;  // the observation line the processor read last
    // Read back: a flag-2 record held until the next line, and the block's comment to pass over.
    bool readingBack_ = false;
    std::string held_;
    bool skipComment_ = false;
};

}  // namespace ferrule::detail
