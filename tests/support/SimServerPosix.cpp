// Serves one simulated controller on a pseudo-terminal until it is
// interrupted, for tests that run in another process: the Windows tests under
// Wine reach it through a COM port linked to the terminal.
//   astrel_sim_server --maker M --model X --link PATH [--silent]
// M is a maker type number or a short maker name. The link is made to the
// terminal and removed at the end; the terminal's path is printed once the
// controller serves. With --silent the controller answers nothing.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Dialects.h"
#include "PtySimulator.h"
#include "SimClock.h"

namespace {

using namespace astrel::sim;

int Usage() {
    std::fprintf(stderr, "usage: astrel_sim_server --maker M --model X --link PATH [--silent]\n");
    return 2;
}

const DialectInfo* FindMaker(const std::string& maker) {
    char* end = nullptr;
    const unsigned long type = std::strtoul(maker.c_str(), &end, 10);
    if (!maker.empty() && *end == '\0') {
        return type <= 0xFFFF ? FindDialectByType(static_cast<uint16_t>(type)) : nullptr;
    }
    return FindDialectByName(maker);
}

}  // namespace

int main(int argc, char** argv) {
    std::string maker, model, link;
    bool silent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--maker" && hasValue) {
            maker = argv[++i];
        } else if (option == "--model" && hasValue) {
            model = argv[++i];
        } else if (option == "--link" && hasValue) {
            link = argv[++i];
        } else if (option == "--silent") {
            silent = true;
        } else {
            return Usage();
        }
    }
    if (maker.empty() || model.empty() || link.empty()) return Usage();

    // Every thread leaves SIGINT and SIGTERM to the sigwait below.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const DialectInfo* dialect = FindMaker(maker);
    SteadySimClock clock;
    std::unique_ptr<Dialect> controller =
        dialect != nullptr ? dialect->create(model, clock) : nullptr;
    if (controller == nullptr) {
        std::fprintf(stderr, "no simulated controller for maker %s, model %s\n", maker.c_str(),
                     model.c_str());
        return 1;
    }
    try {
        PtySimulator runner(std::move(controller));
        if (silent) runner.With([](Simulator& s) { s.SetFault({Fault::kSilent}); });
        if (!runner.LinkAs(link)) {
            std::fprintf(stderr, "cannot link %s to the terminal\n", link.c_str());
            return 1;
        }
        std::printf("%s\n", runner.SlavePath().c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
