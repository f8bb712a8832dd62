// A client for the tests of the chat command, the info panel and the event
// hooks: the plug-in is loaded, has the function table and (optionally) its
// ID, but was never initialised. Those entry points need nothing more, and
// init would open the monitor output and start the automatic update check,
// which these tests have no use for. The plug-in is shut down before the
// emulator unloads it, so that its copy of the ID is freed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_emulator.h"

namespace morindale_test {

class DiagnosticsClient {
public:
    // registered: hand the plug-in its ID ("morindale_test_plugin_id").
    explicit DiagnosticsClient(bool registered = true);
    ~DiagnosticsClient();
    DiagnosticsClient(const DiagnosticsClient&) = delete;
    DiagnosticsClient& operator=(const DiagnosticsClient&) = delete;

    morindale_host::ClientEmulator client;

    // The calls recorded since the last clearCalls, each as
    // "function(arg, arg, ...)", in order.
    std::vector<std::string> Calls() const;

    // Nothing received from the client is left unreleased, and nothing was
    // released that the client did not hand out.
    ::testing::AssertionResult NothingLeaked() const;
};

// One recorded call as "function(arg, arg, ...)".
std::string Render(const morindale_host::Call& call);

}  // namespace morindale_test
