// The sample greeting, help, information and TNC start-up files that ship inside the
// program; on first use they are copied into the default file folder, never over a file
// the operator already has.
#pragma once

#include <string>

namespace gw {

// Copies every missing sample into `folder` (created when needed); returns how many.
int installSamples(const std::string& folder);

} // namespace gw
