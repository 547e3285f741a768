#pragma once

#include "app/frmMain.h"

// This machine's file system and the Maildir outbox the settings name.
frmMain::ServiceFactories localServices();
