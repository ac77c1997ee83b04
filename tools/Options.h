// The command-line options shared by the subcommands: which stage (maker and
// model), where it is (port or device), its line settings and time-out.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Stage.h"
#include "Text.h"

namespace astrel::tool {

// What the chosen subcommand does, set while the command line is parsed and
// run after it; it throws ToolError or Interrupted to end with another code.
using Action = std::function<void()>;

struct ConnectionOptions {
    std::string maker;
    std::string model;
    Connection line;  // port, device, line codes and time-out; maker and model resolved later

    // The connection these options name; throws a usage error for an unknown maker.
    Connection Resolve() const;
};

template <class T>
using Names = std::vector<std::pair<std::string, T>>;

// "a|b|c" of the names.
template <class T>
std::string NameList(const Names<T>& values) {
    std::vector<std::string> names;
    for (const auto& [name, value] : values) names.push_back(name);
    return Join(names, "|");
}

// Adds an option that takes one of the names in `values` and stores the
// value it names, so that "--parity odd" stores the parity code 2.
// `values` must outlive parsing.
template <class T>
CLI::Option* AddNamedOption(CLI::App& command, const std::string& option, T& value,
                            const Names<T>& values, const std::string& what) {
    const auto convert = [&values](std::string& text) -> std::string {
        for (const auto& [name, named] : values) {
            if (name != text) continue;
            text = std::to_string(static_cast<int64_t>(named));
            return {};
        }
        return "\"" + text + "\" is not one of " + NameList(values);
    };
    return command.add_option(option, value, what)
        ->transform(CLI::Validator(convert, ""))
        ->type_name(NameList(values));
}

// Adds --maker and --model (both required) to `command`.
void AddStageChoice(CLI::App& command, ConnectionOptions& options);
// Adds --maker, --model, --port or --device, the line settings and --timeout.
void AddConnectionOptions(CLI::App& command, ConnectionOptions& options);

}  // namespace astrel::tool
