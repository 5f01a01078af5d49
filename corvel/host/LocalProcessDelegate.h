// What a LocalProcess tells its host, and what it asks of it.
#pragma once

#include "corvel/host/WindowSize.h"

#include <cstdint>
#include <optional>
#include <span>

namespace corvel {

class LocalProcess;

class LocalProcessDelegate {
public:
    virtual ~LocalProcessDelegate() = default;

    // The child has exited. `exitCode` is the raw wait status (an exit with
    // code 3 arrives as 768), delivered on the process's delegate queue after
    // every byte the child wrote before it ended.
    virtual void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) = 0;

    // Bytes read from the child, one call per block read, in order.
    virtual void dataReceived(std::span<const uint8_t> slice) = 0;

    // The user's input (LocalProcess::send) that the child's terminal never
    // took, in the order it was sent: the child hung up or a write failed
    // before it went. Called at most once per child, on the delegate queue,
    // after the output read before it and before the exit report.
    virtual void inputNotWritten(std::span<const uint8_t> bytes) { (void)bytes; }

    // The window size to give a new pseudo-terminal; asked on the thread that
    // starts the process.
    virtual WindowSize getWindowSize() = 0;
};

}  // namespace corvel
