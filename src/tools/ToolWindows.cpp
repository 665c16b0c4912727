#include "tools/ToolWindows.h"

#include "shell/BrowserCacheCommands.h"
#include "shell/WindowFlow.h"
#include "tools/Form_Copy_Move.h"
#include "tools/fIEcache.h"

void RegisterToolWindows(WindowFlow& flow) {
    flow.registerWindow(WindowNames::IEcache, [] { return new fIEcache; });
    flow.registerWindow(WindowNames::CopyMove, [] { return new Form_Copy_Move; });
}
