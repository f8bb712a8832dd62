// The preview's terminal: keys in, one status line out.
//
// At a terminal, standard input goes to raw mode (no echo, no line editing;
// Ctrl-C still raises SIGINT) until the object is destroyed, and the status
// line is redrawn in place. Otherwise (a pipe, a file, a test) keys are read
// as bytes all the same, and the status goes out as plain lines.
#pragma once

#include <termios.h>

#include <string>

namespace morindale_preview {

enum class KeyKind { None, Quit, Next, Previous, Choose, PitchUp, PitchDown };

struct Key {
    KeyKind kind = KeyKind::None;
    int index = 0;  // Choose: 0 for key 1, ..., 8 for key 9, 9 for key 0
};

class Terminal {
public:
    Terminal();
    ~Terminal();  // restores the terminal, ends the status line
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The next key typed, without waiting; None when there is none.
    Key readKey();
    // Standard output is a terminal: the status line is redrawn in place.
    bool live() const { return live_; }
    // Redraws the status line (at a terminal) or prints it as a line.
    void status(const std::string& text);
    // A line of its own, above the status line.
    void line(const std::string& text);

private:
    bool raw_ = false;
    bool live_ = false;
    bool inputOpen_ = true;
    bool statusShown_ = false;
    termios saved_{};
    std::string bytes_;  // typed, not yet understood (a partial escape sequence)
};

}  // namespace morindale_preview
