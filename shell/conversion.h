// Text-to-number conversion with the program's error message. The functions
// live in the store library, which the table objects share with the shell.
#pragma once

#include "store/conversion.h"
