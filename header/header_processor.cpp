#include "header/header_processor.h"

#include <cstring>

#include "common/field.h"
#include "common/text.h"

namespace ferrule::detail {

// Tested in this order; the first label equal to the line's columns 60-79 wins.
const HeaderProcessor::Label HeaderProcessor::kLabels[] = {
    {"RINEX VERSION / TYPE", HeaderLabel::VersionType, &HeaderProcessor::versionType},
    {"PGM / RUN BY / DATE ", HeaderLabel::ProgramRunByDate, &HeaderProcessor::programRunByDate},
    {"MARKER NAME         ", HeaderLabel::MarkerName, &HeaderProcessor::markerName},
    {"MARKER NUMBER       ", HeaderLabel::MarkerNumber, &HeaderProcessor::markerNumber},
    {"OBSERVER / AGENCY   ", HeaderLabel::ObserverAgency, &HeaderProcessor::observerAgency},
    {"REC # / TYPE / VERS ", HeaderLabel::Receiver, &HeaderProcessor::receiver},
    {"ANT # / TYPE        ", HeaderLabel::Antenna, &HeaderProcessor::antenna},
    {"APPROX POSITION XYZ ", HeaderLabel::ApproxPosition, &HeaderProcessor::approxPosition},
    {"ANTENNA: DELTA H/E/N", HeaderLabel::AntennaDelta, &HeaderProcessor::antennaDelta},
    {"WAVELENGTH FACT L1/2", HeaderLabel::WavelengthFactors, &HeaderProcessor::wavelengthFactors},
    {"# / TYPES OF OBSERV ", HeaderLabel::TypesOfObservations,
     &HeaderProcessor::typesOfObservations},
    {"INTERVAL            ", HeaderLabel::Interval, &HeaderProcessor::interval},
    {"TIME OF FIRST OBS   ", HeaderLabel::TimeOfFirstObs, &HeaderProcessor::timeOfFirstObs},
    {"TIME OF LAST OBS    ", HeaderLabel::TimeOfLastObs, &HeaderProcessor::timeOfLastObs},
    {"LEAP SECONDS        ", HeaderLabel::LeapSeconds, &HeaderProcessor::leapSeconds},
    {"# OF SATELLITES     ", HeaderLabel::NumberOfSatellites, &HeaderProcessor::numberOfSatellites},
    {"PRN / # OF OBS      ", HeaderLabel::SatelliteCounts, &HeaderProcessor::comment},
    {"END OF HEADER       ", HeaderLabel::EndOfHeader, &HeaderProcessor::endOfHeader},
    {"COMMENT             ", HeaderLabel::Comment, &HeaderProcessor::comment},
};

HeaderLabel HeaderProcessor::labelOf(std::string_view record) {
    const std::string_view content = withoutLineEnd(record);
    if (content.size() <= 60) return HeaderLabel::None;
    std::string_view label = content.substr(60, 20);
    for (const Label& candidate : kLabels) {
        // A record whose trailing blanks were dropped still names its label.
        if (candidate.text.starts_with(label) &&
            candidate.text.find_first_not_of(' ', label.size()) == std::string_view::npos) {
            return candidate.label;
        }
    }
    return HeaderLabel::None;
}

HeaderResult HeaderProcessor::processHeaderChar(char ch, std::string& out) {
    std::size_t consumed = 0;
    return processHeaderBytes(std::string_view(&ch, 1), consumed, out);
}

HeaderResult HeaderProcessor::processHeaderBytes(std::string_view bytes, std::size_t& consumed,
                                                 std::string& out) {
    const auto* lineFeed = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
    const std::size_t chunk =
        lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - bytes.data()) : bytes.size();

    // Read on, a line is kept to its first bytes (its label among them): memory stays bounded.
    if (lenient_) {
        consumed = lineFeed != nullptr ? chunk + 1 : chunk;
        const std::size_t room =
            kLenientLineBytes > text_.size() ? kLenientLineBytes - text_.size() : 0;
        text_.append(bytes.data(), std::min(room, chunk));
        if (lineFeed == nullptr) return HeaderNone;
        text_ += '\n';
        return takeLenientLine(out);
    }
    // A line that has outgrown any valid header line is refused at its 65,537th byte: memory
    // stays bounded, and the message quotes the line's beginning.
    if (text_.size() + chunk > kMaxHeaderLineBytes) {
        consumed = kMaxHeaderLineBytes - text_.size() + 1;
        out.assign(text_, unfinishedStart_, kQuotedLineBytes);
        out.append(bytes.substr(0, kQuotedLineBytes - out.size()));
        fault_ = HeaderFault{HeaderFault::Reason::LineTooLong, lines_ + 1, true, 0, {}, out};
        return HeaderError;
    }

    consumed = lineFeed != nullptr ? chunk + 1 : chunk;
    if (std::memchr(bytes.data(), '\0', chunk) != nullptr) nulReceived_ = true;
    text_.append(bytes.data(), consumed);
    if (lineFeed == nullptr) return HeaderNone;
    return takeLine(out);
}

