// The dialog `Tstd_stat` ("Programm-Status") that renames the status names.
#pragma once

#include <QDialog>
#include <QStringList>
#include <array>

#include "masterdata/core/statusnamelist.h"

class QLineEdit;
class QPushButton;

namespace qv {

class SettingsList;

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
