// The operator's message boxes as Qt message boxes over the window he is working in.
#pragma once

#include "common/dialogs.h"

namespace gw {

class QtDialogs final : public Dialogs {
  public:
    DialogAnswer message(DialogIcon icon, const std::string& title, const std::string& text,
                         DialogButtons buttons) override;
};

} // namespace gw
