#include "nginx_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "loopback_server.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace morindale_test {

namespace {

using Clock = std::chrono::steady_clock;

bool Accepts(unsigned short port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

std::string NginxServer::Binary() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
        if (access(candidate, X_OK) == 0) return candidate;
    return std::string();
}

NginxServer::NginxServer(const std::map<std::string, std::string>& files) {
    const std::string binary = Binary();
    if (binary.empty()) {
        error_ = "nginx is not installed (scripts/setup.sh installs nginx-light)";
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/morindale-nginx-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        error_ = "cannot create a folder for nginx";
        return;
    }
    dir_ = buffer.data();
    fs::create_directories(dir_ + "/root");
    fs::create_directories(dir_ + "/tmp");
    for (const auto& [path, contents] : files) {
        fs::create_directories(fs::path(dir_ + "/root/" + path).parent_path());
        WriteFile(dir_ + "/root/" + path, contents);
    }

    port_ = UnusedLoopbackPort();
    const std::string conf = dir_ + "/nginx.conf";
    WriteFile(conf,
              "daemon off;\n"
              "master_process off;\n"
              "worker_processes 1;\n"
              "pid " + dir_ + "/nginx.pid;\n"
              "error_log " + dir_ + "/error.log info;\n"
              "events { worker_connections 64; }\n"
              "http {\n"
              "  access_log " + dir_ + "/access.log;\n"
              "  client_body_temp_path " + dir_ + "/tmp/body;\n"
              "  proxy_temp_path " + dir_ + "/tmp/proxy;\n"
              "  fastcgi_temp_path " + dir_ + "/tmp/fastcgi;\n"
              "  uwsgi_temp_path " + dir_ + "/tmp/uwsgi;\n"
              "  scgi_temp_path " + dir_ + "/tmp/scgi;\n"
              "  default_type text/plain;\n"
              "  server {\n"
              "    listen 127.0.0.1:" + std::to_string(port_) + ";\n"
              "    server_name _;\n"
              "    root " + dir_ + "/root;\n"
              "  }\n"
              "}\n");

    // Everything the child needs is made before the fork: between fork and
    // exec a child of a threaded process may not allocate.
    const std::string output = dir_ + "/output.log";
    const std::string errorLogPath = dir_ + "/error.log";
    pid_ = fork();
    if (pid_ == 0) {
        const int log = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        execl(binary.c_str(), binary.c_str(), "-p", dir_.c_str(), "-c", conf.c_str(), "-e",
              errorLogPath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) {
        error_ = "fork failed";
        return;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!Accepts(port_)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "nginx exited at start: " + ReadFile(output) + ReadFile(dir_ + "/error.log");
            return;
        }
        if (Clock::now() >= deadline) {
            error_ = "nginx did not listen within 10 s: " + ReadFile(dir_ + "/error.log");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

NginxServer::~NginxServer() {
    Stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

void NginxServer::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

std::string NginxServer::accessLog() const { return ReadFile(dir_ + "/access.log"); }
std::string NginxServer::errorLog() const { return ReadFile(dir_ + "/error.log"); }

}  // namespace morindale_test
