// Unloading the library releases every handle, so an open port closes.
// This test loads the library itself, so it runs in a program of its own
// that is not linked against it. And a host that exits while a thread of
// its own is in a call ends at once.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Astrel.h"
#include "SimController.h"
#include "ToolProcess.h"
#include "gtest/gtest.h"

namespace {

using astrel::test::OpenDescriptorsOn;

template <typename F>
F Symbol(void* library, const char* name) {
    return reinterpret_cast<F>(::dlsym(library, name));
}

TEST(Unload, ClosesThePortOfAHandleLeftOpen) {
    astrel::test::SimController controller(0, "QT2", 0);
    void* library = ::dlopen(ASTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto h = static_cast<int32_t>(Symbol<uint32_t (*)()>(library, "Astrel")());
    Symbol<decltype(&SetUseStageName)>(library, "SetUseStageName")(h, "QT2");
    ASSERT_EQ(Symbol<decltype(&OpenComPort)>(library, "OpenComPort")(h), 1);
    ASSERT_EQ(OpenDescriptorsOn(controller.Path()), 2);
    ASSERT_EQ(::dlclose(library), 0);
    EXPECT_EQ(OpenDescriptorsOn(controller.Path()), 1);
}

// The exit host (ASTREL_TOOL_PATH) returns from main while its poller waits
// on a silent controller (5 s time-out); the process is gone within a second
// and exits as main said, whatever its poller does meanwhile.
TEST(Unload, AHostThatExitsWhileItsThreadWaitsEndsAtOnce) {
    astrel::test::SimController controller(0, "QT3", 0);
    controller.SetFault(astrel::sim::Fault::kSilent);
    // A host built with ThreadSanitizer would otherwise sleep a second before it exits.
    const char* tsan = std::getenv("TSAN_OPTIONS");
    ::setenv("TSAN_OPTIONS",
             (std::string(tsan != nullptr ? tsan : "") + ":atexit_sleep_ms=0").c_str(), 1);
    astrel::test::ToolProcess host({"0"});
    ASSERT_TRUE(host.WaitForOutput("returning from main", 5000));
    const auto start = std::chrono::steady_clock::now();
    const astrel::test::ToolRun run = host.Finish(3000);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("the host ended %.1f ms after main returned\n", took.count());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(took.count(), 1000.0);
    EXPECT_TRUE(controller.WaitHeard(1)) << "the poller never asked";
}

}  // namespace
