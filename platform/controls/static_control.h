// (being written)
#pragma once

#include "platform/controls/notify.h"
