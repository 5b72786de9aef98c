// Where the conversion core sends its bytes: the converted text, and diagnostic lines.
#pragma once

#include <string_view>

namespace ferrule::detail {

// Receives the converted text in order. Writes are not checked here: a sink that can fail
// remembers the failure for its owner to act on.
class OutputSink {
  public:
    virtual ~OutputSink() = default;
    // Bytes valid only during the call (records the conversion composes, a line it gathered).
    virtual void write(std::string_view bytes) = 0;
    // Bytes of the block being fed, unchanged input, valid until the conversion's feed() returns:
    // a sink may keep a view of them until then instead of copying them.
    virtual void writeFromBlock(std::string_view bytes) { write(bytes); }
};

// Diagnostic lines: every line of the file written, as written (not the records the conversion
// inserts, nor a line it drops), and a short tag for each stop and for a repaired station
// identifier. A channel that is off costs one test per line: nothing is formatted.
class DebugChannel {
  public:
    virtual ~DebugChannel() = default;
    bool enabled() const { return enabled_; }
    // Receives one formatted, terminated text.
    virtual void emit(const char* text) = 0;

  protected:
    explicit DebugChannel(bool enabled) : enabled_(enabled) {}

  private:
    bool enabled_;
};

// A channel that is always off.
class SilentDebugChannel final : public DebugChannel {
  public:
    SilentDebugChannel() : DebugChannel(false) {}
    void emit(const char*) override {}
};

// Formats printf-style into a 264-byte buffer, cutting what does not fit, and hands it to the
// channel. Returns the number of characters formatted (0 when the channel is off).
int debugPrint(DebugChannel& channel, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace ferrule::detail
