// The viewer's command line: what to answer without a window, and what to open in it.
// Pure: argv in, a decision out.
#pragma once

#include <string>

namespace kv::start {

enum class StartAction {
    Run,      // open the window (and `path`, when one was given)
    Help,     // print usageText() and exit 0
    Version,  // print the version and exit 0
    Error,    // print `message` on one line and exit 2
};

struct StartOptions {
    StartAction action = StartAction::Run;
    std::string path;     // a capture file or a folder of PCD files; empty: none
    std::string message;  // why the command line was refused
};

// Reads argv[1..argc-1] from the left: the first of --help (-h), --version or a fault decides.
// One capture file or PCD folder may be given; "--" ends the options. Qt's own options
// (-platform NAME, -style NAME, -reverse, ...) are let through for QApplication to take.
StartOptions parseStartOptions(int argc, const char* const* argv);

// What a start path is opened as: a folder by "OpenPCD", anything else by "Open" (which names
// a file it cannot read in its message box).
enum class StartPathKind { Capture, PcdFolder };
StartPathKind startPathKind(const std::string& path);

// The --help text, which is also the manual page (help2man).
std::string usageText();

}  // namespace kv::start
