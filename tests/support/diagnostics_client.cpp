#include "diagnostics_client.h"

namespace morindale_test {

DiagnosticsClient::DiagnosticsClient(bool registered) {
    client.load();
    client.identify();
    client.setFunctionPointers();
    if (registered) client.registerPluginID();
    client.clearCalls();
}

DiagnosticsClient::~DiagnosticsClient() {
    if (auto shutdown = client.entry<void (*)()>("ts3plugin_shutdown")) shutdown();
}

std::string Render(const morindale_host::Call& call) {
    std::string text = call.function + "(";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        if (i > 0) text += ", ";
        text += call.args[i];
    }
    return text + ")";
}

std::vector<std::string> DiagnosticsClient::Calls() const {
    std::vector<std::string> out;
    for (const morindale_host::Call& call : client.calls()) out.push_back(Render(call));
    return out;
}

::testing::AssertionResult DiagnosticsClient::NothingLeaked() const {
    const std::size_t outstanding = client.outstandingClientBlocks();
    const std::vector<std::string> problems = client.problems();
    if (outstanding == 0 && problems.empty()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << outstanding << " client block(s) not released";
    for (const std::string& problem : problems) failure << "; " << problem;
    return failure;
}

}  // namespace morindale_test
