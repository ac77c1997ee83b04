// The library's one application object: the table of ten stage handles and
// the catalogue cursors. Built when the library loads; when it unloads, every
// handle is released and so every port closed.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/CAstrelBase.h"
#include "driver/CAstrelData.h"

class CAstrelDLLApp {
  public:
    static constexpr int32_t kHandleCount = 10;
    static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;

    CAstrelDLLApp() = default;
    ~CAstrelDLLApp();

    CAstrelDLLApp(const CAstrelDLLApp&) = delete;
    CAstrelDLLApp& operator=(const CAstrelDLLApp&) = delete;

    // The lowest free handle with a new record, or kNoHandle when all are taken.
    uint32_t Allocate();
    // Destroys the handle's record (and its driver); an invalid handle is ignored.
    void Release(int32_t handle);
    // The record of a valid handle (0..9, occupied), else null.
    CAstrelData* Record(int32_t handle);
    // The driver of a valid handle's record, else null.
    CAstrelBase* Driver(int32_t handle);

    // Catalogue state: the maker-list cursor, and the maker type and index
    // shared by the stage, speed-unit and acceleration-unit lists.
    uint16_t makerListCursor = 0;
    uint16_t catalogueMakerType = 0;
    uint16_t catalogueIndex = 0;

  private:
    std::unique_ptr<CAstrelData> slots_[kHandleCount];
};

// The application object of this loaded library.
CAstrelDLLApp& TheApp();
