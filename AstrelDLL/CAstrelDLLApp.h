// The library's one application object: the table of ten stage handles and
// the catalogue cursors. Built at its first use and never destroyed, so that
// a call still running in another thread while the process exits finds it
// whole; when the library unloads, every handle is released and so every
// port closed (UnloadPosix.cpp, UnloadWin32.cpp).
//
// The table has its own lock, held only to look a slot up or change it,
// never while a port waits for bytes. A record is shared with the calls that
// use it, so releasing a handle never frees it under a call.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "driver/CAstrelBase.h"
#include "driver/CAstrelData.h"

class CAstrelDLLApp {
  public:
    static constexpr int32_t kHandleCount = 10;
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;

    CAstrelDLLApp() = default;

    CAstrelDLLApp(const CAstrelDLLApp&) = delete;
    CAstrelDLLApp& operator=(const CAstrelDLLApp&) = delete;

    // The lowest free handle with a new record, or kNoHandle when all are taken.
    uint32_t Allocate();
    // Cuts short the call in progress on the handle, if any, as a stop does,
    // then destroys its driver (closing the port) and frees the handle; an
    // invalid handle is ignored.
    void Release(int32_t handle);
    // The record of a valid handle (0..9, occupied), else null.
    std::shared_ptr<CAstrelData> Record(int32_t handle);
    // Releases every handle, as the library unloads.
    void ReleaseAll();

    // Catalogue state, guarded by catalogueMutex: the maker-list cursor, and
    // the maker type and index shared by the stage, speed-unit and
    // acceleration-unit lists.
    std::mutex catalogueMutex;
    uint16_t makerListCursor = 0;
    uint16_t catalogueMakerType = 0;
    uint16_t catalogueIndex = 0;

  private:
    std::mutex tableMutex_;
    std::shared_ptr<CAstrelData> slots_[kHandleCount];
};

// The application object of this loaded library.
CAstrelDLLApp& TheApp();
