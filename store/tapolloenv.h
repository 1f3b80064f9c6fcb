// TApolloEnv, the engine-wide settings (object `ApolloEnv` of the data
// module): century, date format, soft seek, deleted records, exact
// comparison. The settings are global to the process, as in every xBase
// engine; each setter returns the previous value, so that an operation that
// changes one for a while can restore it before it ends.
#pragma once

#include <QObject>

class TApolloEnv : public QObject {
    Q_OBJECT

  public:
    enum DateFormat {
        American,  // mm/dd/yy(yy)
        German,    // dd.mm.yy(yy)
    };
    Q_ENUM(DateFormat)

    explicit TApolloEnv(QObject* parent = nullptr);

    // The program's start values in one call: century on, German dates
    // ("dd.mm.yyyy"), soft seek on, deleted records skipped; exact comparison
    // off.
    static void setProgramDefaults();

    // Four-digit years in date texts.
    static bool sx_SetCentury(bool on);
    static DateFormat sx_SetDateFormat(DateFormat format);
    // A seek that misses stands on the next higher key (engine level; see
    // TApollo::sx_Seek for what the view sees).
    static bool sx_SetSoftSeek(bool on);
    // Flagged records are skipped by navigation, counts and grids.
    static bool sx_SetDeleted(bool on);
    // String '=' compares whole values instead of prefixes.
    static bool sx_SetExact(bool on);

    static bool century();
    static DateFormat dateFormat();
    static bool softSeek();
    static bool deleted();
    static bool exact();
};
