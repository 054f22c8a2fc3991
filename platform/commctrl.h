// The device's common controls in one include, as programs for the phone
// use it: static, button, edit, list box (the spin list), up-down, trackbar,
// list view, tree view and image lists.
#pragma once

#include "platform/controls/button.h"
#include "platform/controls/edit.h"
#include "platform/controls/image_list.h"
#include "platform/controls/list_box.h"
#include "platform/controls/list_view.h"
#include "platform/controls/notify.h"
#include "platform/controls/static_control.h"
#include "platform/controls/trackbar.h"
#include "platform/controls/tree_view.h"
#include "platform/controls/up_down.h"
