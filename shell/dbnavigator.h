// A record navigator with the buttons first, prior, next and last. It only
// signals the button pressed; the window it sits in moves the table.
#pragma once

#include <QWidget>

class QToolButton;

namespace qv {

class DbNavigator : public QWidget {
    Q_OBJECT

  public:
    explicit DbNavigator(QWidget* parent = nullptr);

    QToolButton* firstButton() const { return m_first; }
    QToolButton* priorButton() const { return m_prior; }
    QToolButton* nextButton() const { return m_next; }
    QToolButton* lastButton() const { return m_last; }

  signals:
    void first();
    void prior();
    void next();
    void last();

  private:
    QToolButton* m_first;
    QToolButton* m_prior;
    QToolButton* m_next;
    QToolButton* m_last;
};

}  // namespace qv
