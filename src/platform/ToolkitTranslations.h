#pragma once

#include <QStringList>

class QCoreApplication;

// Qt's own texts (standard buttons, the edit menu of text boxes, the web
// pages' context menus, network errors) in Simplified Chinese, from the
// distribution's Qt translations. The translators become children of the
// application and live as long as it. Returns the catalogues that loaded;
// a missing one leaves those texts in English and is not an error.
QStringList LoadToolkitTranslations(QCoreApplication& application);
