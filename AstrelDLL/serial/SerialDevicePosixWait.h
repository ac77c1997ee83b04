// Waiting on a descriptor, shared by the POSIX devices (a terminal, a TCP
// connection): poll with the wake signal beside it, and writes that wait a
// bounded time for the device to take bytes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "serial/SerialDevice.h"

namespace astrel::posix {

// Blocks until `fd` is readable, fails or hangs up, `wake` (may be null) is
// raised, or `timeoutMs` passes.
WaitResult WaitReadable(int fd, uint32_t timeoutMs, const WakeSignal* wake);

// Writes up to `size` bytes with `write` (a write(2) or send(2) that does not
// block), waiting at most `timeoutMs` for `fd` to take them. The count
// written (0 is a stall), or -1 when the device failed.
using WriteOnce = ssize_t (*)(int fd, const void* data, size_t size);
int32_t WriteWithin(int fd, const uint8_t* data, uint32_t size, uint32_t timeoutMs,
                    WriteOnce write);

}  // namespace astrel::posix
