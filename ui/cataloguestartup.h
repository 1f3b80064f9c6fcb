// The catalogue's part of the first activation of the main window. The shell
// runs these steps in this order once, after it has shown the intro window;
// the catalogue store and the main window supply what each step does. An
// error raised by a step abandons the remaining ones and goes to the general
// error handler.
#pragma once

namespace qv {

class IntroDisplay;

class CatalogueStartup {
  public:
    virtual ~CatalogueStartup() = default;

    // The start-up check `sys_init`: creates every missing table and index
    // file, with index-build progress on the intro window. Returns false when
    // a table could not be created: the check has shown its message and
    // ended the program, and no further step runs.
    virtual bool checkCatalogue(IntroDisplay& intro) = 0;
    // Closes the six tables and opens them again, in the order entry, file,
    // extension, category, carrier-type, address table.
    virtual void reopenTables() = 0;
    // Start orders: tag position 2 (`bezeich`) on the entry table, tag
    // position 1 on every other table.
    virtual void selectStartOrders() = 0;
    // Re-attaches the data-aware controls of all six tables.
    virtual void reattachControls() = 0;
    // Moves the entry table to its first entry.
    virtual void gotoFirstEntry() = 0;
    // Gives the entry list the keyboard focus (after the intro window closed).
    virtual void focusEntryList() = 0;
    // Initialises the entry-number counter (`neuenummerinit`).
    virtual void initEntryNumbers() = 0;
};

// The steps while there is no catalogue to open: each does nothing.
class NoCatalogueStartup : public CatalogueStartup {
  public:
    bool checkCatalogue(IntroDisplay&) override { return true; }
    void reopenTables() override {}
    void selectStartOrders() override {}
    void reattachControls() override {}
    void gotoFirstEntry() override {}
    void focusEntryList() override {}
    void initEntryNumbers() override {}
};

}  // namespace qv
