#include "Demo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "Astrel.h"
#include "Dialects.h"
#include "Jog.h"
#include "Makers.h"
#include "PtySimulator.h"
#include "StatusText.h"
#include "Text.h"
#include "ToolError.h"
#include "Waiting.h"

namespace astrel::tool {

namespace {

// What a maker's controllers cannot do, so that the session does not expect
// it of them. A maker without a row does all the session asks.
struct Difference {
    uint16_t makerType;
    bool keepsPosition;  // no command redefines the position: set-origin leaves it as it is
};

constexpr Difference kDifferences[] = {
    {6, true},  // the CP-310 and CP-500 controllers keep their own counting
};

constexpr int32_t kTimeOutMs = 1000;
constexpr int kWaitLimitMs = 10000;
constexpr int kJogMs = 300;
constexpr Xyz kZero = {0, 0, 0};
constexpr Xyz kStart = {1500, -800, 400};  // where each simulated stage stands at first
constexpr Xyz kTarget = {6000, -4000, 2500};
constexpr Xyz kStep = {-1000, 1500, -500};

struct Session {
    std::string maker;
    std::string model;
    int axes = 3;  // the axes the model moves, X first
    uint64_t commands = 0;
    Xyz final{};
    Xyz expected{};
    std::string failure;  // empty when every step went as expected
};

// The maker's differences; none for a maker without a row.
Difference DifferencesOf(uint16_t makerType) {
    const auto row = std::find_if(std::begin(kDifferences), std::end(kDifferences),
                                  [&](const Difference& d) { return d.makerType == makerType; });
    return row != std::end(kDifferences) ? *row : Difference{makerType, false};
}

Xyz Sum(const Xyz& a, const Xyz& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

// The model with the most axes (the first of them on a tie), and its axis
// count: as the library lists the model, else as its simulator has it.
std::pair<std::string, int> ModelWithMostAxes(const sim::DialectInfo& dialect) {
    const std::vector<ModelEntry> listed = ListedModels(static_cast<int16_t>(dialect.makerType));
    sim::ManualSimClock clock;
    std::pair<std::string, int> best{"", 0};
    for (const std::string_view model : dialect.models) {
        const auto entry = std::find_if(listed.begin(), listed.end(),
                                        [&](const ModelEntry& m) { return m.name == model; });
        const auto controller = dialect.create(model, clock);
        const int axes = entry != listed.end()   ? entry->axes
                         : controller != nullptr ? controller->Motion().AxisCount()
                                                 : 0;
        if (axes > best.second) best = {std::string(model), axes};
    }
    best.second = std::min(best.second, 3);
    return best;
}

class SessionSteps {
  public:
    SessionSteps(const Stage& stage, Session& session, InterruptWatch& watch)
        : stage_(stage), session_(session), watch_(watch) {}

    void Run(uint16_t makerType) {
        Step("home", MoveOriginPosition(stage_.Handle()), kZero, kEveryAxis, nullptr);
        Step("absolute move", MoveABS(stage_.Handle(), kTarget[0], kTarget[1], kTarget[2]), kTarget,
             kEveryAxis, stdout);
        Step("relative move", MoveREL(stage_.Handle(), kStep[0], kStep[1], kStep[2]),
             Sum(kTarget, kStep), NonZero(kStep), nullptr);
        const Xyz jogged = Jog();
        stage_.Require(SetOriginNowPos(stage_.Handle()), "set origin");
        ExpectAt("set origin", DifferencesOf(makerType).keepsPosition ? jogged : kZero);
        const int32_t status = stage_.Status();
        if (status != 0) {
            Fail("status", "status " + std::to_string(status) + ": " +
                               StatusMeaning(stage_.MakerType(), status));
        }
        Report("status", StatusMeaning(stage_.MakerType(), status));
    }

  private:
    // Sends a motion of the `driven` axes, waits for rest and checks where the stage is.
    void Step(const std::string& name, int32_t sent, const Xyz& expected, const Axes& driven,
              std::FILE* shown) {
        stage_.Require(sent, name);
        Progress progress(shown, "  " + std::string(15, ' '));
        Xyz target = expected;  // axes the model does not move read 0, or are never written
        for (auto axis = static_cast<size_t>(session_.axes); axis < target.size(); ++axis) {
            target[axis] = 0;
        }
        WaitForRest(stage_, watch_, progress, target, kWaitLimitMs, driven);
        ExpectAt(name, expected);
    }

    // Jogs X briefly to plus, stops, and checks that only X moved, to plus.
    Xyz Jog() {
        const Xyz before = session_.final;
        stage_.Require(StartJog(stage_, {1, 0, 0}), "jog");
        Progress quiet(nullptr);
        const WaitResult jog = WaitWhileMoving(stage_, watch_, quiet, {}, kJogMs);
        if (!jog.stillMoving) Fail("jog", "the stage did not keep moving");
        stage_.Require(StopJOG(stage_.Handle()), "stop");
        const Xyz at = WaitForRest(stage_, watch_, quiet, {}, kWaitLimitMs, {true, false, false});
        Xyz expected = before;
        expected[0] = at[0];
        if (at[0] <= before[0])
            Fail("jog", "X did not move to plus: " + PositionText(at, session_.axes));
        ExpectAt("jog and stop", expected);
        return at;
    }

    void ExpectAt(const std::string& step, const Xyz& expected) {
        session_.final = stage_.Position();
        session_.expected = expected;
        const auto axes = static_cast<size_t>(session_.axes);
        if (!std::equal(expected.begin(), expected.begin() + axes, session_.final.begin())) {
            Fail(step, "at " + PositionText(session_.final, session_.axes) + ", expected " +
                           PositionText(expected, session_.axes));
        }
        Report(step, PositionText(session_.final, session_.axes));
    }

    static void Report(const std::string& step, const std::string& what) {
        std::printf("  %-14s %s\n", (step + ":").c_str(), what.c_str());
        std::fflush(stdout);
    }

    [[noreturn]] static void Fail(const std::string& step, const std::string& what) {
        throw ToolError(Exit::kDisagreed, step + ": " + what);
    }

    const Stage& stage_;
    Session& session_;
    InterruptWatch& watch_;
};

Session RunSession(const sim::DialectInfo& dialect, InterruptWatch& watch) {
    Session session;
    session.maker = MakerName(static_cast<int16_t>(dialect.makerType));
    std::tie(session.model, session.axes) = ModelWithMostAxes(dialect);
    if (session.model.empty()) {
        session.failure = "the simulator serves no model";
        return session;
    }
    sim::SteadySimClock clock;
    std::atomic<uint64_t> commands{0};
    sim::PtySimulator runner(dialect.create(session.model, clock),
                             [&commands](bool fromHost, std::string_view) {
                                 if (fromHost) ++commands;
                             });
    runner.With([&](sim::Simulator& s) {
        for (int axis = 0; axis < session.axes; ++axis) {
            s.GetDialect().Motion().SetPosition(axis, kStart[static_cast<size_t>(axis)]);
        }
    });
    std::printf("%s %s, simulated on %s\n", session.maker.c_str(), session.model.c_str(),
                runner.SlavePath().c_str());
    Connection connection;
    connection.makerType = static_cast<int16_t>(dialect.makerType);
    connection.model = session.model;
    connection.device = runner.SlavePath();
    connection.timeOutMs = kTimeOutMs;
    try {
        const Stage stage(connection);
        session.final = kStart;
        SessionSteps(stage, session, watch).Run(dialect.makerType);
    } catch (const ToolError& error) {
        session.failure = error.what();
        std::printf("  FAILED: %s\n", error.what());
    }
    session.commands = commands.load();
    return session;
}

void RunDemo() {
    const auto start = std::chrono::steady_clock::now();
    InterruptWatch watch;  // before anything moves
    std::vector<Session> sessions;
    for (const sim::DialectInfo& dialect : sim::AllDialects()) {
        sessions.push_back(RunSession(dialect, watch));
    }
    Table table;
    table.Add({"maker", "model", "commands", "final position", "expected", "result"});
    size_t failed = 0;
    for (const Session& s : sessions) {
        failed += s.failure.empty() ? 0 : 1;
        table.Add({s.maker, s.model, std::to_string(s.commands), PositionText(s.final, s.axes),
                   PositionText(s.expected, s.axes), s.failure.empty() ? "pass" : "FAIL"});
    }
    std::printf("\n");
    table.Print(stdout);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("\n%zu of %zu makers passed in %.1f s\n", sessions.size() - failed, sessions.size(),
                took.count());
    std::fflush(stdout);
    if (failed > 0) {
        throw ToolError(Exit::kDisagreed,
                        std::to_string(failed) + " of the sessions did not go as expected");
    }
}

}  // namespace

void AddDemoCommand(CLI::App& app, Action& action) {
    app.add_subcommand("demo",
                       "run a short session on a simulated controller of every maker and "
                       "print a summary")
        ->callback([&action] { action = RunDemo; });
}

}  // namespace astrel::tool
