// The device's system API in one include, as programs for the phone use it.
#pragma once

#include "platform/fs/files.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/registry.h"
#include "platform/shell/change_notify.h"
#include "platform/text/locale.h"
#include "platform/text/wide.h"
#include "platform/thread/sync.h"
#include "platform/win_types.h"
#include "platform/window/keypad.h"
#include "platform/window/messages.h"
#include "platform/window/dialog.h"
#include "platform/window/menu.h"
#include "platform/window/window.h"
