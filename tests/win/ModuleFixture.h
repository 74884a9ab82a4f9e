// The fixture of the tests that drive the module through its exports.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "WinTestSupport.h"

namespace yol::wintest {

// A test driving the module through its exports as the host does: the
// module loaded by name, a log lent to it and a watch on its error boxes.
// Each test ends with the window released and no error box unaccounted for.
class ModuleFixture : public ::testing::Test {
protected:
    void TearDown() override {
        module.Release();
        Pump(50);
        EXPECT_TRUE(errors.Take().empty());
    }
    // _Run with a host record for the log; the window's handle.
    HWND Run(const std::string& title = "Test Host") {
        auto record = HostRecord(&log, {}, title);
        HWND w = static_cast<HWND>(module.Run(0, record.get()));
        Pump();
        return w;
    }

    ErrorBoxWatcher errors;
    Module module;
    TestLog log;
};

}  // namespace yol::wintest
