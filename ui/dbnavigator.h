// A record navigator with the buttons first, prior, next and last. It
// signals the button pressed; bound to a view it also moves the view's table
// and enables its buttons as a data navigator does: first and prior off at
// the beginning, next and last off at the end, all off on an empty or closed
// table.
#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QToolButton;
class TDataSource;

namespace qv {

class DbNavigator : public QWidget {
    Q_OBJECT

  public:
    explicit DbNavigator(QWidget* parent = nullptr);

    QToolButton* firstButton() const { return m_first; }
    QToolButton* priorButton() const { return m_prior; }
    QToolButton* nextButton() const { return m_next; }
    QToolButton* lastButton() const { return m_last; }

    void setDataSource(TDataSource* source);
    // Also takes the ends from the record's position in the table's order:
    // a list moved by its grid stands on its first or last record without
    // the table's Bof or Eof set. Costs a count per change: for the entry
    // list, whose count is kept by its index.
    void setEndsByOrderPosition(bool on);
    // Enables the buttons for where the view's table stands now.
    void updateButtons();

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
    QPointer<TDataSource> m_source;
    bool m_byPosition = false;
    QList<QMetaObject::Connection> m_connections;
};

}  // namespace qv
