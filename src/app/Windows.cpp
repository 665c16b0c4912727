#include "Windows.h"

#include "download/fFileDownload.h"
#include "search/fWebSearch.h"
#include "shell/AppValues.h"
#include "shell/WindowFlow.h"
#include "tools/ToolWindows.h"

void registerWindows() {
    WindowFlow& flow = app().flow();
    flow.registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
    flow.registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
    RegisterToolWindows(flow);
}
