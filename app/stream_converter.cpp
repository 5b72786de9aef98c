// The library entry: the Conversion object behind the small stable interface of
// include/ferrule/ferrule.h, and the texts the user is told.
#include <utility>

#include "app/conversion.h"
#include "app/messages.h"
#include "common/text.h"
#include "ferrule/ferrule.h"

namespace ferrule {

namespace {

using detail::Conversion;
using detail::DebugChannel;
using detail::OutputSink;
namespace messages = detail::messages;

class FunctionSink final : public OutputSink {
  public:
    explicit FunctionSink(OutputFunction output) : output_(std::move(output)) {}
    void write(std::string_view bytes) override { output_(bytes); }

  private:
    OutputFunction output_;
};

// Off when there is no function: then nothing is formatted.
class FunctionDebugChannel final : public DebugChannel {
  public:
    explicit FunctionDebugChannel(DebugFunction debug)
        : DebugChannel(static_cast<bool>(debug)), debug_(std::move(debug)) {}
    void emit(const char* text) override { debug_(text); }

  private:
    DebugFunction debug_;
};

}  // namespace

class StreamConverter::Impl {
  public:
    Impl(OutputFunction output, DebugFunction debug)
        : sink_(std::move(output)), debug_(std::move(debug)), conversion_(sink_, debug_) {}

    Conversion& conversion() { return conversion_; }

  private:
    FunctionSink sink_;
    FunctionDebugChannel debug_;
    Conversion conversion_;  // refers to the two above
};

StreamConverter::StreamConverter(OutputFunction output, DebugFunction debug)
    : impl_(std::make_unique<Impl>(std::move(output), std::move(debug))) {}

StreamConverter::~StreamConverter() = default;
StreamConverter::StreamConverter(StreamConverter&&) noexcept = default;
StreamConverter& StreamConverter::operator=(StreamConverter&&) noexcept = default;

bool StreamConverter::feed(std::string_view bytes) {
    return impl_->conversion().feed(bytes);
}

Outcome StreamConverter::finish() {
    return impl_->conversion().finish();
}

Outcome StreamConverter::outcome() const {
    return impl_->conversion().outcome();
}

const std::string& StreamConverter::headerErrorLine() const {
    return impl_->conversion().headerFault().quote;
}

const HeaderFault& StreamConverter::headerFault() const {
    return impl_->conversion().headerFault();
}

Survey StreamConverter::survey() const {
    return impl_->conversion().survey();
}

Result convert(std::string_view input) {
    Result result;
    StreamConverter converter([&](std::string_view bytes) { result.output.append(bytes); });
    converter.feed(input);
    result.outcome = converter.finish();
    result.headerErrorLine = converter.headerErrorLine();
    result.headerFault = converter.headerFault();
    result.survey = converter.survey();
    return result;
}

bool isConverted(Outcome outcome) {
    return outcome == Outcome::Converted || outcome == Outcome::ConvertedStatic;
}

std::string_view outcomeCaption(Outcome outcome) {
    return isConverted(outcome) ? messages::kCaptionOk : messages::kCaptionNg;
}

std::string outcomeMessage(Outcome outcome, std::string_view headerErrorLine) {
    HeaderFault fault;
    fault.quote = detail::withoutLineEnd(headerErrorLine);
    return outcomeMessage(outcome, fault);
}

std::string outcomeMessage(Outcome outcome, const HeaderFault& headerFault) {
    switch (outcome) {
        case Outcome::Converted:
            return std::string(messages::kConverted);
        case Outcome::ConvertedStatic:
            return std::string(messages::kConvertedStatic);
        case Outcome::HeaderError:
            return messages::headerError(headerFault);
        case Outcome::GsiData:
            return std::string(messages::kGsiData);
        case Outcome::StaticData:
            return std::string(messages::kStaticData);
        case Outcome::AlreadyConverted:
            return std::string(messages::kAlreadyConverted);
        case Outcome::SiteIdLimit:
            return std::string(messages::kSiteIdLimit);
        case Outcome::EmptyInput:
            return std::string(messages::kEmptyInput);
        case Outcome::HeaderCutShort:
            return std::string(messages::kHeaderCutShort);
        case Outcome::NoEpochs:
            return std::string(messages::kNoEpochs);
        case Outcome::InProgress:
            break;
    }
    return {};
}

}  // namespace ferrule
