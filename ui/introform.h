// The intro window: shown during the first activation of the main window and
// during a reorganisation; its progress bar follows index builds and packs.
#pragma once

#include <QWidget>

#include "catalogue/introprogress.h"
#include "store/displays.h"

class QLabel;
class QProgressBar;

// Object `IntroForm`.
class TIntroForm : public QWidget, public qv::IntroDisplay {
    Q_OBJECT

  public:
    explicit TIntroForm(QWidget* parent = nullptr);

    void setStepText(const QString& text) override;
    void setStatusText(const QString& text) override;
    void showNow() override;
    void closeNow() override;
    void showGauge() override;
    void hideGauge() override;
    void announceSteps(int n) override;
    void setStep(int i) override;
    void reportProgress(int percent) override;

    const qv::IntroProgress& progress() const { return m_progress; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* Image1;
    QLabel* Label2;
    QLabel* Label1;
    QProgressBar* Gauge1;
    qv::IntroProgress m_progress;
};
