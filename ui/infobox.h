// The information window about the program, shown without blocking the main
// window.
#pragma once

#include <QDialog>

class QToolButton;

class Tinfobox : public QDialog {
    Q_OBJECT

  public:
    explicit Tinfobox(QWidget* parent = nullptr);

    // Shows the window without blocking and brings it to the front.
    void showInfo();

  public slots:
    void SpeedButton1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QToolButton* SpeedButton1;
};
