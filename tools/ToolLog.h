#pragma once

#include <memory>
#include <ostream>

// The program's one log file, "Ornvale\kelvane_updater.log" in the user's
// Documents folder. Each tool run opens it for appending, writes its record
// and lets the stream go. When it cannot be opened the stream is unusable and
// whatever is written to it is dropped: a missing log never stops an update.
std::unique_ptr<std::ostream> openLog();
