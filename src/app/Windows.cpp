#include "Windows.h"

#include "about/frmAbout.h"
#include "download/fFileDownload.h"
#include "search/fWebSearch.h"
#include "shell/AppValues.h"
#include "shell/WindowFlow.h"
#include "shell/fOption.h"
#include "tools/ToolWindows.h"

void registerWindows() {
    WindowFlow& flow = app().flow();
    flow.registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
    flow.registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
    flow.registerWindow(WindowNames::Option, [] { return new fOption; });
    flow.registerWindow(WindowNames::About, [] { return new frmAbout; });
    RegisterToolWindows(flow);
}
