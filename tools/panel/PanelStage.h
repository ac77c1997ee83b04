// The stage behind the panel: opened and closed on request, polled on a
// thread of its own (about ten times a second while it moves, twice a second
// at rest) and driven by the page's commands. Every failure is kept as the
// library's words, and a jog that the page stops holding is stopped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "AxisSpeeds.h"
#include "Motion.h"
#include "Stage.h"
#include "StageState.h"
#include "Updates.h"

namespace astrel::tool {

// The result of one command: ok, or why not in words.
struct Outcome {
    bool ok = true;
    std::string error;
    uint64_t epoch = 0;  // the stage's epoch the command went to
};

class PanelStage {
  public:
    static constexpr std::chrono::milliseconds kMovingPoll{100};
    static constexpr std::chrono::milliseconds kRestingPoll{500};
    // A jog stops when the page has not said it still holds it for this long.
    static constexpr std::chrono::milliseconds kHoldFor{600};

    explicit PanelStage(Updates& updates);
    // Stops a moving stage and closes it.
    ~PanelStage();
    PanelStage(const PanelStage&) = delete;
    PanelStage& operator=(const PanelStage&) = delete;

    // Opens the stage, closing the one open before.
    Outcome Connect(const Connection& connection);
    // Stops the stage when it moves, and closes it.
    void Disconnect();

    Outcome MoveTo(const Xyz& xyz);
    Outcome MoveBy(const Xyz& distance);
    // Directions -1, 0 or 1 per axis; the jog lasts while Hold comes in time.
    // At `speed`, when given, on the jogging axes: their maximum speed is
    // set to it for the jog, and set back when it ends.
    Outcome Jog(const Xyz& directions, std::optional<int32_t> speed = std::nullopt);
    Outcome Hold();
    Outcome EndJog();
    Outcome Stop();
    Outcome Home();
    Outcome SetOrigin();
    Outcome SetSpeeds(int axis, int32_t start, int32_t max, int32_t accel);
    // Sends a stop when a stage is open, and says why on the page.
    void StopBecause(const std::string& why);

    // The stage's state as a JSON object (see StageState.h).
    std::string StateJson() const;
    // Neither moving nor jogging, as far as the last reading tells.
    bool AtRest() const;
    // Why speeds are outside the connected maker's units; empty when they are not.
    std::string SpeedRangeError(int32_t start, int32_t max, int32_t accel) const;
    // Why a jog of `directions` at `speed` cannot be made; empty when it can.
    std::string JogSpeedError(const Xyz& directions, int32_t speed);

  private:
    // Whether a command's outcome may change the state: it went well, to the
    // stage in the state's coordinates (mutex_ held).
    bool Applies(const Outcome& outcome) const;
    // The open stage for one call, with the epoch it belongs to.
    std::pair<std::shared_ptr<Stage>, uint64_t> Current() const;
    // Closes the open stage and waits until no thread uses it any more.
    void Close(std::unique_lock<std::mutex>& lock);
    // Sends a command with `send`; a failure becomes a message on the page.
    Outcome Command(const std::string& step, const std::function<int32_t(const Stage&)>& send);
    // The same for an export that takes the handle alone.
    Outcome Command(const std::string& step, int32_t (*send)(int32_t));
    void Tell(const std::string& text, bool error);
    // Sets back the speeds a jog at its own speed changed.
    void SpeedsBack();
    // Sets one axis's speeds as `setting` gives them.
    Outcome SetSpeeds(const std::string& step, const AxisSpeeds::Setting& setting);
    void Poll();
    void PollOnce(const Stage& stage, uint64_t epoch);
    void WatchJog();
    // Polls at once, and fast for a while: a motion was just sent.
    void Kick(std::unique_lock<std::mutex>& lock);
    // A motion of these axes was sent (mutex_ held): whether it ends at a
    // limit is asked once the stage rests.
    void Drove(const Axes& axes);

    Updates& updates_;
    std::mutex connecting_;  // one connect or disconnect at a time
    // Guards what follows. A stage is never let go while it is held: its
    // closing takes it.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<Stage> stage_;
    StageState state_;
    AxisSpeeds speeds_;
    bool kicked_ = false;
    bool quit_ = false;
    // Stages opened and closed (a stage closes when its last user lets go).
    uint64_t opened_ = 0;
    uint64_t closed_ = 0;
    std::thread poller_;
    std::thread jogWatch_;
};

}  // namespace astrel::tool
