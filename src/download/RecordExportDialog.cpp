#include "download/RecordExportDialog.h"

#include "shell/AppValues.h"
#include "shell/FileNames.h"

void AskAndExportRecords(QWidget* owner, const QList<ExportEntry>& entries, const QString& folder) {
    if (entries.isEmpty()) {
        app().dialogs().information(owner, RecordExportNothing);
        return;
    }
    const QString start = folder.isEmpty() ? app().CurrentSaveFolder : folder;
    const QString path =
        app().dialogs().saveFile(owner, RecordExportTitle, JoinFolder(start, RecordExportFileName),
                                 RecordExportFilter, QStringLiteral("bib"));
    if (path.isEmpty())
        return;
    const QString failure = WriteRecordExport(entries, path);
    if (!failure.isEmpty())
        app().dialogs().error(owner, failure);
    else
        app().dialogs().information(owner, RecordExportDoneMessage(int(entries.size())));
}
