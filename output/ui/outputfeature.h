// Binds the output commands (labels, lists, print settings) to the main
// window. The commands object lives as a child of the window.
#pragma once

#include "ui/feature.h"

namespace qv {

class OutputFeature : public Feature {
  public:
    void bind(MainWindowHost& host) override;
};

}  // namespace qv
