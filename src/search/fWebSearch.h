#pragma once

#include <QMainWindow>

class QComboBox;
class QLabel;

// The article search window: embedded browser above, article list below.
class fWebSearch : public QMainWindow {
    Q_OBJECT
public:
    explicit fWebSearch(QWidget* parent = nullptr);

    QLabel* Label4;
    QComboBox* Combo2; // delay between requests, "0" to "60" seconds

    // Run flags: true while no page-extraction or analysis run is active.
    bool ExtractStopped = true;
    bool AnalyseStopped = true;
    bool PageLoading = false;

    bool runActive() const { return !ExtractStopped || !AnalyseStopped; }

    // The address of the document the browser shows, empty when it holds none.
    QString documentAddress() const;

protected:
    void closeEvent(QCloseEvent* event) override;
};
