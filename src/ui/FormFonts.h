#pragma once

namespace velmora {

// Makes the sans face the windows were laid out with (Liberation Sans, metric-
// compatible with Arial) available from the program's own resources, so the
// captions fit whatever fonts the machine has. Safe to call any number of
// times; false when the fonts could not be loaded.
bool loadFormFonts();

} // namespace velmora
