// Unloading the library releases every handle, so every open port closes.
// This test loads the library itself, so it runs in a program of its own
// that is not linked against it.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "Astrel.h"
#include "SimController.h"
#include "gtest/gtest.h"

namespace {

using astrel::test::OpenDescriptorsOn;

template <typename F>
F Symbol(void* library, const char* name) {
    return reinterpret_cast<F>(::dlsym(library, name));
}

TEST(Unload, ClosesThePortsOfEveryHandleLeftOpen) {
    astrel::test::SimController first(0, "QT2", 0);
    astrel::test::SimController second(0, "QT2", 1);
    void* library = ::dlopen(ASTREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto astrel = Symbol<uint32_t (*)()>(library, "Astrel");
    auto setParams = Symbol<decltype(&SetCommunicationParams)>(library, "SetCommunicationParams");
    auto setName = Symbol<decltype(&SetUseStageName)>(library, "SetUseStageName");
    auto open = Symbol<decltype(&OpenComPort)>(library, "OpenComPort");
    for (uint16_t port : {0, 1}) {
        const auto h = static_cast<int32_t>(astrel());
        setName(h, "QT2");
        setParams(h, port, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
        ASSERT_EQ(open(h), 1);
    }
    ASSERT_EQ(OpenDescriptorsOn(first.Path()), 2);
    ASSERT_EQ(OpenDescriptorsOn(second.Path()), 2);
    ASSERT_EQ(::dlclose(library), 0);
    EXPECT_EQ(OpenDescriptorsOn(first.Path()), 1);
    EXPECT_EQ(OpenDescriptorsOn(second.Path()), 1);
}

}  // namespace
