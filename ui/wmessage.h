// The progress window shared by the long operations (carrier reading, entry
// query, statistics, printing): a phase line and a detail line, and an
// "Abbrechen" button for the operations that can stop cleanly.
#pragma once

#include <QPointer>
#include <QWidget>

#include "store/displays.h"

class QLabel;
class QPushButton;

// Object `Wmessage`.
class TWmessage : public QWidget, public qv::ProgressDisplay {
    Q_OBJECT

  public:
    explicit TWmessage(QWidget* parent = nullptr);

    void setLine1(const QString& text) override;
    void setLine2(const QString& text) override;
    void showProgress() override;
    void closeProgress() override;
    // "Abbrechen" below the lines while an operation offers it.
    void offerCancel(bool on) override;
    // Pressed, or the run was asked to end from outside (termination.h).
    bool cancelRequested() const override;

    QString line1() const;
    QString line2() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // The window that had the keyboard when the progress was shown.
    QPointer<QWidget> m_returnTo;
    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* CancelBtn;
    bool m_cancelRequested = false;
};
