// The program's features, in the order they bind to the main window.
#pragma once

#include "ui/feature.h"

namespace qv {

FeatureList programFeatures();

}  // namespace qv
