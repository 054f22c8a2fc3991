// The smartphone shell library: soft-key menu bars, full-screen dialogs
// and windows, closing on the Back key, and file-change notifications.
#pragma once

#include "platform/shell/shell.h"
#include "platform/shell/change_notify.h"
