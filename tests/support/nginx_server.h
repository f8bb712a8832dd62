// A real nginx from Debian, run by a test: its own configuration, prefix,
// document root, pid, temp and log files in a fresh temp folder, listening on
// 127.0.0.1 at a free port, in the foreground as the test's child. The
// destructor stops it (SIGTERM, then SIGKILL after 5 s), reaps it and removes
// the folder, whatever the test's outcome.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>

namespace morindale_test {

class NginxServer {
public:
    // files: paths under the document root ("teamspeak/mversion.txt") and
    // their exact contents.
    explicit NginxServer(const std::map<std::string, std::string>& files);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool running() const { return pid_ > 0 && error_.empty(); }
    const std::string& error() const { return error_; }  // why it did not start
    unsigned short port() const { return port_; }
    std::string accessLog() const;
    std::string errorLog() const;

    static std::string Binary();  // empty when nginx is not installed

private:
    void Stop();

    std::string dir_;
    std::string error_;
    pid_t pid_ = -1;
    unsigned short port_ = 0;
};

}  // namespace morindale_test