// Line N is taken from byte 82 * N of the header text to the line feed just received, provided
// the text holds at least 82 * (N + 1) bytes: every header line is taken to be 80 characters, CR
// and LF. A shorter line (trailing blanks dropped, a bare LF line end) leaves the working line
// empty, which no label matches; a longer line is taken whole, and shifts every later line off
// its columns. A NUL byte in the header likewise leaves the working line empty.
HeaderResult HeaderProcessor::takeLine(std::string& out) {
    ++lines_;
    // The line as the file has it: from the last line feed to this one.
    const std::string_view own = std::string_view(text_).substr(unfinishedStart_);
    if (nulReceived_ || text_.size() < kHeaderLineBytes) {
        out.clear();
        describeFault(own);
        return HeaderError;
    }
    handlerReason_.reset();
    const HeaderResult result = classify(text_, out);
    if (result == HeaderError) {
        describeFault(own);
        return HeaderError;
    }
    if (own.size() != kHeaderLineBytes && !offColumns_) {
        describeFault(own);
        offColumns_ = fault_;
    }
    // The next line starts 82 bytes further on; nothing before it can be reached again.
    text_.erase(0, kHeaderLineBytes);
    unfinishedStart_ = text_.size();
    return result;
}

HeaderResult HeaderProcessor::readOn(std::string& out) {
    lenient_ = true;
    // The line refused is read again from its own first byte (a line cut at 65,536 bytes is not
    // whole: what follows it up to its line feed is no line of its own, but kept short).
    text_.erase(0, unfinishedStart_);
    if (text_.size() > kLenientLineBytes) text_.resize(kLenientLineBytes);
    if (!text_.ends_with('\n')) {
        unfinishedStart_ = 0;
        return HeaderNone;
    }
    --lines_;
    return takeLenientLine(out);
}

// A line read on: from the last line feed to this one, whatever its length; its label, by the
// table, leniently. Its fields are read from a copy padded with blanks to 80 columns.
HeaderResult HeaderProcessor::takeLenientLine(std::string& out) {
    ++lines_;
    std::string line(withoutLineEnd(text_));
    text_.clear();
    unfinishedStart_ = 0;
    if (line.size() < 80) line.resize(80, ' ');
    out = line;
    const HeaderLabel label = labelOf(line);
    for (const Label& candidate : kLabels) {
        if (candidate.label == label) {
            const HeaderResult result = (this->*candidate.handler)(line, out);
            return result == HeaderError ? HeaderLine : result;
        }
    }
    return HeaderLine;  // a record of no label the converter knows: nothing to read
}

HeaderResult HeaderProcessor::classify(std::string_view line, std::string& out) {
    // The text to write is the line itself, unless the handler rewrites it.
    const std::string_view label = line.substr(60, 20);
    out.assign(line);
    for (const Label& candidate : kLabels) {
        if (label == candidate.text) return (this->*candidate.handler)(line, out);
    }
    return HeaderError;
}

// Why a line is refused, in the order that tells the user most: a RINEX 3 file is not what
// the converter reads at all; a record whose label was known says what is wrong in it; an earlier
// line longer than 80 columns put this one off its columns; then the line's own bytes.
void HeaderProcessor::describeFault(std::string_view own) {
    using Reason = HeaderFault::Reason;
    const std::string_view content = withoutLineEnd(own);
    const bool versionRecord =
        content.size() >= 80 && content.substr(60, 20) == "RINEX VERSION / TYPE";
    fault_ = HeaderFault{};
    fault_.line = lines_;
    fault_.quote = content.substr(0, kQuotedLineBytes);
    if (content.size() >= 80) {
        const std::string_view label = content.substr(60, 20);
        fault_.label = label.substr(0, label.find_last_not_of(' ') + 1);
    }
    if (handlerReason_ && handlerReason_->reason == Reason::NoMarkerName) {
        fault_.reason = Reason::NoMarkerName;
    } else if (record_.rinexVersion >= 3 || (versionRecord && realField(content, 0, 9) >= 3)) {
        fault_.reason = Reason::Rinex3;
    } else if (handlerReason_) {
        fault_.reason = handlerReason_->reason;
        fault_.value = handlerReason_->value;
    } else if (offColumns_) {
        fault_ = *offColumns_;
    } else if (content.find('\0') != std::string_view::npos) {
        fault_.reason = Reason::NulByte;
    } else if (!own.ends_with("\r\n")) {
        fault_.reason = Reason::LineEnd;
    } else if (content.size() != 80) {
        fault_.reason = Reason::LineLength;
        fault_.value = static_cast<std::int64_t>(content.size());
    } else {
        fault_.reason = Reason::UnknownLabel;
    }
}

// A header without a MARKER NAME record says neither kinematic nor static: it is not the
// converter's layout.
HeaderResult HeaderProcessor::endOfHeader(std::string_view, std::string&) {
    if (!markerNameSeen_ && !lenient_) {
        handlerReason_ = {HeaderFault::Reason::NoMarkerName, 0};
        return HeaderError;
    }
    return HeaderEnd;
}

HeaderResult HeaderProcessor::comment(std::string_view, std::string&) {
    return HeaderLine;
}

}  // namespace ferrule::detail
