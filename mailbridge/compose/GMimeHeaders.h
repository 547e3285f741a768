#pragma once

// GMime's headers, safe to include after Qt's: Qt's "signals" keyword macro would break a
// member of that name in GLib's headers.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")
