#include "start_up.h"

#include <vtkLogger.h>

#include "manwindow.h"
#include "start_options.h"

namespace kv::window {

bool openStartPath(manwindow& window, const QString& path) {
    if (kv::start::startPathKind(path.toStdString()) == kv::start::StartPathKind::PcdFolder)
        return window.openPcdDirectory(path) > 0;
    return window.openCaptureFile(path);
}

void showVtkWarnings(bool shown) {
    // VTK hands its warning and error macros to its logger, which prints them on standard
    // error down to this verbosity (and keeps its output window quiet while logging is on).
    vtkLogger::SetStderrVerbosity(shown ? vtkLogger::VERBOSITY_INFO : vtkLogger::VERBOSITY_ERROR);
}

}  // namespace kv::window
