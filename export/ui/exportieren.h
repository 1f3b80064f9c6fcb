// The dialog of the export: format, which entries, with or without their
// files, and the file to write.
#pragma once

#include <QDialog>

#include "export/core/catalogueexport.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

// Object `Exportieren`.
class TExportieren : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 865;

    explicit TExportieren(QWidget* parent = nullptr);

    // Prepares a showing: the query's entries can be chosen only while a
    // query is in force (and are chosen then).
    void prepare(bool searchActive);
    qv::ExportOptions options() const;
    QString fileName() const;

    QRadioButton* rbCsv = nullptr;
    QRadioButton* rbJson = nullptr;
    QRadioButton* rbHtml = nullptr;
    QRadioButton* rbAll = nullptr;
    QRadioButton* rbListed = nullptr;
    QCheckBox* cbFiles = nullptr;
    QLineEdit* edFile = nullptr;
    QToolButton* btnBrowse = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;

  public slots:
    void BtnBrowseClick();
    void FormatChange();

  protected:
    void accept() override;
};
