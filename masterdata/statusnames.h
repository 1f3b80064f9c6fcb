// The status names: lines 1 to 12 of the settings list, and the dialog
// `Tstd_stat` ("Programm-Status") that renames them.
#pragma once

#include <QDialog>
#include <QStringList>
#include <array>

class QLineEdit;
class QPushButton;

namespace qv {

class SettingsList;

inline constexpr int kStatusNameCount = 12;
// Typing in a status name stops at this many characters; a longer name
// loaded from the settings file is kept as it is.
inline constexpr int kStatusNameTypingLimit = 50;

// The twelve names, lines 1 to 12; a line a hand-shortened file lacks gives
// the default name.
QStringList statusNames(const SettingsList& settings);
// Replaces lines 1 to 12 by `names` (control characters become blanks, so a
// name stays on its line) and saves the list, completed with the default
// lines it lacked. A failed save raises the save's error and leaves the list
// in memory as it was, as the file still is.
void saveStatusNames(SettingsList& settings, const QStringList& names);

class Tstd_stat : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 740;

    explicit Tstd_stat(SettingsList& settings, QWidget* parent = nullptr);

    std::array<QLineEdit*, kStatusNameCount> edits{};  // Edit1 ... Edit12
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HelpBtn = nullptr;

  public slots:
    void FormActivate();
    void OKBtnClick();
    void HelpBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    SettingsList& m_settings;
};

}  // namespace qv
