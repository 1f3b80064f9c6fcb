// Ending the run from outside: SIGTERM, SIGHUP and the end of the desktop
// session close the catalogue as "Beenden" does, asking nothing.
//
// The signal handler only writes a byte into a pipe; the message loop reads
// it and asks the run to end. A long operation that offers "Abbrechen" in
// the progress window sees terminationRequested() as if it had been
// pressed and puts back what it had begun; every other one runs to its end
// first. Message boxes shown after the request return at once, because the
// message loop is already left. When the loop has ended, every catalogue
// table is closed (header, end mark and index written) before the program
// returns.
#pragma once

namespace qv {

class Program;

// Installs the handlers for the life of `program` (once per process).
void installTermination(Program& program);

// Whether the run was asked to end from outside.
bool terminationRequested();

// Closes every open catalogue table of `program`; errors are swallowed.
void closeCatalogue(Program& program);

}  // namespace qv
