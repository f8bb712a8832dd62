#include "preview_terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>

namespace morindale_preview {

Terminal::Terminal() {
    live_ = isatty(STDOUT_FILENO) == 1;
    if (isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
}

Terminal::~Terminal() {
    if (raw_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    if (live_ && statusShown_) std::fputc('\n', stdout);
    std::fflush(stdout);
}

Key Terminal::readKey() {
    if (inputOpen_) {
        pollfd entry{STDIN_FILENO, POLLIN, 0};
        if (poll(&entry, 1, 0) == 1) {
            char buffer[32];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got > 0) {
                bytes_.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                inputOpen_ = false;  // no more keys; Ctrl-C still ends the preview
            }
        }
    }
    while (!bytes_.empty()) {
        const char c = bytes_[0];
        if (c == '\033') {
            // Arrows: ESC [ A..D, or ESC O A..D in application mode.
            if (bytes_.size() < 3) {
                if (bytes_.size() == 1 || bytes_[1] == '[' || bytes_[1] == 'O') return {};
                bytes_.erase(0, 1);
                continue;
            }
            const char final = bytes_[2];
            bytes_.erase(0, 3);
            if (final == 'C' || final == 'A') return {KeyKind::Next, 0};
            if (final == 'D' || final == 'B') return {KeyKind::Previous, 0};
            continue;
        }
        bytes_.erase(0, 1);
        if (c == 'q' || c == 'Q' || c == 3 || c == 4) return {KeyKind::Quit, 0};
        if (c >= '1' && c <= '9') return {KeyKind::Choose, c - '1'};
        if (c == '0') return {KeyKind::Choose, 9};
        if (c == '+' || c == '=') return {KeyKind::PitchUp, 0};  // '=' is '+' without shift
        if (c == '-' || c == '_') return {KeyKind::PitchDown, 0};
    }
    return {};
}

void Terminal::status(const std::string& text) {
    if (live_) {
        std::printf("\r\033[K%s", text.c_str());
        statusShown_ = true;
    } else {
        std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
}

void Terminal::line(const std::string& text) {
    if (live_ && statusShown_) {
        std::printf("\r\033[K%s\n", text.c_str());
        statusShown_ = false;
    } else {
        std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
}

}  // namespace morindale_preview
