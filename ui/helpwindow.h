// The help window: shows the help page of a topic number. One window for the
// whole run, created on its first use and shown without blocking.
#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;
class QToolButton;

namespace qv {

class HelpWindow : public QWidget {
    Q_OBJECT

  public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Loads the page of `topic` (or the page that says there is none).
    void showTopic(int topic);
    // The topic last asked for.
    int currentTopic() const { return m_topic; }
    // The text of the page shown, without markup.
    QString pageText() const;

  public slots:
    void showContents();

  private:
    QTextBrowser* m_browser;
    int m_topic = 0;
};

// Opens the help window at `topic` and brings it to the front. While a modal
// dialog is open the help window is shown modally over it, so that it can be
// read and closed; otherwise it does not block.
HelpWindow& showHelp(int topic);
// The help window if it was opened in this run, else nullptr.
HelpWindow* helpWindowIfCreated();

// A button "Hilfe" for `window` (never the default button) that opens
// `topic`, and F1 anywhere in the window doing the same. The caller places
// the button in its layout.
QPushButton* makeHelpButton(QWidget& window, int topic);

}  // namespace qv
