// The console, notification, debug channel and file system of the platform the program runs on.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace ferrule::platform {

class NativePlatform {
  public:
    // Prepares the process: console encoding, signals.
    NativePlatform();
    ~NativePlatform();
    NativePlatform(const NativePlatform&) = delete;
    NativePlatform& operator=(const NativePlatform&) = delete;

    Services services();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace ferrule::platform
