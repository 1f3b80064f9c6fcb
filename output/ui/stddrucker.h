// The print settings dialog: the five numbers of the label definition.
#pragma once

#include <QDialog>
#include <QSpinBox>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace qv {
class SettingsList;

// A spin edit for a whole number within its bounds; a text that is no whole
// number (empty, a lone sign) stands for 0 (or the nearest bound) instead of
// falling back to the previous value.
class WholeNumberEdit : public QSpinBox {
    Q_OBJECT

  public:
    explicit WholeNumberEdit(QWidget* parent = nullptr);

    // The number the edit's text stands for, within the bounds.
    int number() const;

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
};

}  // namespace qv

// Object `stdDrucker`.
class TstdDrucker : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 710;

    explicit TstdDrucker(QWidget* parent = nullptr);

    // Step 2 of the command: lines 14, 15, 16, 17 and 18 in this order into
    // the edit of the same number; a line that is no whole number raises the
    // conversion error (the edits read so far keep their new values).
    void readLines(const qv::SettingsList& settings);
    // On OK: lines 14 to 18 replaced by the edits' values, then the list
    // saved (a list shorter than the label definition is completed with the
    // default lines first). A failed save raises its error and leaves the
    // list in memory as it was, as the file still is.
    void writeLines(qv::SettingsList& settings) const;

    // What a sheet can hold: the edits stop at these bounds.
    static constexpr int kMaxColumns = 100;
    static constexpr int kMaxMm = 1000;

    QTabWidget* TabbedNotebook1 = nullptr;
    qv::WholeNumberEdit* spe14 = nullptr;
    qv::WholeNumberEdit* spe15 = nullptr;
    qv::WholeNumberEdit* spe16 = nullptr;
    qv::WholeNumberEdit* spe17 = nullptr;
    qv::WholeNumberEdit* spe18 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;

  public slots:
    void HelpBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    qv::WholeNumberEdit* edit(int line) const;
};
