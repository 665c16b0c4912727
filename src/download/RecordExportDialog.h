#pragma once

#include "download/RecordExport.h"

class QWidget;

// The export command's dialogs: asks where to write the entries (the folder
// offered first, so the file stands beside the PDFs), writes them, and says
// how it went. Nothing to export is said too.
void AskAndExportRecords(QWidget* owner, const QList<ExportEntry>& entries, const QString& folder);
