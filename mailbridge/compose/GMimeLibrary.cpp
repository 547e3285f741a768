#include "mailbridge/compose/GMimeLibrary.h"

#include "mailbridge/compose/GMimeHeaders.h"

#include <mutex>

void initGMime()
{
    static std::once_flag once;
    // Never shut down: other parts of the process may still hold GMime objects at exit.
    std::call_once(once, [] { g_mime_init(); });
}
