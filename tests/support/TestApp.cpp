#include "TestApp.h"

#include "platform/BrowserProfile.h"

#include <QTemporaryDir>

void TestApp::isolateBrowserStorage() {
    // Lives to the end of the process, as the profile that uses it does.
    static QTemporaryDir storage;
    if (!BrowserProfile::hasStorageRoot() && !BrowserProfile::existing() && storage.isValid())
        BrowserProfile::setStorageRoot(storage.path());
}
