// The first activation of the main window: the catalogue is opened then, and
// only then. Every later activation does nothing.
#pragma once

#include <functional>

namespace qv {

class CatalogueStartup;
class IntroDisplay;

class FirstActivation {
  public:
    // The first-activation flag: set when the main window is created.
    bool pending() const { return m_pending; }
    bool running() const { return m_running; }
    // True once the steps ran to their end.
    bool completed() const { return m_completed; }

    // Runs the steps if the flag is still set:
    //  1. sets the application's help file;
    //  2. shows the intro window with "Datenbank laden" and lets it be drawn;
    //  3. clears the flag;
    //  4.-8. runs the catalogue steps (start-up check, reopening the tables,
    //     start orders, re-attaching the controls, first entry);
    //  9. closes the intro window;
    //  10.-11. focuses the entry list and initialises the entry numbers.
    // Returns whether the steps ran. A step that raises an error ends the
    // run: the intro window is closed, the error goes on to the caller (the
    // general error handler), and the activation is not repeated. A start-up
    // check that ended the program (a table could not be created) ends the
    // run the same way, without an error.
    bool run(IntroDisplay& intro, CatalogueStartup& catalogue);

  private:
    bool m_pending = true;
    bool m_running = false;
    bool m_completed = false;
};

}  // namespace qv
