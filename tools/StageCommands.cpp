#include "StageCommands.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Astrel.h"
#include "Dialects.h"
#include "Jog.h"
#include "Makers.h"
#include "StatusText.h"
#include "Text.h"
#include "ToolError.h"
#include "Waiting.h"

namespace astrel::tool {

namespace {

// A reply longer than this is read but not shown.
constexpr int32_t kReplyBytes = 256;
// Reply lines `raw` shows at most, so that a controller that never falls
// quiet cannot hold the tool.
constexpr int kMaxReplyLines = 100;

// Options of one subcommand; they live as long as the parser's references to them.
struct StageOptions {
    ConnectionOptions connection;
    std::vector<int32_t> xyz;
    bool relative = false;
    bool wait = false;
    int maxWaitS = 300;
    int forS = 300;
    bool now = false;
    std::string axis;
    std::string text;
    bool noReply = false;
};

void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

Xyz ToXyz(const std::vector<int32_t>& values) {
    return {values.at(0), values.at(1), values.at(2)};
}

// A subcommand that opens a stage with the connection options.
CLI::App* AddStageCommand(CLI::App& app, const std::string& name, const std::string& what,
                          StageOptions& options) {
    CLI::App* command = app.add_subcommand(name, what);
    AddConnectionOptions(*command, options.connection);
    return command;
}

void AddWaitOptions(CLI::App& command, StageOptions& options) {
    command.add_flag("--wait", options.wait, "wait until the stage is at rest, showing progress");
    command.add_option("--max-wait", options.maxWaitS, "stop the stage after this many seconds")
        ->check(CLI::Range(1, 86400))
        ->capture_default_str();
}

// Sends a motion of the `driven` axes with `send` and, when asked, waits for rest.
void RunMotion(const StageOptions& options, const std::string& step,
               const std::optional<Xyz>& target, const Axes& driven,
               const std::function<int32_t(int32_t)>& send) {
    // Watching before the motion starts, so that a signal always finds a stop sent.
    std::optional<InterruptWatch> watch;
    if (options.wait) watch.emplace();
    const Stage stage(options.connection.Resolve());
    stage.Require(send(stage.Handle()), step);
    if (!watch) return;
    Progress progress(stdout);
    const Xyz at = WaitForRest(stage, *watch, progress, target, options.maxWaitS * 1000, driven);
    Print("at rest: " + PositionText(at));
}

void Makers() {
    Table table;
    table.Add({"type", "maker", "short name"});
    for (const MakerEntry& maker : AllMakers()) {
        table.Add({std::to_string(maker.type), maker.name.empty() ? "-" : maker.name,
                   maker.shortName.empty() ? "-" : maker.shortName});
    }
    table.Print(stdout);
}

void Models(const std::string& makerText) {
    const int16_t type = ResolveMaker(makerText);
    const std::vector<ModelEntry> models = ListedModels(type);
    if (models.empty()) {
        Print("the library lists no models for " + MakerName(type));
        const sim::DialectInfo* dialect = SimulatorOf(type);
        if (dialect != nullptr) Print("its simulator serves: " + Join(dialect->models, ", "));
        return;
    }
    Table table;
    table.Add({"model", "axes"});
    for (const ModelEntry& model : models) table.Add({model.name, std::to_string(model.axes)});
    table.Print(stdout);
    Print("speed unit: " + Join(SpeedUnits(type), ", ") +
          "; acceleration unit: " + Join(AccelerationUnits(type), ", "));
}

void Status(const StageOptions& options) {
    const Stage stage(options.connection.Resolve());
    const int32_t status = stage.Status();
    const std::string meaning = StatusMeaning(stage.MakerType(), status);
    if (status == 6) throw ToolError(Exit::kNoReply, "reading the status: " + LastError());
    if (status == 7) throw ToolError(Exit::kControllerError, "status 7: " + meaning);
    Print("status " + std::to_string(status) + ": " + meaning);
}

void Jog(const StageOptions& options) {
    for (const int32_t direction : options.xyz) {
        if (direction < -1 || direction > 1) {
            throw ToolError(Exit::kUsage, "a jog direction is -1, 0 or 1");
        }
    }
    InterruptWatch watch;
    const Stage stage(options.connection.Resolve());
    const Xyz directions = ToXyz(options.xyz);
    stage.Require(StartJog(stage, directions), "starting the jog");
    std::fprintf(stderr, "jogging for up to %d s; Ctrl-C stops the stage\n", options.forS);
    Progress progress(stdout);
    const WaitResult jog = WaitWhileMoving(stage, watch, progress, {}, options.forS * 1000);
    const Axes driven = NonZero(directions);
    if (!jog.stillMoving) RequireAtRest(stage, jog.status, driven);  // it stopped by itself
    stage.Require(StopJOG(stage.Handle()), "stopping the jog");
    const Xyz at = WaitForRest(stage, watch, progress, {}, options.maxWaitS * 1000, driven);
    Print("at rest: " + PositionText(at));
}

void Speed(const StageOptions& options) {
    static const std::vector<std::string> kAxes = {"x", "y", "z"};
    size_t axis = 0;
    while (axis < kAxes.size() && kAxes[axis] != options.axis &&
           std::to_string(axis) != options.axis) {
        ++axis;
    }
    if (axis == kAxes.size()) throw ToolError(Exit::kUsage, "the axis is x, y or z (or 0, 1, 2)");
    const Connection connection = options.connection.Resolve();
    const std::vector<int32_t>& v = options.xyz;
    const std::string outside = SpeedRangeError(connection.makerType, v.at(0), v.at(1), v.at(2));
    if (!outside.empty()) throw ToolError(Exit::kUsage, outside);
    const Stage stage(connection);
    stage.Require(
        SetMoveSpeeds(stage.Handle(), static_cast<uint16_t>(axis), v.at(0), v.at(1), v.at(2)),
        "setting the speeds");
    Print("speeds set for axis " + kAxes[axis]);
}

void Raw(const StageOptions& options) {
    const Stage stage(options.connection.Resolve());
    if (SendStageData(stage.Handle(), options.text.c_str()) != 1) {
        throw ToolError(Exit::kRefused, "sending: " + LastError());
    }
    if (options.noReply) return;
    for (int lines = 0; lines < kMaxReplyLines; ++lines) {
        char reply[kReplyBytes] = {};
        int32_t status = 0;
        if (ReceiveStageData(stage.Handle(), reply, kReplyBytes, &status) != 1) {
            if (lines > 0 && status == 1) return;  // the reply is over
            throw ToolError(Exit::kNoReply, "reading the reply: " + LastError());
        }
        Print(Visible(reply));
        if (status != 2) return;  // nothing more waiting
    }
}

}  // namespace

void AddStageCommands(CLI::App& app, Action& action) {
    auto o = std::make_shared<StageOptions>();
    StageOptions& opt = *o;

    app.add_subcommand("makers", "list the makers the library knows, with their type numbers")
        ->callback([&action] { action = Makers; });

    CLI::App* models = app.add_subcommand("models", "list a maker's stage models and units");
    models->add_option("maker", opt.connection.maker, "maker: type number, name or short name")
        ->required();
    models->callback([&action, o] { action = [o] { Models(o->connection.maker); }; });

    AddStageCommand(app, "status", "read the stage's status", opt)->callback([&action, o] {
        action = [o] { Status(*o); };
    });

    AddStageCommand(app, "position", "read the stage's position", opt)->callback([&action, o] {
        action = [o] {
            const Stage stage(o->connection.Resolve());
            Print(PositionText(stage.Position()));
        };
    });

    CLI::App* move = AddStageCommand(app, "move", "move to a position, or by a distance", opt);
    move->add_option("xyz", opt.xyz, "X Y Z in controller counts")->expected(3)->required();
    move->add_flag("--relative", opt.relative, "move by X Y Z instead of to it");
    AddWaitOptions(*move, opt);
    move->callback([&action, o] {
        action = [o] {
            const Xyz xyz = ToXyz(o->xyz);
            std::optional<Xyz> target;
            if (!o->relative) target = xyz;
            // An absolute move names every axis to the controller; a relative one drives
            // the axes it moves.
            const Axes driven = o->relative ? NonZero(xyz) : kEveryAxis;
            RunMotion(*o, "sending the move", target, driven, [&](int32_t h) {
                return o->relative ? MoveREL(h, xyz[0], xyz[1], xyz[2])
                                   : MoveABS(h, xyz[0], xyz[1], xyz[2]);
            });
        };
    });

    CLI::App* jog = AddStageCommand(app, "jog", "jog until Ctrl-C (or --for) stops it", opt);
    jog->add_option("xyz", opt.xyz, "direction of X Y Z: -1, 0 or 1")->expected(3)->required();
    jog->add_option("--for", opt.forS, "stop the jog after this many seconds")
        ->check(CLI::Range(1, 86400))
        ->capture_default_str();
    jog->callback([&action, o] { action = [o] { Jog(*o); }; });

    CLI::App* home = AddStageCommand(app, "home", "return to the origin", opt);
    AddWaitOptions(*home, opt);
    home->callback([&action, o] {
        action = [o] {
            RunMotion(*o, "sending the return to the origin", Xyz{}, kEveryAxis,
                      MoveOriginPosition);
        };
    });

    CLI::App* stop = AddStageCommand(app, "stop", "stop the stage", opt);
    stop->add_flag("--now", opt.now, "stop at once instead of slowing down");
    stop->callback([&action, o] {
        action = [o] {
            const Stage stage(o->connection.Resolve());
            stage.Require(o->now ? StopNow(stage.Handle()) : StopMove(stage.Handle()),
                          "sending the stop");
            Print("stop sent");
        };
    });

    AddStageCommand(app, "set-origin", "make the present position the origin", opt)
        ->callback([&action, o] {
            action = [o] {
                const Stage stage(o->connection.Resolve());
                stage.Require(SetOriginNowPos(stage.Handle()), "setting the origin");
                Print("position now: " + PositionText(stage.Position()));
            };
        });

    CLI::App* speed = AddStageCommand(app, "speed", "set an axis's speeds", opt);
    speed->add_option("axis", opt.axis, "x, y or z")->required();
    speed->add_option("values", opt.xyz, "START MAX ACCEL in the maker's units (astrel models)")
        ->expected(3)
        ->required();
    speed->callback([&action, o] { action = [o] { Speed(*o); }; });

    CLI::App* raw = AddStageCommand(app, "raw", "send a command line and print the reply", opt);
    raw->add_option("command", opt.text, "the command, without its line end")->required();
    raw->add_flag("--no-reply", opt.noReply, "do not wait for a reply");
    raw->callback([&action, o] { action = [o] { Raw(*o); }; });
}

}  // namespace astrel::tool
