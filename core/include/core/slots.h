#pragma once

namespace tollvik {

// The items of the navigator's POI-warning menu, each with a sound of its own in the archive:
// the warning slots of the window, the menu texts of the settings file and the patch.
inline constexpr int kSlotCount = 30;

} // namespace tollvik
