// The small edit dialog of a master-data list: labelled one-line fields for
// the table's fields, "&OK" (`BitBtn1`, default) and "Abbrechen" (`BitBtn2`).
// It serves both "Neu" and "Ändern". OK refuses an empty first field with the
// dialog's notice; a text of blanks counts as not empty.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include "catalogue/masterlist.h"

class QGridLayout;
class QLineEdit;
class QPushButton;
class TTable;

namespace qv {

// The help topic of every master-data edit dialog (F1).
inline constexpr int kEditDialogHelpTopic = 700;

class TStdEditDialog : public QDialog {
    Q_OBJECT

  public:
    TStdEditDialog(const QString& caption, const QString& emptyText, const QString& emptyCaption,
                   QWidget* parent = nullptr);

    // Empties every field.
    void clearFields();
    // Fills the fields from the current record, trimmed at the right.
    void fillFrom(const TTable& table);
    // The fields as typed (control characters of a paste become blanks).
    FieldValues values() const;
    // Runs the dialog modally; true on OK.
    bool run();

    QLineEdit* field(int i) const { return m_edits.value(i); }
    int fieldCount() const { return static_cast<int>(m_edits.size()); }

    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

  public slots:
    void BitBtn1Click();

  protected:
    // Adds a labelled field `Edit<n>` for `fieldName` to `grid` at `row`.
    QLineEdit* addField(QWidget* page, QGridLayout* grid, int row, const QString& label,
                        const QString& fieldName, int maxLength);
    // Lays out `body` above the two buttons, with the fixed dialog border.
    void finishLayout(QWidget* body);
    virtual void FormActivate();
    void showEvent(QShowEvent* event) override;

  private:
    QList<QLineEdit*> m_edits;
    QStringList m_fieldNames;
    QString m_emptyText;
    QString m_emptyCaption;
};

}  // namespace qv
